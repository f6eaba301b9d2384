// Sortable key images: a value of a Velisc type as a fixed-size byte image
// whose bytewise order follows the order of the values (integers
// big-endian with the sign bit flipped, reals sign-adjusted, texts padded).
// Pure functions: nothing allocates or keeps state.
//
// Three codes are involved: the Velisc type code of the value, the key type
// code (2..62) and the storage class (1..29, or -1 for none), which selects
// the byte layout.
#ifndef QG_DRIVER_CORE_SUPPORT_SORTABLE_KEY_H_
#define QG_DRIVER_CORE_SUPPORT_SORTABLE_KEY_H_

#include <cstddef>

// Velisc type code (taken as 16 bits) -> key type code; 5 (I4) for every
// type without its own.
int nHostTypeToInternalType(int type);
// Key type code -> storage class; -1 for none.
int nHostTypeToStorageClass(int key_type);
// Image size in bytes of a storage class for a value of n bytes.
size_t nStorageClassSize(int storage_class, size_t n);
// Image size of a Velisc type for a value of n bytes.
size_t nSortableKeySize(int type, size_t n);

// Writes the image of source[0..n) (the value's memory: little-endian
// numbers, the date-time as two 32-bit words, texts as stored) into
// destination[0..size). Answers the bytes written: 0 for a class without
// an image (BUFFER, OBJET_MDPS, none), and 0 with nothing written when a
// fixed-width class finds a source or destination too small for it.
// UTF-16 texts are written high byte first, so that the image sorts in
// code-unit order. The DECIMAL class reads the 18-byte decimal form
// (precision, scale, signed 128-bit mantissa least significant byte first)
// and writes 32 bytes: the value x 10^scale in two's complement, big-endian,
// sign bit flipped; a scale outside 0..38 keeps 38 decimals. Precision is
// not needed for the image.
size_t nEncodeSortableKey(void* destination, size_t size, const void* source, size_t n,
                          int storage_class, int precision, int scale);

#endif  // QG_DRIVER_CORE_SUPPORT_SORTABLE_KEY_H_
