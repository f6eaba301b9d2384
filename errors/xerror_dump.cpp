// CXError::StringDump: the text dump of an error, section by section.
#include <new>
#include <string>

#include "errors/catalogue.h"
#include "errors/xerror.h"
#include "support/ctstring.h"
#include "support/platform/message_insert.h"

namespace {
constexpr char16_t kDumpCrLf[] = u"\r\n";
}  // namespace

namespace qg {
namespace {

// Function-local: may be set from another file's static initialiser.
std::u16string& BuildIdentifierText() {
  static std::u16string text;
  return text;
}



// Dump line of each information type; null for types without one.
const char16_t* const kInfoLines[49] = {
    nullptr,
    u"EIT_SRCFILE : <%s>",             // 1
    u"EIT_DSTFILE : <%s>",             // 2
    u"EIT_USERNAME : <%s>",            // 3
    u"EIT_HELPFILE : <%s>",            // 4
    u"EIT_PATHQGD : <%s>",             // 5
    u"EIT_LOGICALTABLENAME : <%s>",    // 6
    u"EIT_ITEMNAME : <%s>",            // 7
    u"EIT_PATHFIC : <%s>",             // 8
    u"EIT_PATHNDX : <%s>",             // 9
    u"EIT_PATHMMO : <%s>",             // 10
    u"EIT_LINKNAME : <%s>",            // 11
    u"EIT_RECNUM : <%I64d>",           // 12
    u"EIT_ODBCCODE : <%s>",            // 13
    u"EIT_ODBCDESCRIPTION : <%s>",     // 14
    u"EIT_BASECODE : <%d>",            // 15
    u"EIT_NATIVECODE : <%d>",          // 16
    u"EIT_ADOCODE : <%d>",             // 17
    u"EIT_BASEMESSAGE : <%s>",         // 18
    u"EIT_NATIVEMESSAGE : <%s>",       // 19
    u"EIT_ADOMESSAGE : <%s>",          // 20
    u"EIT_DATAACCESS : <%p>",          // 21
    u"EIT_INFOCLIENT : <%s>",          // 22
    u"EIT_INFOSERVEUR : <%s>",         // 23
    u"EIT_PILEZQ :\r\n%s",             // 24
    u"EIT_DATEHEURE : %s",             // 25
    u"EIT_LOCKINFO : %s",              // 26
    u"EIT_CORRIGE_ETAT : %s",          // 27
    u"EIT_INFOCS : <%s>",              // 28
    nullptr,                           // 29
    u"EIT_XINFO : <%d>",               // 30
    u"EIT_COMPOSANT : %s",             // 31
    u"EIT_SERVEURCS : <%s>",           // 32
    u"EIT_PILEC :\r\n%s",              // 33
    nullptr,                           // 34
    nullptr,                           // 35
    u"EIT_HLOCKTIME : <%I64d>",        // 36
    u"EIT_HCNXID : <%d>",              // 37
    u"EIT_EXCEPTIONDOTNET",            // 38
    u"EIT_POSITION_ERREUR : <%s>",     // 39
    u"EIT_EXCEPTION_CLASS_NAME : <%s>",  // 40
    u"EIT_TYPE_QGFILE : <%d>",         // 41
    u"EIT_IDCODE : <%d>",              // 42
    u"EIT_EXCEPTIONJAVA",              // 43
    u"EIT_CODEHTTP : <%d>",            // 44
    u"EIT_THREAD : <%s>",              // 45
    u"EIT_PATHFIC_LIST : <%s>",        // 46
    u"EIT_MOD_INTERNAL : <%s>",        // 47
    u"EIT_REPONSE_HTTP",               // 48
};

// Catalogue message in the current language, with its inserts.
template <typename... Args>
std::u16string Msg(uint32_t number, const Args&... args) {
  CTString text;
  if (!bChargeMessage(number, text, Localisation::Langue::Courante)) return std::u16string();
  return MessageInsert(text.pszGet(), args...);
}

bool Empty(const char16_t* text) { return text == nullptr || text[0] == 0; }

// One information line; false when the type has none.
bool InfoLine(const CXError::_stERRORINFO& item, std::u16string* out) {
  if (item.nType >= 49 || kInfoLines[item.nType] == nullptr) return false;
  const char16_t* format = kInfoLines[item.nType];
  switch (ErrorInfoKindOf(item.nType)) {
    case ErrorInfoKind::kText: {
      const char16_t* text = reinterpret_cast<const char16_t*>(item.nValue);
      Format(out, format, text != nullptr ? text : u"");
      return true;
    }
    case ErrorInfoKind::kInt64: {
      uint64_t bits = (uint64_t{static_cast<uint32_t>(item.nValue2)} << 32) |
                      static_cast<uint32_t>(item.nValue);
      Format(out, format, static_cast<int64_t>(bits));
      return true;
    }
    case ErrorInfoKind::kInt32:
      Format(out, format, static_cast<int32_t>(static_cast<uint32_t>(item.nValue)));
      return true;
    case ErrorInfoKind::kDataAccess:
      Format(out, format, reinterpret_cast<const void*>(item.nValue));
      return true;
    case ErrorInfoKind::kObject: {
      out->append(format);
      auto* object = reinterpret_cast<IErrorInfoObject*>(item.nValue);
      const char16_t* text = object != nullptr ? object->pszGetText() : nullptr;
      if (text != nullptr) out->append(text);
      return true;
    }
    default:
      return false;
  }
}

}  // namespace

void SetBuildIdentifier(const char16_t* text) {
  BuildIdentifierText() = text != nullptr ? text : u"";
}
const char16_t* BuildIdentifier() { return BuildIdentifierText().c_str(); }

}  // namespace qg

void CXError::DumpTo(std::u16string* out, uint32_t flags) const {
  using qg::Msg;
  const bool skip_empty = (flags & qg::kDumpSkipEmpty) != 0;
  const bool compact = (flags & qg::kDumpNoSeparator) != 0;
  bool written = false;
  auto emit = [&](const std::u16string& section) {
    if (section.empty()) return;
    if (written && !compact) out->append(kDumpCrLf);
    out->append(section);
    written = true;
  };

  if ((flags & qg::kDumpWhere) != 0 && (!qg::Empty(m_pszFichier) || !qg::Empty(m_pszComplement))) {
    std::u16string s = Msg(28844);
    if (!qg::Empty(m_pszFichier)) {
      std::u16string detail;
      if (!qg::Empty(m_pszDetailFichier)) detail = u" (" + std::u16string(m_pszDetailFichier) + u")";
      s += kDumpCrLf;
      if (m_anValeurFichier[0] == 0xFFFF) {
        s += Msg(25770, m_pszFichier, detail);
      } else {
        s += Msg(28845, m_pszFichier, detail, static_cast<uint32_t>(m_anValeurFichier[0]));
      }
    }
    if (!qg::Empty(m_pszComplement)) {
      s += kDumpCrLf;
      s += Msg(28846, m_pszComplement, static_cast<uint32_t>(m_nValeurComplement));
    }
    emit(s);
  }
  if ((flags & qg::kDumpUserMessage) != 0) {
    if (!qg::Empty(m_pszUserMessage)) {
      std::u16string s;
      if ((flags & qg::kDumpNoUserTitle) == 0) s = Msg(28857) + kDumpCrLf;
      emit(s + m_pszUserMessage);
    } else if (!skip_empty) {
      emit(Msg(28858));
    }
  }
  if ((flags & qg::kDumpIdentifier) != 0) emit(Msg(28851, m_nIdentifiant));
  if ((flags & qg::kDumpLevel) != 0) {
    int32_t level = m_nNiveau;
    if (level == 1) {
      emit(Msg(28847));
    } else if (level == 2) {
      emit(Msg(28848));
    } else if (level == 3 || level == 0x40000004 || level == 0x40000008) {
      emit(Msg(28849));
    } else if ((level >= 65537 && level <= 65542) || level == 0x20001) {
      emit(Msg(25311, level));
    } else {
      emit(Msg(28850, level));
    }
  }
  if ((flags & qg::kDumpCode) != 0 && !(skip_empty && m_nCodeComplementaire == 0)) {
    emit(Msg(28852, m_nCodeComplementaire));
  }
  if ((flags & qg::kDumpSystemCode) != 0) {
    if (m_nErreurSysteme != 0) {
      emit(Msg(28853, m_nErreurSysteme));
    } else if (!skip_empty) {
      emit(Msg(28854));
    }
  }
  if ((flags & qg::kDumpSystemMessage) != 0) {
    if (!qg::Empty(m_pszSystemMessage)) {
      emit(Msg(28855) + kDumpCrLf + m_pszSystemMessage);
    } else if (!skip_empty) {
      emit(Msg(28856));
    }
  }
  if ((flags & qg::kDumpTables) != 0) {
    if (!qg::Empty(m_pszTableText1)) {
      std::u16string second = std::u16string(qg::BuildIdentifier()) + u" - " + pszGetTableText2();
      emit(Msg(28842, m_pszTableText1, second));
    } else if (!skip_empty) {
      emit(Msg(28843));
    }
  }
  if ((flags & qg::kDumpDebug) != 0) {
    if (!qg::Empty(m_pszDebugMessage)) {
      emit(Msg(28859) + kDumpCrLf + m_pszDebugMessage);
    } else if (!skip_empty) {
      emit(Msg(28860));
    }
  }
  if ((flags & qg::kDumpInfos) != 0) {
    std::u16string lines;
    int count = 0;
    for (int i = 0; i < m_tabInfos.nGetNbElement(); ++i) {
      std::u16string line;
      if (!qg::InfoLine(m_tabInfos[i], &line)) continue;
      if (count++ > 0) lines += kDumpCrLf;
      lines += line;
    }
    if (count > 0) {
      emit(compact ? lines : Msg(28861) + kDumpCrLf + lines);
    } else if (!skip_empty) {
      emit(Msg(28862));
    }
  }
  if ((flags & qg::kDumpSubErrors) != 0) {
    std::u16string s;
    for (int i = 0; i < nGetNbSubError(); ++i) {
      s += u"\r\n----- ";
      s += Msg(28865, i);
      s += u" -----\r\n\r\n";
      pclGetSubError(i)->DumpTo(&s, flags | qg::kDumpUserMessage);
    }
    emit(s);
  }
}

// When memory runs out, out is left as it was.
void CXError::StringDumpTo(CTString& out, uint32_t flags) const {
  try {
    std::u16string text;
    DumpTo(&text, flags);
    out.Set(text.c_str(), text.size());
  } catch (const std::bad_alloc&) {
  }
}

void CXError::StringDump(CTString& out, uint32_t flags) const { StringDumpTo(out, flags); }

CTString CXError::StringDump(uint32_t flags) const {
  CTString out;
  StringDumpTo(out, flags);
  return out;
}
