// What the scenario's code announces before the application asks: message
// box answers, input values and window calls, each queued with the
// scenario that added it.
#include <string>

#include "errors/catalogue.h"
#include "errors/module_errors.h"
#include "support/text_functions.h"
#include "testrunner/journal/journal_file.h"
#include "testrunner/recorder/recorder.h"
#include "testrunner/runner/test_factory.h"

namespace {

bool bMemeNom(const char16_t* a, const char16_t* b) { return nCompareChaineLocale(a, b, 3) == 0; }

// The part after the last '.'.
std::u16string Dernier(const std::u16string& name) {
  const size_t dot = name.rfind(u'.');
  return dot == std::u16string::npos ? name : name.substr(dot + 1);
}

template <typename Queue>
void RetireDe(Queue& queue, const CScenarioTestExe* s) {
  for (auto it = queue.begin(); it != queue.end();) {
    it = it->pclScenario == s ? queue.erase(it) : it + 1;
  }
}

}  // namespace

void CTestFactory::AjouteReponseAttendue(int32_t mask, int32_t answer) {
  m_tabReponses.push_back({mask, answer, pclScenarioCourant()});
}

void CTestFactory::AjouteSaisieAttendue(const char16_t* window, const char16_t* input,
                                        uint16_t type, const char16_t* value) {
  m_tabSaisies.push_back({window != nullptr ? window : u"", input != nullptr ? input : u"", type,
                          value != nullptr ? value : u"", pclScenarioCourant()});
}

void CTestFactory::AjouteAppelAttendu(const char16_t* name, CGroupeTestExe* group,
                                      CScenarioTestExe* scenario) {
  AppelAttendu call;
  call.clNom = name != nullptr ? name : u"";
  call.pclGroupe = group;
  call.pclCible = scenario;
  call.pclScenario = pclScenarioCourant();
  if (m_piVM != nullptr) {
    qg::CodePosition position;
    if (m_piVM->bPositionCode(13, &position)) {
      call.clLibelle = position.pszLibelle != nullptr ? position.pszLibelle : u"";
      call.nLigne = position.nLigne;
      call.nIdFichier = position.nIdFichier;
      call.nIdTrt = position.nIdTrt;
      call.nIdObjet = position.nIdObjet;
    }
  }
  m_tabAppels.push_back(std::move(call));
}

int32_t CTestFactory::nReponseBoiteMessage(int32_t style, int32_t* answer, CXError* error) {
  *answer = 0;
  if (!m_clParam.bPresent) return 0;
  if (m_clParam.nEtat != kEtatLecture) {
    EnregistreBoiteMessage(style);
    return 0;
  }
  if (!m_tabReponses.empty()) {
    const ReponseAttendue& first = m_tabReponses.front();
    const int32_t s = style == -2 ? -1 : style;
    if ((s & first.nMasque) == first.nMasque) {
      *answer = first.nReponse;
      m_tabReponses.erase(m_tabReponses.begin());
      return 1;
    }
  }
  // Not expected: the default answer, and an error for the host.
  if (style == 1 || style == 16 || style == 48 || style == 64) *answer = 1;
  if (style == 3 || style == 4) *answer = 6;
  if (error != nullptr) error->SetUserError(gstErrorDefModule54, 540005u);
  return 0;
}

bool CTestFactory::bValeurSaisie(const char16_t* input, std::u16string* value,
                                 const char16_t* window) {
  if (!m_clParam.bPresent) return false;
  std::u16string name = input != nullptr ? input : u"";
  if (!name.empty() && name.front() == u'+') {
    name.erase(0, 1);
  } else if (!name.empty() && name.back() == u'+') {
    name.pop_back();
  }
  if (m_clParam.nEtat == kEtatEnregistrement) {
    // The recorder takes the text the user types into the control.
    if (pclEnregistrement() != nullptr) {
      const std::u16string control =
          window != nullptr && *window != 0 ? std::u16string(window) + u"." + name : name;
      DebutSaisieTexte(control.c_str());
    }
    return false;
  }
  if (m_clParam.nEtat != kEtatLecture || m_tabSaisies.empty()) return false;
  if (!bMemeNom(m_tabSaisies.front().clSaisie.c_str(), name.c_str())) return false;
  *value = m_tabSaisies.front().clValeur;
  m_tabSaisies.erase(m_tabSaisies.begin());
  return true;
}

int32_t CTestFactory::bResoutFenetre(const char16_t* window, CGroupeTestExe** group,
                                     CScenarioTestExe** handler, CXError* error) {
  *group = nullptr;
  *handler = nullptr;
  const std::u16string name = window != nullptr ? window : u"";
  if (name == u"FenetreEmulateurCE") return 1;
  // A deferred pass resolves the window first.
  CScenarioTestExe* deferred = pclScenarioCourant();
  if (deferred != nullptr && deferred->m_hAppelDiffere != 0 && m_piVM != nullptr) {
    std::u16string part = name;
    for (;;) {
      const int32_t answer = m_piVM->nResoutFenetreDifferee(deferred->m_hAppelDiffere, part.c_str());
      if (answer == 1) {
        const size_t dot = part.find(u'.');
        if (dot == std::u16string::npos) {
          if (error != nullptr) error->SetUserError(gstErrorDefModule54, 540008u, name.c_str());
          return 0;
        }
        part.erase(0, dot + 1);
        continue;
      }
      if (answer == 0) {
        auto* block = new CBlocSurFenetre_TestExe(*deferred, part.c_str());
        deferred->m_tabBlocs.push_back(block);
        *group = deferred->pclGroupeParent();
        *handler = block;
        return 1;
      }
      break;  // 2: the expected calls decide
    }
  }
  if (m_tabAppels.empty()) {
    if (error != nullptr) error->SetUserError(gstErrorDefModule54, 540001u);
    return 0;
  }
  const AppelAttendu& first = m_tabAppels.front();
  if (!bMemeNom(Dernier(first.clNom).c_str(), Dernier(name).c_str())) {
    if (error != nullptr) {
      error->SetUserError(gstErrorDefModule54, 540002u, name.c_str(), first.clNom.c_str());
    }
    return 0;
  }
  *group = first.pclGroupe;
  *handler = first.pclCible;
  m_tabAppels.erase(m_tabAppels.begin());
  return 1;
}

int32_t CTestFactory::nVerifieConnexionZMB(const char16_t* name, int32_t window_state) {
  if (name != nullptr && *name != 0) return 2;
  if (!m_tabAppels.empty() && bMemeNom(m_tabAppels.front().clNom.c_str(), u"ZMBLogin")) return 1;
  if (window_state == 0 || window_state == 4 || window_state == 5 || m_pJournal == nullptr) {
    return 2;
  }
  CTString text;
  bChargeMessageF(6040, text);
  m_pJournal->Ecrit(kJErreur, u"");
  m_pJournal->Ecrit(kJLibelle, text.pszGet());
  m_pJournal->Ferme(kJErreur);
  FermeJournal();
  return 0;
}

void CTestFactory::PauseApresSaisie(int32_t message) {
  if (m_clParam.nValeur == 0) return;
  switch (message) {
    case 161: case 164: case 167: case 513: case 516: case 519:
      Dort(100);
      break;
    case 256: case 257:
      Dort(25);
      break;
    default:
      break;
  }
}

void CTestFactory::PauseApresMessage(int32_t first_field, int32_t fifth_field) {
  if (m_clParam.nValeur != 0 && first_field == 0 && (fifth_field & 1) != 0) Dort(25);
}

void CTestFactory::RapportFinScenario(CScenarioTestExe& s) {
  if (m_pJournal != nullptr) {
    CTString text;
    for (auto it = m_tabSaisies.rbegin(); it != m_tabSaisies.rend(); ++it) {
      if (it->pclScenario != &s) continue;
      bChargeMessageF(5062, text, it->clFenetre.c_str());
      m_pJournal->Ecrit(kJErreur, u"");
      m_pJournal->Ecrit(kJLibelle, text.pszGet());
      AjouteCaptureEcran();
      m_pJournal->Ferme(kJErreur);
    }
    int32_t answers = 0;
    for (const ReponseAttendue& r : m_tabReponses) answers += r.pclScenario == &s ? 1 : 0;
    if (answers > 0) {
      if (answers == 1) {
        bChargeMessageF(5065, text);
      } else {
        bChargeMessageF(5064, text, answers);
      }
      m_pJournal->Ecrit(kJErreur, u"");
      m_pJournal->Ecrit(kJLibelle, text.pszGet());
      EcritPositionCourante(13);
      m_pJournal->Ferme(kJErreur);
    }
    for (auto it = m_tabAppels.rbegin(); it != m_tabAppels.rend(); ++it) {
      if (it->pclScenario != &s) continue;
      bChargeMessageF(5066, text, it->clNom.c_str());
      m_pJournal->Ecrit(kJErreur, u"");
      m_pJournal->Ecrit(kJLibelle, text.pszGet());
      PositionCode position;
      position.pszLibelle = it->clLibelle.empty() ? nullptr : it->clLibelle.c_str();
      position.nLigne = it->nLigne;
      position.nIdFichier = it->nIdFichier;
      position.nIdTrt = it->nIdTrt;
      position.nIdObjet = it->nIdObjet;
      m_pJournal->EcritPosition(position, -1);
      AjouteCaptureEcran();
      m_pJournal->Ferme(kJErreur);
    }
  }
  // A stale entry must not answer the next scenario's box.
  RetireDe(m_tabReponses, &s);
  RetireDe(m_tabSaisies, &s);
  RetireDe(m_tabAppels, &s);
}
