#include "driver/core/connection.h"

#include <atomic>
#include <cwctype>
#include <string>

#include "driver/core/host_interfaces.h"
#include "driver/core/manager.h"
#include "driver/core/path_helpers.h"
#include "driver/core/savepoint.h"
#include "support/frame/module_services.h"
#include "support/platform/format.h"

namespace {

std::atomic<int32_t> g_nConnectionSerial{0};

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

char16_t Lower(char16_t c) { return (c >= u'A' && c <= u'Z') ? c + 32 : c; }

bool KeyEquals(const char16_t* a, size_t na, const char16_t* b) {
  size_t nb = std::char_traits<char16_t>::length(b);
  if (na != nb) return false;
  for (size_t i = 0; i < na; ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

int64_t ParseInt64(const char16_t* text, bool* ok) {
  size_t i = 0;
  while (IsBlank(text[i])) ++i;
  bool negative = false;
  if (text[i] == u'-' || text[i] == u'+') negative = text[i++] == u'-';
  if (text[i] < u'0' || text[i] > u'9') {
    *ok = false;
    return 0;
  }
  uint64_t value = 0;
  while (text[i] >= u'0' && text[i] <= u'9') {
    uint64_t next = value * 10 + static_cast<uint64_t>(text[i] - u'0');
    if (next < value || next > static_cast<uint64_t>(INT64_MAX)) {
      *ok = false;
      return 0;
    }
    value = next;
    ++i;
  }
  *ok = true;
  return negative ? -static_cast<int64_t>(value) : static_cast<int64_t>(value);
}

}  // namespace

int32_t NANextConnectionSerial() { return ++g_nConnectionSerial; }

CNAConnection::CNAConnection(const char16_t* key, INAConnectionDescription* description,
                             CNAManager* manager)
    : m_nSerial(NANextConnectionSerial()), m_strKey(key), m_pManager(manager) {
  m_piDescription = description;
  if (m_piDescription != nullptr) {
    m_piDescription->AddRef();
    m_clPassword.nSetClearText(m_piDescription->pszGetPassword());
    m_strExtendedInfo = m_piDescription->pszGetExtendedInfo();
  }
  RefreshLanguageCodePage();
  ReadOptions();
}

CNAConnection::CNAConnection(CNAManager* manager)
    : m_nSerial(NANextConnectionSerial()), m_pManager(manager) {
  RefreshLanguageCodePage();
}

CNAConnection::~CNAConnection() {
  ReleaseBoth(m_pclTransaction);
  if (m_piDescription != nullptr) m_piDescription->Release();
}

void CNAConnection::RefreshLanguageCodePage() {
  qg::IInfoLocale* locale = qg::Services().piInfoLocale;
  int32_t code_page = locale != nullptr ? locale->nGetCodePage() : 1252;
  m_nLanguageCodePage = code_page == 0 ? 1252 : code_page;
}

// ---- options

bool CNAConnection::bGetInfoFromText(CTString& text, const char16_t* key, CTString* value,
                                     bool remove) {
  const char16_t* s = text.pszGet();
  size_t n = std::char_traits<char16_t>::length(s);
  size_t pair_start = 0;
  while (pair_start <= n) {
    size_t pair_end = pair_start;
    while (pair_end < n && s[pair_end] != u';') ++pair_end;
    size_t k0 = pair_start;
    while (k0 < pair_end && IsBlank(s[k0])) ++k0;
    size_t eq = k0;
    while (eq < pair_end && s[eq] != u'=') ++eq;
    if (eq < pair_end) {
      size_t k1 = eq;
      while (k1 > k0 && IsBlank(s[k1 - 1])) --k1;
      if (KeyEquals(s + k0, k1 - k0, key)) {
        size_t v0 = eq + 1;
        while (v0 < pair_end && IsBlank(s[v0])) ++v0;
        size_t v1 = pair_end;
        while (v1 > v0 && IsBlank(s[v1 - 1])) --v1;
        if (value != nullptr) value->Set(s + v0, v1 - v0);
        if (remove) {
          size_t cut_end = pair_end;
          while (cut_end < n && (s[cut_end] == u';' || IsBlank(s[cut_end]))) ++cut_end;
          std::u16string rest(s, pair_start);
          rest.append(s + cut_end, n - cut_end);
          text.Set(rest.c_str(), rest.size());
        }
        return true;
      }
    }
    if (pair_end >= n) break;
    pair_start = pair_end + 1;
  }
  return false;
}

bool CNAConnection::bGetExtendedInfo(const char16_t* key, CTString* value, bool remove) {
  return bGetInfoFromText(m_strExtendedInfo, key, value, remove);
}

void CNAConnection::ReadOptions() {
  INAConnectionDescription* d = m_piDescription;
  CTString value;
  bool ok = false;
  auto take = [&](const char16_t* key) {
    value.RAZ();
    return bGetExtendedInfo(key, &value, true) && !value.bEstVide();
  };
  auto take_int = [&](const char16_t* key, int32_t* field, int32_t fallback) {
    if (take(key)) {
      int64_t v = ParseInt64(value.pszGet(), &ok);
      *field = ok ? static_cast<int32_t>(v) : fallback;
    } else {
      *field = fallback;
    }
  };
  take_int(u"QG Connection Timeout", &m_nConnectionTimeout,
           d != nullptr ? d->nGetConnectionTimeout() : -1);
  take_int(u"QG Command Timeout", &m_nCommandTimeout,
           d != nullptr ? d->nGetCommandTimeout() : -1);
  take_int(u"QG Lock Timeout", &m_nLockTimeout, -1);
  if (take(u"QG Cache Size")) {
    int64_t v = ParseInt64(value.pszGet(), &ok);
    m_nCacheSize = ok ? v : -2;
  } else if (d != nullptr && d->nGetVersion() > 3) {
    m_nCacheSize = d->nGetCacheSize();
  }
  if (take(u"QG Cursor Location")) {
    m_nCursorLocation = value.bEstEgalI(u"SERVER")   ? kNACursorServer
                        : value.bEstEgalI(u"CLIENT") ? kNACursorClient
                                                     : kNACursorDefault;
  } else if (d != nullptr) {
    uint32_t flags = d->nGetCursorFlags();
    m_nCursorLocation = (flags & 1) != 0   ? kNACursorServer
                        : (flags & 2) != 0 ? kNACursorClient
                                           : kNACursorDefault;
  }
  take_int(u"QG Unicode Support", &m_nUnicode, 1);
  if (take(u"QG RECORD LOCK")) {
    m_strRecordLock = value;
    m_bRecordLockFound = true;
  }
  struct TextOption {
    const char16_t* key;
    CTString* field;
  };
  const TextOption texts[] = {
      {u"QG CLIENT VERSION", &m_strClientVersion}, {u"QG CLIENT LIBRARY", &m_strClientLibrary},
      {u"Application Name", &m_strApplicationName}, {u"SSL Mode", &m_strSslMode},
      {u"SSL Key", &m_strSslKey}, {u"SSL Cert", &m_strSslCert}, {u"SSL CA", &m_strSslCa},
      {u"SSL CAPath", &m_strSslCaPath}, {u"SSL Cipher", &m_strSslCipher},
  };
  for (const TextOption& option : texts) {
    if (take(option.key)) *option.field = value;
  }
}

// ---- description

const char16_t* CNAConnection::pszGetUser() {
  return m_piDescription != nullptr ? m_piDescription->pszGetUser() : nullptr;
}
const char16_t* CNAConnection::pszGetDataSource() {
  return m_piDescription != nullptr ? m_piDescription->pszGetDataSource() : nullptr;
}
const char16_t* CNAConnection::pszGetDescriptionDatabase() {
  return m_piDescription != nullptr ? m_piDescription->pszGetDatabase() : nullptr;
}
const char16_t* CNAConnection::pszGetConnectionName() {
  return m_piDescription != nullptr ? m_piDescription->pszGetName() : nullptr;
}

const char16_t* CNAConnection::pszGetDatabase() {
  CNALock lock(&m_clLock);
  if (!m_bDatabaseResolved) {
    m_bDatabaseResolved = true;
    CTString value;
    if (!bGetExtendedInfo(u"Initial Catalog", &value, false) || value.bEstVide()) {
      value.RAZ();
      if (m_piDescription != nullptr) {
        CTString provider(m_piDescription->pszGetProvider());
        bGetInfoFromText(provider, u"Initial Catalog", &value, false);
      }
    }
    if (value.bEstVide()) value = pszGetDescriptionDatabase();
    m_strDatabase = value;
  }
  return m_strDatabase.pszGet();
}

// ---- transactions

bool CNAConnection::bExecuteBegin(CNAError* error) { return bExecuteText(error, u"BEGIN"); }
bool CNAConnection::bExecuteCommit(CNAError* error) { return bExecuteText(error, u"COMMIT"); }
bool CNAConnection::bExecuteRollback(CNAError* error) { return bExecuteText(error, u"ROLLBACK"); }

CNASavepoint* CNAConnection::pclNewSavepoint() {
  auto* level = new (std::nothrow) CNASavepoint(this);
  return NAAddRef(level);
}

bool CNAConnection::bEnsureTransaction(CNAError* error) {
  if (m_pclTransaction != nullptr) return true;
  m_pclTransaction = pclNewSavepoint();
  if (m_pclTransaction == nullptr) {
    if (error != nullptr) error->SetOutOfMemory(1, 5, this);
    return false;
  }
  return true;
}

bool CNAConnection::bBeginTransaction(CNAError* error, const char16_t* name) {
  CNALock lock(&m_clLock);
  if (!bOpen(error, 0)) return false;
  if (!bEnsureTransaction(error)) return false;
  if (!m_pclTransaction->bIsActive()) {
    m_nNestingCount = 0;
    if (!m_pclTransaction->bBegin(error, name, 0)) return false;
    if (!m_bSavepointMode) ++m_nNestingCount;
    return true;
  }
  if (m_bSavepointMode) return m_pclTransaction->bBeginNested(error, name);
  ++m_nNestingCount;
  return true;
}

void CNAConnection::NoteConnectionLost(CNAError* loss) {
  CNALock lock(&m_clLock);
  if (m_bTransactionLost || m_pclTransaction == nullptr || !m_pclTransaction->bIsActive()) return;
  m_bTransactionLost = true;
  m_clLoss = *loss;
}

bool CNAConnection::bTransactionLost(CNAError* error) {
  CNALock lock(&m_clLock);
  if (!m_bTransactionLost) return false;
  if (error != nullptr) *error = m_clLoss;
  return true;
}

// Ends a lost transaction: it is reported failed, forgotten, and the link
// is opened again for what the program does next.
bool CNAConnection::bEndLostTransaction(CNAError* error) {
  if (error != nullptr) *error = m_clLoss;
  CNAError ignored;
  ignored.SetSilent(true);
  m_pclTransaction->bAbortAll(&ignored);
  m_nNestingCount = 0;
  m_bTransactionLost = false;
  m_clLoss.Reset();
  TransactionEnded();
  bClose(&ignored);
  bOpen(&ignored, 0);
  return false;
}

bool CNAConnection::bCommitTransaction(CNAError* error, const char16_t* name) {
  CNALock lock(&m_clLock);
  if (m_bTransactionLost && m_pclTransaction != nullptr) return bEndLostTransaction(error);
  if (m_pclTransaction == nullptr || !m_pclTransaction->bIsActive()) {
    NASetErrorMessage(error, 0, 1, 1, this, 9u, name != nullptr ? name : u"", u"");
    return false;
  }
  bool ok = true;
  if (m_bSavepointMode || m_nNestingCount == 1) {
    ok = m_pclTransaction->bCommit(error, name);
    if (ok) TransactionEnded();
  }
  if (!m_bSavepointMode && m_nNestingCount > 0) --m_nNestingCount;
  return ok;
}

bool CNAConnection::bRollbackTransaction(CNAError* error, const char16_t* name) {
  CNALock lock(&m_clLock);
  if (m_bTransactionLost && m_pclTransaction != nullptr) return bEndLostTransaction(error);
  if (m_pclTransaction == nullptr || !m_pclTransaction->bIsActive()) {
    NASetErrorMessage(error, 0, 1, 2, this, 9u, name != nullptr ? name : u"", u"");
    return false;
  }
  bool ok = true;
  if (m_bSavepointMode || m_nNestingCount == 1) {
    ok = m_pclTransaction->bRollback(error, name);
    if (ok) TransactionEnded();
  }
  if (!m_bSavepointMode && m_nNestingCount > 0) --m_nNestingCount;
  return ok;
}

bool CNAConnection::bSavepoint(CNAError* error, const char16_t* name) {
  CNALock lock(&m_clLock);
  CNASavepoint* level = m_pclTransaction != nullptr ? m_pclTransaction->pclGetInnermost() : nullptr;
  if (level == nullptr) {
    NASetErrorMessage(error, 0, 1, 18, this, 29u, name != nullptr ? name : u"");
    return false;
  }
  return level->bExecuteSavepoint(error, name);
}

bool CNAConnection::bRollbackToSavepoint(CNAError* error, const char16_t* name) {
  CNALock lock(&m_clLock);
  CNASavepoint* level = m_pclTransaction != nullptr ? m_pclTransaction->pclGetInnermost() : nullptr;
  if (level == nullptr) {
    NASetErrorMessage(error, 0, 1, 19, this, 29u, name != nullptr ? name : u"");
    return false;
  }
  return level->bExecuteRollbackTo(error, name);
}

CNASavepoint* CNAConnection::pGetCurrentTransaction() {
  CNALock lock(&m_clLock);
  return m_pclTransaction != nullptr ? m_pclTransaction->pclGetInnermost() : nullptr;
}

bool CNAConnection::bHasActiveTransaction() { return pGetCurrentTransaction() != nullptr; }

bool CNAConnection::bIsClosable() {
  CNALock lock(&m_clLock);
  return m_bClosableWhenUnused &&
         (m_pclTransaction == nullptr || !m_pclTransaction->bIsActive());
}

// ---- other slots

bool CNAConnection::bCanDeclareNotNull(const CNAColumn*) { return true; }

bool CNAConnection::bLockRecords(CNAError* error, const char16_t* table) {
  CTString quoted;
  if (!bQuoteQualifiedName(error, table, &quoted)) return false;
  std::u16string text(u"LOCK TABLE ");
  text += quoted.pszGet();
  return bExecuteText(error, text.c_str());
}

bool CNAConnection::bExecuteForUpdate(CNAError* error, const char16_t* text) {
  std::u16string whole(text != nullptr ? text : u"");
  whole += u" FOR UPDATE";
  return bExecuteQuery(error, whole.c_str());
}

bool CNAConnection::bUnsupported(CNAError* error, const char16_t* item) {
  NASetErrorMessage(error, 0, 1, 3, this, kNAErrorNotSupported, item != nullptr ? item : u"");
  return false;
}

bool CNAConnection::bExecuteText(CNAError* error, const char16_t*) {
  return bUnsupported(error, u"");
}

void CNAConnection::CopyFrom(CNAConnection* source, INACopyContext* context, intptr_t,
                             intptr_t) {
  if (context != nullptr && context->pFindCopy(source) == nullptr) {
    context->bRegisterCopy(source, this);
  }
  m_strKey = source->m_strKey;
  m_bClosableWhenUnused = source->m_bClosableWhenUnused;
  // "Opened by the caller" stands for a hold of its own, released when the
  // program closes the connection: the copy takes that hold with the flag.
  if (source->m_bOpenedByCaller && !m_bOpenedByCaller) NAAddRef(this);
  m_bOpenedByCaller = source->m_bOpenedByCaller;
  m_strDatabase = source->m_strDatabase;
  m_bDatabaseResolved = source->m_bDatabaseResolved;
  m_nCacheSize = source->m_nCacheSize;
  m_nCursorLocation = source->m_nCursorLocation;
  m_bSavepointMode = source->m_bSavepointMode;
  m_strExtendedInfo = source->m_strExtendedInfo;
  m_nConnectionTimeout = source->m_nConnectionTimeout;
  m_nCommandTimeout = source->m_nCommandTimeout;
  m_nLockTimeout = source->m_nLockTimeout;
  m_strRecordLock = source->m_strRecordLock;
  m_bRecordLockFound = source->m_bRecordLockFound;
  m_bUnicodeColumnsAllowed = source->m_bUnicodeColumnsAllowed;
  m_nUnicode = source->m_nUnicode;
  m_nLanguageCodePage = source->m_nLanguageCodePage;
  m_nConnectionCodePage = source->m_nConnectionCodePage;
  m_strFurtherText = source->m_strFurtherText;
  m_nFurtherValue = source->m_nFurtherValue;
  m_strSslMode = source->m_strSslMode;
  m_strSslKey = source->m_strSslKey;
  m_strSslCert = source->m_strSslCert;
  m_strSslCa = source->m_strSslCa;
  m_strSslKept = source->m_strSslKept;
  m_strSslCaPath = source->m_strSslCaPath;
  m_strSslCipher = source->m_strSslCipher;
  m_strClientVersion = source->m_strClientVersion;
  m_strClientLibrary = source->m_strClientLibrary;
  m_strApplicationName = source->m_strApplicationName;
  m_nDbmsKind = source->m_nDbmsKind;
  m_strServerVersion = source->m_strServerVersion;
  m_nServerMajor = source->m_nServerMajor;
  m_nServerMinor = source->m_nServerMinor;
  m_nServerPatch = source->m_nServerPatch;
  m_strOpenQuote = source->m_strOpenQuote;
  m_nOpenQuoteLength = source->m_nOpenQuoteLength;
  m_strCloseQuote = source->m_strCloseQuote;
  m_nCloseQuoteLength = source->m_nCloseQuoteLength;
  m_strBinaryPrefix = source->m_strBinaryPrefix;
  m_strBinarySuffix = source->m_strBinarySuffix;
  for (int i = 0; i < 6; ++i) m_astrFurther[i] = source->m_astrFurther[i];
  m_strNativeLibraryPath = source->m_strNativeLibraryPath;
  m_strClientLibraryVersion = source->m_strClientLibraryVersion;
  m_clPassword.nSetClearText(source->m_clPassword.clGetClearText().pszGet());
  if (m_piDescription != nullptr) {
    m_piDescription->Release();
    m_piDescription = nullptr;
  }
  if (source->m_piDescription != nullptr) {
    m_piDescription = context != nullptr
                          ? context->piGetCopiedDescription(source->m_piDescription)
                          : nullptr;
    if (m_piDescription == nullptr) {
      m_piDescription = source->m_piDescription;
      m_piDescription->AddRef();
    }
  }
}

bool CNAConnection::bParseServerVersion() {
  int32_t parts[3] = {-1, 0, 0};
  const char16_t* s = m_strServerVersion.pszGet();
  bool any = false;
  for (int i = 0; i < 3; ++i) {
    bool ok = false;
    int64_t v = ParseInt64(s, &ok);
    if (!ok) break;
    any = true;
    parts[i] = static_cast<int32_t>(v);
    while (*s == u' ' || *s == u'-' || *s == u'+') ++s;
    while (*s >= u'0' && *s <= u'9') ++s;
    if (*s != u'.') break;
    ++s;
  }
  m_nServerMajor = parts[0];
  m_nServerMinor = parts[1];
  m_nServerPatch = parts[2];
  return any;
}

bool CNAConnection::bIsGroupKind() {
  switch (m_nDbmsKind) {
    case 1: case 2: case 4: case 7: case 9: case 12: case 13:
      return true;
    default:
      return false;
  }
}

// ---- per-kind type names

const char16_t* CNAConnection::pszGetVarcharType() {
  return m_nDbmsKind == 1 ? u"VARCHAR2" : u"VARCHAR";
}
const char16_t* CNAConnection::pszGetNVarcharType() {
  return m_nDbmsKind == 1 ? u"NVARCHAR2" : u"NVARCHAR";
}
const char16_t* CNAConnection::pszGetLongTextType() {
  if (m_nDbmsKind == 5) return m_nServerMajor > 3 ? u"LONGTEXT" : u"LONGBLOB";
  return u"CLOB";
}
const char16_t* CNAConnection::pszGetLongNTextType() {
  if (m_nDbmsKind == 5) return m_nServerMajor > 3 ? u"LONGTEXT CHARACTER SET ucs2" : u"LONGBLOB";
  return u"NCLOB";
}
int32_t CNAConnection::nGetMaxVarchar() {
  switch (m_nDbmsKind) {
    case 1: return 4000;
    case 2: return 8000;
    case 5: return 255;
    default: return -1;
  }
}
int32_t CNAConnection::nGetMaxNVarchar() {
  switch (m_nDbmsKind) {
    case 1: return 2000;
    case 2: return 4000;
    case 5: return 255;
    default: return -1;
  }
}

// ---- trace

void CNAConnection::TraceInto(CXError* error) {
  if (error == nullptr) return;
  if (!m_strClientLibraryVersion.bEstVide()) {
    error->AddInfo(EIT_INFOCLIENT, m_strClientLibraryVersion.pszGet());
  }
  if (!m_strServerVersion.bEstVide()) error->AddInfo(EIT_INFOSERVEUR, m_strServerVersion.pszGet());
  CNAManager* manager = m_pManager;
  auto label = [&](NATraceLabel which) -> const char16_t* {
    return manager != nullptr ? manager->pszGetTraceLabel(which) : NADefaultTraceLabel(which);
  };
  auto line = [&](NATraceLabel which, const char16_t* value) {
    std::u16string text(label(which));
    text += value;
    error->AddDebugMessage(text.c_str());
  };
  auto text_line = [&](NATraceLabel which, const char16_t* value) {
    if (value != nullptr && value[0] != 0) line(which, value);
  };
  auto number_line = [&](NATraceLabel which, int32_t value) {
    if (value != -1) line(which, qg::FormatString(u"%d", value).c_str());
  };
  auto code_page_line = [&](NATraceLabel which, int32_t value) {
    if (value == -1) return;
    if (value == -2) return line(which, u"UTF-16");
    if (value == 65001) return line(which, u"UTF-8");
    line(which, qg::FormatString(u"%d", value).c_str());
  };
  // The path of the client library loaded for this module, unless the
  // connection names its own.
  CTString native = m_strNativeLibraryPath.bEstVide() ? GetNativeLibraryPath()
                                                      : m_strNativeLibraryPath;
  text_line(kLabelNativeLibrary, native.pszGet());
  if (m_piDescription != nullptr) {
    text_line(kLabelProvider, m_piDescription->pszGetProvider());
    text_line(kLabelUser, m_piDescription->pszGetUser());
    text_line(kLabelDataSource, m_piDescription->pszGetDataSource());
  }
  text_line(kLabelDatabase, m_bDatabaseResolved ? m_strDatabase.pszGet()
                                                : pszGetDescriptionDatabase());
  number_line(kLabelConnectionTimeout, m_nConnectionTimeout);
  number_line(kLabelCommandTimeout, m_nCommandTimeout);
  number_line(kLabelLockTimeout, m_nLockTimeout);
  if (m_nCursorLocation != kNACursorDefault) {
    line(kLabelCursorPosition, m_nCursorLocation == kNACursorClient   ? u"Client"
                               : m_nCursorLocation == kNACursorServer ? u"Server"
                                                                      : u"Unknown");
  }
  line(kLabelUnicode, qg::FormatString(u"%d", m_nUnicode).c_str());
  code_page_line(kLabelLanguageCodePage, m_nLanguageCodePage);
  code_page_line(kLabelConnectionCodePage, m_nConnectionCodePage);
  text_line(kLabelLockTag, m_strRecordLock.pszGet());
}
