#include "driver/sql/statement.h"

#include "driver/core/value_holder.h"

#include <atomic>
#include <new>
#include <string>

#include "driver/core/connection.h"
#include "driver/core/dual_string.h"
#include "driver/core/error_status.h"
#include "driver/core/string_builder.h"
#include "driver/sql/value_converter.h"
#include "support/platform/codepage.h"

namespace {

// Site major of the generic statement's errors.
constexpr uint32_t kSiteStatement = 12;
constexpr size_t kReportedTextMax = 5000;

std::atomic<int32_t> gnStatementSerial{0};

}  // namespace

int32_t NANextStatementSerial() { return gnStatementSerial.fetch_add(1) + 1; }

CNAStatement::CNAStatement(CNAConnection* connection)
    : m_pConnection(NAAddRef(connection)), m_nSerial(NANextStatementSerial()) {}

CNAStatement::CNAStatement() : m_nSerial(NANextStatementSerial()) {}

CNAStatement::~CNAStatement() {
  ReleaseBoth(m_pValueHolder);
  FreeColumns();
  ReleaseBoth(m_pConnection);
}

bool CNAStatement::bAllocateColumns(int n) {
  FreeColumns();
  if (n <= 0) return true;
  m_pColumns = new (std::nothrow) CNAResultColumn[static_cast<size_t>(n)];
  if (m_pColumns == nullptr) return false;
  m_nAllocatedColumns = n;
  return true;
}

void CNAStatement::FreeColumns() {
  delete[] m_pColumns;
  m_pColumns = nullptr;
  m_nAllocatedColumns = 0;
}

int32_t CNAStatement::nGetTextCodePage() const {
  if (m_pConnection == nullptr) return 1252;
  int32_t page = m_pConnection->m_nConnectionCodePage;
  if (page == -2) return -2;
  return page > 0 ? page : 1252;
}

void CNAStatement::ReportDriverError(CNAError* error, uint32_t minor, uint32_t number, int32_t a,
                                     int32_t b, bool two) {
  if (error == nullptr) return;
  if (two) {
    error->SetErrorMessage(0, kSiteStatement, minor, m_pConnection, number, a, b);
  } else {
    error->SetErrorMessage(0, kSiteStatement, minor, m_pConnection, number, a);
  }
}

CNAValueConverter* CNAStatement::pclGetValueHolder() {
  if (m_pValueHolder == nullptr) {
    auto* holder = new (std::nothrow) CNAValueConverter(
        m_pConnection, static_cast<uint32_t>(nGetTextCodePage() > 0 ? nGetTextCodePage() : 1252));
    if (holder == nullptr) return nullptr;
    m_pValueHolder = NAAddRef(holder);
  }
  return m_pValueHolder;
}

void CNAStatement::Reset() {
  ++m_nExecution;
  bClearState(nullptr);
  m_nRowCount = -1;
  m_nCurrentRow = -1;
  m_nColumnCount = 0;
  FreeColumns();
  m_nFlags = 0;
  m_bEndOfRows = true;
}

int CNAStatement::nCopyFrom(const CNAStatement* source, INACopyContext*, intptr_t, intptr_t) {
  if (source == nullptr) return 0;
  if (source->m_pConnection != m_pConnection) {
    AddRefBoth(source->m_pConnection);
    ReleaseBoth(m_pConnection);
    m_pConnection = source->m_pConnection;
  }
  m_bEndOfRows = source->m_bEndOfRows;
  return 1;
}

CNAResultColumn* CNAStatement::pclGetResultColumn(int n, CNAError* error) {
  if (n < 0) {
    ReportDriverError(error, 1, 51, n);
    return nullptr;
  }
  if (n >= m_nColumnCount) {
    ReportDriverError(error, 2, 50, n, m_nColumnCount, true);
    return nullptr;
  }
  if ((m_pColumns == nullptr || m_nAllocatedColumns < m_nColumnCount) && !bLoadColumns(error)) {
    return nullptr;
  }
  if (m_pColumns == nullptr || n >= m_nAllocatedColumns) return nullptr;
  return &m_pColumns[n];
}

bool CNAStatement::bGetColumnName(CAny& out, int n, CNAError* error) {
  CNAResultColumn* column = pclGetResultColumn(n, error);
  if (column == nullptr) return false;
  out.SetDSTRW(column->m_strName.pszGet());
  return true;
}

bool CNAStatement::bGetColumnAsText(CAny& out, int n, CNAError* error) {
  CNAValueConverter* holder = pclGetValueHolder();
  if (holder == nullptr) {
    if (error != nullptr) error->SetOutOfMemory(kSiteStatement, 3);
    return false;
  }
  holder->bSetType(16, 0);
  if (!bGetColumnValue(holder, n, 0, error)) return false;
  return holder->bGetValue(out);
}

bool CNAStatement::bGetColumnAsBinary(CAny& out, int n, CNAError* error) {
  CNAValueConverter* holder = pclGetValueHolder();
  if (holder == nullptr) {
    if (error != nullptr) error->SetOutOfMemory(kSiteStatement, 4);
    return false;
  }
  holder->bSetType(28, 0);
  if (!bGetColumnValue(holder, n, 0, error)) return false;
  return holder->bGetValue(out);
}

bool CNAStatement::bIdentityLiteral(int n, std::u16string* literal, bool* is_null,
                                    CNAError* error) {
  CAny value;
  if (!bGetColumnAsText(value, n, error)) return false;
  *is_null = value.bEstNull();
  literal->clear();
  if (*is_null) return true;
  CDualString text(CDualString::kUtf16, 65001);
  if (m_pConnection == nullptr || !m_pConnection->bValueLiteral(error, &text, value, 0, false)) {
    return false;
  }
  *literal = text.pszGetW() != nullptr ? text.pszGetW() : u"";
  return true;
}

bool CNAStatement::bExactCondition(int n, const std::u16string& name, std::u16string* condition,
                                   CNAError* error) {
  std::u16string literal;
  bool is_null = false;
  if (!bIdentityLiteral(n, &literal, &is_null, error)) return false;
  *condition = name + (is_null ? std::u16string(u" IS NULL") : u" = " + literal);
  return true;
}

bool CNAStatement::bGetRowText(CAny& out, int count, CNAError* error) {
  if (!bHasRow()) {
    if (error != nullptr) error->SetErrorMessage(0, kSiteStatement, 5, m_pConnection, 7, u"");
    return false;
  }
  int n = count <= 0 || count > m_nColumnCount ? m_nColumnCount : count;
  CNAValueConverter* holder = pclGetValueHolder();
  if (holder == nullptr) {
    if (error != nullptr) error->SetOutOfMemory(kSiteStatement, 6);
    return false;
  }
  CNAStringBuilder text;
  for (int i = 0; i < n; ++i) {
    if (i > 0) text.AddChar(u'\t');
    holder->bSetType(16, 0);
    if (!bGetColumnValue(holder, i, 0, error)) return false;
    if (holder->bIsNull()) continue;
    CAny value;
    holder->bGetValue(value);
    const char16_t* p = nullptr;
    if (value.nGetPCXSTR(&p) == 0 && p != nullptr) text.Add(p);
  }
  if (text.bFailed()) {
    if (error != nullptr) error->SetOutOfMemory(kSiteStatement, 7);
    return false;
  }
  out.SetDSTRW(text.pszGet(), static_cast<int>(text.nGetLength()));
  return true;
}

bool CNAStatement::bExecuteFetchAll(const char16_t* text, CAny& out, int n, CNAError* error) {
  bool ok = bExecuteWithParameters(text, nullptr, 0, error);
  if (ok) ok = bFetchNext(0, error);
  if (ok && bHasRow()) ok = bGetColumnAsText(out, n, error);
  Reset();
  return ok;
}

bool CNAStatement::bPrepareAndExecute(const char* text, intptr_t unused, int64_t* affected,
                                      CNAError* error) {
  Reset();
  size_t length = 0;
  while (text != nullptr && text[length] != 0) ++length;
  return bExecuteNarrow(text, length, unused, affected, error);
}

bool CNAStatement::bConnectionError(void*, uint32_t, uint32_t, CNAError*) { return false; }

void CNAStatement::ReportError(void* handle, uint32_t major, uint32_t minor, const char16_t* text,
                               size_t length, intptr_t, CNAError* error) {
  if (error == nullptr) return;
  bConnectionError(handle, major, minor, error);
  if (!error->bHasError()) return;
  std::u16string shown = text != nullptr ? std::u16string(text, length) : std::u16string();
  if (shown.size() > kReportedTextMax) shown.resize(kReportedTextMax);
  const char16_t* source = u"";
  const char16_t* database = u"";
  const char16_t* user = u"";
  if (m_pConnection != nullptr) {
    source = m_pConnection->pszGetDataSource();
    database = m_pConnection->pszGetDatabase();
    user = m_pConnection->pszGetUser();
  }
  error->AddDebugMessage(28588, source != nullptr ? source : u"",
                         database != nullptr ? database : u"", user != nullptr ? user : u"",
                         shown.c_str());
}

bool CNAStatement::bAppendValue(CDualString* out, const CAny& value, CNAError* error) {
  if (m_pConnection == nullptr) return false;
  // The literal is written on its own (a literal writer may start its
  // output afresh), then appended.
  CDualString literal(out->nGetStorageCodePage(), out->nGetOutputCodePage());
  if (!m_pConnection->bValueLiteral(error, &literal, value, 0, true)) return false;
  return out->bAddDual(literal);
}

bool CNAStatement::bExecuteWide(const char16_t* text, CNAError* error) {
  return bExecuteWideCounted(text, nullptr, error);
}

bool CNAStatement::bExecuteWideCounted(const char16_t* text, int64_t* affected,
                                       CNAError* error) {
  ++m_nExecution;
  int32_t page = nGetTextCodePage();
  if (page == -2) {
    ReportDriverError(error, 8, 8, 0);
    return false;
  }
  size_t n = 0;
  while (text != nullptr && text[n] != 0) ++n;
  std::string narrow;
  if (n > 0) {
    bool replaced = false;
    if (!qg::Utf16ToCodePage(static_cast<uint32_t>(page), text, static_cast<ptrdiff_t>(n), &narrow,
                             &replaced) ||
        replaced) {
      // A name or text the conversation cannot carry would reach the server
      // as '?': another table, another value.
      ReportUnconvertible(error, text, n, page);
      return false;
    }
  }
  return bExecuteNarrow(narrow.c_str(), narrow.size(), 0, affected, error);
}

bool CNAStatement::bExecuteText(CDualString* text, CNAError* error) {
  ++m_nExecution;
  if (text->nGetStorageCodePage() == -2) return bExecuteWide(text->pszGetW(), error);
  const char* narrow = text->pszGetA();
  if (text->bLossy()) {
    const char16_t* wide = text->pszGetW();
    ReportUnconvertible(error, wide, text->nGetLengthW(), text->nGetStorageCodePage());
    return false;
  }
  return bExecuteNarrow(narrow, text->nGetLengthA(), 0, nullptr, error);
}

void CNAStatement::ReportUnconvertible(CNAError* error, const char16_t* text, size_t length,
                                       int32_t page) {
  if (error == nullptr) return;
  std::u16string shown = text != nullptr ? std::u16string(text, length) : std::u16string();
  if (shown.size() > 200) shown.resize(200);
  const char16_t* source = m_pConnection != nullptr ? m_pConnection->pszGetDataSource() : nullptr;
  const char16_t* database = m_pConnection != nullptr ? m_pConnection->pszGetDatabase() : nullptr;
  error->SetErrorMessage(0, kSiteStatement, 9, m_pConnection, 77, shown.c_str(), page,
                         source != nullptr ? source : u"", database != nullptr ? database : u"");
}

bool CNAStatement::bExecuteWithParameters(const char16_t* text,
                                          const NAStatementParameter* parameters, size_t count,
                                          CNAError* error) {
  Reset();
  if (parameters == nullptr || count == 0) return bExecuteWide(text, error);
  int32_t page = nGetTextCodePage();
  CDualString built(page, page);
  size_t length = 0;
  while (text[length] != 0) ++length;
  size_t done = 0;
  for (size_t i = 0; i < count; ++i) {
    const NAStatementParameter& p = parameters[i];
    if (p.nPosition < done || p.nPosition + p.nLength > length || p.pValue == nullptr) {
      ReportDriverError(error, 10, 53, static_cast<int32_t>(i));
      return false;
    }
    const CAny* value = p.pValue;
    CAny content;
    if ((p.nFlags & 1) != 0) {
      // The value names a file: its content goes in its place, as binary
      // data, or as 8-bit text with bit 4.
      CXYString<char16_t> name;
      const bool named = const_cast<CAny*>(p.pValue)->nGetTexte(&name) < 100 &&
                         name.pszGet() != nullptr && name.pszGet()[0] != 0;
      // A name cut short by a NUL would name another file.
      if (!named || std::char_traits<char16_t>::length(name.pszGet()) !=
                        static_cast<size_t>(name.nTaille())) {
        if (error != nullptr) {
          error->SetErrorMessage(0, 7, 1, m_pConnection, 15u, named ? name.pszGet() : u"", u"");
        }
        return false;
      }
      CNAValueHolder holder;
      if (!holder.bLoadFromFile(name.pszGet(), (p.nFlags & 0x10) != 0, error)) return false;
      holder.bGetValue(content);
      value = &content;
    }
    built.AddW(text + done, static_cast<ptrdiff_t>(p.nPosition - done));
    if (!bAppendValue(&built, *value, error)) return false;
    done = p.nPosition + p.nLength;
  }
  built.AddW(text + done, static_cast<ptrdiff_t>(length - done));
  return bExecuteText(&built, error);
}

CNAStatementStreaming::CNAStatementStreaming() = default;

CNAStatement* CNAStatementStreaming::pclClone(INACopyContext* context, intptr_t a, intptr_t b) {
  auto* copy = new (std::nothrow) CNAStatementStreaming();
  if (copy == nullptr) return nullptr;
  if (copy->nCopyFrom(this, context, a, b) == 0) {
    AddRefBoth(copy);
    ReleaseBoth(copy);
    return nullptr;
  }
  return copy;
}
