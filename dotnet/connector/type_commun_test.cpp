#include "dotnet/connector/type_commun.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/qgbuffer.h"

namespace qgnet {
namespace {

// A host description: counted, comparable by an identifier, optionally
// written in a sized block, and able to hold a member descriptor (a
// structure's field) written inside its own serialisation.
class FakeDescription final : public IDescriptionHote {
 public:
  explicit FakeDescription(int id, bool block = false) : id_(id), block_(block) {}
  int32_t AddRef() override { return ++refs_; }
  int32_t Release() override { return --refs_; }
  uint32_t nGetTaille() override { return 40; }
  bool bEgal(IDescriptionHote* other) override {
    return static_cast<FakeDescription*>(other)->id_ == id_;
  }
  bool bSerialise(CQGBuffer& buffer, uint32_t options) override {
    if (!buffer.EcritEntier(id_)) return false;
    return member_ == nullptr || member_->bSerialise(buffer, options);
  }
  bool bBlocTaille() override { return block_; }
  const char16_t* pszNom() override { return u"Name"; }
  int32_t nValeur() override { return 77; }
  bool bEcritReference(CQGBuffer& buffer) override { return buffer.EcritEntier(-1); }

  int id_;
  bool block_;
  int refs_ = 1;
  const CTypeCommun* member_ = nullptr;
};

std::vector<uint8_t> Bytes(const CTypeCommun& type, uint32_t options = 0, bool* ok = nullptr) {
  CQGBuffer buffer;
  bool written = type.bSerialise(buffer, options);
  if (ok != nullptr) *ok = written;
  return std::vector<uint8_t>(buffer.pGetDonnees(), buffer.pGetDonnees() + buffer.nTaille());
}

uint16_t Word16(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}
uint32_t Word32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

TEST(TypeCommunTest, WordsAndEmptying) {
  FakeDescription d(1);
  CTypeCommun type(0x1000 | 0x0100 | 34, &d);
  EXPECT_EQ(d.refs_, 2);
  EXPECT_EQ(type.wGetFullType(), 0x1022);
  EXPECT_EQ(type.wGetType(), 34);
  {
    CTypeCommun copy(type);
    EXPECT_EQ(d.refs_, 3);  // shared on copy
  }
  EXPECT_EQ(d.refs_, 2);
  type.Vide();
  EXPECT_EQ(d.refs_, 1);
  EXPECT_EQ(type.wGetMot(), 0);
  EXPECT_EQ(TypeCommun::TypeDECIMALPrecisionDefaut.nGetQualificatif(), 9734u);
  EXPECT_EQ(TypeCommun::TypeObjetGenerique.wGetMot(), 0xFE00);
}

TEST(TypeCommunTest, NullTypeOrNullFlag) {
  struct Case {
    uint16_t word;
    bool is_null;
  };
  const Case cases[] = {{60, true},    {60 | 0x0100, true}, {8 | 0x0100, true},
                        {0x1022 | 0x0100, true}, {0, false}, {8, false},
                        {0x1022, false}, {0x1000 | 60, true}};
  for (const Case& c : cases) {
    EXPECT_EQ(CTypeCommun(c.word).EstTypeNullFortOuAvecFlagNullFaible(), c.is_null) << c.word;
  }
}

TEST(TypeCommunTest, Sizes) {
  FakeDescription d(1);
  struct Case {
    CTypeCommun type;
    uint32_t size;
  };
  const Case cases[] = {
      {CTypeCommun(13, 0u), 18},          {CTypeCommun(13, 38u << 8), 16},
      {CTypeCommun(13, 1u << 8), 1},      {CTypeCommun(16, 10u), 22},
      {CTypeCommun(19, 10u), 11},         {CTypeCommun(21, 10u), 11},
      {CTypeCommun(28, 10u), 10},         {CTypeCommun(37), 12},
      {CTypeCommun(60), 0},               {CTypeCommun(4130), 4},
      {CTypeCommun(34, &d), 40},          {CTypeCommun(8), 4},
      {CTypeCommun(26), 8},               {CTypeCommun(16), 8},
  };
  for (const Case& c : cases) {
    uint32_t size = 99;
    EXPECT_TRUE(c.type.bGetTaille(&size)) << c.type.wGetMot();
    EXPECT_EQ(size, c.size) << c.type.wGetMot() << " " << c.type.nGetQualificatif();
  }
  // Lengths whose sizes overflow, negative lengths and precisions past 38
  // are refused rather than wrapped.
  for (const CTypeCommun& bad : {CTypeCommun(16, 0x7FFFFFFFu), CTypeCommun(16, 0x40000000u),
                                 CTypeCommun(19, 0xFFFFFFFFu), CTypeCommun(13, 39u << 8)}) {
    uint32_t size = 99;
    EXPECT_FALSE(bad.bGetTaille(&size)) << bad.wGetMot() << " " << bad.nGetQualificatif();
    EXPECT_EQ(size, 0u);
  }
}

TEST(TypeCommunTest, Equality) {
  FakeDescription a(1), b(1), c(2);
  EXPECT_EQ(CTypeCommun(111, &a), CTypeCommun(133, &b));
  EXPECT_EQ(CTypeCommun(152, &a), CTypeCommun(152, &c));
  EXPECT_EQ(CTypeCommun(34, &a), CTypeCommun(34, &b));
  EXPECT_NE(CTypeCommun(34, &a), CTypeCommun(34, &c));
  EXPECT_NE(CTypeCommun(16, 10u), CTypeCommun(16, 11u));
  EXPECT_EQ(CTypeCommun(107, u"T"), CTypeCommun(107, u"T"));
  EXPECT_NE(CTypeCommun(107, u"T"), CTypeCommun(107, u"t"));
  EXPECT_NE(CTypeCommun(8), CTypeCommun(9));
}

TEST(TypeCommunTest, SerialisedForms) {
  std::vector<uint8_t> b = Bytes(CTypeCommun(16, 20u));
  ASSERT_EQ(b.size(), 6u);
  EXPECT_EQ(Word16(b, 0), 79);
  EXPECT_EQ(Word32(b, 2), 20u);
  EXPECT_EQ(Word16(Bytes(CTypeCommun(16)), 0), 16);
  EXPECT_EQ(Bytes(CTypeCommun(133)).size(), 0u);

  // A procedure without description: word, size placeholder, value 1.
  b = Bytes(CTypeCommun(61));
  ASSERT_EQ(b.size(), 10u);
  EXPECT_EQ(Word16(b, 0), 61);
  EXPECT_EQ(Word32(b, 6), 1u);
  EXPECT_EQ(Word32(b, 2), 8u);  // counts its own four bytes

  // Without description: 50, or 34 for an array element request.
  EXPECT_EQ(Word16(Bytes(CTypeCommun(34)), 0), 50);
  EXPECT_EQ(Word16(Bytes(CTypeCommun(34), kSerialTableau), 0), 34);

  // A structure that holds itself is written as a reference.
  FakeDescription structure(5);
  CTypeCommun self(4132, &structure);
  structure.member_ = &self;
  b = Bytes(self);
  ASSERT_EQ(b.size(), 8u);
  EXPECT_EQ(Word16(b, 0), 4132);
  EXPECT_EQ(Word32(b, 2), 5u);
  EXPECT_EQ(Word16(b, 6), 4132 | 0x0100);
  structure.member_ = nullptr;

  // Two descriptions naming each other stop at the depth limit.
  FakeDescription x(1), y(2);
  CTypeCommun tx(34, &x), ty(34, &y);
  x.member_ = &ty;
  y.member_ = &tx;
  bool ok = true;
  Bytes(tx, 0, &ok);
  EXPECT_FALSE(ok);
  x.member_ = nullptr;
  y.member_ = nullptr;

  // Sized block: 87, size, word, description.
  FakeDescription sized(9, true);
  b = Bytes(CTypeCommun(36, &sized));
  ASSERT_EQ(b.size(), 12u);
  EXPECT_EQ(Word16(b, 0), 87);
  EXPECT_EQ(Word32(b, 2), 10u);
  EXPECT_EQ(Word16(b, 6), 36);

  EXPECT_EQ(Bytes(CTypeCommun(166, 0x1234u)).back(), 0x34);
  EXPECT_EQ(Word32(Bytes(CTypeCommun(135, &x)), 2), 77u);
  EXPECT_EQ(Word32(Bytes(CTypeCommun(135, &x), kSerialParReference), 2), 0xFFFFFFFFu);
  SetEcritTypeHote(4260, [](CQGBuffer& buffer, const CTypeCommun&) {
    return buffer.EcritEntier(4260);
  });
  EXPECT_EQ(Bytes(CTypeCommun(4260)).size(), 4u);
  SetEcritTypeHote(4260, nullptr);
  Bytes(CTypeCommun(4260), 0, &ok);
  EXPECT_FALSE(ok);
}

TEST(TypeCommunTest, NullablesCoverThirtyTypes) {
  int count = 0;
  for (uint16_t code = 0; code < 300; ++code) {
    if (const Velisc::Type::Nullable* n = Velisc::Type::Nullable::pclGet(code)) {
      ++count;
      EXPECT_EQ(n->Base().wGetType(), code);
      uint32_t base = 0, size = 0;
      ASSERT_TRUE(n->Base().bGetTaille(&base));
      ASSERT_TRUE(n->bGetTaille(&size));
      EXPECT_EQ(size, base + 1);
    }
  }
  EXPECT_EQ(count, 30);
  const auto& i4 = Velisc::Type::Nullable::Type_ZQT_I4;
  const auto& pstrw = Velisc::Type::Nullable::Type_ZQT_PSTRW;
  EXPECT_EQ(pstrw.Base().wGetType(), 110);
  EXPECT_EQ(i4.nCompatibilite(Velisc::Type::Nullable::Type_ZQT_I4, nullptr), 2);
  EXPECT_EQ(i4.nCompatibilite(pstrw, [](const CTypeCommun&, const CTypeCommun&) { return 7; }),
            7);
  EXPECT_TRUE(i4.bEgal(Velisc::Type::Nullable::Type_ZQT_I4));
  EXPECT_FALSE(i4.bEgal(pstrw));
  EXPECT_EQ(const_cast<Velisc::Type::Nullable&>(i4).nOperation5(1, 2, 3, 4, 5), 0);
}

TEST(TypeCommunTest, ArrayElementCounts) {
  const int32_t two[] = {3, 4};
  const int32_t huge[] = {70000, 70000};
  const int32_t negative[] = {5, -1};
  EXPECT_EQ(CZQCommunArray(CTypeCommun(8), 2, two).dwGetNbElement(), 12u);
  EXPECT_EQ(CZQCommunArray(CTypeCommun(8), 0, nullptr).dwGetNbElement(), 1u);
  uint32_t count = 7;
  EXPECT_FALSE(CZQCommunArray(CTypeCommun(8), 2, huge).bGetNbElement(&count));
  EXPECT_EQ(count, 0u);
  EXPECT_FALSE(CZQCommunArray(CTypeCommun(8), 2, negative).bGetNbElement(&count));
  EXPECT_EQ(CZQCommunArray(CTypeCommun(8, 0u), 2, two).wGetElemType(), 8);
}

}  // namespace
}  // namespace qgnet
