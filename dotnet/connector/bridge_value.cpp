#include "dotnet/connector/bridge_value.h"

#include <cstring>

#include "dotnet/connector/dotnet_wrappers.h"
#include "dotnet/connector/host_array.h"
#include "support/currency.h"
#include "support/platform/text16.h"

namespace qgnet {
namespace {

void SetText(OutgoingValue* out, std::u16string text) {
  out->text = std::move(text);
  out->value.text = out->text.c_str();
  out->value.length = static_cast<int32_t>(out->text.size());
}

// The value's text through the module's conversion (code pages for 8-bit
// texts, the invariant number forms for currency and decimals).
bool TextOf(const CAny& any, std::u16string* text) {
  CAny copy(any);
  if (copy.nCastTo(qg::kAnyDSTRW) >= qg::kHostErrorFirst) return false;
  CXYString<char16_t> whole;
  if (copy.nGetDSTRW(&whole) >= qg::kHostErrorFirst) return false;
  text->assign(whole.pszGet(), static_cast<size_t>(whole.nTaille()));
  return true;
}

}  // namespace

bool AnyToBridge(const CAny& any, OutgoingValue* out) {
  BridgeValue& v = out->value;
  v = BridgeValue{};
  v.sink = &out->sink;
  v.code = any.GetType() & 0xF0FF;  // the null marker travels in the flags
  if (any.bEstNull()) {
    v.flags = kBridgeNull;
    return true;
  }
  int code = any.nGetCode();
  switch (code) {
    case qg::kAnyEmpty:
      v.flags = kBridgeNull;
      return true;
    case qg::kAnyBOOL: {
      int32_t b = 0;
      any.nGetBOOL(&b);
      v.i = b;  // the whole word: 256 is true
      return true;
    }
    case qg::kAnyUI1: {
      uint8_t n = 0;
      any.nGetUI1(&n);
      v.i = n;
      return true;
    }
    case qg::kAnyUI2: {
      uint16_t n = 0;
      any.nGetUI2(&n);
      v.i = n;
      return true;
    }
    case qg::kAnyUI4: {
      uint32_t n = 0;
      any.nGetUI4(&n);
      v.i = n;
      return true;
    }
    case qg::kAnyI1: {
      int8_t n = 0;
      any.nGetI1(&n);
      v.i = n;
      return true;
    }
    case qg::kAnyI2: {
      int16_t n = 0;
      any.nGetI2(&n);
      v.i = n;
      return true;
    }
    case qg::kAnyI4: {
      int32_t n = 0;
      any.nGetI4(&n);
      v.i = n;
      return true;
    }
    case qg::kAnyI8:
      any.nGetI8(&v.i);
      return true;
    case qg::kAnyUI8: {
      uint64_t n = 0;
      any.nGetUI8(&n);
      v.i = static_cast<int64_t>(n);
      return true;
    }
    case qg::kAnyUIX: {
      intptr_t n = 0;
      any.nGetUIX(&n);
      v.i = n;
      return true;
    }
    case qg::kAnyR4: {
      float f = 0;
      any.nGetR4(&f);
      v.r = f;
      return true;
    }
    case qg::kAnyR8:
      any.nGetR8(&v.r);
      return true;
    case qg::kAnyCY: {
      // The currency's own 80-bit integer (the amount times 10^6): i its
      // low 64 bits, i2 its high 16 bits sign-extended; .NET builds the
      // decimal with scale 6 from them.
      qg::Fixe6 amount{};
      if (any.nGetCY(&amount) != 0) {
        v.code = 0;
        v.flags = kBridgeNull;
        return false;
      }
      uint64_t low = 0;
      for (int w = 3; w >= 0; --w) low = (low << 16) | amount.aw[w];
      v.i = static_cast<int64_t>(low);
      v.i2 = static_cast<int16_t>(amount.aw[4]);
      return true;
    }
    case qg::kAnyDECIMAL: {
      std::u16string text;
      if (!TextOf(any, &text)) {
        v.code = 0;
        v.flags = kBridgeNull;
        return false;
      }
      SetText(out, std::move(text));
      return true;
    }
    case qg::kAnyDSTRW: case qg::kAnyPSTRW: case qg::kAnyDSTRA: case 18: {
      // A dynamic string crosses whole, U+0000 included; PSTRW and PSTRA
      // end at their terminator.
      if (code == qg::kAnyDSTRW) {
        CXYString<char16_t> whole;
        any.nGetDSTRW(&whole);
        SetText(out, std::u16string(whole.pszGet(), static_cast<size_t>(whole.nTaille())));
        return true;
      }
      if (code == qg::kAnyPSTRW) {
        const char16_t* p = nullptr;
        any.nGetPCXSTR(&p);
        SetText(out, p != nullptr ? p : u"");
        return true;
      }
      std::u16string text;
      if (!TextOf(any, &text)) return false;
      SetText(out, std::move(text));
      return true;
    }
    case qg::kAnyCARW: {
      char16_t c = 0;
      any.nGetCARW(&c);
      v.i = c;
      return true;
    }
    case qg::kAnyCARA: {
      // Through the module's code page: 0x80-0xFF are not Latin-1 here.
      CAny copy(any);
      char16_t c = 0;
      if (copy.nCastTo(qg::kAnyCARW) >= qg::kHostErrorFirst || copy.nGetCARW(&c) != 0) {
        char a = 0;
        any.nGetCARA(&a);
        c = static_cast<unsigned char>(a);
      }
      v.i = c;
      return true;
    }
    case qg::kAnyDATEW: case qg::kAnyTIMEW: case qg::kAnyDATEA: case qg::kAnyTIMEA:
    case qg::kAnyDATETIME: {
      CAny copy(any);
      if (code != qg::kAnyDATETIME && copy.nCastTo(qg::kAnyDATETIME) >= qg::kHostErrorFirst) {
        v.code = 0;
        v.flags = kBridgeNull;
        return false;
      }
      qg::AnyDateTime dt{};
      copy.nGetDATETIME(&dt);
      v.code = qg::kAnyDATETIME;
      v.i = (static_cast<int64_t>(dt.nYear) << 16) | (static_cast<int64_t>(dt.nMonth) << 8) |
            dt.nDay;
      // A date alone is that day at midnight (the cast would add the time
      // of day it runs at).
      v.i2 = code == qg::kAnyDATEW || code == qg::kAnyDATEA ? 0 : dt.nMilliseconds;
      return true;
    }
    case qg::kAnyDUREE:
      any.nGetDUREE(&v.i);
      return true;
    default:
      // No .NET form: a value-type parameter refuses it.
      return false;
  }
}

void InstanceToBridge(IDotNetInstance* instance, OutgoingValue* out) {
  out->value = BridgeValue{};
  out->value.sink = &out->sink;
  out->value.code = 72;
  out->value.object = instance != nullptr ? static_cast<CDotNetInstance*>(instance)->Object() : 0;
  if (out->value.object == 0) out->value.flags = kBridgeNull;
}

void StackToBridge(CSLevel* stack, int32_t depth, OutgoingValue* out) {
  if (IDotNetInstance* instance = stack->piGetInstance(depth)) {
    InstanceToBridge(instance, out);
    return;
  }
  if (CTableauHote* array = stack->pclGetTableau(depth)) {
    out->value = BridgeValue{};
    out->value.sink = &out->sink;
    out->value.code = 4130;
    out->value.object = reinterpret_cast<ManagedId>(array);
    return;
  }
  CAny* any = stack->pclGetValeur(depth);
  if (any == nullptr) {
    out->value = BridgeValue{};
    out->value.sink = &out->sink;
    out->value.flags = kBridgeNull;
    return;
  }
  AnyToBridge(*any, out);
}

bool BridgeToAny(BridgeValue* value, const StringSink& sink_in, CAny* any,
                 IDotNetInstance** instance) {
  StringSink pinned;
  if (sink_in.empty() && value->text != nullptr && value->length > 0) {
    pinned.assign(value->text, static_cast<size_t>(value->length));
  }
  const StringSink& sink = pinned.empty() ? sink_in : pinned;
  if (instance != nullptr) *instance = nullptr;
  CAny& a = *any;
  if ((value->flags & kBridgeNull) != 0 || value->code == 0) {
    if ((value->code & 0xFF) == 34 && value->object != 0) {
      delete reinterpret_cast<CTableauHote*>(value->object);
      value->object = 0;
    }
    a = CAny();
    a.SetNull(true);
    return true;
  }
  switch (value->code & 0xFFFF) {
    case qg::kAnyBOOL: a.SetBOOL(value->i != 0 ? 1 : 0); return true;
    case qg::kAnyUI1: a.SetUI1(static_cast<uint8_t>(value->i)); return true;
    case qg::kAnyUI2: a.SetUI2(static_cast<uint16_t>(value->i)); return true;
    case qg::kAnyUI4: a.SetUI4(static_cast<uint32_t>(value->i)); return true;
    case qg::kAnyUI8: a.SetUI8(static_cast<uint64_t>(value->i)); return true;
    case qg::kAnyI1: a.SetI1(static_cast<int8_t>(value->i)); return true;
    case qg::kAnyI2: a.SetI2(static_cast<int16_t>(value->i)); return true;
    case qg::kAnyI4: case qg::kAnyI4Alias: a.SetI4(static_cast<int32_t>(value->i)); return true;
    case qg::kAnyI8: a.SetI8(value->i); return true;
    case qg::kAnyR4: a.SetR4(static_cast<float>(value->r)); return true;
    case qg::kAnyR8: a.SetR8(value->r); return true;
    case qg::kAnyCARW: a.SetCARW(static_cast<char16_t>(value->i)); return true;
    case qg::kAnyDUREE: a.SetDUREE(value->i); return true;
    case qg::kAnyDSTRW: return a.SetDSTRW(sink.c_str(), static_cast<int>(sink.size())) == 0;
    case qg::kAnyDSTRA: {
      if (a.SetDSTRW(sink.c_str(), static_cast<int>(sink.size())) != 0) return false;
      return a.nCastTo(qg::kAnyDSTRA) < qg::kHostErrorFirst;
    }
    case qg::kAnyDECIMAL: {
      if (a.SetDSTRW(sink.c_str(), static_cast<int>(sink.size())) != 0) return false;
      return a.nCastTo(qg::kAnyDECIMAL) < qg::kHostErrorFirst;
    }
    case qg::kAnyDATETIME: {
      qg::AnyDateTime dt{};
      dt.nYear = static_cast<uint16_t>(value->i >> 16);
      dt.nMonth = static_cast<uint8_t>((value->i >> 8) & 0xFF);
      dt.nDay = static_cast<uint8_t>(value->i & 0xFF);
      dt.nMilliseconds = static_cast<uint32_t>(value->i2);
      a.SetDATETIME(dt);
      return true;
    }
    case 72: {
      if (instance == nullptr) return false;
      const ManagedTable* clr = ClrIfStarted();
      ManagedRef type(clr->ObjectType(value->object));
      auto* type_wrapper = new CDotNetType(type.release());
      *instance = new CDotNetInstance(type_wrapper, value->object);
      type_wrapper->vRelease();
      value->object = 0;
      return true;
    }
    default:
      if ((value->code & 0xFF) == 34 && value->object != 0) {
        // An array where no array can go: dropped.
        delete reinterpret_cast<CTableauHote*>(value->object);
        value->object = 0;
      }
      return false;
  }
}

bool PushBridge(CSLevel* stack, BridgeValue* value, const StringSink& sink) {
  if (int pushed = PushFixed(stack, *value); pushed >= 0) return pushed == 1;
  uint16_t code = value->code & 0xFF;
  if ((value->flags & kBridgeNull) == 0 && (code == 34) && value->object != 0) {
    auto* array = reinterpret_cast<CTableauHote*>(value->object);
    value->object = 0;
    return stack->bEmpileTableau(array);
  }
  CAny any;
  IDotNetInstance* instance = nullptr;
  if (!BridgeToAny(value, sink, &any, &instance)) return false;
  if (instance != nullptr) return stack->bEmpileInstance(instance);
  return stack->bEmpile(any);
}

}  // namespace qgnet
