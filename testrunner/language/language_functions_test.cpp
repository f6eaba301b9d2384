#include "testrunner/language/language_functions.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "errors/module_errors.h"
#include "host/core/component_access.h"
#include "host/core/external_execution.h"
#include "host/core/language_host.h"
#include "support/any.h"
#include "support/frame/module_services.h"
#include "support/platform/module.h"
#include "support/string_host_fixture.h"
#include "support/streams/temp_dir_fixture.h"
#include "testrunner/journal/journal_file.h"
#include "testrunner/journal/journal_test_util.h"
#include "testrunner/model/model_test_util.h"
#include "testrunner/runner/companion.h"
#include "testrunner/runner/library.h"
#include "testrunner/runner/session.h"
#include "testrunner/runner/test_factory.h"

namespace {

int32_t Empile(qg::ExternalSessionRecord* s, const void* v, int32_t k) {
  return qghost::External().Empile(s, v, k);
}
int32_t Appelle(qg::ExternalSessionRecord* s, int32_t f, int32_t n, int32_t a, int32_t b) {
  return qghost::External().Appelle(s, f, n, a, b);
}

// The stub of a table entry (1-based).
qg::PFN_StubLangage Stub(int entry) { return TableFonctions()[entry - 1].pFonction->pfnStub; }

class LanguageTest : public qg::StringHostTest {
 protected:
  void SetUp() override {
    qg::StringHostTest::SetUp();
    qg::InstallModuleCatalogue(&qg::CatalogueModule54());
    saved_ = qg::Services();
    qg::Services().nRuntimeObject =
        reinterpret_cast<intptr_t>(static_cast<qg::IComponentAccess*>(&access_));
    RAZVerifieObjGate();
    char pattern[] = "/tmp/qg_lang_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    runner_ = new CTestFactory();
    runner_->AddRef();
    ModuleRunner() = runner_;
    CParamTest param;
    param.bPresent = true;
    param.clRepertoire = qgtest::U16(dir_);  // journals of started lists go there
    runner_->SetParam(param);
    entries_ = Entrees();
    Entrees().pfnEmpile = &Empile;
    Entrees().pfnAppelle = &Appelle;
    Entrees().hHote = reinterpret_cast<qg::ModuleHandle>(&access_);
    qghost::External().Reset();
    library_ = new CQGTestExe();
  }
  void TearDown() override {
    library_->vRelease();
    Entrees() = entries_;
    ModuleRunner() = nullptr;
    EXPECT_EQ(runner_->Release(), 0);
    qg::Services().nRuntimeObject = saved_.nRuntimeObject;
    RAZVerifieObjGate();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
    qg::StringHostTest::TearDown();
  }
  // Calls a table entry with values; the error's first message (0: none).
  uint32_t Call(int entry, std::vector<CAny> values, CAny* result = nullptr) {
    library_->pGetError()->RAZ();
    std::vector<const CAny*> pointers;
    for (CAny& v : values) pointers.push_back(&v);
    qg::ArgumentsAppel args;
    args.nNombre = static_cast<int32_t>(pointers.size());
    args.ppValeurs = pointers.data();
    args.pResultat = result;
    EXPECT_EQ(Stub(entry)(nullptr, library_, &args), 0);
    return library_->pGetError()->nGetNiveau() == 1 ? 0 : library_->pGetError()->nGetMessageId(0);
  }
  static CAny I(int32_t v) {
    CAny a;
    a.SetI4(v);
    return a;
  }
  static CAny T(const char16_t* s) {
    CAny a;
    a.SetPSTRW(s);
    return a;
  }
  static CAny E(qg::IElementLangage* e) {
    CAny a;
    a.SetUIX(reinterpret_cast<intptr_t>(e));
    return a;
  }

  qghost::ComponentAccess access_;
  qg::ModuleServices saved_;
  CTestFactory* runner_ = nullptr;
  CQGTestExe* library_ = nullptr;
  EntreesExecutionExterne entries_;
  std::string dir_;
};

TEST(LanguageTable, ThirtyOneEntriesOfModule54) {
  const qg::EntreeFonction* table = TableFonctions();
  std::set<uint32_t> numbers;
  std::set<const void*> stubs;
  for (int i = 0; i < kNbFonctions; ++i) {
    const qg::EntreeFonction& e = table[i];
    EXPECT_EQ(e.nNumero, i + 1);
    EXPECT_EQ(e.nZero1, 0);
    EXPECT_EQ(e.nZero2, 0);
    EXPECT_EQ(e.nValeur, 295041);
    EXPECT_EQ((e.nIdentifiant >> 16) & 0xFF, 54u);
    numbers.insert(e.nIdentifiant & 0xFFFF);
    ASSERT_NE(e.pFonction, nullptr);
    EXPECT_NE(e.pFonction->pfnStub, nullptr);
    EXPECT_EQ(e.pFonction->nZero1, 0);
    EXPECT_NE(e.pFonction->pTypes, nullptr);
    stubs.insert(reinterpret_cast<const void*>(e.pFonction->pfnStub));
  }
  std::set<uint32_t> want;
  for (uint32_t n = 0; n <= 9; ++n) want.insert(n);
  for (uint32_t n = 19; n <= 30; ++n) want.insert(n);
  EXPECT_EQ(numbers, want);
  const uint32_t repeats[] = {4, 7, 8, 3, 2, 9, 6, 5, 0};
  for (int i = 0; i < 9; ++i) {
    EXPECT_EQ(table[10 + i].nIdentifiant & 0xFFFF, repeats[i]);
    EXPECT_NE(table[10 + i].nSignature, table[repeats[i]].nSignature);
  }
  // Functions with one stub call it again under their second signature.
  for (const int entry : {12, 13, 16, 19}) {
    const uint32_t function = table[entry - 1].nIdentifiant & 0xFFFF;
    EXPECT_EQ(table[entry - 1].pFonction->pfnStub, table[function].pFonction->pfnStub) << entry;
  }
  EXPECT_EQ(stubs.size(), 27u);
  const uint8_t* block = BlocDescription();
  EXPECT_EQ(std::count(block, block + kTailleBlocDescription, 0), 1177);
}

TEST(LanguageTable, TheModuleAnswersItsComponentDescription) {
  const char* build = std::getenv("QG_BUILD_DIR");
  ASSERT_NE(build, nullptr);
  qg::ModuleHandle module = qg::LoadModule((std::string(build) + "/lib/qg300test.so").c_str());
  ASSERT_NE(module, nullptr);
  auto info = reinterpret_cast<intptr_t (*)(int32_t, int32_t)>(
      qg::FindSymbol(module, "InfoComposante"));
  ASSERT_NE(info, nullptr);
  const struct {
    int32_t item;
    intptr_t want;
  } values[] = {{0, 18}, {1, 54}, {2, 126}, {3, 1}, {14, 12}, {22, 31}, {29, 1177}, {32, 2},
                {5, 0},  {6, 0},  {15, 0},  {20, 0}, {23, 0}, {26, 0},  {40, 0}};
  for (const auto& v : values) EXPECT_EQ(info(v.item, 0), v.want) << v.item;
  const auto* table = reinterpret_cast<const qg::EntreeFonction*>(info(21, 0));
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table[30].nNumero, 31);
  EXPECT_NE(info(13, 0), 0);
  EXPECT_NE(info(28, 0), 0);
  EXPECT_NE(info(33, 0), 0);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(info(4, 2))), u"");
  EXPECT_EQ(info(4, 3), 0);
  EXPECT_NE(info(27, 3), 0);
  qg::FreeModule(module);
}

TEST_F(LanguageTest, ChecksGoToTheJournalOrTheHost) {
  // Without a journal a failed check goes to host function 133.
  CAny result;
  EXPECT_EQ(Call(15, {I(0), T(u"a"), T(u"b"), T(u"c")}, &result), 0u);
  int32_t got = -1;
  result.nGetBOOL(&got);
  EXPECT_EQ(got, 0);
  const std::vector<std::string> log = qghost::External().Log();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), "call 0 133 2 0");
  CAny yes;
  yes.SetBOOL(1);
  EXPECT_EQ(Call(4, {yes}, &result), 0u);
  result.nGetBOOL(&got);
  EXPECT_EQ(got, 1);

  const std::string path = dir_ + "/j.xml";
  ASSERT_TRUE(runner_->OuvreJournal(qgtest::U16(path).c_str()));
  Call(15, {I(1), T(u"a"), T(u"b"), T(u"c")});
  Call(4, {I(0)});
  Call(2, {I(kJInfo), T(u"note")});
  runner_->FermeJournal();
  EXPECT_TRUE(qgtest::XmlLint(path));
  const std::string text = qgtest::JournalUtf8(path);
  EXPECT_NE(text.find("<Info>\r\n<Libelle>a b c</Libelle>\r\n</Info>"), std::string::npos) << text;
  CTString empty_check;
  bChargeMessageF(5341, empty_check);
  const std::u16string message = empty_check.pszGet();
  EXPECT_NE(text.find("<Erreur>\r\n<Libelle>" + std::string(message.begin(), message.end())),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("<Libelle>note</Libelle>"), std::string::npos) << text;
}

TEST_F(LanguageTest, ExpectedAnswersAnswerTheBoxes) {
  struct Case {
    int entry;
    std::vector<CAny> values;
    int32_t style;
    int32_t answer;
  };
  std::vector<Case> cases;
  cases.push_back({5, {}, 64, 1});
  cases.push_back({11, {}, 16, 1});
  cases.push_back({20, {}, 48, 1});
  cases.push_back({6, {I(1)}, 36, 6});
  cases.push_back({6, {I(0)}, 4, 7});
  cases.push_back({18, {I(0)}, 1, 2});
  cases.push_back({7, {I(1)}, 3, 6});
  cases.push_back({7, {I(5)}, 3, 2});
  cases.push_back({17, {I(42)}, -2, 42});
  for (Case& c : cases) {
    SCOPED_TRACE(c.entry);
    Call(c.entry, c.values);
    int32_t answer = 0;
    _CXErrorModule54 error;
    EXPECT_EQ(runner_->nReponseBoiteMessage(c.style, &answer, &error), 1);
    EXPECT_EQ(answer, c.answer);
  }
  // An expected input value is matched by its name.
  Call(8, {T(u"FEN_Saisie"), T(u"SAI_Nom")});
  std::u16string value;
  EXPECT_TRUE(runner_->bValeurSaisie(u"+SAI_Nom", &value));
}

TEST_F(LanguageTest, ElementFunctionsAndTheirErrors) {
  qghost::LanguageElement window, hidden, list, field, table, second, wrong;
  window.type = 1;
  window.name = u"FEN";
  hidden = window;
  hidden.visible = false;
  list.type = 6;
  list.name = u"LST";
  list.window = &window;
  list.has_items = true;
  list.items = {u"a", u"b", u"c"};
  list.rectangles[2] = {10, 20, 30, 40};
  field.type = 16;
  field.name = u"SAI";
  table.type = 14;
  table.name = u"TABLE";
  second.type = 57;
  wrong.type = 3;
  // A click on an item clicks its middle through host function 344.
  EXPECT_EQ(Call(24, {E(&list), I(2)}), 0u);
  std::vector<std::string> log = qghost::External().Log();
  ASSERT_GE(log.size(), 5u);
  EXPECT_EQ(std::vector<std::string>(log.end() - 5, log.end()),
            (std::vector<std::string>{"push 7 1", "push 65536 2", "push 20 2", "push 30 2",
                                      "call 8 344 4 0"}));

  qghost::LanguageElement disabled = list, state4 = list, kind94 = list, hidden_list = list;
  qghost::LanguageElement off = window, four = window, special = window;
  off.enabled = false;
  four.state = 4;
  special.type = 94;
  special.visible = false;
  disabled.window = &off;
  state4.window = &four;
  kind94.window = &special;
  hidden_list.window = &hidden;
  const struct {
    const char* name;
    int entry;
    std::vector<CAny> values;
    uint32_t message;
  } cases[] = {
      {"item past the end", 23, {E(&list), I(4)}, 540020},
      {"item without rectangle", 23, {E(&list), I(1)}, 540019},
      {"element without items", 23, {E(&field), I(1)}, 540016},
      {"list stub, other kind", 24, {E(&field), I(1)}, 540016},
      {"invisible window", 23, {E(&hidden_list), I(2)}, 540017},
      {"disabled window", 23, {E(&disabled), I(2)}, 540018},
      {"window in state 4", 23, {E(&state4), I(2)}, 540018},
      {"kind 94 passes", 23, {E(&kind94), I(2)}, 0},
      {"select kind 3 with an element", 22, {E(&list), I(3), E(&second)}, 540010},
      {"select kind 3 without", 22, {E(&list), I(3)}, 540009},
      {"select kind 2, wrong second", 22, {E(&list), I(2), E(&wrong)}, 540015},
      {"select kind 2", 22, {E(&list), I(2), E(&second)}, 0},
      {"select other kind", 22, {E(&list), I(5), E(&second)}, 540013},
      {"select by index, kind 2", 21, {E(&list), I(2), I(1)}, 540012},
      {"select by index, kind 3", 21, {E(&list), I(3), I(2)}, 0},
      {"set text on a list", 26, {E(&list), T(u"x"), I(0), I(0)}, 540016},
      {"insert text on a list", 31, {E(&list), T(u"x"), I(1)}, 540016},
      {"row on a field", 29, {E(&field), I(1)}, 540016},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Call(c.entry, c.values), c.message);
  }
  // Failures the elements report.
  field.answer = false;
  table.answer = false;
  EXPECT_EQ(Call(26, {E(&field), T(u"abc"), I(0), I(0)}), 540022u);
  EXPECT_EQ(Call(31, {E(&field), T(u"abc"), I(1)}), 540023u);
  EXPECT_EQ(Call(29, {E(&table), I(3)}), 540025u);
  EXPECT_EQ(Call(29, {E(&table)}), 540024u);
  EXPECT_EQ(Call(27, {E(&table), T(u"x")}), 540026u);
  EXPECT_EQ(Call(30, {E(&table), I(1), I(2), I(3), I(4), I(0), I(0)}), 540003u);  // drag
  EXPECT_EQ(table.log.back(), "drag 1,2 3,4");
}

TEST_F(LanguageTest, TheEmulatorWindowIsFoundThroughTheHost) {
  EXPECT_EQ(Call(28, {I(2)}), 540014u);  // no host interface yet
  qghost::ScriptedVM& vm = access_.MainVm();
  runner_->SetVM(&vm);
  EXPECT_EQ(Call(28, {I(2)}), 0u);
  EXPECT_EQ(vm.emulator.log, std::vector<std::string>{"emulator 2"});
  EXPECT_EQ(Call(28, {I(5)}), 540014u);
  EXPECT_EQ(Call(28, {I(0)}), 540014u);
  vm.emulator_open = false;
  EXPECT_EQ(Call(28, {I(1)}), 540014u);
  EXPECT_EQ(vm.emulator.log.size(), 1u);
}

TEST_F(LanguageTest, OddJournalCodesGoToTheTraceOfRecentHosts) {
  qghost::ScriptedVM& vm = access_.MainVm();
  runner_->SetVM(&vm);
  const struct {
    int32_t version;
    int32_t code;
    bool traced;
  } cases[] = {
      {140, kJErreur, true}, {140, kJInfo, false}, {132, kJErreur | (1 << 30), true},
      {131, kJErreur, false}, {140, 3, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    vm.Reset();
    vm.version = c.version;
    Call(2, {I(c.code), T(u"ligne é")});
    EXPECT_EQ(vm.Traces(), c.traced ? std::vector<std::string>{"ligne é"}
                                    : std::vector<std::string>{});
  }
  // The trace comes with the journal line, not in place of it.
  const std::string path = dir_ + "/t.xml";
  ASSERT_TRUE(runner_->OuvreJournal(qgtest::U16(path).c_str()));
  vm.Reset();
  Call(2, {I(kJErreur | (1 << 30)), T(u"les deux")});
  runner_->FermeJournal();
  EXPECT_EQ(vm.Traces(), std::vector<std::string>{"les deux"});
  const std::string text = qgtest::JournalUtf8(path);
  EXPECT_NE(text.find("<Libelle>les deux</Libelle>"), std::string::npos) << text;
  EXPECT_NE(text.find("Code alternatif"), std::string::npos) << text;
}

TEST_F(LanguageTest, DataSetsOnlyWhileAScenarioStarts) {
  EXPECT_EQ(Call(9, {I(1), I(2)}), 540004u);
  // A scenario with parameters a and b and no set: its start event adds
  // two sets, one from three values (the third dropped), one from a single
  // value (b missing); the scenario then runs once per set.
  auto list = qgtest::NewList(u"L");
  CGroupeTestBase* group = qgtest::AddGroup(*list, u"G");
  CScenarioBase* s = qgtest::AddScenario(*group, u"S", 5);
  s->SetIdentifiant(21);
  qgtest::AddParam(*s, u"a");
  qgtest::AddParam(*s, u"b");
  qghost::ScriptedVM& vm = access_.MainVm();
  runner_->SetVM(&vm);
  std::vector<uint32_t> errors;
  std::vector<std::vector<int32_t>> passes;
  vm.script = [&](const qghost::ScriptedVM::Event& e) {
    if (e.nId != 21) return;
    if (e.nCode == 1900555) {
      errors.push_back(Call(9, {I(1), I(2), I(3)}));
      errors.push_back(Call(9, {I(4)}));
    } else if (e.nCode == 1900556) {
      std::vector<int32_t> values;
      for (const CAny& v : e.values) {
        int32_t n = -1;
        if (!v.bEstNull()) v.nGetI4(&n);
        values.push_back(n);
      }
      passes.push_back(values);
    }
  };
  _CXErrorModule54 error;
  runner_->bExecute(list.get(), nullptr, nullptr, &error);
  vm.script = nullptr;
  EXPECT_EQ(errors, (std::vector<uint32_t>{0, 0}));
  ASSERT_EQ(s->m_clDonnees.nGetNb(), 2u);
  EXPECT_EQ(s->m_clDonnees.pclGetJeu(1)->m_tabValeurs.size(), 2u);
  EXPECT_EQ(s->m_clDonnees.pclGetJeu(1)->m_tabValeurs[1], nullptr);
  ASSERT_EQ(passes.size(), 2u);
  EXPECT_EQ(passes[0], (std::vector<int32_t>{1, 2}));
  EXPECT_EQ(passes[1][0], 4);
}

TEST_F(LanguageTest, RunningAScenarioQueuesItsCall) {
  auto list = qgtest::NewList(u"Liste");
  CGroupeTestBase* group = qgtest::AddGroup(*list, u"G");
  qgtest::AddScenario(*group, u"S", 5);
  access_.SetBlock(u"Liste", qgtest::Bytes(*list));
  qghost::ScriptedVM& vm = access_.MainVm();
  runner_->SetVM(&vm);
  EXPECT_EQ(Call(1, {T(u"Liste"), T(u"Absent")}), 540003u);
  Call(1, {T(u"Inconnue"), T(u"G.S")});  // the host's load error
  EXPECT_EQ(library_->pGetError()->nGetNiveau(), 3u);
  // The host resolves "Liste" to /projet/Liste.qgl, which does not load:
  // the file name part does.
  EXPECT_EQ(Call(1, {T(u"Liste"), T(u"G.S")}), 0u);
  EXPECT_EQ(Call(1, {T(u"/tests/Liste.qgl"), T(u"G.S")}), 0u);
  // The first queued call answers the window named like it, in its
  // group, which was started (once per loaded copy) without running it.
  CGroupeTestExe* found = nullptr;
  CScenarioTestExe* handler = nullptr;
  _CXErrorModule54 error;
  EXPECT_EQ(runner_->bResoutFenetre(u"Liste", &found, &handler, &error), 1);
  ASSERT_NE(handler, nullptr);
  EXPECT_EQ(std::u16string(handler->pszGetNom()), u"S");
  ASSERT_NE(found, nullptr);
  EXPECT_NE(found->m_hGroupe, 0);
  for (const qghost::ScriptedVM::Event& e : vm.Events()) EXPECT_NE(e.nCode, 1900556);
  // A path the host resolves to is loaded as it is.
  auto other = qgtest::NewList(u"Autre");
  qgtest::AddScenario(*qgtest::AddGroup(*other, u"G"), u"S", 5);
  access_.SetBlock(u"/projet/Autre.qgl", qgtest::Bytes(*other));
  EXPECT_EQ(Call(1, {T(u"Autre"), T(u"G.S")}), 0u);
  // The lists end with their groups.
  EXPECT_EQ(runner_->bFinExecutionListes(&vm), 1);
  int groups = 0, ended = 0;
  for (const std::string& line : vm.Log()) {
    groups += line.rfind("group G ", 0) == 0;
    ended += line.rfind("end group ", 0) == 0;
  }
  EXPECT_EQ(groups, 3);
  EXPECT_EQ(ended, 3);
}

TEST_F(LanguageTest, AScenarioWhoseWindowIsOpenRunsAtOnce) {
  auto list = qgtest::NewList(u"Liste");
  CGroupeTestBase* group = qgtest::AddGroup(*list, u"G");
  CScenarioBase* s = qgtest::AddScenario(*group, u"S", 5);
  s->SetIdentifiant(31);
  qgtest::AddParam(*s, u"a");
  qgtest::AddSet(*s, {4});
  qgtest::AddSet(*s, {5});
  access_.SetBlock(u"Liste", qgtest::Bytes(*list));
  qghost::ScriptedVM& vm = access_.MainVm();
  runner_->SetVM(&vm);
  qghost::LanguageElement window;
  window.name = u"Liste";
  vm.windows["Liste"] = &window;
  const std::string path = dir_ + "/j.xml";
  ASSERT_TRUE(runner_->OuvreJournal(qgtest::U16(path).c_str()));
  EXPECT_EQ(Call(1, {T(u"Liste"), T(u"G.S")}), 0u);
  std::vector<int32_t> codes;
  for (const qghost::ScriptedVM::Event& e : vm.Events()) {
    if (e.nId == 31) codes.push_back(e.nCode);
  }
  EXPECT_EQ(codes, (std::vector<int32_t>{1900555, 1900556, 1900556, 1900557}));
  // Nothing was queued; the group ended after the run.
  CGroupeTestExe* found = nullptr;
  CScenarioTestExe* handler = nullptr;
  _CXErrorModule54 error;
  EXPECT_EQ(runner_->bResoutFenetre(u"Liste", &found, &handler, &error), 0);
  EXPECT_EQ(error.nGetMessageId(0), 540001u);
  EXPECT_EQ(vm.Log().back().rfind("end group ", 0), 0u) << vm.Log().back();
  EXPECT_EQ(runner_->bFinExecutionListes(&vm), 1);
  runner_->FermeJournal();
  std::string text = qgtest::JournalUtf8(path);
  EXPECT_TRUE(qgtest::XmlLint(path)) << text;
  EXPECT_NE(text.find("<Groupe>G"), std::string::npos) << text;
  EXPECT_NE(text.find("<Num>2</Num>"), std::string::npos) << text;
  // Queued, the group that outlives the call has no journal element: the
  // list's end ends it and the journal stays well-formed.
  runner_->LibereListes();
  vm.windows.clear();
  ASSERT_TRUE(runner_->OuvreJournal(qgtest::U16(path).c_str()));
  EXPECT_EQ(Call(1, {T(u"Liste"), T(u"G.S")}), 0u);
  EXPECT_EQ(runner_->bFinExecutionListes(&vm), 1);
  runner_->FermeJournal();
  text = qgtest::JournalUtf8(path);
  EXPECT_TRUE(qgtest::XmlLint(path)) << text;
  EXPECT_EQ(text.find("<Groupe>"), std::string::npos) << text;
  EXPECT_EQ(vm.Log().back().rfind("end list ", 0), 0u) << vm.Log().back();
}

TEST_F(LanguageTest, TheRunValueGoesToTheRunParameters) {
  Call(10, {I(17)});
  EXPECT_EQ(runner_->clParam().nValeur, 17);
  EXPECT_TRUE(runner_->clParam().bPresent);
}

}  // namespace
