#include "testrunner/model/reader.h"

#include <algorithm>
#include <climits>
#include <set>

#include "support/text_functions.h"

namespace {

int64_t nPos(const CQGBuffer& b) { return static_cast<int64_t>(b.nPosition()); }

// Reads a block header and the size after it; the block must end inside
// its parent. False on any fault.
bool bOuvreBloc(CQGBuffer& b, int32_t version_max, int64_t parent_end, int32_t* version,
                int64_t* end) {
  if (b.nLitEnteteBloc(version_max, version) != CQGBuffer::kEnteteOk) return false;
  if (nPos(b) > parent_end) return false;
  *end = b.pLitDebutBloc(parent_end);
  return *end >= 0;
}

// A count of entries of at least `min_size` bytes each before `end`.
bool bCompte(CQGBuffer& b, int64_t end, int64_t min_size, int32_t* n) {
  if (!b.LitEntier(*n) || nPos(b) > end) return false;
  return *n >= 0 && static_cast<int64_t>(*n) * min_size <= end - nPos(b);
}

bool bEntier(CQGBuffer& b, int64_t end, int32_t* n) { return b.LitEntier(*n) && nPos(b) <= end; }

bool bEntier64(CQGBuffer& b, int64_t end, int64_t* n) {
  return b.LitEntier64(*n) && nPos(b) <= end;
}

bool bChaine(CQGBuffer& b, int64_t end, CTString& s) { return b.bLitChaine(s) && nPos(b) <= end; }

// One entry: i32 type, then a value record when the type is not 0. A null
// pointer for type 0.
bool bValeur(CQGBuffer& b, int64_t end, std::unique_ptr<CAny>* out) {
  int32_t type;
  if (!bEntier(b, end, &type)) return false;
  out->reset();
  if (type == 0) return true;
  if (type < 0 || type > 0xFFFF) return false;
  auto v = std::make_unique<CAny>();
  v->SetType(type);
  if (!b.LitAny(*v) || nPos(b) > end) return false;
  // A record holding no value reads as no value: the stored form has no
  // other way to say it.
  if (!v->bEstVide()) *out = std::move(v);
  return true;
}

bool bValeurs(CQGBuffer& b, int64_t end, std::vector<std::unique_ptr<CAny>>& values) {
  int32_t n;
  if (!bCompte(b, end, 4, &n)) return false;
  values.clear();
  values.reserve(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i) {
    std::unique_ptr<CAny> v;
    if (!bValeur(b, end, &v)) return false;
    values.push_back(std::move(v));
  }
  return true;
}

// The smallest block: a 12-byte header and the size.
constexpr int64_t kBlocMin = 16;

bool bLitParams(CQGBuffer& b, int64_t parent_end, CDescriptionListeParamTestBase& params) {
  int32_t version;
  int64_t end;
  if (!bOuvreBloc(b, CDescriptionListeParamTestBase::kVersionMax, parent_end, &version, &end)) {
    return false;
  }
  int32_t n;
  if (!bCompte(b, end, 4 + kBlocMin, &n)) return false;
  params.m_tabParams.clear();
  params.m_tabParams.reserve(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i) {
    int32_t size;
    if (!bEntier(b, end, &size) || size < 0 || size > end - nPos(b)) return false;
    const int64_t element_end = nPos(b) + size;
    if (!bLitDescriptionParam(b, element_end, params.m_tabParams.Ajoute())) {
      params.m_tabParams.pop_back();
      return false;
    }
    b.FinBloc(element_end);
  }
  b.FinBloc(end);
  return true;
}

bool bLitJeux(CQGBuffer& b, int64_t parent_end, size_t nb_params, CDonneesDeTest& sets) {
  int32_t version;
  int64_t end;
  // An unreadable header leaves the scenario without sets.
  if (!bOuvreBloc(b, 0, parent_end, &version, &end)) return true;
  int32_t n;
  if (!bCompte(b, end, kBlocMin, &n)) return false;
  for (int32_t i = 0; i < n; ++i) {
    if (!bLitJeuDeTest(b, end, nb_params, sets)) return false;
  }
  b.FinBloc(end);
  return true;
}

bool bLitScenario(CQGBuffer& b, int64_t parent_end, CScenarioBase& s,
                  const LectureListe& context) {
  int32_t version;
  int64_t end;
  if (!bOuvreBloc(b, CScenarioBase::kVersionMax, parent_end, &version, &end)) return false;
  s.SetVersion(version);
  CTString name;
  int64_t id;
  if (!bChaine(b, end, name) || !bEntier64(b, end, &id)) return false;
  s.SetNom(name.pszGet());
  s.SetIdentifiant(id);
  if (version >= 1 && !bEntier(b, end, &s.m_nExecute)) return false;
  if (version >= 2) {
    int32_t option;
    if (!bEntier(b, end, &option)) return false;
    s.m_nOption = option == 1 ? 1 : 0;
  }
  if (version >= 3 && !bLitParams(b, end, s.m_clParams)) return false;
  if (version >= 4) {
    int32_t flag;
    if (!bEntier(b, end, &flag) || !bValeurs(b, end, s.tabValeurs())) return false;
    s.SetFlag(flag);
  }
  if (version == 5 && !bLitJeux(b, end, s.m_clParams.m_tabParams.size(), s.m_clDonnees)) {
    return false;
  }
  if (version >= 6) {
    int32_t skipped_version;
    int64_t skipped_end;
    if (!bOuvreBloc(b, INT32_MAX, end, &skipped_version, &skipped_end)) return false;
    b.FinBloc(skipped_end);
  }
  if (version >= 7 && !bEntier64(b, end, &s.m_nValeur64)) return false;
  b.FinBloc(end);
  if (version < 5 && context.fnJeuxAnciens) context.fnJeuxAnciens(s);
  return true;
}

bool bLitGroupe(CQGBuffer& b, int64_t parent_end, CGroupeTestBase& g,
                const LectureListe& context) {
  int32_t version;
  int64_t end;
  if (!bOuvreBloc(b, CGroupeTestBase::kVersionMax, parent_end, &version, &end)) return false;
  g.SetVersion(version);
  CTString name;
  int64_t id;
  int32_t n;
  if (!bChaine(b, end, name) || !bEntier64(b, end, &id)) return false;
  g.SetNom(name.pszGet());
  g.SetIdentifiant(id);
  if (!bCompte(b, end, kBlocMin, &n)) return false;
  for (int32_t i = 0; i < n; ++i) {
    CScenarioBase* s = g.pclCreeScenario();
    s->bAttache(&g, -1);
    const bool ok = bLitScenario(b, end, *s, context);
    if (ok && s->m_nExecute != 0) g.AjouteActif();
    s->Release();  // the group keeps its reference
    if (!ok) return false;
  }
  if (version >= 1) {
    int32_t flag;
    if (!bEntier(b, end, &flag) || !bValeurs(b, end, g.tabValeurs())) return false;
    g.SetFlag(flag);
  }
  b.FinBloc(end);
  return true;
}

}  // namespace

bool bLitDescriptionParam(CQGBuffer& b, int64_t parent_end, CDescriptionParamTestBase& p) {
  int32_t version;
  int64_t end;
  if (!bOuvreBloc(b, CDescriptionParamTestBase::kVersionMax, parent_end, &version, &end)) {
    return false;
  }
  p.m_nVersion = version;
  int32_t word;
  if (!bChaine(b, end, p.m_clNom) || !bEntier(b, end, &p.m_nValeur) || !bEntier(b, end, &word) ||
      !bChaine(b, end, p.m_clTexte)) {
    return false;
  }
  p.m_nValeur16 = static_cast<uint16_t>(word);
  if (version >= 1 && !bEntier64(b, end, &p.m_nValeur64)) return false;
  p.m_nValeur16b = 0;
  if (version >= 2) {
    if (!bEntier(b, end, &word)) return false;
    p.m_nValeur16b = static_cast<uint16_t>(word);
  }
  b.FinBloc(end);
  return true;
}

bool bLitJeuDeTest(CQGBuffer& b, int64_t parent_end, size_t nb_params, CDonneesDeTest& sets) {
  int32_t version;
  int64_t end;
  if (!bOuvreBloc(b, 0, parent_end, &version, &end)) return false;
  int32_t n;
  if (!bCompte(b, end, 4, &n)) return false;
  // One value per parameter, read in place: extras are read and dropped,
  // missing ones null.
  CJeuDeTest* set = CJeuDeTest::Cree(std::min(nb_params, static_cast<size_t>(n)));
  if (set == nullptr) return false;
  CValeursJeu& values = set->m_tabValeurs;
  CAny extra;
  for (int32_t i = 0; i < n; ++i) {
    int32_t type;
    bool ok = bEntier(b, end, &type) && type >= 0 && type <= 0xFFFF;
    if (ok && type != 0) {
      // The record carries its own type: the value is built once, by it.
      const bool kept = static_cast<size_t>(i) < nb_params;
      CAny& v = kept ? values.Ajoute() : extra;
      ok = b.LitAny(v) && nPos(b) <= end;
      if (ok && kept && v.bEstVide()) values.SetAbsent(static_cast<size_t>(i));
    } else if (ok && static_cast<size_t>(i) < nb_params) {
      values.push_back(nullptr);
    }
    if (!ok) {
      set->Release();
      return false;
    }
  }
  values.resize(nb_params);
  sets.Ajoute(set);
  b.FinBloc(end);
  return true;
}

bool bLitListe(CQGBuffer& b, CListeTestBase& list, const LectureListe& context) {
  int32_t version;
  if (b.nLitEntete(&version) != CQGBuffer::kEnteteOk) return false;
  list.SetVersion(version);
  const int64_t end = b.pLitDebutBloc();
  if (end < 0) return false;
  CTString name, target;
  int64_t id;
  int32_t kind, n;
  if (!bChaine(b, end, name) || !bEntier64(b, end, &id) || !bEntier(b, end, &kind) ||
      !bChaine(b, end, target) || !bCompte(b, end, kBlocMin, &n)) {
    return false;
  }
  list.SetNom(name.pszGet());
  list.SetIdentifiant(id);
  list.SetCible(kind, target.pszGet());
  // The names of the groups kept, ordered by the same comparison that
  // tells two names equal: one lookup per group instead of a walk.
  const auto before = [](const char16_t* a, const char16_t* b) {
    return nCompareChaineLocale(a, b, 3) < 0;
  };
  std::set<const char16_t*, decltype(before)> names(before);
  for (int32_t j = 0; j < list.nGetNbFils(); ++j) {
    names.insert(list.pclFils(static_cast<size_t>(j))->pszGetNom());
  }
  for (int32_t i = 0; i < n; ++i) {
    CGroupeTestBase* g = list.pclCreeGroupe();
    g->bAttache(&list, -1);
    const bool ok = bLitGroupe(b, end, *g, context);
    // A group whose name the list already has is dropped with its scenarios.
    if (ok && !names.insert(g->pszGetNom()).second) g->bAttache(nullptr, -1);
    g->Release();
    if (!ok) return false;
  }
  if (version >= 1 && !bValeurs(b, end, list.tabValeurs())) return false;
  int32_t value = 0;
  if (version >= 4 && !bEntier(b, end, &value)) return false;
  list.SetValeur(value);
  b.FinBloc(end);
  return true;
}

bool bLitJeuAncien(const void* bytes, size_t size, size_t nb_params, CDonneesDeTest& sets) {
  CQGBufferMark b(bytes, size, 0, 0);
  if (b.nTaille() != size) return false;
  return bLitJeuDeTest(b, static_cast<int64_t>(size), nb_params, sets);
}
