#include "driver/mariadb/statement_mariadb.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <new>
#include <string>

#include "driver/core/connection.h"
#include "driver/core/error_status.h"
#include "driver/mariadb/client_entry_points.h"
#include "driver/mariadb/client_link.h"
#include "driver/mariadb/client_version.h"
#include "driver/mariadb/type_mapping.h"
#include "driver/sql/value_converter.h"
#include "support/ctstring.h"
#include "support/platform/codepage.h"

namespace {

constexpr uint32_t kSite = 100;
// Row count of an unbuffered result: positive, so rows are fetched.
constexpr int64_t kUnknownRowCount = 4294967295LL;
// A walk over result sets ends after this many, whatever the library says.
constexpr int kMaxResultSets = 100000;

// Sites of the guarded calls.
enum : uint32_t {
  kSiteQuery = 3, kSiteStore = 5, kSiteUse = 6, kSiteFree = 7, kSiteFetchFields = 8,
  kSiteNumFields = 9, kSiteNumFieldsUse = 10, kSiteSeek = 11, kSiteFetchRow = 12,
  kSiteNumRows = 13, kSiteErrnoStore = 15, kSiteErrnoUse = 16, kSiteDrainStore = 18,
  kSiteDrainNext = 19, kSiteDrainFree = 20, kSiteNextResult = 21, kSiteStoreError = 22,
  kSiteQueryError = 23, kSiteUseError = 24, kSiteFetchError = 25, kSitePacket = 26,
  kSiteLengths = 27, kSiteAffectedRows = 28, kSiteLaterStatement = 29, kSiteColumns = 1,
  kSiteErrnoFetch = 30, kSiteBadColumn = 31, kSiteSeekState = 32, kSiteNotOpen = 33,
};

class LinkLock {
 public:
  explicit LinkLock(INAMariaDBClientLink* link)
      : m_pSection(link != nullptr ? link->pGetClientLock() : nullptr) {
    if (m_pSection != nullptr) m_pSection->Enter();
  }
  ~LinkLock() {
    if (m_pSection != nullptr) m_pSection->Leave();
  }
  LinkLock(const LinkLock&) = delete;
  LinkLock& operator=(const LinkLock&) = delete;

 private:
  CNACriticalSection* m_pSection;
};

std::u16string Widen(const char* text, size_t n, uint32_t code_page) {
  std::u16string out;
  if (n == 0) return out;
  int need = qg::MultiByteToWide(code_page, text, static_cast<int>(n), nullptr, 0);
  if (need <= 0) return out;
  out.resize(static_cast<size_t>(need));
  qg::MultiByteToWide(code_page, text, static_cast<int>(n), out.data(), need);
  return out;
}

}  // namespace

CNAStatementMariaDB::CNAStatementMariaDB(CNAConnection* connection)
    : CNAStatement(connection), m_pLink(dynamic_cast<INAMariaDBClientLink*>(connection)) {}

CNAStatementMariaDB::CNAStatementMariaDB() = default;

CNAStatementMariaDB::~CNAStatementMariaDB() {
  if (m_pResult != nullptr) bCloseResult(nullptr);
}

template <typename F>
bool CNAStatementMariaDB::bGuard(CNAError* error, uint32_t minor, F&& call) {
  try {
    call();
    return true;
  } catch (const CTString& name) {
    if (error != nullptr) error->SetErrorMessage(0, kSite, minor, m_pConnection, 37, name.pszGet());
  } catch (...) {
    if (error != nullptr) {
      error->SetErrorMessage(0, kSite, minor, m_pConnection, 23, u"MariaDB");
      error->AddDebugMessage(3355, m_pConnection != nullptr ? gstrClientVersion.pszGet() : u"");
    }
  }
  return false;
}

void CNAStatementMariaDB::ResetResultFields() {
  m_pResult = nullptr;
  m_apRowOffsets.clear();
  m_pRow = nullptr;
  m_pLengths = nullptr;
  m_nRowCount = 0;
  m_nColumnCount = 0;
  m_nCurrentRow = -1;
  SetUnbufferedDone();
}

void CNAStatementMariaDB::SetUnbufferedDone() {
  if (m_bUnbuffered && m_pLink != nullptr) m_pLink->AddOpenUnbufferedResult(-1);
  m_bUnbuffered = false;
}

bool CNAStatementMariaDB::bConnectionError(void* handle, uint32_t major, uint32_t minor,
                                           CNAError* error) {
  if (m_pLink == nullptr) return false;
  return m_pLink->bRecordClientError(static_cast<MYSQL*>(handle), error, major, minor);
}

bool CNAStatementMariaDB::bExecuteNarrow(const char* text, size_t length, intptr_t unused,
                                         int64_t* affected, CNAError* error) {
  // The length given: a literal may hold a zero byte.
  return bExecuteBytes(text, length, unused, 0, affected, error);
}

bool CNAStatementMariaDB::bExecute(const char* text, intptr_t a, intptr_t b, int64_t* affected,
                                   CNAError* error) {
  if (text == nullptr) text = "";
  return bExecuteBytes(text, std::strlen(text), a, b, affected, error);
}

bool CNAStatementMariaDB::bExecuteBytes(const char* text, size_t length, intptr_t, intptr_t b,
                                        int64_t* affected, CNAError* error) {
  if (text == nullptr) {
    text = "";
    length = 0;
  }
  // Executing again frees the open result first (an unbuffered one would
  // leave the connection out of sync).
  if (m_pResult != nullptr && !bCloseResult(error)) return false;
  LinkLock lock(m_pLink);
  if (m_pConnection != nullptr && m_pConnection->bTransactionLost(error)) return false;
  MYSQL* handle = m_pLink != nullptr ? m_pLink->pGetClientHandle() : nullptr;
  if (handle == nullptr) {
    if (error != nullptr) error->SetErrorMessage(0, kSite, kSiteNotOpen, m_pConnection, 79);
    return false;
  }
  // Bytes beyond ASCII in a conversation the program switched to another
  // set would be read as other characters (a lead byte can swallow the
  // closing quote of a name or literal).
  if (NAHasByteBeyondAscii(text, length) && m_pLink->bConversationChanged(error)) return false;
  m_pLink->NoteStatementSent();
  int status = 0;
  if (!bGuard(error, kSiteQuery, [&] {
        status = gMariaDB.mysql_real_query(handle, text, static_cast<unsigned long>(length));
      })) {
    return false;
  }
  if (status == 0) m_pLink->NoteSessionState();
  if (status != 0) {
    std::u16string wide = Widen(text, length, m_pLink->nGetServerCodePage());
    OnError(handle, kSite, kSiteQueryError, wide.c_str(), wide.size(), length, error);
    (void)b;
    return false;
  }
  bool result = true;
  if (affected != nullptr) {
    my_ulonglong rows = 0;
    if (bGuard(error, kSiteAffectedRows, [&] { rows = gMariaDB.mysql_affected_rows(handle); })) {
      *affected = rows == static_cast<my_ulonglong>(-1) ? 0 : static_cast<int64_t>(rows);
    } else {
      *affected = 0;
      result = false;
    }
  }
  bool taken = m_nStoreMode == 1 ? bStoreResult(handle, error) : bUseResult(handle, error);
  result = result && taken;
  if (m_nColumnCount != 0 && m_pResult != nullptr) {
    bool loaded = bLoadColumns(error);
    result = result && loaded;
  }
  return result;
}

bool CNAStatementMariaDB::bStoreResult(MYSQL* handle, CNAError* error) {
  bool result = true;
  bool multi = m_pLink->bLinkMultiResults();
  m_apRowOffsets.clear();
  for (int walk = 0; walk < kMaxResultSets; ++walk) {
    m_pResult = nullptr;
    bGuard(error, kSiteStore, [&] { m_pResult = gMariaDB.mysql_store_result(handle); }) ||
        (result = false);
    m_nState = 1;
    if (m_pResult != nullptr) break;
    unsigned int number = 0;
    if (!bGuard(error, kSiteErrnoStore, [&] { number = gMariaDB.mysql_errno(handle); })) {
      result = false;
    }
    if (number != 0) {
      bConnectionError(handle, kSite, kSiteStoreError, error);
      return false;
    }
    int next = -1;
    if (multi && !bGuard(error, kSiteNextResult, [&] { next = gMariaDB.mysql_next_result(handle); })) {
      result = false;
      next = -1;  // a walk whose call raises stops here
    }
    if (next > 0) {
      // A later statement of the text failed: that is an error, not the end.
      bConnectionError(handle, kSite, kSiteLaterStatement, error);
      return false;
    }
    if (next != 0) {
      m_nRowCount = 0;
      m_nColumnCount = 0;
      return result;
    }
    m_pLink->NoteSessionState();
  }
  if (m_pResult == nullptr) {
    m_nRowCount = 0;
    m_nColumnCount = 0;
    return result;
  }
  my_ulonglong rows = 0;
  if (bGuard(error, kSiteNumRows, [&] { rows = gMariaDB.mysql_num_rows(m_pResult); })) {
    m_nRowCount = static_cast<int64_t>(rows);
  } else {
    result = false;
  }
  unsigned int fields = 0;
  if (bGuard(error, kSiteNumFields, [&] { fields = gMariaDB.mysql_num_fields(m_pResult); })) {
    m_nColumnCount = static_cast<int>(fields);
  } else {
    result = false;
  }
  if (!multi) return result;
  // Read and drop the result sets after the one kept, so that the
  // connection is free for the next command.
  for (int walk = 0; walk < kMaxResultSets; ++walk) {
    int next = -1;
    if (!bGuard(error, kSiteDrainNext, [&] { next = gMariaDB.mysql_next_result(handle); })) {
      return false;
    }
    if (next > 0) {
      bConnectionError(handle, kSite, kSiteLaterStatement, error);
      return false;
    }
    if (next != 0) return result;
    m_pLink->NoteSessionState();
    MYSQL_RES* extra = nullptr;
    if (!bGuard(error, kSiteDrainStore, [&] { extra = gMariaDB.mysql_store_result(handle); })) {
      result = false;
    }
    if (extra != nullptr &&
        !bGuard(error, kSiteDrainFree, [&] { gMariaDB.mysql_free_result(extra); })) {
      result = false;
    }
  }
  return result;
}

bool CNAStatementMariaDB::bUseResult(MYSQL* handle, CNAError* error) {
  bool result = true;
  m_apRowOffsets.clear();
  m_pResult = nullptr;
  if (!bGuard(error, kSiteUse, [&] { m_pResult = gMariaDB.mysql_use_result(handle); })) {
    result = false;
  }
  m_nState = 1;
  if (m_pResult != nullptr) {
    m_bUnbuffered = true;
    m_pLink->AddOpenUnbufferedResult(1);
    m_nRowCount = kUnknownRowCount;
    unsigned int fields = 0;
    if (!bGuard(error, kSiteNumFieldsUse, [&] { fields = gMariaDB.mysql_num_fields(m_pResult); })) {
      return false;
    }
    m_nColumnCount = static_cast<int>(fields);
    return result;
  }
  unsigned int number = 0;
  bGuard(error, kSiteErrnoUse, [&] { number = gMariaDB.mysql_errno(handle); });
  if (number != 0) {
    bConnectionError(handle, kSite, kSiteUseError, error);
    return false;
  }
  m_nRowCount = 0;
  m_nColumnCount = 0;
  return result;
}

bool CNAStatementMariaDB::bClearState(CNAError* error) {
  bool ok = bCloseResult(error);
  m_nState = 0;
  return ok;
}

bool CNAStatementMariaDB::bCloseResult(CNAError* error) {
  if (m_pResult == nullptr) {
    m_nState = 0;
    SetUnbufferedDone();
    return true;
  }
  bool result = true;
  {
    LinkLock lock(m_pLink);
    if (m_bUnbuffered) {
      // Read the rest off the wire so that the connection can be used again.
      for (;;) {
        MYSQL_ROW row = pFetchRawRow(0, error);
        if (row == nullptr) break;
      }
    }
    MYSQL_RES* held = m_pResult;
    if (!bGuard(error, kSiteFree, [&] { gMariaDB.mysql_free_result(held); })) result = false;
    ResetResultFields();
  }
  m_nState = 0;
  return result;
}

void CNAStatementMariaDB::OnError(MYSQL* handle, uint32_t major, uint32_t minor,
                                  const char16_t* text, size_t length, size_t byte_length,
                                  CNAError* error) {
  if (error == nullptr) return;
  ReportError(handle, major, minor, text, length, 0, error);
  const int32_t code = error->nGetBaseCode();
  if (code == 2006 || code == 2013) {
    // Inside a transaction the loss fails the transaction, and the link is
    // left as it is: reopening it would carry on outside the transaction.
    m_pConnection->NoteConnectionLost(error);
    if (m_pConnection->bTransactionLost(nullptr)) return;
  }
  if (code != 2006 || error->bIsSilent()) return;
  // The server went away: perhaps the text was larger than its packet limit.
  CNAError probe;
  probe.SetSilent(true);
  auto read_limit = [&](CAny* value) {
    CNAStatementMariaDB query(m_pConnection);
    return query.bExecuteFetchAll(u"show variables like 'max_allowed_packet'", *value, 1, &probe);
  };
  CAny value;
  bool read = read_limit(&value);
  if (!read && probe.nGetBaseCode() == 2006 && m_pLink->nGetOpenUnbufferedResults() == 0) {
    // Reopening would strand the unbuffered results of other statements.
    probe.Reset();
    if (m_pLink->bReopen(&probe)) read = read_limit(&value);
  }
  if (!read || value.bEstNull() || value.nGetCode() == 0) return;
  if (value.nConvertType(9) >= 100) return;
  int64_t limit = 0;
  if (value.nGetI8(&limit) != 0) return;
  if (limit > 0 && static_cast<uint64_t>(limit) < byte_length) {
    std::u16string start(text, length < 20 ? length : 20);
    error->SetErrorMessage(0, kSite, kSitePacket, m_pConnection, 760101,
                           m_pLink->pszGetLinkDataSource(), static_cast<int32_t>(2006),
                           static_cast<int64_t>(limit), static_cast<int64_t>(byte_length),
                           start.c_str());
    error->SetBaseCode(2006);
  }
}

// ---- rows ------------------------------------------------------------------

bool CNAStatementMariaDB::bLoadColumns(CNAError* error) {
  int n = m_nColumnCount;
  if (!bAllocateColumns(n)) {
    if (error != nullptr) error->SetErrorMessage(0, kSite, kSiteColumns, m_pConnection, 12);
    return false;
  }
  if (n == 0 || m_pResult == nullptr) return true;
  MYSQL_FIELD* fields = nullptr;
  if (!bGuard(error, kSiteFetchFields, [&] { fields = gMariaDB.mysql_fetch_fields(m_pResult); }) ||
      fields == nullptr) {
    return false;
  }
  uint32_t code_page = m_pLink->nGetServerCodePage();
  NAServerVersion version = m_pLink->clGetServerVersion();
  for (int i = 0; i < n; ++i) {
    const MYSQL_FIELD& f = fields[i];
    CNAResultColumn& c = m_pColumns[i];
    c.m_strName.SetFromMultiByte(f.name != nullptr ? f.name : "", code_page);
    c.m_strTable.SetFromMultiByte(f.org_table != nullptr ? f.org_table : "", code_page);
    c.m_strOriginalName.SetFromMultiByte(f.org_name != nullptr ? f.org_name : "", code_page);
    c.m_strDatabase.SetFromMultiByte(f.db != nullptr ? f.db : "", code_page);
    c.m_nServerType = static_cast<int32_t>(f.type);
    c.m_nLength = static_cast<int64_t>(f.length);
    c.m_nScale = static_cast<int32_t>(f.decimals);
    c.m_nCharset = static_cast<int32_t>(f.charsetnr);
    c.m_nFlags = f.flags;
    c.m_nMaxLength = static_cast<int64_t>(f.max_length);
    m_nColumnWidths += static_cast<int64_t>(f.max_length);
    uint64_t length = f.length;
    if (length == 0 && f.max_length != 0) length = f.max_length;
    if (f.type == MYSQL_TYPE_NEWDECIMAL || f.type == MYSQL_TYPE_DECIMAL) {
      // Display length = digits + point (scale > 0) + sign (signed).
      int64_t digits = static_cast<int64_t>(length) - c.m_nScale - (c.m_nScale > 0 ? 1 : 0) -
                       ((f.flags & UNSIGNED_FLAG) != 0 ? 0 : 1);
      c.m_nPrecision = static_cast<int32_t>(digits);
    }
    int type = 0;
    int size = 0;
    NAFieldTypeToColumnType(&type, &size, static_cast<int>(f.type),
                            length > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(length),
                            c.m_nPrecision, c.m_nScale, f.charsetnr, f.flags, code_page, version);
    c.m_nColumnType = type;
    c.m_nSize = size;
  }
  return true;
}

bool CNAStatementMariaDB::bFetchNext(intptr_t, CNAError* error) {
  if (m_nRowCount <= 0) return true;
  return bFetchRow(error);
}

MYSQL_ROW CNAStatementMariaDB::pFetchRawRow(intptr_t, CNAError* error) {
  MYSQL_ROW row = nullptr;
  if (m_pResult == nullptr) return nullptr;
  bGuard(error, kSiteFetchRow, [&] { row = gMariaDB.mysql_fetch_row(m_pResult); });
  return row;
}

bool CNAStatementMariaDB::bFetchRow(CNAError* error) {
  bool result = true;
  LinkLock lock(m_pLink);
  MYSQL_ROWS* at = !m_bUnbuffered && m_pResult != nullptr ? m_pResult->data_cursor : nullptr;
  m_pRow = pFetchRawRow(0, error);
  if (m_pRow == nullptr) {
    m_pLengths = nullptr;
    MYSQL* handle = m_pLink != nullptr ? m_pLink->pGetClientHandle() : nullptr;
    unsigned int number = 0;
    bool read = handle != nullptr &&
                bGuard(error, kSiteErrnoFetch, [&] { number = gMariaDB.mysql_errno(handle); });
    if (!read || number != 0) {
      if (handle != nullptr) bConnectionError(handle, kSite, kSiteFetchError, error);
      result = false;
    }
    m_bEndOfRows = true;
    SetUnbufferedDone();
    return result;
  }
  ++m_nCurrentRow;
  if (at != nullptr && m_nCurrentRow >= 0) {
    size_t row = static_cast<size_t>(m_nCurrentRow);
    if (m_apRowOffsets.size() <= row) m_apRowOffsets.resize(row + 1, nullptr);
    m_apRowOffsets[row] = at;
  }
  MYSQL_RES* held = m_pResult;
  if (!bGuard(error, kSiteLengths, [&] { m_pLengths = gMariaDB.mysql_fetch_lengths(held); })) {
    m_pLengths = nullptr;
    result = false;
  }
  m_bEndOfRows = false;
  return result;
}

bool CNAStatementMariaDB::bSeekRow(int32_t n, CNAError* error) {
  if (m_pResult == nullptr || m_bUnbuffered || m_nStoreMode != 1) {
    if (error != nullptr) error->SetErrorMessage(0, kSite, kSiteSeekState, m_pConnection, 8);
    return false;
  }
  if (n < 0 || n > m_nRowCount) {
    if (error != nullptr) {
      error->SetErrorMessage(0, kSite, kSiteSeekState, m_pConnection, 11, static_cast<int32_t>(n));
    }
    return false;
  }
  m_nCurrentRow = static_cast<int64_t>(n) - 1;
  MYSQL_RES* held = m_pResult;
  bool ok = true;
  if (static_cast<size_t>(n) < m_apRowOffsets.size() && m_apRowOffsets[n] != nullptr) {
    // A row fetched before: its place in the row list, as a row seek sets.
    held->data_cursor = m_apRowOffsets[n];
  } else {
    ok = bGuard(error, kSiteSeek, [&] {
      gMariaDB.mysql_data_seek(held, static_cast<my_ulonglong>(m_nCurrentRow + 1));
    });
  }
  m_pRow = nullptr;
  m_pLengths = nullptr;
  return ok;
}

bool CNAStatementMariaDB::bGetRawColumn(int n, const char** text, size_t* length) const {
  if (m_pRow == nullptr || m_pLengths == nullptr || n < 0 || n >= m_nColumnCount) return false;
  *text = m_pRow[n];
  *length = m_pLengths[n];
  return true;
}

namespace {

// Only these characters may stand unquoted (numbers) or between quotes
// (dates and times) in a literal taken from the server's text.
bool AllOf(const char* text, size_t length, const char* allowed) {
  if (length == 0) return false;
  for (size_t i = 0; i < length; ++i) {
    if (text[i] == 0 || std::strchr(allowed, text[i]) == nullptr) return false;
  }
  return true;
}

// X'..' with the bytes in hexadecimal.
void AppendHexLiteral(const char* bytes, size_t length, std::u16string* out) {
  static const char16_t kDigits[] = u"0123456789ABCDEF";
  out->reserve(out->size() + length * 2 + 3);
  *out += u"X'";
  for (size_t i = 0; i < length; ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    out->push_back(kDigits[b >> 4]);
    out->push_back(kDigits[b & 15]);
  }
  out->push_back(u'\'');
}

// A column of characters (not bytes): every string type, ENUM and SET
// included, in a character set other than binary.
bool IsCharacterText(const CNAResultColumn& column) {
  switch (column.m_nServerType) {
    case MYSQL_TYPE_STRING: case MYSQL_TYPE_VAR_STRING: case MYSQL_TYPE_VARCHAR:
    case MYSQL_TYPE_ENUM: case MYSQL_TYPE_SET: case MYSQL_TYPE_TINY_BLOB:
    case MYSQL_TYPE_MEDIUM_BLOB: case MYSQL_TYPE_LONG_BLOB: case MYSQL_TYPE_BLOB:
      return column.m_nCharset != kNACharsetBinary;
    default:
      return false;
  }
}

}  // namespace

bool CNAStatementMariaDB::bExactCondition(int n, const std::u16string& name,
                                          std::u16string* condition, CNAError* error) {
  const char* text = nullptr;
  size_t length = 0;
  if (bShowsRoundedNumber(n) && bGetRawColumn(n, &text, &length) && text != nullptr) {
    // Only the rounded text is known: every row that shows it matches (the
    // writer finds the stored value before it names the row by it).
    if (!AllOf(text, length, "0123456789+-.eE")) return false;
    *condition = u"CAST(" + name + u" AS CHAR) = '";
    condition->append(text, text + length);
    condition->push_back(u'\'');
    return true;
  }
  if (m_pColumns == nullptr || n < 0 || n >= m_nAllocatedColumns ||
      !IsCharacterText(m_pColumns[n]) || !bGetRawColumn(n, &text, &length)) {
    return CNAStatement::bExactCondition(n, name, condition, error);
  }
  if (text == nullptr) {
    *condition = name + u" IS NULL";
    return true;
  }
  // The server sent the text in the connection's character set, the one
  // CAST(.. AS CHAR) converts to: the bytes received, compared as bytes with
  // the column so converted, match the same characters and no others
  // whatever the column's own character set and collation.
  *condition = u"CAST(CAST(" + name + u" AS CHAR) AS BINARY) = ";
  AppendHexLiteral(text, length, condition);
  return true;
}

bool CNAStatementMariaDB::bIsShortValue(int n) const {
  if (m_pColumns == nullptr || n < 0 || n >= m_nAllocatedColumns) return false;
  switch (m_pColumns[n].m_nServerType) {
    case MYSQL_TYPE_STRING: case MYSQL_TYPE_VAR_STRING: case MYSQL_TYPE_VARCHAR:
    case MYSQL_TYPE_ENUM: case MYSQL_TYPE_SET:
      return true;
    default:
      return false;
  }
}

bool CNAStatementMariaDB::bIsNullValue(int n) const {
  const char* text = nullptr;
  size_t length = 0;
  return bGetRawColumn(n, &text, &length) && text == nullptr;
}

bool CNAStatementMariaDB::bMayHaveLostCharacters(int n) const {
  if (m_pColumns == nullptr || n < 0 || n >= m_nAllocatedColumns || m_pRow == nullptr ||
      m_pLengths == nullptr || n >= m_nColumnCount || !IsCharacterText(m_pColumns[n]) ||
      m_pLink == nullptr || m_pLink->nGetServerCodePage() == 65001) {
    return false;
  }
  const char* text = m_pRow[n];
  return text != nullptr && std::memchr(text, '?', m_pLengths[n]) != nullptr;
}

bool CNAStatementMariaDB::bShowsRoundedNumber(int n) const {
  // The server writes a single-precision value to six significant digits
  // (0.1 and 0.1000001 both read "0.1").
  return m_pColumns != nullptr && n >= 0 && n < m_nAllocatedColumns && m_pRow != nullptr &&
         n < m_nColumnCount && m_pColumns[n].m_nServerType == MYSQL_TYPE_FLOAT &&
         m_pRow[n] != nullptr;
}

bool CNAStatementMariaDB::bHoldsApproximateNumbers(int n) const {
  if (m_pColumns == nullptr || n < 0 || n >= m_nAllocatedColumns) return false;
  return m_pColumns[n].m_nServerType == MYSQL_TYPE_FLOAT ||
         m_pColumns[n].m_nServerType == MYSQL_TYPE_DOUBLE;
}

bool CNAStatementMariaDB::bIsSetOnUpdate(int n) const {
  return m_pColumns != nullptr && n >= 0 && n < m_nAllocatedColumns &&
         (m_pColumns[n].m_nFlags & ON_UPDATE_NOW_FLAG) != 0;
}

bool CNAStatementMariaDB::bStoredFormType(int n, std::u16string* type) const {
  if (m_pColumns == nullptr || n < 0 || n >= m_nAllocatedColumns) return false;
  const CNAResultColumn& column = m_pColumns[n];
  const int scale = column.m_nScale >= 0 && column.m_nScale <= 6 ? column.m_nScale : 0;
  auto with = [&](const char16_t* name, int64_t a, int64_t b = -1) {
    std::string args = "(" + std::to_string(a) + (b >= 0 ? "," + std::to_string(b) : "") + ")";
    *type = name;
    type->append(args.begin(), args.end());
    return true;
  };
  switch (column.m_nServerType) {
    case MYSQL_TYPE_DATETIME: case MYSQL_TYPE_TIMESTAMP:
      return with(u"DATETIME", scale);
    case MYSQL_TYPE_TIME:
      return with(u"TIME", scale);
    case MYSQL_TYPE_DATE: case MYSQL_TYPE_NEWDATE:
      *type = u"DATE";
      return true;
    case MYSQL_TYPE_NEWDECIMAL: {
      const int64_t digits = static_cast<int64_t>(column.m_nPrecision) + column.m_nScale;
      if (column.m_nPrecision < 0 || digits < 1 || digits > 65 || column.m_nScale > 38 ||
          (column.m_nFlags & UNSIGNED_FLAG) != 0) {
        return false;
      }
      return with(u"DECIMAL", digits, column.m_nScale);
    }
    case MYSQL_TYPE_FLOAT:
      *type = u"FLOAT";
      return true;
    case MYSQL_TYPE_STRING:
      // BINARY(n) pads with zero bytes; a character column compares
      // without its trailing spaces anyway.
      if (column.m_nCharset != kNACharsetBinary || column.m_nLength <= 0 ||
          column.m_nLength > 255) {
        return false;
      }
      return with(u"BINARY", column.m_nLength);
    default:
      return false;
  }
}

bool CNAStatementMariaDB::bIdentityLiteral(int n, std::u16string* literal, bool* is_null,
                                           CNAError* error) {
  const char* text = nullptr;
  size_t length = 0;
  if (m_pColumns == nullptr || n >= m_nAllocatedColumns || !bGetRawColumn(n, &text, &length)) {
    return CNAStatement::bIdentityLiteral(n, literal, is_null, error);
  }
  literal->clear();
  *is_null = text == nullptr;
  if (*is_null) return true;
  const CNAResultColumn& column = m_pColumns[n];
  auto hex = [&] {
    AppendHexLiteral(text, length, literal);
    return true;
  };
  switch (column.m_nServerType) {
    case MYSQL_TYPE_BIT: {
      // Up to 64 bits, most significant byte first: compared as a number.
      if (length > 8) break;
      uint64_t bits = 0;
      for (size_t i = 0; i < length; ++i) bits = bits << 8 | static_cast<unsigned char>(text[i]);
      char buffer[24];
      auto done = std::to_chars(buffer, buffer + sizeof(buffer), bits);
      literal->assign(buffer, done.ptr);
      return true;
    }
    case MYSQL_TYPE_TINY: case MYSQL_TYPE_SHORT: case MYSQL_TYPE_LONG: case MYSQL_TYPE_INT24:
    case MYSQL_TYPE_LONGLONG: case MYSQL_TYPE_YEAR: case MYSQL_TYPE_DECIMAL:
    case MYSQL_TYPE_NEWDECIMAL:
      // Every digit as stored.
      if (!AllOf(text, length, "0123456789+-.")) break;
      literal->assign(text, text + length);
      return true;
    case MYSQL_TYPE_FLOAT:
      // Shown rounded to six digits: the text is not the value stored, and
      // a literal made from it would name another row.
      break;
    case MYSQL_TYPE_DOUBLE: {
      // Shown with every digit the value needs: the literal is that double,
      // written with an exponent so that the server reads it as a double.
      double d = 0;
      auto r = std::from_chars(text, text + length, d);
      if (r.ec != std::errc() || r.ptr != text + length) break;
      if (!std::isfinite(d)) break;
      char buffer[64];
      auto done = std::to_chars(buffer, buffer + sizeof(buffer), d, std::chars_format::scientific);
      literal->assign(buffer, done.ptr);
      return true;
    }
    case MYSQL_TYPE_DATE: case MYSQL_TYPE_NEWDATE: case MYSQL_TYPE_DATETIME:
    case MYSQL_TYPE_TIMESTAMP: case MYSQL_TYPE_TIME:
      if (!AllOf(text, length, "0123456789-: .")) break;
      *literal = u"'";
      literal->append(text, text + length);
      literal->push_back(u'\'');
      return true;
    case MYSQL_TYPE_STRING: case MYSQL_TYPE_VAR_STRING: case MYSQL_TYPE_VARCHAR:
    case MYSQL_TYPE_TINY_BLOB: case MYSQL_TYPE_MEDIUM_BLOB: case MYSQL_TYPE_LONG_BLOB:
    case MYSQL_TYPE_BLOB:
      if (column.m_nCharset == kNACharsetBinary) return hex();
      return CNAStatement::bIdentityLiteral(n, literal, is_null, error);
    default:
      return CNAStatement::bIdentityLiteral(n, literal, is_null, error);
  }
  // A server text of a form this driver does not know: the row is not
  // named by a value it cannot vouch for (the caller reports it).
  return false;
}

bool CNAStatementMariaDB::bGetColumnValue(CNAValueConverter* value, int n, intptr_t,
                                          CNAError* error) {
  if (m_pRow == nullptr || value == nullptr) return false;
  if (n < 0 || n >= m_nColumnCount || m_pLengths == nullptr || m_pColumns == nullptr ||
      n >= m_nAllocatedColumns) {
    if (error != nullptr) {
      if (n < 0) {
        error->SetErrorMessage(0, kSite, kSiteBadColumn, m_pConnection, 51, static_cast<int32_t>(n));
      } else {
        error->SetErrorMessage(0, kSite, kSiteBadColumn, m_pConnection, 50,
                               static_cast<int32_t>(n), static_cast<int32_t>(m_nColumnCount));
      }
    }
    return false;
  }
  const char* text = m_pRow[n];
  size_t length = m_pLengths[n];
  if (text == nullptr) {
    value->Clear();
    return true;
  }
  uint32_t server_page = m_pLink->nGetServerCodePage();
  const CNAResultColumn& column = m_pColumns[n];
  switch (column.m_nServerType) {
    case MYSQL_TYPE_DATE:
    case MYSQL_TYPE_DATETIME:
    case MYSQL_TYPE_NEWDATE: {
      // The date part arrives as eight digits.
      char copy[64];
      size_t m = 0;
      for (size_t i = 0; i < length && m < sizeof(copy); ++i) {
        if (text[i] != '-') copy[m++] = text[i];
      }
      if (length > sizeof(copy)) m = length;  // never a date: let it fail as it is
      return m <= sizeof(copy) ? value->bSetFromServerText(copy, m, server_page, error)
                               : value->bSetFromServerText(text, length, server_page, error);
    }
    case MYSQL_TYPE_YEAR: {
      // A year is the first of January of that year.
      int t = value->nGetType();
      if (length == 4 && (t == 24 || t == 26 || t == 128)) {
        char copy[8] = {text[0], text[1], text[2], text[3], '0', '1', '0', '1'};
        return value->bSetFromServerText(copy, 8, server_page, error);
      }
      return value->bSetFromServerText(text, length, server_page, error);
    }
    case MYSQL_TYPE_TINY_BLOB:
    case MYSQL_TYPE_MEDIUM_BLOB:
    case MYSQL_TYPE_LONG_BLOB:
    case MYSQL_TYPE_BLOB: {
      int column_type = value->nGetColumnType();
      int source_type = value->nGetSourceType();
      if (column_type == 23 || column_type == 18) return value->bSetBuffer(text, length);
      if (source_type == 23 || source_type == 18 ||
          (source_type == 0 && column.m_nCharset == kNACharsetBinary)) {
        if (column_type == 29 || column_type == 30) {
          return value->bSetData(text, length / 2, error);
        }
        int32_t host_page = m_pLink->nGetHostCodePage();
        return value->bSetFromServerText(text, length,
                                         host_page > 0 ? static_cast<uint32_t>(host_page) : 1252,
                                         error);
      }
      return value->bSetFromServerText(text, length, server_page, error);
    }
    default:
      return value->bSetFromServerText(text, length, server_page, error);
  }
}

bool CNAStatementMariaDB::bColumnTextInPlace(CAny& out, int n) const {
  if (m_pRow == nullptr || m_pLengths == nullptr || m_pColumns == nullptr || n < 0 ||
      n >= m_nColumnCount || n >= m_nAllocatedColumns) {
    return false;
  }
  const char* text = m_pRow[n];
  const size_t length = m_pLengths[n];
  // NULL and empty values take slot 7's own way.
  if (text == nullptr || length == 0 || length > 4096) return false;
  const CNAResultColumn& column = m_pColumns[n];
  switch (column.m_nServerType) {
    case MYSQL_TYPE_TINY:
    case MYSQL_TYPE_SHORT:
    case MYSQL_TYPE_INT24:
    case MYSQL_TYPE_LONG:
    case MYSQL_TYPE_LONGLONG:
    case MYSQL_TYPE_NEWDECIMAL:
      break;
    case MYSQL_TYPE_VARCHAR:
    case MYSQL_TYPE_VAR_STRING:
    case MYSQL_TYPE_STRING:
      if (column.m_nCharset == kNACharsetBinary) return false;
      break;
    default:
      return false;
  }
  // ASCII reads the same in every code page the server may send in; any
  // other byte goes through the conversion of the conversation's page.
  char16_t wide[4096];
  for (size_t i = 0; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte >= 0x80) return false;
    wide[i] = byte;
  }
  // As slot 7 leaves it: a text value of type 16 holding these characters.
  out.SetType(16);
  out.pclHolder()->vnSetW(wide, static_cast<int>(length));
  return true;
}

// ---- copies ----------------------------------------------------------------

int CNAStatementMariaDB::nCopyFrom(const CNAStatement* source, INACopyContext* context,
                                   intptr_t a, intptr_t b) {
  int status = CNAStatement::nCopyFrom(source, context, a, b);
  m_pLink = dynamic_cast<INAMariaDBClientLink*>(m_pConnection);
  return status;
}

CNAStatement* CNAStatementMariaDB::pclClone(INACopyContext* context, intptr_t a, intptr_t b) {
  auto* copy = new (std::nothrow) CNAStatementMariaDB();
  if (copy == nullptr) return nullptr;
  try {
    copy->nCopyFrom(this, context, a, b);
  } catch (...) {
    delete copy;
    throw;
  }
  return copy;
}
