#include "driver/sql/row_buffer.h"

#include "driver/sql/column_converter.h"
#include "driver/core/error_status.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "driver/core/host_interfaces.h"
#include "driver/sql/column.h"
#include "driver/sql/sql_types.h"
#include "driver/sql/table_description.h"
#include "support/any.h"
#include "support/any_holders.h"
#include "support/frame/module_services.h"

namespace {

constexpr uint32_t kIndirectSlot = 8;

bool IsTextDate(int type) { return type == 10 || type == 11 || type == 14; }

}  // namespace

CNARowBuffer::~CNARowBuffer() {
  std::free(m_pBlock);
  if (m_pDescription != nullptr) ReleaseBoth(m_pDescription);
}

bool CNARowBuffer::bBind(CNATableDescription* description) {
  if (description == nullptr) return false;
  AddRefBoth(description);
  if (!bBind(description->clGetLayout())) {
    ReleaseBoth(description);
    return false;
  }
  if (m_pDescription != nullptr) ReleaseBoth(m_pDescription);
  m_pDescription = description;
  return true;
}

CNAColumn* CNARowBuffer::Column(int column) const {
  if (m_pLayout == nullptr || column < 0 ||
      static_cast<size_t>(column) >= m_pLayout->apColumns.size()) {
    return nullptr;
  }
  return m_pLayout->apColumns[static_cast<size_t>(column)];
}

int CNARowBuffer::NullBit(int column) const {
  CNAColumn* c = Column(column);
  if (c == nullptr) return -1;
  int bit = c->nGetSlotIndex();
  return bit >= 0 && static_cast<uint32_t>(bit) < m_nNullBits ? bit : -1;
}

void CNARowBuffer::SetBit(int column, bool on) {
  int bit = NullBit(column);
  if (bit < 0) return;  // no null bit: nothing to mark
  uint8_t mask = static_cast<uint8_t>(0x80 >> (bit % 8));
  if (on) {
    m_pBlock[bit / 8] |= mask;
  } else {
    m_pBlock[bit / 8] &= static_cast<uint8_t>(~mask);
  }
}

bool CNARowBuffer::bIsPresent(int column) const {
  int bit = NullBit(column);
  if (bit < 0) return Column(column) != nullptr;
  return (m_pBlock[bit / 8] & (0x80 >> (bit % 8))) != 0;
}

bool CNARowBuffer::bBind(const CNARowLayout& layout) {
  uint32_t bitmap = layout.nNullBits == 0 ? 0 : (layout.nNullBits - 1) / 8 + 1;
  uint32_t total = layout.nDataSize + bitmap;
  auto* block = static_cast<uint8_t*>(std::calloc(total == 0 ? 1 : total, 1));
  if (block == nullptr) return false;
  std::free(m_pBlock);
  m_pBlock = block;
  m_nTotalSize = total;
  m_nNullBits = layout.nNullBits;
  m_nBitmapSize = bitmap;
  m_pData = block + bitmap;
  m_pLayout = &layout;
  for (size_t i = 0; i < layout.apColumns.size(); ++i) {
    CNAColumn* c = layout.apColumns[i];
    int column = static_cast<int>(i);
    for (int e = 0; e < c->nGetElementCount(); ++e) {
      const CAny& def = c->clGetDefault();
      if (bIsLargeObjectType(c->nGetType()) || def.bEstNull() || def.bEstVide() ||
          !c->bHasDefault() || !bSetValue(column, def, e)) {
        SetPresent(column, false, e);
      }
    }
  }
  return true;
}

CNARowBuffer* CNARowBuffer::pclDuplicate() const {
  auto* copy = new (std::nothrow) CNARowBuffer;
  if (copy == nullptr) return nullptr;
  if (copy->nCopyFrom(this, nullptr, 0, 0) == 0) {
    delete copy;
    return nullptr;
  }
  return copy;
}

int CNARowBuffer::nCopyFrom(const CNARowBuffer* source, INACopyContext* context, intptr_t,
                            intptr_t) {
  if (source == nullptr || source == this) return 1;
  auto* block = static_cast<uint8_t*>(std::malloc(source->m_nTotalSize == 0 ? 1 : source->m_nTotalSize));
  if (block == nullptr) return 0;
  if (context != nullptr && context->pFindCopy(source) == nullptr) {
    context->bRegisterCopy(source, this);
  }
  if (source->m_nTotalSize != 0) std::memcpy(block, source->m_pBlock, source->m_nTotalSize);
  std::free(m_pBlock);
  m_pBlock = block;
  m_nTotalSize = source->m_nTotalSize;
  m_nNullBits = source->m_nNullBits;
  m_nBitmapSize = source->m_nBitmapSize;
  m_pData = m_pBlock + m_nBitmapSize;
  m_pLayout = source->m_pLayout;
  // The layout belongs to the description: the copy holds the same one.
  if (source->m_pDescription != nullptr) AddRefBoth(source->m_pDescription);
  if (m_pDescription != nullptr) ReleaseBoth(m_pDescription);
  m_pDescription = source->m_pDescription;
  return 1;
}

CNARowBuffer* CNARowBuffer::pclClone(INACopyContext* context) {
  auto* copy = new (std::nothrow) CNARowBuffer;
  if (copy == nullptr) return nullptr;
  AddRefBoth(copy);
  if (copy->nCopyFrom(this, context, 0, 0) == 0) {
    if (context != nullptr && context->pFindCopy(this) == copy) context->ForgetCopy(this);
    ReleaseBoth(copy);
    return nullptr;
  }
  return copy;
}

bool CNARowBuffer::bCopyColumnData(CNARowBuffer* destination, int column, int element) {
  if (destination == nullptr) return false;
  CNAColumn* c = Column(column);
  if (c == nullptr || destination->Column(column) != c) return false;
  const uint8_t* from = pGetColumnData(column, element);
  uint8_t* to = destination->pGetColumnData(column, element);
  if (from == nullptr || to == nullptr) return false;
  size_t span = static_cast<size_t>(element < 0 ? c->nGetTotalSize() : c->nGetSize());
  if (bIsLargeObjectType(c->nGetType()) && span < kIndirectSlot) span = kIndirectSlot;
  if (to != from) std::memmove(to, from, span);
  destination->SetBit(column, bIsPresent(column));
  return true;
}

void CNARowBuffer::LoadImage(const void* bytes, size_t length) {
  size_t data = nGetDataSize();
  if (bytes != nullptr) std::memcpy(m_pData, bytes, length < data ? length : data);
  for (uint32_t bit = 0; bit < m_nNullBits; ++bit) m_pBlock[bit / 8] |= 0x80 >> (bit % 8);
}

uint8_t* CNARowBuffer::pGetColumnData(int column, int element) {
  CNAColumn* c = Column(column);
  if (c == nullptr || element >= c->nGetElementCount()) return nullptr;
  int offset = element < 0 ? c->nGetRecordOffset() : c->nGetElementOffset(element);
  int span = element < 0 ? c->nGetTotalSize() : c->nGetSize();
  if (bIsLargeObjectType(c->nGetType()) && span < static_cast<int>(kIndirectSlot)) {
    span = static_cast<int>(kIndirectSlot);
  }
  if (offset < 0 || span < 0 ||
      static_cast<int64_t>(offset) + span > static_cast<int64_t>(nGetDataSize())) {
    return nullptr;
  }
  return m_pData + offset;
}

bool CNARowBuffer::bSetBytes(int column, const void* bytes, size_t length, int element) {
  CNAColumn* c = Column(column);
  uint8_t* at = pGetColumnData(column, element);
  if (c == nullptr || at == nullptr) return false;
  size_t size = static_cast<size_t>(element < 0 ? c->nGetTotalSize() : c->nGetSize());
  int type = c->nGetType();
  const auto* in = static_cast<const uint8_t*>(bytes);
  if (in == nullptr) length = 0;
  if (bIsLargeObjectType(type)) {
    std::memset(at, 0, size < kIndirectSlot ? size : kIndirectSlot);
  } else if (IsTextDate(type)) {
    if (size == 0) return false;
    size_t n = length < size - 1 ? length : size - 1;
    for (size_t i = 0; i < n; ++i) {
      if (in[i] == 0) {
        n = i;
        break;
      }
    }
    if (n > 0) std::memcpy(at, in, n);
    std::memset(at + n, 0, size - n);
  } else if (type == kNAColVarBinary) {
    if (size < 2) return false;
    size_t n = length < size - 2 ? length : size - 2;
    uint16_t prefix = static_cast<uint16_t>(n);
    std::memcpy(at, &prefix, 2);
    if (n > 0) std::memcpy(at + 2, in, n);
    std::memset(at + 2 + n, 0, size - 2 - n);
  } else if (type == kNAColNVarChar || type == kNAColNText) {
    if (size < 2) return false;
    size_t n = length < size - 2 ? length : size - 2;
    n &= ~size_t{1};
    if (n > 0) std::memcpy(at, in, n);
    std::memset(at + n, 0, size - n);
  } else {
    size_t n = length < size ? length : size;
    if (n > 0) std::memcpy(at, in, n);
    std::memset(at + n, 0, size - n);
  }
  SetBit(column, true);
  return true;
}

void CNARowBuffer::SetPresent(int column, bool present, int element) {
  CNAColumn* c = Column(column);
  uint8_t* at = pGetColumnData(column, element);
  if (c == nullptr || at == nullptr) return;
  SetBit(column, present);
  if (bIsLargeObjectType(c->nGetType())) {
    std::memset(at, present ? 0 : 0xFF, kIndirectSlot);
  } else if (!present) {
    std::memset(at, 0, static_cast<size_t>(element < 0 ? c->nGetTotalSize() : c->nGetSize()));
  }
}

namespace {

// A decimal's 128-bit mantissa rescaled from one scale to another (fewer
// decimals round half away from zero); false on overflow.
bool Rescale(__int128* v, int from, int to) {
  const __int128 kLimit = (~static_cast<unsigned __int128>(0) >> 1) / 10;
  for (; from < to; ++from) {
    if (*v > kLimit || *v < -kLimit) return false;
    *v *= 10;
  }
  for (; from > to; --from) {
    __int128 rest = *v % 10;
    *v /= 10;
    if (from == to + 1) {
      if (rest >= 5) ++*v;
      if (rest <= -5) --*v;
    }
  }
  return true;
}

}  // namespace

bool CNARowBuffer::bSetValue(int column, const CAny& value, int element) {
  CNAColumn* c = Column(column);
  if (c == nullptr) return false;
  if (value.bEstNull() || value.bEstVide()) {
    SetPresent(column, false, element);
    return true;
  }
  int type = c->nGetType();
  int wanted = nHostTypeToValueClass(type);
  if (bIsLargeObjectType(type)) {
    SetPresent(column, true, element);  // the value itself lives elsewhere
    return true;
  }
  if (NAIsConvertedColumnType(type)) {
    // The column's own converter writes the bytes; none, or a refusal,
    // leaves the stored value as it was.
    CNAColumnConverter* converter = NAColumnConverterOf(*c);
    size_t size = static_cast<size_t>(c->nGetSize());
    std::vector<uint8_t> bytes(size);
    size_t written = 0;
    CNAError refusal;
    if (converter == nullptr ||
        !converter->bValueToBytes(*c, value, bytes.data(), size, &written, &refusal) ||
        written > size) {
      return false;
    }
    return bSetBytes(column, bytes.data(), written, element);
  }
  CAny copy(value);
  if (type == kNAColTimeDigits && copy.nGetCode() == qg::kAnyDATETIME) {
    // The time part of a date-time.
    if (copy.nConvertType(qg::kAnyTIMEA) >= qg::kHostErrorFirst) return false;
  } else if (wanted != 0 && copy.nGetCode() != wanted &&
             !((type == kNAColDateDigits || type == kNAColTimeDigits) &&
               (copy.nGetCode() == qg::kAnyPSTRA || copy.nGetCode() == qg::kAnyDSTRA))) {
    if (copy.nConvertType(wanted) >= qg::kHostErrorFirst) return false;
  }
  if (type == kNAColDecimal) {
    uint8_t form[qg::kDecimalFormSize];
    if (copy.pclHolder()->vnCopieAvecFin(form) != qg::kAnyOk) return false;
    __int128 v = 0;
    std::memcpy(&v, form + 2, 16);
    if (!Rescale(&v, form[1], c->nGetScale())) return false;
    size_t size = static_cast<size_t>(c->nGetSize());
    uint8_t bytes[16];
    std::memcpy(bytes, &v, 16);
    return bSetBytes(column, bytes, size < 16 ? size : 16, element);
  }
  const void* bytes = nullptr;
  int length = 0;
  CAny_Intern* holder = copy.pclHolder();
  if (holder->vnGetTexte(&bytes) != qg::kAnyOk ||
      holder->vnGetTailleSansFin(&length) != qg::kAnyOk || length < 0) {
    return false;
  }
  return bSetBytes(column, bytes, static_cast<size_t>(length), element);
}

bool CNARowBuffer::bGetValue(CAny& value, int column, int element) {
  CNAColumn* c = Column(column);
  uint8_t* at = pGetColumnData(column, element);
  if (c == nullptr || at == nullptr) return false;
  int type = c->nGetType();
  int wanted = nHostTypeToValueClass(type);
  value.SetType(wanted);
  if (!bIsPresent(column) || bIsLargeObjectType(type)) {
    value.SetNull(true);
    return true;
  }
  size_t size = static_cast<size_t>(element < 0 ? c->nGetTotalSize() : c->nGetSize());
  if (NAIsConvertedColumnType(type)) {
    CNAColumnConverter* converter = NAColumnConverterOf(*c);
    // Without a converter, or when it refuses the bytes, there is no value
    // to give: the read fails.
    CAny read;
    CNAError refusal;
    if (converter == nullptr || !converter->bBytesToValue(*c, at, size, &read, &refusal)) {
      return false;
    }
    value = read;
    value.SetNull(false);
    return true;
  }
  size_t n = size;
  const uint8_t* from = at;
  uint8_t form[qg::kDecimalFormSize];
  if (type == kNAColDecimal) {
    __int128 v = 0;
    std::memcpy(&v, at, size < 16 ? size : 16);
    if (size < 16 && size > 0 && (at[size - 1] & 0x80)) {
      v |= ~static_cast<__int128>(0) << (8 * size);  // sign-extend
    }
    form[0] = static_cast<uint8_t>(c->nGetPrecision());
    form[1] = static_cast<uint8_t>(c->nGetScale());
    std::memcpy(form + 2, &v, 16);
    from = form;
    n = sizeof(form);
  } else if (type == kNAColVarBinary) {
    uint16_t prefix = 0;
    if (size >= 2) std::memcpy(&prefix, at, 2);
    from = at + 2;
    n = prefix <= size - 2 ? prefix : size - 2;
  } else if (type == kNAColNVarChar || type == kNAColNText) {
    n = 0;
    while (n + 1 < size && (at[n] != 0 || at[n + 1] != 0)) n += 2;
  } else if (wanted == qg::kAnyPSTRA || wanted == qg::kAnyDSTRA || IsTextDate(type) ||
             type == kNAColVarChar || type == kNAColChar) {
    n = 0;
    while (n < size && at[n] != 0) ++n;
  }
  if (value.pclHolder()->vnSetDepuis(from, static_cast<int>(n)) != qg::kAnyOk) return false;
  value.SetNull(false);
  return true;
}

void CNARowBuffer::CopyFromRowBuffer(const CNARowBuffer& other) {
  if (other.m_nTotalSize != m_nTotalSize || m_pBlock == nullptr) return;
  if (m_nTotalSize != 0) std::memcpy(m_pBlock, other.m_pBlock, m_nTotalSize);
}

bool CNARowBuffer::bEqualValues(const CNARowBuffer& other) const {
  return m_nTotalSize == other.m_nTotalSize && m_nBitmapSize == other.m_nBitmapSize &&
         (m_nTotalSize == 0 || std::memcmp(m_pBlock, other.m_pBlock, m_nTotalSize) == 0);
}

void CNARowBuffer::WriteImage(uint8_t* out) const {
  if (m_nTotalSize != 0) std::memcpy(out, m_pBlock, m_nTotalSize);
}

bool CNARowBuffer::bReadImage(const uint8_t* in, size_t size) {
  if (size != m_nTotalSize || m_pBlock == nullptr) return false;
  if (size != 0) std::memcpy(m_pBlock, in, size);
  return true;
}

CNAColumnConverter* NAColumnConverterOf(const CNAColumn& column) {
  for (int n = 0; n < 2; ++n) {
    auto* converter = dynamic_cast<CNAColumnConverter*>(column.pclGetAttached(n));
    if (converter != nullptr) return converter;
  }
  return nullptr;
}
