// The module's component description, from which the InfoComposante export
// answers. The language functions add their tables (kinds 13, 21, 28 and
// their counts 14, 22, 29) to the same record.
#ifndef QG_TESTRUNNER_MODULE_COMPONENT_RECORD_H_
#define QG_TESTRUNNER_MODULE_COMPONENT_RECORD_H_

#include <cstdint>

#include "support/frame/component_description.h"

// The record, its words filled on first use.
qg::ComponentDescription& DescriptionComposante();

// Sets the word that answers `kind` (ignored for kinds not answered by a
// word).
void SetMotComposante(int32_t kind, intptr_t value);

#endif  // QG_TESTRUNNER_MODULE_COMPONENT_RECORD_H_
