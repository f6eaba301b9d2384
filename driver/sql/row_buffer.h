// CNARowBuffer: the values of one row of a table in one block laid out by
// the table's columns: a null bitmap (most significant bit first; a set bit
// means the column holds a value) followed by the column data at each
// column's offset.
//
// Column storage, at the column's offset plus element index times its size
// (element -1: the column's whole area): dates and times (column types 10,
// 11, 14) as zero-terminated text cut to the size; variable binary (23) as
// a 16-bit length and the bytes (at most size - 2), zero-filled; UTF-16
// texts (29, 30) as the bytes (at most size - 2), zero-filled; large
// objects as an 8-byte slot (zeros when set, ones when cleared); every
// other type as raw bytes of the column's size.
//
// A column without a null bit (index -1) never touches the bitmap and is
// always present. No lock: a row buffer has one user at a time.
#ifndef QG_DRIVER_SQL_ROW_BUFFER_H_
#define QG_DRIVER_SQL_ROW_BUFFER_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "driver/core/refcounted.h"

class CAny;
class CNAColumn;
class CNATableDescription;
class INACopyContext;

// The row layout of a table: data size, number of null bits and the
// columns with their offsets, sizes and null-bit indexes. The columns are
// not owned; they outlive the row buffers bound to the layout.
struct CNARowLayout {
  uint32_t nDataSize = 0;
  uint32_t nNullBits = 0;
  std::vector<CNAColumn*> apColumns;
};

class CNARowBuffer : public CNARefCounted {
 public:
  CNARowBuffer() = default;
  ~CNARowBuffer() override;

  // Sizes and zero-fills the block for `layout`, then stores each column's
  // default value (cleared when it has none). False when the block cannot
  // be had.
  bool bBind(const CNARowLayout& layout);
  // The same for the layout of a table description, which the buffer (and
  // every duplicate of it) then holds a reference on, so that the layout
  // outlives it.
  bool bBind(CNATableDescription* description);

  // A new buffer with the same layout and a copy of the block (no
  // reference taken); null when memory runs out.
  virtual CNARowBuffer* pclDuplicate() const;                                  // 2
  // Copies at most the data size into the data area and marks every column
  // present.
  virtual void LoadImage(const void* bytes, size_t length);                   // 3
  // The column's bytes; null outside the block (a layout that changed
  // after the bind).
  virtual uint8_t* pGetColumnData(int column, int element);                   // 4
  // Stores a host value (null or empty clears the column); false when it
  // cannot be converted to the column's type.
  virtual bool bSetValue(int column, const CAny& value, int element);         // 6
  // Stores bytes by the column's storage rule and marks the column present.
  virtual bool bSetBytes(int column, const void* bytes, size_t length, int element);  // 7
  // Copies the column's bytes (one element, or its whole area at -1) and
  // its presence into a buffer of the same layout; false when either buffer
  // lacks the column.
  virtual bool bCopyColumnData(CNARowBuffer* destination, int column, int element);  // 8
  // The column's value as a host value of its Velisc type (null when
  // absent).
  virtual bool bGetValue(CAny& value, int column, int element);               // 9
  virtual void SetPresent(int column, bool present, int element);             // 10
  virtual bool bIsPresent(int column) const;                                  // 11
  // Within a deep copy: takes the source's layout (sharing its table
  // description) and a copy of its block, registering the pair with the
  // context. 1, or 0 (this buffer unchanged) when memory runs out.
  virtual int nCopyFrom(const CNARowBuffer* source, INACopyContext* context, intptr_t a,
                        intptr_t b);                                           // 12
  // A new buffer copied through slot 12, with one reference; null when
  // memory runs out.
  virtual CNARowBuffer* pclClone(INACopyContext* context);                    // 13

  // Copies the whole block of a buffer of the same layout.
  void CopyFromRowBuffer(const CNARowBuffer& other);
  // Same sizes and identical blocks.
  bool bEqualValues(const CNARowBuffer& other) const;

  // The whole block as an image of its total size, and back (bitmap
  // included). Reading refuses an image of another size.
  uint32_t nGetImageSize() const { return m_nTotalSize; }
  void WriteImage(uint8_t* out) const;
  bool bReadImage(const uint8_t* in, size_t size);

  const uint8_t* pGetBlock() const { return m_pBlock; }
  uint32_t nGetDataSize() const { return m_nTotalSize - m_nBitmapSize; }
  uint32_t nGetBitmapSize() const { return m_nBitmapSize; }
  const CNARowLayout* pGetLayout() const { return m_pLayout; }

 private:
  CNAColumn* Column(int column) const;
  int NullBit(int column) const;
  void SetBit(int column, bool on);

  uint32_t m_nTotalSize = 0;
  uint8_t* m_pBlock = nullptr;
  uint32_t m_nNullBits = 0;
  uint8_t* m_pData = nullptr;
  uint32_t m_nBitmapSize = 0;
  const CNARowLayout* m_pLayout = nullptr;
  CNATableDescription* m_pDescription = nullptr;  // one reference, may be null
};

#endif  // QG_DRIVER_SQL_ROW_BUFFER_H_
