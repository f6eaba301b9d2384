#include "driver/sql/key_part.h"

#include <cstring>
#include <string>

#include "driver/core/support/codepage_helpers.h"
#include "driver/sql/column.h"
#include "driver/sql/filter_rules.h"
#include "driver/sql/item.h"
#include "driver/sql/sql_types.h"
#include "driver/sql/value_converter.h"

namespace {

bool bAllBytes(const uint8_t* p, size_t n, uint8_t b) {
  for (size_t i = 0; i < n; ++i) {
    if (p[i] != b) return false;
  }
  return true;
}

bool bIsTextColumn(int t) {
  return t == kNAColVarChar || t == kNAColText || t == kNAColChar || t == kNAColOneChar ||
         t == kNAColNVarChar || t == kNAColNText;
}
bool bIsWideColumn(int t) { return t == kNAColNVarChar || t == kNAColNText; }
bool bIsBinaryColumn(int t) {
  return t == kNAColBinaryFixed || t == kNAColBlob || t == kNAColVarBinary;
}

// Text values longer than this are not examined for the highest marker.
constexpr size_t kHighMarkerLimit = 99;

}  // namespace

int nKeyPartSize(const CNAColumn& part) { return CNAItem::nPackedPartSize(part); }

bool bDecodeKeyParts(const CNAColumn& key, const uint8_t* bytes, size_t size, NAKeyValueParts* out) {
  out->parts.clear();
  out->bLow = false;
  out->bHigh = false;
  if (bytes == nullptr) size = 0;
  const int count = key.bIsComposite() ? key.nGetPartCount() : 1;
  size_t offset = 0;
  for (int i = 1; i <= count && offset < size; ++i) {
    const CNAColumn* column = key.bIsComposite() ? key.pclGetPart(i) : &key;
    if (column == nullptr) break;
    const int type = column->nGetType();
    const size_t part_size = static_cast<size_t>(nKeyPartSize(*column));
    if (part_size == 0) continue;
    const size_t remaining = size - offset;
    NAKeyValuePart part;
    part.pColumn = column;
    part.nPart = i;
    part.nOffset = offset;
    part.nLength = remaining < part_size ? remaining : part_size;
    part.bPartial = remaining < part_size;
    if (type == kNAColVarBinary) {
      // A 16-bit length, then the data; the length stays inside the part.
      if (part_size < 2) {
        out->parts.clear();
        return false;
      }
      if (remaining < 2) break;  // the value stops inside the length
      const size_t length = static_cast<size_t>(bytes[offset]) |
                            static_cast<size_t>(bytes[offset + 1]) << 8;
      const size_t room = (part.bPartial ? remaining : part_size) - 2;
      if (length > part_size - 2 || (!part.bPartial && length > room)) {
        out->parts.clear();
        return false;
      }
      part.nOffset = offset + 2;
      part.nLength = length < room ? length : room;
      if (part.bPartial && length <= room) part.bPartial = false;
    }
    if (part.bPartial) {
      const uint8_t* data = bytes + part.nOffset;
      const size_t n = part.nLength;
      const bool text = bIsTextColumn(type);
      const bool low = (n == 1 && data[0] == 0) || bAllBytes(data, n, 0x00);
      bool high = false;
      if (!low && (!text || n <= kHighMarkerLimit)) {
        high = bIsWideColumn(type) ? (n >= 2 && n % 2 == 0 && bAllBytes(data, n, 0xFF))
                                   : bAllBytes(data, n, 0xFF);
      }
      if (low || high) {
        out->bLow = low;
        out->bHigh = high;
        part.bound = low ? NAKeyValuePart::kLowest : NAKeyValuePart::kHighest;
        part.nLength = 0;
        out->parts.push_back(part);
        break;
      }
      // A prefix of a value only means something for texts, binaries, a
      // one-byte boolean and the leading digits of a decimal.
      const int value_type = nHostTypeToValueClass(type);
      const bool prefix_ok = text || bIsBinaryColumn(type) ||
                             (type == kNAColBool && part_size == 1) ||
                             (value_type == 13 && n <= 18);
      if (!prefix_ok) break;
      if (bIsWideColumn(type)) part.nLength -= part.nLength % 2;
      out->parts.push_back(part);
      break;
    }
    out->parts.push_back(part);
    offset += part_size;
  }
  return true;
}

bool bReadKeyPartValue(const NAKeyValuePart& part, const uint8_t* bytes, uint32_t code_page,
                       CAny* out, bool* high_prefix) {
  *high_prefix = false;
  if (part.pColumn == nullptr) return false;
  const CNAColumn& column = *part.pColumn;
  const int type = column.nGetType();
  const int value_class = column.nGetValueClass();
  const bool text = bIsTextColumn(type);
  if (part.bound == NAKeyValuePart::kLowest) {
    if (text) {
      out->SetDSTRW(u"");
      return true;
    }
    return bSetLowestValue(*out, value_class) || (out->SetNull(true), true);
  }
  if (part.bound == NAKeyValuePart::kHighest) {
    if (text) {
      out->SetDSTRW(u"");
      *high_prefix = true;
      return true;
    }
    if (bSetHighestValue(*out, value_class)) return true;
    out->SetNull(true);
    return true;
  }
  const uint8_t* data = bytes + part.nOffset;
  size_t n = part.nLength;
  if (text) {
    std::u16string value;
    if (bIsWideColumn(type)) {
      value.resize(n / 2);
      if (!value.empty()) std::memcpy(value.data(), data, value.size() * 2);
      while (!value.empty() && value.back() == 0) value.pop_back();
      if (value.size() * 2 <= kHighMarkerLimit && !value.empty() && value.back() == 0xFFFF) {
        while (!value.empty() && value.back() == 0xFFFF) value.pop_back();
        *high_prefix = true;
      }
    } else {
      while (n > 0 && data[n - 1] == 0) --n;
      if (n > 0 && n <= kHighMarkerLimit && data[n - 1] == 0xFF) {
        while (n > 0 && data[n - 1] == 0xFF) --n;
        *high_prefix = true;
      }
      value = NACodePageToWide(reinterpret_cast<const char*>(data), n, code_page);
    }
    out->SetDSTRW(value.c_str());
    return true;
  }
  // Any other type: through a converter over a copy laid out as the row
  // stores it (a type-23 value keeps its length prefix).
  const size_t size = static_cast<size_t>(column.nGetSize() > 0 ? column.nGetSize() : 0);
  std::vector<uint8_t> image(size + 2, 0);
  size_t at = 0;
  if (type == kNAColVarBinary) {
    if (size < 2) return false;
    image[0] = static_cast<uint8_t>(n & 0xFF);
    image[1] = static_cast<uint8_t>(n >> 8);
    at = 2;
  }
  if (at + n > image.size()) n = image.size() - at;
  if (n > 0) std::memcpy(image.data() + at, data, n);
  CNAValueConverter converter;
  converter.BindColumns(const_cast<CNAColumn*>(part.pColumn), nullptr);
  converter.SetExternalBuffer(image.data(), size, value_class);
  return converter.bGetValue(*out);
}
