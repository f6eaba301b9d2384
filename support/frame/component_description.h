// The component description record from which InfoComposante(kind, index)
// answers. Words are pointer-sized; words 2 and 3 point to arrays whose
// entry counts the record carries beside the words.
#ifndef QG_SUPPORT_FRAME_COMPONENT_DESCRIPTION_H_
#define QG_SUPPORT_FRAME_COMPONENT_DESCRIPTION_H_

#include <cstdint>

namespace qg {

constexpr int kComponentWordCount = 28;

struct ComponentDescription {
  intptr_t anWords[kComponentWordCount];
  int32_t nWord2Count;  // entries of the array word 2 points to
  int32_t nWord3Count;  // entries of the array word 3 points to
};

// Kind 0: 18; kinds 4 and 27: entry `index` of the array of word 3 / word 2
// (0 outside the array); kind 33: the record's address; the listed kinds
// their word; any other kind 0.
intptr_t InfoComposante(const ComponentDescription& record, int32_t kind, int32_t index);

// The word that answers a kind, or -1 for kinds 0, 4, 27, 33 and kinds
// answered by no word.
int ComponentWordOfKind(int32_t kind);

}  // namespace qg

#endif  // QG_SUPPORT_FRAME_COMPONENT_DESCRIPTION_H_
