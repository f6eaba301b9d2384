// The per-connection map from column type code to the SQL type text the
// driver writes in CREATE TABLE and casts. Entries carry a has-size flag:
// their text is then a format whose "%d" take the column's length (or, for
// decimals, its digits and scale).
//
// A map is filled once (generic names, then the back end's own) before it is
// published to other threads; afterwards it is only read. Its reference
// count changes atomically.
#ifndef QG_DRIVER_SQL_SQL_TYPE_MAP_H_
#define QG_DRIVER_SQL_SQL_TYPE_MAP_H_

#include <atomic>
#include <cstdint>

#include "support/ctstring.h"

class CNAColumn;

class CNASQLTypeMap {
 public:
  static constexpr int kMaxType = 63;

  CNASQLTypeMap() = default;
  CNASQLTypeMap(const CNASQLTypeMap&) = delete;
  CNASQLTypeMap& operator=(const CNASQLTypeMap&) = delete;

  int32_t AddRef() { return m_nReferences.fetch_add(1) + 1; }
  // Deletes the map when the count falls to 0; answers the count left.
  int32_t Release();
  int32_t nGetReferences() const { return m_nReferences.load(); }

  // Replaces the entry of a type code (codes outside 0..kMaxType are
  // ignored). A null text removes the entry.
  void SetType(int column_type, const char16_t* text, bool has_size);
  // The entry's text (null when none) and flag.
  const char16_t* pszGetType(int column_type, bool* has_size = nullptr) const;

  // The generic names, each with its has-size flag (codes 2, 21, 23, 29,
  // 31 and 33 have placeholders).
  void RegisterDefaultTypeNames();

  // Writes the SQL type of a column: the text as it is without the
  // has-size flag; with it, type 11 gets its fraction digits (size - 7, at
  // least 0), type 31 (digits + scale, scale), any other type the data
  // length of one value. False when the type has no entry.
  bool bFormatType(const CNAColumn& column, CTString* out) const;
  // The same from the parts of a column.
  bool bFormatType(int column_type, int one_value_length, int size, int digits, int scale,
                   CTString* out) const;

  // The map of a connection, created on first use: a new map is filled by
  // `fill` (given `context`) and published into `slot` with a
  // compare-and-swap; a thread that loses the race deletes its own map and
  // uses the winner's. The slot holds one reference; the map answered
  // carries no extra one. Null when the memory cannot be had.
  static CNASQLTypeMap* pclGetOrCreate(std::atomic<CNASQLTypeMap*>& slot,
                                       void (*fill)(CNASQLTypeMap&, void*), void* context);

 private:
  ~CNASQLTypeMap() = default;

  struct Entry {
    CTString text;
    bool has_size = false;
    bool present = false;
  };
  Entry m_aEntries[kMaxType + 1];
  std::atomic<int32_t> m_nReferences{0};
};

#endif  // QG_DRIVER_SQL_SQL_TYPE_MAP_H_
