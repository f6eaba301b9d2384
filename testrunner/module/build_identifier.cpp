// The build identifier shown in this module's error dumps, set when the
// library loads (before any export can be called): the version the module
// gives the companion module.
#include "errors/xerror.h"

namespace {

[[maybe_unused]] const bool kBuildIdentifierSet = (qg::SetBuildIdentifier(u"30.0.344.2"), true);

}  // namespace
