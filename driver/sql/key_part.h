// Key values the host hands over: the bytes of one key, its parts packed
// one after the other, each in its own size. The decoder cuts such a value
// into its parts, bounded by the value's size, and tells where the value
// stops early: a last part given only in part, and a partial key that
// stands for the lowest or the highest keys beginning with it.
#ifndef QG_DRIVER_SQL_KEY_PART_H_
#define QG_DRIVER_SQL_KEY_PART_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "support/any.h"

class CNAColumn;

// Bytes one part takes in a key value: the size it takes in a packed
// composite key (CNAItem::nPackedPartSize): the column's size, one byte
// less for a variable 8-bit text (no terminator), two less for a variable
// UTF-16 text. Never below 0.
int nKeyPartSize(const CNAColumn& part);

struct NAKeyValuePart {
  enum Bound { kNone, kLowest, kHighest };
  const CNAColumn* pColumn = nullptr;  // the part's column (the key's own for a plain key)
  int nPart = 1;         // the part's number in the key, from 1
  size_t nOffset = 0;    // where the part's data begins in the key value
  size_t nLength = 0;    // bytes of data (after a length prefix)
  bool bPartial = false;  // the key value ends inside this part
  Bound bound = kNone;    // a partial part standing for its type's lowest or highest value
};

struct NAKeyValueParts {
  std::vector<NAKeyValuePart> parts;
  bool bLow = false;   // the key value ends in a lowest marker
  bool bHigh = false;  // the key value ends in a highest marker
};

// Cuts the key value into the key's parts (a plain key has one part, the
// key's own column). Decoding stops at the end of the value, after a
// partial part, and before a partial part that cannot stand for a prefix
// of its type. False when the value is malformed (a length prefix beyond
// its part or beyond the value): no part is then usable.
bool bDecodeKeyParts(const CNAColumn& key, const uint8_t* bytes, size_t size,
                     NAKeyValueParts* out);

// The value of a decoded part, read from the key value's bytes as the
// part's column stores them (8-bit texts in `code_page`, widened). A part
// standing for its type's lowest or highest value takes that value. A text
// that ends in the highest marker (0xFF bytes, or 0xFFFF characters for
// UTF-16; a stored size above 99 is not examined) loses the marker and
// sets *high_prefix: it stands for every text beginning with what is left,
// the highest text standing for every text. False when the value cannot
// be read.
bool bReadKeyPartValue(const NAKeyValuePart& part, const uint8_t* bytes, uint32_t code_page,
                       CAny* out, bool* high_prefix);

#endif  // QG_DRIVER_SQL_KEY_PART_H_
