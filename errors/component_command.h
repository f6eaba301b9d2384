// CommandeComposante(code, argument), the message-text channel of every
// deliverable:
//   2  the argument is the host's text callback (PFN_MessageText): stored
//      module-wide; answers 1;
//   3  the argument is a MessageTextRequest: the host callback's text when it
//      answers above 0 (its answer returned unchanged), else the module's
//      catalogue in the current language; the answer is also stored in the
//      record. A capacity of 0 or less writes nothing and answers 0;
//   4  the argument is a message number: its packing kind in the current
//      language, -1 when no catalogue has it;
//   any other code answers 0.
#ifndef QG_ERRORS_COMPONENT_COMMAND_H_
#define QG_ERRORS_COMPONENT_COMMAND_H_

#include <cstdint>

namespace qg {

intptr_t nCommandeComposante(int32_t code, intptr_t argument);

}  // namespace qg

#endif  // QG_ERRORS_COMPONENT_COMMAND_H_
