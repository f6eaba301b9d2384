// The runner's operations around a run: the name table, the application's
// start and its unexpected end, deferred runs, reports of errors, element
// calls and closing windows, and what the run parameters ask for.
#include <string>

#include "errors/catalogue.h"
#include "errors/module_errors.h"
#include "support/platform/text16.h"
#include "support/text_functions.h"
#include "testrunner/journal/journal_file.h"
#include "testrunner/play/values.h"
#include "testrunner/recorder/recorder.h"
#include "testrunner/runner/test_factory.h"

namespace {

constexpr int32_t kEvDemarrageProjet = 196621;

bool bMemeNom(const char16_t* a, const char16_t* b) {
  return nCompareChaineLocale(a != nullptr ? a : u"", b != nullptr ? b : u"", 3) == 0;
}

// "Container:...:Container:Name" from the outermost container in.
std::u16string NomElement(qg::IElementHote* element) {
  std::u16string name;
  for (qg::IElementHote* e = element; e != nullptr; e = e->piConteneur()) {
    const char16_t* own = e->pszNom();
    std::u16string part = own != nullptr ? own : u"";
    if (e != element) part += u':';
    name.insert(0, part);
  }
  return name;
}

std::u16string ValeurElement(qg::IElementHote* element) {
  CAny value;
  if (element == nullptr || !element->bValeur(&value)) return u"";
  return TexteValeur(&value);
}

}  // namespace

bool CTestFactory::CompareSansCasse::operator()(const std::u16string& a,
                                                const std::u16string& b) const {
  return qg::StrICmpLatin1_16(a.c_str(), b.c_str()) < 0;
}

// --- name table ---------------------------------------------------------------------------------

void CTestFactory::ChargeTableNoms(const char16_t* const* lists, int32_t count) {
  m_tabNoms.clear();
  if (lists == nullptr) return;
  for (int32_t i = 0; i < count; ++i) {
    if (lists[i] == nullptr || *lists[i] == 0) continue;
    _CXErrorModule54 ignored;
    CListeTestExe* list = pclChargeListeTest(lists[i], nullptr, &ignored, 0);
    if (list == nullptr) continue;
    const char16_t* target = list->clNomCible().pszGet();
    if (list->nGetValeur() != 1 && target != nullptr && *target != 0) {
      m_tabNoms[target] = lists[i];
    }
    list->Release();
  }
}

const char16_t* CTestFactory::pszListeDeCible(const char16_t* target) const {
  const auto it = m_tabNoms.find(target != nullptr ? target : u"");
  return it != m_tabNoms.end() ? it->second.c_str() : nullptr;
}

// --- what the parameters ask for --------------------------------------------------------------

int32_t CTestFactory::bEnregistrementDemande() {
  return m_clParam.nEtat == kEtatEnregistrement ? 1 : 0;
}

int32_t CTestFactory::bLectureDemandee() { return m_clParam.nEtat == kEtatLecture ? 1 : 0; }

int32_t CTestFactory::bEnregistrementAvecListeDemande() {
  return m_clParam.nEtat == kEtatEnregistrement && (m_bLibereListe || !m_clParam.clListe.empty())
             ? 1
             : 0;
}

int32_t CTestFactory::bEnregistrementSansListeDemande() {
  if (!m_clParam.bPresent) return 0;
  if (m_clParam.nEtat != kEtatEnregistrement) return 1;
  return bEnregistrementAvecListeDemande() ? 0 : 1;
}

// --- application start and end ------------------------------------------------------------------

int32_t CTestFactory::nDemarrageApplication(qg::IMainVM* vm, CXError* error) {
  if (vm != nullptr) m_piVM = vm;
  if (m_clParam.bPresent && bJournalDemande()) OuvreJournalDemande();
  // The selection's first part names the list.
  int32_t answer = 0;
  const std::u16string& selection = m_clParam.clSelection;
  const std::u16string name = selection.substr(0, selection.find(u'.'));
  if (m_clParam.bPresent && !name.empty()) {
    CListeTestExe* list = pclChargeListeTest(name.c_str(), nullptr, error, 0);
    if (list == nullptr) return 0;
    if (list->nGetValeur() == 1) {
      m_tabListes.push_back(list);  // takes the reference
      answer = 2;
    } else {
      SetPrecharge(list);
      list->Release();
      answer = 1;
    }
  }
  if ((!bEnregistrementAvecListeDemande() || answer == 2) && m_piVM != nullptr &&
      m_piVM->bGereEvenement(kEvDemarrageProjet)) {
    _CXErrorModule54 event_error;
    m_piVM->nEvenement(0, kEvDemarrageProjet, &event_error, 0, 0);
    if (event_error.nGetNiveau() != 1 && error != nullptr) *error = event_error;
  }
  if (m_clParam.bPresent && m_clParam.nEtat == kEtatEnregistrement) {
    DemarreEnregistreur(answer == 0 ? 1 : 0);
  }
  return answer;
}

void CTestFactory::SignaleFinInattendue() {
  if (!m_clParam.bPresent || m_clParam.nEtat != kEtatLecture || m_pJournal == nullptr) return;
  CTString text;
  bChargeMessageF(6757, text);
  m_pJournal->Ecrit(kJErreur, u"");
  m_pJournal->Ecrit(kJLibelle, text.pszGet());
  if (m_pclCourant != nullptr || pclScenarioCourant() != nullptr) EcritPositionCourante(13);
  m_pJournal->Ferme(kJErreur);
}

void CTestFactory::SignaleErreur(const CXError* error, int32_t line) {
  if (m_pJournal == nullptr) return;
  const char16_t* text = error != nullptr ? error->pszGetUserMessage() : nullptr;
  m_pJournal->Ecrit(kJErreur, u"");
  m_pJournal->Ecrit(kJLibelle, text != nullptr ? text : u"");
  EcritPositionCourante(13, line);
  AjouteCaptureEcran();
  m_pJournal->Ferme(kJErreur);
}

// --- deferred runs ------------------------------------------------------------------------------

int32_t CTestFactory::bExecuteDiffere(qg::IMainVM* vm, CXError* error) {
  if (m_tabListes.empty()) return 0;
  CListeTestExe* list = m_tabListes.front();
  list->AddRef();  // the run may release the loaded lists
  m_bModeDiffere = true;
  const bool ok = bExecute(list, nullptr, vm, error);
  m_bModeDiffere = false;
  list->Release();
  return ok ? 1 : 0;
}

int32_t CTestFactory::bFinExecuteDiffere(CXError* error) {
  if (CScenarioTestExe* s = m_pclDiffere) {
    s->AddRef();
    s->FinPassageDiffere(*this, error);
    DepileScenario(s);
    SetScenarioDiffere(nullptr);
    s->Release();
  }
  // The groups left open for the deferred pass.
  for (CListeTestExe* list : m_tabListes) {
    for (int32_t i = 0; i < list->nGetNbFils(); ++i) {
      CGroupeTestExe* g = list->pclFils(static_cast<size_t>(i))->pclGroupeExe();
      if (g != nullptr && g->m_bFinDifferee) g->Termine(*this, error);
    }
  }
  bool ok = true;
  for (auto it = m_tabListes.rbegin(); it != m_tabListes.rend(); ++it) {
    if (!(*it)->bTermine(*this, error)) ok = false;
  }
  LibereListes();
  return ok ? 1 : 0;
}

IElementTest* CTestFactory::piScenarioDiffere() { return m_pclDiffere; }

// --- reports ------------------------------------------------------------------------------------

void CTestFactory::SignaleAppelElement(qg::IElementHote* element) {
  if (element == nullptr || m_clParam.nEtat != kEtatEnregistrement) return;
  const std::u16string name = NomElement(element), value = ValeurElement(element);
  EnregistreAppel(name.c_str(), 1, value.c_str());
}

void CTestFactory::SignaleFermetureFenetre(qg::IElementHote* window) {
  if (window == nullptr) return;
  if (m_clParam.nEtat == kEtatEnregistrement) {
    const std::u16string name = NomElement(window), value = ValeurElement(window);
    EnregistreDeuxTextes(name.c_str(), value.c_str());
    return;
  }
  if (!m_clParam.bPresent || m_clParam.nEtat != kEtatLecture) return;
  CScenarioTestExe* s = m_pclCourant != nullptr ? m_pclCourant : pclScenarioCourant();
  if (s == nullptr) return;
  const char16_t* own = window->pszNom();
  CListeTestExe* list = s->pclListeParent();
  if (list != nullptr && bMemeNom(own, list->clNomCible().pszGet())) return;
  if ((list == nullptr || list->nGetValeur() != 1) && s->m_nExecute == 0 && m_pJournal != nullptr) {
    CTString text;
    bChargeMessageF(6967, text, own != nullptr ? own : u"");
    m_pJournal->Ecrit(kJErreur, u"");
    m_pJournal->Ecrit(kJLibelle, text.pszGet());
    m_pJournal->Ferme(kJErreur);
  }
  // A scenario whose pass the host still runs ends when that call ends.
  if (s->m_hAppelDiffere != 0) return;
  _CXErrorModule54 end_error;
  s->Termine(*this, &end_error, true);
}
