// Stand-in host objects handed to the MariaDB driver (test equipment): a
// connection description with settable fields, and file descriptions whose
// name texts sit at stable addresses (two handles with equal names get two
// addresses). Counted; they delete themselves at 0 when made with new and
// left to their count.
#ifndef QG_HOST_CORE_DRIVER_OBJECTS_H_
#define QG_HOST_CORE_DRIVER_OBJECTS_H_

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "driver/core/host_interfaces.h"
#include "host/core/parsed_query.h"

namespace qghost {

class ConnectionDescription : public INAConnectionDescription {
 public:
  ConnectionDescription() = default;
  virtual ~ConnectionDescription() = default;

  int32_t AddRef() override { return ++m_nCount; }
  int32_t Release() override;
  const char16_t* pszGetName() override { return Text(name, has_name); }
  const char16_t* pszGetUser() override { return Text(user, has_user); }
  const char16_t* pszGetPassword() override { return Text(password, has_password); }
  const char16_t* pszGetDataSource() override { return Text(data_source, has_data_source); }
  const char16_t* pszGetDatabase() override { return Text(database, has_database); }
  const char16_t* pszGetProvider() override { return Text(provider, has_provider); }
  const char16_t* pszGetExtendedInfo() override { return Text(extended, has_extended); }
  int32_t nGetConnectionTimeout() override { return connection_timeout; }
  int32_t nGetCommandTimeout() override { return command_timeout; }
  int64_t nGetCacheSize() override { return cache_size; }
  int32_t nGetVersion() override { return version; }
  int32_t nGetAccessMode() override { return access_mode; }
  uint32_t nGetCursorFlags() override { return cursor_flags; }
  uint32_t nGetContextNumber() override { return context; }
  // A copy with the copy's context number (copy_context_number, else the
  // same), one reference for the caller.
  INAConnectionDescription* piCopy(INACopyContext* context) override;

  int32_t nGetCount() const { return m_nCount.load(); }
  // Keeps the object alive past its count (a test's stack object).
  bool owned_by_count = true;

  std::u16string name = u"Cnx";
  std::u16string user, password, data_source, database, provider, extended;
  bool has_name = true, has_user = true, has_password = true, has_data_source = true,
       has_database = true, has_provider = true, has_extended = true;
  int32_t connection_timeout = -1, command_timeout = -1, version = 4, access_mode = 0;
  int64_t cache_size = -2;
  uint32_t cursor_flags = 0, context = 1, copy_context_number = 0;

 private:
  static const char16_t* Text(const std::u16string& s, bool present) {
    return present ? s.c_str() : nullptr;
  }
  std::atomic<int32_t> m_nCount{0};
};

class FileDescription : public INAFileDescription {
 public:
  FileDescription(const std::u16string& name, uint32_t context);
  virtual ~FileDescription();

  intptr_t vOp0(intptr_t) override { return 0; }
  intptr_t vOp1(intptr_t) override { return 0; }
  intptr_t vOp2(intptr_t) override { return 0; }
  intptr_t vOp3(intptr_t) override { return 0; }
  intptr_t vOp4(intptr_t) override { return 0; }
  int32_t AddRef() override { return ++m_nCount; }
  int32_t Release() override { return --m_nCount; }
  // The same address for the handle's whole life.
  const char16_t* pszGetName() override { return m_pName.get(); }
  uint32_t nGetContextNumber() override { return m_nContext; }
  const char16_t* pszGetTableName() override {
    return table_name.empty() ? nullptr : table_name.c_str();
  }
  int32_t nGetItemCount() override { return static_cast<int32_t>(items.size()); }
  bool bGetItem(int32_t index, NAHostItem* out) override;
  bool bIsKeyed() override { return keyed; }
  int32_t nGetKeyCount() override { return static_cast<int32_t>(keys.size()); }
  bool bGetKey(int32_t index, int32_t* position, bool* descending) override;
  NAHostQuery* pGetQuery() override { return m_bQuery ? &m_stQuery : nullptr; }

  // Makes the handle stand for a query: the text parsed as the host parses
  // queries (against `schema` when given), or, raw, kept as written. False
  // with the parser's reason in *error for a text it cannot read.
  bool bSetQuery(const std::u16string& text, bool raw, const ParseSchema* schema = nullptr,
                 std::string* error = nullptr);
  // The outcome the driver left, after an open.
  const NAHostQuery& GetQuery() const { return m_stQuery; }

  // The items: `item` with its texts held here (name, sql_name; an empty
  // sql_name is none).
  struct Item {
    std::u16string name;
    std::u16string sql_name;
    NAHostItem item;
  };
  struct Key {
    int32_t position;
    bool descending;
  };
  std::u16string table_name;
  std::vector<Item> items;
  bool keyed = false;
  std::vector<Key> keys;

 private:
  std::unique_ptr<char16_t[]> m_pName;
  uint32_t m_nContext;
  bool m_bQuery = false;
  std::u16string m_strQueryText;
  NAHostQuery m_stQuery;  // its parse holds one reference
  std::atomic<int32_t> m_nCount{0};
};

}  // namespace qghost

#endif  // QG_HOST_CORE_DRIVER_OBJECTS_H_
