// The runner's playback operations: run parameters, the run of a list,
// the journal it writes, the differences it records.
#include <algorithm>
#include <cstring>
#include <string>

#include "errors/catalogue.h"
#include "errors/module_errors.h"
#include "support/any.h"
#include "support/platform/clock.h"
#include "support/text_functions.h"
#include "testrunner/journal/journal_file.h"
#include "support/param_zone.h"
#include "testrunner/runner/test_factory.h"

#include "testrunner/play/values.h"
#include "testrunner/recorder/recorder.h"

namespace {

bool bMemeNom(const char16_t* a, const char16_t* b) { return nCompareChaineLocale(a, b, 3) == 0; }

}  // namespace

void CTestFactory::PrepareExecution(const char16_t* zone_name) {
  if (zone_name == nullptr || *zone_name == 0) return;
  auto zone = std::make_unique<CTransBufferParam>();
  if (!zone->bOuvre(zone_name)) return;
  m_clParam.Lit(*zone);
  m_bJournalDemandeOuvert = false;  // a new run
  m_pZone = std::move(zone);
  if (m_clParam.nEtat == kEtatEnregistrement && !m_clParam.clListe.empty()) m_bLibereListe = true;
}

void CTestFactory::SetParam(const CParamTest& param) {
  m_clParam = param;
  m_bJournalDemandeOuvert = false;  // a new run
}

bool CTestFactory::OuvreJournal(const char16_t* path) {
  FermeJournal();
  auto journal = std::make_unique<CFichierJournalTest>();
  if (!journal->bOuvre(path)) return false;
  m_pJournal = std::move(journal);
  // Run and platform information.
  const qg::SystemTime now = qg::SystemTimeUtc();
  qg::AnyDateTime date{};
  date.nDay = static_cast<uint8_t>(now.wDay);
  date.nMonth = static_cast<uint8_t>(now.wMonth);
  date.nYear = now.wYear;
  date.nMilliseconds = ((now.wHour * 60u + now.wMinute) * 60u + now.wSecond) * 1000u +
                       now.wMilliseconds;
  uint64_t date_word = 0;
  static_assert(sizeof(date) == sizeof(date_word));
  std::memcpy(&date_word, &date, sizeof(date));
  qg::IMainVM* vm = m_piVM;
  m_pJournal->EcritInfoPassage(date_word, vm != nullptr ? vm->nConfiguration() : 0,
                               vm != nullptr ? vm->pszNomProjet() : u"", u"");
  qg::PlatformInfo platform;
  if (vm != nullptr) vm->Plateforme(&platform);
  m_pJournal->EcritInfoPlateforme(platform.nHash, platform.pszNom, platform.nType,
                                  platform.nTypeMateriel, platform.nOrientation);
  return true;
}

int32_t CTestFactory::FermeJournal() {
  if (m_pJournal == nullptr) return 0;
  std::unique_ptr<CFichierJournalTest> journal = std::move(m_pJournal);
  return journal->bFerme() ? 1 : 0;
}

bool CTestFactory::bJournalDemande() const {
  return m_clParam.nEtat == kEtatLecture && !m_clParam.clSortie.empty();
}

bool CTestFactory::OuvreJournalDemande() {
  if (!bJournalDemande() || m_bJournalDemandeOuvert) return m_pJournal != nullptr;
  m_bJournalDemandeOuvert = OuvreJournal(m_clParam.clSortie.c_str());
  return m_bJournalDemandeOuvert;
}

void CTestFactory::EmpileScenario(CScenarioTestExe* s) {
  m_tabPile.push_back(s);
  m_pclCourant = s;
}

void CTestFactory::DepileScenario(CScenarioTestExe* s) {
  if (!m_tabPile.empty() && m_tabPile.back() == s) m_tabPile.pop_back();
  m_pclCourant = nullptr;
}

CScenarioTestExe* CTestFactory::pclScenarioCourant() const {
  return m_tabPile.empty() ? nullptr : m_tabPile.back();
}

void CTestFactory::EcritPositionCourante(int32_t kind, int32_t line) {
  if (m_pJournal == nullptr) return;
  qg::CodePosition position;
  PositionCode items;
  if (m_piVM != nullptr && m_piVM->bPositionCode(kind, &position)) {
    items.pszLibelle = position.pszLibelle;
    items.pszNomObjet = position.pszNomObjet;
    items.nLigne = position.nLigne;
    items.nIdFichier = position.nIdFichier;
    items.nIdTrt = position.nIdTrt;
    items.nIdObjet = position.nIdObjet;
  }
  m_pJournal->EcritPosition(items, line);
}

void CTestFactory::JournaliseDifference(CScenarioTestExe*, const char16_t* name,
                                        const CAny* expected, const CAny* actual) {
  if (m_pJournal == nullptr) return;
  CTString text;
  const std::u16string e = TexteValeur(expected), a = TexteValeur(actual);
  bChargeMessageF(5339, text, name != nullptr ? name : u"", e.c_str(), a.c_str());
  m_pJournal->Ecrit(kJErreur, u"");
  m_pJournal->Ecrit(kJLibelle, text.pszGet());
  EcritPositionCourante(13);
  AjouteCaptureEcran();
  m_pJournal->Ferme(kJErreur);
}

bool CTestFactory::bExecute(CListeTestExe* list, const char16_t* list_name, qg::IMainVM* vm,
                            CXError* error) {
  if (vm != nullptr) m_piVM = vm;
  bool release_list = false;
  if (list == nullptr) {
    if (!m_clParam.clListe.empty()) {
      list = pclChargeListeTest(nullptr, m_clParam.clListe.c_str(), error, kFormeGardee);
      if (list == nullptr) return false;
      m_clParam.clListe.clear();
      release_list = true;
    } else if (m_pclPrecharge != nullptr &&
               bMemeNom(m_pclPrecharge->pszGetNom(), list_name != nullptr ? list_name : u"")) {
      list = m_pclPrecharge;
      m_pclPrecharge = nullptr;
      m_tabListes.push_back(list);
      list->AddRef();
      release_list = true;  // the reference the pre-load held
    } else {
      list = pclChargeListeTest(list_name, nullptr, error, kGarde);
      if (list == nullptr) return false;
      release_list = true;
    }
  } else {
    list->AddRef();
    release_list = true;
  }
  release_list = release_list || m_bLibereListe;

  list->SetParam(*this, m_clParam.clSelection.c_str());
  bool ok = true;
  // Linked scenarios of the selected ones.
  for (int32_t i = 0; ok && i < list->nGetNbFils(); ++i) {
    CGroupeTestExe* g = list->pclFils(static_cast<size_t>(i))->pclGroupeExe();
    if (g == nullptr || !g->m_bExecute) continue;
    for (int32_t j = 0; ok && j < g->nGetNbFils(); ++j) {
      CScenarioTestExe* s = g->pclFils(static_cast<size_t>(j))->pclScenarioExe();
      if (s != nullptr && s->m_bSelectionne && s->m_nOption == 0) ok = s->bMarqueScenariosLies(error);
    }
  }
  std::vector<CListeTestExe*> lists = m_tabListes;
  if (std::find(lists.begin(), lists.end(), list) == lists.end()) lists.push_back(list);
  for (size_t i = 0; ok && i < lists.size(); ++i) {
    if (!lists[i]->m_bDemarree) ok = lists[i]->bDemarre(*this, error);
  }
  bool result = ok && list->bExecuteTest(*this, error);
  // A list of value 1, or one whose pass is deferred, stays started and
  // loaded until the end of its execution.
  if (ok && (list->nGetValeur() == 1 || m_pclDiffere != nullptr)) {
    // Kept started and loaded until the end of its execution.
    if (std::find(m_tabListes.begin(), m_tabListes.end(), list) == m_tabListes.end()) {
      m_tabListes.push_back(list);
      if (!release_list) list->AddRef();
    } else if (release_list) {
      list->Release();
    }
    m_bLibereListe = false;
    return result;
  }
  for (auto it = lists.rbegin(); it != lists.rend(); ++it) {
    if (!(*it)->bTermine(*this, error)) result = false;
  }
  LibereListes();
  if (release_list) list->Release();
  m_bLibereListe = false;
  return result;
}

void CTestFactory::SetScenarioDiffere(CScenarioTestExe* s) {
  if (s != nullptr) s->AddRef();
  if (m_pclDiffere != nullptr) m_pclDiffere->Release();
  m_pclDiffere = s;
}

void CTestFactory::DemarreEnregistreur(int32_t continuation) {
  CreeEnregistrementTest(continuation, m_clParam.clSortie);
}

int32_t CTestFactory::bFinExecutionListes(qg::IMainVM* vm) {
  for (auto it = m_tabListes.rbegin(); it != m_tabListes.rend(); ++it) {
    if (!(*it)->bFinExecution(*this, vm)) return 0;
  }
  return 1;
}

int32_t CTestFactory::bExecuteListe(const char16_t* name, qg::IMainVM* vm, CXError* error) {
  // A run started with an output path journals there.
  if (m_pJournal == nullptr && bJournalDemande()) {
    m_piVM = vm != nullptr ? vm : m_piVM;
    OuvreJournalDemande();
  }
  return bExecute(nullptr, name, vm, error) ? 1 : 0;
}

int32_t CTestFactory::nEcritParametreCourant(int32_t kind, int32_t index, int32_t sub,
                                             const CAny* value, CXError* error) {
  CScenarioTestExe* s = pclScenarioCourant();
  if (s == nullptr) return kReponseInvalide;
  return s->nEcritParametre(*this, kind, index, sub, value, error);
}

void CTestFactory::RapporteValeurCourante(const char16_t* name, const char16_t* value) {
  if (CScenarioTestExe* s = pclScenarioCourant()) s->RapporteValeur(name, value);
}
