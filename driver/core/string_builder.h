// Growable UTF-16 text builders in which SQL and dump texts are assembled,
// and a growable byte buffer. None takes a lock.
//
// Growth: when an append needs more than the capacity, the capacity becomes
// the needed length rounded up to the next multiple of the step (a whole
// step more when it already is a multiple), or twice the old capacity when
// that is larger, so that building a large text stays linear. The buffer
// holds capacity + 1 units and is terminated after every append.
//
// Memory: when a reallocation fails the builder keeps its text, drops the
// append and remembers the failure (bFailed).
#ifndef QG_DRIVER_CORE_STRING_BUILDER_H_
#define QG_DRIVER_CORE_STRING_BUILDER_H_

#include <cstddef>
#include <cstdint>
#include <string>

class CTString;

class CNAStringBuilder {
 public:
  static constexpr size_t kDefaultStep = 1024;

  explicit CNAStringBuilder(size_t nStep = kDefaultStep);
  ~CNAStringBuilder();
  CNAStringBuilder(const CNAStringBuilder&) = delete;
  CNAStringBuilder& operator=(const CNAStringBuilder&) = delete;

  // Appends a terminated text; null appends nothing.
  void Add(const char16_t* text);
  // Appends n units; nothing for null or n <= 0.
  void AddN(const char16_t* text, ptrdiff_t n);
  void AddChar(char16_t c) { AddN(&c, 1); }
  // Appends the whole text of a string.
  void AddString(const CTString& text);
  // Appends the decimal form of a value; with a width other than -1 and a
  // positive value, zeros on the left up to the width.
  void AddInt(int64_t value, int width = -1);
  // Appends the 8 binary digits of a byte, most significant first.
  void AddBinaryByte(uint8_t byte);
  // Inserts n units at the beginning; nothing for null or n <= 0.
  void InsertW(const char16_t* text, ptrdiff_t n);

  // The index of the first c, of the first "'", or of the first
  // what[0..nWhat), at or after nStart; -1 when absent (or nWhat <= 0).
  ptrdiff_t nFind(char16_t c, size_t nStart = 0) const;
  ptrdiff_t nFindQuote(size_t nStart = 0) const { return nFind(u'\'', nStart); }
  ptrdiff_t nFind(const char16_t* what, ptrdiff_t nWhat, size_t nStart = 0) const;

  // Replaces every occurrence of what[0..nWhat) found at or after nStart by
  // with[0..nWith), in one pass; the replacement is never searched again.
  // Nothing happens for a null or empty text, an empty builder or a start
  // past the end. Answers the number of occurrences replaced.
  int nReplaceAll(const char16_t* what, ptrdiff_t nWhat, const char16_t* with,
                  ptrdiff_t nWith, ptrdiff_t nStart = 0);

  // Cuts the text to n units (no-op when n >= the length).
  void Truncate(size_t n);
  void Clear() { Truncate(0); }
  // Makes room for n more units without changing the text; false when the
  // memory cannot be had.
  bool bReserve(size_t nMore);

  // The text; the empty text while nothing was added.
  const char16_t* pszGet() const { return m_pBuffer != nullptr ? m_pBuffer : u""; }
  size_t nGetLength() const { return m_nLength; }
  size_t nGetCapacity() const { return m_nCapacity; }
  size_t nGetStep() const { return m_nStep; }
  bool bFailed() const { return m_bFailed; }

 private:
  bool bGrow(size_t nNeeded);

  char16_t* m_pBuffer = nullptr;  // capacity + 1 units, or null
  size_t m_nLength = 0;
  size_t m_nCapacity = 0;
  size_t m_nStep;
  bool m_bFailed = false;
};

// Comma-separated list: "," before every item but the first.
class CNAListBuilder {
 public:
  CNAListBuilder() = default;
  void Add(const char16_t* item);
  const char16_t* pszGet() const { return m_clText.pszGet(); }
  int nGetCount() const { return m_nCount; }
  CNAStringBuilder& clText() { return m_clText; }

 private:
  CNAStringBuilder m_clText;
  int m_nCount = 0;
};

// Growable byte buffer with the same growth rule and one terminator byte.
class CNAByteBuilder {
 public:
  explicit CNAByteBuilder(size_t nStep = 1024);
  ~CNAByteBuilder();
  CNAByteBuilder(const CNAByteBuilder&) = delete;
  CNAByteBuilder& operator=(const CNAByteBuilder&) = delete;

  // Appends n bytes; nothing for null or n <= 0.
  void Append(const void* bytes, ptrdiff_t n);
  // Appends the decimal digits of a value, zero-padded as
  // CNAStringBuilder::AddInt.
  void AddInt(int64_t value, int width = -1);
  // Inserts n bytes at the beginning; nothing for null or n <= 0.
  void Insert(const void* bytes, ptrdiff_t n);
  // Replaces every occurrence of what[0..nWhat) by with[0..nWith), in one
  // pass; the number replaced (0 for an empty what).
  int nReplaceAll(const void* what, ptrdiff_t nWhat, const void* with, ptrdiff_t nWith);
  // Keeps the first n bytes: n below 1 empties, n past the end keeps all.
  void Truncate(ptrdiff_t n);
  // The index of the first byte b, or of the first what[0..nWhat), at or
  // after nStart; -1 when absent (or nWhat <= 0).
  ptrdiff_t nFind(uint8_t b, size_t nStart = 0) const;
  ptrdiff_t nFind(const void* what, ptrdiff_t nWhat, size_t nStart = 0) const;
  const uint8_t* pGet() const { return m_pBuffer; }
  size_t nGetLength() const { return m_nLength; }
  size_t nGetCapacity() const { return m_nCapacity; }
  bool bFailed() const { return m_bFailed; }

 private:
  uint8_t* m_pBuffer = nullptr;  // capacity + 1 bytes, or null
  size_t m_nLength = 0;
  size_t m_nCapacity = 0;
  size_t m_nStep;
  bool m_bFailed = false;

  bool bGrow(size_t nNeeded);
};

// Appends the bytes as 2n upper-case hexadecimal digits. Nothing for no
// bytes. False when the memory cannot be had (the output is unchanged).
bool bAddHexLiteral(CNAStringBuilder& out, const void* bytes, size_t n);

// Advances past n characters, a surrogate pair counting as one; never past
// the terminator. Null stays null.
const char16_t* SkipCodePoints(const char16_t* text, size_t n);

namespace qg {
// The decimal form of a value, zero-padded on the left up to the width
// when the width is not -1 and the value is positive.
std::string DecimalText(int64_t value, int width);
// The capacity rule of the builders, exposed for the byte buffer and tests.
size_t NextBuilderCapacity(size_t nCapacity, size_t nNeeded, size_t nStep);
}  // namespace qg

#endif  // QG_DRIVER_CORE_STRING_BUILDER_H_
