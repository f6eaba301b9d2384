// The build identifier shown in this module's error dumps, set when the
// library loads (before any export can be called).
#include "errors/internal_error.h"
#include "errors/xerror.h"

namespace {

[[maybe_unused]] const bool kBuildIdentifierSet = (qg::SetBuildIdentifier(qg::kModuleVersionMaria), true);

}  // namespace
