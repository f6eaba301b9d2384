#include "testrunner/runner/test_factory.h"

#include <cstring>

#include "errors/module_errors.h"
#include "support/frame/module_services.h"
#include "testrunner/model/reader.h"

namespace {

// Collects the bytes the host answers.
class CCollecteur : public qg::IListOutput {
 public:
  bool bAppend(const void* bytes, size_t size) override {
    if (size == 0) return true;
    if (bytes == nullptr) return false;
    try {
      const auto* p = static_cast<const uint8_t*>(bytes);
      m_tabOctets.insert(m_tabOctets.end(), p, p + size);
    } catch (const std::bad_alloc&) {
      return false;
    }
    return true;
  }
  std::vector<uint8_t> m_tabOctets;
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

CTestFactory::~CTestFactory() { LibereListes(); }

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
  CQGBufferMark buffer(output.m_tabOctets.data(), output.m_tabOctets.size(), 0, 0);
  LectureListe context;
  context.fnJeuxAnciens = [this](CScenarioBase& s) { LitJeuxAnciens(s); };
  if (buffer.nTaille() != output.m_tabOctets.size() || !bLitListe(buffer, *list, context)) {
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
