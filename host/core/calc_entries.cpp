#include "host/core/calc_entries.h"

#include <atomic>
#include <charconv>
#include <cstring>
#include <string>

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

std::u16string Widen(const char* text, size_t n) {
  std::u16string out;
  for (size_t k = 0; k < n; ++k) out.push_back(static_cast<unsigned char>(text[k]));
  return out;
}

std::u16string NumberText(const Value& v) {
  char buffer[64];
  std::to_chars_result r;
  if (v.kind == Value::kSigned) {
    r = std::to_chars(buffer, buffer + sizeof(buffer), v.i);
  } else if (v.kind == Value::kUnsigned) {
    r = std::to_chars(buffer, buffer + sizeof(buffer), v.u);
  } else {
    r = std::to_chars(buffer, buffer + sizeof(buffer), v.r);
  }
  return Widen(buffer, static_cast<size_t>(r.ptr - buffer));
}

// A text read as a number: a plain decimal integer when it is one, else a
// real; 0 when it is neither.
Value ParseNumber(const std::u16string& text) {
  std::string narrow;
  for (char16_t c : text) {
    if (c > 0x7F) break;
    narrow.push_back(static_cast<char>(c));
  }
  size_t start = narrow.find_first_not_of(" \t");
  size_t end = narrow.find_last_not_of(" \t");
  Value out;
  out.kind = Value::kSigned;
  if (start == std::string::npos) return out;
  const char* first = narrow.data() + start;
  const char* last = narrow.data() + end + 1;
  if (*first == '+') ++first;
  int64_t i = 0;
  auto ri = std::from_chars(first, last, i);
  if (ri.ec == std::errc() && ri.ptr == last) {
    out.i = i;
    return out;
  }
  double r = 0;
  auto rr = std::from_chars(first, last, r);
  if (rr.ec == std::errc() && rr.ptr == last) {
    out.kind = Value::kReal;
    out.r = r;
  }
  return out;
}

// A new host string holding `text`; null for the empty text.
int32_t NewDstrW(const std::u16string& text, char16_t** out) {
  *out = nullptr;
  if (text.empty()) return 0;
  int32_t bytes = static_cast<int32_t>(text.size() * 2);
  void* p = nullptr;
  int32_t status = Runtime().Strings().nAllocate(&p, bytes, 0);
  if (status >= qg::kHostErrorFirst) return status;
  auto* t = static_cast<char16_t*>(p);
  text.copy(t, text.size());
  t[text.size()] = 0;
  qg::XYHeaderOf(p)->nLength = bytes;
  *out = t;
  return 0;
}

template <typename T>
void StoreNumber(void* dst, const Value& v) {
  T out;
  if (v.kind == Value::kReal) {
    out = static_cast<T>(v.r);
  } else if (v.kind == Value::kUnsigned) {
    out = static_cast<T>(v.u);
  } else {
    out = static_cast<T>(v.i);
  }
  std::memcpy(dst, &out, sizeof(T));
}

bool StoreNumberOfType(void* dst, int32_t code, const Value& v) {
  switch (code) {
    case kBool: case kI4: case kI4Alias: StoreNumber<int32_t>(dst, v); return true;
    case kI1: StoreNumber<int8_t>(dst, v); return true;
    case kI2: StoreNumber<int16_t>(dst, v); return true;
    case kI8: StoreNumber<int64_t>(dst, v); return true;
    case kUIX: StoreNumber<intptr_t>(dst, v); return true;
    case kUI1: StoreNumber<uint8_t>(dst, v); return true;
    case kUI2: StoreNumber<uint16_t>(dst, v); return true;
    case kUI4: StoreNumber<uint32_t>(dst, v); return true;
    case kUI8: StoreNumber<uint64_t>(dst, v); return true;
    case kR4: StoreNumber<float>(dst, v); return true;
    case kR8: StoreNumber<double>(dst, v); return true;
    default: return false;
  }
}

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
                                 int32_t destination_type, int32_t, intptr_t) {
  Runtime().CountConversion();
  Value v;
  if (destination == nullptr || !Read(source, source_type, &v)) return kStatusUnsupported;
  int32_t code = destination_type & 0xFF;
  if (IsDstrW(code)) {
    std::u16string text;
    if (v.kind == Value::kText) {
      text = v.text;
    } else if (IsNumber(v)) {
      text = NumberText(v);
    }
    char16_t* out = nullptr;
    int32_t status = NewDstrW(text, &out);
    if (status >= qg::kHostErrorFirst) return status;
    std::memcpy(destination, &out, sizeof(out));
    return 0;
  }
  if (v.kind == Value::kText) v = ParseNumber(v.text);
  if (v.kind == Value::kNull) v.kind = Value::kSigned;
  return StoreNumberOfType(destination, code, v) ? 0 : kStatusUnsupported;
}

void FinConversion(void* destination, int32_t type) {
  if (destination == nullptr || !IsDstrW(type & 0xFF)) return;
  char16_t* text = Load<char16_t*>(destination);
  if (text == nullptr) return;
  std::memset(destination, 0, sizeof(text));
  qg::XYHeader* header = qg::XYHeaderOf(text);
  if (std::atomic_ref<int32_t>(header->nRefCount).fetch_sub(1) == 1) {
    Runtime().Strings().nFree(text);
  }
}

}  // namespace qghost
