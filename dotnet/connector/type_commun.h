// CTypeCommun: the type of a host value wherever the connector handles one
// (a stack value, a parameter, a converted result): a 16-bit type word and
// a qualifier read according to it (length, precision, a shared host
// description, or an owned type name). Also the nullable type descriptions
// the module hands to the host, and the read-only view of host arrays.
#ifndef QG_DOTNET_CONNECTOR_TYPE_COMMUN_H_
#define QG_DOTNET_CONNECTOR_TYPE_COMMUN_H_

#include <cstdint>
#include <string>

class CQGBuffer;

namespace qgnet {

// A description object of the host (structure, class, array element
// description ...): reference-counted, with its own size, comparison,
// serialisation and name. The host implements it.
class IDescriptionHote {
 public:
  virtual int32_t AddRef() = 0;
  virtual int32_t Release() = 0;
  // Bytes of a value described (types 34, 35, 36, 163).
  virtual uint32_t nGetTaille() = 0;
  virtual bool bEgal(IDescriptionHote* other) = 0;
  // Writes the description; false on failure. Nested descriptors go
  // through CTypeCommun::bSerialise.
  virtual bool bSerialise(CQGBuffer& buffer, uint32_t options) = 0;
  // Whether the description wants a sized block around it.
  virtual bool bBlocTaille() = 0;
  // Its name (types 111, 4207) or the class name the host gives (37,
  // 4133, 72, 4168, 4233); null when none.
  virtual const char16_t* pszNom() = 0;
  // The value written for types 135, 136 and 153 outside by-reference
  // requests, and the reference writer for by-reference requests.
  virtual int32_t nValeur() = 0;
  virtual bool bEcritReference(CQGBuffer& buffer) = 0;

 protected:
  ~IDescriptionHote() = default;
};

class CTypeCommun;
// The host's writers for types 164 and 4260.
using PFN_EcritTypeHote = bool (*)(CQGBuffer& buffer, const CTypeCommun& type);
void SetEcritTypeHote(uint16_t code, PFN_EcritTypeHote writer);

constexpr uint16_t kTypeNull = 0x0100;
constexpr uint16_t kTypeNullFort = 60;
constexpr uint16_t kTypeDynamique = 0x1000;
// Options of the serialisation.
constexpr uint32_t kSerialTableau = 0x4;      // an array's element description
constexpr uint32_t kSerialParReference = 0x10;
// Descriptors nest at most this deep when written.
constexpr int kProfondeurMax = 64;
// Largest value size accepted.
constexpr uint64_t kTailleMax = 0x7FFFFF00u;

class CTypeCommun {
 public:
  CTypeCommun() = default;
  explicit CTypeCommun(uint16_t word) : m_wType(word) {}
  CTypeCommun(uint16_t word, uint32_t qualifier) : m_wType(word), m_nQualif(qualifier) {}
  // Takes one reference of the description.
  CTypeCommun(uint16_t word, IDescriptionHote* description);
  // An owned type name (types 107 and 4203).
  CTypeCommun(uint16_t word, const char16_t* name);
  CTypeCommun(const CTypeCommun& other);
  CTypeCommun& operator=(const CTypeCommun& other);
  ~CTypeCommun() { Vide(); }

  // Releases what the qualifier owns; type word 0.
  void Vide();
  // The type word becomes word, the qualifier 0; nothing is released.
  void SetType(uint16_t word);
  uint16_t wGetFullType() const { return static_cast<uint16_t>(m_wType & ~kTypeNull); }
  uint16_t wGetType() const { return static_cast<uint16_t>(m_wType & 0xFF); }
  uint16_t wGetMot() const { return m_wType; }
  // True for the strong null type (NULL_FORT, 60) or a type word that
  // carries the null flag (0x0100).
  bool EstTypeNullFortOuAvecFlagNullFaible() const {
    return (m_wType & 0xFF) == kTypeNullFort || (m_wType & kTypeNull) != 0;
  }
  uint32_t nGetQualificatif() const { return m_nQualif; }
  IDescriptionHote* pclGetDescription() const;
  const char16_t* pszGetNom() const;

  // Bytes of a value of this type; false (size 0) when it exceeds
  // kTailleMax or the qualifier is negative.
  bool bGetTaille(uint32_t* size) const;
  bool operator==(const CTypeCommun& other) const;
  bool operator!=(const CTypeCommun& other) const { return !(*this == other); }
  // The serialised form; false when the buffer refuses a write, a host
  // writer fails or descriptors nest deeper than kProfondeurMax.
  bool bSerialise(CQGBuffer& buffer, uint32_t options) const;

  static bool bPorteDescription(uint16_t word);
  static bool bPorteNom(uint16_t word);

 private:
  uint16_t m_wType = 0;
  uint32_t m_nQualif = 0;
  // The qualifier's owned forms (the 32-bit qualifier of the host holds a
  // pointer there; here pointers are kept apart).
  IDescriptionHote* m_pDescription = nullptr;
  char16_t* m_pszNom = nullptr;
};

// The static descriptors.
namespace TypeCommun {
extern const CTypeCommun TypeEMPTY, TypeBOOL, TypeUI1, TypeUI2, TypeUI4, TypeUI8, TypeI1,
    TypeI2, TypeI4, TypeI8, TypeCY, TypeR4, TypeR8, TypeDECIMAL, TypeDECIMALPrecisionDefaut,
    TypeUIX, TypeHWND, TypeDSTRW, TypeCARA, TypePSTRA, TypeDSTRA, TypeSQLQUERYW, TypeDATE,
    TypeDATEW, TypeTIME, TypeTIMEW, TypeDATETIME, TypeBIN, TypeANY, TypeARR, TypePARAM,
    TypeIOBJACODE, TypeNULL_FORT, TypePROCEDURE, TypeASSOC, TypePOLICE, TypeDESCCONNEXION,
    TypeDSTRAW, TypeCARW, TypeTYPESTRUCT, TypePSTRW, TypeCONTENEUR, TypeDATEA, TypeTIMEA,
    TypeSQLQUERYA, TypeENUMERATION, TypeCOMBINAISON, TypeTYPE_CHAMP, TypeMULTI_VALEUR,
    TypePOINT, TypeRECTANGLE, TypeREQUETE, TypeTYPE_INTERFACE, TypeUUID_128, TypeUUID_256,
    TypeOBJET_DATASOURCE, TypeOBJET_MDPS, TypeCHAINE_SECRETE, TypeTYPE_FENETRE, TypeAUT_DYN,
    TypeARR_DYN, TypeSTRUCT_DYN, TypeOBJET_NET_DYN, TypeOBJET_WINRT_DYN, TypeOBJET_PYTHON_DYN,
    TypeOBJ_PTR, TypeObjetGenerique;
}  // namespace TypeCommun

// A host array as handed to the connector, read only.
class CZQCommunArray {
 public:
  CZQCommunArray(const CTypeCommun& element, int32_t dimensions, const int32_t* sizes)
      : m_clType(element), m_nNbDim(dimensions), m_pnDim(sizes) {}

  int32_t nGetNbDim() const { return m_nNbDim; }
  const int32_t* pnGetDim() const { return m_pnDim; }
  const CTypeCommun& GetTypeElements() const { return m_clType; }
  uint16_t wGetElemType() const { return m_clType.wGetFullType(); }
  // The product of the dimension sizes (1 without dimension); false when a
  // size is negative or the product exceeds 32 bits.
  bool bGetNbElement(uint32_t* count) const;
  // The same, 0 on failure.
  uint32_t dwGetNbElement() const;

 private:
  CTypeCommun m_clType;
  int32_t m_nNbDim;
  const int32_t* m_pnDim;
};

}  // namespace qgnet

namespace Velisc {
namespace Type {

// The description interface the host reads type descriptions through.
class DescriptionSpecialise {
 public:
  virtual ~DescriptionSpecialise() = default;
  virtual int32_t AddRef();
  virtual int32_t Release();
  // Bytes of the serialised value.
  virtual bool bGetTaille(uint32_t* size) const = 0;
  virtual bool bSerialise(CQGBuffer& buffer, uint32_t options) const = 0;
  // The operation after the serialisation (five arguments): not
  // specialised, it answers 0.
  virtual int32_t nOperation5(intptr_t a, intptr_t b, intptr_t c, intptr_t d, intptr_t e);
  virtual bool bEgal(const DescriptionSpecialise& other) const = 0;
  // Compatibility of two descriptions; rule: the caller's rule.
  using PFN_Compatibilite = int32_t (*)(const qgnet::CTypeCommun& a,
                                        const qgnet::CTypeCommun& b);
  virtual int32_t nCompatibilite(const DescriptionSpecialise& other,
                                 PFN_Compatibilite rule) const = 0;

 protected:
  int32_t m_nRef = 1;
};

// A nullable form of a simple type: its base type plus a null marker.
class Nullable : public DescriptionSpecialise {
 public:
  explicit Nullable(uint16_t base) : m_clBase(base) {}
  const qgnet::CTypeCommun& Base() const { return m_clBase; }
  bool bGetTaille(uint32_t* size) const override;
  bool bSerialise(CQGBuffer& buffer, uint32_t options) const override;
  bool bEgal(const DescriptionSpecialise& other) const override;
  int32_t nCompatibilite(const DescriptionSpecialise& other,
                         PFN_Compatibilite rule) const override;

  // The static instance of a base type code; null for a code without one.
  static const Nullable* pclGet(uint16_t base);

  static const Nullable &Type_ZQT_BOOL, &Type_ZQT_UI1, &Type_ZQT_UI2, &Type_ZQT_UI4,
      &Type_ZQT_UI8, &Type_ZQT_I1, &Type_ZQT_I2, &Type_ZQT_I4, &Type_ZQT_I8, &Type_ZQT_CY,
      &Type_ZQT_R4, &Type_ZQT_R8, &Type_ZQT_DECIMAL, &Type_ZQT_DSTRW, &Type_ZQT_CARA,
      &Type_ZQT_PSTRA, &Type_ZQT_DSTRA, &Type_ZQT_DATEW, &Type_ZQT_TIMEW, &Type_ZQT_DATETIME,
      &Type_ZQT_DUREE, &Type_ZQT_BIN, &Type_ZQT_MEMOIMG, &Type_ZQT_PARAM, &Type_ZQT_CARW,
      &Type_ZQT_DATEA, &Type_ZQT_TIMEA, &Type_ZQT_UUID_128, &Type_ZQT_UUID_256,
      &Type_ZQT_PSTRW;

 private:
  qgnet::CTypeCommun m_clBase;
};

template <uint16_t N>
class TImplementationNullable final : public Nullable {
 public:
  TImplementationNullable() : Nullable(N) {}
};

}  // namespace Type
}  // namespace Velisc

#endif  // QG_DOTNET_CONNECTOR_TYPE_COMMUN_H_
