#include "driver/core/value_bridge.h"

#include <charconv>
#include <cstdlib>
#include <string>

#include "driver/core/support/sortable_key.h"
#include "support/any_holders.h"
#include "support/frame/module_services.h"

int nNAConvertType(CAny& value, int type) { return value.nConvertType(type); }

int nNACompare(const CAny& a, const CAny& b, int32_t* result) { return a.nCompare(b, result); }

int nNAEqual(const CAny& a, const CAny& b, int32_t* result) {
  if (a.bEstNull() || b.bEstNull()) return qg::kAnyNull;
  return qg::CallCalc(qg::kCalcEgalite, a.pValeur(), a.GetType(), b.pValeur(), b.GetType(),
                      result);
}

int nNADifferent(const CAny& a, const CAny& b, int32_t* result) {
  int32_t equal = 0;
  int status = nNAEqual(a, b, &equal);
  if (status < qg::kHostErrorFirst) *result = equal ? 0 : 1;
  return status;
}

int nNAConvertText(const char16_t* text, void* destination, int type) {
  return qg::CallConversion(&text, qg::kAnyPSTRW, destination, type);
}

ptrdiff_t nAnyToKeyImage(const CAny& value, uint8_t** destination, size_t size, int type,
                         int digits, int scale) {
  bool allocate = size == 0;
  if (allocate) *destination = nullptr;
  CAny copy(value);
  // Null keys are encoded as empty texts.
  if (copy.bEstNull() || copy.bEstVide()) copy.SetPSTRW(nullptr);
  if (type == 0) type = copy.nGetCode();
  if (copy.nConvertType(type) >= qg::kHostErrorFirst) return kNAKeyNotConverted;
  if (copy.nGetCode() != (type == qg::kAnyI4Alias ? qg::kAnyI4 : type)) return kNAKeyNotConverted;

  CAny_Intern* holder = copy.pclHolder();
  const void* source = nullptr;
  int length = 0;
  uint8_t decimal_form[qg::kDecimalFormSize];
  if (type == qg::kAnyDECIMAL) {
    // The decimal object's number fields, in their 18-byte form.
    if (holder->vnCopieAvecFin(decimal_form) == qg::kAnyOk) {
      source = decimal_form;
      length = qg::kDecimalFormSize;
    }
  } else if (holder->vnGetTexte(&source) != qg::kAnyOk ||
             holder->vnGetTailleSansFin(&length) != qg::kAnyOk || length < 0) {
    source = nullptr;
    length = 0;
  }
  size_t n = static_cast<size_t>(length);
  switch (type) {
    case qg::kAnyBOOL: n = 1; break;
    case qg::kAnyDSTRW: case qg::kAnyPSTRW: n += 2; break;  // the terminator
    case qg::kAnyPSTRA: case qg::kAnyDSTRA: n += 1; break;
    default: break;
  }

  if (allocate) {
    size = nSortableKeySize(type, n);
    if (size == 0) return 0;
    *destination = static_cast<uint8_t*>(std::malloc(size));
    if (*destination == nullptr) return 0;
  }
  int storage_class = nHostTypeToStorageClass(nHostTypeToInternalType(type));
  size_t written = nEncodeSortableKey(*destination, size, source, n, storage_class, digits, scale);
  if (allocate && written == 0) {
    std::free(*destination);
    *destination = nullptr;
  }
  return static_cast<ptrdiff_t>(written);
}

ptrdiff_t nAnyToKeyBuffer(const CAny& value, uint8_t* destination, size_t size, int type,
                          int digits, int scale) {
  if (destination == nullptr || size == 0) return 0;
  return nAnyToKeyImage(value, &destination, size, type, digits, scale);
}

namespace {

constexpr int kBinaryDumpLimit = 500;

void AppendAscii(std::u16string& out, const char* text) {
  for (; *text != 0; ++text) out.push_back(static_cast<char16_t>(*text));
}

void AppendNumber(std::u16string& out, int n) {
  char digits[16];
  auto r = std::to_chars(digits, digits + sizeof(digits), n);
  out.append(digits, r.ptr);
}

}  // namespace

int nNAValueText(CXYString<char16_t>& out, const char16_t* prefix, const CAny* value,
                 bool detail) {
  std::u16string text;
  if (prefix != nullptr) text = prefix;
  if (value == nullptr) {
    AppendAscii(text, "<NULL>");
    return out.nAffecteLongueur(text.data(), static_cast<int>(text.size()));
  }
  if (value->bEstVide()) {
    AppendAscii(text, "<Empty>");
    return out.nAffecteLongueur(text.data(), static_cast<int>(text.size()));
  }
  const CAny_Intern* holder = value->pclHolder();
  int size = 0;
  bool has_size = holder->vnGetTailleAvecFin(&size) == qg::kAnyOk;
  if (detail) {
    AppendAscii(text, "Type=");
    AppendNumber(text, value->nGetCode());
    AppendAscii(text, ", Len=");
    AppendNumber(text, has_size ? size : 0);
    AppendAscii(text, ", Value=");
  }
  if (value->bEstNull()) {
    AppendAscii(text, "<NULL>");
  } else {
    CAny copy(*value);
    const char16_t* converted = nullptr;
    if (copy.nConvertType(qg::kAnyPSTRW) >= qg::kHostErrorFirst ||
        copy.nGetCode() != qg::kAnyPSTRW || copy.nGetPSTRW(&converted) != qg::kAnyOk) {
      AppendAscii(text, "<ERROR>");
    } else if (converted != nullptr) {
      text += converted;
    }
  }
  const void* address = nullptr;
  if (detail && has_size && size > 0 && holder->vnGetTexte(&address) == qg::kAnyOk &&
      address != nullptr) {
    static const char kHex[] = "0123456789ABCDEF";
    AppendAscii(text, ", Value(binary)=");
    if (size > kBinaryDumpLimit) {
      AppendAscii(text, "(first 500 bytes only) ");
      size = kBinaryDumpLimit;
    }
    const auto* bytes = static_cast<const uint8_t*>(address);
    for (int i = 0; i < size; ++i) {
      text.push_back(static_cast<char16_t>(kHex[bytes[i] >> 4]));
      text.push_back(static_cast<char16_t>(kHex[bytes[i] & 0x0F]));
    }
  }
  return out.nAffecteLongueur(text.data(), static_cast<int>(text.size()));
}
