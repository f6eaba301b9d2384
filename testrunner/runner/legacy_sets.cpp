// Data sets of scenarios stored before the sets moved into the list: one
// file per scenario, read through the host's data engine.
#include <string>

#include "errors/module_errors.h"
#include "support/text_functions.h"
#include "testrunner/model/reader.h"
#include "testrunner/runner/test_factory.h"

namespace {

constexpr char16_t kItemCle[] = u"IDJeuDeTest";
constexpr char16_t kItemDonnees[] = u"Données";

// A name that would leave its folder, or cross into another.
bool bNomSur(const char16_t* name) {
  if (name == nullptr || *name == 0) return false;
  std::u16string s(name);
  return s.find(u'\\') == std::u16string::npos && s.find(u'/') == std::u16string::npos &&
         s.find(u"..") == std::u16string::npos;
}

template <typename T>
T* pGet(qg::IComponentAccess* access, int32_t kind, const char16_t* name, CXError* error) {
  return static_cast<T*>(access->piGetComponent(0, nullptr, kind, 1, name, 54, error));
}

bool bCodeReparation(int32_t code) {
  for (int32_t c : qg::kEngineRepairCodes) {
    if (c == code) return true;
  }
  return false;
}

}  // namespace

void CTestFactory::LitJeuxAnciens(CScenarioBase& scenario) {
  CListeTestBase* list = scenario.pclGetListe();
  if (list == nullptr || !bNomSur(list->pszGetNom()) || !bNomSur(scenario.pszGetNom())) return;
  std::u16string path(m_clRepertoireBase.pszGet());
  if (path.empty()) return;
  if (path.back() != u'\\' && path.back() != u'/') path += u'\\';
  path += list->pszGetNom();
  path += u'\\';
  path += scenario.pszGetNom();
  path += u"\\param.fic";
  // The path must fit a 260-character buffer with its terminator; a cut
  // path would name another file.
  if (path.size() >= static_cast<size_t>(kPathBufferSize)) return;

  qg::IComponentAccess* access = piAccesComposants();
  if (access == nullptr) return;
  _CXErrorModule54 error;
  auto* context = pGet<qg::IDataContext>(access, qg::kComponentDataContext,
                                         u"GVContextExtended", &error);
  auto* source = pGet<qg::ISourceDescription>(access, qg::kComponentSourceDescription,
                                              u"GVDataSourceDescription", &error);
  auto* key = pGet<qg::IItemDescription>(access, qg::kComponentItemDescription,
                                         u"GVItemDescription", &error);
  auto* data = pGet<qg::IItemDescription>(access, qg::kComponentItemDescription,
                                          u"GVItemDescription", &error);
  if (context != nullptr && source != nullptr && key != nullptr && data != nullptr) {
    key->Set(kItemCle, 28, 1);
    data->Set(kItemDonnees, 18, 0);
    source->SetSource(u"JeuDeTest", path.c_str());
    source->AddItem(key);
    source->AddItem(data);
    int32_t code = context->nOpen(source, 0, &error);
    if (bCodeReparation(code)) {
      code = context->nOpen(source, 1, &error);
      if (code == 0) code = context->nRepair(source, &error);
    }
    if (code == 0) {
      const size_t nb_params = scenario.m_clParams.m_tabParams.size();
      for (int32_t first = 1; context->bRead(source, first, kItemCle); first = 0) {
        const void* bytes = nullptr;
        size_t size = 0;
        // A record that does not read gives no set.
        if (context->bGetItem(source, kItemDonnees, &bytes, &size)) {
          bLitJeuAncien(bytes, size, nb_params, scenario.m_clDonnees);
        }
      }
      context->Close(source);
    }
  }
  for (qg::IHostComponent* object : {static_cast<qg::IHostComponent*>(source),
                                     static_cast<qg::IHostComponent*>(key),
                                     static_cast<qg::IHostComponent*>(data)}) {
    if (object != nullptr) object->Release();
  }
}
