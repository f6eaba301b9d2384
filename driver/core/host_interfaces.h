// Interfaces of the host objects that the host hands to the driver: the
// connection description, the file description (the handle of one table in
// one host context) and the deep-copy context. The host implements the
// first two; the driver implements the copy context (CNACopyContext) and
// the host may pass its own. Operations are declared in slot order.
#ifndef QG_DRIVER_CORE_HOST_INTERFACES_H_
#define QG_DRIVER_CORE_HOST_INTERFACES_H_

#include <cstdint>

namespace qg {
class IParsedQuery;
}
class INACopyContext;

// A connection description. Texts are UTF-16 and stay valid while the
// description lives; null reads as absent. Reference-counted: whoever keeps
// a pointer takes a reference.
class INAConnectionDescription {
 public:
  virtual int32_t AddRef() = 0;                              // 0
  virtual int32_t Release() = 0;                             // 1
  virtual const char16_t* pszGetName() = 0;                  // 2 connection name
  virtual const char16_t* pszGetUser() = 0;                  // 3
  // The clear password; the caller masks its own copy at once.
  virtual const char16_t* pszGetPassword() = 0;              // 4
  virtual const char16_t* pszGetDataSource() = 0;            // 5
  virtual const char16_t* pszGetDatabase() = 0;              // 6
  virtual const char16_t* pszGetProvider() = 0;              // 7
  virtual const char16_t* pszGetExtendedInfo() = 0;          // 8
  virtual int32_t nGetConnectionTimeout() = 0;               // 9
  virtual int32_t nGetCommandTimeout() = 0;                  // 10
  virtual int64_t nGetCacheSize() = 0;                       // 11
  virtual int32_t nGetVersion() = 0;                         // 12
  virtual int32_t nGetAccessMode() = 0;                      // 13 1 = read only
  virtual uint32_t nGetCursorFlags() = 0;                    // 14 bit 0 server, bit 1 client
  virtual uint32_t nGetContextNumber() = 0;                  // 15
  // A deep copy within the copy context, with one reference for the
  // caller; null when it cannot be made.
  virtual INAConnectionDescription* piCopy(INACopyContext* context) = 0;  // 16

 protected:
  ~INAConnectionDescription() = default;
};

// One item of a host file description, as the host declares it. Texts stay
// valid while the description lives. With a source, the item stands for a
// server column whose attributes follow (the driver's column type codes and
// key flags); without one only the name, item type and size count.
struct NAHostItem {
  const char16_t* pszName = nullptr;
  // The column's name on the server; null: the item's name.
  const char16_t* pszSqlName = nullptr;
  int32_t nItemType = 0;  // the host's item type
  int32_t nSize = 0;
  bool bReadOnly = false;
  bool bHasSource = false;
  int32_t nColumnType = 0;
  int32_t nPrecision = 0;
  int32_t nScale = 0;
  uint16_t nKeyFlags = 0;
};

// The query a host handle stands for when the host opens a query as a
// table. The host owns it; it stays valid while the handle lives. The
// driver fills the outcome fields when the open ends.
struct NAHostQuery {
  // The query's text: SQL the host parsed, or raw SQL text (flag 0x4).
  const char16_t* pszText = nullptr;
  // The host's parse of the text (no reference is held by the holder of
  // this record; the driver takes its own); null for raw SQL text.
  qg::IParsedQuery* piParsed = nullptr;
  // Open flags: 0x4 the text is raw SQL sent unchanged; 0x10 a new binding
  // (and for a statement, prepared without running it); 0x80 reads without
  // the record cache.
  uint32_t nFlags = 0;
  // Outcome: 1 when the query gave a result with columns; the rows of that
  // result, or the rows a statement without result changed (-1 unknown).
  int32_t nHasColumns = 0;
  int64_t nRowCount = -1;
};

// The host's file description: the handle of one table in one host
// context. Its name text sits at an address that stays the same while the
// handle lives; the driver keys sessions by that address, never by the
// text.
class INAFileDescription {
 public:
  virtual intptr_t vOp0(intptr_t a) = 0;                     // 0
  virtual intptr_t vOp1(intptr_t a) = 0;                     // 1
  virtual intptr_t vOp2(intptr_t a) = 0;                     // 2
  virtual intptr_t vOp3(intptr_t a) = 0;                     // 3
  virtual intptr_t vOp4(intptr_t a) = 0;                     // 4
  virtual int32_t AddRef() = 0;                              // 5
  virtual int32_t Release() = 0;                             // 6
  virtual const char16_t* pszGetName() = 0;                  // 7
  virtual uint32_t nGetContextNumber() = 0;                  // 8
  // 9: the table's name on the server; null: the name.
  virtual const char16_t* pszGetTableName() { return nullptr; }
  // 10, 11: the items in order; false for an index outside.
  virtual int32_t nGetItemCount() { return 0; }
  virtual bool bGetItem(int32_t /*index*/, NAHostItem* /*out*/) { return false; }
  // 12: the description is keyed (its unique keys stay unique).
  virtual bool bIsKeyed() { return false; }
  // 13, 14: the keys in order: the position of the key's item (negative:
  // none) and its direction (descending).
  virtual int32_t nGetKeyCount() { return 0; }
  virtual bool bGetKey(int32_t /*index*/, int32_t* /*position*/, bool* /*descending*/) {
    return false;
  }
  // 15: the query the handle stands for; null for a table.
  virtual NAHostQuery* pGetQuery() { return nullptr; }

 protected:
  ~INAFileDescription() = default;
};

// The name key of a file description: the address of its name text.
inline uintptr_t NANameKey(INAFileDescription* description) {
  return reinterpret_cast<uintptr_t>(description->pszGetName());
}

// A deep-copy context: maps each source object to its copy while a host
// context is copied, so that objects reached twice are copied once.
class INACopyContext {
 public:
  virtual intptr_t vOp0(intptr_t a) = 0;                     // 0
  virtual intptr_t vOp1(intptr_t a) = 0;                     // 1
  virtual intptr_t vOp2(intptr_t a) = 0;                     // 2
  // The copy registered for a source, null when none.
  virtual void* pFindCopy(const void* source) = 0;           // 3
  // Records source -> copy; false when the source is already known.
  virtual bool bRegisterCopy(const void* source, void* copy) = 0;  // 4
  // Forgets the source's pair.
  virtual void ForgetCopy(const void* source) = 0;           // 5
  // The description that stands for a source description in the copy,
  // with one reference for the caller (null: none).
  virtual INAConnectionDescription* piGetCopiedDescription(
      INAConnectionDescription* source) = 0;                 // 6

 protected:
  ~INACopyContext() = default;
};

#endif  // QG_DRIVER_CORE_HOST_INTERFACES_H_
