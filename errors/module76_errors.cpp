// Error class and error-definition table of the MariaDB driver (module 76).
#include "errors/module_errors.h"

namespace {

// Sorted by identifier.
const stERRORDEFINITIONENTRY kEntries[] = {
    {5u, 5u, 0u, 3u},
    {6u, 6u, 0u, 3u},
    {7u, 7u, 0u, 3u},
    {8u, 28437u, 0u, 3u},
    {9u, 9u, 0u, 3u},
    {10u, 10u, 0u, 3u},
    {11u, 11u, 0u, 3u},
    {12u, 12u, 0u, 3u},
    {13u, 13u, 0u, 3u},
    {14u, 14u, 0u, 3u},
    {15u, 15u, 0u, 3u},
    {17u, 17u, 0u, 3u},
    {18u, 18u, 0u, 3u},
    {19u, 28417u, 0u, 3u},
    {20u, 20u, 0u, 3u},
    {22u, 22u, 0u, 3u},
    {23u, 23u, 0u, 3u},
    {26u, 26u, 0u, 3u},
    {27u, 27u, 0u, 3u},
    {29u, 29u, 0u, 3u},
    {30u, 30u, 0u, 3u},
    {32u, 32u, 0u, 3u},
    {35u, 35u, 0u, 3u},
    {37u, 37u, 0u, 3u},
    {41u, 41u, 0u, 3u},
    {46u, 46u, 0u, 3u},
    {48u, 48u, 0u, 3u},
    {50u, 50u, 0u, 3u},
    {51u, 51u, 0u, 3u},
    {53u, 53u, 0u, 3u},
    {55u, 55u, 0u, 3u},
    {56u, 56u, 0u, 3u},
    {57u, 57u, 0u, 3u},
    {58u, 58u, 0u, 3u},
    {59u, 59u, 0u, 3u},
    {60u, 60u, 0u, 3u},
    {75u, 75u, 0u, 3u},
    {76u, 76u, 0u, 3u},
    {77u, 77u, 0u, 3u},
    {78u, 78u, 0u, 3u},
    {79u, 79u, 0u, 3u},
    {82u, 82u, 0u, 3u},
    {83u, 83u, 0u, 3u},
    {85u, 85u, 0u, 3u},
    {86u, 86u, 0u, 3u},
    {87u, 87u, 0u, 3u},
    {760101u, 760101u, 0u, 3u},
};

}  // namespace

const stERRORDEFINITION gstErrorDefModule76 = {
    kEntries, static_cast<uint32_t>(sizeof(kEntries) / sizeof(kEntries[0])),
    &qg::kCatalogueModule76, u"qg300maria", u"QGMARIA"};

_CXErrorModule76::_CXErrorModule76() : CXError(kModule) {}

_CXErrorModule76::_CXErrorModule76(const CXError& other) : CXError(kModule) { Copie(other); }

_CXErrorModule76::_CXErrorModule76(const _CXErrorModule76& other) : CXError(kModule) {
  Copie(other);
}

_CXErrorModule76::~_CXErrorModule76() = default;
