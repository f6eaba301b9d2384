// Host values (CAny and .NET instances on the host stack) to and from the
// BridgeValue records the managed conversions read and fill.
#ifndef QG_DOTNET_CONNECTOR_BRIDGE_VALUE_H_
#define QG_DOTNET_CONNECTOR_BRIDGE_VALUE_H_

#include <string>

#include "dotnet/connector/clr_bridge.h"
#include "dotnet/connector/host_dotnet.h"
#include "support/any.h"

namespace qgnet {

// One value handed to .NET, with the storage its texts point into.
struct OutgoingValue {
  BridgeValue value{};
  std::u16string text;   // input text
  StringSink sink;       // output text (write-back, results)
};

// Fills out from a host value; false for a code that has no .NET form
// (the value then crosses as null, which a value-type parameter refuses).
bool AnyToBridge(const CAny& any, OutgoingValue* out);
// The common fixed-size values (integers, BOOL, R4, R8) read straight from
// their value area into a whole record, as AnyToBridge fills it, sink
// included; false for any other value (null included), which AnyToBridge
// then takes.
bool FixedToBridge(const CAny& any, StringSink* sink, BridgeValue* v);
// A .NET instance of the host stack.
void InstanceToBridge(IDotNetInstance* instance, OutgoingValue* out);
// The value at a stack depth.
void StackToBridge(CSLevel* stack, int32_t depth, OutgoingValue* out);

// A value back from .NET. Objects (code 72) become a new instance that
// takes over the handle (*instance, one reference; null otherwise).
// False when the value cannot be represented.
bool BridgeToAny(BridgeValue* value, const StringSink& sink, CAny* any,
                 IDotNetInstance** instance);

// Pushes a value back from .NET onto the host stack.
bool PushBridge(CSLevel* stack, BridgeValue* value, const StringSink& sink);

}  // namespace qgnet

#endif  // QG_DOTNET_CONNECTOR_BRIDGE_VALUE_H_
