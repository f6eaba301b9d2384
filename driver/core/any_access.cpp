#include "driver/core/any_access.h"

int nNAGetI4(const CAny& value, int32_t* out) {
  uint16_t word = value.GetType();
  if (word != qg::kAnyBOOL && word != qg::kAnyUI4 && word != qg::kAnyI4) return qg::kAnyWrongType;
  // BOOL, UI4 and I4 all hold 32 bits in place.
  return value.pclHolder()->vnGetValeur(out);
}

namespace {

int nCheck(const CAny& value, int code) {
  if (value.bEstNull()) return qg::kAnyNull;
  if (value.nGetCode() != code) return qg::kAnyWrongType;
  return qg::kAnyOk;
}

}  // namespace

int nNAGetUUID_128(const CAny& value, uint8_t out[16]) {
  int status = nCheck(value, qg::kAnyUUID_128);
  if (status != qg::kAnyOk) return status;
  return value.pclHolder()->vnGetValeur(out);
}

int nNAGetUUID_256(const CAny& value, uint8_t out[32]) {
  int status = nCheck(value, qg::kAnyUUID_256);
  if (status != qg::kAnyOk) return status;
  // The holder keeps a host-shared block; this copies its 32 bytes (zero
  // bytes while it is empty).
  return value.pclHolder()->vnCopieAvecFin(out);
}

int nNASetDSTRW(CAny& value, const char16_t* text) {
  if (text == nullptr) text = u"";
  return value.SetDSTRW(text, -1);
}

uint16_t nNASetNull(CAny& value, bool null) {
  uint16_t before = value.GetType() & ~qg::kAnyFlagNull;
  value.SetNull(null);
  return before;
}
