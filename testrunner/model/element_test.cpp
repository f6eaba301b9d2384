#include "testrunner/model/element.h"

#include <gtest/gtest.h>

#include <string>

#include "support/string_host_fixture.h"
#include "testrunner/model/model_test_util.h"

namespace {

using qgtest::AddGroup;
using qgtest::AddScenario;
using qgtest::NewList;

class ElementTest : public qg::StringHostTest {};

std::u16string Full(const CElementTestBase* e) {
  CTString s;
  e->NomComplet(s);
  return s.pszGet();
}

TEST_F(ElementTest, AttachMovesBetweenParentsWithBalancedReferences) {
  auto list = NewList(u"L");
  CGroupeTestBase* g1 = AddGroup(*list, u"G1");
  CGroupeTestBase* g2 = AddGroup(*list, u"G2");
  CScenarioBase* a = AddScenario(*g1, u"A");
  CScenarioBase* b = AddScenario(*g1, u"B");
  a->AddRef();  // watch its count: ours and the parent's

  EXPECT_EQ(a->bAttache(g2, 0), 1);
  EXPECT_EQ(g1->nGetNbFils(), 1);
  EXPECT_EQ(g1->piGetFils(0), b);
  EXPECT_EQ(g2->piGetFils(0), a);
  EXPECT_EQ(a->piGetParent(), g2);
  EXPECT_EQ(Full(a), u"L.G2.A");
  // Kinds refuse: a group under a group, a scenario under the list, a
  // group under its own scenario.
  EXPECT_EQ(g1->bAttache(g2, -1), 0);
  EXPECT_EQ(a->bAttache(list.get(), -1), 0);
  // Position past the end appends; detaching clears the parent.
  EXPECT_EQ(b->bAttache(g2, 99), 1);
  EXPECT_EQ(g2->piGetFils(1), b);
  EXPECT_EQ(a->bAttache(nullptr, -1), 1);
  EXPECT_EQ(a->piGetParent(), nullptr);
  EXPECT_EQ(Full(a), u"A");
  EXPECT_EQ(a->Release(), 0);  // only ours was left
}

TEST_F(ElementTest, ChildLookupsAreExactAndFullNamesSkipEmptyParts) {
  auto list = NewList(u"");
  CGroupeTestBase* g = AddGroup(*list, u"Grp");
  g->SetIdentifiant(42);
  EXPECT_EQ(list->pclChercheFils(u"Grp"), g);
  EXPECT_EQ(list->pclChercheFils(u"grp"), nullptr);   // exact, not locale
  EXPECT_EQ(list->pclChercheFils(u"Gr"), nullptr);
  EXPECT_EQ(list->pclChercheFilsParIdentifiant(42), g);
  EXPECT_EQ(list->pclChercheFilsParIdentifiant(43), nullptr);
  EXPECT_EQ(Full(g), u"Grp");  // an empty list name adds no "."
  EXPECT_EQ(list->piGetFils(1), nullptr);
  EXPECT_EQ(list->piGetFils(-1), nullptr);
}

// Counts visits and answers from a table by name.
class Recorder : public CVisiteurElementTest {
 public:
  int32_t nVisiteElement(CElementTestBase& e) override {
    seen += std::u16string(e.pszGetNom()) + u",";
    if (std::u16string(e.pszGetNom()) == skip) return kVisiteSaute;
    if (std::u16string(e.pszGetNom()) == stop) return kVisiteStop;
    return kVisiteEntre;
  }
  std::u16string seen, skip, stop;
};

TEST_F(ElementTest, WalksVisitDepthFirstAndHonourSkipAndStop) {
  auto list = NewList(u"L");
  CGroupeTestBase* g1 = AddGroup(*list, u"G1");
  AddScenario(*g1, u"A");
  AddScenario(*g1, u"B");
  CGroupeTestBase* g2 = AddGroup(*list, u"G2");
  AddScenario(*g2, u"C");

  Recorder all;
  EXPECT_EQ(list->bParcours(all), 1);
  EXPECT_EQ(all.seen, u"L,G1,A,B,G2,C,");
  Recorder skip;
  skip.skip = u"G1";
  EXPECT_EQ(list->bParcours(skip), 1);
  EXPECT_EQ(skip.seen, u"L,G1,G2,C,");
  Recorder stop;
  stop.stop = u"B";
  EXPECT_EQ(list->bParcoursB(stop), 0);
  EXPECT_EQ(stop.seen, u"L,G1,A,B,");
  Recorder children;
  children.stop = u"G2";
  EXPECT_EQ(list->bParcoursFils(children), 0);
  EXPECT_EQ(children.seen, u"G1,G2,");
}

TEST_F(ElementTest, ScenarioLookupsByName) {
  auto list = NewList(u"L");
  CGroupeTestBase* g = AddGroup(*list, u"Groupe");
  CScenarioBase* s1 = AddScenario(*g, u"Saisie");
  CScenarioBase* s2 = AddScenario(*g, u"Écran");
  CGroupeTestBase* other = AddGroup(*list, u"Autre groupe");
  CScenarioBase* s3 = AddScenario(*other, u"Saisie");
  CGroupeTestBase* catch_all = AddGroup(*list, u"AUTRE");
  CScenarioBase* s4 = AddScenario(*catch_all, u"Divers");

  EXPECT_EQ(list->pclChercheGroupe(u"GROUPE"), g);
  const struct {
    const char16_t* name;
    CScenarioBase* scenario;  // by group.scenario
    CScenarioBase* test;      // by name from the list down
  } cases[] = {
      {u"Groupe.Saisie", s1, s1},
      {u"groupe.ecran", s2, s2},          // locale-equal: case and accents
      {u"Autre groupe.Saisie", s3, s3},
      {u"Saisie", nullptr, s1},           // no '.': the first in the whole list
      {u"Divers", nullptr, s4},
      {u"AUTRE.Divers", s4, s4},
      {u"Groupe.Divers", nullptr, nullptr},  // only the matched group's children
      {u"Manque.Saisie", nullptr, nullptr},
      {u"Groupe.", nullptr, nullptr},
      {u"Groupe.Saisie.X", nullptr, nullptr},
  };
  for (const auto& c : cases) {
    std::string name(c.name, c.name + std::char_traits<char16_t>::length(c.name));
    EXPECT_EQ(list->pclChercheScenario(c.name), c.scenario) << name;
    EXPECT_EQ(list->pclChercheTest(c.name), c.test) << name;
  }
  EXPECT_EQ(list->pclChercheScenario(nullptr), nullptr);
}

TEST_F(ElementTest, CatchAllChildrenStandUnderTheListForDottedNames) {
  // A scenario in "AUTRE" whose name holds no group part is found as if it
  // stood under the list; a real group of that name wins when first.
  auto list = NewList(u"L");
  CGroupeTestBase* catch_all = AddGroup(*list, u"AUTRE");
  CScenarioBase* s = AddScenario(*catch_all, u"Lot");
  EXPECT_EQ(list->pclChercheTest(u"Lot"), s);
  CVisiteurRechercheParNomComplet visitor(*list, u"Lot");
  list->bParcours(visitor);
  EXPECT_EQ(visitor.pclTrouve(), s);
}

TEST_F(ElementTest, ListValueIsAskedThroughTheParents) {
  auto list = NewList(u"L");
  list->SetValeur(5);
  CScenarioBase* s = AddScenario(*AddGroup(*list, u"G"), u"S");
  EXPECT_EQ(s->nGetValeurListe(), 5);
  EXPECT_EQ(s->pclGetListe(), list.get());
  list->SetCible(259, u"Fenêtre");
  EXPECT_EQ(list->nGetTypeCible(), 8);
}

TEST_F(ElementTest, SetValuesOutgrowTheirOwnStorageAndKeepMissingOnes) {
  CJeuDeTest* set = CJeuDeTest::Cree(2);
  ASSERT_NE(set, nullptr);
  CValeursJeu& v = set->m_tabValeurs;
  for (int32_t x : {1, 0, 3, 4, 5}) v.push_back(x == 0 ? nullptr : qgtest::I4(x));
  v.resize(8);  // three missing at the end
  v.push_back(qgtest::I4(9));
  ASSERT_EQ(v.size(), 9u);
  const int32_t expected[] = {1, 0, 3, 4, 5, 0, 0, 0, 9};
  for (size_t i = 0; i < v.size(); ++i) {
    int32_t got = 0;
    if (v[i] != nullptr) v[i]->nGetI4(&got);
    EXPECT_EQ(v[i] == nullptr, expected[i] == 0) << i;
    EXPECT_EQ(got, expected[i]) << i;
  }
  v.resize(1);
  EXPECT_EQ(v.size(), 1u);
  EXPECT_EQ(set->Release(), 0);
}

}  // namespace

namespace {

// The host reads a parameter description by slot: name, 32-bit value,
// first 16-bit value, second text, and only then the destructor.
TEST(ParamDescriptionTest, ReadersSitInTheFirstFourSlots) {
  IParamTest d;
  d.m_clNom.Set(u"nom");
  d.m_nValeur = 42;
  d.m_nValeur16 = 7;
  d.m_clTexte.Set(u"texte");
  void* const* slots = *reinterpret_cast<void* const* const*>(&d);
  using Text = const char16_t* (*)(const IParamTest*);
  EXPECT_EQ(std::u16string(reinterpret_cast<Text>(slots[0])(&d)), u"nom");
  EXPECT_EQ(reinterpret_cast<int32_t (*)(const IParamTest*)>(slots[1])(&d), 42);
  EXPECT_EQ(reinterpret_cast<uint16_t (*)(const IParamTest*)>(slots[2])(&d), 7);
  EXPECT_EQ(std::u16string(reinterpret_cast<Text>(slots[3])(&d)), u"texte");
}

}  // namespace
