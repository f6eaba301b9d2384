// Playback against the scripted stand-in host, in process.
#include <gtest/gtest.h>
#include <algorithm>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "errors/catalogue.h"
#include "errors/module_errors.h"
#include "host/core/calc_entries.h"
#include "host/core/component_access.h"
#include "support/frame/module_services.h"
#include "support/streams/temp_dir_fixture.h"
#include "support/string_host_fixture.h"
#include "testrunner/journal/journal_test_util.h"
#include "testrunner/model/model_test_util.h"
#include "support/param_zone.h"
#include "testrunner/runner/companion.h"
#include "testrunner/recorder/direct_source.h"
#include "testrunner/recorder/input_source.h"
#include "testrunner/recorder/recorder.h"
#include "testrunner/recorder/recording_reader.h"
#include "testrunner/runner/test_factory.h"

namespace {

using qgtest::AddGroup;
using qgtest::AddParam;
using qgtest::AddScenario;
using qgtest::AddSet;
using qgtest::NewList;

constexpr int32_t kPassage = 1900556;

class PlaybackTest : public qg::StringHostTest {
 protected:
  void SetUp() override {
    qg::StringHostTest::SetUp();
    // The module's messages, as the module's exports install them.
    qg::InstallModuleCatalogue(&qg::CatalogueModule54());
    saved_ = qg::Services();
    qg::Services().nRuntimeObject =
        reinterpret_cast<intptr_t>(static_cast<qg::IComponentAccess*>(&access_));
    qg::Services().nExecutionKind = 0;  // the companion is asked
    // Recordings take input from the direct source, never a display.
    SetFabriqueSourceEntree(&NouvelleSourceDirecte);
    EtatDirect().Vide();
    // Values become texts through the stand-in host's conversion.
    qg::Services().pfnConversion = &qghost::ConversionDepassementExt;
    qg::Services().pfnFinConversion = &qghost::FinConversion;
    RAZVerifieObjGate();
    char pattern[] = "/tmp/qg_play_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    runner_ = new CTestFactory();
    runner_->AddRef();
    ModuleRunner() = runner_;
    runner_->SetVM(&vm());
    CParamTest param;
    param.bPresent = true;
    param.clRepertoire = qgtest::U16(dir_);
    runner_->SetParam(param);
  }
  void TearDown() override {
    LibereEnregistrementTest();
    SetFabriqueSourceEntree(nullptr);
    ModuleRunner() = nullptr;
    EXPECT_EQ(runner_->Release(), 0);
    qg::Services().nRuntimeObject = saved_.nRuntimeObject;
    qg::Services().nExecutionKind = saved_.nExecutionKind;
    qg::Services().pfnConversion = saved_.pfnConversion;
    qg::Services().pfnFinConversion = saved_.pfnFinConversion;
    RAZVerifieObjGate();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
    qg::StringHostTest::TearDown();
  }
  qghost::ScriptedVM& vm() { return access_.MainVm(); }
  std::string Journal() const { return dir_ + "/L.jnres"; }

  // L: G1 (S1, no sets), G2 (S2, parameters a and b, two sets).
  qgtest::Ref<CListeTestExe> TwoGroups() {
    auto list = NewList(u"L");
    list->SetIdentifiant(1);
    CGroupeTestBase* g1 = AddGroup(*list, u"G1");
    g1->SetIdentifiant(10);
    AddScenario(*g1, u"S1", 5)->SetIdentifiant(11);
    CGroupeTestBase* g2 = AddGroup(*list, u"G2");
    g2->SetIdentifiant(20);
    CScenarioBase* s2 = AddScenario(*g2, u"S2", 5);
    s2->SetIdentifiant(21);
    AddParam(*s2, u"a");
    AddParam(*s2, u"b");
    s2->m_clParams.m_tabParams[1]->m_nValeur = 8;
    AddSet(*s2, {1, 2});
    AddSet(*s2, {3, 4});
    return list;
  }

  qghost::ComponentAccess access_;
  CTestFactory* runner_ = nullptr;
  qg::ModuleServices saved_;
  std::string dir_;
};

TEST_F(PlaybackTest, TwoGroupsRunInOrderWithOnePassPerSet) {
  auto list = TwoGroups();
  vm().script = [&](const qghost::ScriptedVM::Event& e) {
    if (e.nCode != kPassage || e.nId != 21) return;
    CScenarioTestExe* s = runner_->pclScenarioCourant();
    ASSERT_NE(s, nullptr);
    int32_t a = 0;
    e.values[0].nGetI4(&a);
    s->RapporteValeur(u"vu", a == 1 ? u"un" : u"trois");
    // The second set expects b = 4; the code writes 5: one difference.
    CAny actual;
    actual.SetI4(a == 1 ? 2 : 5);
    EXPECT_EQ(s->nEcritParametre(*runner_, 0, 1, 0, &actual, nullptr), kReponseOk);
    EXPECT_EQ(s->nEcritParametre(*runner_, 0, 2, 0, &actual, nullptr), kReponseInvalide);
    EXPECT_EQ(s->nEcritParametre(*runner_, 1, 0, 0, &actual, nullptr), kReponseInvalide);
  };
  _CXErrorModule54 error;
  ASSERT_TRUE(runner_->bExecute(list.get(), nullptr, nullptr, &error));
  const std::vector<std::string> expected = {
      "list L 1 -> 100",
      "event 1 1900544 values 0 flag 0",
      "group G1 10 in 100 -> 101",
      "event 10 1900544 values 0 flag 0",
      "scenario S1 11 in 101 -> 102",
      "event 11 1900555 values 0 flag 1",
      "event 11 1900556 values 0 flag 1",
      "event 11 1900557 values 0 flag 1",
      "event 10 1900546 values 0 flag 0",
      "end group 101",
      "group G2 20 in 100 -> 103",
      "event 20 1900544 values 0 flag 0",
      "scenario S2 21 in 103 -> 104",
      "event 21 1900555 values 0 flag 1",
      "event 21 1900556 values 2 flag 1",
      "event 21 1900556 values 2 flag 1",
      "event 21 1900557 values 0 flag 1",
      "event 20 1900546 values 0 flag 0",
      "end group 103",
      "event 1 1900546 values 0 flag 0",
      "end list 100",
  };
  EXPECT_EQ(vm().Log(), expected);
  EXPECT_EQ(vm().nContextDepth(), 0);
  ASSERT_EQ(runner_->pclJournal(), nullptr);  // closed with the list
  ASSERT_TRUE(qgtest::XmlLint(Journal())) << qgtest::JournalUtf8(Journal());
  const std::string j = Journal();
  EXPECT_EQ(qgtest::XPath(j, "count(//Test)"), "2");
  EXPECT_EQ(qgtest::XPath(j, "count(//Test[Nom='S1']/Jeu)"), "0");
  EXPECT_EQ(qgtest::XPath(j, "string(//Test[Nom='S2']/Jeu[2]/Num)"), "2");
  EXPECT_EQ(qgtest::XPath(j, "string(//Test[Nom='S2']/Jeu[1]/Param/Valeur)"), "un");
  EXPECT_EQ(qgtest::XPath(j, "count(//Jeu[1]/Erreur)"), "0");
  EXPECT_EQ(qgtest::XPath(j, "count(//Jeu[2]/Erreur/Position)"), "1");
  EXPECT_NE(qgtest::XPath(j, "string(//Jeu[2]/Erreur/Libelle)").find("<b>"), std::string::npos)
      << qgtest::XPath(j, "string(//Jeu[2]/Erreur/Libelle)");
  EXPECT_EQ(qgtest::XPath(j, "string(/DOC/InfoPlateforme/Nom)"), "Linux x86-64");
  // The screenshot of the 2400 x 1000 main window, scaled to 1920 x 800.
  EXPECT_EQ(qgtest::XPath(j, "count(//Jeu[2]/Erreur/ImageFenetre/Buffer)"), "1");
  EXPECT_EQ(access_.Gate().saved_width_, 1920);
  EXPECT_EQ(access_.Gate().saved_height_, 800);
}

TEST_F(PlaybackTest, ReopeningTheJournalClosesTheFirstOne) {
  const std::string first = dir_ + "/a/first.jnres", second = dir_ + "/second.jnres";
  ASSERT_TRUE(runner_->OuvreJournal(qgtest::U16(first).c_str()));
  ASSERT_TRUE(runner_->OuvreJournal(qgtest::U16(second).c_str()));
  const std::string text = qgtest::JournalUtf8(first);
  EXPECT_EQ(text.substr(text.size() - 6), "</DOC>");
  EXPECT_TRUE(qgtest::XmlLint(first));
  EXPECT_EQ(qgtest::XPath(first, "string(/DOC/InfoPassage/QWIDConfiguration)"), "77");
  EXPECT_EQ(runner_->FermeJournal(), 1);
  EXPECT_EQ(runner_->FermeJournal(), 0);
  EXPECT_TRUE(qgtest::XmlLint(second));
  // A journal that cannot be written: the end of the list fails.
  auto list = TwoGroups();
  ASSERT_TRUE(runner_->OuvreJournal(u"/dev/full"));
  _CXErrorModule54 error;
  EXPECT_FALSE(runner_->bExecute(list.get(), nullptr, nullptr, &error));
  EXPECT_EQ(vm().Log().back(), "end list 100");
}

TEST_F(PlaybackTest, SelectionsChooseScenarios) {
  const struct {
    const char16_t* selection;
    std::vector<int64_t> run;
  } cases[] = {
      {u"", {11, 21, 31}},
      {u"G1.S1\r\nG3", {11, 31}},
      {u"G2.S2", {21}},
      {u"G9.S9", {}},
      {u"S3", {31}},          // a scenario named without its group
      {u"S2\r\nG1", {11, 21}},
      {u"S9", {}},
  };
  for (const auto& c : cases) {
    auto list = TwoGroups();
    CGroupeTestBase* g3 = AddGroup(*list, u"G3");
    AddScenario(*g3, u"S3", 5)->SetIdentifiant(31);
    vm().Reset();
    CParamTest param = runner_->clParam();
    param.clSelection = c.selection;
    runner_->SetParam(param);
    _CXErrorModule54 error;
    EXPECT_TRUE(runner_->bExecute(list.get(), nullptr, nullptr, &error));
    std::vector<int64_t> started;
    for (const auto& e : vm().Events()) {
      if (e.nCode == 1900555) started.push_back(e.nId);
    }
    EXPECT_EQ(started, c.run);
  }
}

TEST_F(PlaybackTest, ListValueOneStaysStartedUntilTheEndOfExecution) {
  auto list = TwoGroups();
  list->SetValeur(1);
  _CXErrorModule54 error;
  ASSERT_TRUE(runner_->bExecute(list.get(), nullptr, nullptr, &error));
  EXPECT_EQ(vm().Log().back(), "end group 103");
  EXPECT_TRUE(list->m_bDemarree);
  ASSERT_EQ(runner_->tabListes().size(), 1u);
  EXPECT_NE(runner_->pclJournal(), nullptr);
  EXPECT_EQ(runner_->bFinExecutionListes(&vm()), 1);
  const std::vector<std::string> log = vm().Log();
  EXPECT_EQ(log[log.size() - 4], "call 1900546");
  EXPECT_EQ(log.back(), "end list 100");
  EXPECT_FALSE(list->m_bDemarree);
  EXPECT_EQ(runner_->pclJournal(), nullptr);
  EXPECT_TRUE(qgtest::XmlLint(Journal()));
  runner_->LibereListes();
}

TEST_F(PlaybackTest, LinkedScenarioMissingAndRefusedGroupFailTheRun) {
  auto list = TwoGroups();
  CScenarioTestExe* s1 = list->pclChercheScenario(u"G1.S1")->pclScenarioExe();
  s1->m_tabLies.push_back(u"G2.S9");
  _CXErrorModule54 error;
  EXPECT_FALSE(runner_->bExecute(list.get(), nullptr, nullptr, &error));
  EXPECT_EQ(error.nGetMessageId(0), 540020u);
  s1->m_tabLies = {u"G2.S2"};
  vm().refused = {"G2"};
  EXPECT_FALSE(runner_->bExecute(list.get(), nullptr, nullptr, &error));
  EXPECT_EQ(vm().nContextDepth(), 0);
}

TEST_F(PlaybackTest, ReadsOutsideASetAndControllers) {
  auto list = TwoGroups();
  CScenarioTestExe* s2 = list->pclChercheScenario(u"G2.S2")->pclScenarioExe();
  _CXErrorModule54 error;
  CAny out;
  EXPECT_EQ(s2->nLitParametre(u"a", -1, &out, &error), kReponseErreur);
  EXPECT_EQ(error.nGetMessageId(0), 540006u);
  vm().values["Total"].SetI4(9);
  vm().script = [&](const qghost::ScriptedVM::Event& e) {
    if (e.nCode != kPassage || e.nId != 21) return;
    CScenarioTestExe* s = runner_->pclScenarioCourant();
    CAny v;
    EXPECT_EQ(s->nLitParametre(u"B", -1, &v, nullptr), kReponseOk);  // locale-equal name
    EXPECT_EQ(s->nLitParametre(nullptr, 7, &v, nullptr), kReponseInvalide);
    CAny expected;
    expected.SetI4(9);
    auto* c = static_cast<CControleurTest*>(s->pclDeclareControleur(u"Total", &expected, 8, true));
    EXPECT_EQ(s->pclDeclareControleur(u"TOTAL", &expected, 8, true), c);
    EXPECT_EQ(c->bCompare(*s), kReponseOk);
    auto* missing = static_cast<CControleurTest*>(s->pclDeclareControleur(u"absent", nullptr, 8, true));
    EXPECT_EQ(missing->bCompare(*s), kReponseErreur);
  };
  EXPECT_TRUE(runner_->bExecute(list.get(), nullptr, nullptr, &error));
  EXPECT_EQ(qgtest::XPath(Journal(), "count(//Erreur)"), "0");
}

TEST_F(PlaybackTest, MessageBoxAnswerTable) {
  const struct {
    int32_t mask, answer, style;
    int32_t result, given;
  } cases[] = {
      {4, 6, 4, 1, 6},    {4, 6, 36, 1, 6},  {4, 7, 3, 0, 6},
      {-1, 2, -1, 1, 2},  {-1, 2, -2, 1, 2}, {-1, 2, 4, 0, 6},
      {64, 1, 64, 1, 1},  {16, 1, 48, 1, 1}, {48, 1, 16, 0, 1},
  };
  for (const auto& c : cases) {
    runner_->AjouteReponseAttendue(c.mask, c.answer);
    int32_t answer = -9;
    _CXErrorModule54 error;
    EXPECT_EQ(runner_->nReponseBoiteMessage(c.style, &answer, &error), c.result)
        << c.mask << " " << c.style;
    EXPECT_EQ(answer, c.given) << c.mask << " " << c.style;
    if (c.result == 0) {
      EXPECT_EQ(error.nGetMessageId(0), 540005u);
    }
    runner_->ViderAttentes();
  }
  // Recording: no answer.
  CParamTest param = runner_->clParam();
  param.nEtat = 2;
  runner_->SetParam(param);
  int32_t answer = -9;
  EXPECT_EQ(runner_->nReponseBoiteMessage(4, &answer, nullptr), 0);
  EXPECT_EQ(answer, 0);
}

TEST_F(PlaybackTest, InputsAndWindowCalls) {
  runner_->AjouteSaisieAttendue(u"FEN", u"SAI_Nom", 1, u"Dupont");
  runner_->AjouteSaisieAttendue(u"FEN", u"SAI_Age", 1, u"42");
  std::u16string value;
  EXPECT_TRUE(runner_->bValeurSaisie(u"+sai_nom", &value));
  EXPECT_EQ(value, u"Dupont");
  EXPECT_FALSE(runner_->bValeurSaisie(u"SAI_Nom", &value));
  EXPECT_TRUE(runner_->bValeurSaisie(u"SAI_Age+", &value));
  EXPECT_EQ(value, u"42");

  CGroupeTestExe* group = nullptr;
  CScenarioTestExe* handler = nullptr;
  _CXErrorModule54 error;
  EXPECT_EQ(runner_->bResoutFenetre(u"FenetreEmulateurCE", &group, &handler, &error), 1);
  EXPECT_EQ(runner_->bResoutFenetre(u"X.C", &group, &handler, &error), 0);
  EXPECT_EQ(error.nGetMessageId(0), 540001u);
  runner_->AjouteAppelAttendu(u"A.B.C", nullptr, nullptr);
  runner_->AjouteAppelAttendu(u"D", nullptr, nullptr);
  EXPECT_EQ(runner_->bResoutFenetre(u"X.C", &group, &handler, &error), 1);
  EXPECT_EQ(runner_->bResoutFenetre(u"E", &group, &handler, &error), 0);
  EXPECT_EQ(error.nGetMessageId(0), 540002u);
}

TEST_F(PlaybackTest, PausesFollowTheRunValue) {
  std::vector<uint32_t> slept;
  runner_->pfnDort = [&](uint32_t ms) { slept.push_back(ms); };
  runner_->PauseApresSaisie(513);
  EXPECT_TRUE(slept.empty());
  CParamTest param = runner_->clParam();
  param.nValeur = 1;
  runner_->SetParam(param);
  for (int32_t message : {513, 256, 512, 164}) runner_->PauseApresSaisie(message);
  runner_->PauseApresMessage(0, 1);
  runner_->PauseApresMessage(1, 1);
  runner_->PauseApresMessage(0, 2);
  EXPECT_EQ(slept, (std::vector<uint32_t>{100, 25, 100, 25}));
}

TEST_F(PlaybackTest, UnconsumedAnswersLeaveWithTheirScenario) {
  auto list = TwoGroups();
  vm().script = [&](const qghost::ScriptedVM::Event& e) {
    if (e.nCode != kPassage) return;
    if (e.nId == 11) runner_->AjouteReponseAttendue(4, 7);  // S1 never gets its box
    if (e.nId == 21 && e.values.size() == 2) {
      int32_t a = 0;
      e.values[0].nGetI4(&a);
      if (a != 1) return;
      int32_t answer = 0;
      _CXErrorModule54 error;
      // S1's stale answer must not answer S2's box.
      EXPECT_EQ(runner_->nReponseBoiteMessage(4, &answer, &error), 0);
      EXPECT_EQ(answer, 6);
    }
  };
  _CXErrorModule54 error;
  ASSERT_TRUE(runner_->bExecute(list.get(), nullptr, nullptr, &error));
  EXPECT_EQ(qgtest::XPath(Journal(), "count(//Test[Nom='S1']/Erreur/Position)"), "1");
}

TEST_F(PlaybackTest, ZonesReadBackAndTakeFreeNames) {
  const std::u16string base = u"qg_zone_" + qgtest::U16(std::to_string(getpid()));
  ContenuZone zone;
  zone.nEntete = 7;
  CBufferParam value;
  value.nCle = 8 | 256;
  zone.tab[0].push_back(value);
  zone.tab[2].push_back(ParamNombre(kCleEtat, 1));
  zone.tab[2].push_back(ParamTexte(kCleSelection, u"G2.S2"));
  zone.tab[2].push_back(ParamTexte(kCleRepertoire, qgtest::U16(dir_)));
  zone.tab[2].push_back(ParamNombre(kCleValeur, 1));
  CTransBufferParam first, second;
  ASSERT_TRUE(first.bCree(base.c_str(), zone));
  EXPECT_EQ(first.clNom(), base);
  ASSERT_TRUE(second.bCree(base.c_str(), zone));
  EXPECT_EQ(second.clNom(), base + u"0");
  EXPECT_EQ(CTransBufferParam::ChoisitNomLibre(base.c_str()), base + u"1");

  CTransBufferParam read;
  ASSERT_TRUE(read.bOuvre(first.clNom().c_str()));
  EXPECT_EQ(read.clContenu().nEntete, 7);
  EXPECT_EQ(read.clContenu().tab[0][0].nCle, 8 | 256);
  EXPECT_EQ(read.Texte(kCleSelection), u"G2.S2");
  EXPECT_EQ(read.nNombre(kCleListe, -1), -1);

  runner_->PrepareExecution(first.clNom().c_str());
  EXPECT_EQ(runner_->clParam().clSelection, u"G2.S2");
  EXPECT_EQ(runner_->clParam().nValeur, 1);
  EXPECT_FALSE(read.bOuvre(u"qg_zone_absent_zone"));

  // Hand-made bytes: counts and sizes past the end do not read.
  std::vector<uint8_t> bytes = EcritZone(zone);
  ContenuZone out;
  ASSERT_TRUE(bLitZone(bytes.data(), bytes.size(), &out));
  for (size_t n = 0; n < bytes.size(); ++n) EXPECT_FALSE(bLitZone(bytes.data(), n, &out)) << n;
  bytes[2] = 0xFF;
  EXPECT_FALSE(bLitZone(bytes.data(), bytes.size(), &out));
}


// An element of the application: a name, a container, a value.
struct ElementHote : qg::IElementHote {
  ElementHote(const char16_t* n, ElementHote* c = nullptr) : name(n), container(c) {}
  const char16_t* pszNom() override { return name; }
  qg::IElementHote* piConteneur() override { return container; }
  int32_t bValeur(CAny* out) override {
    out->SetI4(5);
    return 1;
  }
  const char16_t* name;
  ElementHote* container;
};

TEST_F(PlaybackTest, ScenariosAndGroupsAnswerOnlyTheirOwnCasts) {
  auto list = TwoGroups();
  CElementTestBase* g = list->pclFils(0);
  CElementTestBase* s = g->pclFils(0);
  EXPECT_EQ(s->pclGroupeExe(), nullptr);
  EXPECT_EQ(s->pclListeExe(), nullptr);
  EXPECT_NE(s->pclScenarioExe(), nullptr);
  EXPECT_EQ(g->pclListeExe(), nullptr);
  EXPECT_EQ(s->pclScenarioExe()->pclGroupeParent(), g->pclGroupeExe());
  EXPECT_EQ(s->pclScenarioExe()->pclListeParent(), list.get());
}

TEST_F(PlaybackTest, RunParametersTellWhatIsRequested) {
  const struct {
    bool present;
    int32_t state;
    const char16_t* list;
    int32_t recording, without_list, playback, with_list;
  } cases[] = {
      {false, 1, u"", 0, 0, 1, 0},
      {true, 1, u"", 0, 1, 1, 0},
      {true, 2, u"", 1, 1, 0, 0},
      {true, 2, u"L", 1, 0, 0, 1},
  };
  for (const auto& c : cases) {
    CParamTest param;
    param.bPresent = c.present;
    param.nEtat = c.state;
    param.clListe = c.list;
    runner_->SetParam(param);
    EXPECT_EQ(runner_->bEnregistrementDemande(), c.recording) << c.state;
    EXPECT_EQ(runner_->bEnregistrementSansListeDemande(), c.without_list) << c.state;
    EXPECT_EQ(runner_->bLectureDemandee(), c.playback) << c.state;
    EXPECT_EQ(runner_->bEnregistrementAvecListeDemande(), c.with_list) << c.state;
  }
}

TEST_F(PlaybackTest, NameTableMapsTargetsToTheirLists) {
  auto a = TwoGroups();
  a->SetCible(0, u"FEN_A");
  access_.SetBlock(u"LA", qgtest::Bytes(*a));
  auto b = TwoGroups();
  b->SetCible(0, u"FEN_B");
  b->SetValeur(1);  // kept started: not named
  access_.SetBlock(u"LB", qgtest::Bytes(*b));
  const char16_t* names[] = {u"LA", u"LB", u"Absente", nullptr};
  runner_->ChargeTableNoms(names, 4);
  ASSERT_NE(runner_->pszListeDeCible(u"fen_a"), nullptr);
  EXPECT_EQ(std::u16string(runner_->pszListeDeCible(u"fen_a")), u"LA");
  EXPECT_EQ(runner_->pszListeDeCible(u"FEN_B"), nullptr);
  EXPECT_TRUE(runner_->tabListes().empty());
  runner_->ChargeTableNoms(names + 1, 1);
  EXPECT_EQ(runner_->pszListeDeCible(u"FEN_A"), nullptr);
}

TEST_F(PlaybackTest, ApplicationStartLoadsTheSelectedList) {
  auto plain = TwoGroups();
  plain->SetNom(u"LP");
  access_.SetBlock(u"LP", qgtest::Bytes(*plain));
  auto kept = TwoGroups();
  kept->SetValeur(1);
  access_.SetBlock(u"LK", qgtest::Bytes(*kept));
  const std::string journal = dir_ + "/depart.jnres";
  const struct {
    int32_t state;
    const char16_t* selection;
    const char16_t* list;  // key 9
    int32_t answer;
    bool event;
    size_t loaded;
  } cases[] = {
      {1, u"LP.G1.S1", u"", 1, true, 0},
      {1, u"LK.G1", u"", 2, true, 1},
      {1, u"Absente.G1", u"", 0, false, 0},
      {2, u"LP.G1", u"LP", 1, false, 0},  // recording with a list: no project event
      {1, u"", u"", 0, true, 0},
  };
  for (const auto& c : cases) {
    vm().Reset();
    vm().handled = {196621};
    CParamTest param;
    param.bPresent = true;
    param.nEtat = c.state;
    param.clSelection = c.selection;
    param.clListe = c.list;
    param.clSortie = qgtest::U16(journal);
    param.clRepertoire = qgtest::U16(dir_);
    runner_->SetParam(param);
    _CXErrorModule54 error;
    EXPECT_EQ(runner_->nDemarrageApplication(&vm(), &error), c.answer) << qghost::Utf8Of(c.selection);
    const std::vector<std::string> log = vm().Log();
    const bool ran = std::find(log.begin(), log.end(), "event 0 196621 values 0 flag 0") != log.end();
    EXPECT_EQ(ran, c.event) << qghost::Utf8Of(c.selection);
    EXPECT_EQ(runner_->tabListes().size(), c.loaded) << qghost::Utf8Of(c.selection);
    EXPECT_EQ(runner_->pclJournal() != nullptr, c.state == 1) << qghost::Utf8Of(c.selection);
    if (c.answer == 1 && c.state == 1) {
      // The pre-loaded list serves the run without asking the host again.
      const size_t asked = access_.Requests().size();
      EXPECT_EQ(runner_->bExecuteListe(u"lp", &vm(), &error), 1);
      EXPECT_EQ(access_.Requests().size(), asked);
      EXPECT_TRUE(qgtest::XmlLint(journal));
    }
    // Recording starts the recorder, in continuation mode without a list.
    EXPECT_EQ(LibereEnregistrementTest(), c.state == 2 ? 1 : 0);
    runner_->bFinExecutionListes(&vm());
    runner_->LibereListes();
    runner_->FermeJournal();
  }
}

// The run's own journal holds the first list run; a second list of the
// same run neither truncates it nor journals beside the tests.
TEST_F(PlaybackTest, ASecondListDoesNotOverwriteTheRunsJournal) {
  auto first = TwoGroups();
  access_.SetBlock(u"L", qgtest::Bytes(*first));
  auto second = TwoGroups();
  second->SetNom(u"M");
  access_.SetBlock(u"M", qgtest::Bytes(*second));
  const std::string journal = dir_ + "/run.jnres";
  CParamTest param = runner_->clParam();
  param.nEtat = 1;
  param.clSortie = qgtest::U16(journal);
  runner_->SetParam(param);
  _CXErrorModule54 error;
  ASSERT_EQ(runner_->bExecuteListe(u"L", &vm(), &error), 1);
  ASSERT_EQ(runner_->bExecuteListe(u"M", &vm(), &error), 1);
  runner_->FermeJournal();
  EXPECT_TRUE(qgtest::XmlLint(journal));
  EXPECT_EQ(qgtest::XPath(journal, "normalize-space(/DOC/Liste/text()[1])"), "L");
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/M.jnres"));
}

TEST_F(PlaybackTest, DeferredPassEndsWithItsCall) {
  auto list = TwoGroups();
  access_.SetBlock(u"L", qgtest::Bytes(*list));
  _CXErrorModule54 error;
  CListeTestExe* loaded = runner_->pclChargeListeTestParNom(u"L", &error);
  ASSERT_NE(loaded, nullptr);
  loaded->Release();  // the runner keeps it
  CParamTest param = runner_->clParam();
  param.clSelection = u"G2.S2";
  runner_->SetParam(param);
  vm().deferred_windows = {{"FEN_A.FEN_B", 1}, {"FEN_B", 0}, {"SEUL", 1}};
  ASSERT_EQ(runner_->bExecuteDiffere(&vm(), &error), 1);
  std::vector<std::string> log = vm().Log();
  EXPECT_EQ(log.back(), "deferred 21 1900556 values 2 -> 103");
  IElementTest* deferred = runner_->piScenarioDiffere();
  ASSERT_NE(deferred, nullptr);
  EXPECT_EQ(std::u16string(deferred->pszGetNom()), u"S2");
  EXPECT_EQ(runner_->tabListes().size(), 1u);

  // While the call runs, the scenario is the current one and resolves windows.
  CScenarioTestExe* s2 = runner_->pclScenarioCourant();
  ASSERT_NE(s2, nullptr);
  CAny actual;
  actual.SetI4(2);
  EXPECT_EQ(runner_->nEcritParametreCourant(0, 1, 0, &actual, &error), kReponseOk);
  CGroupeTestExe* group = nullptr;
  CScenarioTestExe* handler = nullptr;
  EXPECT_EQ(runner_->bResoutFenetre(u"FEN_A.FEN_B", &group, &handler, &error), 1);
  ASSERT_NE(handler, nullptr);
  EXPECT_EQ(std::u16string(handler->pszGetNom()), u"FEN_B");
  EXPECT_EQ(group, s2->pclGroupeParent());
  EXPECT_EQ(runner_->bResoutFenetre(u"SEUL", &group, &handler, &error), 0);
  EXPECT_EQ(error.nGetMessageId(0), 540008u);
  EXPECT_EQ(runner_->bResoutFenetre(u"AUTRE", &group, &handler, &error), 0);
  EXPECT_EQ(error.nGetMessageId(0), 540001u);
  // A window closing during the deferred pass: journalled, the end waits
  // for the call.
  ElementHote closing(u"FEN_X");
  runner_->SignaleFermetureFenetre(&closing);
  EXPECT_EQ(vm().Log().back().rfind("resolve", 0), 0u) << vm().Log().back();

  ASSERT_EQ(runner_->bFinExecuteDiffere(&error), 1);
  log = vm().Log();
  const std::vector<std::string> tail(log.end() - 5, log.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"event 21 1900557 values 0 flag 1",
                                            "event 20 1900546 values 0 flag 0", "end group 101",
                                            "event 1 1900546 values 0 flag 0", "end list 100"}));
  EXPECT_EQ(runner_->piScenarioDiffere(), nullptr);
  EXPECT_EQ(runner_->pclScenarioCourant(), nullptr);
  EXPECT_TRUE(runner_->tabListes().empty());
  ASSERT_TRUE(qgtest::XmlLint(Journal())) << qgtest::JournalUtf8(Journal());
  EXPECT_EQ(qgtest::XPath(Journal(), "count(//Test[Nom='S2']/Jeu)"), "1");
  EXPECT_EQ(qgtest::XPath(Journal(), "count(//Test[Nom='S2']/Jeu/Erreur)"), "1");
  EXPECT_EQ(vm().nContextDepth(), 0);

  // A refused deferred call leaves nothing pending.
  loaded = runner_->pclChargeListeTestParNom(u"L", &error);
  loaded->Release();
  vm().refuse_deferred = true;
  EXPECT_EQ(runner_->bExecuteDiffere(&vm(), &error), 1);
  EXPECT_EQ(runner_->piScenarioDiffere(), nullptr);
  EXPECT_TRUE(runner_->tabListes().empty());
  EXPECT_EQ(runner_->bExecuteDiffere(&vm(), &error), 0);  // no list loaded
}

TEST_F(PlaybackTest, AClosingWindowEndsTheScenarioAsAborted) {
  const struct {
    const char16_t* window;
    int32_t run_flag;
    int32_t passes;  // of S2's two
    const char* errors;
  } cases[] = {
      {u"FEN_X", 0, 1, "1"},
      {u"fen_cible", 0, 2, "0"},  // the list's target: ignored
      {u"FEN_X", 1, 1, "0"},      // a scenario with its run flag ends without an error
  };
  for (const auto& c : cases) {
    auto list = TwoGroups();
    list->SetCible(0, u"FEN_Cible");
    list->pclChercheScenario(u"G2.S2")->m_nExecute = c.run_flag;
    vm().Reset();
    ElementHote project(u"Projet");
    ElementHote window(c.window, &project);
    vm().script = [&](const qghost::ScriptedVM::Event& e) {
      if (e.nCode == kPassage && e.nId == 21) runner_->SignaleFermetureFenetre(&window);
    };
    _CXErrorModule54 error;
    ASSERT_TRUE(runner_->bExecute(list.get(), nullptr, nullptr, &error));
    int32_t passes = 0, ends = 0;
    for (const auto& e : vm().Events()) {
      passes += e.nId == 21 && e.nCode == kPassage ? 1 : 0;
      ends += e.nId == 21 && e.nCode == 1900557 ? 1 : 0;
    }
    EXPECT_EQ(passes, c.passes) << qghost::Utf8Of(c.window);
    EXPECT_EQ(ends, 1) << qghost::Utf8Of(c.window);
    EXPECT_EQ(vm().Log().back(), "end list 100");
    ASSERT_TRUE(qgtest::XmlLint(Journal())) << qgtest::JournalUtf8(Journal());
    EXPECT_EQ(qgtest::XPath(Journal(), "count(//Test[Nom='S2']/Jeu/Erreur)"), c.errors);
    if (std::string(c.errors) == "1") {
      EXPECT_NE(qgtest::XPath(Journal(), "string(//Erreur/Libelle)").find("FEN_X"),
                std::string::npos);
    }
  }
  // While recording, nothing is journalled and nothing ends.
  CParamTest param = runner_->clParam();
  param.nEtat = 2;
  runner_->SetParam(param);
  ElementHote window(u"FEN_X");
  runner_->SignaleFermetureFenetre(&window);
  runner_->SignaleAppelElement(&window);
}

TEST_F(PlaybackTest, ErrorAndUnexpectedEndReports) {
  const std::string path = dir_ + "/rapports.jnres";
  ASSERT_TRUE(runner_->OuvreJournal(qgtest::U16(path).c_str()));
  _CXErrorModule54 error;
  error.SetUserError(gstErrorDefModule54, 540003u, u"S9");
  runner_->SignaleErreur(&error, 42);
  CParamTest param = runner_->clParam();
  param.nEtat = 2;
  runner_->SetParam(param);
  runner_->SignaleFinInattendue();  // recording: nothing
  param.nEtat = 1;
  runner_->SetParam(param);
  runner_->SignaleFinInattendue();
  ASSERT_EQ(runner_->FermeJournal(), 1);
  ASSERT_TRUE(qgtest::XmlLint(path)) << qgtest::JournalUtf8(path);
  EXPECT_EQ(qgtest::XPath(path, "count(//Erreur)"), "2");
  EXPECT_NE(qgtest::XPath(path, "string(//Erreur[1]/Libelle)").find("S9"), std::string::npos);
  EXPECT_EQ(qgtest::XPath(path, "string(//Erreur[1]/Position/Ligne)"), "42");
  EXPECT_EQ(qgtest::XPath(path, "count(//Erreur[1]/ImageFenetre)"), "1");
  CTString text;
  bChargeMessageF(6757, text);
  EXPECT_EQ(qgtest::XPath(path, "string(//Erreur[2]/Libelle)"), qghost::Utf8Of(text.pszGet()));
  EXPECT_EQ(qgtest::XPath(path, "count(//Erreur[2]/Position)"), "0");
}

TEST_F(PlaybackTest, ARecordingRunWritesWhatTheHostReports) {
  auto list = TwoGroups();
  const std::string path = dir_ + "/enregistrement.qgr";
  CParamTest param = runner_->clParam();
  param.nEtat = 2;
  param.clSortie = qgtest::U16(path);
  runner_->SetParam(param);
  ElementHote window(u"FEN");
  ElementHote button(u"BTN", &window);
  bool recording = false;
  vm().script = [&](const qghost::ScriptedVM::Event& e) {
    if (e.nCode != kPassage || e.nId != 11) return;
    recording = pclEnregistrement() != nullptr;
    int32_t answer = -1;
    EXPECT_EQ(runner_->nReponseBoiteMessage(36, &answer, nullptr), 0);
    runner_->SignaleAppelElement(&button);
    runner_->SignaleFermetureFenetre(&window);
    std::u16string value;
    EXPECT_FALSE(runner_->bValeurSaisie(u"+SAI", &value, u"FEN"));
  };
  _CXErrorModule54 error;
  ASSERT_TRUE(runner_->bExecute(list.get(), nullptr, nullptr, &error));
  EXPECT_TRUE(recording);
  EXPECT_EQ(pclEnregistrement(), nullptr);  // released with its group
  // The closing window neither ended the scenario nor went to a journal.
  int32_t ends = 0;
  for (const auto& e : vm().Events()) ends += e.nId == 11 && e.nCode == 1900557 ? 1 : 0;
  EXPECT_EQ(ends, 1);
  EXPECT_EQ(qgtest::XPath(Journal(), "count(//Erreur)"), "0");

  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<RecordLu> records;
  ASSERT_TRUE(bLitEnregistrement(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                                 &records, nullptr));
  std::vector<std::string> seen;
  for (const RecordLu& r : records) {
    if (r.nType == 8 || r.nType == 11 || r.nType == 14 || r.nType == 15) seen.push_back(DecritRecord(r));
  }
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(records[0].nType, 8u);
  EXPECT_EQ(seen[1].rfind("15", 0), 0u) << seen[1];
  EXPECT_NE(seen[1].find("36"), std::string::npos) << seen[1];
  EXPECT_EQ(seen[2].rfind("11", 0), 0u) << seen[2];
  EXPECT_NE(seen[2].find("\"FEN:BTN\""), std::string::npos) << seen[2];
  EXPECT_NE(seen[2].find("\"5\""), std::string::npos) << seen[2];
  EXPECT_EQ(seen[3].rfind("14", 0), 0u) << seen[3];
  EXPECT_NE(seen[3].find("\"FEN\""), std::string::npos) << seen[3];
}

}  // namespace
