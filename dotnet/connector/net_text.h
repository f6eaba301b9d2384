// UTF-8 <-> UTF-16 for paths and runtime texts of the connector.
#ifndef QG_DOTNET_CONNECTOR_NET_TEXT_H_
#define QG_DOTNET_CONNECTOR_NET_TEXT_H_

#include <string>

namespace qgnet {

std::u16string U16(const std::string& text);
std::string U8(const std::u16string& text);
std::string U8(const char16_t* text);  // null reads as empty

}  // namespace qgnet

#endif  // QG_DOTNET_CONNECTOR_NET_TEXT_H_
