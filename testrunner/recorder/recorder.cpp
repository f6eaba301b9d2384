#include "testrunner/recorder/recorder.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "support/any.h"
#include "support/platform/text16.h"
#include "testrunner/recorder/key_names.h"
#include "testrunner/recorder/recorder_impl.h"
#include "testrunner/runner/companion.h"
#include "testrunner/runner/test_factory.h"

namespace {

// The module-wide recorder. The recording thread creates and deletes it and
// reads it without lock; the runner's operations read it under g_mutex for
// the whole of their write, and the release clears it under that lock, so
// no operation uses a recorder being deleted.
std::atomic<CEnregistrementTest*> g_recorder{nullptr};
std::mutex g_mutex;

constexpr char16_t kEmulateur[] = u"FenetreEmulateurCE";
constexpr char16_t kVueOrganiseur[] = u"FI_VantorVueOrgaElement";

bool bCommencePar(const std::u16string& text, const char16_t* prefix) {
  const size_t n = std::char_traits<char16_t>::length(prefix);
  if (text.size() < n) return false;
  return qg::StrICmpLatin1_16(text.substr(0, n).c_str(), prefix) == 0;
}

bool bClavier(uint32_t m) { return m >= 256 && m <= 265; }
bool bSouris(uint32_t m) { return (m >= 512 && m <= 526) || (m >= 160 && m <= 169); }

// The element kind the service expects from a window's raw kind.
int32_t nTypeNormalise(int32_t raw) {
  if (raw == 0) return 1;
  if (raw >= 20001 && raw <= 20006) return 2;
  if (raw == 30001) return 8;
  if (raw == 10001 || raw == 10002) return 14;
  return raw;
}

const char16_t* Ou(const char16_t* s) { return s != nullptr ? s : u""; }

}  // namespace

// --- recorder -------------------------------------------------------------------------------

CEnregistrementTest::CEnregistrementTest() {
  qg::IComponentAccess* access = piAccesComposants();
  if (access == nullptr) return;
  bVerifieComposantObjGate(access, nullptr);
  auto* service = static_cast<qg::IServiceEnregistrement*>(access->piGetComponent(
      0, nullptr, qg::kComponentRecording, 1, qg::kNomServiceEnregistrement, 54, nullptr));
  if (service == nullptr) return;
  service->AddRef();
  m_piService = service;
  if (CTestFactory* runner = ModuleRunner()) m_piService->SetRunner(runner);
}

CEnregistrementTest::~CEnregistrementTest() {
  if (m_pSource != nullptr) m_pSource->Arrete();
  m_pSource.reset();
  m_clFichier.Ferme();
  if (m_nEvenement >= 0) close(m_nEvenement);
  if (m_piService != nullptr) {
    m_piService->SetRunner(nullptr);
    m_piService->Release();
  }
}

int32_t CEnregistrementTest::bDemarre(const char16_t* path, int32_t continuation) {
  if (!m_clFichier.bOuvre(path)) return 0;
  if (continuation == 1) bEcrit(CRecordEnregistrement(kRecContinuation));
  m_nEvenement = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  m_idThread = std::this_thread::get_id();
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_recorder.store(this);
  }
  m_pSource = NouvelleSourceEntree();
  const int32_t started = m_pSource != nullptr ? m_pSource->nDemarre(this) : 0;
  if (started == 2) return 1;
  // A start that did not finish leaves nothing behind.
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_recorder.store(nullptr);
  }
  if (m_pSource != nullptr) m_pSource->Arrete();
  m_pSource.reset();
  m_clFichier.Ferme();
  return 0;
}

bool CEnregistrementTest::bSurThreadEnregistrement() const {
  return std::this_thread::get_id() == m_idThread;
}

void CEnregistrementTest::Signale() {
  if (m_nEvenement < 0) return;
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t n = write(m_nEvenement, &one, sizeof one);
}

int CEnregistrementTest::nDescripteur() {
  return m_pSource != nullptr ? m_pSource->nDescripteur() : -1;
}

int32_t CEnregistrementTest::nDraine() {
  return m_pSource != nullptr ? m_pSource->nDraine() : 0;
}

void CEnregistrementTest::SetOccupe(bool busy) {
  std::lock_guard<std::mutex> lock(m_mutexEtat);
  m_bOccupe = busy;
}

uint32_t CDetecteurDoubleClic::nMessage(uint32_t message, uint32_t time, int32_t x, int32_t y) {
  uint32_t twice = 0;
  switch (message) {
    case kMsgBoutonGaucheEnfonce: twice = kMsgBoutonGaucheDouble; break;
    case kMsgBoutonDroitEnfonce: twice = kMsgBoutonDroitDouble; break;
    case kMsgBoutonMilieuEnfonce: twice = kMsgBoutonMilieuDouble; break;
    case kMsgMolette:
    case kMsgMoletteHorizontale: m_nPrecedent = 0; return message;
    default: return message;
  }
  const bool pair = m_nPrecedent == message && time - m_nTemps <= m_nDelai &&
                    std::abs(x - m_nX) <= 2 && std::abs(y - m_nY) <= 2;
  if (pair) {
    m_nPrecedent = 0;
    return twice;
  }
  m_nPrecedent = message;
  m_nTemps = time;
  m_nX = x;
  m_nY = y;
  return message;
}

int32_t CEnregistrementTest::bTraiteMessage(const EvenementEntree& event) {
  {
    std::lock_guard<std::mutex> lock(m_mutexEtat);
    if (m_bOccupe) return 0;
  }
  if (m_bPause || m_pSource == nullptr) return 0;
  const uint32_t message = event.nMessage;
  if (message == kMsgSourisDeplacement || message == kMsgNonClientDeplacement) return 0;
  const bool keyboard = bClavier(message);
  const bool mouse = bSouris(message);
  uint32_t window = event.hFenetre;
  if (window == 0) {
    if (keyboard) window = m_pSource->hFocus();
    if (mouse) {
      window = m_pSource->hFenetreSouris(static_cast<int32_t>(event.nParam1),
                                         static_cast<int32_t>(event.nParam2));
    }
  }
  if (window != m_hCourante || m_hCourante == 0) {
    if (window == 0 || window == m_hInutilisable) return 0;
    if (!bIdentifie(window, event)) {
      m_hInutilisable = window;
      return 0;
    }
  }
  if (mouse && m_piElementCourant != nullptr &&
      m_piElementCourant->bGereSouris(message, static_cast<int32_t>(event.nParam1),
                                      static_cast<int32_t>(event.nParam2)) != 0) {
    return 0;
  }
  // Mouse records carry the window under the pointer, as the mouse hook
  // gives it.
  EvenementEntree recorded = event;
  if (mouse) recorded.hFenetre = window;
  bool written;
  if (keyboard) {
    CRecordEnregistrement r(kRecClavier);
    r.Evenement(event);
    if (message == kMsgToucheEnfoncee || message == kMsgToucheSysteme) {
      r.Texte(NomTouche(event.nParam1, m_pSource->cCaractere(event.nParam2)));
    } else {
      r.Texte(u"");
    }
    r.U32(m_pSource->nModificateurs());
    written = bEcrit(r);
  } else if (mouse && m_bPointsControle && m_bPointsElement) {
    CRecordEnregistrement r(kRecSourisPoint);
    r.Evenement(recorded);
    r.U32(m_pSource->nModificateurs());
    int32_t x = static_cast<int32_t>(event.nParam1), y = static_cast<int32_t>(event.nParam2);
    const uint32_t target = m_hIdentification != 0 ? m_hIdentification : window;
    if (!m_pSource->bPointClient(target, &x, &y)) {
      x = static_cast<int32_t>(event.nParam1);
      y = static_cast<int32_t>(event.nParam2);
    }
    r.I32(x);
    r.I32(y);
    written = bEcrit(r);
  } else if (mouse) {
    CRecordEnregistrement r(kRecSouris);
    r.Evenement(recorded);
    r.U32(m_pSource->nModificateurs());
    written = bEcrit(r);
  } else {
    CRecordEnregistrement r(kRecEvenement);
    r.Evenement(event);
    written = bEcrit(r);
  }
  m_clPrecedent = event;
  if (m_bOublie) {
    m_hCourante = 0;
    m_piElementCourant = nullptr;
  }
  return written ? 1 : 0;
}

std::u16string CEnregistrementTest::NomComplet(qg::IElementIdentifie* element, bool* quoted) {
  std::vector<qg::IElementIdentifie*> chain;
  for (qg::IElementIdentifie* e = element; e != nullptr && chain.size() < 256; e = e->piParent()) {
    chain.push_back(e);
  }
  std::u16string name;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    const int32_t type = (*it)->nType();
    if (type == 31 || type == 32) *quoted = true;
    name += Ou((*it)->pszNom());
    if (*it != element) name += u':';
  }
  return name;
}

bool CEnregistrementTest::bIdentifie(uint32_t window, const EvenementEntree&) {
  if (!m_pSource->bProcessusPropre(window)) return false;
  uint32_t answer = 0;
  int32_t raw = 0;
  if (!m_pSource->bElementFenetre(window, &answer, &raw)) return false;
  if (m_piService == nullptr) return false;
  qg::IElementIdentifie* element = m_piService->piElement(nTypeNormalise(raw), answer);
  if (element == nullptr) return false;
  int32_t type = element->nType();
  if (type == 37) return false;
  uint32_t identified = 0;
  if (type == 7 || type == 27 || type == 9 || type == 30) {
    if (qg::IElementIdentifie* inner = element->piInterieur()) {
      element = inner;
      type = element->nType();
      identified = element->hFenetre();
    }
  }
  // Points in control coordinates, unless a kind-4 element asks otherwise.
  m_bPointsElement = type != 4 || element->nMode() == 2;
  if (type == 18) identified = m_pSource->hParent(window);

  bool context = false;
  {
    std::lock_guard<std::mutex> lock(m_mutexEtat);
    auto* held = static_cast<qg::IElementIdentifie*>(m_pContexteHote);
    context = held != nullptr && held->hFenetre() != 0 && held->hFenetre() == element->hFenetre();
  }
  bool quoted = false;
  std::u16string name;
  qg::IElementIdentifie* parent = element->piParent();
  if ((type == 31 || type == 32) && parent != nullptr &&
      qg::StrICmpLatin1_16(Ou(parent->pszNom()), kVueOrganiseur) == 0 &&
      parent->pszSelection() != nullptr) {
    name = NomComplet(parent, &quoted) + u":" + parent->pszSelection();
    quoted = true;
    if (parent->hFenetreSelection() != 0) identified = parent->hFenetreSelection();
  } else {
    name = NomComplet(element, &quoted);
  }
  if (!context) {
    CRecordEnregistrement r(kRecControle);
    r.Texte(quoted ? u"\"" + name + u"\"" : name);
    bEcrit(r);
  }
  m_bOublie = false;
  if (bCommencePar(name, kEmulateur)) {
    m_hEmulateur = window;
    m_bOublie = true;  // every event on it is identified again
  }
  m_hCourante = window;
  m_hIdentification = identified;
  m_piElementCourant = element;
  return true;
}

void CEnregistrementTest::CompleteSaisieVerrouille() {
  if (!m_bSaisie) return;
  CRecordEnregistrement r(kRecSaisie);
  r.Texte(m_clSaisieControle);
  r.Texte(m_clSaisieTexte);
  r.U16(m_nSaisieValeur);
  bEcrit(r);
  m_bSaisie = false;
}

void CEnregistrementTest::DebutSaisie(const char16_t* control) {
  std::lock_guard<std::mutex> lock(m_mutexEtat);
  CompleteSaisieVerrouille();
  m_bSaisie = true;
  m_clSaisieControle = Ou(control);
  m_clSaisieTexte.clear();
  m_nSaisieValeur = 0;
}

void CEnregistrementTest::FinSaisie(const char16_t* text, uint16_t value) {
  std::lock_guard<std::mutex> lock(m_mutexEtat);
  if (!m_bSaisie) return;
  if (m_bOccupe) {
    CRecordEnregistrement r(kRecSaisieOccupee);
    r.Texte(text);
    bEcrit(r);
    m_bSaisie = false;
    return;
  }
  m_clSaisieTexte = Ou(text);
  m_nSaisieValeur = value;
  CompleteSaisieVerrouille();
}

void CEnregistrementTest::SetContexte(const char16_t* name, int32_t value, void* host_element) {
  std::lock_guard<std::mutex> lock(m_mutexEtat);
  m_clContexteNom = Ou(name);
  m_nContexteValeur = value;
  m_pContexteHote = host_element;
}

void CEnregistrementTest::EffaceContexte() { SetContexte(u"", -1, nullptr); }

// --- module-wide ----------------------------------------------------------------------------

int32_t CreeEnregistrementTest(int32_t continuation, std::u16string& path) {
  if (g_recorder.load() != nullptr) return 1;
  auto* recorder = new (std::nothrow) CEnregistrementTest();
  if (recorder == nullptr) return 0;
  if (recorder->bDemarre(path.c_str(), continuation) == 0) {
    delete recorder;
    return 0;
  }
  path.clear();
  recorder->bEcrit(CRecordEnregistrement(kRecDebut));
  return 1;
}

int32_t LibereEnregistrementTest() {
  CEnregistrementTest* recorder;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    recorder = g_recorder.exchange(nullptr);
  }
  if (recorder == nullptr) return 0;
  delete recorder;
  return 1;
}

CEnregistrementTest* pclEnregistrement() { return g_recorder.load(); }
IEnregistrementTest* piEnregistrement() { return g_recorder.load(); }

namespace {

template <typename F>
void AvecEnregistrement(F f) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (CEnregistrementTest* recorder = g_recorder.load()) f(*recorder);
}

}  // namespace

void EnregistreEntier(int32_t value) {
  AvecEnregistrement([&](CEnregistrementTest& r) {
    CRecordEnregistrement rec(kRecEntier);
    rec.I32(value);
    r.bEcrit(rec);
  });
}

void EnregistreTexteEntier(const char16_t* text, int32_t value) {
  AvecEnregistrement([&](CEnregistrementTest& r) {
    CRecordEnregistrement rec(kRecTexteEntier);
    rec.Texte(text);
    rec.I32(value);
    r.bEcrit(rec);
  });
}

void EnregistreAppel(const char16_t* first, int32_t kind, const char16_t* second) {
  AvecEnregistrement([&](CEnregistrementTest& r) {
    CRecordEnregistrement rec(kRecAppel);
    rec.U32(1);
    rec.Texte(first);
    rec.I32(kind);
    rec.Texte(second);
    rec.U32(r.bSurThreadEnregistrement() ? 1 : 0);
    r.bEcrit(rec);
  });
}

void EnregistreEntierEnregistrement(int32_t value) {
  AvecEnregistrement([&](CEnregistrementTest& r) {
    CRecordEnregistrement rec(kRecEntierEnregistrement);
    rec.I32(value);
    r.bEcrit(rec);
  });
}

void EnregistreEntierValeur(int32_t value, const CAny* any) {
  AvecEnregistrement([&](CEnregistrementTest& r) {
    CRecordEnregistrement rec(kRecEntierValeur);
    rec.I32(value);
    CAny empty;
    if (rec.Valeur(any != nullptr ? *any : empty)) r.bEcrit(rec);
  });
}

void EnregistreDeuxTextes(const char16_t* first, const char16_t* second) {
  AvecEnregistrement([&](CEnregistrementTest& r) {
    CRecordEnregistrement rec(kRecDeuxTextes);
    rec.U32(1);
    rec.Texte(first);
    rec.Texte(second);
    r.bEcrit(rec);
  });
}

void EnregistreBoiteMessage(int32_t style) {
  AvecEnregistrement([&](CEnregistrementTest& r) {
    CRecordEnregistrement rec(kRecBoiteMessage);
    rec.I32(style);
    rec.U32(0);
    r.bEcrit(rec);
  });
}

void EnregistreElement(const void* bytes, size_t size) {
  AvecEnregistrement([&](CEnregistrementTest& r) {
    CRecordEnregistrement rec(kRecElement);
    rec.Octets(bytes, bytes != nullptr ? size : 0);
    r.bEcrit(rec);
  });
}

void EnregistreValeur(const CAny* any) {
  AvecEnregistrement([&](CEnregistrementTest& r) {
    CRecordEnregistrement rec(kRecValeur);
    CAny empty;
    if (rec.Valeur(any != nullptr ? *any : empty)) r.bEcrit(rec);
  });
}

void DebutSaisieTexte(const char16_t* control) {
  AvecEnregistrement([&](CEnregistrementTest& r) { r.DebutSaisie(control); });
}

void FinSaisieTexte(const char16_t* text, uint16_t value) {
  AvecEnregistrement([&](CEnregistrementTest& r) { r.FinSaisie(text, value); });
}

void SetContexteElement(const char16_t* name, int32_t value, void* host_element) {
  AvecEnregistrement([&](CEnregistrementTest& r) { r.SetContexte(name, value, host_element); });
}

void EffaceContexteElement() {
  AvecEnregistrement([&](CEnregistrementTest& r) { r.EffaceContexte(); });
}

// --- hook procedures ------------------------------------------------------------------------

intptr_t ProcClavier(int32_t code, uintptr_t vk, intptr_t param2) {
  CEnregistrementTest* recorder = g_recorder.load();
  if (code == 0 && recorder != nullptr) {
    EvenementEntree e;
    const auto p2 = static_cast<uint32_t>(param2);
    e.nMessage = (p2 & 0x80000000u) != 0 ? kMsgToucheRelachee : kMsgToucheEnfoncee;
    e.nParam1 = static_cast<uint32_t>(vk);
    e.nParam2 = p2;
    recorder->bTraiteMessage(e);
  }
  return 0;
}

intptr_t ProcSouris(int32_t code, uintptr_t message, intptr_t record) {
  CEnregistrementTest* recorder = g_recorder.load();
  if (code == 0 && recorder != nullptr && record != 0) {
    EnregistrementSouris m;
    std::memcpy(&m, reinterpret_cast<const void*>(record), sizeof m);
    EvenementEntree e;
    e.nMessage = static_cast<uint32_t>(message);
    e.nParam1 = static_cast<uint32_t>(m.x);
    e.nParam2 = static_cast<uint32_t>(m.y);
    e.hFenetre = m.hFenetre;
    recorder->bTraiteMessage(e);
  }
  return 0;
}
