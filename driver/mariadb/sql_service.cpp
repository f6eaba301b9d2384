#include "driver/mariadb/sql_service.h"

#include <algorithm>
#include <new>
#include <vector>

#include "driver/core/connection.h"
#include "driver/core/dual_string.h"
#include "driver/core/error_status.h"
#include "driver/core/manager.h"
#include "driver/core/support/text_helpers.h"
#include "driver/mariadb/statement_mariadb.h"
#include "driver/sql/column.h"
#include "driver/sql/table_description.h"
#include "driver/sql/value_converter.h"

namespace {

constexpr uint32_t kSite = 51;
std::atomic<int32_t> gnConnectionName{0};

std::u16string Utf16(const char* text) {
  std::u16string out;
  for (const char* p = text; *p != 0; ++p) out.push_back(static_cast<unsigned char>(*p));
  return out;
}

std::vector<std::u16string> Split(const std::u16string& text, const std::u16string& separator) {
  std::vector<std::u16string> parts;
  if (text.empty()) return parts;
  size_t start = 0;
  for (;;) {
    size_t at = text.find(separator, start);
    if (at == std::u16string::npos) {
      parts.push_back(text.substr(start));
      return parts;
    }
    parts.push_back(text.substr(start, at - start));
    start = at + separator.size();
  }
}

std::u16string Join(const std::vector<std::u16string>& parts, const std::u16string& separator) {
  std::u16string out;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) out += separator;
    out += parts[i];
  }
  return out;
}

void SortNoCase(std::vector<std::u16string>& parts) {
  std::stable_sort(parts.begin(), parts.end(), [](const std::u16string& a, const std::u16string& b) {
    return nCompareTextNoCaseNoAccent(a.c_str(), b.c_str()) < 0;
  });
}

bool StoreText(CAny* out, const std::u16string& text) {
  return out->SetDSTRW(text.c_str(), static_cast<int>(text.size())) < 100;
}

int MajorOf(CNAConnection* connection) { return connection->m_nServerMajor; }

// A text literal of the connection (its own escaping rules).
bool Literal(CNAConnection* connection, const char16_t* text, std::u16string* out,
             CNAError* error) {
  CDualString dual(-2, -2);
  CAny value;
  value.SetDSTRW(text != nullptr ? text : u"");
  if (!connection->bValueLiteral(error, &dual, value, 0, false)) return false;
  *out = dual.pszGetW();
  return true;
}

bool Quoted(CNAConnection* connection, const char16_t* name, std::u16string* out,
            CNAError* error) {
  CTString quoted;
  if (!connection->bQuoteQualifiedName(error, name, &quoted)) return false;
  *out = quoted.pszGet();
  return true;
}

// --- the SHOW CREATE TABLE reader -------------------------------------------

class Reader {
 public:
  Reader(const std::u16string& text, size_t at) : t_(text), p_(at) {}
  size_t Position() const { return p_; }
  void SkipBlanks() {
    while (p_ < t_.size() && (t_[p_] == u' ' || t_[p_] == u'\t' || t_[p_] == u'\r' ||
                              t_[p_] == u'\n')) {
      ++p_;
    }
  }
  bool Word(const char16_t* word) {
    SkipBlanks();
    size_t i = 0;
    for (; word[i] != 0; ++i) {
      if (p_ + i >= t_.size()) return false;
      char16_t c = t_[p_ + i];
      char16_t w = word[i];
      if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
      if (c != w) return false;
    }
    p_ += i;
    return true;
  }
  bool Char(char16_t c) {
    SkipBlanks();
    if (p_ < t_.size() && t_[p_] == c) {
      ++p_;
      return true;
    }
    return false;
  }
  // A back-quoted name ("``" inside stands for one back-quote).
  bool Name(std::u16string* out) {
    SkipBlanks();
    if (p_ >= t_.size() || t_[p_] != u'`') return false;
    out->clear();
    for (size_t i = p_ + 1; i < t_.size(); ++i) {
      if (t_[i] == u'`') {
        if (i + 1 < t_.size() && t_[i + 1] == u'`') {
          out->push_back(u'`');
          ++i;
          continue;
        }
        p_ = i + 1;
        return true;
      }
      out->push_back(t_[i]);
    }
    return false;
  }
  // "(" names separated by "," ")".
  bool NameList(std::vector<std::u16string>* out) {
    out->clear();
    if (!Char(u'(')) return false;
    for (;;) {
      std::u16string name;
      if (!Name(&name)) return false;
      out->push_back(name);
      if (Char(u')')) return true;
      if (!Char(u',')) return false;
    }
  }

 private:
  const std::u16string& t_;
  size_t p_;
};

// The rule code of the text after "ON DELETE " / "ON UPDATE ".
int RuleAt(const std::u16string& clause, const char16_t* on) {
  std::u16string upper = clause;
  for (char16_t& c : upper) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
  }
  size_t at = upper.find(on);
  if (at == std::u16string::npos) return 1;
  std::u16string rest = upper.substr(at + std::char_traits<char16_t>::length(on));
  if (rest.rfind(u"CASCADE", 0) == 0) return 0;
  if (rest.rfind(u"SET NULL", 0) == 0) return 2;
  if (rest.rfind(u"NO ACTION", 0) == 0) return 3;
  return 1;
}

const char16_t* RuleText(int rule) {
  switch (rule) {
    case 0: return u"2022";
    case 2: return u"2023";
    case 3: return u"2020";
    default: return u"2021";
  }
}

// Replaces a list of two or more columns by the name of the table's
// composite key over exactly those columns. False when the table cannot be
// described.
bool NameComposite(std::u16string* list, size_t count, const char16_t* table,
                   CNASQLService::DescribeTable describe, void* context) {
  if (count < 2) return true;
  if (describe == nullptr) return false;
  CNATableDescription* description = describe(context, table);
  if (description == nullptr) return false;
  for (int k = 0; k < description->nGetKeyCount(); ++k) {
    CNAColumn* key = description->pclKeyAt(k);
    if (!key->bIsComposite() || key->nGetPartCount() != static_cast<int>(count)) continue;
    std::u16string parts;
    for (int p = 1; p <= key->nGetPartCount(); ++p) {
      if (p > 1) parts += u",";
      parts += key->pclGetPart(p)->pszGetName();
    }
    if (nCompareTextNoCaseNoAccent(parts.c_str(), list->c_str()) == 0) {
      *list = key->pszGetName();
      break;
    }
  }
  ReleaseBoth(description);
  return true;
}

}  // namespace

const char16_t kNAMariaDBNativeTypes[] =
    u"bit\t1\r\ntinyint\t2\r\ntinyint unsigned\t2\r\nsmallint\t13\r\nsmallint unsigned\t13\r\n"
    u"mediumint\t12\r\nmediumint unsigned\t12\r\ninteger\t12\r\ninteger unsigned\t12\r\nint\t12\r\n"
    u"int unsigned\t12\r\nbigint\t3\r\nbigint unsigned\t3\r\nnumeric\t10\r\ndecimal\t11\r\n"
    u"real\t15\r\nfloat\t15\r\ndouble\t16\r\nchar\t9\r\nvarchar\t20\r\nlong varchar\t7\r\n"
    u"text\t7\r\nmediumtext\t7\r\ntinyblob\t4\r\nmediumblob\t4\r\nblob\t4\r\nlongblob\t4\r\n"
    u"long varbinary\t4\r\nenum\t20\r\nset\t20\r\nyear\t13\r\ndate\t17\r\ntime\t18\r\n"
    u"datetime\t19\r\ntimestamp\t19";

CNASQLService::CNASQLService(CNAManager* manager) : m_pManager(manager) {}

CNASQLService::~CNASQLService() {
  for (auto& entry : m_mapQueries) ReleaseBoth(entry.second);
  m_mapQueries.clear();
}

int32_t CNASQLService::Release() {
  int32_t left = m_nReferences.fetch_sub(1) - 1;
  if (left == 0) delete this;
  return left;
}

CNAConnection* CNASQLService::pclGetConnection(int32_t number) {
  return m_pManager != nullptr ? m_pManager->pclGetConnectionByNumber(number) : nullptr;
}

bool CNASQLService::bConnect(int32_t* number, INAConnectionDescription* description,
                             CNAError* error) {
  *number = 0;
  if (m_pManager == nullptr) return false;
  CTString key;
  m_pManager->BuildConnectionKey(description, &key);
  std::string suffix = ";SQLConnecte" + std::to_string(gnConnectionName.fetch_add(1) + 1);
  std::u16string full = key.pszGet();
  full += Utf16(suffix.c_str());
  return m_pManager->bOpenNewConnection(full.c_str(), description, number, error);
}

bool CNASQLService::bDisconnect(int32_t number) {
  if (m_pManager != nullptr) m_pManager->DisconnectByKey(number);
  return true;
}

CNAStatement* CNASQLService::pclExecuteQuery(CNAConnection* connection, const char16_t* text,
                                             CNAError* error) {
  CNAStatement* query = pclNewQuery(connection);
  if (query == nullptr) {
    if (error != nullptr) error->SetOutOfMemory(kSite, 1);
    return nullptr;
  }
  AddRefBoth(query);
  bool ok = query->bExecuteWithParameters(text, nullptr, 0, error);
  if (!ok || query->nGetColumnCount() == 0) {
    ReleaseBoth(query);
    return nullptr;
  }
  return query;
}

bool CNASQLService::bRunQuery(CNAConnection* connection, const char16_t* text,
                              CNAError* error) {
  CNAStatement* query = pclNewQuery(connection);
  if (query == nullptr) {
    if (error != nullptr) error->SetOutOfMemory(kSite, 4);
    return false;
  }
  CNARefPtr<CNAStatement> hold(NAAddRef(query));
  return query->bExecuteWithParameters(text, nullptr, 0, error);
}

bool CNASQLService::bExecuteQuery(int32_t* handle, int32_t number, const char16_t* text,
                                  CNAError* error) {
  *handle = 0;
  CNARefPtr<CNAConnection> connection(pclGetConnection(number));
  if (!connection) return false;
  CNAStatement* query = pclNewQuery(connection.Get());
  if (query == nullptr) return false;
  CNARefPtr<CNAStatement> hold(NAAddRef(query));
  if (!query->bExecuteWithParameters(text, nullptr, 0, error)) return false;
  if (query->nGetColumnCount() == 0) return true;
  CNALock lock(&m_clLock);
  *handle = m_nNextHandle++;
  m_mapQueries[*handle] = hold.Detach();
  return true;
}

CNAStatement* CNASQLService::pclFindQuery(int32_t handle) {
  CNALock lock(&m_clLock);
  auto it = m_mapQueries.find(handle);
  return it == m_mapQueries.end() ? nullptr : NAAddRef(it->second);
}

bool CNASQLService::bCloseQuery(int32_t handle) {
  CNAStatement* query = nullptr;
  {
    CNALock lock(&m_clLock);
    auto it = m_mapQueries.find(handle);
    if (it == m_mapQueries.end()) return false;
    query = it->second;
    m_mapQueries.erase(it);
  }
  ReleaseBoth(query);
  return true;
}

bool CNASQLService::bGetColumnCount(int32_t* count, int32_t handle, CNAError*) {
  CNARefPtr<CNAStatement> query(pclFindQuery(handle));
  *count = query ? query->nGetColumnCount() : 0;
  return static_cast<bool>(query);
}

bool CNASQLService::bFetch(int32_t handle, CNAError* error) {
  CNARefPtr<CNAStatement> query(pclFindQuery(handle));
  if (!query) return false;
  if (!query->bFetchNext(0, error)) return false;
  return query->bHasRow();
}

bool CNASQLService::bGetColumnText(CAny* out, int32_t handle, int32_t column, CNAError* error) {
  CNARefPtr<CNAStatement> query(pclFindQuery(handle));
  if (!query || column < 1 || column > query->nGetColumnCount()) return false;
  return query->bGetColumnText(*out, column - 1, error);
}

bool CNASQLService::bColumnThrough(CAny* out, int32_t handle, int32_t column, int type,
                                   CNAError* error) {
  CNARefPtr<CNAStatement> query(pclFindQuery(handle));
  if (!query || column < 1 || column > query->nGetColumnCount()) return false;
  CNAValueConverter value(nullptr, static_cast<uint32_t>(
                                       query->pclGetConnection()->m_nConnectionCodePage > 0
                                           ? query->pclGetConnection()->m_nConnectionCodePage
                                           : 1252));
  value.bSetType(type, 0);
  if (!query->bGetColumnValue(&value, column - 1, 0, error)) return false;
  return value.bGetValue(*out);
}

bool CNASQLService::bGetColumnWide(CAny* out, int32_t handle, int32_t column, CNAError* error) {
  return bColumnThrough(out, handle, column, 16, error);
}

bool CNASQLService::bGetColumnBinary(CAny* out, int32_t handle, int32_t column,
                                     CNAError* error) {
  return bColumnThrough(out, handle, column, 28, error);
}

bool CNASQLService::bGetRowText(CAny* out, int32_t handle, CNAError* error) {
  CNARefPtr<CNAStatement> query(pclFindQuery(handle));
  if (!query) return false;
  return query->bGetRowText(*out, 0, error);
}

CNATableDescription* CNASQLService::pclDescribeQuery(int32_t handle, CNAError* error) {
  CNARefPtr<CNAStatement> query(pclFindQuery(handle));
  if (!query) return nullptr;
  CNATableDescription* description =
      m_pManager != nullptr ? m_pManager->pclNewTableDescription(query->pclGetConnection())
                            : nullptr;
  if (description == nullptr) {
    description = new (std::nothrow) CNATableDescription(query->pclGetConnection());
  }
  if (description == nullptr) return nullptr;
  AddRefBoth(description);
  if (!description->bDescribeFromStatement(query.Get(), error)) {
    ReleaseBoth(description);
    return nullptr;
  }
  return description;
}

// ---- transactions -------------------------------------------------------------

bool CNASQLService::bBeginTransaction(int32_t number, CNAError* error) {
  CNARefPtr<CNAConnection> connection(pclGetConnection(number));
  return connection && connection->bBeginTransaction(error, u"SQLTransaction");
}

bool CNASQLService::bCommitTransaction(int32_t number, CNAError* error) {
  CNARefPtr<CNAConnection> connection(pclGetConnection(number));
  return connection && connection->bCommitTransaction(error, u"SQLTransaction");
}

bool CNASQLService::bRollbackTransaction(int32_t number, CNAError* error) {
  CNARefPtr<CNAConnection> connection(pclGetConnection(number));
  return connection && connection->bRollbackTransaction(error, u"SQLTransaction");
}

bool CNASQLService::bLockTable(int32_t number, const char16_t* table, CNAError* error) {
  CNARefPtr<CNAConnection> connection(pclGetConnection(number));
  if (!connection) return false;
  if (connection->pGetCurrentTransaction() == nullptr) {
    if (error != nullptr) error->SetErrorMessage(0, kSite, 3, connection.Get(), 29);
    return false;
  }
  if (!connection->bIsOpen() && !connection->bOpen(error, 0)) return false;
  return connection->bLockRecords(error, table);
}

bool CNASQLService::bQueryForUpdate(int32_t number, const char16_t* text, CNAError* error) {
  CNARefPtr<CNAConnection> connection(pclGetConnection(number));
  if (!connection) return false;
  if (connection->pGetCurrentTransaction() == nullptr) {
    if (error != nullptr) error->SetErrorMessage(0, kSite, 2, connection.Get(), 29);
    return false;
  }
  if (!connection->bIsOpen() && !connection->bOpen(error, 0)) return false;
  return connection->bExecuteForUpdate(error, text);
}

// ---- listings -----------------------------------------------------------------

std::u16string CNASQLService::TableTypesFilter(uint32_t flags, const char16_t* extra) {
  std::vector<std::u16string> types;
  if ((flags & 1) != 0) types.emplace_back(u"TABLE_TYPE='BASE TABLE'");
  if ((flags & 4) != 0) types.emplace_back(u"TABLE_TYPE='SYSTEM TABLE'");
  if ((flags & 2) != 0) types.emplace_back(u"TABLE_TYPE='VIEW'");
  std::u16string out = Join(types, u" OR ");
  if (extra != nullptr && extra[0] != 0) {
    out += u" ";
    out += extra;
  }
  return out;
}

bool CNASQLService::bQueryToText(std::u16string* out, CNAConnection* connection,
                                 const char16_t* text, const char16_t* separator,
                                 CNAError* error) {
  out->clear();
  CNAStatement* query = pclNewQuery(connection);
  if (query == nullptr) return false;
  CNARefPtr<CNAStatement> hold(NAAddRef(query));
  if (!query->bExecuteWithParameters(text, nullptr, 0, error)) return false;
  if (query->nGetColumnCount() == 0) return true;
  bool first = true;
  for (;;) {
    if (!query->bFetchNext(0, error)) return false;
    if (!query->bHasRow()) break;
    CAny row;
    if (!query->bGetRowText(row, 0, error)) return false;
    if (!first) *out += separator;
    first = false;
    const char16_t* p = nullptr;
    if (row.nGetPCXSTR(&p) == 0 && p != nullptr) *out += p;
  }
  return true;
}

bool CNASQLService::bListSchemas(std::u16string* out, CNAConnection* connection,
                                 CNAError* error) {
  return bQueryToText(out, connection,
                      u"SELECT SCHEMA_NAME FROM INFORMATION_SCHEMA.SCHEMATA ORDER BY SCHEMA_NAME",
                      u"\t", error);
}

bool CNASQLService::bListTablesOf(std::u16string* out, CNAConnection* connection,
                                  const char16_t* schema, uint32_t flags, CNAError* error) {
  std::u16string literal;
  if (!Literal(connection, schema, &literal, error)) return false;
  std::u16string sql = u"SELECT TABLE_NAME FROM INFORMATION_SCHEMA.TABLES WHERE ";
  std::u16string types = TableTypesFilter(flags, nullptr);
  // The OR of the types is one condition beside the schema's.
  if (!types.empty()) sql += u"(" + types + u") AND ";
  sql += u"TABLE_SCHEMA = " + literal + u" ORDER BY TABLE_NAME";
  return bQueryToText(out, connection, sql.c_str(), u"\t", error);
}

bool CNASQLService::bGetDatabaseList(CAny* out, CNAConnection* connection, uint32_t flags,
                                     CNAError* error) {
  std::u16string schemas;
  if (!bListSchemas(&schemas, connection, error)) return false;
  std::vector<std::u16string> names = Split(schemas, u"\t");
  if ((flags & 0x10) != 0) SortNoCase(names);
  if ((flags & 7) == 0) return StoreText(out, Join(names, u"\t"));
  std::vector<std::u16string> lines;
  for (const std::u16string& name : names) {
    std::u16string tables;
    if (!bListTablesOf(&tables, connection, name.c_str(), flags, error)) return false;
    lines.push_back(tables.empty() ? name : name + u"\t" + tables);
  }
  return StoreText(out, Join(lines, u"\r\n"));
}

bool CNASQLService::bListTablesWorker(std::u16string* out, CNAConnection* connection,
                                      uint32_t flags, const char16_t* filter, CNAError* error) {
  out->clear();
  if ((flags & 7) == 0) return true;
  std::u16string sql =
      u"SELECT TABLE_NAME, TABLE_SCHEMA, TABLE_TYPE FROM INFORMATION_SCHEMA.TABLES WHERE (" +
      TableTypesFilter(flags, filter) + u") AND TABLE_SCHEMA = SCHEMA() ORDER BY TABLE_SCHEMA, "
                                        u"TABLE_NAME";
  std::u16string rows;
  if (!bQueryToText(&rows, connection, sql.c_str(), u"\r\n", error)) return false;
  std::vector<std::u16string> lines;
  for (const std::u16string& row : Split(rows, u"\r\n")) {
    std::vector<std::u16string> f = Split(row, u"\t");
    if (f.empty()) continue;
    if ((flags & 0x20) != 0 && f.size() >= 3) {
      lines.push_back(f[0] + u"\t" + f[1] + u"\t" + (f[2] == u"BASE TABLE" ? u"TABLE" : f[2]));
    } else {
      lines.push_back(f[0]);
    }
  }
  if ((flags & 0x10) != 0) SortNoCase(lines);
  *out = Join(lines, u"\r\n");
  return true;
}

bool CNASQLService::bListColumnsWorker(std::u16string* out, CNAConnection* connection,
                                       const char16_t* table, CNAError* error) {
  out->clear();
  CNATableDescription* description =
      m_pManager != nullptr ? m_pManager->pclGetTableDescriptionByName(connection, table, error)
                            : nullptr;
  if (description == nullptr) return false;
  std::vector<std::u16string> names;
  for (int i = 0; i < description->nGetColumnCount(); ++i) {
    CNAColumn* c = description->pclColumnAt(i);
    if (c->bIsComposite()) break;
    names.emplace_back(c->pszGetName());
  }
  ReleaseBoth(description);
  *out = Join(names, u"\r\n");
  return true;
}

bool CNASQLService::bListTables(CAny* out, int32_t number, uint32_t flags, const char16_t* filter,
                                CNAError* error) {
  CNARefPtr<CNAConnection> connection(pclGetConnection(number));
  if (!connection) return false;
  std::u16string text;
  if (!bListTablesWorker(&text, connection.Get(), flags, filter, error)) return false;
  return StoreText(out, text);
}

bool CNASQLService::bListTablesOn(CAny* out, CNAConnection* connection, uint32_t flags,
                                  const char16_t* filter, CNAError* error) {
  std::u16string text;
  if (!bListTablesWorker(&text, connection, flags, filter, error)) return false;
  return StoreText(out, text);
}

bool CNASQLService::bListColumns(CAny* out, int32_t number, const char16_t* table,
                                 CNAError* error) {
  CNARefPtr<CNAConnection> connection(pclGetConnection(number));
  if (!connection) return false;
  std::u16string text;
  if (!bListColumnsWorker(&text, connection.Get(), table, error)) return false;
  return StoreText(out, text);
}

bool CNASQLService::bGetNativeTypes(CAny* out) { return StoreText(out, u""); }

// ---- foreign keys -------------------------------------------------------------

std::u16string CNASQLService::ParseForeignKeys(const char16_t* create_text,
                                               const char16_t* table, uint32_t flags,
                                               DescribeTable describe, void* context) {
  std::u16string text = create_text != nullptr ? create_text : u"";
  std::u16string upper = text;
  for (char16_t& c : upper) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
  }
  std::vector<std::u16string> lines;
  size_t from = 0;
  while (from < text.size()) {
    size_t at = upper.find(u"CONSTRAINT", from);
    if (at == std::u16string::npos) break;
    from = at + 10;
    Reader r(text, from);
    std::u16string name;
    std::u16string referenced;
    std::vector<std::u16string> columns;
    std::vector<std::u16string> targets;
    if (!r.Name(&name) || !r.Word(u"FOREIGN") || !r.Word(u"KEY") || !r.NameList(&columns) ||
        !r.Word(u"REFERENCES") || !r.Name(&referenced) || !r.NameList(&targets)) {
      continue;
    }
    from = r.Position();
    std::u16string column_list = Join(columns, u",");
    std::u16string target_list = Join(targets, u",");
    if (!NameComposite(&column_list, columns.size(), table, describe, context)) {
      // The table's own description is missing: keep the joined names.
    }
    if (!NameComposite(&target_list, targets.size(), referenced.c_str(), describe, context)) {
      continue;  // the referenced table cannot be described
    }
    if ((flags & 0x20) == 0) continue;
    size_t end = text.find(u'\n', from);
    std::u16string clause = text.substr(from, end == std::u16string::npos ? std::u16string::npos
                                                                          : end - from);
    int on_delete = RuleAt(clause, u"ON DELETE ");
    int on_update = RuleAt(clause, u"ON UPDATE ");
    std::u16string line = name + u"\t" + referenced + u"\t" + target_list + u"\t0,N\t" +
                          (table != nullptr ? table : u"") + u"\t" + column_list + u"\t0,1\t" +
                          RuleText(on_update) + u"\t" + RuleText(on_delete);
    lines.push_back(line);
  }
  return Join(lines, u"\r\n");
}

bool CNASQLService::bGetForeignKeys(CAny* out, CNAConnection* connection, const char16_t* table,
                                    CNATableDescription* description, uint32_t flags,
                                    CNAError* error) {
  if (connection == nullptr || connection->m_nDbmsKind != 5) return true;
  const char16_t* name = description != nullptr ? description->pszGetServerName() : table;
  std::u16string quoted;
  if (!Quoted(connection, name, &quoted, error)) return false;
  std::u16string sql = u"SHOW CREATE TABLE " + quoted;
  CNARefPtr<CNAStatement> query(pclExecuteQuery(connection, sql.c_str(), error));
  if (!query) return false;
  if (!query->bFetchNext(0, error) || !query->bHasRow()) return false;
  // The server answers (Table, Create Table): the text is the column named
  // "Create Table", the second one.
  CAny second;
  if (query->nGetColumnCount() < 2 || !query->bGetColumnName(second, 1, error)) return false;
  const char16_t* heading = nullptr;
  if (second.nGetPCXSTR(&heading) != 0 || heading == nullptr ||
      nCompareTextNoCaseNoAccent(heading, u"Create Table") != 0) {
    return true;
  }
  CAny create;
  if (!query->bGetColumnText(create, 1, error)) return false;
  const char16_t* text = nullptr;
  if (create.nGetPCXSTR(&text) != 0 || text == nullptr) return true;
  struct Context {
    CNASQLService* service;
    CNAConnection* connection;
    CNATableDescription* own;
    const char16_t* own_name;
  } context{this, connection, description, name};
  auto describe = [](void* c, const char16_t* table_name) -> CNATableDescription* {
    auto* ctx = static_cast<Context*>(c);
    if (ctx->own != nullptr && nCompareTextNoCaseNoAccent(table_name, ctx->own_name) == 0) {
      return NAAddRef(ctx->own);
    }
    CNAManager* manager = ctx->service->m_pManager;
    if (manager == nullptr) return nullptr;
    CNAError local;
    return manager->pclGetTableDescriptionByName(ctx->connection, table_name, &local);
  };
  return StoreText(out, ParseForeignKeys(text, name, flags, describe, &context));
}

// ---- MariaDB ------------------------------------------------------------------

CNAStatement* CNASQLServiceMariaDB::pclNewQuery(CNAConnection* connection) {
  return new (std::nothrow) CNAStatementMariaDB(connection);
}

bool CNASQLServiceMariaDB::bGetNativeTypes(CAny* out) { return StoreText(out, kNAMariaDBNativeTypes); }

bool CNASQLServiceMariaDB::bListSchemas(std::u16string* out, CNAConnection* connection,
                                        CNAError* error) {
  if (MajorOf(connection) > 4) return CNASQLService::bListSchemas(out, connection, error);
  return bQueryToText(out, connection, u"SHOW DATABASES", u"\t", error);
}

bool CNASQLServiceMariaDB::bListTablesOf(std::u16string* out, CNAConnection* connection,
                                         const char16_t* schema, uint32_t flags,
                                         CNAError* error) {
  if (MajorOf(connection) > 4) {
    return CNASQLService::bListTablesOf(out, connection, schema, flags, error);
  }
  std::u16string quoted;
  if (!Quoted(connection, schema, &quoted, error)) return false;
  return bQueryToText(out, connection, (u"SHOW TABLES FROM " + quoted).c_str(), u"\t", error);
}

bool CNASQLServiceMariaDB::bListTablesWorker(std::u16string* out, CNAConnection* connection,
                                             uint32_t flags, const char16_t* filter,
                                             CNAError* error) {
  if (MajorOf(connection) > 4) {
    CNAError local;
    if (CNASQLService::bListTablesWorker(out, connection, flags, filter, &local)) return true;
  }
  out->clear();
  if ((flags & 1) == 0) return true;
  std::u16string sql = u"SHOW TABLES";
  if (filter != nullptr && filter[0] != 0) {
    sql += u" ";
    sql += filter;
  }
  std::u16string rows;
  if (!bQueryToText(&rows, connection, sql.c_str(), u"\r\n", error)) return false;
  std::vector<std::u16string> lines;
  for (const std::u16string& row : Split(rows, u"\r\n")) {
    if ((flags & 0x20) == 0) {
      lines.push_back(row);
      continue;
    }
    CTString qualifier;
    CTString name;
    CNAConnection::SplitQualifiedName(row.c_str(), &qualifier, &name);
    const char16_t* database = connection->pszGetDescriptionDatabase();
    lines.push_back(std::u16string(name.pszGet()) + u"\t" + (database != nullptr ? database : u"") +
                    u"\t" + qualifier.pszGet() + u"\tTABLE");
  }
  if ((flags & 0x10) != 0) SortNoCase(lines);
  *out = Join(lines, u"\r\n");
  return true;
}

bool CNASQLServiceMariaDB::bListColumnsWorker(std::u16string* out, CNAConnection* connection,
                                              const char16_t* table, CNAError* error) {
  std::u16string quoted;
  if (!Quoted(connection, table, &quoted, error)) return false;
  return bQueryToText(out, connection, (u"SHOW COLUMNS FROM " + quoted).c_str(), u"\r\n", error);
}
