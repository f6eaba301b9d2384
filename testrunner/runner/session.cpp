#include "testrunner/runner/session.h"

#include <cstdlib>
#include <new>

namespace {

constexpr char16_t kNomSession[] = u"QGTESTEXE";

}  // namespace

EntreesExecutionExterne& Entrees() {
  static EntreesExecutionExterne entries;
  return entries;
}

int32_t bLieEntreesExecutionExterne(qg::ModuleHandle host) {
  EntreesExecutionExterne& e = Entrees();
  e = EntreesExecutionExterne();
  if (host == nullptr) return 1;
  e.pfnInit = reinterpret_cast<qg::PFN_ZQEInitEx>(qg::FindSymbol(host, "nZQEInitEx"));
  if (e.pfnInit == nullptr) return 1;
  e.pfnTerm = reinterpret_cast<qg::PFN_ZQETerm>(qg::FindSymbol(host, "ZQETerm"));
  if (e.pfnTerm == nullptr) return 1;
  e.pfnEmpile = reinterpret_cast<qg::PFN_ZQEEmpile>(qg::FindSymbol(host, "nZQEEmpile"));
  e.pfnAppelle = reinterpret_cast<qg::PFN_ZQEAppelle>(qg::FindSymbol(host, "nZQEAppelle"));
  e.hHote = host;
  e.clCheminHote = qg::ModulePathOf(reinterpret_cast<const void*>(e.pfnInit));
  return 0;
}

CSessionExecutionExterne& Session() {
  static CSessionExecutionExterne session;
  return session;
}

CSessionExecutionExterne::~CSessionExecutionExterne() {
  const EntreesExecutionExterne& e = Entrees();
  const bool host_loaded = !e.clCheminHote.empty() && qg::IsModuleLoaded(e.clCheminHote.c_str());
  if (m_nMode != 0 && host_loaded) Ferme();
  // Without the host the record is only freed.
  Libere();
  m_nMode = 0;
  if (m_piObjet != nullptr && host_loaded) m_piObjet->Release();
  m_piObjet = nullptr;
}

int32_t CSessionExecutionExterne::nOuvre() {
  const EntreesExecutionExterne& e = Entrees();
  if (e.pfnInit == nullptr) return kNonLie;
  if (m_nMode != 0) Ferme();
  void* (*alloue)(size_t) = pfnAlloue != nullptr ? pfnAlloue : &std::malloc;
  void* record = alloue(sizeof(qg::ExternalSessionRecord));
  void* work = record != nullptr ? alloue(qg::kSessionWorkSize) : nullptr;
  void* block = work != nullptr ? alloue(qg::kSessionBlockSize) : nullptr;
  if (block == nullptr) {
    std::free(work);
    std::free(record);
    return kPasDeMemoire;
  }
  m_pRecord = new (record) qg::ExternalSessionRecord();
  m_pRecord->pWork = work;
  m_pRecord->pBlock = block;
  m_pRecord->pszName = kNomSession;
  qg::ExternalOptionsRecord options;
  const int32_t answer = e.pfnInit(m_pRecord, &options);
  if (answer == 0) {
    m_nMode = 1;
  } else {
    Libere();
  }
  return answer;
}

void CSessionExecutionExterne::Libere() {
  if (m_pRecord == nullptr) return;
  std::free(m_pRecord->pWork);
  std::free(m_pRecord->pBlock);
  m_pRecord->~ExternalSessionRecord();
  std::free(m_pRecord);
  m_pRecord = nullptr;
}

void CSessionExecutionExterne::Ferme() {
  if (m_nMode == 1) {
    if (Entrees().pfnTerm != nullptr) Entrees().pfnTerm(m_pRecord);
    Libere();
  }
  m_nMode = 0;
}

int32_t CSessionExecutionExterne::nEmpile(qg::ExternalSessionRecord* session, const void* value,
                                          int32_t kind) {
  const EntreesExecutionExterne& e = Entrees();
  if (e.hHote == nullptr || e.pfnEmpile == nullptr) return kNonLie;
  return e.pfnEmpile(session != nullptr ? session : m_pRecord, value, kind);
}

int32_t CSessionExecutionExterne::nAppelle(qg::ExternalSessionRecord* session, int32_t family,
                                           int32_t function, int32_t a, int32_t b) {
  const EntreesExecutionExterne& e = Entrees();
  if (e.hHote == nullptr || e.pfnAppelle == nullptr) return kNonLie;
  return e.pfnAppelle(session != nullptr ? session : m_pRecord, family, function, a, b);
}

int32_t CSessionExecutionExterne::AppelleAvecValeurs() {
  const int32_t hundred = 100;
  const int32_t zero = 0;
  nEmpile(nullptr, &hundred, 2);
  nEmpile(nullptr, &zero, 2);
  return nAppelle(nullptr, 1, 289, 1, 2);
}
