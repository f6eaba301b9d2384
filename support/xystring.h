// CXYString<T>: the host-shared dynamic string, T = char16_t (UTF-16 text)
// or char (8-bit text).
//
// The object is one pointer to the first text unit, or null for the empty
// string. The buffer belongs to the host's string-memory interface
// (qg::Services().piStringMemory): it is allocated, grown and freed only
// there, so that a buffer passes between the host and the module without
// copying. Just before the text stands the header below; after the text
// two zero bytes (also for 8-bit text).
//
// Sharing: copying a CXYString shares the buffer and counts it up
// atomically. A buffer whose count is 2 or more is shared and is never
// written: every writer first makes a private copy and releases its
// reference. A private buffer (count 1) is written in place, after the
// cache marks of its header have been cleared.
//
// Results of the operations that can allocate: 0 success, 105 a code-page
// conversion produced nothing, 108 a length out of range, and any code of
// 100 or more from the host's allocator, passed on unchanged. Callers test
// "result >= 100".
//
// Thread safety: the reference count is the only shared state; one
// CXYString object is used by one thread at a time.
#ifndef QG_SUPPORT_XYSTRING_H_
#define QG_SUPPORT_XYSTRING_H_

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace qg {

// The header before the text, lowest address first. Field offsets are part
// of the contract with the host and must not change.
struct XYHeader {
  int32_t nSecondCache;  // host-owned; cleared with nCache when kXYFlagCache10 is set
  int32_t nCache;        // cached value; 65001 after a UTF-8 assignment; 0 after a change
  int32_t nFlags;        // kXYFlag* below
  int32_t nRefCount;     // atomic accesses only (std::atomic_ref)
  int32_t nCapacity;     // bytes available for text, terminator excluded
  int32_t nLength;       // text length in BYTES, terminator excluded
};
constexpr size_t kXYHeaderSize = sizeof(XYHeader);
static_assert(kXYHeaderSize == 24, "the host reads the header at fixed offsets");

inline XYHeader* XYHeaderOf(void* text) {
  return reinterpret_cast<XYHeader*>(static_cast<char*>(text) - kXYHeaderSize);
}
inline const XYHeader* XYHeaderOf(const void* text) {
  return reinterpret_cast<const XYHeader*>(static_cast<const char*>(text) - kXYHeaderSize);
}

// Header flags. The single definition used by every part of the library.
constexpr int32_t kXYFlagMarker = 0x01;   // the last unit is a marker (0xFFFF / 0xFF);
                                          // copied by the dynamic-string append, cleared
                                          // by other appends and by cuts
constexpr int32_t kXYFlagSecret = 0x02;   // secret text (a converted password):
                                          // wiped before the buffer is freed
constexpr int32_t kXYFlagUtf8 = 0x04;     // cache mark: 8-bit text known to be UTF-8
constexpr int32_t kXYFlagCache08 = 0x08;  // cache mark
constexpr int32_t kXYFlagCache10 = 0x10;  // cache mark; nSecondCache is in use
constexpr int32_t kXYFlagCarried = 0x20;  // carried over by copies and conversions
constexpr int32_t kXYCacheMarks = kXYFlagUtf8 | kXYFlagCache08 | kXYFlagCache10;

// The marker unit.
constexpr char16_t kXYMarker16 = 0xFFFF;
constexpr char kXYMarker8 = static_cast<char>(0xFF);

// Result codes.
constexpr int kXYOk = 0;
constexpr int kXYNoHost = 100;        // no string-memory interface installed, or no
                                      // memory for a temporary copy
constexpr int kXYErrConversion = 105;
constexpr int kXYErrLength = 108;

// Largest byte length of a text (and largest count of 8-bit units).
constexpr int32_t kXYMaxBytes = 0x7FFFFEFF;

constexpr int32_t kCodePageUtf8Mark = 65001;

}  // namespace qg

template <typename T>
class CXYString {
  static_assert(std::is_same_v<T, char16_t> || std::is_same_v<T, char>,
                "CXYString holds UTF-16 or 8-bit text");

 public:
  CXYString() : m_psz(nullptr) {}
  // Null or the empty text leaves the string null.
  CXYString(const T* text);  // NOLINT: implicit like the text it holds
  // A copy of n units (n = -1: up to the terminator); null on failure.
  CXYString(const T* text, int n);
  CXYString(const CXYString& other);  // shares
  CXYString(CXYString&& other) noexcept : m_psz(other.m_psz) { other.m_psz = nullptr; }
  ~CXYString();

  CXYString& operator=(const CXYString& other);  // shares
  CXYString& operator=(CXYString&& other) noexcept;
  // Assignment of a text; a failure leaves the string as nAffecte does.
  CXYString& operator=(const T* text);

  void InitDynStr() { m_psz = nullptr; }

  // --- reading -----------------------------------------------------------
  const T* pszGet() const;        // the text, or a static empty text
  int nTaille() const;            // length in units
  int nGetByteLength() const;     // length in bytes, 0 for null
  const void* pGetData() const { return pszGet(); }
  bool bEstVide() const;          // null, or no whole unit
  bool bEstNull() const { return m_psz == nullptr; }
  // The raw text pointer (null for the empty string); a writable view for
  // callers that have just sized a private buffer (SetLongueur).
  T* pszGetBuffer() { return m_psz; }
  // True when the buffer is shared (count read atomically).
  bool bEstPartage() const;
  int nGetRefCount() const;       // 0 for null

  // First index at or after start where the n-unit text occurs; -1 when
  // n <= 0 or the text does not occur.
  int nPos(const T* text, int n, int start = 0) const;
  // 0 when the string begins with the non-empty text, else 1.
  int nCompareDebut(const T* text) const;

  // Header flags (kXYFlag*). A null string has no flags; setting a flag on
  // it does nothing. Flags live in the buffer, so every holder sees them.
  bool bTestFlag(int32_t flag) const;
  void SetFlag(int32_t flag);
  void ClearFlag(int32_t flag);

  // --- assignment --------------------------------------------------------
  int nAffecte(const T* text) { return nAffecteLongueur(text, -1); }
  int Set(const T* text) { return nAffecteLongueur(text, -1); }
  // n = -1 measures the text; null or n <= 0 leaves the string null.
  int nAffecteLongueur(const T* text, int n);
  // A private buffer of capacity n units holding the current text cut to n.
  int nAlloue(int n);
  // Shares the other's buffer.
  void AffectePartage(const CXYString& other);
  void Partage(const CXYString& other) { AffectePartage(other); }
  // Sets the string to `count` texts one after the other (const T*
  // arguments; null counts as empty). On failure the string is left null.
  int nAffecteConcat(int count, ...);

  // --- writing -----------------------------------------------------------
  // Room for n units, the buffer private afterwards (n = 0 on a null
  // string allocates an empty buffer).
  int nReserve(int n);
  // Length = n units, terminator written; n = 0 releases the buffer.
  int SetLongueur(int n);
  // Cuts the text to its first n units (0 <= n < length, else nothing).
  int Tronque(int n);
  // Removes the first n units.
  int SupprimeDebut(int n);
  // Appends.
  int nAjoute(const T* text, int n);
  int nAjoute(const T* text) { return nAjoute(text, -1); }
  int operator+=(const T* text) { return nAjoute(text, -1); }
  // Appends another dynamic string; the marker flag follows the source.
  int nAjouteDynStr(const CXYString& other);
  int operator+=(const CXYString& other) { return nAjouteDynStr(other); }
  // Appends the marker unit and sets kXYFlagMarker.
  int nAjouteMarqueur();

  // Releases the buffer; the string becomes null.
  void Libere();
  // Atomic count down; the buffer goes back to the host at 0 (a secret
  // buffer is wiped first).
  static void s_LibereBuffer(T* text);

  // --- 8-bit text only ---------------------------------------------------
  // Copies n bytes (n = 0 releases).
  int nAffecteOctets(const void* bytes, int n)
    requires std::is_same_v<T, char>;
  int nReserveOctets(int n)
    requires std::is_same_v<T, char>
  { return nReserve(n); }
  // 32 bytes, each equal to *byte.
  int nRemplit32(const char* byte)
    requires std::is_same_v<T, char>;
  // UTF-16 text converted to UTF-8, with the UTF-8 mark set.
  int nAffecteUTF8(const char16_t* text)
    requires std::is_same_v<T, char>;
  // UTF-16 text (n = -1: up to the terminator) converted to a code page
  // (0: the host's 8-bit code page; 65001: UTF-8 with the UTF-8 mark).
  int nAffecteConversion(const char16_t* text, int n, int code_page)
    requires std::is_same_v<T, char>;
  int nSetByteLength(int n)
    requires std::is_same_v<T, char>;
  int nSetUTF8FromAnsi(const char* text, int n, int code_page)
    requires std::is_same_v<T, char>;
  int nSetAnsiFromUTF8(const char* text, int n, int code_page)
    requires std::is_same_v<T, char>;
  // Removes every occurrence of the byte; nothing left releases the buffer.
  int RemoveAll(char byte)
    requires std::is_same_v<T, char>;

  // --- UTF-16 text only --------------------------------------------------
  // 8-bit text (n = -1: up to the terminator) converted from a code page
  // (0: the host's 8-bit code page; 1252 the library's map; 1200, 1201,
  // 12000, 12001 the UTF-16 / UTF-32 decoders; others the system's).
  int nAffecteConversion(const char* text, int n, int code_page)
    requires std::is_same_v<T, char16_t>;
  int nSetCounted(const char16_t* text, int n)
    requires std::is_same_v<T, char16_t>;
  // Line n (from 0) of the text, lines separated by CR LF, into out; false
  // when the text has fewer lines.
  bool bExtraitLigne(int n, CXYString& out) const
    requires std::is_same_v<T, char16_t>;

 private:
  qg::XYHeader* H() const { return qg::XYHeaderOf(static_cast<void*>(m_psz)); }
  int nUnits() const;
  bool bOverlaps(const T* p) const;
  void InvalidateCache();
  void SetUnits(int n);  // length and terminator
  int nGrow(int64_t bytes);  // owned, unshared buffer to at least `bytes`
  // A fresh buffer of n units (length 0) into *out; the host's code.
  static int nNewBuffer(int n, T** out);
  // Text into a fresh buffer replacing the current one.
  int nAssignFresh(const T* text, int n);

  T* m_psz;
};

extern template class CXYString<char16_t>;
extern template class CXYString<char>;

#endif  // QG_SUPPORT_XYSTRING_H_
