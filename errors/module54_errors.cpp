// Error class and error-definition table of the test runner (module 54).
#include "errors/module_errors.h"

namespace {

// Sorted by identifier.
const stERRORDEFINITIONENTRY kEntries[] = {
    {28117u, 28117u, 0u, 3u},
    {28567u, 28567u, 0u, 3u},
    {540000u, 540000u, 0u, 3u},
    {540001u, 540001u, 0u, 3u},
    {540002u, 540002u, 0u, 3u},
    {540003u, 540003u, 0u, 3u},
    {540004u, 540004u, 0u, 3u},
    {540005u, 540005u, 0u, 3u},
    {540006u, 540006u, 0u, 3u},
    {540007u, 540007u, 0u, 3u},
    {540008u, 540008u, 0u, 3u},
    {540009u, 540009u, 0u, 3u},
    {540010u, 540010u, 0u, 3u},
    {540011u, 540011u, 0u, 3u},
    {540012u, 540012u, 0u, 3u},
    {540013u, 540013u, 0u, 3u},
    {540014u, 540014u, 0u, 3u},
    {540015u, 540015u, 0u, 3u},
    {540016u, 540016u, 0u, 3u},
    {540017u, 540017u, 0u, 3u},
    {540018u, 540018u, 0u, 3u},
    {540019u, 540019u, 0u, 3u},
    {540020u, 540020u, 0u, 3u},
    {540021u, 540021u, 0u, 3u},
    {540022u, 540022u, 0u, 3u},
    {540023u, 540023u, 0u, 3u},
    {540024u, 540024u, 0u, 3u},
    {540025u, 540025u, 0u, 3u},
    {540026u, 540026u, 0u, 3u},
};

}  // namespace

const stERRORDEFINITION gstErrorDefModule54 = {
    kEntries, static_cast<uint32_t>(sizeof(kEntries) / sizeof(kEntries[0])),
    &qg::kCatalogueModule54, u"qg300test", u"QGTEST"};

_CXErrorModule54::_CXErrorModule54() : CXError(kModule) {}

_CXErrorModule54::_CXErrorModule54(const CXError& other) : CXError(kModule) { Copie(other); }

_CXErrorModule54::_CXErrorModule54(const _CXErrorModule54& other) : CXError(kModule) {
  Copie(other);
}

_CXErrorModule54::~_CXErrorModule54() = default;
