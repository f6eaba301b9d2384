#include "testrunner/model/list_writer.h"

namespace {

bool bValeur(CQGBuffer& b, const CAny* v) {
  return v == nullptr ? b.EcritEntier(0) : b.EcritEntier(v->nGetCode()) && b.EcritAny(*v);
}

bool bValeurs(CQGBuffer& b, const CValeursJeu& values) {
  bool ok = b.EcritEntier(static_cast<int32_t>(values.size()));
  for (size_t i = 0; i < values.size(); ++i) ok = ok && bValeur(b, values[i]);
  return ok;
}

bool bValeurs(CQGBuffer& b, const std::vector<std::unique_ptr<CAny>>& values) {
  bool ok = b.EcritEntier(static_cast<int32_t>(values.size()));
  for (const auto& v : values) {
    if (v == nullptr) {
      ok = ok && b.EcritEntier(0);
    } else {
      ok = ok && b.EcritEntier(v->nGetCode()) && b.EcritAny(*v);
    }
  }
  return ok;
}

// A block: header, then the size that counts itself, then the body.
template <typename Body>
bool bBloc(CQGBuffer& b, int32_t version, Body body) {
  if (!b.EcritEnteteBloc(version, 0)) return false;
  const int64_t start = b.nCommenceLongueur();
  return start >= 0 && body() && b.nTermineLongueur(start) >= 0;
}

bool bParam(CQGBuffer& b, const CDescriptionParamTestBase& p) {
  const int32_t v = p.m_nVersion;
  return bBloc(b, v, [&] {
    bool ok = b.EcritChaine(p.m_clNom.pszGet()) && b.EcritEntier(p.m_nValeur) &&
              b.EcritEntier(p.m_nValeur16) && b.EcritChaine(p.m_clTexte.pszGet());
    if (v >= 1) ok = ok && b.EcritEntier64(p.m_nValeur64);
    if (v >= 2) ok = ok && b.EcritEntier(p.m_nValeur16b);
    return ok;
  });
}

bool bScenario(CQGBuffer& b, CScenarioBase& s) {
  const int32_t v = s.nGetVersion();
  return bBloc(b, v, [&] {
    bool ok = b.EcritChaine(s.pszGetNom()) && b.EcritEntier64(s.nGetIdentifiant());
    if (v >= 1) ok = ok && b.EcritEntier(s.m_nExecute);
    if (v >= 2) ok = ok && b.EcritEntier(s.m_nOption);
    if (v >= 3) {
      ok = ok && bBloc(b, 0, [&] {
        bool inner = b.EcritEntier(static_cast<int32_t>(s.m_clParams.m_tabParams.size()));
        for (size_t i = 0; i < s.m_clParams.m_tabParams.size(); ++i) {
          const CDescriptionParamTestBase* p = s.m_clParams.m_tabParams[i];
          // The description's size, not counting itself.
          const int64_t at = b.nCommenceLongueur();
          inner = inner && at >= 0 && bParam(b, *p);
          const int64_t after = static_cast<int64_t>(b.nPosition());
          inner = inner && b.Seek(at, 0) >= 0 &&
                  b.EcritEntier(static_cast<int32_t>(after - at - 4)) && b.Seek(after, 0) >= 0;
        }
        return inner;
      });
    }
    if (v >= 4) ok = ok && b.EcritEntier(s.nGetFlag()) && bValeurs(b, s.tabValeurs());
    if (v == 5) {
      ok = ok && bBloc(b, 0, [&] {
        bool inner = b.EcritEntier(static_cast<int32_t>(s.m_clDonnees.nGetNb()));
        for (size_t i = 0; i < s.m_clDonnees.nGetNb(); ++i) {
          inner = inner && bEcritJeuDeTest(b, *s.m_clDonnees.pclGetJeu(i));
        }
        return inner;
      });
    }
    if (v >= 6) ok = ok && bBloc(b, 0, [] { return true; });
    if (v >= 7) ok = ok && b.EcritEntier64(s.m_nValeur64);
    return ok;
  });
}

bool bGroupe(CQGBuffer& b, CGroupeTestBase& g) {
  const int32_t v = g.nGetVersion();
  return bBloc(b, v, [&] {
    bool ok = b.EcritChaine(g.pszGetNom()) && b.EcritEntier64(g.nGetIdentifiant()) &&
              b.EcritEntier(g.nGetNbFils());
    for (int32_t i = 0; ok && i < g.nGetNbFils(); ++i) {
      ok = bScenario(b, *g.pclFils(static_cast<size_t>(i))->pclScenario());
    }
    if (v >= 1) ok = ok && b.EcritEntier(g.nGetFlag()) && bValeurs(b, g.tabValeurs());
    return ok;
  });
}

}  // namespace

bool bEcritJeuDeTest(CQGBuffer& b, const CJeuDeTest& set) {
  return bBloc(b, 0, [&] { return bValeurs(b, set.m_tabValeurs); });
}

bool bEcritListe(CQGBuffer& b, CListeTestBase& list) {
  const int32_t v = list.nGetVersion();
  if (!b.EcritEntete(v, 0)) return false;
  const int64_t start = b.nCommenceLongueur();
  bool ok = start >= 0 && b.EcritChaine(list.pszGetNom()) &&
            b.EcritEntier64(list.nGetIdentifiant()) && b.EcritEntier(list.nGetTypeCible()) &&
            b.EcritChaine(list.clNomCible().pszGet()) && b.EcritEntier(list.nGetNbFils());
  for (int32_t i = 0; ok && i < list.nGetNbFils(); ++i) {
    ok = bGroupe(b, *list.pclFils(static_cast<size_t>(i))->pclGroupe());
  }
  if (v >= 1) ok = ok && bValeurs(b, list.tabValeurs());
  if (v >= 4) ok = ok && b.EcritEntier(list.nGetValeur());
  return ok && b.nTermineLongueur(start) >= 0;
}
