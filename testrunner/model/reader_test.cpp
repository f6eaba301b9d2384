#include "testrunner/model/reader.h"

#include <gtest/gtest.h>

#include <cstring>

#include "support/string_host_fixture.h"
#include "testrunner/model/model_test_util.h"

namespace {

using qgtest::AddGroup;
using qgtest::AddParam;
using qgtest::AddScenario;
using qgtest::AddSet;
using qgtest::NewList;
using qgtest::Ref;

class ReaderTest : public qg::StringHostTest {
 protected:
  // Reads bytes into a new list; null when the read fails.
  Ref<CListeTestExe> Read(const std::vector<uint8_t>& bytes, LectureListe context = {}) {
    Ref<CListeTestExe> list(new CListeTestExe());
    CQGBufferMark b(bytes.data(), bytes.size());
    if (!bLitListe(b, *list, context)) return nullptr;
    return list;
  }
};

// A list with a scenario of every version, parameters of every version,
// values (one null), data sets and the list's own value.
Ref<CListeTestExe> RichList() {
  auto list = NewList(u"Liste");
  list->SetIdentifiant(0x1122334455667788LL);
  list->SetCible(8, u"FEN_Main");
  list->SetValeur(77);
  list->tabValeurs().push_back(qgtest::I4(1));
  list->tabValeurs().push_back(nullptr);
  CGroupeTestBase* g = AddGroup(*list, u"Groupe");
  g->SetFlag(0);
  g->tabValeurs().push_back(qgtest::I4(2));
  for (int32_t v = 0; v <= 7; ++v) {
    std::u16string name = u"S" + std::u16string(1, static_cast<char16_t>(u'0' + v));
    CScenarioBase* s = AddScenario(*g, name.c_str(), v);
    s->SetIdentifiant(v);
    if (v >= 1) s->m_nExecute = v % 2;
    if (v >= 2) s->m_nOption = 1;
    if (v >= 3) {
      AddParam(*s, u"p0", 0);
      AddParam(*s, u"p1", 1);
      AddParam(*s, u"p2", 2);
    }
    if (v >= 4) {
      s->SetFlag(9);
      s->tabValeurs().push_back(qgtest::I4(v));
    }
    if (v == 5) {
      AddSet(*s, {1, 2, 3});
      AddSet(*s, {4, 0, 6});
    }
    if (v >= 7) s->m_nValeur64 = -5;
  }
  AddGroup(*list, u"Vide", 0);
  return list;
}

TEST_F(ReaderTest, EveryBlockVersionReadsAndWritesBackToTheSameBytes) {
  for (int32_t list_version = 0; list_version <= 4; ++list_version) {
    auto list = RichList();
    list->SetVersion(list_version);
    if (list_version < 4) list->SetValeur(0);
    if (list_version < 1) list->tabValeurs().clear();
    const std::vector<uint8_t> bytes = qgtest::Bytes(*list);
    ASSERT_FALSE(bytes.empty());
    auto read = Read(bytes);
    ASSERT_NE(read, nullptr) << list_version;
    EXPECT_EQ(qgtest::Bytes(*read), bytes) << list_version;
    EXPECT_EQ(read->nGetValeur(), list_version >= 4 ? 77 : 0);
    EXPECT_EQ(read->nGetNbValeur(), list_version >= 1 ? 2 : 0);
  }
  auto read = Read(qgtest::Bytes(*RichList()));
  ASSERT_NE(read, nullptr);
  CGroupeTestBase* g = read->pclChercheGroupe(u"Groupe");
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->nGetNbFils(), 8);
  EXPECT_EQ(g->nGetNbActifs(), 4);  // S1, S3, S5, S7
  CScenarioBase* s5 = read->pclChercheScenario(u"Groupe.S5");
  ASSERT_NE(s5, nullptr);
  ASSERT_EQ(s5->m_clDonnees.nGetNb(), 2u);
  EXPECT_EQ(s5->m_clDonnees.pclGetJeu(1)->m_tabValeurs[1], nullptr);
  EXPECT_EQ(s5->m_clParams.m_tabParams[1]->m_nValeur16b, 0);
  EXPECT_EQ(s5->m_clParams.m_tabParams[2]->m_nValeur16b, 13);
  // Versions 6 and 7 skip their sub-block and carry no sets.
  EXPECT_EQ(read->pclChercheScenario(u"Groupe.S6")->m_clDonnees.nGetNb(), 0u);
  EXPECT_EQ(read->pclChercheScenario(u"Groupe.S7")->m_nValeur64, -5);
  EXPECT_EQ(read->nGetTypeCible(), 8);
}

// Hand-made bytes for the cases the writer does not make.
class Raw {
 public:
  Raw& I32(int32_t v) {
    b.EcritEntier(v);
    return *this;
  }
  Raw& I64(int64_t v) {
    b.EcritEntier64(v);
    return *this;
  }
  Raw& Str(const char16_t* s) {
    b.EcritChaine(s);
    return *this;
  }
  // Header (size, version, lowest reader version) and a size to patch.
  Raw& Open(int32_t version, int32_t lowest = 0, int32_t header = 12) {
    I32(header).I32(version).I32(lowest);
    for (int32_t i = 12; i < header; i += 4) I32(-1);
    starts.push_back(b.nCommenceLongueur());
    return *this;
  }
  Raw& Close() {
    b.nTermineLongueur(starts.back());
    starts.pop_back();
    return *this;
  }
  Raw& List(int32_t groups) {
    b.EcritEntete(4, 0);
    starts.push_back(b.nCommenceLongueur());
    return Str(u"L").I64(1).I32(260).Str(u"").I32(groups);
  }
  std::vector<uint8_t> Done() {
    I32(0);  // no list values
    I32(3);  // list value
    Close();
    return std::vector<uint8_t>(b.pGetDonnees(), b.pGetDonnees() + b.nTaille());
  }
  CQGBuffer b;
  std::vector<int64_t> starts;
};

// A scenario of version 5 with two parameters and the given sets block.
template <typename Sets>
std::vector<uint8_t> ScenarioWithSets(Sets sets, int32_t option = 0) {
  Raw r;
  r.List(1).Open(1).Str(u"G").I64(2).I32(1);
  r.Open(5).Str(u"S").I64(3).I32(1).I32(option);
  r.Open(0).I32(2);
  for (const char16_t* p : {u"a", u"b"}) {
    Raw one;
    one.Open(0).Str(p).I32(0).I32(0).Str(u"").Close();
    r.I32(static_cast<int32_t>(one.b.nTaille()));
    r.b.Ecrit(one.b.pGetDonnees(), one.b.nTaille());
  }
  r.Close();
  r.I32(1).I32(0);  // flag, no values
  sets(r);
  r.Close();   // scenario
  r.I32(1).I32(0).Close();  // group flag, values
  return r.Done();
}

TEST_F(ReaderTest, EdgeCasesOfTheStoredForm) {
  const struct {
    const char* what;
    std::vector<uint8_t> bytes;
    size_t sets;           // of scenario G.S when read
    int32_t second_value;  // I4 of the first set's second value, 0 for null
    bool reads;
  } cases[] = {
      {"three values for two parameters keep two",
       ScenarioWithSets([](Raw& r) {
         r.Open(0).I32(1).Open(0).I32(3);
         for (int v : {1, 2, 3}) r.I32(8).b.EcritAny(*qgtest::I4(v));
         r.Close().Close();
       }),
       1, 2, true},
      {"one value for two parameters adds a null",
       ScenarioWithSets([](Raw& r) {
         r.Open(0).I32(1).Open(0).I32(1).I32(8);
         r.b.EcritAny(*qgtest::I4(1));
         r.Close().Close();
       }),
       1, 0, true},
      {"a value record cut by its set's end fails the read",
       ScenarioWithSets([](Raw& r) {
         r.Open(0).I32(1).Open(0).I32(2).I32(8);
         r.b.EcritAny(*qgtest::I4(1));
         r.I32(8).b.EcritEntier16(8);
         r.I32(100).I32(2);  // 100 bytes announced, 4 there
         r.Close().Close();
       }),
       0, 0, false},
      {"a bad type past the parameters still fails the read",
       ScenarioWithSets([](Raw& r) {
         r.Open(0).I32(1).Open(0).I32(3);
         for (int v : {1, 2}) r.I32(8).b.EcritAny(*qgtest::I4(v));
         r.I32(0x10000);
         r.Close().Close();
       }),
       0, 0, false},
      {"a record of the empty type is a missing value",
       ScenarioWithSets([](Raw& r) {
         r.Open(0).I32(1).Open(0).I32(2).I32(8);
         r.b.EcritAny(*qgtest::I4(1));
         r.I32(8).b.EcritEntier16(0);
         r.Close().Close();
       }),
       1, 0, true},
      {"an unreadable data-set header leaves no sets",
       ScenarioWithSets([](Raw& r) { r.I32(4).I32(0).I32(0); }), 0, 0, true},
      {"a data-set header of 16 bytes skips four",
       ScenarioWithSets([](Raw& r) {
         r.Open(0, 0, 16).I32(1).Open(0).I32(2).I32(0).I32(8);
         r.b.EcritAny(*qgtest::I4(2));
         r.Close().Close();
       }),
       1, 2, true},
      {"a set too new for the reader fails", ScenarioWithSets([](Raw& r) {
         r.Open(0).I32(1).Open(1, 1).I32(0).Close().Close();
       }),
       0, 0, false},
      {"a count beyond the bytes left fails", ScenarioWithSets([](Raw& r) {
         r.Open(0).I32(0x7FFFFFFF).Close();
       }),
       0, 0, false},
  };
  for (const auto& c : cases) {
    auto list = Read(c.bytes);
    ASSERT_EQ(list != nullptr, c.reads) << c.what;
    if (!c.reads) continue;
    CScenarioBase* s = list->pclChercheScenario(u"G.S");
    ASSERT_NE(s, nullptr) << c.what;
    ASSERT_EQ(s->m_clDonnees.nGetNb(), c.sets) << c.what;
    if (c.sets == 0) continue;
    const auto& values = s->m_clDonnees.pclGetJeu(0)->m_tabValeurs;
    ASSERT_EQ(values.size(), 2u) << c.what;
    int32_t second = 0;
    if (values[1] != nullptr) values[1]->nGetI4(&second);
    EXPECT_EQ(second, c.second_value) << c.what;
  }
  // An option other than 0 and 1 reads as 0.
  auto list = Read(ScenarioWithSets([](Raw& r) { r.Open(0).I32(0).Close(); }, 7));
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->pclChercheScenario(u"G.S")->m_nOption, 0);
}

// Descriptions and sets are built from the list's bytes when first used,
// which may be long after the buffer they were read from is gone, and after
// the list itself when the scenario is held apart from it.
TEST_F(ReaderTest, DescriptionsAndSetsBuildAfterTheReadBufferAndListAreGone) {
  auto list = NewList(u"L");
  CScenarioBase* s = AddScenario(*AddGroup(*list, u"G"), u"S", 5);  // keeps its sets
  AddParam(*s, u"\u00E9t\u00E9");
  AddParam(*s, u"b");
  AddParam(*s, u"c");
  CJeuDeTest* set = new CJeuDeTest();
  auto text = std::make_unique<CAny>();
  text->SetDSTRW(u"a\U0001F600\u00E9");
  auto wide = std::make_unique<CAny>();
  wide->SetI8(-(int64_t{1} << 40));
  set->m_tabValeurs.push_back(text);
  set->m_tabValeurs.push_back(nullptr);
  set->m_tabValeurs.push_back(wide);
  s->m_clDonnees.Ajoute(set);
  Ref<CListeTestExe> read;
  {
    std::vector<uint8_t> bytes = qgtest::Bytes(*list);
    read = Read(bytes);
    std::memset(bytes.data(), 0xEE, bytes.size());
  }
  ASSERT_NE(read, nullptr);
  CScenarioBase* found = read->pclChercheScenario(u"G.S");
  ASSERT_NE(found, nullptr);
  found->AddRef();
  Ref<CScenarioBase> r(found);
  read.reset();
  ASSERT_EQ(r->m_clParams.m_tabParams.size(), 3u);
  ASSERT_EQ(r->m_clDonnees.nGetNb(), 1u);
  EXPECT_EQ(std::u16string(r->m_clParams.m_tabParams[0]->m_clNom.pszGet()), u"\u00E9t\u00E9");
  const CValeursJeu& values = r->m_clDonnees.pclGetJeu(0)->m_tabValeurs;
  ASSERT_EQ(values.size(), 3u);
  const char16_t* got = nullptr;
  ASSERT_NE(values[0], nullptr);
  values[0]->nGetPCXSTR(&got);
  EXPECT_EQ(std::u16string(got != nullptr ? got : u""), u"a\U0001F600\u00E9");
  EXPECT_EQ(values[1], nullptr);
  int64_t i8 = 0;
  ASSERT_NE(values[2], nullptr);
  EXPECT_EQ(values[2]->nGetI8(&i8), 0);
  EXPECT_EQ(i8, -(int64_t{1} << 40));
}

TEST_F(ReaderTest, DuplicateGroupsKeepTheFirstAndReleaseTheRest) {
  auto list = NewList(u"L");
  AddScenario(*AddGroup(*list, u"Grp"), u"Premier");
  AddScenario(*AddGroup(*list, u"GRP"), u"Second");
  AddGroup(*list, u"Autre");
  // Equal but for accents and case: found through the same hash.
  AddScenario(*AddGroup(*list, u"\u00C9t\u00E9"), u"Troisieme");
  AddScenario(*AddGroup(*list, u"ete"), u"Quatrieme");
  auto read = Read(qgtest::Bytes(*list));
  ASSERT_NE(read, nullptr);
  ASSERT_EQ(read->nGetNbFils(), 3);
  EXPECT_NE(read->pclChercheScenario(u"grp.Premier"), nullptr);
  EXPECT_EQ(read->pclChercheTest(u"Second"), nullptr);
  EXPECT_NE(read->pclChercheTest(u"Troisieme"), nullptr);
  EXPECT_EQ(read->pclChercheTest(u"Quatrieme"), nullptr);
}

TEST_F(ReaderTest, BlocksTooNewOrOutsideTheirParentFail) {
  Raw too_new;
  too_new.List(1).Open(1, 5).Str(u"G").I64(0).I32(0).I32(1).I32(0).Close();
  EXPECT_EQ(Read(too_new.Done()), nullptr);

  // A group whose size runs past the list's end.
  Raw past;
  past.List(1).I32(12).I32(1).I32(0).I32(1000).Str(u"G").I64(0).I32(0);
  EXPECT_EQ(Read(past.Done()), nullptr);

  // The legacy hook runs for scenarios before version 5 only.
  auto list = RichList();
  int calls = 0;
  LectureListe context;
  context.fnJeuxAnciens = [&](CScenarioBase& s) {
    ++calls;
    EXPECT_LT(s.nGetVersion(), 5);
    EXPECT_EQ(s.pclGetListe()->clNom().pszGet(), std::u16string(u"Liste"));
  };
  EXPECT_NE(Read(qgtest::Bytes(*list), context), nullptr);
  EXPECT_EQ(calls, 5);
}

TEST_F(ReaderTest, CutAndFlippedListsFailCleanly) {
  const std::vector<uint8_t> bytes = qgtest::Bytes(*RichList());
  for (size_t n = 0; n < bytes.size(); ++n) {
    std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
    EXPECT_EQ(Read(cut), nullptr) << n;
  }
  // Every byte flipped in turn: a list or a failure, never a fault.
  size_t read = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::vector<uint8_t> flipped = bytes;
    flipped[i] ^= 0xA5;
    if (Read(flipped) != nullptr) ++read;
  }
  EXPECT_LT(read, bytes.size());
}

TEST_F(ReaderTest, LegacySetRecordReadsOneSet) {
  CJeuDeTest* set = new CJeuDeTest();
  set->m_tabValeurs.push_back(qgtest::I4(4));
  set->m_tabValeurs.push_back(nullptr);
  set->m_tabValeurs.push_back(qgtest::I4(6));
  const std::vector<uint8_t> bytes = qgtest::SetBytes(*set);
  set->Release();
  CDonneesDeTest sets;
  ASSERT_TRUE(bLitJeuAncien(bytes.data(), bytes.size(), 2, sets));
  ASSERT_EQ(sets.nGetNb(), 1u);
  EXPECT_EQ(sets.pclGetJeu(0)->m_tabValeurs.size(), 2u);
  EXPECT_FALSE(bLitJeuAncien(bytes.data(), bytes.size() - 1, 2, sets));
  EXPECT_EQ(sets.nGetNb(), 1u);
}

}  // namespace
