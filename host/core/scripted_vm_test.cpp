#include "host/core/scripted_vm.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/string_host_fixture.h"

namespace qghost {
namespace {

// Script words are UTF-8: names and texts reach the runner as the same
// characters, outside the basic plane too.
TEST(ScriptedVmText, Utf8AndUtf16RoundTrip) {
  const struct {
    std::string utf8;
    std::u16string utf16;
  } cases[] = {
      {"somme", u"somme"},
      {"\xC3\xA9t\xC3\xA9", u"\u00E9t\u00E9"},
      {"\xE2\x82\xAC", u"\u20AC"},
      {"\xF0\x9F\x98\x80", u"\U0001F600"},
      {"", u""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Utf16Of(c.utf8), c.utf16) << c.utf8;
    EXPECT_EQ(Utf8Of(c.utf16.c_str()), c.utf8) << c.utf8;
  }
  EXPECT_EQ(Utf16Of("a\xC3"), u"a\uFFFD");  // a cut sequence
  EXPECT_EQ(Utf8Of(nullptr), "");
}

// Keeps what the scenario code reports; every other runner operation is
// refused or does nothing.
class ReportSink final : public qg::ITestFactory {
 public:
  int32_t AddRef() override { return 1; }
  int32_t Release() override { return 1; }
  IElementTest* piChargeListeTestParNom(const char16_t*, CXError*) override { return nullptr; }
  void PrepareExecution(const char16_t*) override {}
  int32_t bExecuteListe(const char16_t*, qg::IMainVM*, CXError*) override { return 0; }
  int32_t nEcritParametreCourant(int32_t, int32_t, int32_t, const CAny*, CXError*) override {
    return 0;
  }
  void RapporteValeurCourante(const char16_t* name, const char16_t* value) override {
    reports.emplace_back(name != nullptr ? name : u"(null)", value != nullptr ? value : u"(null)");
  }
  int32_t bFinExecution(qg::IMainVM*) override { return 0; }
  int32_t nFermeJournal() override { return 0; }
  void ChargeTableNoms(const char16_t* const*, int32_t) override {}
  void SignaleFinInattendue() override {}
  void SignaleErreur(const CXError*, int32_t) override {}
  int32_t bEnregistrementDemande() override { return 0; }
  int32_t bEnregistrementSansListeDemande() override { return 0; }
  int32_t bLectureDemandee() override { return 0; }
  int32_t bEnregistrementAvecListeDemande() override { return 0; }
  void PauseApresSaisie(int32_t) override {}
  void PauseApresMessage(int32_t, int32_t) override {}
  int32_t nDemarrageApplication(qg::IMainVM*, CXError*) override { return 0; }
  int32_t bExecuteDiffere(qg::IMainVM*, CXError*) override { return 0; }
  int32_t bFinExecuteDiffere(CXError*) override { return 0; }
  IElementTest* piScenarioDiffere() override { return nullptr; }
  void SignaleAppelElement(qg::IElementHote*) override {}
  void SignaleFermetureFenetre(qg::IElementHote*) override {}

  std::vector<std::pair<std::u16string, std::u16string>> reports;
};

// `report` hands the runner the pass's text values whole, under a UTF-8
// name: accents and characters outside the basic plane in both, a null or
// missing value as the empty text, a number (written or from the pass's
// values) as its digits.
class ScriptedVmReport : public qg::StringHostTest {};

TEST_F(ScriptedVmReport, TextValuesAndNamesReachTheRunnerWhole) {
  ScriptedVM vm;
  ReportSink sink;
  vm.SetScript(&sink,
               "S report \xC3\xA9t\xC3\xA9 $0\n"
               "S report \xF0\x9F\x98\x80 $1\n"
               "S report nul $2\n"
               "S report absent $7\n"
               "S report nombre 42\n"
               "S report entier $3\n"
               "S report reel $4\n"
               "Autre report jamais 1\n");
  qg::EventContext context;
  context.hScenario = vm.hScenario(1, u"S", 5);
  vm.Contexte(&context, 1);
  CAny accents, astral, null;
  ASSERT_EQ(accents.SetDSTRW(u"\u00E9t\u00E9 \u20AC"), 0);
  ASSERT_EQ(astral.SetPSTRW(u"a\U0001F600b"), 0);
  null.SetDSTRW(u"x");
  null.SetNull(true);
  vm.PousseValeur(&accents);
  vm.PousseValeur(&astral);
  vm.PousseValeur(&null);
  CAny entier, reel;
  entier.SetI4(-17);
  reel.SetR8(2.5);
  vm.PousseValeur(&entier);
  vm.PousseValeur(&reel);
  vm.nEvenement(5, 1900556, nullptr, 5, 0);
  vm.Contexte(nullptr, 0);
  const std::vector<std::pair<std::u16string, std::u16string>> expected = {
      {u"\u00E9t\u00E9", u"\u00E9t\u00E9 \u20AC"},
      {u"\U0001F600", u"a\U0001F600b"},
      {u"nul", u""},
      {u"absent", u""},
      {u"nombre", u"42"},
      {u"entier", u"-17"},
      {u"reel", u"2.5"},
  };
  EXPECT_EQ(sink.reports, expected);
}

}  // namespace
}  // namespace qghost
