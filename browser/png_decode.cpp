#include "browser/png_decode.h"

#include <png.h>

#include <cstring>

namespace qg::web {

bool Base64Decode(const std::string& text, std::string* bytes) {
  static int8_t table[256];
  static const bool ready = [] {
    memset(table, -1, sizeof table);
    const char* a = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int i = 0; i < 64; ++i) table[static_cast<uint8_t>(a[i])] = static_cast<int8_t>(i);
    return true;
  }();
  (void)ready;
  bytes->clear();
  bytes->reserve(text.size() / 4 * 3);
  uint32_t acc = 0;
  int bits = 0;
  for (unsigned char c : text) {
    if (c == '=') break;
    if (c == ' ' || c == '\n' || c == '\r' || c == '\t') continue;
    const int v = table[c];
    if (v < 0) return false;
    acc = (acc << 6) | static_cast<uint32_t>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      bytes->push_back(static_cast<char>((acc >> bits) & 0xFF));
    }
  }
  return true;
}

std::string Base64Encode(const void* data, size_t size) {
  static const char a[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const auto* p = static_cast<const uint8_t*>(data);
  std::string out;
  out.reserve((size + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 2 < size; i += 3) {
    const uint32_t v = (p[i] << 16) | (p[i + 1] << 8) | p[i + 2];
    out += {a[v >> 18], a[(v >> 12) & 63], a[(v >> 6) & 63], a[v & 63]};
  }
  if (i + 1 == size) {
    const uint32_t v = p[i] << 16;
    out += {a[v >> 18], a[(v >> 12) & 63], '=', '='};
  } else if (i + 2 == size) {
    const uint32_t v = (p[i] << 16) | (p[i + 1] << 8);
    out += {a[v >> 18], a[(v >> 12) & 63], a[(v >> 6) & 63], '='};
  }
  return out;
}

bool DecodePng(const std::string& png, Bitmap* out) {
  png_image image;
  memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) return false;
  if (image.width == 0 || image.height == 0 || image.width > 16384 || image.height > 16384) {
    png_image_free(&image);
    return false;
  }
  image.format = PNG_FORMAT_BGRA;
  out->width = static_cast<int32_t>(image.width);
  out->height = static_cast<int32_t>(image.height);
  out->bgra.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, out->bgra.data(), 0, nullptr)) {
    png_image_free(&image);
    return false;
  }
  return true;
}

}  // namespace qg::web
