// Error class and error-definition table of the embedded browser (module 80).
#include "errors/module_errors.h"

namespace {

// Sorted by identifier.
const stERRORDEFINITIONENTRY kEntries[] = {
    {800001u, 800001u, 0u, 3u},
    {800002u, 800002u, 0u, 3u},
    {800003u, 800003u, 0u, 3u},
    {800004u, 800004u, 0u, 3u},
    {800005u, 800005u, 0u, 3u},
    {800006u, 800006u, 0u, 3u},
};

}  // namespace

const stERRORDEFINITION gstErrorDefModule80 = {
    kEntries, static_cast<uint32_t>(sizeof(kEntries) / sizeof(kEntries[0])),
    &qg::kCatalogueModule80, u"qg300web", u"QGWEB"};

_CXErrorModule80::_CXErrorModule80() : CXError(kModule) {}

_CXErrorModule80::_CXErrorModule80(const CXError& other) : CXError(kModule) { Copie(other); }

_CXErrorModule80::_CXErrorModule80(const _CXErrorModule80& other) : CXError(kModule) {
  Copie(other);
}

_CXErrorModule80::~_CXErrorModule80() = default;
