#include "driver/sql/sql_type_map.h"

#include <new>
#include <string>

#include "driver/sql/column.h"

namespace {

struct DefaultName {
  int type;
  const char16_t* text;
  bool has_size;
};

constexpr DefaultName kDefaultNames[] = {
    {1, u"NUMERIC(19,0)", false},  {2, u"VARCHAR(%d)", true},   {3, u"SMALLINT", false},
    {4, u"SMALLINT", false},       {5, u"INTEGER", false},      {6, u"REAL", false},
    {7, u"FLOAT", false},          {9, u"SMALLINT", false},     {10, u"DATE", false},
    {11, u"TIME", false},          {12, u"SMALLINT", false},    {13, u"FLOAT", false},
    {14, u"DATE", false},          {15, u"TEXT", false},        {17, u"NUMERIC(24,6)", false},
    {19, u"NUMERIC(19,0)", false}, {20, u"NUMERIC(20,0)", false}, {21, u"CHARACTER(%d)", true},
    {22, u"INTEGER", false},       {23, u"VARBINARY(%d)", true}, {24, u"TIMESTAMP", false},
    {25, u"NUMERIC(19,0)", false}, {26, u"CHARACTER", false},   {27, u"SMALLINT", false},
    {28, u"INTEGER", false},       {29, u"NVARCHAR(%d)", true}, {30, u"NTEXT", false},
    {31, u"NUMERIC(%d,%d)", true}, {32, u"INTEGER", false},     {33, u"VARBINARY(%d)", true},
    {34, u"VARBINARY(16)", false}, {35, u"VARBINARY(16)", false}, {36, u"VARBINARY(32)", false},
    {37, u"VARBINARY(32)", false}, {38, u"TEXT", false},
};

void AppendNumber(std::u16string& out, int value) {
  std::string digits = std::to_string(value);
  for (char c : digits) out.push_back(static_cast<char16_t>(c));
}

}  // namespace

int32_t CNASQLTypeMap::Release() {
  int32_t left = m_nReferences.fetch_sub(1) - 1;
  if (left == 0) delete this;
  return left;
}

void CNASQLTypeMap::SetType(int column_type, const char16_t* text, bool has_size) {
  if (column_type < 0 || column_type > kMaxType) return;
  Entry& e = m_aEntries[column_type];
  e.text.Set(text);
  e.has_size = has_size;
  e.present = text != nullptr;
}

const char16_t* CNASQLTypeMap::pszGetType(int column_type, bool* has_size) const {
  if (column_type < 0 || column_type > kMaxType || !m_aEntries[column_type].present) {
    return nullptr;
  }
  if (has_size != nullptr) *has_size = m_aEntries[column_type].has_size;
  return m_aEntries[column_type].text.pszGet();
}

void CNASQLTypeMap::RegisterDefaultTypeNames() {
  for (const DefaultName& d : kDefaultNames) SetType(d.type, d.text, d.has_size);
}

bool CNASQLTypeMap::bFormatType(const CNAColumn& column, CTString* out) const {
  return bFormatType(column.nGetType(), column.nGetDataLength(0), column.nGetSize(),
                     column.nGetPrecision(), column.nGetScale(), out);
}

bool CNASQLTypeMap::bFormatType(int column_type, int one_value_length, int size, int digits,
                                int scale, CTString* out) const {
  bool has_size = false;
  const char16_t* text = pszGetType(column_type, &has_size);
  if (text == nullptr) return false;
  if (!has_size) {
    out->Set(text);
    return true;
  }
  int first = one_value_length;
  int second = 0;
  if (column_type == 11) {
    first = size - 7 > 0 ? size - 7 : 0;
  } else if (column_type == 31) {
    first = digits + scale;
    second = scale;
  }
  // Each "%d" takes the next number; nothing else of the text is a format.
  std::u16string result;
  int used = 0;
  for (const char16_t* p = text; *p != 0; ++p) {
    if (p[0] == u'%' && p[1] == u'd') {
      AppendNumber(result, used == 0 ? first : second);
      ++used;
      ++p;
    } else {
      result.push_back(*p);
    }
  }
  out->Set(result.c_str());
  return true;
}

CNASQLTypeMap* CNASQLTypeMap::pclGetOrCreate(std::atomic<CNASQLTypeMap*>& slot,
                                             void (*fill)(CNASQLTypeMap&, void*), void* context) {
  CNASQLTypeMap* current = slot.load(std::memory_order_acquire);
  if (current != nullptr) return current;
  auto* created = new (std::nothrow) CNASQLTypeMap();
  if (created == nullptr) return nullptr;
  created->AddRef();
  created->RegisterDefaultTypeNames();
  if (fill != nullptr) fill(*created, context);
  CNASQLTypeMap* expected = nullptr;
  if (slot.compare_exchange_strong(expected, created, std::memory_order_acq_rel,
                                   std::memory_order_acquire)) {
    return created;
  }
  created->Release();
  return expected;
}
