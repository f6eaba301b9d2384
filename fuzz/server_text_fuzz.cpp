// Hands arbitrary server column texts to value converters of every buffer
// layout the row buffers use (numbers, dates and times by column type,
// 8-bit and UTF-16 texts in 1252 and UTF-8, binary with a length prefix)
// and reads every stored value back; nothing may read or write outside the
// buffers.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "driver/sql/column.h"
#include "driver/sql/value_converter.h"

namespace {

struct Layout {
  int type;
  int column_type;
  size_t size;
  uint32_t code_page;
};

constexpr Layout kLayouts[] = {
    {8, 5, 4, 1252},     {9, 19, 8, 1252},   {12, 7, 8, 1252},    {10, 17, 10, 1252},
    {7, 3, 2, 1252},     {26, 11, 10, 1252}, {26, 14, 9, 1252},   {26, 24, 8, 1252},
    {19, 2, 21, 1252},   {19, 2, 5, 65001},  {16, 29, 42, 65001}, {16, 29, 3, 1252},
    {28, 23, 18, 1252},  {28, 23, 1, 1252},  {154, 34, 16, 1252}, {1, 27, 4, 1252},
    {19, 2, 0, 1252},    {16, 29, 1, 65001},
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  for (const Layout& l : kLayouts) {
    CNAColumn* column = NAAddRef(new CNAColumn());
    column->Init(u"c", u"t", nullptr, 1, static_cast<int>(l.size), l.column_type, 0, -1, 0, 0, 0);
    CNAValueConverter* v = NAAddRef(new CNAValueConverter(nullptr, l.code_page));
    if (v->bAllocateBuffer(l.type, l.size, nullptr)) {
      v->BindColumns(column, nullptr);
      v->bSetFromServerText(text, size, l.code_page, nullptr);
      v->bSetFromServerText(text, size, 65001, nullptr);
      if (l.type == 16) v->bSetData(text, size / 2, nullptr);
      v->bSetBuffer(text, size);
    }
    ReleaseBoth(v);
    ReleaseBoth(column);
  }
  return 0;
}
