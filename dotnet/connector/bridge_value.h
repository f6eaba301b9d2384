// Host values (CAny and .NET instances on the host stack) to and from the
// BridgeValue records the managed conversions read and fill.
#ifndef QG_DOTNET_CONNECTOR_BRIDGE_VALUE_H_
#define QG_DOTNET_CONNECTOR_BRIDGE_VALUE_H_

#include <cstring>
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
inline bool FixedToBridge(const CAny& any, StringSink* sink, BridgeValue* v) {
  uint16_t word = any.GetType();
  if ((word & qg::kAnyFlagNull) != 0) return false;
  const void* p = any.pValeur();
  BridgeValue out{};
  out.code = word & 0xF0FF;
  out.sink = sink;
  switch (word & 0xFF) {
    case qg::kAnyBOOL: case qg::kAnyI4: {
      int32_t n;
      std::memcpy(&n, p, sizeof(n));
      out.i = n;
      break;
    }
    case qg::kAnyUI1: out.i = *static_cast<const uint8_t*>(p); break;
    case qg::kAnyI1: out.i = *static_cast<const int8_t*>(p); break;
    case qg::kAnyUI2: {
      uint16_t n;
      std::memcpy(&n, p, sizeof(n));
      out.i = n;
      break;
    }
    case qg::kAnyI2: {
      int16_t n;
      std::memcpy(&n, p, sizeof(n));
      out.i = n;
      break;
    }
    case qg::kAnyUI4: {
      uint32_t n;
      std::memcpy(&n, p, sizeof(n));
      out.i = n;
      break;
    }
    case qg::kAnyI8: case qg::kAnyUI8: case qg::kAnyUIX:
      std::memcpy(&out.i, p, sizeof(out.i));
      break;
    case qg::kAnyR4: {
      float f;
      std::memcpy(&f, p, sizeof(f));
      out.r = f;
      break;
    }
    case qg::kAnyR8:
      std::memcpy(&out.r, p, sizeof(out.r));
      break;
    default:
      return false;
  }
  *v = out;
  return true;
}
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

// The common results (Int32, Int64, Double, Boolean) set in place in a new
// stack value, without the general conversion: 1 pushed, 0 the stack
// refused, -1 not one of them (PushBridge takes it).
inline int PushFixed(CSLevel* stack, const BridgeValue& value) {
  if (value.flags != 0) return -1;
  int code = value.code & 0xFFFF;
  if (code != qg::kAnyI4 && code != qg::kAnyI8 && code != qg::kAnyR8 && code != qg::kAnyBOOL) {
    return -1;
  }
  CAny* slot = stack->pclEmpileValeur();
  if (slot == nullptr) return 0;
  if (slot->GetType() == code) {
    // The host's slot holds a value of this type, flags clear: its value
    // area is written as the setter would.
    switch (code) {
      case qg::kAnyI4: {
        int32_t n = static_cast<int32_t>(value.i);
        std::memcpy(slot->pValeur(), &n, sizeof(n));
        return 1;
      }
      case qg::kAnyI8: std::memcpy(slot->pValeur(), &value.i, sizeof(value.i)); return 1;
      case qg::kAnyR8: std::memcpy(slot->pValeur(), &value.r, sizeof(value.r)); return 1;
      default: break;
    }
  }
  switch (code) {
    case qg::kAnyI4: slot->SetI4(static_cast<int32_t>(value.i)); break;
    case qg::kAnyI8: slot->SetI8(value.i); break;
    case qg::kAnyR8: slot->SetR8(value.r); break;
    default: slot->SetBOOL(value.i != 0 ? 1 : 0); break;
  }
  return 1;
}

}  // namespace qgnet

#endif  // QG_DOTNET_CONNECTOR_BRIDGE_VALUE_H_
