#include "support/qgbuffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "support/any.h"
#include "support/any_test_fixture.h"
#include "support/string_host_fixture.h"

namespace qg {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Contenu(const CQGBuffer& b) {
  return Bytes(b.pGetDonnees(), b.pGetDonnees() + b.nTaille());
}

std::u16string Texte(const CTString& s) { return std::u16string(s.pszGet()); }

// A buffer holding exactly these bytes, positioned at 0.
void Charge(CQGBuffer& b, const Bytes& bytes) {
  b.Redimensionne(0);
  ASSERT_TRUE(b.Ecrit(bytes.data(), bytes.size()));
  b.Rembobine();
}

class QGBufferTest : public StringHostTest {};

// --- string records -------------------------------------------------------------

TEST_F(QGBufferTest, StringRecordBytesAndRoundTrip) {
  CQGBuffer b;
  ASSERT_TRUE(b.EcritChaine(u"abc"));
  EXPECT_EQ(Contenu(b), (Bytes{0xFF, 0xCE, 0x88, 0xF1, 0x10, 0x00, 0x00, 0x00, 0x61, 0x62,
                               0x63, 0x00, 0xFE, 0xED, 0x98, 0xE1}));
  ASSERT_TRUE(b.EcritChaine(u""));
  ASSERT_TRUE(b.EcritChaine(nullptr));
  EXPECT_EQ(b.nTaille(), 18u);  // the empty and null texts are one 00 byte each
  const std::u16string wide = u"caf\u00E9 \u4E2D \U0001F600";
  ASSERT_TRUE(b.EcritChaine(wide.c_str()));

  b.Rembobine();
  CTString s(u"old");
  ASSERT_TRUE(b.bLitChaine(s));
  EXPECT_EQ(Texte(s), u"abc");
  EXPECT_EQ(b.nPosition(), 16u);
  ASSERT_TRUE(b.bLitChaine(s));
  EXPECT_TRUE(s.bEstVide());
  EXPECT_EQ(b.nPosition(), 17u);
  CXYString<char16_t> xy(u"old");
  ASSERT_TRUE(b.bLitChaineXY(xy));
  EXPECT_TRUE(xy.bEstVide());
  ASSERT_TRUE(b.bLitChaineXY(xy));
  EXPECT_EQ(std::u16string(xy.pszGet()), wide);
  EXPECT_EQ(b.nRestant(), 0u);
  EXPECT_FALSE(b.bLitChaine(s)) << "nothing left to read";
}

TEST_F(QGBufferTest, MalformedRecordsReadAsLegacyText) {
  const Bytes good = {0xFF, 0xCE, 0x88, 0xF1, 0x10, 0, 0, 0, 'a', 'b', 'c', 0,
                      0xFE, 0xED, 0x98, 0xE1};
  struct Case {
    const char* name;
    size_t at;
    uint8_t value;
  };
  // Each damage makes the record invalid; the bytes up to the first NUL
  // are then a 1252 text.
  const Case cases[] = {
      {"closing mark", 15, 0x00},
      {"length too small", 4, 13},
      {"length past the data", 4, 17},
      {"length not matching the text", 4, 0x0F},
      {"NUL inside the text", 9, 0x00},
  };
  for (const Case& c : cases) {
    Bytes bytes = good;
    bytes[c.at] = c.value;
    bytes.push_back(0);  // a terminator for the legacy reading
    CQGBuffer b;
    Charge(b, bytes);
    CTString s;
    ASSERT_TRUE(b.bLitChaine(s)) << c.name;
    const void* nul = std::memchr(bytes.data(), 0, bytes.size());
    const size_t n = static_cast<size_t>(static_cast<const uint8_t*>(nul) - bytes.data());
    EXPECT_EQ(b.nPosition(), n + 1) << c.name;
    EXPECT_EQ(Texte(s).substr(0, 4), u"\u00FF\u00CE\u02C6\u00F1") << c.name;
  }

  CQGBuffer b;
  Charge(b, {'c', 'a', 'f', 0xE9, 0, 'x', 0});
  CTString s;
  ASSERT_TRUE(b.bLitChaine(s));
  EXPECT_EQ(Texte(s), u"caf\u00E9");
  CXYString<char16_t> xy;
  ASSERT_TRUE(b.bLitChaineXY(xy));
  EXPECT_EQ(std::u16string(xy.pszGet()), u"x");
}

TEST_F(QGBufferTest, StringScansStopAtTheUsedSize) {
  // A whole record lies in the block, but the used size ends inside it.
  CQGBuffer b;
  ASSERT_TRUE(b.EcritChaine(u"abc"));
  ASSERT_TRUE(b.Redimensionne(10));
  b.Rembobine();
  CTString s;
  ASSERT_TRUE(b.bLitChaine(s));
  EXPECT_EQ(Texte(s), u"\u00FF\u00CE\u02C6\u00F1\x10") << "a legacy text, not the record";
  EXPECT_EQ(b.nPosition(), 6u);

  // Legacy text whose NUL lies only past the used size.
  CQGBuffer c;
  Charge(c, {'a', 'b', 0});
  ASSERT_TRUE(c.Redimensionne(2));
  c.Rembobine();
  s = u"keep";
  EXPECT_FALSE(c.bLitChaine(s));
  EXPECT_FALSE(c.bSauteChaine());
  EXPECT_EQ(Texte(s), u"keep");
  EXPECT_EQ(c.nPosition(), 0u);
}

TEST_F(QGBufferTest, SkipString) {
  CQGBuffer b;
  ASSERT_TRUE(b.EcritChaine(u"first"));
  ASSERT_TRUE(b.EcritChaine(u""));
  const uint8_t legacy[] = {'o', 'l', 'd', 0};
  ASSERT_TRUE(b.Ecrit(legacy, sizeof(legacy)));
  ASSERT_TRUE(b.EcritEntier(7));
  b.Rembobine();
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(b.bSauteChaine());
  int32_t n = 0;
  ASSERT_TRUE(b.LitEntier(n));
  EXPECT_EQ(n, 7);
}

// --- typed values and bounds ------------------------------------------------------

TEST_F(QGBufferTest, TypedValuesAreLittleEndianAndBounded) {
  CQGBuffer b;
  ASSERT_TRUE(b.EcritEntier16(0x0102));
  ASSERT_TRUE(b.EcritEntier(-2));
  ASSERT_TRUE(b.EcritEntier64(0x0807060504030201));
  EXPECT_EQ(Contenu(b), (Bytes{2, 1, 0xFE, 0xFF, 0xFF, 0xFF, 1, 2, 3, 4, 5, 6, 7, 8}));

  b.Rembobine();
  int16_t a = 0;
  int32_t c = 0;
  int64_t d = 0;
  ASSERT_TRUE(b.LitEntier16(a));
  ASSERT_TRUE(b.LitEntier(c));
  ASSERT_TRUE(b.LitEntier64(d));
  EXPECT_EQ(a, 0x0102);
  EXPECT_EQ(c, -2);
  EXPECT_EQ(d, 0x0807060504030201);

  // Reads past the used size fail and leave the position.
  b.DeplaceLecture(-3, 1);
  EXPECT_FALSE(b.LitEntier(c));
  EXPECT_FALSE(b.LitEntier64(d));
  EXPECT_EQ(b.nPosition(), 11u);
  uint8_t four[4] = {};
  EXPECT_EQ(b.nLitAuPlus4(four), 3u);
  EXPECT_EQ(four[0], 6);
  EXPECT_EQ(b.nLitAuPlus4(four), 0u);

  // The block may hold more than the used size: reads still stop there.
  ASSERT_TRUE(b.Redimensionne(2));
  b.Rembobine();
  EXPECT_FALSE(b.LitEntier(c));
  EXPECT_TRUE(b.LitEntier16(a));
}

TEST_F(QGBufferTest, SeekAndMoves) {
  CQGBuffer b;
  ASSERT_TRUE(b.EcritEntier(0x11111111));
  EXPECT_EQ(b.Seek(-2, 2), 2);
  EXPECT_EQ(b.Seek(1, 1), 3);
  EXPECT_EQ(b.Seek(-4, 1), -1);
  EXPECT_EQ(b.nPosition(), 3u);
  EXPECT_EQ(b.Seek(0, 3), -1);

  // Past the used size: the buffer grows first, the gap is zero.
  ASSERT_TRUE(b.DeplaceEcriture(8, 0));
  EXPECT_EQ(b.nTaille(), 8u);
  ASSERT_TRUE(b.EcritEntier16(0x2222));
  EXPECT_EQ(Contenu(b), (Bytes{0x11, 0x11, 0x11, 0x11, 0, 0, 0, 0, 0x22, 0x22}));
  EXPECT_EQ(b.Seek(2, 2), 12);
  EXPECT_EQ(b.nTaille(), 12u);

  // Read moves clamp to the used size.
  EXPECT_EQ(b.DeplaceLecture(100, 0), 12u);
  EXPECT_EQ(b.nPosition(), 12u);
  b.DeplaceLecture(-100, 1);
  EXPECT_EQ(b.nPosition(), 0u);
  // Offsets taken from the data may be anything: no overflow, still clamped.
  b.DeplaceLecture(4, 0);
  b.DeplaceLecture(INT64_MAX, 1);
  EXPECT_EQ(b.nPosition(), 12u);
  b.DeplaceLecture(INT64_MIN, 1);
  EXPECT_EQ(b.nPosition(), 0u);
}

TEST_F(QGBufferTest, LengthField) {
  CQGBuffer b;
  ASSERT_TRUE(b.DeplaceEcriture(10, 0));
  const int64_t debut = b.nCommenceLongueur();
  ASSERT_EQ(debut, 10);
  const uint8_t fill[16] = {};
  ASSERT_TRUE(b.Ecrit(fill, sizeof(fill)));
  EXPECT_EQ(b.nTermineLongueur(debut), 20);
  EXPECT_EQ(b.nPosition(), 30u);
  b.DeplaceLecture(10, 0);
  int32_t n = 0;
  ASSERT_TRUE(b.LitEntier(n));
  EXPECT_EQ(n, 20);
  EXPECT_EQ(b.nTermineLongueur(31), -1);
  EXPECT_EQ(b.nTermineLongueur(-1), -1);
}

// --- growth ---------------------------------------------------------------------------

TEST_F(QGBufferTest, GrowthRule) {
  struct Case {
    size_t capacity;
    size_t size;
    size_t expected;
  };
  const Case cases[] = {
      {0, 1, 0x10000},                  // the growth step
      {0x10000, 0x10001, 0x20000},      // step above half the capacity
      {0x100000, 0x100001, 0x180000},   // half the capacity
      {0x300000, 0x300001, 0x400000},   // half capped at 1 MiB
      {0x10000, 0x50000, 0x50000},      // the missing bytes
  };
  for (const Case& c : cases) {
    CQGBuffer b;
    if (c.capacity > 0) {
      ASSERT_TRUE(b.vbAlloue(c.capacity));
    }
    ASSERT_TRUE(b.Redimensionne(c.size));
    EXPECT_EQ(b.nTailleAllouee(), c.expected) << std::hex << c.capacity << " " << c.size;
    EXPECT_EQ(b.nTaille(), c.size);
  }
}

TEST_F(QGBufferTest, ShrinkingAndFreeing) {
  CQGBuffer b;
  ASSERT_TRUE(b.vbAlloue(0x30000));
  const uint8_t* block = b.pGetDonnees();
  // Between the used size and the capacity only the used size changes.
  ASSERT_TRUE(b.Redimensionne(0x28000));
  ASSERT_TRUE(b.Redimensionne(0x29000));
  EXPECT_EQ(b.pGetDonnees(), block);
  EXPECT_EQ(b.nTailleAllouee(), 0x30000u);

  // Less than a growth step left over: kept; a position at or past the new
  // size returns to 0.
  ASSERT_TRUE(b.DeplaceEcriture(0x25000, 0));
  ASSERT_TRUE(b.Redimensionne(0x25000));
  EXPECT_EQ(b.nTailleAllouee(), 0x30000u);
  EXPECT_EQ(b.nPosition(), 0u);
  // A growth step or more left over: reallocated to the size.
  ASSERT_TRUE(b.DeplaceEcriture(0x100, 0));
  ASSERT_TRUE(b.Redimensionne(0x1000));
  EXPECT_EQ(b.nTailleAllouee(), 0x1000u);
  EXPECT_EQ(b.nPosition(), 0x100u);

  ASSERT_TRUE(b.Redimensionne(0));
  EXPECT_EQ(b.pGetDonnees(), nullptr);
  EXPECT_EQ(b.nTailleAllouee(), 0u);
  EXPECT_EQ(memory_.nLiveBlocks(), 0);
}

TEST_F(QGBufferTest, SmallWritesDoNotReallocateEachTime) {
  CQGBuffer b;
  const int64_t before = memory_.nAllocations();
  for (int i = 0; i < 100000; ++i) ASSERT_TRUE(b.EcritEntier(i));
  EXPECT_LT(memory_.nAllocations() - before, 20);
  EXPECT_EQ(b.nOrigineMemoire() & 1u, 1u) << "the block comes from the host";
  b.Rembobine();
  int32_t n = 0;
  for (int i = 0; i < 100000; ++i) {
    ASSERT_TRUE(b.LitEntier(n));
    ASSERT_EQ(n, i);
  }
}

TEST_F(QGBufferTest, FailedReallocationKeepsTheBlock) {
  CQGBuffer b;
  ASSERT_TRUE(b.EcritChaine(u"kept"));
  const Bytes before = Contenu(b);
  const size_t capacity = b.nTailleAllouee();
  std::vector<uint8_t> big(capacity + 1, 0xAB);
  memory_.FailNthAllocation(1);
  EXPECT_FALSE(b.Ecrit(big.data(), big.size()));
  EXPECT_EQ(Contenu(b), before);
  EXPECT_EQ(b.nTailleAllouee(), capacity);
  EXPECT_EQ(b.nPosition(), before.size());
  memory_.FailNthAllocation(1);
  EXPECT_FALSE(b.EcritChaine(std::u16string(capacity, u'x').c_str()));
  EXPECT_EQ(Contenu(b), before);
  // Memory is back: the same write goes through.
  ASSERT_TRUE(b.Ecrit(big.data(), big.size()));
  b.Rembobine();
  CTString s;
  ASSERT_TRUE(b.bLitChaine(s));
  EXPECT_EQ(Texte(s), u"kept");
}

TEST(QGBufferHeapTest, WithoutHostMemoryUsesTheHeap) {
  IStringMemory* saved = Services().piStringMemory;
  Services().piStringMemory = nullptr;
  {
    CQGBuffer b(1, 1);
    ASSERT_TRUE(b.EcritEntete(1, 2));
    ASSERT_TRUE(b.EcritChaine(u"heap"));
    EXPECT_EQ(b.nOrigineMemoire(), 0u);
    ASSERT_TRUE(b.bFinit());
    ASSERT_TRUE(b.bDefinit());
    b.DeplaceLecture(12, 0);
    CTString s;
    ASSERT_TRUE(b.bLitChaine(s));
    EXPECT_EQ(Texte(s), u"heap");
  }
  Services().piStringMemory = saved;
}

// --- blocks ---------------------------------------------------------------------------

TEST_F(QGBufferTest, BlockHeaders) {
  struct Case {
    const char* name;
    Bytes bytes;
    int32_t max;
    int result;
    size_t position;  // after the call, when the result is 0 or -1
  };
  auto header = [](int32_t size, int32_t version, int32_t reader, size_t extra) {
    Bytes b;
    for (int32_t v : {size, version, reader}) {
      for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    b.resize(b.size() + extra, 0x5A);
    return b;
  };
  const Case cases[] = {
      {"plain", header(12, 3, 2, 4), 2, 0, 12},
      {"extra header bytes skipped", header(20, 3, 2, 12), 2, 0, 20},
      {"too new", header(12, 3, 5, 4), 4, -1, 12},
      {"header size below 12", header(11, 3, 2, 4), 4, 2, 0},
      {"negative header size", header(-1, 3, 2, 4), 4, 2, 0},
      {"nothing after the header", header(12, 3, 2, 0), 4, 2, 0},
      {"extra bytes past the data", header(40, 3, 2, 8), 4, 2, 0},
      {"cut short", Bytes{12, 0, 0, 0, 3, 0, 0, 0, 2, 0}, 4, 1, 0},
  };
  for (const Case& c : cases) {
    CQGBuffer b;
    Charge(b, c.bytes);
    int32_t version = -9;
    int32_t reader = -9;
    EXPECT_EQ(b.nLitEnteteBloc(c.max, &version, &reader), c.result) << c.name;
    if (c.result == 0 || c.result == -1) {
      EXPECT_EQ(version, 3) << c.name;
      EXPECT_EQ(b.nPosition(), c.position) << c.name;
    }
  }
}

TEST_F(QGBufferTest, BlocksWriteAndRead) {
  CQGBuffer b;
  ASSERT_TRUE(b.EcritEnteteBloc(2, 1));
  const int64_t outer = b.nCommenceLongueur();
  ASSERT_TRUE(b.EcritChaine(u"outer"));
  ASSERT_TRUE(b.EcritEnteteBloc(7, 0));
  const int64_t inner = b.nCommenceLongueur();
  ASSERT_TRUE(b.EcritEntier(42));
  ASSERT_TRUE(b.EcritEntier(99));  // a field this reader does not know
  ASSERT_GT(b.nTermineLongueur(inner), 0);
  ASSERT_GT(b.nTermineLongueur(outer), 0);
  ASSERT_TRUE(b.EcritEntier(-5));

  b.Rembobine();
  ASSERT_EQ(b.nLitEnteteBloc(1), 0);
  const int64_t outer_end = b.pLitDebutBloc();
  ASSERT_GT(outer_end, 0);
  CTString s;
  ASSERT_TRUE(b.bLitChaine(s));
  int32_t version = 0;
  ASSERT_EQ(b.nLitEnteteBloc(0, &version), 0);
  EXPECT_EQ(version, 7);
  const int64_t inner_end = b.pLitDebutBloc(outer_end);
  ASSERT_GT(inner_end, 0);
  int32_t n = 0;
  ASSERT_TRUE(b.LitEntier(n));
  EXPECT_EQ(n, 42);
  b.FinBloc(inner_end);
  b.FinBloc(outer_end);
  ASSERT_TRUE(b.LitEntier(n));
  EXPECT_EQ(n, -5);
}

TEST_F(QGBufferTest, BlockSizesAreChecked) {
  struct Case {
    const char* name;
    int32_t size;
    int64_t enclosing;
    int64_t expected;
  };
  // 4 bytes of size, then 12 bytes of data.
  const Case cases[] = {
      {"whole data", 16, -1, 16},
      {"just the size", 4, -1, 4},
      {"below 4", 3, -1, -1},
      {"zero", 0, -1, -1},
      {"negative", -8, -1, -1},
      {"past the data", 17, -1, -1},
      {"past the enclosing block", 12, 10, -1},
      {"inside the enclosing block", 8, 10, 8},
  };
  for (const Case& c : cases) {
    CQGBuffer b;
    ASSERT_TRUE(b.EcritEntier(c.size));
    ASSERT_TRUE(b.VerifieDisponible(12));
    EXPECT_EQ(b.nTaille(), 16u);
    b.Rembobine();
    EXPECT_EQ(b.pLitDebutBloc(c.enclosing), c.expected) << c.name;
  }
  CQGBuffer b;
  Charge(b, {4, 0, 0});
  EXPECT_EQ(b.pLitDebutBloc(), -1) << "size cut short";
}

// --- finishing -------------------------------------------------------------------------

// Writes a file the way the test runner does and returns its bytes.
Bytes EcritFichier(int cryptage, int compression, const std::u16string& long_text) {
  CQGBuffer b(cryptage, compression);
  EXPECT_TRUE(b.EcritEntete(3, 4));
  EXPECT_TRUE(b.EcritEnteteBloc(1, 0));
  const int64_t start = b.nCommenceLongueur();
  EXPECT_TRUE(b.EcritChaine(long_text.c_str()));
  EXPECT_TRUE(b.EcritEntier64(-1234567890123));
  EXPECT_TRUE(b.EcritChaine(u"end"));
  EXPECT_GT(b.nTermineLongueur(start), 0);
  EXPECT_TRUE(b.bFinit());
  EXPECT_TRUE(b.bEstFini());
  return Contenu(b);
}

TEST_F(QGBufferTest, FinishAndUnfinishEveryCombination) {
  std::u16string long_text;
  for (int i = 0; i < 300; ++i) long_text += u"scenario step \u00E9 ";
  const Bytes plain = EcritFichier(0, 0, long_text);
  for (int cryptage : {0, 1}) {
    for (int compression : {0, 1, 2}) {
      SCOPED_TRACE(testing::Message() << "scrambling " << cryptage << " compression "
                                      << compression);
      const Bytes file = EcritFichier(cryptage, compression, long_text);
      ASSERT_GE(file.size(), 12u);
      EXPECT_EQ(Bytes(file.begin(), file.begin() + 12), Bytes(plain.begin(), plain.begin() + 12))
          << "the header stays readable";
      if (compression != 0) {
        EXPECT_LT(file.size() * 4, plain.size());
      }
      if (cryptage != 0 || compression != 0) {
        EXPECT_NE(file, plain);
      } else {
        EXPECT_EQ(file, plain);
      }

      CQGBufferMark r(file.data(), file.size(), cryptage, compression);
      int32_t version = 0;
      int32_t reader = 0;
      ASSERT_EQ(r.nLitEntete(&version, &reader), 0);
      EXPECT_EQ(version, 3);
      EXPECT_EQ(reader, 4);
      ASSERT_EQ(r.nLitEnteteBloc(0), 0);
      const int64_t end = r.pLitDebutBloc();
      ASSERT_GT(end, 0);
      EXPECT_FALSE(r.bEstFini());
      EXPECT_EQ(Contenu(r), plain);
      CTString s;
      ASSERT_TRUE(r.bLitChaine(s));
      EXPECT_EQ(Texte(s), long_text);
      int64_t n = 0;
      ASSERT_TRUE(r.LitEntier64(n));
      EXPECT_EQ(n, -1234567890123);
      ASSERT_TRUE(r.bLitChaine(s));
      EXPECT_EQ(Texte(s), u"end");
      EXPECT_EQ(r.nPosition(), static_cast<size_t>(end));

      // Reading the header again does not take the body for finished.
      ASSERT_EQ(r.nLitEntete(nullptr, nullptr), 0);
      ASSERT_EQ(r.nLitEnteteBloc(0), 0);
      EXPECT_EQ(Contenu(r), plain);
    }
  }
}

TEST_F(QGBufferTest, WritingAfterFinishingRestoresTheBody) {
  CQGBuffer b(1, 1);
  ASSERT_TRUE(b.EcritEntete(1, 1));
  ASSERT_TRUE(b.EcritChaine(u"first"));
  ASSERT_TRUE(b.bFinit());
  ASSERT_TRUE(b.Seek(0, 2) >= 0);  // the real end, after restoring
  EXPECT_FALSE(b.bEstFini());
  ASSERT_TRUE(b.EcritChaine(u"second"));
  ASSERT_TRUE(b.bFinit());
  const Bytes file = Contenu(b);

  CQGBufferMark r(file.data(), file.size(), 1, 1);
  ASSERT_EQ(r.nLitEntete(), 0);
  CTString s;
  ASSERT_TRUE(r.bLitChaine(s));
  EXPECT_EQ(Texte(s), u"first");
  ASSERT_TRUE(r.bLitChaine(s));
  EXPECT_EQ(Texte(s), u"second");
}

// Failures while a finished body is restored or written to: whatever step
// fails, the stored body survives, and finishing again gives the same bytes.
TEST_F(QGBufferTest, FailuresOnAFinishedBodyKeepIt) {
  std::u16string text;
  for (int i = 0; i < 20000; ++i) text += u"a compressible body line ";
  CQGBuffer model(1, 1);
  ASSERT_TRUE(model.EcritEntete(1, 1));
  ASSERT_TRUE(model.EcritChaine(text.c_str()));
  ASSERT_TRUE(model.bFinit());
  const Bytes finished = Contenu(model);
  // Finished bytes (the scrambling is salted) read back as the text.
  auto reads_back = [&text](const Bytes& file) {
    CQGBufferMark r(file.data(), file.size(), 1, 1);
    CTString s;
    return r.nLitEntete() == 0 && r.bLitChaine(s) && Texte(s) == text;
  };
  ASSERT_TRUE(reads_back(finished));
  CAny big;
  big.SetDSTRW(std::u16string(300000, u'v').c_str());
  int failures = 0;
  for (int nth = 1; nth <= 6; ++nth) {
    SCOPED_TRACE(nth);
    // A variant record that fails part-way, the body restored for it.
    CQGBufferMark b(finished.data(), finished.size(), 1, 1);
    ASSERT_EQ(b.nLitEntete(), 0);
    ASSERT_TRUE(b.Seek(0, 2) >= 0);
    ASSERT_TRUE(b.bFinit());
    memory_.FailNthAllocation(nth);
    const bool written = b.EcritAny(big);
    memory_.FailNthAllocation(0);
    if (!written) {
      ++failures;
      ASSERT_TRUE(b.bFinit());
      EXPECT_TRUE(reads_back(Contenu(b)));
    }
    // The restoring itself fails after the scrambling was removed.
    CQGBufferMark c(finished.data(), finished.size(), 1, 1);
    ASSERT_EQ(c.nLitEntete(), 0);
    ASSERT_TRUE(c.Seek(0, 2) >= 0);
    ASSERT_TRUE(c.bFinit());
    memory_.FailNthAllocation(nth);
    const bool restored = c.bDefinit();
    memory_.FailNthAllocation(0);
    if (!restored) {
      ++failures;
      ASSERT_TRUE(c.bFinit());
      EXPECT_TRUE(reads_back(Contenu(c)));
    }
  }
  EXPECT_GT(failures, 1);
}

TEST_F(QGBufferTest, RestoredBodySizeIsCappedByTheCaller) {
  CQGBuffer b(0, 1);
  ASSERT_TRUE(b.EcritEntete(1, 1));
  ASSERT_TRUE(b.EcritChaine(std::u16string(50000, u'z').c_str()));
  ASSERT_TRUE(b.bFinit());
  const Bytes file = Contenu(b);
  CQGBufferMark capped(file.data(), file.size(), 0, 1);
  capped.SetTailleCorpsMax(1000);  // a body that restores to ~100 KB
  ASSERT_EQ(capped.nLitEntete(), 0);
  CTString s;
  EXPECT_FALSE(capped.bLitChaine(s));
  EXPECT_TRUE(capped.bEstFini());
  CQGBufferMark enough(file.data(), file.size(), 0, 1);
  enough.SetTailleCorpsMax(200000);
  ASSERT_EQ(enough.nLitEntete(), 0);
  ASSERT_TRUE(enough.bLitChaine(s));
  EXPECT_EQ(Texte(s), std::u16string(50000, u'z'));
}

// Without a cap from the caller, the bytes handed in bound the restored
// body: a few KB of codes that would fill 20 MiB are refused before any
// block is claimed for them, unless the caller allows that much.
TEST_F(QGBufferTest, RestoredBodySizeFollowsTheBytesHandedIn) {
  const Bytes run(20 << 20, 0);
  CQGBuffer b(0, 1);
  ASSERT_TRUE(b.EcritEntete(1, 1));
  ASSERT_TRUE(b.Ecrit(run.data(), run.size()));
  ASSERT_TRUE(b.bFinit());
  const Bytes file = Contenu(b);
  ASSERT_LT(file.size(), 16u << 10);
  CQGBufferMark by_default(file.data(), file.size(), 0, 1);
  ASSERT_EQ(by_default.nLitEntete(), 0);
  EXPECT_FALSE(by_default.bDefinit());
  EXPECT_TRUE(by_default.bEstFini());
  EXPECT_EQ(by_default.nTaille(), file.size());
  CQGBufferMark allowed(file.data(), file.size(), 0, 1);
  allowed.SetTailleCorpsMax(run.size());
  ASSERT_EQ(allowed.nLitEntete(), 0);
  ASSERT_TRUE(allowed.bDefinit());
  ASSERT_EQ(allowed.nTaille(), run.size() + 12);
  EXPECT_TRUE(std::equal(run.begin(), run.end(), allowed.pGetDonnees() + 12));
  // The default follows the body's size, with a floor for small bodies.
  EXPECT_EQ(CQGBuffer::nCorpsMaxParDefaut(100), CQGBuffer::kCorpsMaxPlancher);
  EXPECT_EQ(CQGBuffer::nCorpsMaxParDefaut(1 << 20), 256u << 20);
  EXPECT_EQ(CQGBuffer::nCorpsMaxParDefaut(CQGBuffer::kTailleMax), CQGBuffer::kTailleMax);
}

TEST_F(QGBufferTest, DamagedCompressedBodiesFail) {
  auto body = [](std::initializer_list<uint8_t> b) {
    Bytes file = {12, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0};
    file.insert(file.end(), b);
    return file;
  };
  struct Case {
    const char* name;
    Bytes file;
  };
  const Case cases[] = {
      // The decoder answers 0 for method 2 although 10 bytes are declared.
      {"decoder answers 0", body({2, 1, 0, 0, 0, 10, 0, 0, 0, 0, 0, 0xAA})},
      {"unknown method", body({9, 1, 0, 0, 0, 10, 0, 0, 0, 0, 0, 0xAA})},
      {"stored, truncated", body({0, 10, 0, 0, 0, 'a', 'b'})},
      {"stored, size too large", body({0, 0xFF, 0xFF, 0xFF, 0x7F, 'a'})},
      {"LZW, payload past the body", body({4, 50, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0x62})},
      {"LZW, huge declared size", body({4, 2, 0, 0, 0, 0, 0, 0, 0x40, 0, 0, 0x62, 0})},
      {"LZW, corrupt stream", body({4, 4, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF})},
      {"header cut short", body({4, 1})},
      {"no body", body({})},
  };
  for (const Case& c : cases) {
    CQGBufferMark r(c.file.data(), c.file.size(), 0, 1);
    r.nLitEntete();  // 2 when no body follows the header
    int32_t n = 0;
    EXPECT_FALSE(r.LitEntier(n)) << c.name;
    EXPECT_TRUE(r.bEstFini()) << c.name;
    CTString s;
    EXPECT_FALSE(r.bLitChaine(s)) << c.name;
    EXPECT_EQ(r.nPosition(), 12u) << c.name;
  }
}

TEST_F(QGBufferTest, LargeBodiesRoundTrip) {
  // A long run expands the most per code (the size check on restoring must
  // let it through); varied words fill the dictionary and reset it.
  Bytes run(3 << 20, 'a');
  Bytes words;
  uint32_t seed = 7;
  while (words.size() < (2 << 20)) {
    seed = seed * 1103515245 + 12345;
    const int len = 2 + static_cast<int>(seed >> 16) % 9;
    for (int i = 0; i < len; ++i) {
      seed = seed * 1103515245 + 12345;
      words.push_back(static_cast<uint8_t>('a' + (seed >> 16) % 26));
    }
    words.push_back(' ');
  }
  for (const Bytes* body : {&run, &words}) {
    CQGBuffer b(1, 1);
    ASSERT_TRUE(b.EcritEntete(1, 1));
    ASSERT_TRUE(b.Ecrit(body->data(), body->size()));
    ASSERT_TRUE(b.bFinit());
    EXPECT_LT(b.nTaille(), body->size() * 3 / 4);
    const Bytes file = Contenu(b);
    CQGBufferMark r(file.data(), file.size(), 1, 1);
    ASSERT_EQ(r.nLitEntete(), 0);
    ASSERT_TRUE(r.bDefinit());
    ASSERT_EQ(r.nTaille(), body->size() + 12);
    EXPECT_TRUE(std::equal(body->begin(), body->end(), r.pGetDonnees() + 12));
  }
}

TEST_F(QGBufferTest, EmptyBodyRoundTrip) {
  for (int compression : {0, 1, 2}) {
    CQGBuffer b(1, compression);
    ASSERT_TRUE(b.EcritEntete(0, 0));
    ASSERT_TRUE(b.bFinit());
    const Bytes file = Contenu(b);
    CQGBufferMark r(file.data(), file.size(), 1, compression);
    EXPECT_EQ(r.nLitEntete(), compression == 0 ? 2 : 0) << "nothing after the header";
    EXPECT_TRUE(r.bDefinit());
    EXPECT_EQ(r.nTaille(), 12u);
  }
}

TEST(CQGBufferMisc, ConvertsOldTypeNumbers) {
  const int32_t cases[][2] = {{258, 2}, {259, 8}, {260, 18}, {261, 20}, {65540, 7},
                              {2, 2},   {16, 16}, {262, 262}, {0, 0},   {-1, -1}};
  for (const auto& c : cases) EXPECT_EQ(nConvertitTypeAncien(c[0]), c[1]) << c[0];
}

// --- variant records -------------------------------------------------------------------

class QGBufferAnyTest : public AnyHostTest {};

TEST_F(QGBufferAnyTest, VariantRecordsRoundTrip) {
  CQGBuffer b;
  CAny i4;
  i4.SetI4(-7);
  CAny text;
  text.SetDSTRW(u"t\u00E9st");
  CAny null_i2;
  null_i2.SetI2(5);
  null_i2.SetNull(true);
  CAny empty;
  for (const CAny* v : {&i4, &text, &null_i2, &empty}) ASSERT_TRUE(b.EcritAny(*v));
  // I4: type word 8, size 4, the value.
  EXPECT_EQ(Bytes(b.pGetDonnees(), b.pGetDonnees() + 10),
            (Bytes{8, 0, 4, 0, 0, 0, 0xF9, 0xFF, 0xFF, 0xFF}));

  b.Rembobine();
  CAny v;
  ASSERT_TRUE(b.LitAny(v));
  int32_t n = 0;
  ASSERT_EQ(v.nGetI4(&n), 0);
  EXPECT_EQ(n, -7);
  ASSERT_TRUE(b.LitAny(v));
  const char16_t* t = nullptr;
  ASSERT_EQ(v.nGetPCXSTR(&t), 0);
  EXPECT_EQ(std::u16string(t), u"t\u00E9st");
  ASSERT_TRUE(b.LitAny(v));
  EXPECT_EQ(v.nGetCode(), 7);
  EXPECT_TRUE(v.bEstNull());
  ASSERT_TRUE(b.LitAny(v));
  EXPECT_TRUE(v.bEstVide());
  EXPECT_EQ(b.nRestant(), 0u);
  EXPECT_FALSE(b.LitAny(v));
}

TEST_F(QGBufferAnyTest, ShortOrOddTextRecords) {
  // DSTRW with sizes 0 and 1 gives the empty text; then a record whose
  // size runs past the data fails without moving.
  CQGBuffer b;
  Charge(b, {16, 0, 0, 0, 0, 0,  16, 0, 1, 0, 0, 0, 'x',  16, 0, 9, 0, 0, 0, 'a', 0});
  CAny v;
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(b.LitAny(v)) << i;
    const char16_t* t = nullptr;
    ASSERT_EQ(v.nGetPCXSTR(&t), 0);
    EXPECT_EQ(std::u16string(t), u"") << i;
  }
  const size_t at = b.nPosition();
  EXPECT_FALSE(b.LitAny(v));
  EXPECT_EQ(b.nPosition(), at);
  Charge(b, {8, 0, 4, 0});
  EXPECT_FALSE(b.LitAny(v)) << "size cut short";
  EXPECT_EQ(b.nPosition(), 0u);
}

TEST_F(QGBufferAnyTest, VariantRecordsInAFinishedBody) {
  CQGBuffer b(1, 2);
  ASSERT_TRUE(b.EcritEntete(1, 1));
  CAny v;
  v.SetDSTRW(u"inside a compressed body, inside a compressed body");
  ASSERT_TRUE(b.EcritAny(v));
  ASSERT_TRUE(b.bFinit());
  const Bytes file = Contenu(b);
  CQGBufferMark r(file.data(), file.size(), 1, 2);
  ASSERT_EQ(r.nLitEntete(), 0);
  CAny w;
  ASSERT_TRUE(r.LitAny(w));
  const char16_t* t = nullptr;
  ASSERT_EQ(w.nGetPCXSTR(&t), 0);
  EXPECT_EQ(std::u16string(t), u"inside a compressed body, inside a compressed body");
}

}  // namespace
}  // namespace qg
