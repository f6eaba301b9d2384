#include "driver/core/session.h"

#include <atomic>
#include <new>
#include <string>
#include <vector>

#include "driver/core/connection.h"
#include "driver/core/copy_context.h"
#include "driver/core/dispatcher.h"
#include "driver/core/edit_record.h"
#include "driver/core/error_status.h"
#include "driver/core/host_interfaces.h"
#include "driver/core/manager.h"
#include "driver/core/registry.h"
#include "driver/sql/column.h"
#include "driver/sql/file_description.h"
#include "driver/sql/filter.h"
#include "driver/sql/item.h"
#include "driver/sql/query.h"
#include "driver/sql/record_cache.h"
#include "driver/sql/record_source.h"
#include "driver/sql/sql_generator.h"
#include "driver/sql/sql_types.h"
#include "driver/sql/table_access.h"
#include "driver/sql/table_description.h"
#include "support/any.h"
#include "support/platform/codepage.h"

namespace {

constexpr uint32_t kSessionSite = 3;
constexpr uint32_t kRecordCacheLimit = 50;

std::atomic<uint32_t> g_nPositionSerial{0};

template <class T>
void Replace(T*& field, T* value) {
  if (field == value) return;
  if (value != nullptr) AddRefBoth(value);
  T* old = field;
  field = value;
  if (old != nullptr) ReleaseBoth(old);
}

template <class T>
void Drop(T*& field) {
  T* old = field;
  field = nullptr;
  if (old != nullptr) ReleaseBoth(old);
}

// Whether bytes[0..n) are well-formed UTF-8 (no overlong forms, no
// surrogates, nothing past U+10FFFF).
bool IsUtf8(const unsigned char* bytes, size_t n) {
  for (size_t i = 0; i < n;) {
    const unsigned char b = bytes[i];
    size_t extra = 0;
    uint32_t code = 0;
    if (b < 0x80) {
      ++i;
      continue;
    } else if (b >= 0xC2 && b <= 0xDF) {
      extra = 1;
      code = b & 0x1Fu;
    } else if (b >= 0xE0 && b <= 0xEF) {
      extra = 2;
      code = b & 0x0Fu;
    } else if (b >= 0xF0 && b <= 0xF4) {
      extra = 3;
      code = b & 0x07u;
    } else {
      return false;
    }
    if (n - i <= extra) return false;
    for (size_t k = 1; k <= extra; ++k) {
      if ((bytes[i + k] & 0xC0) != 0x80) return false;
      code = code << 6 | (bytes[i + k] & 0x3Fu);
    }
    if ((extra == 2 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
        (extra == 3 && (code < 0x10000 || code > 0x10FFFF))) {
      return false;
    }
    i += extra + 1;
  }
  return true;
}

// A column of text, 8-bit or UTF-16, plain or memo.
bool IsTextColumnType(int type) {
  return type == kNAColVarChar || type == kNAColText || type == kNAColChar ||
         type == kNAColOneChar || type == kNAColNVarChar || type == kNAColNText;
}

// The value of a text item that the server sent as bytes (a query's binary
// memo bound to a text item): the text those bytes store in the
// conversation's UTF-8. Bytes that are no UTF-8 text stay bytes.
void BytesAsStoredText(CAny* value) {
  if (value == nullptr || value->bEstNull() ||
      (value->nGetCode() != qg::kAnyBIN && value->nGetCode() != qg::kAnyBUFFER)) {
    return;
  }
  const void* data = nullptr;
  int size = 0;
  if (value->pclHolder()->vnGetTexte(&data) != qg::kAnyOk ||
      value->pclHolder()->vnGetTailleSansFin(&size) != qg::kAnyOk || size < 0 ||
      (size > 0 && data == nullptr)) {
    return;
  }
  const auto* bytes = static_cast<const unsigned char*>(data);
  std::u16string text;
  if (size > 0 && (!IsUtf8(bytes, static_cast<size_t>(size)) ||
                   !qg::CodePageToUtf16(qg::kCodePageUtf8, static_cast<const char*>(data), size,
                                        &text))) {
    return;
  }
  CAny converted;
  converted.SetDSTRW(text.c_str(), static_cast<int>(text.size()));
  *value = converted;
}

// The copy of a counted member within a copy context, with one reference
// for the caller: the context's copy when it has one, else a clone made by
// the member's own operation (which gives its reference).
template <class T, class Clone>
T* CopyThrough(T* source, INACopyContext* context, Clone clone) {
  if (source == nullptr) return nullptr;
  if (context != nullptr) {
    void* known = context->pFindCopy(source);
    if (known != nullptr) return NAAddRef(static_cast<T*>(known));
  }
  T* copy = clone(source);
  // Later copies (of objects that refer to this one) find it.
  if (copy != nullptr && context != nullptr && context->pFindCopy(source) == nullptr) {
    context->bRegisterCopy(source, copy);
  }
  return copy;
}

// Stores a value whose reference the field takes over.
template <class T>
void Adopt(T*& field, T* value) {
  T* old = field;
  field = value;
  if (old != nullptr) ReleaseBoth(old);
}

}  // namespace

// ---- notifications

CNAPendingNotifications::~CNAPendingNotifications() {
  try {
    Deliver();
  } catch (...) {
    // A notification never fails the write that queued it.
  }
}

bool CNAPendingNotifications::bAdd(int32_t kind, CNATableAccess* access, intptr_t outcome) {
  if (m_nCount >= 3) return false;
  if (access != nullptr) AddRefBoth(access);
  m_astEntries[m_nCount++] = Entry{kind, access, outcome};
  return true;
}

void CNAPendingNotifications::Deliver() {
  int count = m_nCount;
  m_nCount = 0;
  for (int i = 0; i < count; ++i) {
    Entry entry = m_astEntries[i];
    m_astEntries[i] = Entry{};
    if (m_pSession != nullptr) {
      m_pSession->DeliverNotification(entry.nKind, entry.pAccess, entry.nOutcome);
    }
    if (entry.pAccess != nullptr) ReleaseBoth(entry.pAccess);
  }
}

void CNASession::DeliverNotification(int32_t kind, CNATableAccess* access, intptr_t outcome) {
  if ((m_nNotifyFlags & kNANotifySuppress) != 0) return;
  std::lock_guard<std::mutex> lock(m_muOwner);
  if (m_pOwner == nullptr) return;
  m_pOwner->NotifyOtherSessions(this, kind, reinterpret_cast<intptr_t>(access), outcome, nullptr);
}

void CNASession::SetOwner(CNADispatcher* owner) {
  std::lock_guard<std::mutex> lock(m_muOwner);
  m_pOwner = owner;
}

void CNASession::ClearOwner(CNADispatcher* owner) {
  std::lock_guard<std::mutex> lock(m_muOwner);
  if (m_pOwner == owner) m_pOwner = nullptr;
}

CNADispatcher* CNASession::pclGetOwner() {
  std::lock_guard<std::mutex> lock(m_muOwner);
  return m_pOwner;
}

// ---- construction

CNASession::CNASession() = default;

CNASession::CNASession(INAFileDescription* file, CNAConnection* connection) {
  m_pCache1 = NAAddRef(new CNARecordCache());
  m_pCache1->SetLimits(kRecordCacheLimit, 0);
  m_pCache2 = NAAddRef(new CNARecordCache());
  m_pCache2->SetLimits(kRecordCacheLimit, 0);
  m_pConnection = NAAddRef(connection);
  if (file != nullptr) {
    m_piFile = file;
    file->AddRef();
    if (connection != nullptr) {
      connection->bQuoteQualifiedName(nullptr, file->pszGetName(), &m_strQuotedTable);
    }
  }
}

CNASession::~CNASession() {
  // A virtual call from here would not reach an override: the generic
  // close-all runs by name.
  CloseAllGeneric();
  Drop(m_pActiveFilter);
  if (m_pCache1 != nullptr) m_pCache1->Clear();
  if (m_pCache2 != nullptr) m_pCache2->Clear();
  Drop(m_pCache1);
  Drop(m_pCache2);
  Drop(m_pQuery);
  Drop(m_pLogical);
  if (m_piFile != nullptr) m_piFile->Release();
  if (m_piFileCopy != nullptr) m_piFileCopy->Release();
  m_piFile = m_piFileCopy = nullptr;
  Drop(m_pTableDescription);
  CNAConnection* connection = m_pConnection;
  m_pConnection = nullptr;
  if (connection != nullptr) {
    CNAManager* manager = connection->pclGetManager();
    if (manager != nullptr) {
      manager->bReleaseConnection(connection);
    } else {
      ReleaseBoth(connection);
    }
  }
}

// ---- registry child

bool CNASession::bIsOpen() {
  CNALock lock(&m_clLock);
  return m_bOpen;
}

bool CNASession::bClose(CNAError* /*error*/) {
  CNALock lock(&m_clLock);
  CloseAll();
  return true;
}

void CNASession::SetNameSource(CNARegistry* registry) {
  CNALock lock(&m_clLock);
  m_pNameSource = registry;
}

CNARegistryChild* CNASession::pclCopy(INACopyContext* context, CNAError* error) {
  CNASession* copy = nullptr;
  try {
    copy = pclClone(context);
  } catch (CNAError& thrown) {
    if (error != nullptr) error->SetFrom(&thrown);
    throw;
  }
  if (copy == nullptr && error != nullptr) error->SetOutOfMemory(kSessionSite, 58);
  return copy;
}

// ---- copies

void CNASession::CopyFrom(CNASession* source, INACopyContext* context) {
  if (source == nullptr || source == this) return;
  // Members that refer back to their session (the record source) find this
  // copy through the context: a copy made without one uses its own.
  const bool given_context = context != nullptr;
  CNACopyContext own_context;
  if (context == nullptr) context = &own_context;
  if (context->pFindCopy(source) == nullptr) context->bRegisterCopy(source, this);
  CNALock source_lock(&source->m_clLock);
  CNALock lock(&m_clLock);

  Drop(m_pActiveFilter);
  if (source->m_pActiveFilter != nullptr) {
    Adopt(m_pActiveFilter, CopyThrough(source->m_pActiveFilter, context,
                                       [](CNAFilter* f) { return NAAddRef(f->pclClone()); }));
  }
  auto copy_cache = [&](CNARecordCache*& mine, CNARecordCache* theirs) {
    if (theirs == nullptr) return;
    Adopt(mine, CopyThrough(theirs, context, [](CNARecordCache* c) {
            return NAAddRef(static_cast<CNARecordCache*>(c->pclClone(nullptr)));
          }));
  };
  copy_cache(m_pCache1, source->m_pCache1);
  copy_cache(m_pCache2, source->m_pCache2);

  // The connection: a copy per context when the manager says so, else
  // shared; made first, so that the table access objects write on it.
  CNAConnection* connection = source->m_pConnection;
  CNAManager* manager = connection != nullptr ? connection->pclGetManager() : nullptr;
  if (connection != nullptr && manager != nullptr && manager->bPerContextConnections() &&
      given_context) {
    CNAConnection* copy = static_cast<CNAConnection*>(context->pFindCopy(connection));
    if (copy == nullptr) copy = connection->pclCreate(context, 0, 0);
    Replace(m_pConnection, copy != nullptr ? copy : connection);
  } else {
    Replace(m_pConnection, connection);
  }
  // The descriptions and the record source: copies of the copy's own, made
  // before the table access objects, whose key filters read the copied
  // logical description; the record source belongs to this session.
  Drop(m_pTableDescription);
  Adopt(m_pTableDescription,
        CopyThrough(source->m_pTableDescription, context, [&](CNATableDescription* t) {
          return t->pclCreateCopy(context, 0, nullptr);
        }));
  Drop(m_pQuery);
  Adopt(m_pQuery, CopyThrough(source->m_pQuery, context, [](CNAQuery* q) { return q->pclClone(); }));
  Drop(m_pLogical);
  Adopt(m_pLogical, CopyThrough(source->m_pLogical, context, [&](CNARefCounted* l) {
          return static_cast<CNARefCounted*>(
              NAAddRef(static_cast<CNAFileDescription*>(l)->pclClone(context, nullptr)));
        }));
  // The copied query describes the copy's own result.
  if (m_pQuery != nullptr) {
    m_pQuery->SetLogicalDescription(static_cast<CNAFileDescription*>(m_pLogical));
  }
  Drop(m_pRecordSource);
  Adopt(m_pRecordSource, CopyThrough(source->m_pRecordSource, context, [&](CNARefCounted* r) {
          return static_cast<CNARefCounted*>(
              NAAddRef(static_cast<CNARecordSource*>(r)->pclClone(context)));
        }));
  // Table access objects under the same names; the current one and the
  // SQL-text object map to their copies.
  uint32_t cursor = 0;
  uintptr_t key = 0;
  CNARefCounted* object = nullptr;
  while (source->m_tabAccess.bNext(&cursor, &key, &object)) {
    const char16_t* name = reinterpret_cast<const char16_t*>(key);
    CNATableAccess* theirs = static_cast<CNATableAccess*>(object);
    CNARefCounted* existing = nullptr;
    if (m_tabAccess.bFind(name, &existing)) {
      ReleaseBoth(existing);
    } else {
      CNATableAccess* copy =
          CopyThrough(theirs, context, [&](CNATableAccess* t) { return t->pclClone(context); });
      if (copy != nullptr) {
        m_tabAccess.bAdd(name, copy);
        if (source->m_pCurrentAccess == theirs) m_pCurrentAccess = copy;
        if (source->m_pSQLText == theirs) Replace(m_pSQLText, copy);
        ReleaseBoth(copy);
      }
    }
    ReleaseBoth(object);
  }
  if (source->m_pSQLText != nullptr && m_pSQLText == nullptr) {
    Adopt(m_pSQLText, CopyThrough(source->m_pSQLText, context,
                                  [&](CNATableAccess* t) { return t->pclClone(context); }));
  }

  // Saved positions under the same serial numbers (shared: a position
  // names a record, it is not changed by either session).
  cursor = 0;
  while (source->m_tabPositions.bNext(&cursor, &key, &object)) {
    CNARefCounted* existing = nullptr;
    if (m_tabPositions.bFind(key, &existing)) {
      ReleaseBoth(existing);
    } else {
      m_tabPositions.bAdd(key, object);
    }
    ReleaseBoth(object);
  }

  if (source->m_piFile != nullptr) source->m_piFile->AddRef();
  if (m_piFile != nullptr) m_piFile->Release();
  m_piFile = source->m_piFile;
  if (source->m_piFileCopy != nullptr) source->m_piFileCopy->AddRef();
  if (m_piFileCopy != nullptr) m_piFileCopy->Release();
  m_piFileCopy = source->m_piFileCopy;

  m_bOpen = source->m_bOpen;
  m_nAccessMode = source->m_nAccessMode;
  m_nFlags = source->m_nFlags;
  m_strQueryTable = source->m_strQueryTable;
  m_nQueryMode = source->m_nQueryMode;
  m_nKeyRange = source->m_nKeyRange;
  m_nNotifyFlags = source->m_nNotifyFlags;
  m_nIndexSelection = source->m_nIndexSelection;
  m_strQuotedTable = source->m_strQuotedTable;
  m_nReserved = source->m_nReserved;
  m_nCachedCurrent = source->m_nCachedCurrent;
  m_nUnnamedColumn = source->m_nUnnamedColumn;
  m_nFirstRead = source->m_nFirstRead;
  m_strDisplayName = source->m_strDisplayName;
  m_nRecordSize = source->m_nRecordSize;
  m_nQueryObject = source->m_nQueryObject;
  CNADispatcher* owner = source->pclGetOwner();
  lock.Leave();
  source_lock.Leave();
  SetOwner(owner);
  if (owner != nullptr) owner->AddSession(this);
}

CNASession* CNASession::pclClone(INACopyContext* context) {
  CNASession* copy = new (std::nothrow) CNASession();
  if (copy == nullptr) return nullptr;
  AddRefBoth(copy);
  try {
    copy->CopyFrom(this, context);
  } catch (...) {
    ReleaseBoth(copy);
    if (context != nullptr) context->ForgetCopy(this);
    throw;
  }
  return copy;
}

// ---- state

const char16_t* CNASession::pszGetFileName() {
  CNALock lock(&m_clLock);
  const char16_t* name = m_piFile != nullptr ? m_piFile->pszGetName() : nullptr;
  return name != nullptr ? name : u"";
}

INAFileDescription* CNASession::pclGetFile() {
  CNALock lock(&m_clLock);
  if (m_piFile != nullptr) m_piFile->AddRef();
  return m_piFile;
}

INAFileDescription* CNASession::pclGetHostDescription() {
  CNALock lock(&m_clLock);
  // The query copy of the description is the host's business; until it is
  // made the description itself stands for it.
  INAFileDescription* file = m_nQueryMode != 0 && m_piFileCopy != nullptr ? m_piFileCopy : m_piFile;
  if (file != nullptr) file->AddRef();
  return file;
}

CNARefCounted* CNASession::pclGetLogicalDescription() {
  CNALock lock(&m_clLock);
  return NAAddRef(m_pLogical);
}

CNASQLGenerator* CNASession::pclNewSQLGenerator() {
  CNAManager* manager = m_pConnection != nullptr ? m_pConnection->pclGetManager() : nullptr;
  CNASQLGenerator* generator = manager != nullptr ? manager->pclNewSQLGenerator(m_pConnection) : nullptr;
  if (generator == nullptr && m_pConnection != nullptr) {
    generator = new (std::nothrow) CNASQLGenerator(m_pConnection);
  }
  return generator;
}

CNARefCounted* CNASession::pclGetSQLHelper(CNAError* error) {
  CNALock lock(&m_clLock);
  if (m_pSQLHelper == nullptr) {
    m_pSQLHelper = NAAddRef(pclNewSQLHelper());
    if (m_pSQLHelper == nullptr) {
      if (error != nullptr) error->SetOutOfMemory(kSessionSite, 61);
      return nullptr;
    }
  }
  return NAAddRef(m_pSQLHelper);
}

bool CNASession::bIsModifyingQuery() {
  CNALock lock(&m_clLock);
  if (m_nQueryMode == 0 || m_pQuery == nullptr) return false;
  int kind = m_pQuery->nGetKind();
  return kind == 3 || kind == 4 || kind == 5;
}

bool CNASession::bIsRawSQL() {
  CNALock lock(&m_clLock);
  return m_nQueryMode != 0 && (m_nFlags & kNASessionRawSQL) != 0;
}

bool CNASession::bHasSeveralSources() {
  CNALock lock(&m_clLock);
  if (m_nQueryMode == 0 || m_pQuery == nullptr) return false;
  int count = 0;
  for (bool restart = true; m_pQuery->pclNextSource(restart) != nullptr; restart = false) {
    ++count;
  }
  return count > 1;
}

bool CNASession::bIsHandledByConnection() {
  CNALock lock(&m_clLock);
  return m_nQueryMode != 0 && (m_nFlags & kNASessionRawSQL) == 0 && m_pQuery != nullptr &&
         m_pConnection != nullptr && m_pConnection->bTakesQueryUnchanged();
}

bool CNASession::bIsQueryReusable() {
  CNALock lock(&m_clLock);
  // A bound query description stays usable until the session drops it.
  return m_nQueryMode != 0 && m_pQuery != nullptr;
}

void CNASession::RefreshDisplayName() {
  CNALock lock(&m_clLock);
  if (m_pNameSource != nullptr) {
    CTString name = m_pNameSource->GetName();
    if (!name.bEstVide()) {
      m_strDisplayName = name;
      return;
    }
  }
  m_strDisplayName = pszGetFileName();
}

int32_t CNASession::nGetQueryIndicator() {
  CNALock lock(&m_clLock);
  return m_nQueryMode;
}

void CNASession::SetTableDescription(CNATableDescription* description) {
  CNALock lock(&m_clLock);
  Replace(m_pTableDescription, description);
  ++m_nDescriptionSerial;
}
void CNASession::SetQuery(CNAQuery* query) {
  CNALock lock(&m_clLock);
  Replace(m_pQuery, query);
}
void CNASession::SetRecordSource(CNARefCounted* source) {
  CNALock lock(&m_clLock);
  Replace(m_pRecordSource, source);
}
void CNASession::SetLogicalDescription(CNARefCounted* logical) {
  CNALock lock(&m_clLock);
  Replace(m_pLogical, logical);
  if (m_pQuery != nullptr) m_pQuery->SetLogicalDescription(static_cast<CNAFileDescription*>(logical));
}
void CNASession::SetActiveFilter(CNAFilter* filter) {
  CNALock lock(&m_clLock);
  Replace(m_pActiveFilter, filter);
}
void CNASession::SetSQLTextObject(CNATableAccess* access) {
  CNALock lock(&m_clLock);
  Replace(m_pSQLText, access);
}

// ---- table access objects

CNATableAccess* CNASession::pclFindTableAccess(const char16_t* name) {
  CNALock lock(&m_clLock);
  CNARefCounted* object = nullptr;
  if (!m_tabAccess.bFind(name != nullptr ? name : u"", &object)) return nullptr;
  return static_cast<CNATableAccess*>(object);
}

CNATableAccess* CNASession::pclAddTableAccess(const char16_t* name, CNAError* error) {
  CNALock lock(&m_clLock);
  if (name == nullptr) name = u"";
  CNAManager* manager = m_pConnection != nullptr ? m_pConnection->pclGetManager() : nullptr;
  CNATableAccess* access =
      manager != nullptr ? manager->pclNewTableAccess(this, m_pConnection) : nullptr;
  if (access == nullptr && m_pConnection != nullptr) {
    access = new (std::nothrow) CNATableAccess(this, m_pConnection);
  }
  if (access == nullptr) {
    if (error != nullptr) error->SetOutOfMemory(kSessionSite, 3);
    return nullptr;
  }
  AddRefBoth(access);
  access->SetNames(name, name);
  if (m_piFile != nullptr && access->pszGetTableName()[0] == 0) {
    access->SetTableName(m_piFile->pszGetName());
  }
  if (!m_tabAccess.bAdd(name, access)) {
    ReleaseBoth(access);
    if (error != nullptr) error->SetOutOfMemory(kSessionSite, 3);
    return nullptr;
  }
  return access;
}

CNATableAccess* CNASession::pclGetTableAccess(const char16_t* name, CNAError* error) {
  CNALock lock(&m_clLock);
  CNATableAccess* access = pclFindTableAccess(name);
  if (access == nullptr) access = pclAddTableAccess(name, error);
  if (access != nullptr) m_pCurrentAccess = access;
  return access;
}

CNATableAccess* CNASession::pclGetDefaultTableAccess(CNAError* error) {
  CNALock lock(&m_clLock);
  CNATableAccess* access = pclFindTableAccess(u"");
  return access != nullptr ? access : pclAddTableAccess(u"", error);
}

void CNASession::VisitTableAccess(const std::function<void(const char16_t*, CNATableAccess*)>& f) {
  CNALock lock(&m_clLock);
  uint32_t cursor = 0;
  uintptr_t key = 0;
  CNARefCounted* object = nullptr;
  while (m_tabAccess.bNext(&cursor, &key, &object)) {
    f(reinterpret_cast<const char16_t*>(key), static_cast<CNATableAccess*>(object));
    ReleaseBoth(object);
  }
}

// ---- saved positions

uint32_t CNASession::nNextPositionSerial() { return ++g_nPositionSerial; }

bool CNASession::bAddSavedPosition(uint32_t serial, CNARefCounted* position) {
  CNALock lock(&m_clLock);
  return m_tabPositions.bAdd(serial, position);
}

CNARefCounted* CNASession::pclFindSavedPosition(uint32_t serial) {
  CNALock lock(&m_clLock);
  CNARefCounted* object = nullptr;
  return m_tabPositions.bFind(serial, &object) ? object : nullptr;
}

void CNASession::ForgetPosition(intptr_t serial) {
  CNALock lock(&m_clLock);
  m_tabPositions.bRemove(static_cast<uintptr_t>(static_cast<uint32_t>(serial)));
}

// ---- errors

void CNASession::Fail(CNAError* error, uint32_t minor, uint32_t identifier,
                      const char16_t* argument) {
  if (error == nullptr) return;
  if (argument != nullptr) {
    error->SetErrorMessage(0, kSessionSite, minor, nullptr, identifier, argument);
  } else {
    error->SetErrorMessage(0, kSessionSite, minor, nullptr, identifier);
  }
}

void CNASession::SetFailureLevel(CNAError* error) {
  if (error != nullptr) error->pclGetXError()->nSetNiveau(2);
}

CTString CNASession::DumpIgnored(CNAError& error, const char16_t* file, const char16_t* item) {
  CXError* x = error.pclGetXError();
  std::u16string text = u"Message d'erreur ignoré :";
  text += u"Dump du CXError\r\n";
  text += u"fichier <";
  text += file != nullptr ? file : u"";
  text += u">, rubrique <";
  text += item != nullptr ? item : u"";
  text += u">\r\n";
  text += u"Message d'erreur utilisateur : \r\n";
  text += x->pszGetUserMessage();
  text += u"\r\nMessage d'erreur système : \r\n";
  const char16_t* system = x->pszGetSystemMessage();
  text += system != nullptr ? system : u"";
  text += u"\r\nInformations de debug : \r\n";
  text += x->pszGetDebugMessage();
  if (text.size() > 1000) text.resize(1000);
  return CTString(text.c_str(), text.size());
}

// ---- virtual operations

std::u16string CNASession::ItemName(int32_t item) {
  CNALock lock(&m_clLock);
  NAHostItem host;
  if (m_piFile == nullptr || !m_piFile->bGetItem(item, &host)) return u"";
  const char16_t* name = host.pszSqlName != nullptr ? host.pszSqlName : host.pszName;
  return name != nullptr ? name : u"";
}

bool CNASession::bColumnOfItem(int32_t item, int* column, CNAError* error) {
  CNALock lock(&m_clLock);
  *column = -1;
  const int32_t count = m_piFile != nullptr ? m_piFile->nGetItemCount() : 0;
  if (count <= 0) {
    // No items declared: the items are the table's columns, in order.
    *column = item;
    return true;
  }
  if (item < 0 || item >= count) {
    if (error != nullptr) {
      error->SetErrorMessage(0, kSessionSite, 31, m_pConnection, 50, static_cast<int32_t>(item),
                             static_cast<int32_t>(count));
    }
    return false;
  }
  if (m_nItemColumnsOf != m_nDescriptionSerial) {
    // Each item by its name; in query mode an item whose name no column
    // has takes the column at its place when no item names that column.
    std::vector<int> columns(static_cast<size_t>(count), -1);
    std::vector<uint8_t> named;
    CNATableDescription* table = m_pTableDescription;
    const int width = table != nullptr ? table->nGetColumnCount() : 0;
    named.assign(static_cast<size_t>(width), 0);
    for (int32_t i = 0; i < count && table != nullptr; ++i) {
      NAHostItem host;
      if (!m_piFile->bGetItem(i, &host)) continue;
      const char16_t* name = host.pszSqlName != nullptr ? host.pszSqlName : host.pszName;
      if (name == nullptr || name[0] == 0) continue;
      for (int c = 0; c < width; ++c) {
        CNAColumn* candidate = table->pclColumnAt(c);
        if (candidate == nullptr || candidate->bIsComposite()) continue;
        const char16_t* have = candidate->pszGetName();
        if (have != nullptr && CTString(have).bEstEgalI(name)) {
          columns[static_cast<size_t>(i)] = c;
          named[static_cast<size_t>(c)] = 1;
          break;
        }
      }
    }
    if (m_nQueryMode != 0) {
      for (int32_t i = 0; i < count && i < width; ++i) {
        CNAColumn* at = table->pclColumnAt(i);
        if (columns[static_cast<size_t>(i)] < 0 && named[static_cast<size_t>(i)] == 0 &&
            at != nullptr && !at->bIsComposite()) {
          columns[static_cast<size_t>(i)] = i;
        }
      }
    }
    m_anItemColumns.swap(columns);
    m_nItemColumnsOf = m_nDescriptionSerial;
  }
  *column = m_anItemColumns[static_cast<size_t>(item)];
  return true;
}

bool CNASession::bReadItemValue(int32_t item, CAny* value, CNAError* error) {
  CNALock lock(&m_clLock);
  int column = -1;
  if (!bColumnOfItem(item, &column, error)) return false;
  if (column >= 0) {
    // What the host wrote into the record since it was read.
    const CAny* written = m_pEdits ? m_pEdits->pclShown(column) : nullptr;
    if (written != nullptr) {
      if (value != nullptr) *value = *written;
      return true;
    }
    if (m_pCurrentAccess != nullptr) {
      if (!m_pCurrentAccess->bReadColumnItem(column, value, error)) return false;
      // An item the host declared as text over a column of bytes (a query's
      // binary memo): the text those bytes store.
      NAHostItem declared;
      if (m_piFile != nullptr && m_piFile->bGetItem(item, &declared) && declared.bHasSource &&
          IsTextColumnType(declared.nColumnType)) {
        BytesAsStoredText(value);
      }
      return true;
    }
    // No object read it: the logical description's item of that column
    // answers from the record it holds.
    CNAFileDescription* logical = static_cast<CNAFileDescription*>(m_pLogical);
    CNAColumn* named = logical != nullptr && m_pTableDescription != nullptr &&
                               column < m_pTableDescription->nGetColumnCount()
                           ? m_pTableDescription->pclColumnAt(column)
                           : nullptr;
    CNAItem* held = named != nullptr ? logical->pclFindItemByName(named->pszGetName()) : nullptr;
    if (held != nullptr && !held->bIsCompositeKey()) {
      CAny read;
      if (!held->bReadValue(read, 0, error)) return false;
      if (value != nullptr) *value = read;
      return true;
    }
  }
  // No record, or an item that names no column of the table.
  if (value != nullptr) {
    *value = CAny();
    value->SetNull(true);
  }
  return true;
}

bool CNASession::bWriteItemValue(int32_t item, const CAny* value, CNAError* error) {
  CNALock lock(&m_clLock);
  // Declared items find their columns in the table as the server
  // describes it: a table not open yet opens first.
  if (m_pTableDescription == nullptr && !m_bOpen && m_piFile != nullptr &&
      m_piFile->nGetItemCount() > 0 && !bOpen(0, 0, error)) {
    return false;
  }
  int column = -1;
  if (!bColumnOfItem(item, &column, error)) return false;
  if (column < 0) {
    // The value could never reach the server: refused, not kept aside.
    if (error != nullptr) {
      const char16_t* table =
          m_pTableDescription != nullptr ? m_pTableDescription->pszGetServerName() : nullptr;
      if (table == nullptr || table[0] == 0) table = pszGetFileName();
      std::u16string name = ItemName(item);
      error->SetErrorMessage(0, kSessionSite, 32, m_pConnection, 26, table, name.c_str());
      error->AddTableAndItem(pszGetFileName(), name.c_str());
    }
    return false;
  }
  return bSetColumnValue(column, value, error);
}

bool CNASession::bItemOperation(int32_t item, intptr_t argument, CNAError* error) {
  CNALock lock(&m_clLock);
  if (m_pCurrentAccess == nullptr) return true;
  return m_pCurrentAccess->bBindCheck(argument != 0, item, error);
}

namespace {

// The end of a create, drop, open or delete-all: on success the open flag
// takes its new value, on failure the error is marked (level 2) and the
// flag stays.
bool EndTableOperation(bool ok, bool open_after, bool* open, CNAError* error) {
  if (!ok) {
    CNASession::SetFailureLevel(error);
    return false;
  }
  *open = open_after;
  return true;
}

}  // namespace

bool CNASession::bCreate(intptr_t, int32_t drop_first, CNAError* error) {
  CNALock lock(&m_clLock);
  RefreshDisplayName();
  bool ok = bCreateTable(drop_first != 0, false, error) && bBindDescription(error);
  return EndTableOperation(ok, true, &m_bOpen, error);
}

bool CNASession::bDrop(CNAError* error) {
  CNALock lock(&m_clLock);
  RefreshDisplayName();
  return EndTableOperation(bCreateTable(true, true, error), false, &m_bOpen, error);
}

bool CNASession::bDeleteAll(CNAError* error) {
  CNAPendingNotifications pending(this);
  CNALock lock(&m_clLock);
  RefreshDisplayName();
  return EndTableOperation(bDeleteAllRecords(&pending, error), false, &m_bOpen, error);
}

bool CNASession::bOpenOrCreate(intptr_t a, intptr_t b, CNAError* error) {
  CNALock lock(&m_clLock);
  RefreshDisplayName();
  int32_t exists = 0;
  int32_t matches = 0;
  if (!bDescribeAndCompare(&exists, &matches, error) && exists != 0) {
    SetFailureLevel(error);
    return false;
  }
  if (exists != 0) {
    m_nKeyRange = matches;
    return bOpen(a, b, error);
  }
  if (error != nullptr) error->Reset();
  return bCreate(a, 0, error);
}

bool CNASession::bOpen(intptr_t, intptr_t, CNAError* error) {
  CNALock lock(&m_clLock);
  if (m_bOpen) return true;
  RefreshDisplayName();
  int32_t exists = 0;
  int32_t matches = 0;
  bool ok = bDescribeAndCompare(&exists, &matches, error) && exists != 0 &&
            bBindDescription(error);
  if (ok) m_nKeyRange = matches;
  return EndTableOperation(ok, true, &m_bOpen, error);
}

bool CNASession::bModifyForward(intptr_t record, intptr_t range, intptr_t flags, intptr_t lock,
                                CNAError* error) {
  return bModify(record, range, flags, lock, error);
}

bool CNASession::bUnsupported15(intptr_t, intptr_t, intptr_t, CNAError* error) {
  Fail(error, 10, kNAErrorNotSupported);
  return false;
}
bool CNASession::bUnsupported16(CNAError* error) {
  Fail(error, 11, kNAErrorNotSupported);
  return false;
}
bool CNASession::bUnsupported23(intptr_t, intptr_t, CNAError* error) {
  Fail(error, 5, kNAErrorNotSupported);
  return false;
}
bool CNASession::bUnsupported25(intptr_t, intptr_t, intptr_t, intptr_t, CNAError* error) {
  Fail(error, 7, kNAErrorNotSupported);
  return false;
}
bool CNASession::bUnsupported26(intptr_t, intptr_t, CNAError* error) {
  Fail(error, 29, kNAErrorNotSupported);
  return false;
}
bool CNASession::bUnsupported39(intptr_t, intptr_t, intptr_t, intptr_t, CNAError* error) {
  Fail(error, 13, kNAErrorNotSupported);
  return false;
}

bool CNASession::bResetKeyFilter(const char16_t* name) {
  CNALock lock(&m_clLock);
  CNATableAccess* access = name != nullptr && name[0] != 0 ? pclFindTableAccess(name)
                                                           : NAAddRef(m_pCurrentAccess);
  if (access == nullptr) return true;
  access->ResetKeyFilter();
  ReleaseBoth(access);
  return true;
}

bool CNASession::bHook33(intptr_t out) {
  if (out != 0) *reinterpret_cast<int32_t*>(out) = 0;
  return true;
}

bool CNASession::bCountCurrent(intptr_t flags, CNAError* error, intptr_t out, intptr_t) {
  CNALock lock(&m_clLock);
  return bCount(flags, m_pCurrentAccess, -1, reinterpret_cast<int64_t*>(out), error);
}

bool CNASession::bIsQueryResult(intptr_t out, intptr_t, CNAError*) {
  if (out != 0) *reinterpret_cast<int32_t*>(out) = 1;
  return true;
}


CNATableDescription* CNASession::pclDescribeTable(const char16_t* name, CNAError* error) {
  CNALock lock(&m_clLock);
  if (m_pConnection == nullptr || !m_pConnection->bOpen(error, 0)) return nullptr;
  CNAManager* manager = m_pConnection->pclGetManager();
  if (manager == nullptr) return nullptr;
  return manager->pclGetTableDescriptionByName(m_pConnection, name, error);
}


bool CNASession::bDescribeAndCompare(int32_t* exists, int32_t* matches, CNAError* error) {
  CNALock lock(&m_clLock);
  *exists = 0;
  *matches = 0;
  const char16_t* name = pszGetFileName();
  CNAError probe;
  CNATableDescription* description = pclDescribeTable(name, error != nullptr ? error : &probe);
  if (description == nullptr) {
    if (error != nullptr) {
      if (!error->bHasError()) {
        error->SetErrorMessage(11, kSessionSite, 12, nullptr, 15, name);
      } else {
        error->SetUserMessage(28541, name);
      }
    }
    return false;
  }
  *exists = 1;
  bool bound = bBindTableDescription(description, error);
  ReleaseBoth(description);
  if (!bound) return false;
  *matches = 1;
  return true;
}

CNARefCounted* CNASession::pclNewSavedPosition() { return nullptr; }

int32_t CNASession::nClassifyError(CNAError* error) {
  if (error == nullptr) return 0;
  if (error->nGetCode() > 0) return error->nGetCode();
  return m_pConnection != nullptr ? m_pConnection->nGetErrorCategory(error->nGetBaseCode()) : 0;
}

CNATableDescription* CNASession::pclNewTableDescription() {
  CNAManager* manager = m_pConnection != nullptr ? m_pConnection->pclGetManager() : nullptr;
  return manager != nullptr ? manager->pclNewTableDescription(m_pConnection) : nullptr;
}

CNARefCounted* CNASession::pclNewSQLHelper() {
  CNAManager* manager = m_pConnection != nullptr ? m_pConnection->pclGetManager() : nullptr;
  return manager != nullptr ? reinterpret_cast<CNARefCounted*>(manager->pclNewIdentityQuery())
                            : nullptr;
}

void CNASession::LockRecord(CNATableAccess* access, CNAError* error) {
  CNALock lock(&m_clLock);
  if (access != nullptr && access->bIsPositionValid() && access->nGetLockMode() == 0) {
    access->bLockCurrentRecord(error);
    access->nSetLockState(1);
  }
}

void CNASession::CloseAll() { CloseAllGeneric(); }

void CNASession::CloseAllGeneric() {
  CNALock lock(&m_clLock);
  DropRecordSource();
  m_tabPositions.Clear();
  m_pCurrentAccess = nullptr;
  // Close before release: a table access object may outlive the session
  // in a copy context.
  uint32_t cursor = 0;
  uintptr_t key = 0;
  CNARefCounted* object = nullptr;
  while (m_tabAccess.bNext(&cursor, &key, &object)) {
    static_cast<CNATableAccess*>(object)->Close();
    ReleaseBoth(object);
  }
  m_tabAccess.Clear();
  Drop(m_pSQLHelper);
  if (m_pSQLText != nullptr) m_pSQLText->Close();
  Drop(m_pSQLText);
  m_bOpen = false;
}

bool CNASession::bCheckNoRange(intptr_t record, intptr_t range, CNAError* error) {
  if (record == 0 && range == 0) return true;
  Fail(error, 14, 18);
  return false;
}

// ---- operations the dispatcher calls directly

bool CNASession::bIsAtEnd(const char16_t* name, intptr_t out, CNAError* error) {
  CNALock lock(&m_clLock);
  CNATableAccess* access = pclFindTableAccess(name);
  if (access == nullptr) {
    Fail(error, 17, 5, name != nullptr ? name : u"");
    return false;
  }
  if (out != 0) *reinterpret_cast<int32_t*>(out) = access->bIsOutOfRange() ? 1 : 0;
  ReleaseBoth(access);
  return true;
}

bool CNASession::bIsFoundAndInRange(const char16_t* name, intptr_t found, intptr_t in_range,
                                    CNAError* error) {
  CNALock lock(&m_clLock);
  CNATableAccess* access = pclFindTableAccess(name);
  if (access == nullptr) {
    Fail(error, 18, 5, name != nullptr ? name : u"");
    return false;
  }
  bool f = false;
  bool r = false;
  access->GetFoundAndInRange(&f, &r);
  if (found != 0) *reinterpret_cast<int32_t*>(found) = f ? 1 : 0;
  if (in_range != 0) *reinterpret_cast<int32_t*>(in_range) = r ? 1 : 0;
  ReleaseBoth(access);
  return true;
}

bool CNASession::bLockRecordOf(const char16_t* name, CNAError* error) {
  CNALock lock(&m_clLock);
  CNATableAccess* access = pclFindTableAccess(name);
  if (access == nullptr) return true;
  // Lock mode 2: the record goes into record cache 1 and the object holds
  // that entry as its locked record.
  if (access->bIsPositionValid() && access->nGetLockMode() == 0 &&
      access->bLockCurrentRecord(error)) {
    access->nSetLockState(2);
    int32_t entry = nCacheRecord(access, error);
    ReleaseLockedEntry(access);
    access->m_nLockedEntry = entry;
  }
  ReleaseBoth(access);
  return true;
}

void CNASession::DeactivateFilterOf(const char16_t* name) {
  CNALock lock(&m_clLock);
  CNATableAccess* access = pclFindTableAccess(name);
  if (access == nullptr) return;
  if (m_pActiveFilter != nullptr && access->pclGetFilter() == m_pActiveFilter) {
    Drop(m_pActiveFilter);
  }
  access->DeactivateFilter();
  ReleaseBoth(access);
}

bool CNASession::bGetPositionPerMille(const char16_t* name, int32_t* out, CNAError* error) {
  CNALock lock(&m_clLock);
  CNATableAccess* access = pclFindTableAccess(name);
  if (access == nullptr) {
    Fail(error, 1, 7, name != nullptr ? name : u"");
    return false;
  }
  bool ok = access->bGetPositionPerMille(out, error);
  ReleaseBoth(access);
  return ok;
}

bool CNASession::bGoToPerMille(const char16_t* name, int32_t value, intptr_t, CNAError* error) {
  CNALock lock(&m_clLock);
  CNATableAccess* access = pclGetTableAccess(name, error);
  if (access == nullptr) return false;
  bool ok = access->bGoToPerMille(value, error);
  ReleaseBoth(access);
  return ok;
}

void CNASession::LockAllRecords() {
  CNALock lock(&m_clLock);
  uint32_t cursor = 0;
  uintptr_t key = 0;
  CNARefCounted* object = nullptr;
  while (m_tabAccess.bNext(&cursor, &key, &object)) {
    CNATableAccess* access = static_cast<CNATableAccess*>(object);
    // The transaction that held the record locks is over: each object
    // renews its lock at its next move.
    if (access->nGetLockMode() != 0) access->nSetLockState(2);
    ReleaseBoth(object);
  }
}

void CNASession::ApplyNotification(int32_t kind, intptr_t, intptr_t, CNAError*) {
  CNALock lock(&m_clLock);
  if (kind < 2 || kind > 5) return;
  // Another session of the table wrote: the cached current record may be
  // stale, and every open position re-reads its record at its next move.
  if (m_nCachedCurrent >= 0 && m_pCache1 != nullptr) {
    m_pCache1->nReleaseEntry(m_nCachedCurrent);
    m_nCachedCurrent = -1;
  }
  uint32_t cursor = 0;
  uintptr_t key = 0;
  CNARefCounted* object = nullptr;
  while (m_tabAccess.bNext(&cursor, &key, &object)) {
    CNATableAccess* access = static_cast<CNATableAccess*>(object);
    if (access->bIsPositionValid()) access->nSetLockState(2);
    ReleaseBoth(object);
  }
}
