#include "testrunner/model/reader.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>
#include <memory>
#include <unordered_set>

#include "support/any_serial.h"
#include "support/platform/codepage.h"
#include "support/text_functions.h"

namespace {

// Group names compare through the host locale, ignoring case and accents.
constexpr uint32_t kComparaisonNoms = 3;

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

// Whether n bytes hold no NUL; names are short, and a loop beats a call.
bool bSansNul(const uint8_t* p, size_t n) {
  if (n > 32) return std::memchr(p, 0, n) == nullptr;
  for (size_t i = 0; i < n; ++i) {
    if (p[i] == 0) return false;
  }
  return true;
}

// A cursor over a plain body that accepts exactly what the buffer's reads
// above accept, without their calls: the walk of the groups, scenarios and
// the many small blocks of their descriptions and sets. Every read stays
// before the end it is given.
struct Vue {
  const uint8_t* d;
  int64_t p;       // position
  int64_t taille;  // the buffer's used size

  bool I32(int64_t end, int32_t* v) {
    if (end - p < 4) return false;
    std::memcpy(v, d + p, 4);
    p += 4;
    return true;
  }
  bool Saute(int64_t end, int64_t n) {
    if (end - p < n) return false;
    p += n;
    return true;
  }
  // bOuvreBloc.
  [[gnu::always_inline]] bool Bloc(int32_t version_max, int64_t parent_end, int32_t* version,
                                   int64_t* end) {
    if (parent_end - p >= 16) {
      // The usual header, of no extra bytes, and the size: read at once.
      int32_t fields[4];
      std::memcpy(fields, d + p, 16);
      if (fields[0] == static_cast<int32_t>(CQGBuffer::kTailleEnteteBloc)) {
        if (fields[2] > version_max) return false;
        const int64_t start = p + 12;
        *end = start + fields[3];
        *version = fields[1];
        p = start + 4;
        return fields[3] >= 4 && *end <= std::min(taille, parent_end);
      }
    }
    return BlocGeneral(version_max, parent_end, version, end);
  }
  // Any header, each field checked on its own.
  [[gnu::noinline]] bool BlocGeneral(int32_t version_max, int64_t parent_end, int32_t* version,
                                     int64_t* end) {
    int32_t header, data_version, reader_version, size;
    if (!I32(parent_end, &header) || !I32(parent_end, &data_version) ||
        !I32(parent_end, &reader_version) || header < static_cast<int32_t>(CQGBuffer::kTailleEnteteBloc)) {
      return false;
    }
    const int64_t extra = header - static_cast<int64_t>(CQGBuffer::kTailleEnteteBloc);
    if (extra >= taille - p || reader_version > version_max) return false;
    p += extra;
    const int64_t start = p;
    if (p > parent_end || !I32(parent_end, &size)) return false;
    *end = start + size;
    *version = data_version;
    return size >= 4 && *end <= std::min(taille, parent_end);
  }
  // bCompte.
  bool Compte(int64_t end, int64_t min_size, int32_t* n) {
    return I32(end, n) && *n >= 0 && static_cast<int64_t>(*n) * min_size <= end - p;
  }
  bool I64(int64_t end, int64_t* v) {
    if (end - p < 8) return false;
    std::memcpy(v, d + p, 8);
    p += 8;
    return true;
  }
  // Where the string at the position lies, as the buffer's string read
  // finds it: its length in the body, and where its text starts with how
  // many bytes, in UTF-8 (record) or 1252 (legacy, up to its NUL).
  bool Localise(int64_t* length, int64_t* text, int64_t* bytes, bool* utf8) const {
    if (p >= taille) return false;
    *utf8 = false;
    if (d[p] == 0) {
      *length = 1;
      *text = p;
      *bytes = 0;
      return true;
    }
    constexpr int64_t kEntete = CQGBuffer::kTailleEnteteChaine;
    if (taille - p >= kEntete + 1 && Lit32(p) == CQGBuffer::kMarqueDebut) {
      const int64_t n = Lit32(p + 4);
      if (n >= kEntete + 1 && n <= taille - p && Lit32(p + n - 4) == CQGBuffer::kMarqueFin &&
          d[p + n - 5] == 0 && bSansNul(d + p + 8, static_cast<size_t>(n - kEntete))) {
        *length = n;
        *text = p + 8;
        *bytes = n - kEntete;
        *utf8 = true;
        return true;
      }
    }
    const void* nul = std::memchr(d + p, 0, static_cast<size_t>(taille - p));
    if (nul == nullptr) return false;
    *length = static_cast<const uint8_t*>(nul) - (d + p) + 1;
    *text = p;
    *bytes = *length - 1;
    return true;
  }
  // Skips a string (a text that is there converts), ending before `end`.
  bool Chaine(int64_t end) {
    int64_t length, text, bytes;
    bool utf8;
    return Localise(&length, &text, &bytes, &utf8) && Saute(end, length);
  }
  // Reads a string ending before `end` into `s`; false too when memory runs
  // out for the copy.
  bool LitChaine(int64_t end, CTString& s) {
    int64_t length, text, bytes;
    bool utf8;
    if (!Localise(&length, &text, &bytes, &utf8) || end - p < length) return false;
    if (bytes == 0) {
      s.RAZ();
    } else {
      // The text is NUL-terminated inside the body.
      s.SetFromMultiByte(reinterpret_cast<const char*>(d + text),
                         utf8 ? qg::kCodePageUtf8 : qg::kCodePage1252);
      if (s.bEstVide()) return false;
    }
    p += length;
    return true;
  }
  // Element values: a count, then per entry an i32 type and, for a type
  // other than 0, a value record read as a value of that type. A record
  // holding no value reads as no value (null): the stored form has no
  // other way to say it.
  bool Valeurs(int64_t end, std::vector<std::unique_ptr<CAny>>& values) {
    int32_t n;
    if (!Compte(end, 4, &n)) return false;
    values.clear();
    values.reserve(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i) {
      int32_t type;
      if (!I32(end, &type)) return false;
      std::unique_ptr<CAny>& entry = values.emplace_back();
      if (type == 0) continue;
      if (type < 0 || type > 0xFFFF) return false;
      auto v = std::make_unique<CAny>();
      v->SetType(type);
      size_t used = 0;
      if (!qg::bLitCourtOctets(*v, d + p, static_cast<size_t>(taille - p), &used)) return false;
      p += static_cast<int64_t>(used);
      if (p > end) return false;
      if (!v->bEstVide()) entry = std::move(v);
    }
    return true;
  }
  uint32_t Lit32(int64_t at) const {
    uint32_t v;
    std::memcpy(&v, d + at, 4);
    return v;
  }
};

// A cursor at the buffer's position; false when its body cannot be
// restored (it is by the time a count inside it was read).
bool bVue(CQGBuffer& b, Vue* v) {
  if (b.bEstFini() && !b.bDefinit()) return false;
  *v = Vue{b.pGetDonnees(), nPos(b), static_cast<int64_t>(b.nTaille())};
  return true;
}

// A description as a read checks it, filled in when `p` is given.
bool bDescription(CQGBuffer& b, int64_t parent_end, CDescriptionParamTestBase* p);
// The same check on a cursor.
bool bVerifieDescription(Vue& v, int64_t parent_end);
// A set block as a read checks it, added to `sets` when given.
// Inlined into the walk of a scenario's sets: a list holds many small ones.
[[gnu::always_inline]] inline bool bJeu(Vue& v, int64_t parent_end, size_t nb_params,
                                        CDonneesDeTest* sets);

// The bytes from `start` to `end` of the body, holding `n` entries, as a
// share of the block the list takes over from the buffer when the read ends.
CEnregistrements Enregistrements(const Vue& v, const std::shared_ptr<CBlocCede>& bloc,
                                 int64_t start, int64_t end, size_t n) {
  CEnregistrements out;
  out.pOctets = std::shared_ptr<const uint8_t>(bloc, v.d + start);
  out.nOctets = static_cast<size_t>(end - start);
  out.nElements = n;
  return out;
}

// The descriptions are checked here and kept as stored: the scenario builds
// them on use.
bool bLitParams(Vue& v, int64_t parent_end, const std::shared_ptr<CBlocCede>& bloc,
                CDescriptionListeParamTestBase& params) {
  int32_t version;
  int64_t end;
  if (!v.Bloc(CDescriptionListeParamTestBase::kVersionMax, parent_end, &version, &end)) {
    return false;
  }
  int32_t n;
  if (!v.Compte(end, 4 + kBlocMin, &n)) return false;
  const int64_t start = v.p;
  for (int32_t i = 0; i < n; ++i) {
    int32_t size;
    if (!v.I32(end, &size) || size < 0 || size > end - v.p) return false;
    const int64_t element_end = v.p + size;
    if (!bVerifieDescription(v, element_end)) return false;
    v.p = element_end;
  }
  params.m_tabParams.clear();
  if (n > 0) {
    params.m_tabParams.Stocke(Enregistrements(v, bloc, start, v.p, static_cast<size_t>(n)));
  }
  v.p = end;
  return true;
}

// The sets are checked here and kept as stored: the scenario builds them on
// use.
bool bLitJeux(Vue& v, int64_t parent_end, size_t nb_params,
              const std::shared_ptr<CBlocCede>& bloc, CDonneesDeTest& sets) {
  int32_t version;
  int64_t end;
  // An unreadable header leaves the scenario without sets.
  if (!v.Bloc(0, parent_end, &version, &end)) return true;
  int32_t n;
  if (!v.Compte(end, kBlocMin, &n)) return false;
  const int64_t start = v.p;
  for (int32_t i = 0; i < n; ++i) {
    if (!bJeu(v, end, nb_params, nullptr)) return false;
  }
  if (n > 0) {
    CEnregistrements stored = Enregistrements(v, bloc, start, v.p, static_cast<size_t>(n));
    stored.nParametres = nb_params;
    sets.Stocke(std::move(stored));
  }
  v.p = end;
  return true;
}

bool bLitScenario(Vue& v, int64_t parent_end, CScenarioBase& s, const LectureListe& context,
                  const std::shared_ptr<CBlocCede>& bloc) {
  int32_t version;
  int64_t end;
  if (!v.Bloc(CScenarioBase::kVersionMax, parent_end, &version, &end)) return false;
  s.SetVersion(version);
  CTString name;
  int64_t id;
  if (!v.LitChaine(end, name) || !v.I64(end, &id)) return false;
  s.SetNom(std::move(name));
  s.SetIdentifiant(id);
  if (version >= 1 && !v.I32(end, &s.m_nExecute)) return false;
  if (version >= 2) {
    int32_t option;
    if (!v.I32(end, &option)) return false;
    s.m_nOption = option == 1 ? 1 : 0;
  }
  if (version >= 3 && !bLitParams(v, end, bloc, s.m_clParams)) return false;
  if (version >= 4) {
    int32_t flag;
    if (!v.I32(end, &flag) || !v.Valeurs(end, s.tabValeurs())) return false;
    s.SetFlag(flag);
  }
  if (version == 5 && !bLitJeux(v, end, s.m_clParams.m_tabParams.size(), bloc, s.m_clDonnees)) {
    return false;
  }
  if (version >= 6) {
    int32_t skipped_version;
    int64_t skipped_end;
    if (!v.Bloc(INT32_MAX, end, &skipped_version, &skipped_end)) return false;
    v.p = skipped_end;
  }
  if (version >= 7 && !v.I64(end, &s.m_nValeur64)) return false;
  v.p = end;
  if (version < 5 && context.fnJeuxAnciens) context.fnJeuxAnciens(s);
  return true;
}

bool bLitGroupe(Vue& v, int64_t parent_end, CGroupeTestBase& g, const LectureListe& context,
                const std::shared_ptr<CBlocCede>& bloc) {
  int32_t version;
  int64_t end;
  if (!v.Bloc(CGroupeTestBase::kVersionMax, parent_end, &version, &end)) return false;
  g.SetVersion(version);
  CTString name;
  int64_t id;
  int32_t n;
  if (!v.LitChaine(end, name) || !v.I64(end, &id)) return false;
  g.SetNom(std::move(name));
  g.SetIdentifiant(id);
  if (!v.Compte(end, kBlocMin, &n)) return false;
  for (int32_t i = 0; i < n; ++i) {
    // Appended before it is read; the group holds the reference.
    CScenarioBase* s = g.pclCreeScenario();
    g.AdopteFils(s);
    const bool ok = bLitScenario(v, end, *s, context, bloc);
    if (ok && s->m_nExecute != 0) g.AjouteActif();
    if (!ok) return false;
  }
  if (version >= 1) {
    int32_t flag;
    if (!v.I32(end, &flag) || !v.Valeurs(end, g.tabValeurs())) return false;
    g.SetFlag(flag);
  }
  v.p = end;
  return true;
}

}  // namespace

namespace {

bool bDescription(CQGBuffer& b, int64_t parent_end, CDescriptionParamTestBase* p) {
  int32_t version;
  int64_t end;
  if (!bOuvreBloc(b, CDescriptionParamTestBase::kVersionMax, parent_end, &version, &end)) {
    return false;
  }
  // A check reads the texts' extent only: a text that is there converts.
  const auto text = [&](CTString* s) {
    return s != nullptr ? bChaine(b, end, *s) : b.bSauteChaine() && nPos(b) <= end;
  };
  int32_t value, word, word_b = 0;
  int64_t value64 = 0;
  if (!text(p != nullptr ? &p->m_clNom : nullptr) || !bEntier(b, end, &value) ||
      !bEntier(b, end, &word) || !text(p != nullptr ? &p->m_clTexte : nullptr)) {
    return false;
  }
  if (version >= 1 && !bEntier64(b, end, &value64)) return false;
  if (version >= 2 && !bEntier(b, end, &word_b)) return false;
  if (p != nullptr) {
    p->m_nVersion = version;
    p->m_nValeur = value;
    p->m_nValeur16 = static_cast<uint16_t>(word);
    if (version >= 1) p->m_nValeur64 = value64;
    p->m_nValeur16b = static_cast<uint16_t>(word_b);
  }
  b.FinBloc(end);
  return true;
}

bool bVerifieDescription(Vue& v, int64_t parent_end) {
  int32_t version, word;
  int64_t end;
  return v.Bloc(CDescriptionParamTestBase::kVersionMax, parent_end, &version, &end) &&
         v.Chaine(end) && v.Saute(end, 8) && v.Chaine(end) &&
         (version < 1 || v.Saute(end, 8)) && (version < 2 || v.I32(end, &word)) &&
         (v.p = end, true);
}

}  // namespace

bool bLitDescriptionParam(CQGBuffer& b, int64_t parent_end, CDescriptionParamTestBase& p) {
  return bDescription(b, parent_end, &p);
}

namespace {

// Walks `count` value entries from `p` as a value read would check them:
// an i32 type in [0, 0xFFFF], then for a type other than 0 a type word
// and, unless the word is empty, a 32-bit size and that many bytes, all
// before `end`. The position after them, or -1.
[[gnu::always_inline]] inline int64_t nSauteValeurs(const uint8_t* base, int64_t p, int64_t end,
                                                    int32_t count) {
  for (; count > 0; --count) {
    if (end - p >= 14) {
      // The usual entry, a record of a 4-byte value of a type in [1,
      // 0xFFFF] (its word's low byte, the value's code, not 0 = empty):
      // one branch, and a step that does not wait for the size.
      uint32_t type;
      uint32_t size;
      std::memcpy(&type, base + p, 4);
      std::memcpy(&size, base + p + 6, 4);
      const bool usual = (type - 1u < 0xFFFFu) & (base[p + 4] != 0) & (size == 4);
      if (__builtin_expect(usual, 1)) {
        p += 14;
        continue;
      }
    }
    if (end - p >= 10) {
      // Room for the longest head (type, word, size): one check for the
      // three fields, read whether or not the entry has them.
      // The type word's low byte is the value's code: 0, empty.
      uint32_t type;
      uint32_t size;
      std::memcpy(&type, base + p, 4);
      const uint8_t code = base[p + 4];
      std::memcpy(&size, base + p + 6, 4);
      if (type == 0) {
        p += 4;
      } else if (type > 0xFFFF) {
        return -1;
      } else if (code == 0) {
        p += 6;
      } else if (size > static_cast<uint64_t>(end - p - 10)) {
        return -1;
      } else if (size == 4) {
        // Most records hold a 4- or 8-byte value: a branch the processor
        // predicts lets the walk go on before the size is loaded.
        p += 14;
      } else if (size == 8) {
        p += 18;
      } else {
        p += 10 + static_cast<int64_t>(size);
      }
      continue;
    }
    // The last bytes of the block: each field checked on its own.
    int32_t type;
    if (end - p < 4) return -1;
    std::memcpy(&type, base + p, 4);
    p += 4;
    if (type < 0 || type > 0xFFFF) return -1;
    if (type == 0) continue;
    uint16_t word;
    if (end - p < 2) return -1;
    std::memcpy(&word, base + p, 2);
    p += 2;
    if ((word & 0xFF) == 0) continue;
    uint32_t size;
    if (end - p < 4) return -1;
    std::memcpy(&size, base + p, 4);
    p += 4;
    if (size > end - p) return -1;
    p += size;
  }
  return p;
}

inline bool bJeu(Vue& v, int64_t parent_end, size_t nb_params, CDonneesDeTest* sets) {
  int32_t version;
  int64_t end;
  if (!v.Bloc(0, parent_end, &version, &end)) return false;
  int32_t n;
  if (!v.Compte(end, 4, &n)) return false;
  // The records are walked where they lie (the body is restored by now).
  // One value per parameter: extras are checked and dropped, missing ones
  // null. The set keeps the records of its values and builds them on use.
  const int32_t kept = static_cast<int32_t>(std::min(nb_params, static_cast<size_t>(n)));
  const int64_t start = v.p;
  const int64_t kept_end = nSauteValeurs(v.d, start, end, kept);
  if (kept_end < 0 || nSauteValeurs(v.d, kept_end, end, n - kept) < 0) return false;
  if (sets != nullptr) {
    CJeuDeTest* set = CJeuDeTest::CreeDepuisEnregistrements(
        v.d + start, static_cast<size_t>(kept_end - start), static_cast<size_t>(kept),
        nb_params);
    if (set == nullptr) return false;
    sets->Ajoute(set);
  }
  v.p = end;
  return true;
}

}  // namespace

bool bLitJeuDeTest(CQGBuffer& b, int64_t parent_end, size_t nb_params, CDonneesDeTest& sets) {
  Vue v;
  if (!bVue(b, &v) || !bJeu(v, parent_end, nb_params, &sets)) return false;
  b.FinBloc(v.p);
  return true;
}

// --- stored descriptions and sets, built on use ------------------------------------------------

void CTabParams::Construit() {
  CEnregistrements stored = std::move(m_clStocke);
  m_clStocke = CEnregistrements();
  m_tab.clear();
  m_tab.reserve(stored.nElements);
  CQGBufferMark b(stored.pOctets.get(), stored.nOctets, 0, 0);
  const auto end = static_cast<int64_t>(stored.nOctets);
  // The reader checked every description: each one reads.
  for (size_t i = 0; i < stored.nElements; ++i) {
    CDescriptionParamTestBase& p = m_tab.emplace_back();
    int32_t size;
    if (!bEntier(b, end, &size) || size < 0 || size > end - nPos(b)) continue;
    const int64_t element_end = nPos(b) + size;
    bDescription(b, element_end, &p);
    b.FinBloc(element_end);
  }
}

void CDonneesDeTest::Construit() {
  CEnregistrements stored = std::move(m_clStocke);
  m_clStocke = CEnregistrements();
  m_tabJeux.reserve(m_tabJeux.size() + stored.nElements);
  const auto end = static_cast<int64_t>(stored.nOctets);
  Vue v{stored.pOctets.get(), 0, end};
  // The reader checked every set: each one reads unless memory runs out,
  // and then the set has its values missing.
  for (size_t i = 0; i < stored.nElements; ++i) {
    if (bJeu(v, end, stored.nParametres, this)) continue;
    auto* set = new CJeuDeTest();
    set->m_tabValeurs.resize(stored.nParametres);
    m_tabJeux.push_back(set);
  }
}

namespace {

bool bLitCorpsListe(CQGBuffer& b, CListeTestBase& list, const LectureListe& context,
                    const std::shared_ptr<CBlocCede>& bloc) {
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
  list.SetNom(std::move(name));
  list.SetIdentifiant(id);
  list.SetCible(kind, target.pszGet());
  // The names of the groups kept, hashed after the host's mapping and told
  // equal by the comparison the mapping normalises for: one lookup per
  // group instead of a walk.
  const auto hash = [](const char16_t* s) { return size_t{nHacheChaineLocale(s)}; };
  const auto same = [](const char16_t* a, const char16_t* b) {
    return nCompareChaineLocale(a, b, kComparaisonNoms) == 0;
  };
  std::unordered_set<const char16_t*, decltype(hash), decltype(same)> names(
      static_cast<size_t>(n) + static_cast<size_t>(list.nGetNbFils()), hash, same);
  for (int32_t j = 0; j < list.nGetNbFils(); ++j) {
    names.insert(list.pclFils(static_cast<size_t>(j))->pszGetNom());
  }
  // The groups are read with a cursor over the body, restored by now.
  Vue v;
  if (!bVue(b, &v)) return false;
  for (int32_t i = 0; i < n; ++i) {
    // Appended before it is read; the list holds the reference.
    CGroupeTestBase* g = list.pclCreeGroupe();
    list.AdopteFils(g);
    if (!bLitGroupe(v, end, *g, context, bloc)) return false;
    // A group whose name the list already has is dropped with its scenarios.
    if (!names.insert(g->pszGetNom()).second) g->bAttache(nullptr, -1);
  }
  b.FinBloc(v.p);
  if (version >= 1 && !bValeurs(b, end, list.tabValeurs())) return false;
  int32_t value = 0;
  if (version >= 4 && !bEntier(b, end, &value)) return false;
  list.SetValeur(value);
  b.FinBloc(end);
  return true;
}

}  // namespace

bool bLitListe(CQGBuffer& b, CListeTestBase& list, const LectureListe& context) {
  // Descriptions and sets stay where they lie in the buffer's block: when
  // any were kept, the block passes from the buffer to them, read whole or
  // not (a list that failed to read may still be released after).
  const auto bloc = std::make_shared<CBlocCede>();
  const bool ok = bLitCorpsListe(b, list, context, bloc);
  if (bloc.use_count() > 1) b.CedeBloc(bloc.get());
  return ok;
}

bool bLitJeuAncien(const void* bytes, size_t size, size_t nb_params, CDonneesDeTest& sets) {
  CQGBufferMark b(bytes, size, 0, 0);
  if (b.nTaille() != size) return false;
  return bLitJeuDeTest(b, static_cast<int64_t>(size), nb_params, sets);
}
