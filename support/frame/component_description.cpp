#include "support/frame/component_description.h"

namespace qg {

namespace {

// Word answered for each kind; -1 for kinds answered otherwise or not at all.
constexpr int kWordOfKind[] = {
    -1, 15, 17, 18, -1, 8, 23, -1, -1, -1,  // 0..9
    -1, -1, -1, 5, 20, 6, 21, 11, 26, 10,   // 10..19
    25, 4, 19, 7, 22, 9, 24, -1, 12, 27,    // 20..29
    -1, -1, 16,                             // 30..32
};

intptr_t Entry(intptr_t array_word, int32_t count, int32_t index) {
  if (array_word == 0 || index < 0 || index >= count) return 0;
  return reinterpret_cast<const intptr_t*>(array_word)[index];
}

}  // namespace

intptr_t InfoComposante(const ComponentDescription& record, int32_t kind, int32_t index) {
  switch (kind) {
    case 0:
      return 18;
    case 4:
      return Entry(record.anWords[3], record.nWord3Count, index);
    case 27:
      return Entry(record.anWords[2], record.nWord2Count, index);
    case 33:
      return reinterpret_cast<intptr_t>(&record);
    default:
      break;
  }
  const int word = ComponentWordOfKind(kind);
  return word < 0 ? 0 : record.anWords[word];
}

int ComponentWordOfKind(int32_t kind) {
  if (kind < 0 || kind >= static_cast<int32_t>(sizeof(kWordOfKind) / sizeof(kWordOfKind[0]))) {
    return -1;
  }
  return kWordOfKind[kind];
}

}  // namespace qg
