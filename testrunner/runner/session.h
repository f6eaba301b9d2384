// The host's external-execution entry points, bound by name, and the
// module's one external-execution session.
#ifndef QG_TESTRUNNER_RUNNER_SESSION_H_
#define QG_TESTRUNNER_RUNNER_SESSION_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "support/frame/test_runner_abi.h"
#include "support/platform/module.h"

struct EntreesExecutionExterne {
  qg::PFN_ZQEInitEx pfnInit = nullptr;        // "nZQEInitEx" (required)
  qg::PFN_ZQETerm pfnTerm = nullptr;          // "ZQETerm" (required)
  qg::PFN_ZQEEmpile pfnEmpile = nullptr;      // "nZQEEmpile"
  qg::PFN_ZQEAppelle pfnAppelle = nullptr;    // "nZQEAppelle"
  qg::ModuleHandle hHote = nullptr;           // set once both required names were found
  std::string clCheminHote;                   // its path, to know it is still loaded
};

EntreesExecutionExterne& Entrees();

// Looks the four names up in the host module: 1 when "nZQEInitEx" or
// "ZQETerm" is missing (the binding stops there), else 0.
int32_t bLieEntreesExecutionExterne(qg::ModuleHandle host);

// Answer of the wrappers when the host module is not bound.
constexpr int32_t kNonLie = 9;
// Answer of nOuvre when memory runs out.
constexpr int32_t kPasDeMemoire = 6;

class CSessionExecutionExterne {
 public:
  CSessionExecutionExterne() = default;
  // At unload: a session still open is closed only while the host library
  // is loaded (its entry points would be gone otherwise).
  ~CSessionExecutionExterne();
  CSessionExecutionExterne(const CSessionExecutionExterne&) = delete;
  CSessionExecutionExterne& operator=(const CSessionExecutionExterne&) = delete;

  // Allocates the session record and asks the host to open it: 0 open,
  // 6 out of memory, else the host's answer (the record is freed).
  int32_t nOuvre();
  // Ends an open session and frees its record; the mode is 0 after.
  void Ferme();
  // Pushes 100 then 0 (kind 2) and calls function 289 of family 1.
  int32_t AppelleAvecValeurs();

  // The wrappers; a null session means this one's record.
  int32_t nEmpile(qg::ExternalSessionRecord* session, const void* value, int32_t kind);
  int32_t nAppelle(qg::ExternalSessionRecord* session, int32_t family, int32_t function,
                   int32_t a, int32_t b);

  int32_t nGetMode() const { return m_nMode; }
  qg::ExternalSessionRecord* pGetRecord() const { return m_pRecord; }

  // Test hook: the allocator of the record and its blocks.
  void* (*pfnAlloue)(size_t) = nullptr;

 private:
  void Libere();
  qg::ExternalSessionRecord* m_pRecord = nullptr;
  int32_t m_nMode = 0;  // 0 none, 1 open
  qg::IHostComponent* m_piObjet = nullptr;  // held host object
};

// The module's one session.
CSessionExecutionExterne& Session();

#endif  // QG_TESTRUNNER_RUNNER_SESSION_H_
