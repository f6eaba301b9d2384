#include "testrunner/runner/library.h"

#include "testrunner/runner/test_factory.h"

CZQLibrary::CZQLibrary()
    : m_pclErreur(new _CXErrorModule54()), m_idCreateur(std::this_thread::get_id()) {
  m_pclErreur->AddRef();
}

CZQLibrary::~CZQLibrary() { m_pclErreur->Release(); }

int32_t CZQLibrary::bSetThreadCreateur(int32_t set) {
  if (set != 1) return 0;
  m_idCreateur = std::this_thread::get_id();
  return 1;
}

qg::LibraryContext* CZQLibrary::SetContexte(qg::LibraryContext* context) {
  qg::LibraryContext* previous = m_pContexte;
  m_pContexte = context;
  m_idContexte = std::this_thread::get_id();
  return previous;
}

intptr_t CZQLibrary::AppelleDansContexte(qg::LibraryContext* context) {
  qg::LibraryContext* previous = SetContexte(context);
  intptr_t result = 0;
  try {
    if (fnAppelle) result = fnAppelle(context != nullptr ? context->nArgument1 : 0);
  } catch (...) {
    result = 0;
  }
  SetContexte(previous);
  return result;
}

int32_t CZQLibrary::bExecuteDansContexte(qg::LibraryContext* context) {
  qg::LibraryContext* previous = SetContexte(context);
  try {
    if (fnExecute) {
      fnExecute(context != nullptr ? context->nArgument1 : 0,
                context != nullptr ? context->nArgument2 : 0, m_pclErreur);
    }
  } catch (const CXError& thrown) {
    *m_pclErreur = thrown;
  } catch (...) {
    m_pclErreur->nSetNiveau(3);
  }
  SetContexte(previous);
  return m_pclErreur->nGetNiveau() == 1;
}

int32_t CQGTestExe::bConnecteVM() {
  qg::IComponentAccess* access = piAccesComposants();
  m_piVM = access != nullptr
               ? static_cast<qg::IMainVM*>(access->piGetComponent(
                     0, this, qg::kComponentMainVM, 0, u"MainVM", 54, m_pclErreur))
               : nullptr;
  if (CTestFactory* runner = ModuleRunner()) runner->SetVM(m_piVM);
  return 1;
}

void CQGTestExe::DeconnecteVM() {
  if (CTestFactory* runner = ModuleRunner()) {
    if (runner->piGetVM() == m_piVM) runner->SetVM(nullptr);
  }
  m_piVM = nullptr;
  if (m_piObjetHote != nullptr) {
    m_piObjetHote->Release();
    m_piObjetHote = nullptr;
  }
}
