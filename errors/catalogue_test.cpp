#include "errors/catalogue.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "errors/catalogue_plain.h"
#include "support/frame/module_frame.h"
#include "errors/module_errors.h"
#include "host/core/info_locale.h"
#include "support/ctstring.h"
#include "support/frame/execution_protocol.h"
#include "support/frame/locale_wrapper.h"
#include "support/frame/module_services.h"
#include "support/platform/codepage.h"

namespace {

using qg::CatalogueTable;

std::u16string FromUtf8(const char* text) {
  int n = static_cast<int>(std::strlen(text));
  if (n == 0) return std::u16string();
  std::u16string out(static_cast<size_t>(n), u'\0');
  int units = qg::MultiByteToWide(qg::kCodePageUtf8, text, n, out.data(), n);
  out.resize(static_cast<size_t>(units));
  return out;
}

// Module-wide state that every test starts from: no host callback, no
// locale interface, no module catalogue.
class CatalogueTest : public ::testing::Test {
 protected:
  void SetUp() override { Clear(); }
  void TearDown() override { Clear(); }
  static void Clear() {
    qg::Services().pfnMessageText = nullptr;
    qg::Services().piInfoLocale = nullptr;
    qg::Services().pfnCatalogueText = nullptr;
    qg::Services().pfnCataloguePacking = nullptr;
    qg::InstallModuleCatalogue(nullptr);
    Localisation::SetLangueDefautModule(9);
  }
};

// A small hand-made table: one record per message, the same in every slot.
struct HandTable {
  std::vector<qg::CatalogueEntry> entries;
  std::vector<uint8_t> block;
  CatalogueTable table{};

  void Add(uint32_t number, uint8_t flag, const std::vector<uint8_t>& packed,
           int declared_length = -1) {
    uint32_t offset = static_cast<uint32_t>(block.size());
    size_t length = declared_length >= 0 ? static_cast<size_t>(declared_length) : packed.size();
    block.push_back(flag);
    block.push_back(static_cast<uint8_t>(length & 0xFF));
    block.push_back(static_cast<uint8_t>(length >> 8));
    block.insert(block.end(), packed.begin(), packed.end());
    entries.push_back({number, {offset, offset, offset, offset, offset, offset}});
  }
  const CatalogueTable& Build() {
    uint32_t size = static_cast<uint32_t>(block.size());
    table = CatalogueTable{entries.data(), static_cast<uint32_t>(entries.size()),
                           {block.data(), block.data(), block.data()}, {size, size, size}};
    return table;
  }
};

std::vector<uint8_t> Bytes(const char* text) {
  return std::vector<uint8_t>(text, text + std::strlen(text));
}

std::vector<uint8_t> Utf16Bytes(const std::u16string& text) {
  std::vector<uint8_t> out;
  for (char16_t c : text) {
    out.push_back(static_cast<uint8_t>(c & 0xFF));
    out.push_back(static_cast<uint8_t>(c >> 8));
  }
  return out;
}

// Every text of every catalogue comes back out of the packed table as it
// was written, in each of the six language and variant slots.
TEST_F(CatalogueTest, EveryMessageRoundTripsThroughPackedTable) {
  struct Pair {
    const CatalogueTable& table;
    qgtest::PlainCatalogue plain;
  } catalogues[] = {
      {qg::SharedCatalogue(), qgtest::Plain_SharedCatalogue()},
      {qg::CatalogueModule76(), qgtest::Plain_CatalogueModule76()},
      {qg::CatalogueModule80(), qgtest::Plain_CatalogueModule80()},
      {qg::CatalogueModule20(), qgtest::Plain_CatalogueModule20()},
      {qg::CatalogueModule54(), qgtest::Plain_CatalogueModule54()},
  };
  const Localisation::Langue slots[6] = {{12, 1}, {12, 2}, {9, 1}, {9, 2}, {10, 1}, {10, 2}};
  int checked = 0;
  bool references_seen = false;
  for (const Pair& c : catalogues) {
    ASSERT_EQ(c.table.nCount, c.plain.nCount);
    for (size_t i = 0; i < c.plain.nCount; ++i) {
      const qgtest::PlainMessage& m = c.plain.pMessages[i];
      for (int s = 0; s < 6; ++s) {
        CMessageRessource locator(m.nNumber, slots[s]);
        ASSERT_TRUE(locator.bTrouve(c.table)) << m.nNumber;
        references_seen = references_seen || locator.nGetPacking() == qg::kPackingReferences;
        CTString text;
        ASSERT_TRUE(locator.bCharge(text)) << m.nNumber << " slot " << s;
        EXPECT_EQ(std::u16string(text.pszGet()), FromUtf8(m.apszText[s]))
            << m.nNumber << " slot " << s;
        ++checked;
      }
    }
  }
  EXPECT_GT(checked, 0);
  EXPECT_TRUE(references_seen);
}

TEST_F(CatalogueTest, NumbersTheOtherSubsystemsUseHaveTexts) {
  struct Expect {
    const CatalogueTable& table;
    std::vector<uint32_t> numbers;
  } expected[] = {
      {qg::SharedCatalogue(), {25193, 25209, 25223, 25206, 25208, 25220, 25221, 25944, 25311, 25770,
                               28001, 28002, 28003, 28004, 28005, 28008, 28139, 28140, 28145,
                               28146, 28842, 28843, 28844, 28845, 28846, 28847, 28848, 28849,
                               28850, 28851, 28852, 28853, 28854, 28855, 28856, 28857, 28858,
                               28859, 28860, 28861, 28862, 28865}},
      {qg::CatalogueModule76(), {5, 55, 12, 14, 20, 22, 23, 26, 27, 29, 30, 37, 75, 76, 78, 79, 760101,
                                 3355, 28417, 28437, 28541, 25667, 28576, 28588, 28591, 25670, 25674,
                                 25675, 25676, 25678, 25679, 25680, 25810, 25834, 25835, 25836,
                                 25837, 25838, 25839, 25844, 25845, 25846, 25847, 25848, 25849,
                                 25869}},
      {qg::CatalogueModule80(), {800001, 800002, 800003, 800004, 800005, 800006}},
      {qg::CatalogueModule20(), {3598, 3600, 3602, 3604, 3614, 3619, 3667, 200001, 200002, 200003,
                                 200004, 200005, 200006, 200007, 200008, 200012, 200013}},
      {qg::CatalogueModule54(), {540000, 540010, 540021, 540026, 28117, 28567, 5339, 9176, 5062,
                                 5064, 5065, 5066, 6040, 6757, 6967, 5341}},
  };
  for (const Expect& e : expected) {
    for (uint32_t n : e.numbers) {
      CMessageRessource locator(n, Localisation::Langue::Defaut);
      EXPECT_TRUE(locator.bTrouve(e.table)) << n;
    }
  }
}

TEST_F(CatalogueTest, LanguageAndVariantSelectTheirTexts) {
  struct Case {
    Localisation::Langue pair;
    const char16_t* expected;
  } cases[] = {
      {{12, 1}, u"Vrai"}, {{12, 2}, u"Oui"},      {{10, 1}, u"Verdadero"}, {{10, 2}, u"Sí"},
      {{9, 1}, u"True"},  {{9, 2}, u"Yes"},       {{7, 1}, u"True"},       {{12, 3}, u"Vrai"},
  };
  for (const Case& c : cases) {
    CTString text;
    ASSERT_TRUE(bChargeMessageLangue(25223, text, c.pair));
    EXPECT_EQ(std::u16string(text.pszGet()), c.expected) << c.pair.nLangue << "/" << c.pair.nVariante;
  }
}

TEST_F(CatalogueTest, FormattedLoadTakesInsertsInOrder) {
  CTString text;
  ASSERT_TRUE(bChargeMessageF(28145, text, u"f.dat", int64_t{1} << 33));
  EXPECT_EQ(std::u16string(text.pszGet()), u"File <f.dat> cannot be locked (offset 8589934592, length %3!I64u!).");
  EXPECT_FALSE(bChargeMessageF(424242, text, 1));
}

TEST_F(CatalogueTest, ModuleMessagesAndLanguageAlone) {
  qg::InstallModuleCatalogue(&qg::CatalogueModule54());
  CTString text(u"kept");
  ASSERT_TRUE(bFormatModuleMessage(5339, text, u"C1", u"5", u"x"));
  EXPECT_EQ(std::u16string(text.pszGet()), u"Controller <C1>: expected value <5>, actual value <x>.");
  EXPECT_FALSE(bFormatModuleMessage(424242, text, 1));
  EXPECT_EQ(std::u16string(text.pszGet()), u"Controller <C1>: expected value <5>, actual value <x>.");
  const Localisation::Langue french = Localisation::Langue::DepuisLangueSeule(12);
  EXPECT_EQ(french.nLangue, 12);
  EXPECT_EQ(french.nVariante, 1);
  ASSERT_TRUE(bChargeMessageLangue(25223, text, french));
  EXPECT_EQ(std::u16string(text.pszGet()), u"Vrai");
}

TEST_F(CatalogueTest, CurrentPairComesFromLocaleOrDefaults) {
  EXPECT_EQ(Localisation::Langue::Courante.Resout().nLangue, 9);
  EXPECT_EQ(Localisation::Langue::Courante.Resout().nVariante, 1);

  Localisation::SetLangueDefautModule(12);
  EXPECT_EQ(Localisation::Langue::Courante.Resout().nLangue, 12);
  EXPECT_EQ(Localisation::Langue::Courante.Resout().nVariante, 1);
  // An explicit pair is kept as it is.
  EXPECT_EQ((Localisation::Langue{10, 2}).Resout().nLangue, 10);

  qghost::InfoLocale locale;
  locale.SetLanguagePair(10, 2);
  qg::Services().piInfoLocale = &locale;
  CMessageRessource locator(25223, Localisation::Langue::Courante);
  EXPECT_EQ(locator.nGetLangue(), 10);
  EXPECT_EQ(locator.nGetVariante(), 2);

  // A version-4 host through the frame's wrapper: its language, variant 2.
  qghost::InfoLocaleV4 old;
  old.SetLanguagePair(12, 1);
  CWrapperIInfoLocaleVersion4 wrapper;
  wrapper.SetInner(&old);
  qg::Services().piInfoLocale = &wrapper;
  CTString text;
  ASSERT_TRUE(bChargeMessage(25223, text, Localisation::Langue::Courante));
  EXPECT_EQ(std::u16string(text.pszGet()), u"Oui");
  EXPECT_EQ(old.nFaults(), 0);
}

TEST_F(CatalogueTest, UnpackingNeverPassesItsOutput) {
  // Kind 1: unpacked length 6, then control 0b100 (two literals, one
  // reference of distance 2, length 4): "ababab".
  const uint8_t good[] = {6, 0, 0x04, 'a', 'b', 0x01, 0x10};
  uint8_t out[16];
  std::memset(out, 0xEE, sizeof(out));
  ASSERT_EQ(qg::UnpackBytes(1, good, sizeof(good), out, sizeof(out)), 6);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 6), "ababab");

  struct Bad {
    const char* what;
    std::vector<uint8_t> packed;
    size_t capacity;
  } bad[] = {
      {"output too small for the declared length", {6, 0, 0x04, 'a', 'b', 0x01, 0x10}, 5},
      {"declared length far above what the items give", {0xFF, 0xFF, 0x00, 'a', 'b'}, 16},
      {"reference before the start", {4, 0, 0x01, 0x05, 0x00}, 16},
      {"reference longer than what is left", {4, 0, 0x02, 'a', 0x00, 0xF0}, 16},
      {"truncated reference", {4, 0, 0x02, 'a', 0x00}, 16},
      {"bytes left over", {1, 0, 0x00, 'a', 'z'}, 16},
      {"no length", {1}, 16},
  };
  for (const Bad& b : bad) {
    std::memset(out, 0xEE, sizeof(out));
    EXPECT_EQ(qg::UnpackBytes(1, b.packed.data(), b.packed.size(), out, b.capacity), -1) << b.what;
    for (size_t i = b.capacity; i < sizeof(out); ++i) ASSERT_EQ(out[i], 0xEE) << b.what;
  }
  EXPECT_EQ(qg::UnpackBytes(0, good, sizeof(good), out, 3), -1);
  EXPECT_EQ(qg::UnpackBytes(2, good, sizeof(good), out, sizeof(out)), -1);
  EXPECT_EQ(qg::UnpackBytes(3, good, sizeof(good), out, sizeof(out)), -1);
}

TEST_F(CatalogueTest, RecordsOfHandTableDecodeOrFailSafely) {
  HandTable hand;
  hand.Add(10, 0x00, Bytes("plain"));
  hand.Add(11, qg::kRecordUtf16, Utf16Bytes(u"\u4e2d\u6587"));
  hand.Add(12, 0x00, {});                               // empty text
  hand.Add(13, 0x02, Bytes("xx"));                      // unknown packing kind
  hand.Add(14, qg::kRecordUtf16, Bytes("odd"));         // half a UTF-16 unit
  hand.Add(15, 0x01, {200, 0, 0x00, 'a'});              // claims more than it holds
  hand.Add(16, 0x00, Bytes("abc"), 60000);              // length past the block
  const CatalogueTable& table = hand.Build();

  char16_t buffer[32];
  CMessageRessource utf8(10, Localisation::Langue::Defaut);
  ASSERT_TRUE(utf8.bTrouve(table));
  EXPECT_EQ(utf8.nGetEncodage(), 1);
  EXPECT_EQ(utf8.nCharge(buffer, 32), 5);
  EXPECT_EQ(std::u16string(buffer), u"plain");

  CMessageRessource utf16(11, Localisation::Langue::Defaut);
  ASSERT_TRUE(utf16.bTrouve(table));
  EXPECT_EQ(utf16.nGetEncodage(), 2);
  EXPECT_EQ(utf16.nCharge(buffer, 32), 2);
  EXPECT_EQ(std::u16string(buffer), u"\u4e2d\u6587");

  CMessageRessource empty(12, Localisation::Langue::Defaut);
  ASSERT_TRUE(empty.bTrouve(table));
  CTString text(u"before");
  EXPECT_TRUE(empty.bCharge(text));
  EXPECT_TRUE(text.bEstVide());

  for (uint32_t n : {13u, 14u, 15u}) {
    CMessageRessource locator(n, Localisation::Langue::Defaut);
    ASSERT_TRUE(locator.bTrouve(table)) << n;
    buffer[0] = u'?';
    EXPECT_EQ(locator.nCharge(buffer, 32), 0) << n;
    EXPECT_EQ(buffer[0], 0) << n;
  }
  CMessageRessource outside(16, Localisation::Langue::Defaut);
  EXPECT_FALSE(outside.bTrouve(table));
  CMessageRessource absent(17, Localisation::Langue::Defaut);
  EXPECT_FALSE(absent.bTrouve(table));
  EXPECT_EQ(absent.nGetPacking(), -1);
}

TEST_F(CatalogueTest, CommandCodesAnswerFromCatalogue) {
  qg::InstallModuleCatalogue(&qg::CatalogueModule76());
  char16_t buffer[64];
  qg::MessageTextRequest request{static_cast<int32_t>(sizeof(request)), 29, buffer, 64, -7};
  intptr_t n = qg::FrameCommandeComposante(qg::kCmdMessageText, reinterpret_cast<intptr_t>(&request));
  EXPECT_EQ(n, static_cast<intptr_t>(std::u16string(u"No transaction is running.").size()));
  EXPECT_EQ(request.nResult, n);
  EXPECT_EQ(std::u16string(buffer), u"No transaction is running.");

  // Shared messages are reachable through the module's channel too.
  request.nNumber = 25193;
  EXPECT_GT(qg::FrameCommandeComposante(qg::kCmdMessageText, reinterpret_cast<intptr_t>(&request)), 0);

  // A capacity below the text: capacity - 1 characters, terminated.
  request.nNumber = 29;
  request.nCapacity = 6;
  EXPECT_EQ(qg::FrameCommandeComposante(qg::kCmdMessageText, reinterpret_cast<intptr_t>(&request)), 5);
  EXPECT_EQ(std::u16string(buffer), u"No tr");

  // A capacity of 0 or less writes nothing and answers 0.
  for (int32_t capacity : {0, -5}) {
    buffer[0] = u'#';
    request.nCapacity = capacity;
    EXPECT_EQ(qg::FrameCommandeComposante(qg::kCmdMessageText, reinterpret_cast<intptr_t>(&request)), 0);
    EXPECT_EQ(buffer[0], u'#');
    EXPECT_EQ(request.nResult, 0);
  }

  request.nNumber = 123456;
  request.nCapacity = 64;
  EXPECT_EQ(qg::FrameCommandeComposante(qg::kCmdMessageText, reinterpret_cast<intptr_t>(&request)), 0);
  EXPECT_EQ(qg::FrameCommandeComposante(qg::kCmdMessagePacking, 123456), -1);
  intptr_t kind = qg::FrameCommandeComposante(qg::kCmdMessagePacking, 760101);
  EXPECT_TRUE(kind == 0 || kind == 1) << kind;
  EXPECT_EQ(qg::FrameCommandeComposante(qg::kCmdMessageText, 0), 0);
  EXPECT_EQ(qg::FrameCommandeComposante(99, 0), 0);
  EXPECT_EQ(qg::FrameCommandeComposante(1, 0), 0);

  // The frame's own channel reaches the installed catalogue.
  EXPECT_EQ(qg::Services().pfnCataloguePacking(760101), kind);
}

int32_t g_answer_length = 0;
std::vector<int32_t> g_capacities;

// A host callback that knows one text of g_answer_length characters and
// answers its whole length whatever the buffer.
int32_t LongCallback(int32_t, char16_t* buffer, int32_t capacity) {
  g_capacities.push_back(capacity);
  int32_t n = std::min(g_answer_length, capacity - 1);
  for (int32_t i = 0; i < n; ++i) buffer[i] = static_cast<char16_t>(u'a' + i % 26);
  if (capacity > 0) buffer[n] = 0;
  return g_answer_length;
}

TEST_F(CatalogueTest, HostCallbackComesFirstAndLongTextsAreFetchedWhole) {
  EXPECT_EQ(qg::FrameCommandeComposante(qg::kCmdSetMessageCallback,
                                    reinterpret_cast<intptr_t>(&LongCallback)),
            1);
  ASSERT_EQ(qg::Services().pfnMessageText, &LongCallback);

  for (int32_t length : {300, 256, 255, 10}) {
    g_answer_length = length;
    g_capacities.clear();
    CTString text;
    ASSERT_TRUE(bChargeMessage(25223, text, Localisation::Langue::Courante)) << length;
    EXPECT_EQ(text.nTaille(), length);
    EXPECT_EQ(text.nGetChar(length - 1), static_cast<char16_t>(u'a' + (length - 1) % 26));
    if (length >= 256) {
      ASSERT_EQ(g_capacities.size(), 2u);
      EXPECT_EQ(g_capacities[1], length + 1);
    } else {
      EXPECT_EQ(g_capacities.size(), 1u);
    }
  }

  // Code 3 returns the callback's answer unchanged, even above the capacity.
  g_answer_length = 300;
  char16_t buffer[64];
  qg::MessageTextRequest request{static_cast<int32_t>(sizeof(request)), 1, buffer, 64, 0};
  EXPECT_EQ(qg::FrameCommandeComposante(qg::kCmdMessageText, reinterpret_cast<intptr_t>(&request)), 300);

  // A callback without text leaves the catalogue to answer.
  g_answer_length = 0;
  CTString text;
  ASSERT_TRUE(bChargeMessageLangue(25223, text, Localisation::Langue::Defaut));
  EXPECT_EQ(std::u16string(text.pszGet()), u"True");
}

int g_provider_calls = 0;
int32_t g_provider_length = 0;

intptr_t Provider(int32_t code, intptr_t argument) {
  if (code != qg::kCmdMessageText) return 0;
  ++g_provider_calls;
  auto* request = reinterpret_cast<qg::MessageTextRequest*>(argument);
  int32_t n = std::min(g_provider_length, request->nCapacity - 1);
  for (int32_t i = 0; i < n; ++i) request->pszBuffer[i] = u'p';
  request->pszBuffer[n] = 0;
  request->nResult = n;
  return n;
}

TEST_F(CatalogueTest, ProviderComesBeforeCatalogueAndGrowsItsBuffer) {
  struct Case {
    int32_t length;
    int calls;
  } cases[] = {{40, 1}, {600, 3}, {255, 2}, {0, 1}};
  for (const Case& c : cases) {
    g_provider_length = c.length;
    g_provider_calls = 0;
    CTString text;
    ASSERT_TRUE(bChargeMessage(25223, text, Localisation::Langue::Defaut, &Provider)) << c.length;
    EXPECT_EQ(g_provider_calls, c.calls) << c.length;
    if (c.length > 0) {
      EXPECT_EQ(text.nTaille(), c.length);
    } else {
      EXPECT_EQ(std::u16string(text.pszGet()), u"True");  // no text: the catalogue's
    }
  }
}

}  // namespace
