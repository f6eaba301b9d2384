// Decoding the browser's frames: base64 text, then PNG to BGRA pixels.
#ifndef QG_BROWSER_PNG_DECODE_H_
#define QG_BROWSER_PNG_DECODE_H_

#include <cstdint>
#include <string>
#include <vector>

namespace qg::web {

// False on a character outside the alphabet (whitespace is skipped).
bool Base64Decode(const std::string& text, std::string* bytes);
std::string Base64Encode(const void* data, size_t size);

struct Bitmap {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> bgra;  // width * height * 4 bytes, top row first
};

// False for anything that is not a whole PNG image or is larger than
// 16384 x 16384.
bool DecodePng(const std::string& png, Bitmap* out);

}  // namespace qg::web

#endif  // QG_BROWSER_PNG_DECODE_H_
