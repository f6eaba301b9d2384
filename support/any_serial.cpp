#include "support/any_serial.h"

#include <cstring>
#include <string>

#include "support/any.h"
#include "support/any_holders.h"
#include "support/platform/text16.h"

namespace qg {

bool CByteVectorSink::bEcrit(const void* data, size_t n) {
  const auto* p = static_cast<const uint8_t*>(data);
  m_aby.insert(m_aby.end(), p, p + n);
  return true;
}

bool CByteVectorSink::bReecrit(size_t position, const void* data, size_t n) {
  if (position > m_aby.size() || n > m_aby.size() - position) return false;
  std::memcpy(m_aby.data() + position, data, n);
  return true;
}

bool CByteSpanSource::bLit(void* data, size_t n) {
  if (n > m_n - m_pos) return false;
  if (n > 0) std::memcpy(data, m_p + m_pos, n);
  m_pos += n;
  return true;
}

bool bAnyTypeReference(int code) {
  switch (code) {
    case kAnyBUFFER: case kAnyMEMOIMG: case kAnyCONVOYEUR: case kAnyPOLICE:
    case kAnyTABVALANY: case kAnyOBJET_BASE: case kAnyDINO: case kAnyINTERFACE:
    case 135: case 136: case 141: case 142: case kAnyOBJET_ANY: case kAnyOBJET_MDPS:
    case 166: case kAnyVALEUR_EN_ERREUR:
      return true;
    default:
      return false;
  }
}

namespace {

bool IsDstrW(int code) { return code == kAnyDSTRW || code == kAnyDSTRW148 || code == kAnyDSTRW149; }

template <typename T>
bool Ecrit(IByteSink& sink, T v) {
  return sink.bEcrit(&v, sizeof(v));
}

template <typename T>
bool Lit(IByteSource& source, T* v) {
  return source.bLit(v, sizeof(*v));
}

// Reader over the value bytes of a tagged record.
struct Curseur {
  const uint8_t* p;
  size_t n;
  size_t pos = 0;
  size_t Restant() const { return n - pos; }
  const uint8_t* Prend(size_t k) {
    if (k > Restant()) return nullptr;
    const uint8_t* r = p + pos;
    pos += k;
    return r;
  }
};

// Sets the value from bytes through the holder, after a fresh SetType.
void Nouveau(CAny* any, int code) {
  any->SetType(kAnyEmpty);
  any->SetType(code);
}

}  // namespace

}  // namespace qg

using qg::IByteSink;
using qg::IByteSource;

bool CAny::bEcritCourt(IByteSink& sink) const {
  const uint16_t word = GetType();
  if (!qg::Ecrit(sink, word)) return false;
  const int code = word & 0xFF;
  if (code == qg::kAnyEmpty) return true;
  if (qg::bAnyTypeReference(code)) return qg::Ecrit<uint32_t>(sink, 0);
  const CAny_Intern* h = H();
  int size = 0;
  if (h->vnGetTailleAvecFin(&size) != qg::kAnyOk || size < 0) size = 0;
  const void* data = nullptr;
  std::string copy;
  if (size > 0 && h->vnGetTexte(&data) != qg::kAnyOk) {
    // No text address (DECIMAL): the copy with terminator gives the bytes.
    copy.resize(static_cast<size_t>(size));
    if (h->vnCopieAvecFin(copy.data()) != qg::kAnyOk) copy.assign(static_cast<size_t>(size), '\0');
    data = copy.data();
  }
  if (!qg::Ecrit(sink, static_cast<uint32_t>(size))) return false;
  return size == 0 || sink.bEcrit(data, static_cast<size_t>(size));
}

namespace qg {

namespace {

// Sets `any` from the `size` value bytes of a short record of type word
// `word` (not empty). `bytes` is aligned for any value and followed by a 0.
void PoseCourt(CAny* any, uint16_t word, const char* bytes, uint32_t size) {
  const int code = word & 0xFF;
  Nouveau(any, code);
  CAny_Intern* h = any->pclHolder();
  const int n = static_cast<int>(size);
  if (bAnyTypeReference(code)) {
    // A pointer read from a file is never used: the value stays empty.
  } else if (code == kAnyDECIMAL) {
    h->vnSetDepuis(bytes, n);
  } else if (IsDstrW(code) || code == kAnyPSTRW) {
    size_t units = size / 2;
    const auto* text = reinterpret_cast<const char16_t*>(bytes);
    if (units > 0 && text[units - 1] == 0) --units;
    h->vnSetW(text, static_cast<int>(units));
  } else if (code == kAnyDATEW || code == kAnyTIMEW || code == kAnyCARW) {
    // Written as UTF-16 units: taken back as they are.
    h->vnSetDepuis(bytes, n);
  } else if (code == kAnyUIX && (size == 4 || size == 8)) {
    // Pointer-sized here: a 4-byte value (a 32-bit writer's) is signed.
    intptr_t x;
    if (size == 4) {
      int32_t v;
      std::memcpy(&v, bytes, 4);
      x = v;
    } else {
      int64_t v;
      std::memcpy(&v, bytes, 8);
      x = static_cast<intptr_t>(v);
    }
    h->vnSetValeur(&x);
  } else {
    int k = n;
    if ((code == kAnyDSTRA || code == kAnyPSTRA) && k > 0 && bytes[k - 1] == 0) --k;
    h->vnSetA(bytes, k);
  }
  any->pclHolder()->m_wType &= kAnySetterMask;
  any->SetFlags(word);
}

// Value bytes up to this size are copied aside on the stack.
constexpr size_t kCourtLocal = 32;

// The width of the numbers whose value area holds exactly their record's
// bytes (set from a record of that width, the holder copies them as they
// are); 0 for the other types.
size_t LargeurNombre(int code) {
  switch (code) {
    case kAnyUI1: case kAnyI1:
      return 1;
    case kAnyUI2: case kAnyI2:
      return 2;
    case kAnyBOOL: case kAnyUI4: case kAnyI4: case kAnyI4Alias: case kAnyR4:
      return 4;
    case kAnyUI8: case kAnyI8: case kAnyR8: case kAnyDUREE:
      return 8;
    default:
      return 0;
  }
}

// A copy of a width LargeurNombre gives, each one a fixed-size copy.
void CopieNombre(void* to, const void* from, size_t width) {
  switch (width) {
    case 1: std::memcpy(to, from, 1); break;
    case 2: std::memcpy(to, from, 2); break;
    case 4: std::memcpy(to, from, 4); break;
    default: std::memcpy(to, from, 8); break;
  }
}

}  // namespace

bool bLitCourtOctets(CAny& v, const void* data, size_t n, size_t* used) {
  const auto* p = static_cast<const uint8_t*>(data);
  uint16_t word;
  if (n < sizeof(word)) return false;
  std::memcpy(&word, p, sizeof(word));
  if ((word & 0xFF) == kAnyEmpty) {
    v.SetType(kAnyEmpty);  // as Vide: an empty holder, no flags
    v.SetFlags(word);
    *used = sizeof(word);
    return true;
  }
  uint32_t size;
  if (n - sizeof(word) < sizeof(size)) return false;
  std::memcpy(&size, p + sizeof(word), sizeof(size));
  const size_t header = sizeof(word) + sizeof(size);
  if (size > n - header) return false;
  const size_t width = LargeurNombre(word & 0xFF);
  if (width != 0 && size == width) {
    // What PoseCourt does for such a record, without the holder's calls.
    Nouveau(&v, word & 0xFF);
    CopieNombre(v.pValeur(), p + header, width);
    v.pclHolder()->m_wType &= kAnySetterMask;
    v.SetFlags(word);
  } else if (size <= kCourtLocal) {
    alignas(8) char local[kCourtLocal + 1];
    std::memcpy(local, p + header, size);
    local[size] = 0;
    PoseCourt(&v, word, local, size);
  } else {
    const std::string bytes(reinterpret_cast<const char*>(p + header), size);
    PoseCourt(&v, word, bytes.data(), size);
  }
  *used = header + size;
  return true;
}

}  // namespace qg

bool CAny::bLitCourt(IByteSource& source) {
  uint16_t word = 0;
  if (!qg::Lit(source, &word)) return false;
  const int code = word & 0xFF;
  if (code == qg::kAnyEmpty) {
    Vide();
    SetFlags(word);
    return true;
  }
  uint32_t size = 0;
  if (!qg::Lit(source, &size) || size > source.nRestant()) return false;
  std::string bytes(size, '\0');
  if (!source.bLit(bytes.data(), size)) return false;
  qg::PoseCourt(this, word, bytes.data(), size);
  return true;
}

bool CAny::bEcritBalise(IByteSink& sink) const {
  const uint16_t word = GetType();
  const int code = word & 0xFF;
  if (!qg::Ecrit(sink, qg::kAnyTagMarker)) return false;
  const size_t length_at = sink.nPosition();
  if (!qg::Ecrit<uint32_t>(sink, 0)) return false;
  const size_t start = sink.nPosition();
  if (!qg::Ecrit(sink, qg::kAnyTagVersion) || !qg::Ecrit(sink, word)) return false;
  const CAny_Intern* h = H();
  const void* value = h->m_abyValeur;
  bool ok = true;
  switch (code) {
    case qg::kAnyBOOL: case qg::kAnyI4: case qg::kAnyUI4: case qg::kAnyR4:
      ok = sink.bEcrit(value, 4);
      break;
    case qg::kAnyUI1: case qg::kAnyI1: case qg::kAnyCARA:
      ok = sink.bEcrit(value, 1);
      break;
    case qg::kAnyUI2: case qg::kAnyI2: case qg::kAnyCARW:
      ok = sink.bEcrit(value, 2);
      break;
    case qg::kAnyUI8: case qg::kAnyI8: case qg::kAnyDATETIME: case qg::kAnyDUREE: case qg::kAnyR8:
      ok = sink.bEcrit(value, 8);
      break;
    case qg::kAnyUIX: {
      intptr_t v;
      std::memcpy(&v, value, sizeof(v));
      ok = qg::Ecrit(sink, static_cast<int64_t>(v));
      break;
    }
    case qg::kAnyCY:
      ok = sink.bEcrit(value, 10);
      break;
    case qg::kAnyUUID_128:
      ok = sink.bEcrit(value, 16);
      break;
    case qg::kAnyDECIMAL:
    case qg::kAnyUUID_256: {
      uint8_t form[32] = {};
      int size = 0;
      h->vnGetTailleAvecFin(&size);
      h->vnCopieAvecFin(form);
      ok = sink.bEcrit(form, static_cast<size_t>(size));
      break;
    }
    case qg::kAnyDSTRW: case qg::kAnyDSTRW148: case qg::kAnyDSTRW149: case qg::kAnyPSTRW: {
      const char16_t* text = nullptr;
      h->vnGetTexteW(&text);
      ok = sink.bEcrit(text, (qg::StrLen16(text) + 1) * sizeof(char16_t));
      break;
    }
    case qg::kAnyPSTRA: case qg::kAnyDSTRA: {
      const char* text = nullptr;
      h->vnGetTexteA(&text);
      ok = sink.bEcrit(text, std::strlen(text) + 1);
      break;
    }
    case qg::kAnyDATEW: case qg::kAnyTIMEW: case qg::kAnyDATEA: case qg::kAnyTIMEA: {
      const int digits = (code == qg::kAnyDATEW || code == qg::kAnyDATEA) ? 8 : 9;
      char narrow[9] = {};
      for (int i = 0; i < digits; ++i) {
        narrow[i] = code < qg::kAnyDATEA
                        ? static_cast<char>(reinterpret_cast<const char16_t*>(value)[i])
                        : static_cast<const char*>(value)[i];
      }
      ok = sink.bEcrit(narrow, static_cast<size_t>(digits));
      break;
    }
    case qg::kAnyBIN: {
      int size = 0;
      const void* data = nullptr;
      h->vnGetTailleAvecFin(&size);
      h->vnGetTexte(&data);
      ok = size == 0 || sink.bEcrit(data, static_cast<size_t>(size));
      break;
    }
    default:
      break;  // nothing for the other types
  }
  if (!ok) return false;
  const auto length = static_cast<uint32_t>(sink.nPosition() - start);
  return sink.bReecrit(length_at, &length, sizeof(length));
}

bool CAny::bLitBalise(IByteSource& source) {
  uint16_t marker = 0;
  uint32_t length = 0;
  if (!qg::Lit(source, &marker) || marker != qg::kAnyTagMarker) return false;
  if (!qg::Lit(source, &length) || length > source.nRestant() || length < 4) return false;
  std::string record(length, '\0');
  if (!source.bLit(record.data(), length)) return false;
  qg::Curseur c{reinterpret_cast<const uint8_t*>(record.data()), length};
  uint16_t version;
  uint16_t word;
  std::memcpy(&version, c.Prend(2), 2);
  std::memcpy(&word, c.Prend(2), 2);
  if (version == 0 || version > qg::kAnyTagVersion) return false;
  const int code = word & 0xFF;

  // Validate and locate the value before touching this one.
  size_t fixed = 0;
  switch (code) {
    case qg::kAnyBOOL: case qg::kAnyI4: case qg::kAnyUI4: case qg::kAnyR4: fixed = 4; break;
    case qg::kAnyUI1: case qg::kAnyI1: case qg::kAnyCARA: fixed = 1; break;
    case qg::kAnyUI2: case qg::kAnyI2: case qg::kAnyCARW: fixed = 2; break;
    case qg::kAnyUI8: case qg::kAnyI8: case qg::kAnyDATETIME: case qg::kAnyDUREE:
    case qg::kAnyR8: case qg::kAnyUIX: fixed = 8; break;
    case qg::kAnyCY: fixed = 10; break;
    case qg::kAnyUUID_128: fixed = 16; break;
    case qg::kAnyDECIMAL: fixed = qg::kDecimalFormSize; break;
    case qg::kAnyUUID_256: fixed = 32; break;
    case qg::kAnyDATEW: case qg::kAnyDATEA: fixed = 8; break;
    case qg::kAnyTIMEW: case qg::kAnyTIMEA: fixed = 9; break;
    default: break;
  }
  if (fixed > c.Restant()) return false;
  const uint8_t* data = c.p + c.pos;
  size_t units = 0;  // text length, terminator excluded
  if (qg::IsDstrW(code) || code == qg::kAnyPSTRW) {
    const size_t max = c.Restant() / 2;
    while (units < max) {
      char16_t u;
      std::memcpy(&u, data + units * 2, 2);
      if (u == 0) break;
      ++units;
    }
    if (units == max) return false;  // no terminator
  } else if (code == qg::kAnyPSTRA || code == qg::kAnyDSTRA) {
    const void* nul = std::memchr(data, 0, c.Restant());
    if (nul == nullptr) return false;
    units = static_cast<size_t>(static_cast<const uint8_t*>(nul) - data);
  }

  qg::Nouveau(this, code);
  CAny_Intern* h = H();
  if (code == qg::kAnyUIX) {
    int64_t v;
    std::memcpy(&v, data, 8);
    auto x = static_cast<intptr_t>(v);
    h->vnSetValeur(&x);
  } else if (code == qg::kAnyDATEW || code == qg::kAnyTIMEW || code == qg::kAnyDATEA ||
             code == qg::kAnyTIMEA) {
    h->vnSetA(reinterpret_cast<const char*>(data), static_cast<int>(fixed));
  } else if (fixed > 0) {
    h->vnSetDepuis(data, static_cast<int>(fixed));
  } else if (qg::IsDstrW(code) || code == qg::kAnyPSTRW) {
    std::u16string text(units, u'\0');
    std::memcpy(text.data(), data, units * 2);
    h->vnSetW(text.data(), static_cast<int>(units));
  } else if (code == qg::kAnyPSTRA || code == qg::kAnyDSTRA) {
    h->vnSetA(reinterpret_cast<const char*>(data), static_cast<int>(units));
  } else if (code == qg::kAnyBIN) {
    h->vnSetDepuis(data, static_cast<int>(c.Restant()));
  }
  H()->m_wType &= qg::kAnySetterMask;
  SetFlags(word);
  return true;
}
