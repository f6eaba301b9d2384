#include "support/xystring.h"

#include <atomic>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "support/frame/module_services.h"
#include "support/platform/codepage.h"
#include "support/platform/text16.h"
#include "support/text_functions.h"

namespace {

constexpr uint32_t kCp1252 = 1252;

template <typename T>
size_t Measure(const T* s) {
  if (s == nullptr) return 0;
  const T* p = s;
  while (*p) ++p;
  return static_cast<size_t>(p - s);
}

// Bytes of n units, or -1 when the byte length would leave the header's
// 32-bit range.
template <typename T>
int64_t BytesOf(int64_t n) {
  if (n < 0) return -1;
  int64_t bytes = n * static_cast<int64_t>(sizeof(T));
  return bytes > qg::kXYMaxBytes ? -1 : bytes;
}

std::atomic_ref<int32_t> Count(qg::XYHeader* h) {
  return std::atomic_ref<int32_t>(h->nRefCount);
}

qg::IStringMemory* Memory() { return qg::Services().piStringMemory; }

// The host's 8-bit code page for a code page of 0.
uint32_t ResolveCodePage(int code_page) {
  return qg::ResolveCodePage(static_cast<uint32_t>(code_page));
}

template <typename T>
const T* EmptyText() {
  static const T empty[2] = {0, 0};
  return empty;
}

}  // namespace

// --- construction ----------------------------------------------------------

template <typename T>
CXYString<T>::CXYString(const T* text) : m_psz(nullptr) {
  nAffecteLongueur(text, -1);
}

template <typename T>
CXYString<T>::CXYString(const T* text, int n) : m_psz(nullptr) {
  nAffecteLongueur(text, n);
}

template <typename T>
CXYString<T>::CXYString(const CXYString& other) : m_psz(nullptr) {
  AffectePartage(other);
}

template <typename T>
CXYString<T>::~CXYString() {
  Libere();
}

template <typename T>
CXYString<T>& CXYString<T>::operator=(const CXYString& other) {
  AffectePartage(other);
  return *this;
}

template <typename T>
CXYString<T>& CXYString<T>::operator=(CXYString&& other) noexcept {
  if (this != &other) {
    Libere();
    m_psz = other.m_psz;
    other.m_psz = nullptr;
  }
  return *this;
}

template <typename T>
CXYString<T>& CXYString<T>::operator=(const T* text) {
  nAffecteLongueur(text, -1);
  return *this;
}

// --- reading ---------------------------------------------------------------

template <typename T>
const T* CXYString<T>::pszGet() const {
  return m_psz != nullptr ? m_psz : EmptyText<T>();
}

template <typename T>
int CXYString<T>::nUnits() const {
  return m_psz != nullptr ? H()->nLength / static_cast<int>(sizeof(T)) : 0;
}

template <typename T>
int CXYString<T>::nTaille() const {
  return nUnits();
}

template <typename T>
int CXYString<T>::nGetByteLength() const {
  return m_psz != nullptr ? H()->nLength : 0;
}

template <typename T>
bool CXYString<T>::bEstVide() const {
  // Below one unit: a one-byte 8-bit text is not empty.
  return m_psz == nullptr || H()->nLength < static_cast<int32_t>(sizeof(T));
}

template <typename T>
bool CXYString<T>::bEstPartage() const {
  return m_psz != nullptr && Count(H()).load() >= 2;
}

template <typename T>
int CXYString<T>::nGetRefCount() const {
  return m_psz != nullptr ? Count(H()).load() : 0;
}

template <typename T>
int CXYString<T>::nPos(const T* text, int n, int start) const {
  int len = nUnits();
  if (text == nullptr || n <= 0 || m_psz == nullptr) return -1;
  if (start < 0) start = 0;
  for (int i = start; i <= len - n; ++i) {
    if (std::memcmp(m_psz + i, text, static_cast<size_t>(n) * sizeof(T)) == 0) return i;
  }
  return -1;
}

template <typename T>
int CXYString<T>::nCompareDebut(const T* text) const {
  size_t n = Measure(text);
  if (n == 0 || n > static_cast<size_t>(nUnits())) return 1;
  return std::memcmp(m_psz, text, n * sizeof(T)) == 0 ? 0 : 1;
}

template <typename T>
bool CXYString<T>::bTestFlag(int32_t flag) const {
  return m_psz != nullptr && (H()->nFlags & flag) != 0;
}

template <typename T>
void CXYString<T>::SetFlag(int32_t flag) {
  if (m_psz != nullptr) H()->nFlags |= flag;
}

template <typename T>
void CXYString<T>::ClearFlag(int32_t flag) {
  if (m_psz != nullptr) H()->nFlags &= ~flag;
}

// --- buffer management ------------------------------------------------------

template <typename T>
bool CXYString<T>::bOverlaps(const T* p) const {
  if (m_psz == nullptr || p == nullptr) return false;
  // Compare as integers: the pointers may belong to different objects.
  uintptr_t a = reinterpret_cast<uintptr_t>(p);
  uintptr_t lo = reinterpret_cast<uintptr_t>(m_psz) - qg::kXYHeaderSize;
  uintptr_t hi = reinterpret_cast<uintptr_t>(m_psz) + static_cast<uintptr_t>(H()->nCapacity) + 2;
  return a >= lo && a < hi;
}

template <typename T>
void CXYString<T>::InvalidateCache() {
  qg::XYHeader* h = H();
  h->nCache = 0;
  if (h->nFlags & qg::kXYFlagCache10) h->nSecondCache = 0;
  h->nFlags &= ~qg::kXYCacheMarks;
}

namespace {

// volatile: the wipe must not be dropped as a dead store.
void Wipe(void* p, int64_t bytes) {
  volatile char* v = static_cast<volatile char*>(p);
  for (int64_t i = 0; i < bytes; ++i) v[i] = 0;
}

}  // namespace

// A secret buffer keeps nothing past its length: the rest of its capacity
// is wiped whenever the length is set.
template <typename T>
void CXYString<T>::SetUnits(int n) {
  qg::XYHeader* h = H();
  h->nLength = n * static_cast<int>(sizeof(T));
  char* end = reinterpret_cast<char*>(m_psz) + h->nLength;
  end[0] = 0;
  end[1] = 0;
  if (h->nFlags & qg::kXYFlagSecret) Wipe(end, int64_t(h->nCapacity) - h->nLength + 2);
}

// Grows the owned, unshared buffer to `bytes`. A secret buffer is never
// handed to the host's reallocation (which would leave the old block as it
// was): it moves to a fresh buffer and the old one is wiped and freed.
template <typename T>
int CXYString<T>::nGrow(int64_t bytes) {
  if (H()->nCapacity >= bytes) return qg::kXYOk;
  if (H()->nFlags & qg::kXYFlagSecret) {
    T* fresh = nullptr;
    int rc = nNewBuffer(static_cast<int>(bytes / static_cast<int64_t>(sizeof(T))), &fresh);
    if (rc != qg::kXYOk) return rc;
    qg::XYHeader* fh = qg::XYHeaderOf(static_cast<void*>(fresh));
    std::memcpy(fresh, m_psz, static_cast<size_t>(H()->nLength) + 2);
    fh->nLength = H()->nLength;
    fh->nFlags = H()->nFlags;
    fh->nCache = H()->nCache;
    fh->nSecondCache = H()->nSecondCache;
    T* old = m_psz;
    m_psz = fresh;
    s_LibereBuffer(old);
    return qg::kXYOk;
  }
  void* p = m_psz;
  int32_t rc = Memory()->nReallocate(&p, static_cast<int32_t>(bytes), 0);
  if (rc >= qg::kHostErrorFirst) return rc;  // the old text stays
  m_psz = static_cast<T*>(p);
  return qg::kXYOk;
}

template <typename T>
int CXYString<T>::nNewBuffer(int n, T** out) {
  int64_t bytes = BytesOf<T>(n);
  if (bytes < 0) return qg::kXYErrLength;
  qg::IStringMemory* memory = Memory();
  if (memory == nullptr) return qg::kXYNoHost;
  void* text = nullptr;
  int32_t rc = memory->nAllocate(&text, static_cast<int32_t>(bytes), 0);
  if (rc >= qg::kHostErrorFirst) return rc;
  if (text == nullptr) return qg::kXYNoHost;
  *out = static_cast<T*>(text);
  qg::XYHeader* h = qg::XYHeaderOf(text);
  h->nLength = 0;
  static_cast<char*>(text)[0] = 0;
  static_cast<char*>(text)[1] = 0;
  return qg::kXYOk;
}

template <typename T>
void CXYString<T>::s_LibereBuffer(T* text) {
  if (text == nullptr) return;
  qg::XYHeader* h = qg::XYHeaderOf(static_cast<void*>(text));
  if (Count(h).fetch_sub(1) != 1) return;
  // The whole capacity and the terminator: bytes past the length may hold
  // an earlier, longer text.
  if (h->nFlags & qg::kXYFlagSecret) Wipe(text, int64_t(h->nCapacity) + 2);
  qg::IStringMemory* memory = Memory();
  if (memory != nullptr) memory->nFree(text);
}

template <typename T>
void CXYString<T>::Libere() {
  T* p = m_psz;
  m_psz = nullptr;
  s_LibereBuffer(p);
}

template <typename T>
void CXYString<T>::AffectePartage(const CXYString& other) {
  if (m_psz == other.m_psz) return;
  T* p = other.m_psz;
  if (p != nullptr) Count(qg::XYHeaderOf(static_cast<void*>(p))).fetch_add(1);
  Libere();
  m_psz = p;
}

template <typename T>
int CXYString<T>::nAssignFresh(const T* text, int n) {
  T* fresh = nullptr;
  int rc = nNewBuffer(n, &fresh);
  if (rc != qg::kXYOk) return rc;
  std::memcpy(fresh, text, static_cast<size_t>(n) * sizeof(T));
  Libere();
  m_psz = fresh;
  SetUnits(n);
  return qg::kXYOk;
}

template <typename T>
int CXYString<T>::nAffecteLongueur(const T* text, int n) {
  if (text != nullptr && n == -1) {
    size_t len = Measure(text);
    if (BytesOf<T>(static_cast<int64_t>(len)) < 0) return qg::kXYErrLength;
    n = static_cast<int>(len);
  }
  if (text == nullptr || n <= 0) {
    Libere();
    return qg::kXYOk;
  }
  int64_t bytes = BytesOf<T>(n);
  if (bytes < 0) return qg::kXYErrLength;
  // A shared buffer is never written; a text lying in our own buffer must
  // survive a reallocation: both go to a fresh buffer.
  if (m_psz == nullptr || bEstPartage() ||
      (bOverlaps(text) && H()->nCapacity < bytes)) {
    return nAssignFresh(text, n);
  }
  int rc = nGrow(bytes);
  if (rc != qg::kXYOk) return rc;  // the old text stays
  InvalidateCache();
  H()->nFlags &= ~qg::kXYFlagMarker;
  std::memmove(m_psz, text, static_cast<size_t>(bytes));
  SetUnits(n);
  return qg::kXYOk;
}

template <typename T>
int CXYString<T>::nAlloue(int n) {
  if (BytesOf<T>(n) < 0) return qg::kXYErrLength;
  T* fresh = nullptr;
  int rc = nNewBuffer(n, &fresh);
  if (rc != qg::kXYOk) return rc;
  int keep = nUnits() < n ? nUnits() : n;
  if (keep > 0) std::memcpy(fresh, m_psz, static_cast<size_t>(keep) * sizeof(T));
  Libere();
  m_psz = fresh;
  SetUnits(keep);
  return qg::kXYOk;
}

template <typename T>
int CXYString<T>::nReserve(int n) {
  int64_t bytes = BytesOf<T>(n);
  if (bytes < 0) return qg::kXYErrLength;
  if (m_psz == nullptr) return nNewBuffer(n, &m_psz);
  if (bEstPartage()) {
    T* fresh = nullptr;
    int rc = nNewBuffer(n, &fresh);
    if (rc != qg::kXYOk) return rc;
    int keep = nUnits() < n ? nUnits() : n;
    std::memcpy(fresh, m_psz, static_cast<size_t>(keep) * sizeof(T));
    qg::XYHeaderOf(static_cast<void*>(fresh))->nFlags = H()->nFlags;
    T* old = m_psz;
    m_psz = fresh;
    SetUnits(keep);
    InvalidateCache();
    s_LibereBuffer(old);
    return qg::kXYOk;
  }
  InvalidateCache();
  return nGrow(bytes);
}

template <typename T>
int CXYString<T>::SetLongueur(int n) {
  if (n == 0) {
    Libere();
    return qg::kXYOk;
  }
  int rc = nReserve(n);
  if (rc != qg::kXYOk) return rc;
  SetUnits(n);
  return qg::kXYOk;
}

template <typename T>
int CXYString<T>::Tronque(int n) {
  if (n < 0 || n >= nUnits()) return qg::kXYOk;
  if (n == 0) {
    Libere();
    return qg::kXYOk;
  }
  if (bEstPartage()) {
    T* fresh = nullptr;
    int rc = nNewBuffer(n, &fresh);
    if (rc != qg::kXYOk) return rc;
    std::memcpy(fresh, m_psz, static_cast<size_t>(n) * sizeof(T));
    int32_t flags = H()->nFlags & ~(qg::kXYFlagMarker | qg::kXYCacheMarks);
    T* old = m_psz;
    m_psz = fresh;
    H()->nFlags = flags;
    SetUnits(n);
    s_LibereBuffer(old);
    return qg::kXYOk;
  }
  H()->nFlags &= ~qg::kXYFlagMarker;
  InvalidateCache();
  SetUnits(n);
  return qg::kXYOk;
}

template <typename T>
int CXYString<T>::SupprimeDebut(int n) {
  int len = nUnits();
  if (n <= 0 || m_psz == nullptr) return qg::kXYOk;
  if (n >= len) {
    Libere();
    return qg::kXYOk;
  }
  int rc = nReserve(len);
  if (rc != qg::kXYOk) return rc;
  std::memmove(m_psz, m_psz + n, static_cast<size_t>(len - n) * sizeof(T));
  SetUnits(len - n);
  return qg::kXYOk;
}

template <typename T>
int CXYString<T>::nAffecteConcat(int count, ...) {
  // Lengths first, then one fresh buffer: an argument may be our own text.
  va_list ap;
  va_start(ap, count);
  int64_t total = 0;
  for (int i = 0; i < count; ++i) total += static_cast<int64_t>(Measure(va_arg(ap, const T*)));
  va_end(ap);
  if (total == 0) {
    Libere();
    return qg::kXYOk;
  }
  if (BytesOf<T>(total) < 0) {
    Libere();
    return qg::kXYErrLength;
  }
  T* fresh = nullptr;
  int rc = nNewBuffer(static_cast<int>(total), &fresh);
  if (rc != qg::kXYOk) {
    Libere();
    return rc;
  }
  va_start(ap, count);
  size_t at = 0;
  for (int i = 0; i < count; ++i) {
    const T* s = va_arg(ap, const T*);
    size_t n = Measure(s);
    if (n > 0) std::memcpy(fresh + at, s, n * sizeof(T));
    at += n;
  }
  va_end(ap);
  Libere();
  m_psz = fresh;
  SetUnits(static_cast<int>(total));
  return qg::kXYOk;
}

template <typename T>
int CXYString<T>::nAjoute(const T* text, int n) {
  if (text == nullptr) return qg::kXYOk;
  if (n == -1) {
    size_t len = Measure(text);
    if (BytesOf<T>(static_cast<int64_t>(len)) < 0) return qg::kXYErrLength;
    n = static_cast<int>(len);
  }
  if (n <= 0) return qg::kXYOk;
  if (m_psz == nullptr) return nAffecteLongueur(text, n);
  int len = nUnits();
  int64_t total = static_cast<int64_t>(len) + n;
  if (BytesOf<T>(total) < 0) return qg::kXYErrLength;
  // The text may lie in our own buffer, which the reservation may move or
  // replace: copy it first.
  std::unique_ptr<T[]> copy;
  if (bOverlaps(text)) {
    copy.reset(new (std::nothrow) T[static_cast<size_t>(n)]);
    if (!copy) return qg::kXYNoHost;
    std::memcpy(copy.get(), text, static_cast<size_t>(n) * sizeof(T));
    text = copy.get();
  }
  int rc = nReserve(static_cast<int>(total));
  if (rc != qg::kXYOk) return rc;
  H()->nFlags &= ~qg::kXYFlagMarker;
  std::memcpy(m_psz + len, text, static_cast<size_t>(n) * sizeof(T));
  SetUnits(static_cast<int>(total));
  return qg::kXYOk;
}

template <typename T>
int CXYString<T>::nAjouteDynStr(const CXYString& other) {
  if (other.m_psz == nullptr) return qg::kXYOk;
  if (m_psz == nullptr) {
    AffectePartage(other);
    return qg::kXYOk;
  }
  // Hold the source: when it is our own buffer the reservation then makes
  // a private copy and the source stays readable.
  CXYString source(other);
  int len = nUnits();
  int n = source.nUnits();
  int64_t total = static_cast<int64_t>(len) + n;
  if (BytesOf<T>(total) < 0) return qg::kXYErrLength;
  int rc = nReserve(static_cast<int>(total));
  if (rc != qg::kXYOk) return rc;
  H()->nFlags = (H()->nFlags & ~qg::kXYFlagMarker) |
                (qg::XYHeaderOf(static_cast<void*>(source.m_psz))->nFlags & qg::kXYFlagMarker);
  std::memcpy(m_psz + len, source.m_psz, static_cast<size_t>(n) * sizeof(T));
  SetUnits(static_cast<int>(total));
  return qg::kXYOk;
}

template <typename T>
int CXYString<T>::nAjouteMarqueur() {
  const T marker[1] = {static_cast<T>(std::is_same_v<T, char> ? qg::kXYMarker8
                                                              : static_cast<T>(qg::kXYMarker16))};
  int rc = nAjoute(marker, 1);
  if (rc != qg::kXYOk) return rc;
  SetFlag(qg::kXYFlagMarker);
  return qg::kXYOk;
}

// --- 8-bit text ---------------------------------------------------------------
//
// Members restricted to one width (`requires`) are still built for both by
// the explicit instantiations at the end of this file: each wraps its body
// in `if constexpr` and gives a default for the other width, which never
// calls it.

template <typename T>
int CXYString<T>::nAffecteOctets(const void* bytes, int n)
  requires std::is_same_v<T, char>
{
  if constexpr (!std::is_same_v<T, char>) {
    return {};
  } else {
    if (n < 0 || n > qg::kXYMaxBytes) return qg::kXYErrLength;
    if (bytes == nullptr || n == 0) {
      Libere();
      return qg::kXYOk;
    }
    return nAffecteLongueur(static_cast<const char*>(bytes), n);
  }
}

template <typename T>
int CXYString<T>::nRemplit32(const char* byte)
  requires std::is_same_v<T, char>
{
  if constexpr (!std::is_same_v<T, char>) {
    return {};
  } else {
    Libere();
    char* fresh = nullptr;
    int rc = nNewBuffer(32, &fresh);
    if (rc != qg::kXYOk) return rc;
    m_psz = fresh;
    std::memset(m_psz, byte != nullptr ? *byte : 0, 32);
    SetUnits(32);
    return qg::kXYOk;
  }
}

template <typename T>
int CXYString<T>::nAffecteUTF8(const char16_t* text)
  requires std::is_same_v<T, char>
{
  if constexpr (!std::is_same_v<T, char>) {
    return {};
  } else {
    return nAffecteConversion(text, -1, static_cast<int>(qg::kCodePageUtf8));
  }
}

template <typename T>
int CXYString<T>::nAffecteConversion(const char16_t* text, int n, int code_page)
  requires std::is_same_v<T, char>
{
  if constexpr (!std::is_same_v<T, char>) {
    return {};
  } else {
    Libere();
    if (text == nullptr) return qg::kXYOk;
    if (n == -1) {
      size_t len = qg::StrLen16(text);
      if (len > static_cast<size_t>(qg::kXYMaxBytes)) return qg::kXYErrLength;
      n = static_cast<int>(len);
    }
    if (n <= 0) return qg::kXYOk;
    uint32_t cp = ResolveCodePage(code_page);
    int size = qg::WideToMultiByte(cp, text, n, nullptr, 0);
    if (size <= 0) return qg::kXYErrConversion;
    if (size > qg::kXYMaxBytes) return qg::kXYErrLength;
    char* fresh = nullptr;
    int rc = nNewBuffer(size, &fresh);
    if (rc != qg::kXYOk) return rc;
    m_psz = fresh;
    int written = qg::WideToMultiByte(cp, text, n, m_psz, size);
    if (written <= 0) {
      Libere();
      return qg::kXYErrConversion;
    }
    SetUnits(written);
    if (cp == qg::kCodePageUtf8) {
      H()->nCache = qg::kCodePageUtf8Mark;
      H()->nFlags = (H()->nFlags | qg::kXYFlagUtf8) & ~(qg::kXYFlagCache08 | qg::kXYFlagCache10);
    }
    return qg::kXYOk;
  }
}

template <typename T>
int CXYString<T>::nSetByteLength(int n)
  requires std::is_same_v<T, char>
{
  if constexpr (!std::is_same_v<T, char>) {
    return {};
  } else {
    if (n < 0 || n > qg::kXYMaxBytes) return qg::kXYErrLength;
    if (m_psz == nullptr && n == 0) return qg::kXYOk;
    int rc = nReserve(n);
    if (rc != qg::kXYOk) return rc;
    SetUnits(n);
    return qg::kXYOk;
  }
}

namespace {

// 8-bit text in a code page to UTF-16 in a heap array; 0 units on failure.
std::unique_ptr<char16_t[]> ToWide(uint32_t cp, const char* text, int n, int* units) {
  *units = 0;
  int need = qg::MultiByteToWide(cp, text, n, nullptr, 0);
  if (need <= 0) return nullptr;
  std::unique_ptr<char16_t[]> wide(new (std::nothrow) char16_t[static_cast<size_t>(need)]);
  if (!wide) return nullptr;
  *units = qg::MultiByteToWide(cp, text, n, wide.get(), need);
  return wide;
}

// 8-bit text (n = -1: up to the terminator) from the code page (0: the
// host's) to UTF-8 when to_utf8, else from UTF-8 to the code page. With a
// UTF-8 code page the bytes are copied as they stand.
int Recode(CXYString<char>* s, const char* text, int n, int code_page, bool to_utf8) {
  s->Libere();
  if (text == nullptr) return qg::kXYOk;
  if (n == -1) {
    size_t len = std::strlen(text);
    if (len > static_cast<size_t>(qg::kXYMaxBytes)) return qg::kXYErrLength;
    n = static_cast<int>(len);
  }
  if (n <= 0) return qg::kXYOk;
  uint32_t cp = ResolveCodePage(code_page);
  if (cp == qg::kCodePageUtf8) return s->nAffecteLongueur(text, n);
  // Through UTF-16, sized exactly: the UTF-8 form may be up to 3 bytes per
  // input byte, which must not be computed in 32 bits.
  int units = 0;
  std::unique_ptr<char16_t[]> wide = ToWide(to_utf8 ? cp : qg::kCodePageUtf8, text, n, &units);
  if (units <= 0) return qg::kXYErrConversion;
  return s->nAffecteConversion(wide.get(), units,
                               to_utf8 ? static_cast<int>(qg::kCodePageUtf8) : code_page);
}

}  // namespace

template <typename T>
int CXYString<T>::nSetUTF8FromAnsi(const char* text, int n, int code_page)
  requires std::is_same_v<T, char>
{
  if constexpr (!std::is_same_v<T, char>) {
    return {};
  } else {
    return Recode(this, text, n, code_page, /*to_utf8=*/true);
  }
}

template <typename T>
int CXYString<T>::nSetAnsiFromUTF8(const char* text, int n, int code_page)
  requires std::is_same_v<T, char>
{
  if constexpr (!std::is_same_v<T, char>) {
    return {};
  } else {
    return Recode(this, text, n, code_page, /*to_utf8=*/false);
  }
}

template <typename T>
int CXYString<T>::RemoveAll(char byte)
  requires std::is_same_v<T, char>
{
  if constexpr (!std::is_same_v<T, char>) {
    return {};
  } else {
    int len = nUnits();
    if (len == 0 || std::memchr(m_psz, byte, static_cast<size_t>(len)) == nullptr)
      return qg::kXYOk;
    int rc = nReserve(len);
    if (rc != qg::kXYOk) return rc;
    int out = 0;
    for (int i = 0; i < len; ++i)
      if (m_psz[i] != byte) m_psz[out++] = m_psz[i];
    if (out == 0) {
      Libere();
      return qg::kXYOk;
    }
    SetUnits(out);
    return qg::kXYOk;
  }
}

// --- UTF-16 text ----------------------------------------------------------------

template <typename T>
int CXYString<T>::nAffecteConversion(const char* text, int n, int code_page)
  requires std::is_same_v<T, char16_t>
{
  if constexpr (!std::is_same_v<T, char16_t>) {
    return {};
  } else {
    Libere();
    if (text == nullptr) return qg::kXYOk;
    uint32_t cp = ResolveCodePage(code_page);
    if (n == -1) {
      // Up to the terminator, measured in the code page's own unit.
      size_t len = 0;
      if (cp == qg::kCodePageUtf16Le || cp == qg::kCodePageUtf16Be) {
        while (text[len] != 0 || text[len + 1] != 0) len += 2;
      } else if (cp == qg::kCodePageUtf32Le || cp == qg::kCodePageUtf32Be) {
        while (text[len] != 0 || text[len + 1] != 0 || text[len + 2] != 0 || text[len + 3] != 0)
          len += 4;
      } else {
        len = std::strlen(text);
      }
      if (len > static_cast<size_t>(qg::kXYMaxBytes)) return qg::kXYErrLength;
      n = static_cast<int>(len);
    }
    if (n <= 0) return qg::kXYOk;

    int units = 0;
    if (cp == kCp1252) {
      units = qg::nConvertit1252EnUTF16(text, n, nullptr, 0);
    } else if (cp == qg::kCodePageUtf16Le || cp == qg::kCodePageUtf16Be) {
      units = qg::nDecodeUTF16(text, n, cp == qg::kCodePageUtf16Be, nullptr, 0);
    } else if (cp == qg::kCodePageUtf32Le || cp == qg::kCodePageUtf32Be) {
      units = qg::nDecodeUTF32(text, n, cp == qg::kCodePageUtf32Be, nullptr, 0);
    } else {
      units = qg::MultiByteToWide(cp, text, n, nullptr, 0);
    }
    if (units <= 0) return qg::kXYErrConversion;
    if (BytesOf<char16_t>(units) < 0) return qg::kXYErrLength;
    char16_t* fresh = nullptr;
    int rc = nNewBuffer(units, &fresh);
    if (rc != qg::kXYOk) return rc;
    m_psz = fresh;
    int written = 0;
    if (cp == kCp1252) {
      written = qg::nConvertit1252EnUTF16(text, n, m_psz, units);
    } else if (cp == qg::kCodePageUtf16Le || cp == qg::kCodePageUtf16Be) {
      written = qg::nDecodeUTF16(text, n, cp == qg::kCodePageUtf16Be, m_psz, units);
    } else if (cp == qg::kCodePageUtf32Le || cp == qg::kCodePageUtf32Be) {
      written = qg::nDecodeUTF32(text, n, cp == qg::kCodePageUtf32Be, m_psz, units);
    } else {
      written = qg::MultiByteToWide(cp, text, n, m_psz, units);
    }
    if (written <= 0) {
      Libere();
      return qg::kXYErrConversion;
    }
    SetUnits(written);
    return qg::kXYOk;
  }
}

template <typename T>
int CXYString<T>::nSetCounted(const char16_t* text, int n)
  requires std::is_same_v<T, char16_t>
{
  if constexpr (!std::is_same_v<T, char16_t>) {
    return {};
  } else {
    Libere();
    if (text == nullptr) return qg::kXYOk;
    if (n == -1) n = static_cast<int>(qg::StrNLen16(text, static_cast<size_t>(qg::kXYMaxBytes) + 1));
    if (n <= 0) return qg::kXYOk;
    if (BytesOf<char16_t>(n) < 0) return qg::kXYErrLength;
    // Copies stop at a terminator inside the n units.
    size_t len = qg::StrNLen16(text, static_cast<size_t>(n));
    if (len == 0) return qg::kXYErrConversion;
    return nAffecteLongueur(text, static_cast<int>(len));
  }
}

template <typename T>
bool CXYString<T>::bExtraitLigne(int n, CXYString& out) const
  requires std::is_same_v<T, char16_t>
{
  if constexpr (!std::is_same_v<T, char16_t>) {
    return {};
  } else {
    if (n < 0 || m_psz == nullptr) return false;
    int len = nUnits();
    int start = 0;
    for (int line = 0; line < n; ++line) {
      int at = nPos(u"\r\n", 2, start);
      if (at < 0) return false;
      start = at + 2;
    }
    int end = nPos(u"\r\n", 2, start);
    if (end < 0) end = len;
    // out may be this string: take the text through a share first.
    CXYString hold(*this);
    out.nAffecteLongueur(hold.m_psz + start, end - start);
    return true;
  }
}

template class CXYString<char16_t>;
template class CXYString<char>;
