#include "testrunner/module/component_record.h"

namespace {

// Kind 4: three empty texts; kind 27: three empty texts and the module's
// name.
const char16_t* const kTextesVides[] = {u"", u"", u""};
const char16_t* const kTextesModule[] = {u"", u"", u"", u"qg300test"};

qg::ComponentDescription Construit() {
  qg::ComponentDescription record{};
  record.anWords[3] = reinterpret_cast<intptr_t>(kTextesVides);
  record.nWord3Count = 3;
  record.anWords[2] = reinterpret_cast<intptr_t>(kTextesModule);
  record.nWord2Count = 4;
  const int32_t words[][2] = {{1, 54}, {2, 126}, {3, 1}, {32, 2}};
  for (const auto& w : words) record.anWords[qg::ComponentWordOfKind(w[0])] = w[1];
  return record;
}

}  // namespace

qg::ComponentDescription& DescriptionComposante() {
  static qg::ComponentDescription record = Construit();
  return record;
}

void SetMotComposante(int32_t kind, intptr_t value) {
  const int word = qg::ComponentWordOfKind(kind);
  if (word >= 0) DescriptionComposante().anWords[word] = value;
}
