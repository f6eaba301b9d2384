#include "testrunner/runner/test_factory.h"

#include <chrono>
#include <cstring>
#include <thread>

#include "errors/module_errors.h"
#include "support/frame/module_services.h"
#include "testrunner/journal/journal_file.h"
#include "testrunner/model/reader.h"
#include "testrunner/runner/companion.h"
#include "support/param_zone.h"

namespace {

// Collects the bytes the host answers straight into the buffer they are
// read from.
class CCollecteur : public qg::IListOutput {
 public:
  bool bAppend(const void* bytes, size_t size) override {
    if (size == 0) return true;
    if (bytes == nullptr) return false;
    m_bEchec = m_bEchec || !m_clTampon.Ecrit(bytes, size);
    return !m_bEchec;
  }
  CQGBufferMark m_clTampon{0, 0};
  bool m_bEchec = false;
};

const char16_t* pszNonNul(const char16_t* s) { return s != nullptr ? s : u""; }

}  // namespace

qg::IComponentAccess* piAccesComposants() {
  return reinterpret_cast<qg::IComponentAccess*>(qg::Services().nRuntimeObject);
}

CTestFactory*& ModuleRunner() {
  static CTestFactory* runner = nullptr;
  return runner;
}

CTestFactory::CTestFactory() = default;

CTestFactory::~CTestFactory() {
  SetScenarioDiffere(nullptr);
  FermeJournal();
  LibereListes();
  if (m_pclPrecharge != nullptr) m_pclPrecharge->Release();
}

void CTestFactory::SetPrecharge(CListeTestExe* list) {
  if (list != nullptr) list->AddRef();
  if (m_pclPrecharge != nullptr) m_pclPrecharge->Release();
  m_pclPrecharge = list;
}

void CTestFactory::ViderAttentes() {
  m_tabReponses.clear();
  m_tabSaisies.clear();
  m_tabAppels.clear();
}

void CTestFactory::Dort(uint32_t ms) {
  if (pfnDort) {
    pfnDort(ms);
  } else {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  }
}

namespace {

class CCollecteurImage : public qg::IListOutput {
 public:
  bool bAppend(const void* bytes, size_t size) override {
    const auto* p = static_cast<const uint8_t*>(bytes);
    m_tabOctets.insert(m_tabOctets.end(), p, p + size);
    return true;
  }
  std::vector<uint8_t> m_tabOctets;
};

}  // namespace

void CTestFactory::AjouteCaptureEcran() {
  if (m_pJournal == nullptr) return;
  qg::IComponentAccess* access = piAccesComposants();
  _CXErrorModule54 error;
  if (access == nullptr || !bVerifieComposantObjGate(access, &error)) return;
  auto* gate = static_cast<qg::IObjGate*>(
      access->piGetComponent(0, nullptr, qg::kComponentObjGate, 1, u"ObjGate", 54, &error));
  auto* window = static_cast<qg::IMainPnt*>(
      access->piGetComponent(0, nullptr, qg::kComponentMainPnt, 61, u"MainPnt", 54, &error));
  if (gate == nullptr || window == nullptr) return;
  int32_t rect[4] = {};
  window->Rectangle(rect);
  qg::IHostImage* image = gate->piCaptureFenetre(rect);
  if (image == nullptr) return;
  const int64_t w = image->nLargeur(), h = image->nHauteur();
  // Wider than 1920: scaled to 1920, the height in proportion (rounded).
  if (w > 1920 && h > 0) image->bRedimensionne(1920, static_cast<int32_t>((h * 1920 + w / 2) / w));
  CCollecteurImage bytes;
  try {
    if (image->bSauve(3, &bytes)) m_pJournal->EcritImage(bytes.m_tabOctets.data(), bytes.m_tabOctets.size());
  } catch (const std::bad_alloc&) {
  }
  image->Release();
}

void CTestFactory::LibereListes() {
  for (CListeTestExe* list : m_tabListes) list->Release();
  m_tabListes.clear();
}

CListeTestExe* CTestFactory::pclChargeListeTest(const char16_t* first, const char16_t* second,
                                                CXError* error, uint32_t options) {
  const char16_t* name = first != nullptr && *first != 0 ? first : pszNonNul(second);
  auto fail = [&]() -> CListeTestExe* {
    if (error != nullptr) error->SetUserError(gstErrorDefModule54, 540021u, name);
    return nullptr;
  };
  if (!m_bVMDataDemande) {
    m_bVMDataDemande = true;
    if (qg::IComponentAccess* access = piAccesComposants()) {
      m_piVMData = static_cast<qg::IVMData*>(access->piGetComponent(
          1, nullptr, qg::kComponentVMData, 1, u"VMData", 54, error));
    }
  }
  if (m_piVMData == nullptr) return fail();

  CCollecteur output;
  qg::ListRequest request;
  request.pszFirstName = first;
  request.pszSecondName = second;
  request.piOutput = &output;
  request.nFlags = (options & kFormeGardee) != 0 ? 1024 : 0;
  request.nContext = m_piVMData->nGetContext();
  _CXErrorModule54 host_error;
  m_piVMData->Request(&request, &host_error);
  if (host_error.nGetNiveau() != 1) {
    if (error != nullptr) *error = host_error;
    return nullptr;
  }

  CListeTestExe* list = new CListeTestExe();
  CQGBufferMark& buffer = output.m_clTampon;
  buffer.Rembobine();
  LectureListe context;
  context.fnJeuxAnciens = [this](CScenarioBase& s) { LitJeuxAnciens(s); };
  if (output.m_bEchec || !bLitListe(buffer, *list, context)) {
    list->Release();
    return fail();
  }
  if ((options & kGarde) != 0) {
    list->AddRef();
    m_tabListes.push_back(list);
  }
  return list;
}

CListeTestExe* CTestFactory::pclChargeListeTestParNom(const char16_t* name, CXError* error) {
  if (name == nullptr || *name == 0) {
    if (error != nullptr) error->SetUserError(gstErrorDefModule54, 540000u);
    return nullptr;
  }
  return pclChargeListeTest(name, nullptr, error, kGarde);
}

CListeTestExe* CTestFactory::pclChargeListeTestParNom(const char16_t* name, bool keep,
                                                      CXError* error) {
  if (name == nullptr || *name == 0) {
    if (error != nullptr) error->SetUserError(gstErrorDefModule54, 540000u);
    return nullptr;
  }
  return pclChargeListeTest(nullptr, name, error, keep ? kGarde : 0);
}

CListeTestExe* pclChargeListeTestGlobal(const char16_t* name, CXError* error) {
  CTestFactory* runner = ModuleRunner();
  if (runner == nullptr) return nullptr;
  return runner->pclChargeListeTest(name, nullptr, error, CTestFactory::kGarde);
}

CScenarioBase* pclChercheScenarioParNomComplet(const char16_t* name, CXError* error) {
  if (name == nullptr) return nullptr;
  CTString list_name;
  const char16_t* rest = list_name.pszExtraitAvantPoint(name, true);
  CListeTestExe* list = pclChargeListeTestGlobal(list_name.pszGet(), error);
  if (list == nullptr) return nullptr;
  CScenarioBase* found = list->pclChercheScenario(rest);
  list->Release();  // the runner keeps the list, and with it the scenario
  return found;
}
