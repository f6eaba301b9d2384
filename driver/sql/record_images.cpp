#include "driver/sql/record_images.h"

#include <cstring>

#include "driver/sql/row_buffer.h"
#include "driver/sql/value.h"
#include "driver/sql/value_converter.h"

size_t nNAValueImageSize(const CNAValue* value) {
  if (value == nullptr || value->bIsEmpty() || value->nGetDataSize() <= 0) return 0;
  return static_cast<size_t>(value->nGetDataSize());
}

void NAWriteValueImage(const CNAValue* value, uint8_t* out) {
  size_t n = nNAValueImageSize(value);
  if (n > 0 && value->pGetData() != nullptr) std::memcpy(out, value->pGetData(), n);
}

bool bNAReadValueImage(CNAValueConverter* value, const uint8_t* image, size_t size) {
  return value != nullptr && value->bSetBuffer(image, size);
}

size_t nNARowImageSize(const CNARowBuffer* row) { return row != nullptr ? row->nGetImageSize() : 0; }

void NAWriteRowImage(const CNARowBuffer* row, uint8_t* out) {
  if (row != nullptr) row->WriteImage(out);
}

bool bNAReadRowImage(CNARowBuffer* row, const uint8_t* image, size_t size) {
  return row != nullptr && row->bReadImage(image, size);
}
