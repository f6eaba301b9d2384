// CTString: the library's own UTF-16 string. One pointer to a runtime-heap
// block holding the text and its terminator, exactly length + 1 units, or
// null; null and the empty text are the same value (a non-null block never
// holds the empty text). The block is never shared: copies copy.
//
// Allocation failures are not reported: the string is then left empty.
#ifndef QG_SUPPORT_CTSTRING_H_
#define QG_SUPPORT_CTSTRING_H_

#include <cstdarg>
#include <cstddef>
#include <cstdint>

class CTString {
 public:
  CTString() : m_psz(nullptr) {}
  CTString(const char16_t* text);  // NOLINT: implicit like the text it holds
  // The first n units, stopping early at a terminator.
  CTString(const char16_t* text, size_t n);
  CTString(const CTString& other);
  CTString(CTString&& other) noexcept : m_psz(other.m_psz) { other.m_psz = nullptr; }
  ~CTString();

  CTString& operator=(const CTString& other);
  CTString& operator=(CTString&& other) noexcept;
  CTString& operator=(const char16_t* text) {
    Set(text);
    return *this;
  }

  void RAZ();
  // Null or the empty text frees the block. The text may lie in this
  // string's own block.
  void Set(const char16_t* text);
  void Set(const char16_t* text, size_t n);
  // One character (0 empties).
  void SetChar(char16_t c);
  // An 8-bit terminated text converted from a code page (0: the ANSI code
  // page). An unconvertible text leaves the string empty.
  void SetFromMultiByte(const char* text, uint32_t code_page);

  int nTaille() const;
  const char16_t* pszGet() const;
  const char16_t* PB_W() const { return pszGet(); }
  operator const char16_t*() const { return pszGet(); }  // NOLINT
  bool bEstVide() const { return m_psz == nullptr || m_psz[0] == 0; }
  // Ordinal equality.
  bool bEstEgal(const char16_t* text) const;
  // Equality ignoring case and diacritics through the host's locale.
  bool bEstEgalI(const char16_t* text) const;
  // The character at index, 0 for a null string or an index past the end.
  char16_t nGetChar(int index) const;

  // Field n (from 0) of the text, fields separated by `separator` (any
  // length); the last field runs to the end. False for a null string or
  // fewer than n + 1 fields. An empty or null separator makes the whole
  // text the one field.
  bool bExtraitChaine(int n, const char16_t* separator, CTString& out) const;

  // Formats a wide printf-style format (Windows meaning; %n is never
  // honoured). Returns the length, or -1 when formatting failed (the string
  // is then empty).
  int FormatV(const char16_t* format, va_list ap);

  // Appends (null appends nothing); the text may lie in this string.
  void Add(const char16_t* text);
  CTString& operator+=(const char16_t* text) {
    Add(text);
    return *this;
  }
  // The part from start to the end (empty when start lies past the end).
  CTString clMilieu(int start) const;

  // Sets the string to the part of `text` before its first '.', returning
  // the position after the point. Without a point the string becomes empty
  // and `text` is returned; with whole_when_no_point the string takes the
  // whole text and null is returned.
  const char16_t* pszExtraitAvantPoint(const char16_t* text, bool whole_when_no_point = false);

 private:
  void Assign(const char16_t* text, size_t n);
  char16_t* m_psz;
};

// A CTString built from a printf-style format and its arguments.
class CTStringFormat : public CTString {
 public:
  explicit CTStringFormat(const char16_t* format, ...);
};

#endif  // QG_SUPPORT_CTSTRING_H_
