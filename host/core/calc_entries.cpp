#include "host/core/calc_entries.h"

#include <atomic>
#include <charconv>
#include <cstring>
#include <string>

#include "dotnet/convert/conversion_dispatch.h"
#include "host/core/host_runtime.h"
#include "support/frame/module_services.h"
#include "support/xystring.h"

namespace qghost {

namespace {

constexpr int32_t kNullFlag = 0x100;

enum Type : int32_t {
  kBool = 1, kUI1 = 2, kUI2 = 3, kUI4 = 4, kUI8 = 5, kI1 = 6, kI2 = 7, kI4 = 8, kI8 = 9,
  kR4 = 11, kR8 = 12, kUIX = 14, kI4Alias = 15, kDstrW = 16, kCara = 17, kPstrA = 18,
  kDstrA = 19, kCarW = 81, kPstrW = 110, kDstrW148 = 148, kDstrW149 = 149,
};

struct Value {
  enum Kind { kNull, kSigned, kUnsigned, kReal, kText } kind = kNull;
  int64_t i = 0;
  uint64_t u = 0;
  double r = 0;
  std::u16string text;
};

template <typename T>
T Load(const void* p) {
  T v;
  std::memcpy(&v, p, sizeof(T));
  return v;
}

bool IsDstrW(int32_t code) { return code == kDstrW || code == kDstrW148 || code == kDstrW149; }

bool Read(const void* p, int32_t type_word, Value* out) {
  if (type_word & kNullFlag) {
    out->kind = Value::kNull;
    return true;
  }
  if (p == nullptr) return false;
  int32_t code = type_word & 0xFF;
  switch (code) {
    case kBool: case kI4: case kI4Alias:
      out->kind = Value::kSigned; out->i = Load<int32_t>(p); return true;
    case kI1: out->kind = Value::kSigned; out->i = Load<int8_t>(p); return true;
    case kI2: out->kind = Value::kSigned; out->i = Load<int16_t>(p); return true;
    case kI8: out->kind = Value::kSigned; out->i = Load<int64_t>(p); return true;
    case kUIX: out->kind = Value::kSigned; out->i = Load<intptr_t>(p); return true;
    case kUI1: out->kind = Value::kUnsigned; out->u = Load<uint8_t>(p); return true;
    case kUI2: out->kind = Value::kUnsigned; out->u = Load<uint16_t>(p); return true;
    case kUI4: out->kind = Value::kUnsigned; out->u = Load<uint32_t>(p); return true;
    case kUI8: out->kind = Value::kUnsigned; out->u = Load<uint64_t>(p); return true;
    case kR4: out->kind = Value::kReal; out->r = Load<float>(p); return true;
    case kR8: out->kind = Value::kReal; out->r = Load<double>(p); return true;
    case kCarW: out->kind = Value::kText; out->text.assign(1, Load<char16_t>(p)); return true;
    case kCara:
      out->kind = Value::kText;
      out->text.assign(1, static_cast<char16_t>(Load<unsigned char>(p)));
      return true;
    case kPstrW: {
      const char16_t* t = Load<const char16_t*>(p);
      out->kind = Value::kText;
      out->text = t != nullptr ? std::u16string(t) : std::u16string();
      return true;
    }
    case kPstrA: {
      const char* t = Load<const char*>(p);
      out->kind = Value::kText;
      out->text.clear();
      for (; t != nullptr && *t != 0; ++t) out->text.push_back(static_cast<unsigned char>(*t));
      return true;
    }
    case kDstrA: {
      const char* t = Load<const char*>(p);
      out->kind = Value::kText;
      out->text.clear();
      if (t != nullptr) {
        int32_t n = qg::XYHeaderOf(t)->nLength;
        for (int32_t k = 0; k < n; ++k) out->text.push_back(static_cast<unsigned char>(t[k]));
      }
      return true;
    }
    default:
      if (IsDstrW(code)) {
        const char16_t* t = Load<const char16_t*>(p);
        out->kind = Value::kText;
        out->text.clear();
        if (t != nullptr) out->text.assign(t, static_cast<size_t>(qg::XYHeaderOf(t)->nLength / 2));
        return true;
      }
      return false;
  }
}

bool IsNumber(const Value& v) {
  return v.kind == Value::kSigned || v.kind == Value::kUnsigned || v.kind == Value::kReal;
}

template <typename T>
int Sign(T a, T b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

// -1, 0, 1; false for a pair that does not compare.
bool Compare(const Value& a, const Value& b, int* order) {
  if (a.kind == Value::kNull || b.kind == Value::kNull) {
    *order = (a.kind == Value::kNull ? 0 : 1) - (b.kind == Value::kNull ? 0 : 1);
    return true;
  }
  if (a.kind == Value::kText && b.kind == Value::kText) {
    int c = a.text.compare(b.text);
    *order = c < 0 ? -1 : (c > 0 ? 1 : 0);
    return true;
  }
  if (!IsNumber(a) || !IsNumber(b)) return false;
  if (a.kind == Value::kReal || b.kind == Value::kReal) {
    auto as_real = [](const Value& v) {
      return v.kind == Value::kReal ? v.r
             : v.kind == Value::kSigned ? static_cast<double>(v.i) : static_cast<double>(v.u);
    };
    *order = Sign(as_real(a), as_real(b));
    return true;
  }
  auto as_wide = [](const Value& v) {
    return v.kind == Value::kSigned ? static_cast<__int128>(v.i) : static_cast<__int128>(v.u);
  };
  *order = Sign(as_wide(a), as_wide(b));
  return true;
}

void StoreInt32(void* result, int32_t v) {
  if (result != nullptr) std::memcpy(result, &v, sizeof(v));
}

// The engine reads the module-wide services; a host binary that has none
// installed lends it its own for the length of one call.
class ServicesDuHote {
 public:
  ServicesDuHote() : saved_(qg::Services()) {
    qg::ModuleServices& s = qg::Services();
    if (s.piStringMemory == nullptr) s.piStringMemory = &Runtime().Strings();
    if (s.piInfoLocale == nullptr) s.piInfoLocale = &Runtime().Locale();
    if (s.piValueObjects == nullptr) s.piValueObjects = &Runtime().Values();
  }
  ~ServicesDuHote() {
    qg::ModuleServices& s = qg::Services();
    s.piStringMemory = saved_.piStringMemory;
    s.piInfoLocale = saved_.piInfoLocale;
    s.piValueObjects = saved_.piValueObjects;
  }

 private:
  qg::ModuleServices saved_;
};

}  // namespace

int32_t CalcEntry(int index, const void* a, int32_t type_a, const void* b, int32_t type_b,
                  void* result) {
  Runtime().CountCalc(index);
  Value va;
  Value vb;
  switch (index) {
    case qg::kCalcCanCompare: {
      int order = 0;
      bool ok = Read(a, type_a, &va) && Read(b, type_b, &vb) && Compare(va, vb, &order);
      StoreInt32(result, ok ? 1 : 0);
      return 0;
    }
    case qg::kCalcComparaison:
    case qg::kCalcEgalite: {
      int order = 0;
      if (!Read(a, type_a, &va) || !Read(b, type_b, &vb) || !Compare(va, vb, &order)) {
        return kStatusUnsupported;
      }
      StoreInt32(result, index == qg::kCalcComparaison ? order : (order == 0 ? 1 : 0));
      return 0;
    }
    default:
      return kStatusUnsupported;
  }
}

int32_t ConversionDepassementExt(const void* source, int32_t source_type, void* destination,
                                 int32_t destination_type, int32_t option, intptr_t reserved) {
  Runtime().CountConversion();
  if (destination == nullptr) return kStatusUnsupported;
  ServicesDuHote services;
  // Type words: the code is the low byte. `reserved` points to a code page
  // or is 0. Callers pass option 1 also for sources they keep (a value's
  // text is read this way): a BIN source is copied, never taken over.
  return nConversionDepassement(source, source_type & 0xFF, destination, destination_type & 0xFF,
                                option & ~qg::CONVERSION_DEPLACE_SOURCE,
                                reinterpret_cast<const int32_t*>(reserved));
}

void FinConversion(void* destination, int32_t type) {
  if (destination == nullptr) return;
  ServicesDuHote services;
  nLibereValeurTemporaire(destination, type & 0xFF);
}

}  // namespace qghost
