// CNAValueConverter: one column value on its way between the host and the
// server. It carries a Velisc type code and stores the value either in a
// host variant or in a raw buffer laid out as the row buffers expect, and
// converts between them: from host values, from UTF-16 or 8-bit text, from
// the text of a server row, and back into host values.
//
// Storage kinds:
//   0 none;
//   1 the value inside the host variant;
//   2 host variant, pending (becomes 1 at the next store);
//   3 a buffer given by the caller (zero-filled on reset);
//   4 a buffer by reference (the caller's data, pointer and size);
//   5 a buffer the converter allocates and frees.
//
// Buffer layouts by the bound column's type: texts are terminated (1 byte
// for 8-bit types, 2 for UTF-16 types) and cut at a character boundary;
// binary of column type 23 has a 16-bit length prefix; times (column type
// 11) are 8-bit digits HHMMSS then fraction digits padded with '0'; dates
// (14) 8-bit digits YYYYMMDD; date-times (24) the 8 bytes of a DATETIME;
// decimals (31) a signed little-endian integer of the buffer's size, scaled
// by the column's scale. Null is the variant's null flag, whatever the kind.
//
// Not thread-safe: one converter is used under its owner's lock. The hot
// path (server text of numbers, dates and 8-bit texts into buffers)
// allocates nothing.
#ifndef QG_DRIVER_SQL_VALUE_CONVERTER_H_
#define QG_DRIVER_SQL_VALUE_CONVERTER_H_

#include <cstddef>
#include <cstdint>

#include "driver/sql/value.h"
#include "support/ctstring.h"

class CNAColumn;

class CNAValueConverter : public CNAValue {
 public:
  enum Kind { kNone = 0, kVariant = 1, kVariantPending = 2, kCallerBuffer = 3,
              kReference = 4, kOwnBuffer = 5 };

  // The owner gets one reference; `code_page` is its connection's code page
  // (the page of every 8-bit text the converter stores).
  explicit CNAValueConverter(CNARefCounted* owner = nullptr, uint32_t code_page = 1252);
  ~CNAValueConverter() override;

  // --- CNAValue ---------------------------------------------------------
  bool bConvertTo(int host_type, bool no_padding, CNAError* error) override;
  bool bGetValue(CAny& out) const override;
  bool bIsEmpty() const override { return m_nKind == kNone; }
  const void* pGetData() const override;
  int nGetDataSize() const override { return static_cast<int>(m_nLength); }
  CNARefCounted* pclGetOwner() const override { return m_pOwner; }
  int nCopyFrom(const CNAValue* source, INACopyContext* context, intptr_t a,
                intptr_t b) override;
  CNAValue* pclClone(INACopyContext* context, intptr_t a, intptr_t b) const override;
  // The data and its size in bytes at once; false (null and 0) while the
  // converter holds nothing.
  virtual bool bGetDataAndSize(const void** data, int* size) const;

  // --- set-up -----------------------------------------------------------
  uint32_t nGetCodePage() const { return m_nCodePage; }
  void SetCodePage(uint32_t code_page) { m_nCodePage = code_page; }
  int nGetKind() const { return m_nKind; }
  int nGetType() const { return m_nType; }
  size_t nGetCapacity() const { return m_nCapacity; }
  // Resets the converter (frees an own buffer, releases the descriptions,
  // value back to type 0) and stores the kind.
  void SetKind(int kind);
  // Kind 1 with that type; capacity and length = size; value reset.
  bool bSetType(int host_type, int size);
  // Kind 3 over the caller's buffer.
  void SetExternalBuffer(void* buffer, size_t size, int host_type);
  // Kind 5 with a zeroed buffer of `size` bytes; false (error recorded)
  // when the memory cannot be had.
  bool bAllocateBuffer(int host_type, size_t size, CNAError* error);
  // Binds the column and the source descriptions (a reference on each).
  void BindColumns(CNAColumn* column, CNAColumn* source);
  CNAColumn* pclGetColumn() const { return m_pColumn; }
  // Type code of the bound column / source description, 0 when none.
  int nGetColumnType() const;
  int nGetSourceType() const;
  bool bIsPrepared() const { return m_bPrepared; }
  void SetPrepared() { m_bPrepared = true; }
  bool bPrepare();

  // --- storing ----------------------------------------------------------
  bool bSetValue(const CAny& value, CNAError* error);
  // Raw bytes: into the variant for kind 1, by reference for kind 4, else
  // into the buffer within the room its terminator leaves, rest zeroed.
  bool bSetBuffer(const void* data, size_t size);
  // Raw data of `length` characters (2 bytes each for UTF-16 types).
  bool bSetData(const void* data, size_t length, CNAError* error);
  // Text, length -1 up to the terminator.
  bool bSetFromWideText(const char16_t* text, ptrdiff_t length, CNAError* error);
  bool bSetFromNarrowText(const char* text, ptrdiff_t length, CNAError* error);
  // 8-bit text in a given code page.
  bool bSetFromNarrowTextCP(const char* text, size_t length, uint32_t code_page,
                            CNAError* error);
  // A column value as the server sent it (text protocol).
  bool bSetFromServerText(const char* text, size_t length, uint32_t code_page,
                          CNAError* error);
  bool bSetBoolean(bool value, CNAError* error);
  // Null, keeping the type; a caller's buffer is zero-filled.
  void Clear();
  void SetAnyNull();
  // Only the null flag; the stored bytes stay.
  void SetNullFlag(bool null) { m_clValue.SetNull(null); }
  bool bIsNull() const { return m_clValue.bEstNull(); }

  // --- comparing --------------------------------------------------------
  int nCompare(const CNAValueConverter& other) const;
  bool bEquals(const CNAValueConverter& other) const;
  // Takes over the owner and the value (slot 13).
  bool CopyFrom(const CNAValueConverter& other);

  // The text a date-time is written with into a text column of that mask
  // (bounded; false when the time of day is out of range).
  static bool bFormatDateMask(const char16_t* mask, const qg::AnyDateTime& value,
                              char16_t* out, size_t capacity);

 private:
  bool bStoreNumberText(const char* text, size_t length, CNAError* error);
  bool bStoreDateText(const char* text, size_t length, CNAError* error);
  bool bStoreEqualType(const CAny& value, CNAError* error);
  bool bStoreBytes(const void* data, size_t size);
  bool bStoreFixed(const void* bytes, size_t size);
  bool bStoreDecimal(const CAny& value, CNAError* error);
  void ZeroFrom(size_t offset);
  void ValueStored();
  bool bEnsurePrepared();
  void FreeBuffer();
  uint8_t* Buffer() const { return static_cast<uint8_t*>(m_pBuffer); }
  int nInternalType() const;

  CAny m_clValue;
  CNARefCounted* m_pOwner = nullptr;
  uint32_t m_nCodePage = 1252;
  CNAColumn* m_pSource = nullptr;
  CNAColumn* m_pColumn = nullptr;
  int m_nKind = kNone;
  int m_nType = 0;
  void* m_pBuffer = nullptr;
  size_t m_nLength = 0;
  size_t m_nCapacity = 0;
  int m_nPendingRead = 0;
  int m_nSourceMarker = 0;
  bool m_bPrepared = false;
  int m_nDepth = 0;  // re-entries of bSetValue
};

#endif  // QG_DRIVER_SQL_VALUE_CONVERTER_H_
