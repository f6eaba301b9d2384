#include "dotnet/connector/type_commun.h"

#include <cstring>
#include <vector>

#include "support/qgbuffer.h"

namespace qgnet {
namespace {

PFN_EcritTypeHote g_writer_164 = nullptr;
PFN_EcritTypeHote g_writer_4260 = nullptr;

// The descriptions being written on this thread, outermost first: a
// structure that names itself is written as a reference, and nesting stops
// at kProfondeurMax.
thread_local std::vector<const IDescriptionHote*> t_writing;

char16_t* CopyName(const char16_t* name) {
  if (name == nullptr) return nullptr;
  size_t n = 0;
  while (name[n] != u'\0') ++n;
  auto* copy = new char16_t[n + 1];
  std::memcpy(copy, name, (n + 1) * sizeof(char16_t));
  return copy;
}

bool SameName(const char16_t* a, const char16_t* b) {
  if (a == nullptr || b == nullptr) return a == b;
  while (*a != u'\0' && *a == *b) {
    ++a;
    ++b;
  }
  return *a == *b;
}

bool SameDescription(IDescriptionHote* a, IDescriptionHote* b) {
  if (a == nullptr || b == nullptr) return a == b;
  return a == b || a->bEgal(b);
}

// Value sizes of the simple types (64-bit layouts: texts and objects are
// held through a pointer).
uint32_t FixedSize(uint16_t code) {
  switch (code) {
    case 0: return 0;
    case 1: return 4;     // BOOL
    case 2: case 6: case 17: return 1;
    case 3: case 7: case 81: return 2;
    case 4: case 8: case 11: return 4;
    case 5: case 9: case 10: case 12: case 26: case 27: return 8;
    case 14: case 15: return 8;   // pointer-sized
    case 24: return 18;           // DATEW: eight UTF-16 digits and a terminator
    case 25: return 20;           // TIMEW: nine digits and a terminator
    case 128: return 9;           // DATEA
    case 129: return 10;          // TIMEA
    case 29: return 16;           // BUFFER
    case 31: return 48;           // ANY: a whole variant value
    case 150: return 8;           // POINT
    case 151: case 154: return 16;
    case 155: return 32;
    default: return 8;            // a pointer or a handle
  }
}

// Bytes for a decimal of p digits (1 to 38): magnitude bits of 10^p - 1
// plus a sign bit, rounded up to bytes.
uint32_t DecimalBytes(uint32_t p) {
  uint32_t bits = static_cast<uint32_t>(static_cast<double>(p) * 3.321928094887362) + 2;
  return (bits + 7) / 8;
}

bool Word(CQGBuffer& buffer, uint16_t word) {
  return buffer.EcritEntier16(static_cast<int16_t>(word));
}

bool Value(CQGBuffer& buffer, uint32_t value) {
  return buffer.EcritEntier(static_cast<int32_t>(value));
}

}  // namespace

void SetEcritTypeHote(uint16_t code, PFN_EcritTypeHote writer) {
  if (code == 164) g_writer_164 = writer;
  if (code == 4260) g_writer_4260 = writer;
}

bool CTypeCommun::bPorteDescription(uint16_t word) {
  switch (word & ~kTypeNull) {
    case 34: case 35: case 36: case 37: case 61: case 62: case 72: case 111: case 112:
    case 113: case 133: case 135: case 136: case 137: case 152: case 153: case 163:
    case 4130: case 4132: case 4133: case 4168: case 4207: case 4233:
      return true;
    default:
      return false;
  }
}

bool CTypeCommun::bPorteNom(uint16_t word) {
  uint16_t w = word & ~kTypeNull;
  return w == 107 || w == 4203;
}

CTypeCommun::CTypeCommun(uint16_t word, IDescriptionHote* description) : m_wType(word) {
  if (bPorteDescription(word) && description != nullptr) {
    m_pDescription = description;
    m_pDescription->AddRef();
  }
}

CTypeCommun::CTypeCommun(uint16_t word, const char16_t* name) : m_wType(word) {
  if (bPorteNom(word)) m_pszNom = CopyName(name);
}

CTypeCommun::CTypeCommun(const CTypeCommun& other)
    : m_wType(other.m_wType), m_nQualif(other.m_nQualif), m_pDescription(other.m_pDescription) {
  if (m_pDescription != nullptr) m_pDescription->AddRef();
  m_pszNom = CopyName(other.m_pszNom);
}

CTypeCommun& CTypeCommun::operator=(const CTypeCommun& other) {
  if (this != &other) {
    CTypeCommun copy(other);
    Vide();
    m_wType = copy.m_wType;
    m_nQualif = copy.m_nQualif;
    m_pDescription = copy.m_pDescription;
    m_pszNom = copy.m_pszNom;
    copy.m_pDescription = nullptr;
    copy.m_pszNom = nullptr;
  }
  return *this;
}

void CTypeCommun::Vide() {
  if (m_pDescription != nullptr) m_pDescription->Release();
  m_pDescription = nullptr;
  delete[] m_pszNom;
  m_pszNom = nullptr;
  m_wType = 0;
  m_nQualif = 0;
}

void CTypeCommun::SetType(uint16_t word) {
  // The qualifier's owned forms are not released: the caller set the word
  // of an empty or plain descriptor.
  m_wType = word;
  m_nQualif = 0;
  m_pDescription = nullptr;
  m_pszNom = nullptr;
}

IDescriptionHote* CTypeCommun::pclGetDescription() const { return m_pDescription; }
const char16_t* CTypeCommun::pszGetNom() const { return m_pszNom; }

bool CTypeCommun::bGetTaille(uint32_t* size) const {
  *size = 0;
  uint16_t word = wGetFullType();
  uint16_t code = wGetType();
  int64_t n = static_cast<int32_t>(m_nQualif);
  uint64_t bytes;
  switch (word) {
    case 13: {
      uint32_t p = (m_nQualif >> 8) & 0xFF;
      if (p > 38) return false;
      bytes = p == 0 ? 18 : DecimalBytes(p);
      break;
    }
    case 16: case 19: case 21: case 28: case 22: case 23:
      if (n < 0) return false;
      if (n == 0) {
        bytes = FixedSize(code);
      } else if (word == 16) {
        bytes = 2 * static_cast<uint64_t>(n) + 2;
      } else if (word == 19 || word == 21) {
        bytes = static_cast<uint64_t>(n) + 1;
      } else {
        bytes = static_cast<uint64_t>(n);
      }
      break;
    case 34: case 35: case 36: case 163:
      bytes = m_pDescription != nullptr ? m_pDescription->nGetTaille() : 0;
      break;
    case 37: case 4133: case 16421: bytes = 12; break;
    case 60: case 107: case 4203: bytes = 0; break;
    case 62: case 112: case 113: case 4130: case 4132: bytes = 4; break;
    default: bytes = FixedSize(code); break;
  }
  if (bytes > kTailleMax) return false;
  *size = static_cast<uint32_t>(bytes);
  return true;
}

bool CTypeCommun::operator==(const CTypeCommun& other) const {
  uint16_t a = wGetFullType(), b = other.wGetFullType();
  bool dino = (a == 111 || a == 133) && (b == 111 || b == 133);
  if (a != b && !dino) return false;
  switch (a) {
    case 34: case 4130: case 35: case 36: case 4132:
    case 61: case 62: case 113: case 153: case 163:
      return SameDescription(m_pDescription, other.m_pDescription);
    case 152: return true;
    case 107: case 4203: return SameName(m_pszNom, other.m_pszNom);
    default:
      if (bPorteDescription(a)) return SameDescription(m_pDescription, other.m_pDescription);
      return m_nQualif == other.m_nQualif;
  }
}

bool CTypeCommun::bSerialise(CQGBuffer& buffer, uint32_t options) const {
  if (t_writing.size() >= static_cast<size_t>(kProfondeurMax)) return false;
  uint16_t word = wGetFullType();
  IDescriptionHote* d = m_pDescription;
  switch (word) {
    case 133:
      return true;
    case 13: case 21: case 22: case 23:
      return Word(buffer, word) && Value(buffer, m_nQualif);
    case 16: case 19: case 28:
      if (m_nQualif == 0) return Word(buffer, word);
      return Word(buffer, word == 16 ? 79 : word == 19 ? 78 : 77) && Value(buffer, m_nQualif);
    case 166:
      return Word(buffer, word) && buffer.Ecrit(&m_nQualif, 1);
    case 164: case 4260: {
      PFN_EcritTypeHote writer = word == 164 ? g_writer_164 : g_writer_4260;
      return writer != nullptr && writer(buffer, *this);
    }
    case 35:
      if (d == nullptr) return Word(buffer, 50);
      break;
    case 111: case 4207:
      if (d == nullptr) return Word(buffer, 50);
      return Word(buffer, word) && buffer.EcritChaine(d->pszNom() != nullptr ? d->pszNom() : u"");
    case 37: case 4133: case 72: case 4168: case 4233:
      return Word(buffer, word) &&
             buffer.EcritChaine(d != nullptr && d->pszNom() != nullptr ? d->pszNom() : u"");
    case 135: case 136: case 153:
      if (!Word(buffer, word)) return false;
      if ((options & kSerialParReference) != 0) return d == nullptr || d->bEcritReference(buffer);
      return Value(buffer, d != nullptr ? static_cast<uint32_t>(d->nValeur()) : 0);
    case 61:
      if (d == nullptr) {
        if (!Word(buffer, word)) return false;
        int64_t start = buffer.nCommenceLongueur();
        return start >= 0 && Value(buffer, 1) && buffer.nTermineLongueur(start) >= 0;
      }
      break;
    case 4132:
      for (const IDescriptionHote* outer : t_writing) {
        if (outer == d && d != nullptr) return Word(buffer, word | kTypeNull);
      }
      break;
    case 34: case 36: case 62: case 113: case 137: case 152: case 163: case 4130:
      break;
    default:
      return Word(buffer, word);
  }
  // Types written with their description.
  if (d == nullptr) {
    return Word(buffer, (options & kSerialTableau) != 0 && wGetType() == 34 ? 34 : 50);
  }
  t_writing.push_back(d);
  bool ok;
  if (d->bBlocTaille()) {
    int64_t start = -1;
    ok = Word(buffer, 87) && (start = buffer.nCommenceLongueur()) >= 0 && Word(buffer, word) &&
         d->bSerialise(buffer, options) && buffer.nTermineLongueur(start) >= 0;
  } else {
    ok = Word(buffer, word) && d->bSerialise(buffer, options);
  }
  t_writing.pop_back();
  return ok;
}

bool CZQCommunArray::bGetNbElement(uint32_t* count) const {
  *count = 0;
  if (m_nNbDim < 0 || (m_nNbDim > 0 && m_pnDim == nullptr)) return false;
  uint64_t product = 1;
  for (int32_t i = 0; i < m_nNbDim; ++i) {
    if (m_pnDim[i] < 0) return false;
    product *= static_cast<uint64_t>(m_pnDim[i]);
    if (product > 0xFFFFFFFFull) return false;
  }
  *count = static_cast<uint32_t>(product);
  return true;
}

uint32_t CZQCommunArray::dwGetNbElement() const {
  uint32_t count = 0;
  return bGetNbElement(&count) ? count : 0;
}

namespace TypeCommun {
const CTypeCommun TypeEMPTY(0), TypeBOOL(1), TypeUI1(2), TypeUI2(3), TypeUI4(4), TypeUI8(5),
    TypeI1(6), TypeI2(7), TypeI4(8), TypeI8(9), TypeCY(10), TypeR4(11), TypeR8(12),
    TypeDECIMAL(13), TypeDECIMALPrecisionDefaut(13, 9734u), TypeUIX(14), TypeHWND(15),
    TypeDSTRW(16), TypeCARA(17), TypePSTRA(18), TypeDSTRA(19), TypeSQLQUERYW(20), TypeDATE(24),
    TypeDATEW(24), TypeTIME(25), TypeTIMEW(25), TypeDATETIME(26), TypeBIN(28), TypeANY(31),
    TypeARR(34), TypePARAM(50), TypeIOBJACODE(57), TypeNULL_FORT(60), TypePROCEDURE(61),
    TypeASSOC(62), TypePOLICE(65), TypeDESCCONNEXION(70), TypeDSTRAW(75), TypeCARW(81),
    TypeTYPESTRUCT(93), TypePSTRW(110), TypeCONTENEUR(113), TypeDATEA(128), TypeTIMEA(129),
    TypeSQLQUERYA(134), TypeENUMERATION(135), TypeCOMBINAISON(136), TypeTYPE_CHAMP(138),
    TypeMULTI_VALEUR(139), TypePOINT(150), TypeRECTANGLE(151), TypeREQUETE(152),
    TypeTYPE_INTERFACE(153), TypeUUID_128(154), TypeUUID_256(155), TypeOBJET_DATASOURCE(157),
    TypeOBJET_MDPS(160), TypeCHAINE_SECRETE(166), TypeTYPE_FENETRE(168), TypeAUT_DYN(4128),
    TypeARR_DYN(4130), TypeSTRUCT_DYN(4132), TypeOBJET_NET_DYN(4168),
    TypeOBJET_WINRT_DYN(4233), TypeOBJET_PYTHON_DYN(4260), TypeOBJ_PTR(16421),
    TypeObjetGenerique(65024);
}  // namespace TypeCommun

}  // namespace qgnet

namespace Velisc {
namespace Type {

int32_t DescriptionSpecialise::AddRef() { return ++m_nRef; }

int32_t DescriptionSpecialise::Release() {
  int32_t left = --m_nRef;
  if (left == 0) delete this;
  return left;
}

int32_t DescriptionSpecialise::nOperation5(intptr_t, intptr_t, intptr_t, intptr_t, intptr_t) {
  return 0;
}

bool Nullable::bGetTaille(uint32_t* size) const {
  if (!m_clBase.bGetTaille(size) || *size >= qgnet::kTailleMax) return false;
  *size += 1;  // the null marker
  return true;
}

bool Nullable::bSerialise(CQGBuffer& buffer, uint32_t options) const {
  return m_clBase.bSerialise(buffer, options);
}

bool Nullable::bEgal(const DescriptionSpecialise& other) const {
  auto* nullable = dynamic_cast<const Nullable*>(&other);
  return nullable != nullptr && nullable->m_clBase == m_clBase;
}

int32_t Nullable::nCompatibilite(const DescriptionSpecialise& other,
                                 PFN_Compatibilite rule) const {
  auto* nullable = dynamic_cast<const Nullable*>(&other);
  if (nullable == nullptr) return 0;
  if (nullable->m_clBase == m_clBase) return 2;
  return rule != nullptr ? rule(m_clBase, nullable->m_clBase) : 0;
}

namespace {
// The static instances live for the whole program: their count never
// reaches 0 (one reference is theirs).
template <uint16_t N>
const Nullable& Instance() {
  static TImplementationNullable<N> instance;
  return instance;
}
}  // namespace

const Nullable& Nullable::Type_ZQT_BOOL = Instance<1>();
const Nullable& Nullable::Type_ZQT_UI1 = Instance<2>();
const Nullable& Nullable::Type_ZQT_UI2 = Instance<3>();
const Nullable& Nullable::Type_ZQT_UI4 = Instance<4>();
const Nullable& Nullable::Type_ZQT_UI8 = Instance<5>();
const Nullable& Nullable::Type_ZQT_I1 = Instance<6>();
const Nullable& Nullable::Type_ZQT_I2 = Instance<7>();
const Nullable& Nullable::Type_ZQT_I4 = Instance<8>();
const Nullable& Nullable::Type_ZQT_I8 = Instance<9>();
const Nullable& Nullable::Type_ZQT_CY = Instance<10>();
const Nullable& Nullable::Type_ZQT_R4 = Instance<11>();
const Nullable& Nullable::Type_ZQT_R8 = Instance<12>();
const Nullable& Nullable::Type_ZQT_DECIMAL = Instance<13>();
const Nullable& Nullable::Type_ZQT_DSTRW = Instance<16>();
const Nullable& Nullable::Type_ZQT_CARA = Instance<17>();
const Nullable& Nullable::Type_ZQT_PSTRA = Instance<18>();
const Nullable& Nullable::Type_ZQT_DSTRA = Instance<19>();
const Nullable& Nullable::Type_ZQT_DATEW = Instance<24>();
const Nullable& Nullable::Type_ZQT_TIMEW = Instance<25>();
const Nullable& Nullable::Type_ZQT_DATETIME = Instance<26>();
const Nullable& Nullable::Type_ZQT_DUREE = Instance<27>();
const Nullable& Nullable::Type_ZQT_BIN = Instance<28>();
const Nullable& Nullable::Type_ZQT_MEMOIMG = Instance<30>();
const Nullable& Nullable::Type_ZQT_PARAM = Instance<50>();
const Nullable& Nullable::Type_ZQT_CARW = Instance<81>();
const Nullable& Nullable::Type_ZQT_DATEA = Instance<128>();
const Nullable& Nullable::Type_ZQT_TIMEA = Instance<129>();
const Nullable& Nullable::Type_ZQT_UUID_128 = Instance<154>();
const Nullable& Nullable::Type_ZQT_UUID_256 = Instance<155>();
const Nullable& Nullable::Type_ZQT_PSTRW = Instance<110>();

const Nullable* Nullable::pclGet(uint16_t base) {
  switch (base) {
    case 1: return &Instance<1>();
    case 2: return &Instance<2>();
    case 3: return &Instance<3>();
    case 4: return &Instance<4>();
    case 5: return &Instance<5>();
    case 6: return &Instance<6>();
    case 7: return &Instance<7>();
    case 8: return &Instance<8>();
    case 9: return &Instance<9>();
    case 10: return &Instance<10>();
    case 11: return &Instance<11>();
    case 12: return &Instance<12>();
    case 13: return &Instance<13>();
    case 16: return &Instance<16>();
    case 17: return &Instance<17>();
    case 18: return &Instance<18>();
    case 19: return &Instance<19>();
    case 24: return &Instance<24>();
    case 25: return &Instance<25>();
    case 26: return &Instance<26>();
    case 27: return &Instance<27>();
    case 28: return &Instance<28>();
    case 30: return &Instance<30>();
    case 50: return &Instance<50>();
    case 81: return &Instance<81>();
    case 110: return &Instance<110>();
    case 128: return &Instance<128>();
    case 129: return &Instance<129>();
    case 154: return &Instance<154>();
    case 155: return &Instance<155>();
    default: return nullptr;
  }
}

}  // namespace Type
}  // namespace Velisc
