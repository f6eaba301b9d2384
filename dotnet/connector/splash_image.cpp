#include "dotnet/connector/splash_image.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>


namespace qgnet {
namespace {

constexpr int64_t kCoteMax = 16384;

uint32_t Lit16(const uint8_t* p) { return static_cast<uint32_t>(p[0] | (p[1] << 8)); }
uint32_t Lit32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// A channel of a masked pixel scaled to 8 bits; 0 for an empty mask.
uint32_t Canal(uint32_t pixel, uint32_t mask) {
  if (mask == 0) return 0;
  int shift = __builtin_ctz(mask);
  uint32_t bits = mask >> shift;
  uint32_t v = (pixel & mask) >> shift;
  return bits == 0 ? 0 : static_cast<uint32_t>((static_cast<uint64_t>(v) * 255 + bits / 2) / bits);
}

// One still picture.
class ImageFixe final : public ISplashImage {
 public:
  ImageFixe(int32_t w, int32_t h, std::vector<uint32_t> pixels)
      : m_w(w), m_h(h), m_pixels(std::move(pixels)) {}
  int32_t nLargeur() override { return m_w; }
  int32_t nHauteur() override { return m_h; }
  bool bImageSuivante() override { return false; }
  const uint32_t* pPixels() override { return m_pixels.data(); }

 private:
  int32_t m_w, m_h;
  std::vector<uint32_t> m_pixels;
};

bool FinitPar(const std::u16string& name, const char* suffix) {
  size_t n = std::strlen(suffix);
  if (name.size() < n) return false;
  for (size_t i = 0; i < n; ++i) {
    char16_t c = name[name.size() - n + i];
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
    if (c != static_cast<char16_t>(suffix[i])) return false;
  }
  return true;
}

}  // namespace

std::unique_ptr<ISplashImage> LitBMP(const uint8_t* b, size_t size) {
  // File header (14 bytes) and at least the 40-byte information header.
  if (b == nullptr || size < 14 + 40 || b[0] != 'B' || b[1] != 'M') return nullptr;
  uint32_t offset = Lit32(b + 10);
  uint32_t header = Lit32(b + 14);
  if (header < 40 || header > size - 14) return nullptr;
  int64_t w = static_cast<int32_t>(Lit32(b + 18));
  int64_t h = static_cast<int32_t>(Lit32(b + 22));
  uint32_t planes = Lit16(b + 26);
  uint32_t bits = Lit16(b + 28);
  uint32_t compression = Lit32(b + 30);
  uint32_t used = Lit32(b + 46);
  bool top_down = h < 0;
  if (top_down) h = -h;
  if (planes != 1 || w <= 0 || h <= 0 || w > kCoteMax || h > kCoteMax) return nullptr;

  uint32_t masks[3] = {0, 0, 0};
  if (compression == 3) {  // BI_BITFIELDS: masks after a 40-byte header
    if (bits != 16 && bits != 32) return nullptr;
    if (size < 14 + 40 + 12) return nullptr;
    for (int i = 0; i < 3; ++i) masks[i] = Lit32(b + 14 + 40 + 4 * i);
  } else if (compression == 0) {
    if (bits == 16) {
      masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
    } else if (bits == 32) {
      masks[0] = 0xFF0000, masks[1] = 0x00FF00, masks[2] = 0x0000FF;
    }
  } else {
    return nullptr;
  }

  // Colour table of the indexed formats, after the information header.
  std::vector<uint32_t> palette;
  if (bits == 1 || bits == 4 || bits == 8) {
    uint32_t entries = used != 0 ? used : (1u << bits);
    if (entries > (1u << bits)) return nullptr;
    size_t at = 14 + static_cast<size_t>(header);
    if (at > size || (size - at) / 4 < entries) return nullptr;
    for (uint32_t i = 0; i < entries; ++i) {
      const uint8_t* q = b + at + 4 * i;
      palette.push_back((static_cast<uint32_t>(q[2]) << 16) | (q[1] << 8) | q[0]);
    }
  } else if (bits != 16 && bits != 24 && bits != 32) {
    return nullptr;
  }

  // Rows are padded to 4 bytes.
  uint64_t stride = ((static_cast<uint64_t>(w) * bits + 31) / 32) * 4;
  if (offset > size || (size - offset) / stride < static_cast<uint64_t>(h)) return nullptr;

  std::vector<uint32_t> pixels(static_cast<size_t>(w * h));
  for (int64_t y = 0; y < h; ++y) {
    const uint8_t* row = b + offset + stride * static_cast<uint64_t>(top_down ? y : h - 1 - y);
    uint32_t* out = pixels.data() + y * w;
    for (int64_t x = 0; x < w; ++x) {
      uint32_t rgb = 0;
      switch (bits) {
        case 1: case 4: case 8: {
          uint64_t bit = static_cast<uint64_t>(x) * bits;
          uint32_t byte = row[bit / 8];
          uint32_t index = (byte >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
          rgb = index < palette.size() ? palette[index] : 0;
          break;
        }
        case 16: {
          uint32_t p = Lit16(row + 2 * x);
          rgb = (Canal(p, masks[0]) << 16) | (Canal(p, masks[1]) << 8) | Canal(p, masks[2]);
          break;
        }
        case 24: {
          const uint8_t* q = row + 3 * x;
          rgb = (static_cast<uint32_t>(q[2]) << 16) | (q[1] << 8) | q[0];
          break;
        }
        case 32: {
          uint32_t p = Lit32(row + 4 * x);
          rgb = (Canal(p, masks[0]) << 16) | (Canal(p, masks[1]) << 8) | Canal(p, masks[2]);
          break;
        }
      }
      out[x] = rgb;
    }
  }
  return std::make_unique<ImageFixe>(static_cast<int32_t>(w), static_cast<int32_t>(h),
                                     std::move(pixels));
}

std::unique_ptr<ISplashImage> LitFichierBMP(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return nullptr;
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return LitBMP(bytes.data(), bytes.size());
}

std::unique_ptr<ISplashImage> ImageSplash(const std::u16string& name, const uint8_t* bytes,
                                          size_t size) {
  if (!FinitPar(name, ".BMP")) return LitBMP(bytes, size);
  // A bitmap goes through a private temporary file, deleted once read.
  const char* tmp = std::getenv("TMPDIR");
  std::string path = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/.BMPXXXXXX";
  int fd = mkstemp(path.data());  // mode 0600, created exclusively
  if (fd < 0) return nullptr;
  bool written = true;
  for (size_t done = 0; done < size;) {
    ssize_t n = write(fd, bytes + done, size - done);
    if (n <= 0) {
      written = false;
      break;
    }
    done += static_cast<size_t>(n);
  }
  close(fd);
  std::unique_ptr<ISplashImage> image = written ? LitFichierBMP(path) : nullptr;
  unlink(path.c_str());
  return image;
}

}  // namespace qgnet
