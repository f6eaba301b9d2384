// Error class and error-definition table of the .NET connector (module 20).
#include "errors/module_errors.h"

namespace {

// Sorted by identifier.
const stERRORDEFINITIONENTRY kEntries[] = {
    {3598u, 3598u, 0u, 3u},
    {3600u, 3600u, 0u, 3u},
    {3602u, 3602u, 0u, 3u},
    {3604u, 3604u, 0u, 3u},
    {3614u, 3614u, 0u, 3u},
    {3619u, 3619u, 0u, 3u},
    {3667u, 3667u, 0u, 3u},
    {200001u, 200001u, 0u, 3u},
    {200002u, 200002u, 0u, 3u},
    {200003u, 200003u, 0u, 3u},
    {200004u, 200004u, 0u, 3u},
    {200005u, 200005u, 0u, 3u},
    {200006u, 200006u, 0u, 3u},
    {200007u, 200007u, 0u, 3u},
    {200008u, 200008u, 0u, 3u},
    {200012u, 200012u, 0u, 3u},
    {200013u, 200013u, 0u, 3u},
};

}  // namespace

const stERRORDEFINITION gstErrorDefModule20 = {
    kEntries, static_cast<uint32_t>(sizeof(kEntries) / sizeof(kEntries[0])),
    &qg::kCatalogueModule20, u"qg300net", u"QGNETCORE"};

_CXErrorModule20::_CXErrorModule20() : CXError(kModule) {}

_CXErrorModule20::_CXErrorModule20(const CXError& other) : CXError(kModule) { Copie(other); }

_CXErrorModule20::_CXErrorModule20(const _CXErrorModule20& other) : CXError(kModule) {
  Copie(other);
}

_CXErrorModule20::~_CXErrorModule20() = default;
