#include "errors/xerror.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "errors/catalogue.h"
#include "support/ctstring.h"
#include "support/platform/error_codes.h"
#include "support/platform/message_insert.h"
#include "support/platform/text16.h"
#include "support/text_functions.h"

namespace {

constexpr uint32_t kMessageOutOfMemory = 25193;
constexpr uint32_t kNoMessage = 0xFFFFFFFF;
constexpr char16_t kCrLf[] = u"\r\n";

const char16_t* OrEmpty(const char16_t* text) { return text != nullptr ? text : u""; }
bool IsEmpty(const char16_t* text) { return text == nullptr || text[0] == 0; }

}  // namespace

ErrorInfoKind ErrorInfoKindOf(uint32_t type) {
  switch (type) {
    case 12: case 36:
      return ErrorInfoKind::kInt64;
    case 15: case 16: case 17: case 30: case 37: case 41: case 42:
      return ErrorInfoKind::kInt32;
    case 21:
      return ErrorInfoKind::kDataAccess;
    case 29:
      return ErrorInfoKind::kPointer;
    case 38: case 43: case 48:
      return ErrorInfoKind::kObject;
    case 34: case 35: case 44:
      return ErrorInfoKind::kNone;
    default:
      break;
  }
  if ((type >= 1 && type <= 11) || type == 13 || type == 14 || (type >= 18 && type <= 20) ||
      (type >= 22 && type <= 28) || (type >= 31 && type <= 33) || type == 39 || type == 40 ||
      (type >= 45 && type <= 47)) {
    return ErrorInfoKind::kText;
  }
  return ErrorInfoKind::kNone;
}

// --- construction ---------------------------------------------------------

CXError::CXError(int32_t module) : m_nModule(module) {}

CXError::CXError(const CXError& other) : CQGUnknown(), m_nModule(0) { Copie(other); }

CXError::CXError(int32_t module, CXError& source, bool move) : m_nModule(module) {
  if (move) {
    Transfere(source);
  } else {
    Copie(source);
  }
}

CXError& CXError::operator=(const CXError& other) {
  vCopieDe(other);
  return *this;
}

CXError::~CXError() {
  RAZ();
  m_nModule = 0;
}

// --- text members ---------------------------------------------------------

bool CXError::vbDupliqueTexte(char16_t*& member, const char16_t* text) {
  char16_t* copy = nullptr;
  if (!IsEmpty(text)) {
    copy = pszDupliqueChaine(text);
    if (copy == nullptr) return false;
  }
  LibereChaine(member);
  member = copy;
  return true;
}

bool CXError::vbRealloueTexte(char16_t*& member, size_t length) {
  void* block = std::realloc(member, (length + 1) * sizeof(char16_t));
  if (block == nullptr) return false;
  member = static_cast<char16_t*>(block);
  return true;
}

bool CXError::vbSetTexte(char16_t*& member, const char16_t* text) {
  if (text == member) return true;
  return vbDupliqueTexte(member, text);
}

bool CXError::vbAjouteTexte(char16_t*& member, const char16_t* text) {
  if (IsEmpty(text)) return true;
  size_t old_length = member != nullptr ? qg::StrLen16(member) : 0;
  size_t add = qg::StrLen16(text);
  // The text may lie in the member itself: copy it before reallocating.
  char16_t* copy = pszDupliqueChaine(text);
  if (copy == nullptr) return false;
  bool ok = vbRealloueTexte(member, old_length + add);
  if (ok) {
    std::memcpy(member + old_length, copy, add * sizeof(char16_t));
    member[old_length + add] = 0;
  }
  LibereChaine(copy);
  return ok;
}

void CXError::vLibereTexte(char16_t*& member) {
  LibereChaine(member);
  member = nullptr;
}

// Both leave the member as it was when memory runs out.
bool CXError::AppendLine(char16_t*& member, const char16_t* text) {
  if (IsEmpty(text)) return true;
  if (IsEmpty(member)) return vbSetTexte(member, text);
  try {
    std::u16string line(kCrLf);
    line += text;
    return vbAjouteTexte(member, line.c_str());
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool CXError::PrependLine(char16_t*& member, const char16_t* text) {
  if (IsEmpty(text)) return true;
  if (IsEmpty(member)) return vbSetTexte(member, text);
  try {
    std::u16string whole(text);
    whole += kCrLf;
    whole += member;
    return vbSetTexte(member, whole.c_str());
  } catch (const std::bad_alloc&) {
    return false;
  }
}

// --- state -----------------------------------------------------------------

void CXError::RAZ() {
  vLibereTexte(m_pszUserMessage);
  vLibereTexte(m_pszDebugMessage);
  vLibereTexte(m_pszComplement);
  vLibereTexte(m_pszTableText1);
  vLibereTexte(m_pszTableText2);
  vLibereTexte(m_pszSystemMessage);
  vLibereTexte(m_pszFichier);
  vLibereTexte(m_pszDetailFichier);
  m_tabMessageIds.SupprimeTout();
  for (int i = 0; i < m_tabInfos.nGetNbElement(); ++i) ReleaseInfo(m_tabInfos[i]);
  m_tabInfos.SupprimeTout();
  vSupprimeSousErreurs();
  m_nNiveau = XERR_NONE;
  m_nIdentifiant = 0;
  m_nValeurComplement = 0;
  m_nValeur = 0;
  m_nErreurSysteme = 0;
  m_anValeurFichier[0] = 0;
  m_anValeurFichier[1] = 0;
  m_nCodeComplementaire = 0;
}

int32_t CXError::nSetNiveau(int32_t level) {
  if (level == XERR_NONE) {
    RAZ();
  } else {
    m_nNiveau = level;
  }
  return m_nNiveau;
}

// --- messages ----------------------------------------------------------------

const char16_t* CXError::pszGetUserMessage() const { return OrEmpty(m_pszUserMessage); }
const char16_t* CXError::pszGetDebugMessage() const { return OrEmpty(m_pszDebugMessage); }
const char16_t* CXError::pszGetSystemMessage() const { return OrEmpty(m_pszSystemMessage); }
const char16_t* CXError::pszGetTableText1() const { return OrEmpty(m_pszTableText1); }
const char16_t* CXError::pszGetTableText2() const { return OrEmpty(m_pszTableText2); }
const char16_t* CXError::pszGetFichier() const { return OrEmpty(m_pszFichier); }
const char16_t* CXError::pszGetComplement() const { return OrEmpty(m_pszComplement); }

void CXError::AddUserMessageText(const char16_t* text) { AppendLine(m_pszUserMessage, text); }

int CXError::AddDebugMessage(const char16_t* text) {
  if (IsEmpty(text)) return 0;
  return AppendLine(m_pszDebugMessage, text) ? 1 : 0;
}

int CXError::AddDebugMessageFirst(const char16_t* text) {
  if (IsEmpty(text)) return 0;
  return PrependLine(m_pszDebugMessage, text) ? 1 : 0;
}

int CXError::AddDebugMessageFV(const char16_t* format, qg::FormatArgs args) {
  try {
    std::u16string text;
    qg::FormatAppend(&text, format, args);
    return AddDebugMessage(text.c_str());
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

int CXError::AddDebugMessageIdV(const stERRORDEFINITION* table, uint32_t number,
                                qg::FormatArgs args) {
  if (number == kNoMessage) return 0;
  CTString text;
  if (!bChargeMessage(number, text, Localisation::Langue::Courante, nullptr,
                      table != nullptr ? table->pCatalogue : nullptr)) {
    AddDebugMessageF(u"##(CXError)-Ressource <%u> non chargée##", number);
    return 0;
  }
  std::u16string formatted;
  if (qg::MessageInsertAppend(&formatted, text.pszGet(), args) == qg::kMessageInsertNoMemory) {
    return 0;
  }
  return AddDebugMessage(formatted.c_str());
}

int CXError::AddUserMessageV(const stERRORDEFINITION* table, uint32_t number,
                             qg::FormatArgs args, bool first) {
  CTString text;
  if (!bChargeMessage(number, text, Localisation::Langue::Courante, nullptr,
                      table != nullptr ? table->pCatalogue : nullptr)) {
    AddDebugMessageF(u"##(CXError)-Ressource <%u> non chargée##", number);
    return 0;
  }
  if (text.bEstVide()) {
    AddDebugMessageF(u"##(CXError)-Ressource <%u> vide. LastError = <%u>##", number,
                     qg::GetLastError());
    return 0;
  }
  std::u16string formatted;
  if (qg::MessageInsertAppend(&formatted, text.pszGet(), args) == qg::kMessageInsertNoMemory) {
    return 0;
  }
  if (first) {
    if (!PrependLine(m_pszUserMessage, formatted.c_str())) return 0;
    m_tabMessageIds.Insere(number, 0);
  } else {
    if (!AppendLine(m_pszUserMessage, formatted.c_str())) return 0;
    m_tabMessageIds.Ajoute(number);
  }
  return 1;
}

uint32_t CXError::nGetMessageId(int index) const {
  const uint32_t* id = m_tabMessageIds.pGetElement(index);
  return id != nullptr ? *id : 0;
}

// --- error definitions -------------------------------------------------------

void CXError::SetErrorTable(const stERRORDEFINITION& table) {
  vbSetTexte(m_pszTableText1, table.pszTexte1);
  vbSetTexte(m_pszTableText2, table.pszTexte2);
}

int32_t CXError::SetUserErrorV(const stERRORDEFINITION& table, uint32_t identifier,
                               qg::FormatArgs args) {
  RAZ();
  return ChangeUserErrorV(table, identifier, args);
}

int32_t CXError::ChangeUserErrorV(const stERRORDEFINITION& table, uint32_t identifier,
                                  qg::FormatArgs args) {
  SetErrorTable(table);
  const stERRORDEFINITIONENTRY* begin = table.pEntries;
  const stERRORDEFINITIONENTRY* end = begin + (begin != nullptr ? table.nCount : 0);
  const stERRORDEFINITIONENTRY* found = std::lower_bound(
      begin, end, identifier,
      [](const stERRORDEFINITIONENTRY& e, uint32_t id) { return e.nIdentifiant < id; });
  if (found == end || found->nIdentifiant != identifier) {
    m_nNiveau = XERR_ERROR;
    AddDebugMessageF(u"##(CXError)-Pas de definition d'erreur dans gstErrorDef pour "
                     u"l'identifiant <%u>##",
                     identifier);
    return 0;
  }
  m_nIdentifiant = identifier;
  AddUserMessageV(&table, found->nMessage, args, true);
  return nSetNiveau(static_cast<int32_t>(found->nNiveau));
}

void CXError::SetOutOfMemoryError() noexcept {
  RAZ();
  // Level and code first, without allocating: memory may be exhausted, and a
  // cleared level would read as success. The texts are added when they can be.
  m_nNiveau = XERR_ERROR;
  m_nErreurSysteme = qg::kErrorOutOfMemory;
  try {
    AddUserMessageV(nullptr, kMessageOutOfMemory, qg::FormatArgs{}, true);
    SetSystemError(qg::kErrorOutOfMemory);
  } catch (...) {
  }
  m_nNiveau = XERR_ERROR;
}

// --- system error ------------------------------------------------------------

void CXError::SetSystemError(uint32_t code) {
  m_nErreurSysteme = code;
  const char* text = code != 0 ? qg::ErrorText(code) : nullptr;
  if (text == nullptr) {
    vLibereTexte(m_pszSystemMessage);
    return;
  }
  try {
    vbSetTexte(m_pszSystemMessage, qg::ErrorText16(code).c_str());
  } catch (const std::bad_alloc&) {
    vLibereTexte(m_pszSystemMessage);  // no text rather than another code's
  }
}

void CXError::SetSystemErrorText(uint32_t code, const char16_t* text) {
  m_nErreurSysteme = code;
  vbSetTexte(m_pszSystemMessage, text);
}

// --- information items -----------------------------------------------------

void CXError::ReleaseInfo(_stERRORINFO& item) {
  switch (ErrorInfoKindOf(item.nType)) {
    case ErrorInfoKind::kText:
      LibereChaine(reinterpret_cast<char16_t*>(item.nValue));
      break;
    case ErrorInfoKind::kDataAccess:
      if (item.nValue != 0) reinterpret_cast<CQGUnknown*>(item.nValue)->Release();
      break;
    case ErrorInfoKind::kObject:
      if (item.nValue != 0) reinterpret_cast<IErrorInfoObject*>(item.nValue)->Release();
      break;
    default:
      break;
  }
  item.nValue = 0;
  item.nValue2 = 0;
}

bool CXError::CloneInfo(const _stERRORINFO& from, _stERRORINFO* to) {
  *to = from;
  switch (ErrorInfoKindOf(from.nType)) {
    case ErrorInfoKind::kText:
      if (from.nValue != 0) {
        char16_t* copy = pszDupliqueChaine(reinterpret_cast<const char16_t*>(from.nValue));
        if (copy == nullptr) return false;
        to->nValue = reinterpret_cast<uintptr_t>(copy);
      }
      break;
    case ErrorInfoKind::kDataAccess:
      if (from.nValue != 0) reinterpret_cast<CQGUnknown*>(from.nValue)->AddRef();
      break;
    case ErrorInfoKind::kObject:
      if (from.nValue != 0) reinterpret_cast<IErrorInfoObject*>(from.nValue)->AddRef();
      break;
    default:
      break;
  }
  return true;
}

// Takes ownership of what the item holds.
void CXError::StoreInfo(const _stERRORINFO& item) {
  for (int i = 0; i < m_tabInfos.nGetNbElement(); ++i) {
    if (m_tabInfos[i].nType == item.nType) {
      ReleaseInfo(m_tabInfos[i]);
      m_tabInfos[i] = item;
      return;
    }
  }
  if (m_tabInfos.Ajoute(item) == nullptr) {
    _stERRORINFO lost = item;
    ReleaseInfo(lost);
  }
}

void CXError::AddInfo(uint32_t type, const char16_t* text) {
  if (ErrorInfoKindOf(type) != ErrorInfoKind::kText) return;
  _stERRORINFO item{type, 0, 0};
  if (text != nullptr) {
    char16_t* copy = pszDupliqueChaine(text);
    if (copy == nullptr) return;
    item.nValue = reinterpret_cast<uintptr_t>(copy);
  }
  StoreInfo(item);
}

void CXError::AddInfo(uint32_t type, int32_t value) {
  ErrorInfoKind kind = ErrorInfoKindOf(type);
  if (kind == ErrorInfoKind::kInt32) {
    StoreInfo(_stERRORINFO{type, static_cast<uint32_t>(value), 0});
  } else if (kind == ErrorInfoKind::kInt64) {
    AddInfo(type, static_cast<int64_t>(value));
  }
}

void CXError::AddInfo(uint32_t type, int64_t value) {
  ErrorInfoKind kind = ErrorInfoKindOf(type);
  uint64_t bits = static_cast<uint64_t>(value);
  if (kind == ErrorInfoKind::kInt64) {
    StoreInfo(_stERRORINFO{type, static_cast<uint32_t>(bits), static_cast<uint32_t>(bits >> 32)});
  } else if (kind == ErrorInfoKind::kInt32) {
    StoreInfo(_stERRORINFO{type, static_cast<uint32_t>(bits), 0});
  }
}

void CXError::AddInfo(uint32_t type, CQGUnknown* data_access) {
  if (ErrorInfoKindOf(type) != ErrorInfoKind::kDataAccess) return;
  if (data_access != nullptr) data_access->AddRef();
  StoreInfo(_stERRORINFO{type, reinterpret_cast<uintptr_t>(data_access), 0});
}

void CXError::AddInfo(uint32_t type, IErrorInfoObject* object) {
  if (ErrorInfoKindOf(type) != ErrorInfoKind::kObject) return;
  if (object != nullptr) object->AddRef();
  StoreInfo(_stERRORINFO{type, reinterpret_cast<uintptr_t>(object), 0});
}

void CXError::AddInfo(uint32_t type, const void* pointer) {
  if (ErrorInfoKindOf(type) != ErrorInfoKind::kPointer) return;
  StoreInfo(_stERRORINFO{type, reinterpret_cast<uintptr_t>(pointer), 0});
}

const CXError::_stERRORINFO* CXError::pstGetInfoAt(int index) const {
  return m_tabInfos.pGetElement(index);
}

const CXError::_stERRORINFO* CXError::pstGetInfo(uint32_t type) const {
  for (int i = 0; i < m_tabInfos.nGetNbElement(); ++i) {
    if (m_tabInfos[i].nType == type) return &m_tabInfos[i];
  }
  return nullptr;
}

const char16_t* CXError::pszGetInfoText(uint32_t type) const {
  if (ErrorInfoKindOf(type) != ErrorInfoKind::kText) return nullptr;
  const _stERRORINFO* item = pstGetInfo(type);
  return item != nullptr ? reinterpret_cast<const char16_t*>(item->nValue) : nullptr;
}

// --- location ------------------------------------------------------------------

void CXError::SetFichier(const char16_t* file, uint16_t value1, uint16_t value2,
                         const char16_t* detail) {
  vbSetTexte(m_pszFichier, file);
  vbSetTexte(m_pszDetailFichier, detail);
  m_anValeurFichier[0] = value1;
  m_anValeurFichier[1] = value2;
}

void CXError::SetComplement(const char16_t* text, uint8_t value) {
  vbSetTexte(m_pszComplement, text);
  m_nValeurComplement = value;
}

// --- sub-errors ----------------------------------------------------------------

bool CXError::vAddSubError(CXError* source, bool move, bool no_promote) {
  if (source == nullptr || source == this) return false;
  if (m_ptabSubErrors == nullptr) {
    m_ptabSubErrors = new (std::nothrow) CTTableau<CXError*, 0>(10, 10);
    if (m_ptabSubErrors == nullptr) return false;
  }
  CXError* sub = new (std::nothrow) CXError(m_nModule, *source, move);
  if (sub == nullptr) return false;
  if (m_ptabSubErrors->Ajoute(sub) == nullptr) {
    delete sub;
    return false;
  }
  if (!no_promote && m_ptabSubErrors->nGetNbElement() == 1) {
    AppendLine(m_pszUserMessage, sub->m_pszUserMessage);
  }
  return true;
}

void CXError::DeleteSubErrors(CTTableau<CXError*, 0>* subs) {
  if (subs == nullptr) return;
  for (int i = 0; i < subs->nGetNbElement(); ++i) delete (*subs)[i];
  delete subs;
}

void CXError::vSupprimeSousErreurs() {
  CTTableau<CXError*, 0>* subs = m_ptabSubErrors;
  m_ptabSubErrors = nullptr;
  DeleteSubErrors(subs);
}

int CXError::nGetNbSubError() const {
  return m_ptabSubErrors != nullptr ? m_ptabSubErrors->nGetNbElement() : 0;
}

CXError* CXError::pclGetSubError(int index) const {
  if (m_ptabSubErrors == nullptr) return nullptr;
  CXError** sub = m_ptabSubErrors->pGetElement(index);
  return sub != nullptr ? *sub : nullptr;
}

// --- whole errors ----------------------------------------------------------------

void CXError::vCopieDe(const CXError& other) {
  if (&other != this) Copie(other);
}

// The source may be one of this error's own sub-errors (at any depth):
// the sub-error tree is detached before clearing and freed only once the
// source has been read.
void CXError::Copie(const CXError& source) {
  if (&source == this) return;
  CTTableau<CXError*, 0>* old_subs = m_ptabSubErrors;
  m_ptabSubErrors = nullptr;
  RAZ();
  m_nNiveau = source.m_nNiveau;
  m_nIdentifiant = source.m_nIdentifiant;
  vbSetTexte(m_pszUserMessage, source.m_pszUserMessage);
  vbSetTexte(m_pszDebugMessage, source.m_pszDebugMessage);
  vbSetTexte(m_pszComplement, source.m_pszComplement);
  vbSetTexte(m_pszTableText1, source.m_pszTableText1);
  vbSetTexte(m_pszTableText2, source.m_pszTableText2);
  m_nValeurComplement = source.m_nValeurComplement;
  m_nValeur = source.m_nValeur;
  for (int i = 0; i < source.m_tabMessageIds.nGetNbElement(); ++i) {
    m_tabMessageIds.Ajoute(source.m_tabMessageIds[i]);
  }
  for (int i = 0; i < source.m_tabInfos.nGetNbElement(); ++i) {
    const _stERRORINFO& from = source.m_tabInfos[i];
    if (ErrorInfoKindOf(from.nType) == ErrorInfoKind::kDataAccess && source.m_nModule != m_nModule) {
      continue;
    }
    _stERRORINFO item;
    if (CloneInfo(from, &item)) StoreInfo(item);
  }
  m_nErreurSysteme = source.m_nErreurSysteme;
  vbSetTexte(m_pszSystemMessage, source.m_pszSystemMessage);
  vbSetTexte(m_pszFichier, source.m_pszFichier);
  m_anValeurFichier[0] = source.m_anValeurFichier[0];
  m_anValeurFichier[1] = source.m_anValeurFichier[1];
  for (int i = 0; i < source.nGetNbSubError(); ++i) {
    vAddSubError(source.pclGetSubError(i), false, true);
  }
  vbSetTexte(m_pszDetailFichier, source.m_pszDetailFichier);
  m_nCodeComplementaire = source.m_nCodeComplementaire;
  DeleteSubErrors(old_subs);
}

void CXError::Transfere(CXError& source) {
  if (&source == this) return;
  CTTableau<CXError*, 0>* old_subs = m_ptabSubErrors;  // as in Copie
  m_ptabSubErrors = nullptr;
  RAZ();
  auto take = [](char16_t*& to, char16_t*& from) {
    to = from;
    from = nullptr;
  };
  m_nNiveau = source.m_nNiveau;
  m_nIdentifiant = source.m_nIdentifiant;
  take(m_pszUserMessage, source.m_pszUserMessage);
  take(m_pszDebugMessage, source.m_pszDebugMessage);
  take(m_pszComplement, source.m_pszComplement);
  take(m_pszTableText1, source.m_pszTableText1);
  take(m_pszTableText2, source.m_pszTableText2);
  m_nValeurComplement = source.m_nValeurComplement;
  m_nValeur = source.m_nValeur;
  for (int i = 0; i < source.m_tabMessageIds.nGetNbElement(); ++i) {
    m_tabMessageIds.Ajoute(source.m_tabMessageIds[i]);
  }
  for (int i = 0; i < source.m_tabInfos.nGetNbElement(); ++i) {
    _stERRORINFO& item = source.m_tabInfos[i];
    if (ErrorInfoKindOf(item.nType) == ErrorInfoKind::kDataAccess && source.m_nModule != m_nModule) {
      continue;  // released with the source's items below
    }
    if (m_tabInfos.Ajoute(item) != nullptr) item = _stERRORINFO{item.nType, 0, 0};
  }
  m_nErreurSysteme = source.m_nErreurSysteme;
  take(m_pszSystemMessage, source.m_pszSystemMessage);
  take(m_pszFichier, source.m_pszFichier);
  m_anValeurFichier[0] = source.m_anValeurFichier[0];
  m_anValeurFichier[1] = source.m_anValeurFichier[1];
  m_ptabSubErrors = source.m_ptabSubErrors;
  source.m_ptabSubErrors = nullptr;
  take(m_pszDetailFichier, source.m_pszDetailFichier);
  m_nCodeComplementaire = source.m_nCodeComplementaire;
  source.RAZ();
  DeleteSubErrors(old_subs);
}

void CXError::AddError(const CXError& other) {
  if (&other == this || other.m_nNiveau == XERR_NONE) return;
  if (m_nNiveau == XERR_NONE) {
    Copie(other);
    return;
  }
  AppendLine(m_pszUserMessage, other.m_pszUserMessage);
  AppendLine(m_pszDebugMessage, other.m_pszDebugMessage);
  for (int i = 0; i < other.m_tabMessageIds.nGetNbElement(); ++i) {
    m_tabMessageIds.Ajoute(other.m_tabMessageIds[i]);
  }
  for (int i = 0; i < other.nGetNbSubError(); ++i) {
    vAddSubError(other.pclGetSubError(i), false, true);
  }
}
