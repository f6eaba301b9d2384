#include "driver/core/index_texts.h"

#include <atomic>
#include <ctime>

namespace {

std::atomic<int32_t> gIndexCounter{0};

void AppendDecimal(std::u16string* out, uint64_t value, bool negative) {
  char16_t digits[24];
  int n = 0;
  do {
    digits[n++] = static_cast<char16_t>(u'0' + value % 10);
    value /= 10;
  } while (value != 0);
  if (negative) out->push_back(u'-');
  while (n > 0) out->push_back(digits[--n]);
}

}  // namespace

std::u16string NATemporaryIndexName(uint64_t seconds, int32_t counter) {
  std::u16string name = u"QGIDX";
  AppendDecimal(&name, static_cast<uint32_t>(seconds), false);
  bool negative = counter < 0;
  AppendDecimal(&name, negative ? 0u - static_cast<uint64_t>(static_cast<int64_t>(counter))
                                : static_cast<uint64_t>(counter),
                negative);
  return name;
}

std::u16string NATemporaryIndexName() {
  int32_t counter = gIndexCounter.fetch_add(1);
  return NATemporaryIndexName(static_cast<uint64_t>(std::time(nullptr)), counter);
}

std::u16string NACreateIndexText(bool unique, const std::u16string& name,
                                 const std::u16string& quoted_table,
                                 const std::vector<std::u16string>& quoted_columns) {
  std::u16string text = u"CREATE ";
  if (unique) text += u"UNIQUE";
  text += u" INDEX ";
  text += name;
  text += u" ON ";
  text += quoted_table;
  text += u" ( ";
  for (size_t i = 0; i < quoted_columns.size(); ++i) {
    if (i > 0) text += u",";
    text += quoted_columns[i];
  }
  text += u" ) ";
  return text;
}
