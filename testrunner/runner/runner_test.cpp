// The runner against the stand-in component access, in process.
#include <gtest/gtest.h>

#include <string>

#include "errors/module_errors.h"
#include "host/core/component_access.h"
#include "support/frame/module_services.h"
#include "support/string_host_fixture.h"
#include "testrunner/model/model_test_util.h"
#include "testrunner/runner/companion.h"
#include "testrunner/runner/library.h"
#include "testrunner/runner/test_factory.h"

namespace {

using qgtest::AddGroup;
using qgtest::AddScenario;
using qgtest::NewList;

class RunnerTest : public qg::StringHostTest {
 protected:
  void SetUp() override {
    qg::StringHostTest::SetUp();
    saved_ = qg::Services();
    qg::Services().nRuntimeObject =
        reinterpret_cast<intptr_t>(static_cast<qg::IComponentAccess*>(&access_));
    runner_ = new CTestFactory();
    runner_->AddRef();
    ModuleRunner() = runner_;
  }
  void TearDown() override {
    ModuleRunner() = nullptr;
    EXPECT_EQ(runner_->Release(), 0);
    EXPECT_EQ(access_.nLiveDescriptions(), 0);
    qg::Services().nRuntimeObject = saved_.nRuntimeObject;
    qg::Services().nExecutionKind = saved_.nExecutionKind;
    qg::Services().nFlags = saved_.nFlags;
    RAZVerifieObjGate();
    qg::StringHostTest::TearDown();
  }

  // A stored list "Liste": group "Groupe" with scenarios S3 (version 3)
  // and S5 (version 5, one set).
  void StoreList(const char16_t* name = u"Liste") {
    auto list = NewList(name);
    CGroupeTestBase* g = AddGroup(*list, u"Groupe");
    CScenarioBase* s3 = AddScenario(*g, u"S3", 3);
    qgtest::AddParam(*s3, u"a");
    qgtest::AddParam(*s3, u"b");
    CScenarioBase* s5 = AddScenario(*g, u"S5", 5);
    qgtest::AddParam(*s5, u"a");
    qgtest::AddSet(*s5, {7});
    access_.SetBlock(name, qgtest::Bytes(*list));
  }

  qghost::ComponentAccess access_;
  CTestFactory* runner_ = nullptr;
  qg::ModuleServices saved_;
};

TEST_F(RunnerTest, LoadsAListThroughVMDataAndKeepsItWhenAsked) {
  StoreList();
  _CXErrorModule54 error;
  CListeTestExe* list = runner_->pclChargeListeTest(u"Liste", nullptr, &error, 3);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(runner_->tabListes().size(), 1u);
  const qg::ListRequest& request = access_.Data().last_;
  EXPECT_EQ(access_.Data().last_first_, u"Liste");
  EXPECT_TRUE(request.pszSecondName == nullptr);
  EXPECT_EQ(request.nKind, 17);
  EXPECT_EQ(request.nFlags, 1024);
  EXPECT_EQ(request.nContext, 0x5151);
  EXPECT_EQ(request.nMinusOne, -1);
  list->Release();

  // The second entry passes the name second; not kept without the flag.
  CListeTestExe* again = runner_->pclChargeListeTestParNom(u"Liste", false, &error);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(access_.Data().last_first_, u"");
  EXPECT_EQ(access_.Data().last_second_, u"Liste");
  EXPECT_EQ(access_.Data().last_.nFlags, 0);
  EXPECT_EQ(runner_->tabListes().size(), 1u);
  again->Release();

  // "VMData" was asked once, with the values the host expects.
  int asked = 0;
  for (const auto& r : access_.Requests()) {
    if (r.sName != u"VMData") continue;
    ++asked;
    EXPECT_EQ(r.nFlags, 1);
    EXPECT_EQ(r.nKind, 1507351);
    EXPECT_EQ(r.nVersion, 1);
    EXPECT_EQ(r.nModule, 54);
  }
  EXPECT_EQ(asked, 1);

  CScenarioBase* s = pclChercheScenarioParNomComplet(u"Liste.Groupe.S5", &error);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->m_clDonnees.nGetNb(), 1u);
  EXPECT_EQ(pclChercheScenarioParNomComplet(u"Liste", &error), nullptr);
  EXPECT_EQ(pclChercheScenarioParNomComplet(u"Liste.Groupe.S9", &error), nullptr);
}

TEST_F(RunnerTest, LoadFailuresCarryTheirMessage) {
  StoreList();
  access_.SetBlock(u"Abimee", {1, 2, 3});
  const struct {
    const char* what;
    const char16_t* name;
    uint32_t message;  // 0: the host's error (level 3, no message)
  } cases[] = {
      {"empty name", u"", 540000},
      {"null name", nullptr, 540000},
      {"damaged bytes", u"Abimee", 540021},
      {"unknown to the host", u"Inconnue", 0},
  };
  for (const auto& c : cases) {
    _CXErrorModule54 error;
    EXPECT_EQ(runner_->pclChargeListeTestParNom(c.name, &error), nullptr) << c.what;
    EXPECT_EQ(error.nGetNiveau(), 3) << c.what;
    if (c.message != 0) {
      ASSERT_EQ(error.nGetNbMessageId(), 1) << c.what;
      EXPECT_EQ(error.nGetMessageId(0), c.message) << c.what;
    }
  }
  _CXErrorModule54 error;
  runner_->pclChargeListeTestParNom(u"Abimee", &error);
  EXPECT_NE(std::u16string(error.pszGetUserMessage()).find(u"Abimee"), std::u16string::npos);
  EXPECT_TRUE(runner_->tabListes().empty());
}

TEST_F(RunnerTest, WithoutVMDataNothingLoadsAndTheHostIsAskedOnce) {
  StoreList();
  access_.SetAbsent(qg::kComponentVMData, true);
  _CXErrorModule54 error;
  EXPECT_EQ(runner_->pclChargeListeTestParNom(u"Liste", &error), nullptr);
  EXPECT_EQ(error.nGetMessageId(0), 540021u);
  access_.SetAbsent(qg::kComponentVMData, false);
  EXPECT_EQ(runner_->pclChargeListeTestParNom(u"Liste", &error), nullptr);
  EXPECT_EQ(access_.Requests().size(), 1u);
}

TEST_F(RunnerTest, LegacyDataSetsComeFromTheEngineInKeyOrder) {
  runner_->SetRepertoireBase(u"C:\\tests");
  const std::u16string path = u"C:\\tests\\Liste\\S3\\param.fic";
  auto set_bytes = [](int32_t a, int32_t b) {
    CJeuDeTest* set = new CJeuDeTest();
    set->m_tabValeurs.push_back(qgtest::I4(a));
    set->m_tabValeurs.push_back(qgtest::I4(b));
    std::vector<uint8_t> bytes = qgtest::SetBytes(*set);
    set->Release();
    return bytes;
  };
  access_.SetLegacyFile(path, {{2, set_bytes(3, 4)}, {1, set_bytes(1, 2)}, {3, {9, 9}}});
  StoreList();
  access_.SetNextOpenCode(70046);
  _CXErrorModule54 error;
  CListeTestExe* list = runner_->pclChargeListeTestParNom(u"Liste", &error);
  ASSERT_NE(list, nullptr);
  CScenarioBase* s = list->pclChercheScenario(u"Groupe.S3");
  ASSERT_EQ(s->m_clDonnees.nGetNb(), 2u);  // the damaged third record gives no set
  int32_t first = 0;
  s->m_clDonnees.pclGetJeu(0)->m_tabValeurs[0]->nGetI4(&first);
  EXPECT_EQ(first, 1);
  const std::vector<std::u16string> log = access_.EngineLog();
  const std::vector<std::u16string> expected = {u"open JeuDeTest " + path + u" mode 0",
                                                u"open JeuDeTest " + path + u" mode 1",
                                                u"repair"};
  EXPECT_EQ(log, expected);
  list->Release();
}

TEST_F(RunnerTest, LegacyPathsNeverLeaveTheBaseOrGetCut) {
  const struct {
    const char* what;
    std::u16string base;
    const char16_t* list;
  } cases[] = {
      {"a list name with ..", u"C:\\tests", u"a..b"},
      {"a list name with a slash", u"C:\\tests", u"a/b"},
      {"a list name with a backslash", u"C:\\tests", u"a\\b"},
      {"a path of 260 characters", u"C:\\" + std::u16string(260 - 3 - 19, u'x'), u"Liste"},
      {"no base directory", u"", u"Liste"},
  };
  for (const auto& c : cases) {
    access_.Reset();
    runner_->SetRepertoireBase(c.base.c_str());
    StoreList(c.list);
    _CXErrorModule54 error;
    CListeTestExe* list = runner_->pclChargeListeTest(c.list, nullptr, &error, 0);
    ASSERT_NE(list, nullptr) << c.what;
    EXPECT_TRUE(access_.EngineLog().empty()) << c.what;
    list->Release();
  }
  // One character less fits: the engine is asked.
  access_.Reset();
  runner_->SetRepertoireBase((u"C:\\" + std::u16string(260 - 3 - 20, u'x')).c_str());
  StoreList();
  _CXErrorModule54 error;
  CListeTestExe* list = runner_->pclChargeListeTest(u"Liste", nullptr, &error, 0);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(access_.EngineLog().size(), 1u);
  list->Release();
}

TEST_F(RunnerTest, CompanionTestTable) {
  const struct {
    const char* what;
    intptr_t kind;
    intptr_t flags;
    bool absent;
    bool accept;
    const char16_t* version;
    int32_t result;
    uint32_t message;
  } cases[] = {
      {"kind 3 needs no companion", 3, 0, false, true, u"17.0.1.0", 0, 0},
      {"kind 3 with flag bit 0", 3, 1, false, true, u"17.0.1.0", 1, 0},
      {"kinds 0, 6 and 20", 6, 0, false, true, u"17.0.1.0", 1, 0},
      {"no component", 0, 0, true, true, u"17.0.1.0", 0, 0},
      {"refused", 20, 0, false, false, u"17.0.1.0", 0, 28117},
      {"too old", 0, 0, false, true, u"16.9.9.9", 0, 28567},
      {"newer in natural order", 0, 0, false, true, u"17.0.10.0", 1, 0},
  };
  for (const auto& c : cases) {
    access_.Reset();
    RAZVerifieObjGate();
    qg::Services().nExecutionKind = c.kind;
    qg::Services().nFlags = c.flags;
    access_.SetAbsent(qg::kComponentObjGate, c.absent);
    access_.Gate().bAccept = c.accept;
    access_.Gate().version_ = c.version;
    _CXErrorModule54 error;
    EXPECT_EQ(bVerifieComposantObjGate(&access_, &error), c.result) << c.what;
    if (c.message == 0) {
      EXPECT_EQ(error.nGetNiveau(), 1) << c.what;
    } else {
      EXPECT_EQ(error.nGetNiveau(), 3) << c.what;
      EXPECT_EQ(error.nGetMessageId(0), c.message) << c.what;
    }
    if (c.result == 1) {
      EXPECT_EQ(access_.Gate().access_, &access_) << c.what;
      EXPECT_EQ(access_.nContinues(), 1) << c.what;
      EXPECT_EQ(access_.Gate().asked_module_, u"qg300test.dll");
      EXPECT_EQ(access_.Gate().asked_version_, u"30.0.344.2");
    }
    // Later calls answer the first result without asking again.
    const size_t asked = access_.Requests().size();
    EXPECT_EQ(bVerifieComposantObjGate(&access_, &error), c.result) << c.what;
    EXPECT_EQ(access_.Requests().size(), asked) << c.what;
  }
}

TEST_F(RunnerTest, LibraryObjectConnectsAndKeepsItsContext) {
  CQGTestExe* library = new CQGTestExe();
  qg::IZQLibrary* i = library;
  EXPECT_EQ(i->nGetVersion(), 8);
  EXPECT_EQ(i->nGetValue(), 2);
  EXPECT_EQ(i->nGetModule(), 54);
  EXPECT_EQ(i->pGetError()->nGetNiveau(), 1);
  EXPECT_EQ(i->bSetThreadCreateur(0), 0);
  EXPECT_EQ(i->bSetThreadCreateur(1), 1);

  EXPECT_EQ(i->bConnecteVM(), 1);
  EXPECT_EQ(library->piGetVM(), &access_.MainVm());
  EXPECT_EQ(runner_->piGetVM(), &access_.MainVm());
  const qghost::ComponentRequest r = access_.Requests().back();
  EXPECT_EQ(r.sName, u"MainVM");
  EXPECT_EQ(r.nKind, 100);
  EXPECT_EQ(r.nVersion, 0);
  EXPECT_EQ(r.pOwner, library);
  i->DeconnecteVM();
  EXPECT_EQ(runner_->piGetVM(), nullptr);

  // The context comes back even when the call throws.
  qg::LibraryContext outer, inner{5, 6};
  i->SetContexte(&outer);
  library->fnAppelle = [&](intptr_t a) -> intptr_t {
    EXPECT_EQ(library->pGetContexte(), &inner);
    if (a == 5) throw 1;
    return a;
  };
  EXPECT_EQ(i->AppelleDansContexte(&inner), 0);
  EXPECT_EQ(library->pGetContexte(), &outer);
  library->fnExecute = [](intptr_t a, intptr_t b, CXError* error) {
    if (a + b == 11) error->SetUserError(gstErrorDefModule54, 540002u);
  };
  EXPECT_EQ(i->bExecuteDansContexte(&inner), 0);
  EXPECT_EQ(library->pGetContexte(), &outer);
  i->vRelease();
}

}  // namespace
