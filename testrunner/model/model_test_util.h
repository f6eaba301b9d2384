// Builders of small test models for the model, reader and runner tests.
#ifndef QG_TESTRUNNER_MODEL_MODEL_TEST_UTIL_H_
#define QG_TESTRUNNER_MODEL_MODEL_TEST_UTIL_H_

#include <memory>
#include <vector>

#include "support/qgbuffer.h"
#include "testrunner/model/executable.h"
#include "testrunner/model/list_writer.h"

namespace qgtest {

// Releases an element at scope end.
struct ElementReleaser {
  void operator()(IElementTest* e) const {
    if (e != nullptr) e->Release();
  }
};
template <typename T>
using Ref = std::unique_ptr<T, ElementReleaser>;

inline Ref<CListeTestExe> NewList(const char16_t* name, int32_t version = 4) {
  Ref<CListeTestExe> list(new CListeTestExe());
  list->SetNom(name);
  list->SetVersion(version);
  return list;
}

// A group appended to the list (the list holds it).
inline CGroupeTestBase* AddGroup(CListeTestBase& list, const char16_t* name,
                                 int32_t version = 1) {
  CGroupeTestBase* g = list.pclCreeGroupe();
  g->SetNom(name);
  g->SetVersion(version);
  g->bAttache(&list, -1);
  g->Release();
  return g;
}

inline CScenarioBase* AddScenario(CGroupeTestBase& group, const char16_t* name,
                                  int32_t version = 7) {
  CScenarioBase* s = group.pclCreeScenario();
  s->SetNom(name);
  s->SetVersion(version);
  s->bAttache(&group, -1);
  s->Release();
  return s;
}

inline std::unique_ptr<CAny> I4(int32_t v) {
  auto a = std::make_unique<CAny>();
  a->SetI4(v);
  return a;
}

inline void AddParam(CScenarioBase& s, const char16_t* name, int32_t version = 2) {
  auto p = std::make_unique<CDescriptionParamTestBase>();
  p->m_clNom.Set(name);
  p->m_nValeur = 11;
  p->m_nValeur16 = 12;
  p->m_clTexte.Set(u"texte");
  p->m_nValeur64 = version >= 1 ? 0x123456789LL : 0;
  p->m_nValeur16b = version >= 2 ? 13 : 0;
  p->m_nVersion = version;
  s.m_clParams.m_tabParams.push_back(std::move(p));
}

// A data set of I4 values (0 for a null entry).
inline void AddSet(CScenarioBase& s, std::vector<int32_t> values) {
  CJeuDeTest* set = new CJeuDeTest();
  for (int32_t v : values) set->m_tabValeurs.push_back(v == 0 ? nullptr : I4(v));
  s.m_clDonnees.Ajoute(set);
}

inline std::vector<uint8_t> Bytes(CListeTestBase& list) {
  CQGBuffer b;
  if (!bEcritListe(b, list)) return {};
  return std::vector<uint8_t>(b.pGetDonnees(), b.pGetDonnees() + b.nTaille());
}

inline std::vector<uint8_t> SetBytes(const CJeuDeTest& set) {
  CQGBuffer b;
  if (!bEcritJeuDeTest(b, set)) return {};
  return std::vector<uint8_t>(b.pGetDonnees(), b.pGetDonnees() + b.nTaille());
}

}  // namespace qgtest

#endif  // QG_TESTRUNNER_MODEL_MODEL_TEST_UTIL_H_
