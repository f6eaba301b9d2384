// The library object handed out by pQueryProxy(60): a call context, an
// owned error object of module 54, and the host's "MainVM" interface once
// connected.
#ifndef QG_TESTRUNNER_RUNNER_LIBRARY_H_
#define QG_TESTRUNNER_RUNNER_LIBRARY_H_

#include <cstdint>
#include <functional>
#include <thread>

#include "errors/module_errors.h"
#include "support/frame/test_runner_abi.h"

class CZQLibrary : public qg::IZQLibrary {
 public:
  CZQLibrary();
  ~CZQLibrary() override;
  CZQLibrary(const CZQLibrary&) = delete;
  CZQLibrary& operator=(const CZQLibrary&) = delete;

  int32_t nGetVersion() override { return 8; }
  int32_t nGetValue() override { return 2; }
  int32_t nGetModule() override { return 54; }
  void vEmpty3() override {}
  void vEmpty4() override {}
  void vEmpty5() override {}
  void vRelease() override { delete this; }
  int32_t bNo() override { return 0; }
  CXError* pGetError() override { return m_pclErreur; }
  int32_t bConnecte() override { return bConnecteVM(); }
  void Deconnecte() override { DeconnecteVM(); }
  int32_t bSetThreadCreateur(int32_t set) override;
  // Installs a context and returns the previous one.
  qg::LibraryContext* SetContexte(qg::LibraryContext* context) override;
  // Runs the call operation with the context's first argument under that
  // context; the previous one is back afterwards, even when the call
  // fails by an exception (which never leaves: the answer is then 0).
  intptr_t AppelleDansContexte(qg::LibraryContext* context) override;
  // Runs the execute operation with the context's two arguments; true when
  // the owned error is at level 1 afterwards.
  int32_t bExecuteDansContexte(qg::LibraryContext* context) override;
  void vReleaseAvec(int32_t) override { vRelease(); }
  void vEmpty16() override {}
  void vEmpty17() override {}
  int32_t bNo2() override { return 0; }
  void vNotify() override {}
  void vEmpty24() override {}

  qg::LibraryContext* pGetContexte() const { return m_pContexte; }
  std::thread::id idCreateur() const { return m_idCreateur; }
  std::thread::id idContexte() const { return m_idContexte; }

  // The call and execute operations; tests and the playback set them.
  std::function<intptr_t(intptr_t)> fnAppelle;
  std::function<void(intptr_t, intptr_t, CXError*)> fnExecute;

 protected:
  qg::LibraryContext* m_pContexte = nullptr;
  _CXErrorModule54* m_pclErreur;  // one reference, released by the destructor
  std::thread::id m_idCreateur;
  std::thread::id m_idContexte;
};

class CQGTestExe : public CZQLibrary {
 public:
  CQGTestExe() = default;
  // Asks the component access for "MainVM" (kind 100, version 0, this
  // object as owner) and keeps it here and, when the runner exists, as the
  // runner's current host interface. 1.
  int32_t bConnecteVM() override;
  // Clears both copies and releases the held host object.
  void DeconnecteVM() override;

  qg::IMainVM* piGetVM() const { return m_piVM; }

 private:
  qg::IMainVM* m_piVM = nullptr;
  qg::IHostComponent* m_piObjetHote = nullptr;  // held
};

#endif  // QG_TESTRUNNER_RUNNER_LIBRARY_H_
