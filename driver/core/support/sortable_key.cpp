#include "driver/core/support/sortable_key.h"

#include <cstdint>
#include <cstring>
#include <utility>

namespace {

// Big-endian copy of a little-endian number of w bytes; the sign bit of the
// first byte written flipped when `flip`.
void WriteBigEndian(uint8_t* out, const uint8_t* in, size_t w, bool flip) {
  for (size_t i = 0; i < w; ++i) out[i] = in[w - 1 - i];
  if (flip) out[0] ^= 0x80;
}

// Negative reals (sign bit set) have every byte complemented; the others
// only get their sign bit set. Written most significant byte first.
void WriteReal(uint8_t* out, const uint8_t* in, size_t w) {
  bool negative = (in[w - 1] & 0x80) != 0;
  for (size_t i = 0; i < w; ++i) {
    uint8_t b = in[w - 1 - i];
    out[i] = negative ? static_cast<uint8_t>(~b) : b;
  }
  if (!negative) out[0] |= 0x80;
}

// Copies min(n, size) bytes and zero-fills the rest.
size_t CopyPadded(uint8_t* out, size_t size, const uint8_t* in, size_t n) {
  size_t copied = n < size ? n : size;
  if (in != nullptr && copied > 0) std::memcpy(out, in, copied);
  std::memset(out + copied, 0, size - copied);
  return in != nullptr ? copied : 0;
}

// The fixed width of a class, 0 for a class of variable width or no image.
size_t FixedWidth(int storage_class) {
  switch (storage_class) {
    case 2: case 19: case 8: case 18: return 1;
    case 3: case 9: return 2;
    case 4: case 6: case 10: case 23: return 4;
    case 5: case 16: case 7: case 11: case 15: return 8;
    case 14: return 10;
    case 25: return 16;
    case 26: return 32;
    default: return 0;
  }
}

// Magnitude arithmetic on 256-bit unsigned numbers, four 64-bit limbs,
// least significant first.
using U256 = uint64_t[4];

void MulSmall(U256 v, uint64_t factor) {
  unsigned __int128 carry = 0;
  for (int i = 0; i < 4; ++i) {
    unsigned __int128 p = static_cast<unsigned __int128>(v[i]) * factor + carry;
    v[i] = static_cast<uint64_t>(p);
    carry = p >> 64;
  }
}

// v /= divisor; answers the remainder.
uint64_t DivSmall(U256 v, uint64_t divisor) {
  unsigned __int128 rest = 0;
  for (int i = 3; i >= 0; --i) {
    unsigned __int128 cur = (rest << 64) | v[i];
    v[i] = static_cast<uint64_t>(cur / divisor);
    rest = cur % divisor;
  }
  return static_cast<uint64_t>(rest);
}

void AddOne(U256 v) {
  for (int i = 0; i < 4 && ++v[i] == 0; ++i) {
  }
}

void Negate(U256 v) {
  for (int i = 0; i < 4; ++i) v[i] = ~v[i];
  AddOne(v);
}

// The DECIMAL image: the 18-byte decimal form (precision, scale, signed
// 128-bit mantissa least significant byte first) as value x 10^scale, the
// scale wanted by the key, in 256-bit two's complement, big-endian, sign bit
// flipped. Fewer decimals round half away from zero (the first dropped digit
// decides), which keeps the order; a wanted scale outside 0..38 keeps 38
// decimals, which holds every decimal exactly (2^127 x 10^38 < 2^255).
void WriteDecimal(uint8_t out[32], const uint8_t form[18], int scale) {
  constexpr int kMaxScale = 38;
  int have = form[1] > kMaxScale ? kMaxScale : form[1];
  int want = scale < 0 || scale > kMaxScale ? kMaxScale : scale;
  U256 v = {0, 0, 0, 0};
  for (int i = 0; i < 16; ++i) v[i / 8] |= static_cast<uint64_t>(form[2 + i]) << (8 * (i % 8));
  bool negative = (form[17] & 0x80) != 0;
  if (negative) {
    v[2] = v[3] = ~uint64_t{0};  // sign-extend, then take the magnitude
    Negate(v);
  }
  for (int k = have; k < want; ++k) MulSmall(v, 10);
  if (have > want) {
    for (int k = have; k > want + 1; --k) DivSmall(v, 10);
    if (DivSmall(v, 10) >= 5) AddOne(v);
  }
  if (negative) Negate(v);
  for (int i = 0; i < 32; ++i) out[i] = static_cast<uint8_t>(v[3 - i / 8] >> (8 * (7 - i % 8)));
  out[0] ^= 0x80;
}

}  // namespace

int nHostTypeToInternalType(int type) {
  switch (static_cast<uint16_t>(type)) {
    case 1: return 37;
    case 2: return 36;
    case 3: return 9;
    case 4: return 26;
    case 5: return 27;
    case 6: return 4;
    case 7: return 3;
    case 9: return 25;
    case 10: return 17;
    case 11: return 6;
    case 12: return 7;
    case 13: return 41;
    case 16: return 40;
    case 17: return 12;
    case 18: case 19: case 21: case 22: case 23: return 2;
    case 24: case 128: return 14;
    case 25: case 129: return 11;
    case 26: return 34;
    case 27: return 35;
    case 28: return 28;
    case 29: return 30;
    case 110: return 39;
    case 135: return 42;
    case 136: return 43;
    case 154: return 44;
    case 155: return 45;
    case 160: return 49;
    default: return 5;
  }
}

int nHostTypeToStorageClass(int key_type) {
  if (key_type >= 50 && key_type <= 62) return 29;
  switch (key_type) {
    case 2: case 10: case 11: case 14: case 23: return 1;
    case 4: return 2;
    case 3: return 3;
    case 5: case 33: case 38: return 4;
    case 24: case 25: return 5;
    case 6: return 6;
    case 7: case 13: return 7;
    case 36: return 8;
    case 8: case 9: return 9;
    case 26: return 10;
    case 27: return 11;
    case 15: case 16: case 29: return 12;
    case 18: case 30: return 13;
    case 17: return 14;
    case 34: return 15;
    case 35: return 16;
    case 28: return 17;
    case 12: return 18;
    case 37: return 19;
    case 39: return 20;
    case 40: return 21;
    case 41: return 22;
    case 42: return 23;
    case 43: return 24;
    case 44: case 46: return 25;
    case 45: case 47: return 26;
    case 48: return 27;
    case 49: return 28;
    default: return -1;
  }
}

size_t nStorageClassSize(int storage_class, size_t n) {
  switch (storage_class) {
    case 1: case 12: case 27: return n + 1;
    case 17: return 2 * n;
    case 20: case 21: return 2 * n + 2;
    case 22: return 32;
    default: return n;
  }
}

size_t nSortableKeySize(int type, size_t n) {
  return nStorageClassSize(nHostTypeToStorageClass(nHostTypeToInternalType(type)), n);
}

size_t nEncodeSortableKey(void* destination, size_t size, const void* source, size_t n,
                          int storage_class, int /*precision*/, int scale) {
  auto* out = static_cast<uint8_t*>(destination);
  const auto* in = static_cast<const uint8_t*>(source);
  if (out == nullptr || size == 0) return 0;

  size_t width = FixedWidth(storage_class);
  if (width > 0 && (in == nullptr || n < width || size < width)) return 0;

  switch (storage_class) {
    case 1: case 12: case 27: {  // 8-bit texts, digit dates and times
      if (in == nullptr || n == 0) return 0;
      size_t copied = CopyPadded(out, size, in, n);
      out[size - 1] = 0;
      return copied;
    }
    case 2: case 19:  // I1, BOOL
      out[0] = static_cast<uint8_t>(in[0] - 128);
      return 1;
    case 3: case 4: case 5: case 16:  // signed integers, DUREE
      WriteBigEndian(out, in, width, true);
      return width;
    case 9: case 10: case 23: case 11:  // unsigned integers
      WriteBigEndian(out, in, width, false);
      return width;
    case 8: case 18:  // UI1, CARA
      out[0] = in[0];
      return 1;
    case 6: case 7:  // R4, R8
      WriteReal(out, in, width);
      return width;
    case 14:  // CY: the sign-carrying last byte first, then bytes 8 down to 0
      out[0] = static_cast<uint8_t>(in[9] - 128);
      for (size_t i = 1; i < 10; ++i) out[i] = in[9 - i];
      return 10;
    case 15:  // DATETIME: the date word, then the time word
      WriteBigEndian(out, in, 4, false);
      WriteBigEndian(out + 4, in + 4, 4, false);
      return 8;
    case 17: {  // BIN: two lower-case hexadecimal digits per byte
      static const char kHex[] = "0123456789abcdef";
      size_t bytes = in == nullptr ? 0 : (n < size / 2 ? n : size / 2);
      for (size_t i = 0; i < bytes; ++i) {
        out[2 * i] = static_cast<uint8_t>(kHex[in[i] >> 4]);
        out[2 * i + 1] = static_cast<uint8_t>(kHex[in[i] & 0x0F]);
      }
      std::memset(out + 2 * bytes, 0x30, size - 2 * bytes);
      return 2 * bytes;
    }
    case 20: case 21: {  // UTF-16 texts: each unit high byte first
      size_t copied = CopyPadded(out, size, in, n);
      for (size_t i = 0; i + 1 < copied; i += 2) std::swap(out[i], out[i + 1]);
      if (copied % 2 != 0) out[copied - 1] = 0;  // half a unit: its high byte is unknown
      if (size >= 2) {
        size_t last = (size & ~size_t{1}) - 2;
        out[last] = 0;
        out[last + 1] = 0;
      }
      return copied;
    }
    case 24:  // type 136: the bytes as they are
      CopyPadded(out, size, in, n);
      return in != nullptr ? size : 0;
    case 22:  // DECIMAL, from its 18-byte form
      if (in == nullptr || n < 18 || size < 32) return 0;
      WriteDecimal(out, in, scale);
      return 32;
    case 25: case 26:  // UUIDs
      std::memcpy(out, in, width);
      return width;
    default:  // BUFFER, OBJET_MDPS, none
      return 0;
  }
}
