#include "driver/mariadb/table_description_mariadb.h"

#include <new>
#include <string>

#include "driver/core/connection.h"
#include "driver/core/dual_string.h"
#include "driver/core/error_status.h"
#include "driver/core/manager.h"
#include "driver/mariadb/sql_service.h"
#include "driver/mariadb/statement_mariadb.h"
#include "driver/sql/column.h"
#include "driver/sql/sql_types.h"
#include "driver/sql/statement.h"
#include "driver/sql/value_converter.h"

namespace {

std::u16string Upper(const char16_t* text) {
  std::u16string out = text != nullptr ? text : u"";
  for (char16_t& c : out) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
  }
  return out;
}

bool Contains(const char16_t* text, const char16_t* word) {
  return Upper(text).find(word) != std::u16string::npos;
}

// Column n of the current row as text; *null tells SQL NULL.
bool Cell(CNAStatement* result, int n, std::u16string* out, bool* null, CNAError* error) {
  // Catalogue cells are nearly always ASCII: those are widened in place,
  // the others go through the statement's text conversion.
  const char* raw = nullptr;
  size_t length = 0;
  auto* maria = dynamic_cast<CNAStatementMariaDB*>(result);
  if (maria != nullptr && maria->bGetRawColumn(n, &raw, &length)) {
    if (raw == nullptr) {
      *null = true;
      out->clear();
      return true;
    }
    size_t i = 0;
    while (i < length && static_cast<unsigned char>(raw[i]) < 0x80 && raw[i] != 0) ++i;
    if (i == length) {
      *null = false;
      out->assign(raw, raw + length);
      return true;
    }
  }
  CAny value;
  if (!result->bGetColumnText(value, n, error)) return false;
  *null = value.bEstNull();
  const char16_t* p = nullptr;
  *out = (!*null && value.nGetPCXSTR(&p) == 0 && p != nullptr) ? p : u"";
  return true;
}

}  // namespace

bool CNATableDescriptionMariaDB::bServerIsMariaDB() const {
  return Contains(m_pConnection->m_strServerVersion.pszGet(), u"MARIADB");
}

bool CNATableDescriptionMariaDB::bServer41() const {
  int major = m_pConnection->m_nServerMajor;
  return major > 4 || (major == 4 && m_pConnection->m_nServerMinor >= 1);
}

bool CNATableDescriptionMariaDB::bUsesInformationSchema() const {
  if (bServerIsMariaDB()) return false;
  const CNAConnection* c = m_pConnection;
  int v[3] = {c->m_nServerMajor, c->m_nServerMinor, c->m_nServerPatch};
  int want[3] = {5, 7, 6};
  for (int i = 0; i < 3; ++i) {
    if (v[i] != want[i]) return v[i] > want[i];
  }
  return true;
}

CNATableDescription* CNATableDescriptionMariaDB::pclMakeEmpty() {
  return new (std::nothrow) CNATableDescriptionMariaDB(m_pConnection);
}

CNAStatement* CNATableDescriptionMariaDB::pclRunQuery(const char16_t* text, CNAError* error) {
  CNAManager* manager = m_pConnection->pclGetManager();
  CNASQLService* service = manager != nullptr ? manager->pclGetSQLService() : nullptr;
  if (service != nullptr) return service->pclExecuteQuery(m_pConnection, text, error);
  CNASQLServiceMariaDB local(nullptr);
  return local.pclExecuteQuery(m_pConnection, text, error);
}

bool CNATableDescriptionMariaDB::bBuildColumnQuery(CTString* out, CNAError* error) {
  CTString quoted;
  if (!m_pConnection->bQuoteQualifiedName(error, m_strServerName.pszGet(), &quoted)) return false;
  if (bUsesInformationSchema()) {
    // Names go into literals through the connection's own escaping.
    auto literal = [&](const char16_t* text, std::u16string* lit) {
      CDualString dual(-2, -2);
      CAny value;
      value.SetDSTRW(text != nullptr ? text : u"");
      if (!m_pConnection->bValueLiteral(error, &dual, value, 0, false)) return false;
      *lit = dual.pszGetW();
      return true;
    };
    std::u16string table;
    if (!literal(m_strServerName.pszGet(), &table)) return false;
    std::u16string sql =
        u"SELECT COLUMN_NAME, COLUMN_TYPE, COLLATION_NAME, IS_NULLABLE, COLUMN_KEY, "
        u"COLUMN_DEFAULT, EXTRA, GENERATION_EXPRESSION FROM INFORMATION_SCHEMA.COLUMNS WHERE "
        u"table_schema = ";
    const char16_t* database = m_pConnection->pszGetDescriptionDatabase();
    if (database != nullptr && database[0] != 0) {
      std::u16string schema;
      if (!literal(database, &schema)) return false;
      sql += schema;
    } else {
      sql += u"database()";
    }
    sql += u" AND table_name = " + table;
    out->Set(sql.c_str());
    return true;
  }
  std::u16string sql = bServer41() ? u"SHOW FULL COLUMNS FROM " : u"SHOW COLUMNS FROM ";
  sql += quoted.pszGet();
  out->Set(sql.c_str());
  return true;
}

bool CNATableDescriptionMariaDB::bBuildIndexQuery(CTString* out, CNAError* error) {
  CTString quoted;
  if (!m_pConnection->bQuoteQualifiedName(error, m_strServerName.pszGet(), &quoted)) return false;
  std::u16string sql = u"SHOW INDEX FROM ";
  sql += quoted.pszGet();
  out->Set(sql.c_str());
  return true;
}

bool CNATableDescriptionMariaDB::bParseColumns(CNAStatement* result, int, CNAError* error) {
  bool info = bUsesInformationSchema();
  bool with_collation = info || bServer41();
  bool maria = bServerIsMariaDB();
  for (int row = 0;; ++row) {
    if (!result->bFetchNext(0, error)) return false;
    if (!result->bHasRow()) return true;
    std::u16string name, type, collation, nullable, key, fallback, extra, generation;
    bool null = false;
    bool default_null = true;
    int n = 0;
    if (!Cell(result, n++, &name, &null, error) || !Cell(result, n++, &type, &null, error)) {
      return false;
    }
    if (with_collation && !Cell(result, n++, &collation, &null, error)) return false;
    if (!Cell(result, n++, &nullable, &null, error) || !Cell(result, n++, &key, &null, error) ||
        !Cell(result, n++, &fallback, &default_null, error) ||
        !Cell(result, n++, &extra, &null, error)) {
      return false;
    }
    if (info && !Cell(result, n++, &generation, &null, error)) return false;

    int column_type = 0, size = 0, precision = 0, scale = 0;
    NAParseTypeName(type.c_str(), collation.c_str(), m_pConnection->m_nDbmsKind, &column_type,
                    &size, &precision, &scale);
    auto* column = CNAColumn::pclNew();
    if (column == nullptr) {
      if (error != nullptr) error->SetOutOfMemory(8, 5);
      return false;
    }
    CNARefPtr<CNAColumn> hold(NAAddRef(column));
    column->Init(name.c_str(), m_strServerName.pszGet(), name.c_str(), 1, size, column_type, row,
                 -1, 0, precision, scale);
    if (nullable != u"YES") column->SetNullable(false);
    if (Contains(extra.c_str(), u"AUTO_INCREMENT")) {
      column->SetColumnFlags(column->nGetColumnFlags() | kNAColFlagAutoIncrement);
    }
    // Generated columns: MariaDB says "VIRTUAL GENERATED" / "STORED
    // GENERATED" (older servers "VIRTUAL" / "PERSISTENT"); MySQL the same
    // two words.
    bool stored = Contains(extra.c_str(), u"PERSISTENT") ||
                  Contains(extra.c_str(), u"STORED GENERATED");
    bool virtual_column = Contains(extra.c_str(), u"VIRTUAL");
    (void)maria;
    if (stored || virtual_column) column->SetGeneration(generation.c_str(), stored);
    if (default_null) {
      column->SetDefaultPresence(column->bHasGeneration() ? nullptr : u"");
      column->clGetDefault().SetNull(true);
    } else {
      column->SetDefaultText(fallback.c_str());
      // The text arrives as UTF-8; 8-bit values are kept in the
      // connection's code page, as the rows read later.
      int32_t page = m_pConnection->m_nConnectionCodePage;
      CNAValueConverter value(nullptr, page > 0 ? static_cast<uint32_t>(page) : 1252);
      value.bSetType(column->nGetValueClass(), 0);
      value.BindColumns(column, nullptr);
      std::string utf8;
      for (char16_t c : fallback) {
        if (c < 0x80) {
          utf8.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
          utf8.push_back(static_cast<char>(0xC0 | (c >> 6)));
          utf8.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
          utf8.push_back(static_cast<char>(0xE0 | (c >> 12)));
          utf8.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
          utf8.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
      }
      CAny converted;
      if (value.bSetFromServerText(utf8.data(), utf8.size(), 65001, nullptr) &&
          value.bGetValue(converted)) {
        column->SetDefault(converted);
      } else {
        column->SetDefaultPresence(nullptr);
      }
      value.BindColumns(nullptr, nullptr);
    }
    if (!bAppendColumn(column)) return false;
  }
}

bool CNATableDescriptionMariaDB::bParseIndexes(CNAStatement* result, CNAError* error) {
  struct Row {
    std::u16string key;
    std::u16string column;
    uint16_t flags = 0;
    bool descending = false;  // the index holds the column in descending order
  };
  CNAColumn* composite = nullptr;  // pending composite key (one reference)
  auto add_part = [&](CNAColumn* key, const Row& row) {
    // A missing column is skipped without leaving an error behind.
    CNAColumn* part = pclFindColumn(row.column.c_str(), 2);
    if (part == nullptr) return;
    // The direction belongs to this index's part, not to the column: the
    // column may stand ascending in an index of its own.
    key->AddPart(part, row.descending);
  };
  auto finish = [&](const Row& row) {
    if (composite != nullptr) {
      add_part(composite, row);
      AddKey(composite);
      ReleaseBoth(composite);
      composite = nullptr;
      return;
    }
    CNAColumn* column = pclFindColumn(row.column.c_str(), 2);
    if (column == nullptr) return;
    if (column->bIsPrimary()) return;
    bool listed = column->nGetKeyNumber() != -1;
    column->SetKey(listed ? column->nGetKeyNumber() : -1, row.flags);
    if (row.descending) column->SetDirection(true);
    if (!listed) AddKey(column);
  };
  Row previous;
  bool have_previous = false;
  for (;;) {
    if (!result->bFetchNext(0, error)) {
      ReleaseBoth(composite);
      return false;
    }
    if (!result->bHasRow()) break;
    std::u16string non_unique, sequence, collation;
    Row row;
    bool null = false;
    if (!Cell(result, 1, &non_unique, &null, error) || !Cell(result, 2, &row.key, &null, error) ||
        !Cell(result, 4, &row.column, &null, error) ||
        !Cell(result, 5, &collation, &null, error)) {
      ReleaseBoth(composite);
      return false;
    }
    // "A" ascending, "D" descending (servers with descending indexes).
    row.descending = collation == u"D";
    row.flags = non_unique == u"0" ? 0x4800 : 0x2800;
    if (non_unique == u"0" && Upper(row.key.c_str()) == u"PRIMARY") row.flags |= 0x8000;
    if (have_previous) {
      if (row.key != previous.key) {
        finish(previous);
      } else {
        if (composite == nullptr) {
          composite = NAAddRef(CNAColumn::pclNew());
          if (composite == nullptr) {
            if (error != nullptr) error->SetOutOfMemory(8, 6);
            return false;
          }
          composite->Init(previous.key.c_str(), m_strName.pszGet(), previous.key.c_str(), 1, 0,
                          23, -1, nGetKeyCount(),
                          static_cast<uint16_t>(previous.flags | kNAKeyComposite), 0, 0);
          composite->SetSize(0);
        }
        add_part(composite, previous);
      }
    }
    previous = row;
    have_previous = true;
  }
  if (have_previous) finish(previous);
  ReleaseBoth(composite);
  // Auto-increment stays only on a primary-key column.
  for (int i = 0; i < nGetColumnCount(); ++i) {
    CNAColumn* c = pclColumnAt(i);
    if ((c->nGetColumnFlags() & kNAColFlagAutoIncrement) == 0) continue;
    if (c->bIsPrimary()) {
      c->PromoteToAutoId();
    } else {
      c->SetColumnFlags(c->nGetColumnFlags() & ~kNAColFlagAutoIncrement);
    }
  }
  return true;
}
