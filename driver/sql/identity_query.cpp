#include "driver/sql/identity_query.h"

#include "driver/core/connection.h"
#include "driver/core/error_status.h"
#include "driver/sql/dialect.h"
#include "driver/sql/statement.h"
#include "support/ctstring.h"

namespace {

// Component of identity queries in internal errors; messages.
constexpr uint32_t kSite = 14;
constexpr uint32_t kMessageNoIdentity = 59;
constexpr uint32_t kMessageNoValue = 28576;
constexpr uint32_t kMessageUnavailable = 13;

const char16_t* Or(const char16_t* text) { return text != nullptr ? text : u""; }

// A whole number read from its text becomes a 64-bit integer.
void ToInteger(CAny* value) {
  CAny converted = *value;
  if (converted.nConvertType(qg::kAnyI8) < 100) *value = converted;
}

}  // namespace

CNAIdentityQuery::~CNAIdentityQuery() { NARelease(m_pStatement); }

bool CNAIdentityQuery::bWrite(std::u16string* out, const NAIdentityTarget& target, bool next,
                              CNAError* error) {
  out->clear();
  CNAConnection* c = target.connection;
  if (c == nullptr || target.table == nullptr || target.column == nullptr) {
    NASetErrorMessage(error, 0, kSite, 2, nullptr, kMessageUnavailable);
    return false;
  }
  std::u16string column = target.column;
  std::u16string table = target.table;
  if (target.bQuoteNames) {
    CTString quoted;
    if (!c->bQuoteName(error, target.column, &quoted)) return false;
    column = Or(quoted.pszGet());
    if (!c->bQuoteQualifiedName(error, target.table, &quoted)) return false;
    table = Or(quoted.pszGet());
  }
  *out = nadialect::IdentityQuery(c->m_nDbmsKind, c->m_nServerMajor, target.nHostType, next,
                                  target.bQuoteNames, column, table);
  return true;
}

bool CNAIdentityQuery::bWriteNextValueQuery(std::u16string* out, const NAIdentityTarget& target,
                                            CNAError* error) {
  return bWrite(out, target, true, error);
}

bool CNAIdentityQuery::bWriteIdentityQuery(std::u16string* out, const NAIdentityTarget& target,
                                           CNAError* error) {
  return bWrite(out, target, false, error);
}

bool CNAIdentityQuery::bReadFirst(CNAStatement* statement, const std::u16string& text,
                                  CAny* value, CNAError* error) {
  if (statement == nullptr) {
    NASetErrorMessage(error, 0, kSite, 3, nullptr, kMessageUnavailable);
    return false;
  }
  // Held for the read only: the statement is released after each one.
  NARelease(m_pStatement);
  m_pStatement = NAAddRef(statement);
  value->SetType(qg::kAnyDSTRW);
  value->SetNull(true);
  const bool ok = statement->bExecuteFetchAll(text.c_str(), *value, 0, error);
  NARelease(m_pStatement);
  m_pStatement = nullptr;
  return ok;
}

bool CNAIdentityQuery::bReadNextValue(CNAStatement* statement, const NAIdentityTarget& target,
                                      CAny* value, CNAError* error) {
  std::u16string text;
  if (!bWriteNextValueQuery(&text, target, error)) return false;
  if (!bReadFirst(statement, text, value, error)) return false;
  if (value->bEstNull()) {
    value->SetI8(1);  // an empty table
    return true;
  }
  ToInteger(value);
  return true;
}

bool CNAIdentityQuery::bReadLastIdentity(CNAStatement* statement, const NAIdentityTarget& target,
                                         CAny* value, CNAError* error) {
  std::u16string text;
  if (!bWriteIdentityQuery(&text, target, error)) return false;
  if (!bReadFirst(statement, text, value, error)) return false;
  if (value->bEstNull()) {
    NASetErrorMessage(error, 0, kSite, 1, target.connection, kMessageNoIdentity,
                      Or(target.table), Or(target.column));
    return false;
  }
  ToInteger(value);
  return true;
}

void CNAIdentityQuery::ReportMissingValue(const NAIdentityTarget& target, CNAError* error) {
  if (error == nullptr) return;
  error->SetErrorWithNames(static_cast<int32_t>(kMessageNoValue), 0, 0, kSite, 4,
                           target.connection, Or(target.table), Or(target.column));
  error->SetUserMessage(kMessageNoValue, Or(target.table), Or(target.column));
}
