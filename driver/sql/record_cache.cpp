#include "driver/sql/record_cache.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "driver/sql/row_buffer.h"
#include "driver/sql/value.h"
#include "driver/sql/value_converter.h"
#include "driver/core/error_status.h"
#include "support/any.h"

namespace {

// Out of memory, recorded with its site.
void OutOfMemory(CNAError* error, uint32_t minor) {
  if (error != nullptr) error->SetOutOfMemory(16, minor);
}

// Room for one more element, growing geometrically; throws bad_alloc.
template <class V>
void RoomForOne(V& v) {
  if (v.size() == v.capacity()) v.reserve(v.capacity() < 16 ? 16 : v.capacity() * 2);
}

template <class T>
void Replace(T** slot, T* object) {
  if (*slot == object) return;
  AddRefBoth(object);
  ReleaseBoth(*slot);
  *slot = object;
}

uint32_t Fnv(const uint8_t* bytes, size_t n) {
  uint32_t h = 2166136261u;
  for (size_t i = 0; i < n; ++i) h = (h ^ bytes[i]) * 16777619u;
  return h;
}

// Stored identifier images, as keys of the identifier table. Whole-row
// images hash their row bytes: the additive checksum they carry makes a
// quick inequality test but collides for rows that differ by permuted or
// compensating bytes, which would chain most rows of a table together.
uint32_t HashRowImage(uintptr_t key) {
  CNARowIdentifier::Image image;
  std::memcpy(&image, reinterpret_cast<const void*>(key), sizeof(image));
  return Fnv(image.pRow, image.nSize);
}

int CompareRowImages(uintptr_t a, uintptr_t b) {
  CNARowIdentifier::Image x;
  CNARowIdentifier::Image y;
  std::memcpy(&x, reinterpret_cast<const void*>(a), sizeof(x));
  std::memcpy(&y, reinterpret_cast<const void*>(b), sizeof(y));
  if (x.nChecksum != y.nChecksum || x.nSize != y.nSize) return 1;
  return std::memcmp(x.pRow, y.pRow, x.nSize) == 0 ? 0 : 1;
}

uint32_t HashKeyImage(uintptr_t key) {
  uint32_t hash;
  std::memcpy(&hash, reinterpret_cast<const uint8_t*>(key), 4);
  return hash;
}

// Byte comparison over the shorter length, then the shorter first.
int CompareKeyImages(uintptr_t a, uintptr_t b) {
  const auto* x = reinterpret_cast<const uint8_t*>(a);
  const auto* y = reinterpret_cast<const uint8_t*>(b);
  uint32_t nx;
  uint32_t ny;
  std::memcpy(&nx, x + 4, 4);
  std::memcpy(&ny, y + 4, 4);
  uint32_t shorter = nx < ny ? nx : ny;
  int c = shorter == 0 ? 0 : std::memcmp(x + 8, y + 8, shorter);
  if (c != 0) return c;
  return nx == ny ? 0 : (nx < ny ? -1 : 1);
}

}  // namespace

// --- value lists ----------------------------------------------------------

CNARecordValues::~CNARecordValues() { Clear(); }

void CNARecordValues::Clear() {
  for (CNAValue* v : m_apValues) ReleaseBoth(v);
  m_apValues.clear();
}

CNAValue* CNARecordValues::pclGet(int i) const {
  return i >= 0 && i < nGetCount() ? m_apValues[static_cast<size_t>(i)] : nullptr;
}

bool CNARecordValues::bSet(int i, CNAValue* value) {
  if (i < 0) return false;
  try {
    if (static_cast<size_t>(i) >= m_apValues.size()) m_apValues.resize(size_t(i) + 1, nullptr);
  } catch (const std::bad_alloc&) {
    return false;
  }
  Replace(&m_apValues[static_cast<size_t>(i)], value);
  return true;
}

bool CNARecordValues::bCopyFrom(const CNARecordValues* other) {
  if (other == this) return true;
  int n = other != nullptr ? other->nGetCount() : 0;
  for (int i = 0; i < n; ++i) {
    CNAValue* source = other->m_apValues[static_cast<size_t>(i)];
    CNAValue* mine = pclGet(i);
    if (source == nullptr) {
      bSet(i, nullptr);
    } else if (mine != nullptr && mine->nCopyFrom(source, nullptr, 0, 0) == 1) {
      continue;
    } else {
      CNAValue* copy = source->pclClone(nullptr, 0, 0);
      if (copy == nullptr) return false;
      AddRefBoth(copy);
      bool set = bSet(i, copy);
      ReleaseBoth(copy);
      if (!set) return false;
    }
  }
  for (int i = n; i < nGetCount(); ++i) bSet(i, nullptr);
  return true;
}

bool CNARecordValues::bEqual(const CNARecordValues* a, const CNARecordValues* b) {
  int na = a != nullptr ? a->nGetCount() : 0;
  int nb = b != nullptr ? b->nGetCount() : 0;
  int n = na > nb ? na : nb;
  for (int i = 0; i < n; ++i) {
    CNAValue* x = a != nullptr ? a->pclGet(i) : nullptr;
    CNAValue* y = b != nullptr ? b->pclGet(i) : nullptr;
    if (x == y) continue;
    if (x == nullptr || y == nullptr) return false;
    CAny vx;
    CAny vy;
    x->bGetValue(vx);
    y->bGetValue(vy);
    if (vx.bEstNull() != vy.bEstNull()) return false;
    if (x->nGetDataSize() != y->nGetDataSize()) return false;
    if (x->nGetDataSize() > 0 &&
        std::memcmp(x->pGetData(), y->pGetData(), static_cast<size_t>(x->nGetDataSize())) != 0) {
      return false;
    }
  }
  return true;
}

// --- identifiers -----------------------------------------------------------

CNARowIdentifier::CNARowIdentifier(const uint8_t* row, uint32_t size,
                                   const CNARecordValues* values)
    : m_pRow(row), m_nSize(size), m_pValues(values) {}

uint32_t CNARowIdentifier::nChecksum(const uint8_t* bytes, size_t size) {
  uint32_t sum = 0;
  size_t i = 0;
  for (; i + 4 <= size; i += 4) {
    uint32_t word;
    std::memcpy(&word, bytes + i, 4);
    sum += word;
  }
  for (; i < size; ++i) sum += bytes[i];
  return sum;
}

uint32_t CNARowIdentifier::nGetChecksum() const { return nChecksum(m_pRow, m_nSize); }

CNARecordIdentifier* CNARowIdentifier::pclClone() const {
  return new (std::nothrow) CNARowIdentifier(m_pRow, m_nSize, m_pValues);
}

bool CNARowIdentifier::bEquals(const CNARecordIdentifier& other) const {
  if (other.nGetKind() != 1) return false;
  const auto& o = static_cast<const CNARowIdentifier&>(other);
  return o.m_nSize == m_nSize && (m_nSize == 0 || std::memcmp(o.m_pRow, m_pRow, m_nSize) == 0);
}

bool CNARowIdentifier::bRefreshFromImage(const uint8_t* image, size_t size) {
  if (size != sizeof(Image)) return false;
  Image stored;
  std::memcpy(&stored, image, sizeof(stored));
  m_pRow = stored.pRow;
  m_nSize = stored.nSize;
  m_pValues = stored.pValues;
  return true;
}

void CNARowIdentifier::WriteImage(uint8_t* out) const {
  Image image{nGetChecksum(), m_nSize, m_pRow, m_pValues};
  std::memcpy(out, &image, sizeof(image));
}

std::u16string CNARowIdentifier::Dump() const {
  std::string text = "record values (" + std::to_string(m_nSize) + " bytes)";
  return std::u16string(text.begin(), text.end());
}

void CNARowIdentifier::RegisterHashCallbacks(CHashTableBounce* table) const {
  table->SetFonctionHache(&HashRowImage)->SetFonctionCompare(&CompareRowImages);
}

CNAKeyIdentifier::CNAKeyIdentifier(CNAValueConverter* value) : m_pValue(value) {
  AddRefBoth(m_pValue);
}

CNAKeyIdentifier::~CNAKeyIdentifier() { ReleaseBoth(m_pValue); }

CNARecordIdentifier* CNAKeyIdentifier::pclClone() const {
  CNAValueConverter* value = nullptr;
  if (m_pValue != nullptr) {
    value = static_cast<CNAValueConverter*>(m_pValue->pclClone(nullptr, 0, 0));
    if (value == nullptr) return nullptr;
  }
  auto* copy = new (std::nothrow) CNAKeyIdentifier(value);
  if (copy == nullptr) {
    AddRefBoth(value);
    ReleaseBoth(value);
  }
  return copy;
}

bool CNAKeyIdentifier::bEquals(const CNARecordIdentifier& other) const {
  if (other.nGetKind() != 3) return false;
  const auto& o = static_cast<const CNAKeyIdentifier&>(other);
  if (m_pValue == nullptr || o.m_pValue == nullptr) return m_pValue == o.m_pValue;
  return m_pValue->bEquals(*o.m_pValue);
}

size_t CNAKeyIdentifier::nGetImageSize() const {
  return 8 + static_cast<size_t>(m_pValue != nullptr ? m_pValue->nGetDataSize() : 0);
}

void CNAKeyIdentifier::WriteImage(uint8_t* out) const {
  uint32_t n = m_pValue != nullptr ? static_cast<uint32_t>(m_pValue->nGetDataSize()) : 0;
  const auto* bytes = n > 0 ? static_cast<const uint8_t*>(m_pValue->pGetData()) : nullptr;
  uint32_t hash = Fnv(bytes, n);
  std::memcpy(out, &hash, 4);
  std::memcpy(out + 4, &n, 4);
  if (n > 0) std::memcpy(out + 8, bytes, n);
}

uint32_t CNAKeyIdentifier::nGetChecksum() const {
  uint32_t n = m_pValue != nullptr ? static_cast<uint32_t>(m_pValue->nGetDataSize()) : 0;
  return Fnv(n > 0 ? static_cast<const uint8_t*>(m_pValue->pGetData()) : nullptr, n);
}

bool CNAKeyIdentifier::bRefreshFromImage(const uint8_t* image, size_t size) {
  if (m_pValue == nullptr || size < 8) return false;
  uint32_t n;
  std::memcpy(&n, image + 4, 4);
  if (n > size - 8) return false;
  return m_pValue->bSetBuffer(image + 8, n);
}

std::u16string CNAKeyIdentifier::Dump() const {
  CAny value;
  if (m_pValue == nullptr || !m_pValue->bGetValue(value)) return u"<NULL>";
  CXYString<char16_t> text;
  if (value.nGetTexte(&text) != qg::kAnyOk || text.pszGet() == nullptr) return u"";
  return text.pszGet();
}

void CNAKeyIdentifier::RegisterHashCallbacks(CHashTableBounce* table) const {
  table->SetFonctionHache(&HashKeyImage)->SetFonctionCompare(&CompareKeyImages);
}

// --- record images -----------------------------------------------------------

CNARecordImage::~CNARecordImage() {
  ReleaseBoth(m_pRow);
  ReleaseBoth(m_pValues);
  ReleaseBoth(m_pIdentifier);
}

void CNARecordImage::SetRowBuffer(CNARowBuffer* row) {
  Replace(&m_pRow, row);
  RepointIdentifier();
}
void CNARecordImage::SetValues(CNARecordValues* values) {
  Replace(&m_pValues, values);
  RepointIdentifier();
}
void CNARecordImage::SetIdentifier(CNARecordIdentifier* identifier) {
  Replace(&m_pIdentifier, identifier);
  RepointIdentifier();
}

void CNARecordImage::RepointIdentifier() {
  if (m_pIdentifier == nullptr || m_pIdentifier->nGetKind() != 1 || m_pRow == nullptr) return;
  static_cast<CNARowIdentifier*>(m_pIdentifier)
      ->Repoint(m_pRow->pGetBlock(), m_pRow->nGetImageSize(), m_pValues);
}

bool CNARecordImage::bCopyFrom(const CNARecordImage& other, uint32_t mask) {
  if (&other == this) return true;
  m_nFlags = other.m_nFlags;
  if ((mask & kRow) && other.m_pRow != nullptr) {
    if (m_pRow == nullptr || m_pRow->nGetImageSize() != other.m_pRow->nGetImageSize()) {
      CNARowBuffer* row = other.m_pRow->pclDuplicate();
      if (row == nullptr) return false;
      SetRowBuffer(row);
    } else {
      m_pRow->CopyFromRowBuffer(*other.m_pRow);
    }
  }
  if (mask & kValues) {
    if (other.m_pValues == nullptr || other.m_pValues->nGetCount() == 0) {
      if (m_pValues != nullptr) m_pValues->Clear();
    } else {
      if (m_pValues == nullptr) {
        auto* values = new (std::nothrow) CNARecordValues;
        if (values == nullptr) return false;
        SetValues(values);
      }
      if (!m_pValues->bCopyFrom(other.m_pValues)) return false;
    }
  }
  if ((mask & kIdentifier) && other.m_pIdentifier != nullptr) {
    CNARecordIdentifier* id = other.m_pIdentifier->pclClone();
    if (id == nullptr) return false;
    SetIdentifier(id);
  }
  RepointIdentifier();
  return true;
}

CNARecordImage* CNARecordImage::pclClone(uint32_t mask) const {
  auto* image = new (std::nothrow) CNARecordImage;
  if (image == nullptr) return nullptr;
  if (!image->bCopyFrom(*this, mask)) {
    AddRefBoth(image);
    ReleaseBoth(image);
    return nullptr;
  }
  return image;
}

bool CNARecordImage::bEquals(const CNARecordImage& other, bool values) const {
  if ((m_pRow == nullptr) != (other.m_pRow == nullptr)) return false;
  if (m_pRow != nullptr && !m_pRow->bEqualValues(*other.m_pRow)) return false;
  return !values || CNARecordValues::bEqual(m_pValues, other.m_pValues);
}

// --- paged store --------------------------------------------------------------

CNARecordStore::~CNARecordStore() { Clear(); }

void CNARecordStore::SetLimits(uint32_t records, size_t bytes) {
  if (records != 0) m_nHint = records;
  if (bytes != 0) m_nCap = bytes;
}

void CNARecordStore::Clear() {
  for (Page& p : m_astPages) std::free(p.pBase);
  m_astPages.clear();
  m_astEntries.clear();
}

bool CNARecordStore::bStore(const void* bytes, uint32_t size, Entry* entry) {
  size_t s = size_t{size} + 4;
  if (m_astPages.empty() || m_astPages.back().nUsed + s > m_astPages.back().nCapacity) {
    if (m_astPages.size() == 5) {  // the fifth page is full: larger pages
      m_nHint *= 2;
      m_nCap *= 2;
    }
    size_t capacity = s * m_nHint;
    if (capacity > m_nCap) capacity = m_nCap;
    if (capacity < s) capacity = s;
    try {
      RoomForOne(m_astPages);
    } catch (const std::bad_alloc&) {
      return false;
    }
    auto* base = static_cast<uint8_t*>(std::malloc(capacity));
    if (base == nullptr) return false;
    m_astPages.push_back({base, 0, capacity});
  }
  Page& page = m_astPages.back();
  std::memcpy(page.pBase + page.nUsed, &size, 4);
  if (size > 0) std::memcpy(page.pBase + page.nUsed + 4, bytes, size);
  entry->nOffset = static_cast<int64_t>(page.nUsed);
  entry->nPage = static_cast<uint32_t>(m_astPages.size() - 1);
  page.nUsed += s;
  return true;
}

bool CNARecordStore::bInsert(size_t at, const void* bytes, uint32_t size) {
  Entry entry{-1, 0};
  try {
    RoomForOne(m_astEntries);
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (bytes != nullptr && !bStore(bytes, size, &entry)) return false;
  m_astEntries.insert(m_astEntries.begin() + static_cast<ptrdiff_t>(at), entry);
  return true;
}

bool CNARecordStore::bReplace(size_t at, const void* bytes, uint32_t size) {
  if (at >= m_astEntries.size()) return false;
  Entry& entry = m_astEntries[at];
  if (bytes == nullptr) {
    entry.nOffset = -1;
    return true;
  }
  uint32_t old = 0;
  uint8_t* item = pGet(at, &old);
  if (item != nullptr && old == size) {
    if (size > 0) std::memcpy(item, bytes, size);
    return true;
  }
  Entry fresh{-1, 0};
  if (!bStore(bytes, size, &fresh)) return false;
  m_astEntries[at] = fresh;
  return true;
}

void CNARecordStore::Remove(size_t at) {
  if (at < m_astEntries.size()) m_astEntries.erase(m_astEntries.begin() + static_cast<ptrdiff_t>(at));
}

uint8_t* CNARecordStore::pGet(size_t at, uint32_t* size) const {
  if (at >= m_astEntries.size() || m_astEntries[at].nOffset < 0) return nullptr;
  const Entry& e = m_astEntries[at];
  uint8_t* item = m_astPages[e.nPage].pBase + e.nOffset;
  std::memcpy(size, item, 4);
  return item + 4;
}

// --- cursor cache ---------------------------------------------------------------

CNARecordCacheBase::CNARecordCacheBase(uint32_t flags) : m_nFlags(flags) {}

CNARecordCacheBase::~CNARecordCacheBase() {
  Clear();
  ReleaseBoth(m_pTemplate);
}

void CNARecordCacheBase::SetLimits(uint32_t records, size_t bytes) {
  m_clRows.SetLimits(records, bytes);
  m_clIds.SetLimits(records, bytes);
}

int CNARecordCacheBase::nAppend(CNARecordImage* image, CNAError* error) {
  return nAppendRecord(image, error);
}

void CNARecordCacheBase::Clear() {
  m_nFlags &= ~kComplete;
  if (m_clIdentifiers.nGetNbElement() != 0) m_clIdentifiers.Vide(7);
  m_clRows.Clear();
  m_clIds.Clear();
  for (CNARecordValues* v : m_apValues) ReleaseBoth(v);
  m_apValues.clear();
  m_anStates.clear();
  m_nInvalid = 0;
}

bool CNARecordCacheBase::bAdoptKind(CNARecordImage* image) {
  CNARecordIdentifier* id = image->pclGetIdentifier();
  if (m_nKind == 0) {
    if (id == nullptr) return false;
    m_nKind = id->nGetKind();
    id->RegisterHashCallbacks(&m_clIdentifiers);
  } else if (id != nullptr && id->nGetKind() != m_nKind) {
    return false;  // one cache, one kind of identifier
  }
  if (m_pTemplate == nullptr) {
    CNARecordImage* t = image->pclClone(CNARecordImage::kRow | CNARecordImage::kIdentifier);
    if (t == nullptr) return false;
    AddRefBoth(t);
    m_pTemplate = t;
  }
  return true;
}

void CNARecordCacheBase::DropIdentifier(int n) {
  uint32_t size = 0;
  uint8_t* image = m_clIds.pGet(static_cast<size_t>(n), &size);
  if (image == nullptr) return;
  // Equal identifiers may coexist: the one of entry n leaves, the others
  // stay.
  std::vector<std::pair<uintptr_t, uintptr_t>> others;
  uintptr_t value = 0;
  uintptr_t key = 0;
  while (m_clIdentifiers.bSupprime(reinterpret_cast<uintptr_t>(image), &value, &key)) {
    if (value == static_cast<uintptr_t>(n)) break;
    others.emplace_back(key, value);
  }
  for (auto& [k, v] : others) m_clIdentifiers.bAjoute(k, v);
}

int CNARecordCacheBase::nPlaceRecord(CNARecordImage* image, int n, bool insert,
                                     CNAError* error) {
  size_t at = static_cast<size_t>(n);
  try {
    RoomForOne(m_apValues);
    RoomForOne(m_anStates);
  } catch (const std::bad_alloc&) {
    OutOfMemory(error, 1);
    return -1;
  }
  if (image == nullptr) {
    if (!m_clRows.bInsert(at, nullptr, 0)) return -1;
    if (!m_clIds.bInsert(at, nullptr, 0)) {
      m_clRows.Remove(at);
      return -1;
    }
    m_apValues.insert(m_apValues.begin() + n, nullptr);
    m_anStates.insert(m_anStates.begin() + n, kNARecordInvalid);
    ++m_nInvalid;
    return n;
  }
  if (image->pclGetRowBuffer() == nullptr || !bAdoptKind(image)) return -1;
  CNARowBuffer* row = image->pclGetRowBuffer();
  std::vector<uint8_t> bytes(row->nGetImageSize());
  row->WriteImage(bytes.data());
  if (!m_clRows.bInsert(at, bytes.data(), static_cast<uint32_t>(bytes.size()))) {
    OutOfMemory(error, 2);
    return -1;
  }
  CNARecordValues* values = nullptr;
  if (image->pclGetValues() != nullptr && image->pclGetValues()->nGetCount() > 0) {
    values = new (std::nothrow) CNARecordValues;
    if (values == nullptr || !values->bCopyFrom(image->pclGetValues())) {
      delete values;
      m_clRows.Remove(at);
      OutOfMemory(error, 3);
      return -1;
    }
    AddRefBoth(values);
  }
  // The identifier's image: for whole-row identifiers, of the stored copy.
  std::vector<uint8_t> id;
  if (m_nKind == 1) {
    uint32_t size = 0;
    const uint8_t* stored = m_clRows.pGet(at, &size);
    CNARowIdentifier rid(stored, size, values);
    id.resize(rid.nGetImageSize());
    rid.WriteImage(id.data());
  } else {
    CNARecordIdentifier* own = image->pclGetIdentifier();
    id.resize(own->nGetImageSize());
    own->WriteImage(id.data());
  }
  if (!m_clIds.bInsert(at, id.data(), static_cast<uint32_t>(id.size()))) {
    ReleaseBoth(values);
    m_clRows.Remove(at);
    OutOfMemory(error, 4);
    return -1;
  }
  if (insert) {
    // Every entry number from n up moves up by one.
    uint32_t position = 0;
    uintptr_t v = 0;
    uintptr_t k = 0;
    while (m_clIdentifiers.bParcours(&position, 0, &v, &k)) {
      if (v >= at) m_clIdentifiers.bModifieValeur(position, v + 1, nullptr);
    }
  }
  uint32_t size = 0;
  uint8_t* stored_id = m_clIds.pGet(at, &size);
  if (!m_clIdentifiers.bAjoute(reinterpret_cast<uintptr_t>(stored_id), at)) {
    OutOfMemory(error, 5);
  }
  m_apValues.insert(m_apValues.begin() + n, values);
  uint32_t state = image->nGetFlags();
  m_anStates.insert(m_anStates.begin() + n, state);
  if (state == kNARecordInvalid) ++m_nInvalid;
  return n;
}

int CNARecordCacheBase::nAppendRecord(CNARecordImage* image, CNAError* error) {
  return nPlaceRecord(image, nGetCount(), false, error);
}

void CNARecordCacheBase::InsertRecord(CNARecordImage* image, int n) {
  if (n < 0 || n > nGetCount()) return;
  nPlaceRecord(image, n, n < nGetCount(), nullptr);
}

void CNARecordCacheBase::RemoveEntry(int n) {
  if (n < 0 || n >= nGetCount()) return;
  DropIdentifier(n);
  // Later entries move down by one in the identifier table too.
  uint32_t position = 0;
  uintptr_t v = 0;
  uintptr_t k = 0;
  while (m_clIdentifiers.bParcours(&position, 0, &v, &k)) {
    if (v > static_cast<uintptr_t>(n)) m_clIdentifiers.bModifieValeur(position, v - 1, nullptr);
  }
  m_clRows.Remove(static_cast<size_t>(n));
  m_clIds.Remove(static_cast<size_t>(n));
  ReleaseBoth(m_apValues[static_cast<size_t>(n)]);
  m_apValues.erase(m_apValues.begin() + n);
  if (m_anStates[static_cast<size_t>(n)] == kNARecordInvalid) --m_nInvalid;
  m_anStates.erase(m_anStates.begin() + n);
}

void CNARecordCacheBase::ReplaceRecord(int n, CNARecordImage* image) {
  if (n < 0 || n >= nGetCount()) return;
  size_t at = static_cast<size_t>(n);
  DropIdentifier(n);
  if (image == nullptr || image->pclGetRowBuffer() == nullptr || !bAdoptKind(image)) {
    m_clRows.bReplace(at, nullptr, 0);
    m_clIds.bReplace(at, nullptr, 0);
    SetEntryState(n, kNARecordInvalid);
    return;
  }
  CNARowBuffer* row = image->pclGetRowBuffer();
  std::vector<uint8_t> bytes(row->nGetImageSize());
  row->WriteImage(bytes.data());
  if (!m_clRows.bReplace(at, bytes.data(), static_cast<uint32_t>(bytes.size()))) {
    SetEntryState(n, kNARecordInvalid);
    return;
  }
  CNARecordValues*& values = m_apValues[at];
  if (image->pclGetValues() != nullptr && image->pclGetValues()->nGetCount() > 0) {
    if (values == nullptr) {
      values = new (std::nothrow) CNARecordValues;
      AddRefBoth(values);
    }
    if (values != nullptr) values->bCopyFrom(image->pclGetValues());
  } else if (values != nullptr) {
    values->Clear();
  }
  std::vector<uint8_t> id;
  if (m_nKind == 1) {
    uint32_t size = 0;
    const uint8_t* stored = m_clRows.pGet(at, &size);
    CNARowIdentifier rid(stored, size, values);
    id.resize(rid.nGetImageSize());
    rid.WriteImage(id.data());
  } else {
    id.resize(image->pclGetIdentifier()->nGetImageSize());
    image->pclGetIdentifier()->WriteImage(id.data());
  }
  if (m_clIds.bReplace(at, id.data(), static_cast<uint32_t>(id.size()))) {
    uint32_t size = 0;
    m_clIdentifiers.bAjoute(reinterpret_cast<uintptr_t>(m_clIds.pGet(at, &size)), at);
  }
  SetEntryState(n, image->nGetFlags());
}

void CNARecordCacheBase::SetEntryState(int n, uint32_t state) {
  if (n < 0 || n >= nGetCount()) return;
  uint32_t& old = m_anStates[static_cast<size_t>(n)];
  if (old == kNARecordInvalid && state != kNARecordInvalid) --m_nInvalid;
  if (old != kNARecordInvalid && state == kNARecordInvalid) ++m_nInvalid;
  old = state;
}

uint32_t CNARecordCacheBase::nGetEntryState(int n) const {
  if (n < 0 || n >= nGetCount()) return kNARecordInvalid;
  return m_anStates[static_cast<size_t>(n)];
}

bool CNARecordCacheBase::bReadRecord(CNARecordImage* image, int n, CNAError* error) {
  if (image == nullptr || n < 0 || n >= nGetCount()) return false;
  if (image->pclGetRowBuffer() == nullptr) {
    if (m_pTemplate == nullptr) return false;
    if (!image->bCopyFrom(*m_pTemplate, CNARecordImage::kRow | CNARecordImage::kIdentifier)) {
      OutOfMemory(error, 6);
      return false;
    }
  }
  uint32_t size = 0;
  const uint8_t* row = m_clRows.pGet(static_cast<size_t>(n), &size);
  if (row == nullptr || image->pclGetRowBuffer() == nullptr) return false;
  if (!image->pclGetRowBuffer()->bReadImage(row, size)) return false;
  if (m_nKind != 1) {
    uint32_t id_size = 0;
    const uint8_t* id = m_clIds.pGet(static_cast<size_t>(n), &id_size);
    if (id == nullptr || image->pclGetIdentifier() == nullptr ||
        !image->pclGetIdentifier()->bRefreshFromImage(id, id_size)) {
      return false;
    }
  }
  const CNARecordValues* values = m_apValues[static_cast<size_t>(n)];
  if (values != nullptr && values->nGetCount() > 0) {
    if (image->pclGetValues() == nullptr) {
      auto* fresh = new (std::nothrow) CNARecordValues;
      if (fresh == nullptr) {
        OutOfMemory(error, 7);
        return false;
      }
      image->SetValues(fresh);
    }
    if (!image->pclGetValues()->bCopyFrom(values)) {
      OutOfMemory(error, 8);
      return false;
    }
  } else if (image->pclGetValues() != nullptr) {
    image->SetValues(nullptr);
  }
  return true;
}

int CNARecordCacheBase::nFindRecord(const CNARecordIdentifier* identifier) {
  if (identifier == nullptr || m_nKind == 0 || identifier->nGetKind() != m_nKind) return -1;
  size_t size = identifier->nGetImageSize();
  try {
    if (m_abyLookup.size() < size) m_abyLookup.resize(size);  // grows with the image
  } catch (const std::bad_alloc&) {
    return -1;
  }
  identifier->WriteImage(m_abyLookup.data());
  uintptr_t value = 0;
  if (!m_clIdentifiers.bCherche(reinterpret_cast<uintptr_t>(m_abyLookup.data()), &value,
                                nullptr)) {
    return -1;
  }
  return static_cast<int>(value);
}

int CNARecordCacheBase::nInvalidateRecord(const CNARecordIdentifier* identifier) {
  int n = nFindRecord(identifier);
  if (n >= 0) SetEntryState(n, kNARecordInvalid);
  return n;
}

int CNARecordCacheBase::nNotifyChange(int kind, bool front, const CNARecordIdentifier* identifier,
                                      CNARecordImage* image, CNAError* error) {
  switch (kind) {
    case 3: {
      if (!front) return nAppend(image, error);
      int before = nGetCount();
      if (before == 0) {
        nAppendRecord(image, error);
      } else {
        InsertRecord(image, 0);
      }
      return nGetCount() > before ? 0 : -1;  // -1 when nothing went in
    }
    case 2: {
      int n = nFindRecord(identifier);
      if (n >= 0) ReplaceRecord(n, image);
      return n;
    }
    case 4: {
      int n = nFindRecord(identifier);
      if (n >= 0 && !bIsInvalid(n)) SetEntryState(n, kNARecordInvalid);
      return n;
    }
    default:
      return -1;
  }
}

int64_t CNARecordCacheBase::nMoveBy(int64_t position, int kind, int64_t count) const {
  const int64_t n = nGetCount();
  bool forward = true;
  if (kind == 1) {
    position = n;
    forward = false;
  } else if (kind == 3) {
    forward = false;
  } else if (kind != 2) {
    position = -1;
  }
  if (m_nInvalid == 0) {
    // Plain arithmetic, saturating at either end of the 64-bit range.
    int64_t result;
    if (forward ? __builtin_add_overflow(position, count, &result)
                : __builtin_sub_overflow(position, count, &result)) {
      result = forward == (count >= 0) ? INT64_MAX : INT64_MIN;
    }
    return result < 0 ? -1 : result;
  }
  for (int64_t done = 0; done < count;) {
    if (forward) {
      if (position >= n) {  // past the end every step counts: finish arithmetically
        int64_t rest = count - done;
        position = position > INT64_MAX - rest ? INT64_MAX : position + rest;
        break;
      }
      ++position;
      if (position < n && m_anStates[static_cast<size_t>(position)] == kNARecordInvalid) {
        continue;
      }
    } else {
      --position;
      if (position < 0) return -1;
      if (position < n && m_anStates[static_cast<size_t>(position)] == kNARecordInvalid) {
        continue;
      }
    }
    ++done;
  }
  return position < 0 ? -1 : position;
}

bool CNARecordCacheBase::bMustFetch(int64_t n) const {
  if (!(m_nFlags & kActive)) return true;
  if (n < 0) return false;
  if ((m_nFlags & kComplete) && n >= nGetCount()) return false;
  uint32_t size = 0;
  if (n < nGetCount() && m_clRows.pGet(static_cast<size_t>(n), &size) != nullptr) return false;
  return true;
}

void CNARecordCacheBase::SetComplete() {
  if (m_nFlags & kActive) m_nFlags |= kComplete;
}

bool CNARecordCacheBase::bSameRecord(int n, const CNARecordImage& image) {
  if (m_pTemplate == nullptr || !bReadRecord(m_pTemplate, n, nullptr)) return false;
  return m_pTemplate->bEquals(image, true);
}

bool CNARecordCacheBase::bCopyFrom(const CNARecordCacheBase& other, CNAError* error) {
  if (&other == this) return true;
  Clear();
  m_nFlags = other.m_nFlags;
  if (other.m_pTemplate == nullptr) return true;
  CNARecordImage* t =
      other.m_pTemplate->pclClone(CNARecordImage::kRow | CNARecordImage::kIdentifier);
  if (t == nullptr) {
    OutOfMemory(error, 9);
    return false;
  }
  AddRefBoth(t);
  ReleaseBoth(m_pTemplate);
  m_pTemplate = t;
  m_nKind = other.m_nKind;
  if (m_pTemplate->pclGetIdentifier() != nullptr) {
    m_pTemplate->pclGetIdentifier()->RegisterHashCallbacks(&m_clIdentifiers);
  }
  // Every entry with its state and value list; an entry without row stays
  // an entry without row.
  CNARecordImage* scratch =
      other.m_pTemplate->pclClone(CNARecordImage::kRow | CNARecordImage::kIdentifier);
  if (scratch == nullptr) {
    OutOfMemory(error, 10);
    return false;
  }
  AddRefBoth(scratch);
  auto& source = const_cast<CNARecordCacheBase&>(other);
  bool ok = true;
  for (int n = 0; n < other.nGetCount(); ++n) {
    uint32_t size = 0;
    if (other.m_clRows.pGet(static_cast<size_t>(n), &size) == nullptr) {
      if (nPlaceRecord(nullptr, n, false, error) < 0) {
        ok = false;
        break;
      }
      SetEntryState(n, other.m_anStates[static_cast<size_t>(n)]);
      continue;
    }
    if (!source.bReadRecord(scratch, n, error)) break;
    scratch->SetFlags(other.m_anStates[static_cast<size_t>(n)]);
    if (nPlaceRecord(scratch, n, false, error) < 0) {
      ok = false;
      break;
    }
  }
  ReleaseBoth(scratch);
  return ok;
}

CNARecordCacheBase* CNARecordCacheBase::pclClone(CNAError* error) const {
  auto* copy = new (std::nothrow) CNARecordCacheBase;
  if (copy == nullptr) {
    OutOfMemory(error, 11);
    return nullptr;
  }
  if (!copy->bCopyFrom(*this, error)) {
    AddRefBoth(copy);
    ReleaseBoth(copy);
    return nullptr;
  }
  return copy;
}

// --- session cache ----------------------------------------------------------------

CNARecordCache::CNARecordCache() : CNARecordCacheBase(kActive) { SetLimits(50, 0); }

void CNARecordCache::SetLimits(uint32_t records, size_t bytes) {
  CNARecordCacheBase::SetLimits(records, bytes);
}

void CNARecordCache::Clear() {
  CNARecordCacheBase::Clear();
  m_anUses.clear();
  m_nFirstFree = -1;
}

int CNARecordCache::nAppendRecord(CNARecordImage* image, CNAError* error) {
  try {
    RoomForOne(m_anUses);
  } catch (const std::bad_alloc&) {
    OutOfMemory(error, 12);
    return -1;
  }
  int n = CNARecordCacheBase::nAppendRecord(image, error);
  if (n >= 0) m_anUses.push_back(0);
  return n;
}

CNARecordCacheBase* CNARecordCache::pclClone(CNAError* error) const {
  auto* copy = new (std::nothrow) CNARecordCache;
  if (copy == nullptr) {
    OutOfMemory(error, 13);
    return nullptr;
  }
  if (!copy->CopyFromCache(*this, error)) {
    AddRefBoth(copy);
    ReleaseBoth(copy);
    return nullptr;
  }
  return copy;
}

bool CNARecordCache::CopyFromCache(const CNARecordCache& other, CNAError* error) {
  m_anUses.clear();
  bool ok = CNARecordCacheBase::bCopyFrom(other, error);
  try {
    m_anUses = other.m_anUses;
  } catch (const std::bad_alloc&) {
    OutOfMemory(error, 14);
    return false;
  }
  m_anUses.resize(static_cast<size_t>(nGetCount()), 0);
  m_nFirstFree = other.m_nFirstFree;
  return ok;
}

int CNARecordCache::nStoreRecord(CNARecordImage* image, CNAError* error) {
  if (image != nullptr && image->pclGetIdentifier() != nullptr) {
    int found = nFindRecord(image->pclGetIdentifier());
    if (found >= 0) return found;
  }
  int free_slot = -1;
  if (m_nFirstFree >= 0) {
    for (size_t i = static_cast<size_t>(m_nFirstFree); i < m_anUses.size(); ++i) {
      if (m_anUses[i] == 0) {
        free_slot = static_cast<int>(i);
        break;
      }
    }
    m_nFirstFree = free_slot;
  }
  if (free_slot >= 0) {
    ReplaceRecord(free_slot, image);
    m_nFirstFree = free_slot + 1 < nGetCount() ? free_slot + 1 : -1;
    return free_slot;
  }
  return nAppendRecord(image, error);
}

int CNARecordCache::nAddRefEntry(int n) {
  if (n < 0 || static_cast<size_t>(n) >= m_anUses.size()) return -1;
  return ++m_anUses[static_cast<size_t>(n)];
}

int CNARecordCache::nReleaseEntry(int n) {
  if (n < 0 || static_cast<size_t>(n) >= m_anUses.size()) return -1;
  int32_t& uses = m_anUses[static_cast<size_t>(n)];
  if (uses <= 0) return 0;  // a double release never goes below 0
  if (--uses == 0) {
    DropIdentifier(n);
    if (m_nFirstFree < 0 || n < m_nFirstFree) m_nFirstFree = n;
  }
  return uses;
}

int CNARecordCache::nGetUses(int n) const {
  if (n < 0 || static_cast<size_t>(n) >= m_anUses.size()) return -1;
  return m_anUses[static_cast<size_t>(n)];
}
