// Stored images of the record cache's parts: a value object's bytes, and a
// row buffer's whole block (bitmap and data) in an image of its total size.
#ifndef QG_DRIVER_SQL_RECORD_IMAGES_H_
#define QG_DRIVER_SQL_RECORD_IMAGES_H_

#include <cstddef>
#include <cstdint>

class CNARowBuffer;
class CNAValue;
class CNAValueConverter;

// A value object's image: its data bytes (0 for none or an empty value).
size_t nNAValueImageSize(const CNAValue* value);
// Writes the image into `out` (nValueImageSize bytes).
void NAWriteValueImage(const CNAValue* value, uint8_t* out);
// Gives the value the bytes of an image; false when it cannot take them.
bool bNAReadValueImage(CNAValueConverter* value, const uint8_t* image, size_t size);

// A row buffer's image: its whole block.
size_t nNARowImageSize(const CNARowBuffer* row);
void NAWriteRowImage(const CNARowBuffer* row, uint8_t* out);
// False for an image of another size.
bool bNAReadRowImage(CNARowBuffer* row, const uint8_t* image, size_t size);

#endif  // QG_DRIVER_SQL_RECORD_IMAGES_H_
