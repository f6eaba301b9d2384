#include "support/platform/codepage.h"

#include <errno.h>
#include <iconv.h>

#include <atomic>
#include <climits>
#include <cstring>

#include "support/codepage_table.h"

namespace qg {

namespace {

// ---------------------------------------------------------------------------
// Code page lookup

enum class Codec { k1252, kUtf8, kUtf16Le, kUtf16Be, kUtf32Le, kUtf32Be, kIconv };

struct CodePageInfo {
  size_t index;         // position in the table: the per-thread slot
  uint32_t code_page;
  const char* charset;  // iconv name
  Codec codec;
  bool stateful;        // shift sequences: no raw byte may be written
  // Per code page, filled on first need: bit 32 set once computed, bits
  // 0..31 = which bytes 0x80..0x9F the code page leaves undefined as a
  // sequence start (they decode to U+0080.. and encode back).
  mutable std::atomic<uint64_t> c1_mask{0};
};

constexpr uint64_t kMaskComputed = uint64_t{1} << 32;

struct CodePageTable {
  CodePageInfo rows[kEncodageCount];
  size_t count = 0;

  CodePageTable() {
    for (size_t i = 0; i < kEncodageCount; ++i) {
      const CEncodage& row = *kEncodages[i];
      int32_t cp = EncodageCodePage(row);
      if (cp < 0) continue;
      CodePageInfo& info = rows[count];
      info.index = count++;
      info.code_page = static_cast<uint32_t>(cp);
      info.charset = row.pszNom;
      info.stateful = std::strcmp(row.pszNom, "ISO-2022-JP") == 0;
      switch (cp) {
        case 0:
        case 1252: info.codec = Codec::k1252; break;
        case 65001: info.codec = Codec::kUtf8; break;
        case 1200: info.codec = Codec::kUtf16Le; break;
        case 1201: info.codec = Codec::kUtf16Be; break;
        case 12000: info.codec = Codec::kUtf32Le; break;
        case 12001: info.codec = Codec::kUtf32Be; break;
        default: info.codec = Codec::kIconv; break;
      }
    }
  }

  const CodePageInfo* Find(uint32_t cp) const {
    for (size_t i = 0; i < count; ++i) {
      if (rows[i].code_page == cp) return &rows[i];
    }
    return nullptr;
  }
};

const CodePageInfo* FindCodePage(uint32_t cp) {
  static const CodePageTable table;
  // The two hot code pages skip the scan.
  static const CodePageInfo* const cp1252 = table.Find(kCodePage1252);
  static const CodePageInfo* const utf8 = table.Find(kCodePageUtf8);
  if (cp == kCodePage1252) return cp1252;
  if (cp == kCodePageUtf8) return utf8;
  return table.Find(cp);
}

// ---------------------------------------------------------------------------
// Output: either written into the caller's buffer with a capacity check, or
// only counted (capacity 0). Counts are 64-bit: a result above INT_MAX fails.

template <typename Unit>
class Output {
 public:
  Output(Unit* dst, int capacity) : dst_(dst), capacity_(capacity) {}

  bool counting() const { return capacity_ == 0; }

  // False once the output no longer fits.
  bool Put(Unit u) {
    if (!counting()) {
      if (count_ >= capacity_) return false;
      dst_[count_] = u;
    }
    ++count_;
    return true;
  }

  // Room left for direct writes (only when writing).
  Unit* cursor() const { return dst_ + count_; }
  size_t room() const { return static_cast<size_t>(capacity_ - count_); }
  void Advance(size_t n) { count_ += static_cast<int64_t>(n); }

  int Result() const { return count_ > INT_MAX ? 0 : static_cast<int>(count_); }

 private:
  Unit* dst_;
  int64_t capacity_;
  int64_t count_ = 0;
};

// ---------------------------------------------------------------------------
// Code page 1252

constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

int Decode1252(const unsigned char* src, size_t n, Output<char16_t>& out) {
  if (out.counting()) {
    out.Advance(n);
    return out.Result();
  }
  if (out.room() < n) return 0;
  char16_t* d = out.cursor();
  for (size_t i = 0; i < n; ++i) d[i] = Cp1252ToUnicode(src[i]);
  out.Advance(n);
  return out.Result();
}

bool IsPair(const char16_t* s, size_t i, size_t n) {
  return s[i] >= 0xD800 && s[i] <= 0xDBFF && i + 1 < n && s[i + 1] >= 0xDC00 &&
         s[i + 1] <= 0xDFFF;
}

// The code point at s[*i]; a pair is read whole, leaving *i on its second
// unit. A lone surrogate reads as U+FFFD and sets *used_default.
uint32_t ReadCodePoint(const char16_t* s, size_t* i, size_t n, bool* used_default) {
  uint32_t c = s[*i];
  if (c >= 0xD800 && c <= 0xDFFF) {
    if (IsPair(s, *i, n)) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[*i + 1] - 0xDC00);
      ++*i;
    } else {
      c = 0xFFFD;
      *used_default = true;
    }
  }
  return c;
}

int Encode1252(const char16_t* src, size_t n, Output<char>& out, bool* used_default) {
  char* d = out.cursor();
  char* const end = d + out.room();
  for (size_t i = 0; i < n; ++i) {
    if (d == end) return 0;
    int b = UnicodeToCp1252(src[i]);
    if (b < 0) {
      b = '?';
      *used_default = true;
      if (IsPair(src, i, n)) ++i;  // one character, one '?'
    }
    *d++ = static_cast<char>(b);
  }
  out.Advance(static_cast<size_t>(d - out.cursor()));
  return out.Result();
}

// Counting must agree with Encode1252 about surrogate pairs.
int Count1252(const char16_t* src, size_t n, Output<char>& out) {
  size_t count = 0;
  for (size_t i = 0; i < n; ++i, ++count) {
    if (IsPair(src, i, n)) ++i;
  }
  out.Advance(count);
  return out.Result();
}

// ---------------------------------------------------------------------------
// UTF-8

int DecodeUtf8(const unsigned char* s, size_t n, Output<char16_t>& out) {
  size_t i = 0;
  while (i < n) {
    unsigned char b = s[i];
    if (b < 0x80) {
      if (!out.Put(b)) return 0;
      ++i;
      continue;
    }
    // Length and the allowed range of the second byte (which rules out
    // overlong forms, surrogates and values above U+10FFFF).
    size_t len = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    uint32_t cp = 0;
    if (b >= 0xC2 && b <= 0xDF) {
      len = 2; cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      len = 3; cp = b & 0x0F;
      if (b == 0xE0) lo = 0xA0;
      if (b == 0xED) hi = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      len = 4; cp = b & 0x07;
      if (b == 0xF0) lo = 0x90;
      if (b == 0xF4) hi = 0x8F;
    }
    size_t used = 1;
    bool ok = len != 0;
    for (size_t k = 1; ok && k < len; ++k) {
      if (i + k >= n) { ok = false; break; }
      unsigned char c = s[i + k];
      unsigned char klo = k == 1 ? lo : 0x80, khi = k == 1 ? hi : 0xBF;
      if (c < klo || c > khi) { ok = false; break; }
      cp = (cp << 6) | (c & 0x3F);
      ++used;
    }
    // An ill-formed sequence gives one U+FFFD for its longest valid prefix.
    if (!ok) {
      if (!out.Put(0xFFFD)) return 0;
      i += used;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      if (!out.Put(static_cast<char16_t>(0xD800 + (cp >> 10)))) return 0;
      if (!out.Put(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)))) return 0;
    } else if (!out.Put(static_cast<char16_t>(cp))) {
      return 0;
    }
    i += len;
  }
  return out.Result();
}

int EncodeUtf8(const char16_t* s, size_t n, Output<char>& out, bool* used_default) {
  for (size_t i = 0; i < n; ++i) {
    uint32_t c = ReadCodePoint(s, &i, n, used_default);
    bool ok;
    if (c < 0x80) {
      ok = out.Put(static_cast<char>(c));
    } else if (c < 0x800) {
      ok = out.Put(static_cast<char>(0xC0 | (c >> 6))) &&
           out.Put(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      ok = out.Put(static_cast<char>(0xE0 | (c >> 12))) &&
           out.Put(static_cast<char>(0x80 | ((c >> 6) & 0x3F))) &&
           out.Put(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      ok = out.Put(static_cast<char>(0xF0 | (c >> 18))) &&
           out.Put(static_cast<char>(0x80 | ((c >> 12) & 0x3F))) &&
           out.Put(static_cast<char>(0x80 | ((c >> 6) & 0x3F))) &&
           out.Put(static_cast<char>(0x80 | (c & 0x3F)));
    }
    if (!ok) return 0;
  }
  return out.Result();
}

// ---------------------------------------------------------------------------
// UTF-16 and UTF-32 in either byte order. A trailing part of a unit is
// ignored.

int DecodeUtf16(const unsigned char* s, size_t n, bool big_endian, Output<char16_t>& out) {
  for (size_t i = 0; i + 1 < n; i += 2) {
    char16_t u = big_endian ? static_cast<char16_t>((s[i] << 8) | s[i + 1])
                            : static_cast<char16_t>(s[i] | (s[i + 1] << 8));
    if (!out.Put(u)) return 0;
  }
  return out.Result();
}

int EncodeUtf16(const char16_t* s, size_t n, bool big_endian, Output<char>& out) {
  for (size_t i = 0; i < n; ++i) {
    char first = static_cast<char>(big_endian ? s[i] >> 8 : s[i] & 0xFF);
    char second = static_cast<char>(big_endian ? s[i] & 0xFF : s[i] >> 8);
    if (!out.Put(first) || !out.Put(second)) return 0;
  }
  return out.Result();
}

int DecodeUtf32(const unsigned char* s, size_t n, bool big_endian, Output<char16_t>& out) {
  for (size_t i = 0; i + 3 < n; i += 4) {
    uint32_t c = big_endian ? (uint32_t{s[i]} << 24) | (uint32_t{s[i + 1]} << 16) |
                                  (uint32_t{s[i + 2]} << 8) | s[i + 3]
                            : (uint32_t{s[i + 3]} << 24) | (uint32_t{s[i + 2]} << 16) |
                                  (uint32_t{s[i + 1]} << 8) | s[i];
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    if (c >= 0x10000) {
      c -= 0x10000;
      if (!out.Put(static_cast<char16_t>(0xD800 + (c >> 10))) ||
          !out.Put(static_cast<char16_t>(0xDC00 + (c & 0x3FF)))) {
        return 0;
      }
    } else if (!out.Put(static_cast<char16_t>(c))) {
      return 0;
    }
  }
  return out.Result();
}

int EncodeUtf32(const char16_t* s, size_t n, bool big_endian, Output<char>& out,
                bool* used_default) {
  for (size_t i = 0; i < n; ++i) {
    uint32_t c = ReadCodePoint(s, &i, n, used_default);
    for (int k = 0; k < 4; ++k) {
      int shift = big_endian ? 24 - 8 * k : 8 * k;
      if (!out.Put(static_cast<char>((c >> shift) & 0xFF))) return 0;
    }
  }
  return out.Result();
}

// ---------------------------------------------------------------------------
// iconv: one descriptor per code page and direction per thread, opened on
// first use and closed when the thread ends. The slots are trivially
// destructible so that a conversion run after the closer (from another
// thread_local's or a static's destructor) still finds them, marked closed,
// and falls back to a descriptor of its own.

const iconv_t kNoDescriptor = reinterpret_cast<iconv_t>(-1);

struct ThreadSlots {
  iconv_t cd[kEncodageCount][2];  // null: not opened yet; kNoDescriptor: open failed
  bool closer_registered;
  bool closed;
};
thread_local ThreadSlots t_slots;

struct SlotCloser {
  ~SlotCloser() {
    for (auto& pair : t_slots.cd) {
      for (iconv_t& cd : pair) {
        if (cd != nullptr && cd != kNoDescriptor) iconv_close(cd);
        cd = nullptr;
      }
    }
    t_slots.closed = true;
  }
};

iconv_t OpenDescriptor(const CodePageInfo& info, bool encode) {
  return encode ? iconv_open(info.charset, "UTF-16LE") : iconv_open("UTF-16LE", info.charset);
}

// A descriptor in its initial state, from the thread's slot or, once the
// slots are closed, of its own.
class Descriptor {
 public:
  Descriptor(const CodePageInfo& info, bool encode) {
    if (t_slots.closed) {
      cd_ = OpenDescriptor(info, encode);
      owned_ = true;
      return;
    }
    if (!t_slots.closer_registered) {
      thread_local SlotCloser closer;
      (void)closer;
      t_slots.closer_registered = true;
    }
    iconv_t& slot = t_slots.cd[info.index][encode ? 1 : 0];
    if (slot == nullptr) {
      slot = OpenDescriptor(info, encode);
    } else if (slot != kNoDescriptor) {
      iconv(slot, nullptr, nullptr, nullptr, nullptr);
    }
    cd_ = slot;
  }
  ~Descriptor() {
    if (owned_ && cd_ != kNoDescriptor) iconv_close(cd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;

  iconv_t get() const { return cd_; }
  bool ok() const { return cd_ != kNoDescriptor; }

 private:
  iconv_t cd_ = kNoDescriptor;
  bool owned_ = false;
};

// Bytes 0x80..0x9F that the code page rejects as a sequence start.
uint32_t C1Mask(const CodePageInfo& info) {
  uint64_t mask = info.c1_mask.load(std::memory_order_acquire);
  if (mask & kMaskComputed) return static_cast<uint32_t>(mask);
  mask = 0;
  if (!info.stateful) {
    iconv_t cd = iconv_open("UTF-16LE", info.charset);
    if (cd != kNoDescriptor) {
      for (int b = 0x80; b <= 0x9F; ++b) {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char in = static_cast<char>(b);
        char16_t buf[4];
        char* ip = &in;
        size_t il = 1;
        char* op = reinterpret_cast<char*>(buf);
        size_t ol = sizeof buf;
        if (iconv(cd, &ip, &il, &op, &ol) == static_cast<size_t>(-1) && errno == EILSEQ) {
          mask |= uint64_t{1} << (b - 0x80);
        }
      }
      iconv_close(cd);
    }
  }
  mask |= kMaskComputed;
  info.c1_mask.store(mask, std::memory_order_release);
  return static_cast<uint32_t>(mask);
}

// Runs iconv over the whole input into out. on_error(consumed_in, out) is
// called at each input position iconv rejects; it must handle the offending
// input and return how many input bytes it consumed (0 = fail).
template <typename Unit, typename OnError>
int RunIconv(iconv_t cd, const char* src, size_t n, Output<Unit>& out, bool flush,
             OnError on_error) {
  char* in = const_cast<char*>(src);
  size_t in_left = n;
  char scratch[1024];
  for (;;) {
    char* op;
    size_t room;
    if (out.counting()) {
      op = scratch;
      room = sizeof scratch;
    } else {
      op = reinterpret_cast<char*>(out.cursor());
      room = out.room() * sizeof(Unit);
    }
    char* op_start = op;
    size_t r;
    bool flushing = in_left == 0;
    if (flushing) {
      // Return a stateful encoding to its initial state.
      if (!flush) return out.Result();
      r = iconv(cd, nullptr, nullptr, &op, &room);
    } else {
      r = iconv(cd, &in, &in_left, &op, &room);
    }
    int err = r == static_cast<size_t>(-1) ? errno : 0;
    out.Advance(static_cast<size_t>(op - op_start) / sizeof(Unit));
    if (err == 0) {
      if (flushing) return out.Result();
      continue;  // in_left is 0 now: go flush
    }
    if (err == E2BIG) {
      if (!out.counting()) return 0;
      continue;
    }
    // EILSEQ, or EINVAL for an incomplete sequence at the end.
    if (err != EILSEQ && err != EINVAL) return 0;
    size_t consumed = on_error(static_cast<size_t>(in - src), out);
    if (consumed == 0) return 0;
    if (consumed > in_left) consumed = in_left;
    in += consumed;
    in_left -= consumed;
  }
}

int DecodeIconv(const CodePageInfo& info, const char* src, size_t n, Output<char16_t>& out) {
  Descriptor descriptor(info, false);
  if (!descriptor.ok()) return 0;
  iconv_t cd = descriptor.get();
  auto on_error = [&](size_t pos, Output<char16_t>& o) -> size_t {
    unsigned char b = static_cast<unsigned char>(src[pos]);
    char16_t u = 0xFFFD;
    if (b >= 0x80 && b <= 0x9F && (C1Mask(info) >> (b - 0x80)) & 1) u = b;
    if (!o.Put(u)) return 0;
    // A stateful decoder keeps its shift state across the skipped byte.
    return 1;
  };
  return RunIconv<char16_t>(cd, src, n, out, false, on_error);
}

int EncodeIconv(const CodePageInfo& info, const char16_t* src, size_t n, Output<char>& out,
                bool* used_default) {
  Descriptor descriptor(info, true);
  if (!descriptor.ok()) return 0;
  iconv_t cd = descriptor.get();
  auto on_error = [&](size_t pos, Output<char>& o) -> size_t {
    size_t unit = pos / 2;
    char16_t c = src[unit];
    size_t units = IsPair(src, unit, n) ? 2 : 1;
    if (units == 1 && c >= 0x80 && c <= 0x9F && (C1Mask(info) >> (c - 0x80)) & 1) {
      if (!o.Put(static_cast<char>(c))) return 0;
      return 2;
    }
    // The code page's own '?', through the same descriptor so that a
    // stateful encoding switches back first.
    *used_default = true;
    char16_t q = u'?';
    char* ip = reinterpret_cast<char*>(&q);
    size_t il = sizeof q;
    char tmp[16];
    char* op = tmp;
    size_t ol = sizeof tmp;
    if (iconv(cd, &ip, &il, &op, &ol) == static_cast<size_t>(-1)) return 0;
    for (char* p = tmp; p < op; ++p) {
      if (!o.Put(*p)) return 0;
    }
    return units * 2;
  };
  return RunIconv<char>(cd, reinterpret_cast<const char*>(src), n * 2, out, info.stateful,
                        on_error);
}

}  // namespace

bool IsKnownCodePage(uint32_t code_page) { return FindCodePage(code_page) != nullptr; }

const char* CodePageCharsetName(uint32_t code_page) {
  const CodePageInfo* info = FindCodePage(code_page);
  return info == nullptr ? nullptr : info->charset;
}

char16_t Cp1252ToUnicode(unsigned char b) {
  return (b & 0xE0) == 0x80 ? kCp1252High[b - 0x80] : static_cast<char16_t>(b);
}

int UnicodeToCp1252(char16_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return c;
  if (c < 0xA0) {
    // Only the five undefined bytes come back from U+0080..U+009F.
    return kCp1252High[c - 0x80] == c ? c : -1;
  }
  for (int i = 0; i < 32; ++i) {
    if (kCp1252High[i] == c) return 0x80 + i;
  }
  return -1;
}

int MultiByteToWide(uint32_t code_page, const char* src, int src_len, char16_t* dst,
                    int dst_capacity) {
  if (src == nullptr || src_len == 0 || src_len < -1 || dst_capacity < 0) return 0;
  if (dst_capacity > 0 && dst == nullptr) return 0;
  const CodePageInfo* info = FindCodePage(code_page);
  if (info == nullptr) return 0;
  const unsigned char* s = reinterpret_cast<const unsigned char*>(src);
  size_t n;
  if (src_len != -1) {
    n = static_cast<size_t>(src_len);
  } else if (info->codec == Codec::kUtf16Le || info->codec == Codec::kUtf16Be) {
    // The terminator is one zero unit.
    for (n = 0; s[n] != 0 || s[n + 1] != 0; n += 2) {}
    n += 2;
  } else if (info->codec == Codec::kUtf32Le || info->codec == Codec::kUtf32Be) {
    for (n = 0; s[n] != 0 || s[n + 1] != 0 || s[n + 2] != 0 || s[n + 3] != 0; n += 4) {}
    n += 4;
  } else {
    n = std::strlen(src) + 1;
  }
  Output<char16_t> out(dst, dst_capacity);
  switch (info->codec) {
    case Codec::k1252: return Decode1252(s, n, out);
    case Codec::kUtf8: return DecodeUtf8(s, n, out);
    case Codec::kUtf16Le: return DecodeUtf16(s, n, false, out);
    case Codec::kUtf16Be: return DecodeUtf16(s, n, true, out);
    case Codec::kUtf32Le: return DecodeUtf32(s, n, false, out);
    case Codec::kUtf32Be: return DecodeUtf32(s, n, true, out);
    case Codec::kIconv: return DecodeIconv(*info, src, n, out);
  }
  return 0;
}

int WideToMultiByte(uint32_t code_page, const char16_t* src, int src_len, char* dst,
                    int dst_capacity, bool* used_default) {
  bool replaced = false;
  if (used_default != nullptr) *used_default = false;
  if (src == nullptr || src_len == 0 || src_len < -1 || dst_capacity < 0) return 0;
  if (dst_capacity > 0 && dst == nullptr) return 0;
  const CodePageInfo* info = FindCodePage(code_page);
  if (info == nullptr) return 0;
  size_t n;
  if (src_len == -1) {
    for (n = 0; src[n] != 0; ++n) {}
    ++n;
  } else {
    n = static_cast<size_t>(src_len);
  }
  Output<char> out(dst, dst_capacity);
  int result = 0;
  switch (info->codec) {
    case Codec::k1252:
      if (out.counting()) {
        result = Count1252(src, n, out);
        for (size_t i = 0; i < n && !replaced; ++i) replaced = UnicodeToCp1252(src[i]) < 0;
      } else {
        result = Encode1252(src, n, out, &replaced);
      }
      break;
    case Codec::kUtf8: result = EncodeUtf8(src, n, out, &replaced); break;
    case Codec::kUtf16Le: result = EncodeUtf16(src, n, false, out); break;
    case Codec::kUtf16Be: result = EncodeUtf16(src, n, true, out); break;
    case Codec::kUtf32Le: result = EncodeUtf32(src, n, false, out, &replaced); break;
    case Codec::kUtf32Be: result = EncodeUtf32(src, n, true, out, &replaced); break;
    case Codec::kIconv: result = EncodeIconv(*info, src, n, out, &replaced); break;
  }
  if (used_default != nullptr) *used_default = replaced;
  return result;
}

bool CodePageToUtf16(uint32_t code_page, const char* text, ptrdiff_t n, std::u16string* out) {
  out->clear();
  if (text == nullptr) return false;
  if (n < 0) n = static_cast<ptrdiff_t>(std::strlen(text));
  if (n == 0) return true;
  if (n > INT_MAX) return false;
  const int len = static_cast<int>(n);
  const int needed = MultiByteToWide(code_page, text, len, nullptr, 0);
  if (needed <= 0) return false;
  out->resize(static_cast<size_t>(needed));
  if (MultiByteToWide(code_page, text, len, out->data(), needed) != needed) {
    out->clear();
    return false;
  }
  return true;
}

bool Utf16ToCodePage(uint32_t code_page, const char16_t* text, ptrdiff_t n, std::string* out,
                     bool* used_default) {
  out->clear();
  if (used_default != nullptr) *used_default = false;
  if (text == nullptr) return false;
  if (n < 0) {
    n = 0;
    while (text[n] != 0) ++n;
  }
  if (n == 0) return true;
  if (n > INT_MAX) return false;
  const int len = static_cast<int>(n);
  const int needed = WideToMultiByte(code_page, text, len, nullptr, 0);
  if (needed <= 0) return false;
  out->resize(static_cast<size_t>(needed));
  if (WideToMultiByte(code_page, text, len, out->data(), needed, used_default) != needed) {
    out->clear();
    if (used_default != nullptr) *used_default = false;
    return false;
  }
  return true;
}

}  // namespace qg
