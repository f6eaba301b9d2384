// Stand-in of the host's external-execution interface IVMExterne (test
// equipment): library contexts, the global execution context, objects of
// canned classes, canned procedures, the host's operators, and the exports
// "ZQ_DonneFinInit", "ZQ_SetParam" and "ZQ_Run_Res" that run a project
// library. Every call is logged; the calls inside the host are counted,
// with the most that ran at once.
//
// Project library format (UTF-8 text, one directive a line):
//   QGL1                 first line, else ZQ_SetParam refuses the library
//   project <name>
//   exit <code>          the run's exit code (default 0)
//
// Canned procedures: "Empty" (not logged); "Add"(a, b) = a + b (I8); "Hello"(name) =
// "Hello, <name>"; "Slow" (yields a while inside the host); "OnEvent"(...)
// logs its parameters' type words and texts and answers 42 (I4); "Fail"
// fails. Classes: "Counter" (handle 1; creation parameter 0 is the initial
// "Value"; methods "Add"(n) = Value += n, answers Value, and "Name";
// static member "Instances"; static method "Counter.Twice"(n) = 2n).
// Collection "COL_Demo" holds the variable "Greeting" (text).
//
// The image component "MainIMG" reads images of its own format: "QGIM",
// then width, height and frame count (16-bit little-endian each, at most
// 4096 x 4096 and 64 frames), then each frame's pixels as R, G, B bytes,
// row after row. It logs "image <w>x<h> <n> frames" and "frame <i>".
#ifndef QG_HOST_CORE_VM_EXTERNE_HOST_H_
#define QG_HOST_CORE_VM_EXTERNE_HOST_H_

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "dotnet/connector/vm_externe.h"
#include "support/any.h"

namespace qghost {

class StandInVM : public qgnet::IVMExterne {
 public:
  StandInVM();
  virtual ~StandInVM();

  int32_t AddRef() override;
  int32_t Release() override;
  void SetLangue(int32_t langue) override;
  qgnet::IContexteBibliotheque* piCreeContexte(const char16_t* assemblage,
                                               IXStream* bibliotheque,
                                               CXError* error) override;
  void LibereContexte(qgnet::IContexteBibliotheque* contexte) override;
  qgnet::IContexteExecution* piGetContexteExecution(CXError* error) override;
  bool bOperateur(int32_t op, const CAny* a, const CAny* b, CAny* result,
                  CXError* error) override;
  void Termine() override;

  // --- the exports ---
  virtual void DonneFinInit(qgnet::PFN_FinInit callback, intptr_t user);
  virtual int32_t SetParam(int32_t param, intptr_t value);
  virtual int32_t RunRes(int32_t kind, intptr_t projet, intptr_t ligne, int32_t* exit_code);

  // --- control ---
  // One line per call ("context 0 <path>", "release 0", "free 0",
  // "procedure Add", "param 1013", "run 5 <project> <line>", "fin-init",
  // "term", ...).
  virtual std::vector<std::string> Log() const;
  // Calls that reached the host (log lines) and the most at once.
  virtual int nCalls() const;
  virtual int nMaxConcurrent() const;
  virtual int32_t nRefs() const { return refs_.load(); }
  virtual int32_t nLangue() const { return langue_; }
  // The run calls the end-of-start-up callback (default true).
  virtual void SetCallsFinInit(bool calls) { calls_fin_init_ = calls; }
  // The next library is refused.
  virtual void SetRefusesLibrary(bool refuses) { refuses_ = refuses; }
  // Whether the end-of-start-up callback ran during the last run.
  virtual bool bFinInitRan() const { return fin_init_ran_; }
  virtual void Reset();
  // The next runs call during(user) while they run (null: nothing).
  virtual void SetDuringRun(void (*during)(void*), void* user) {
    during_run_ = during;
    during_run_user_ = user;
  }

  // --- used by the contexts ---
  void Note(const std::string& line);
  bool Procedure(const std::u16string& name, qgnet::IParamList* params, CXError* error);
  struct Objet {
    int64_t classe = 0;
    CAny value;
    int64_t info = 0;
  };
  std::recursive_mutex mu_;
  std::map<int64_t, Objet> objets_;
  int64_t next_objet_ = 1;
  int64_t instances_ = 0;
  CAny greeting_;
  std::atomic<int> inside_{0};
  std::atomic<int> max_inside_{0};

 private:
  class Contexte;
  class Global;
  std::vector<std::string> log_;
  std::atomic<int32_t> refs_{0};
  int32_t langue_ = 0;
  int next_contexte_ = 0;
  Global* global_ = nullptr;
  bool calls_fin_init_ = true;
  bool refuses_ = false;
  bool fin_init_ran_ = false;
  qgnet::PFN_FinInit fin_init_ = nullptr;
  intptr_t fin_init_user_ = 0;
  bool library_ = false;
  int32_t exit_code_ = 0;
  std::string project_;
  void (*during_run_)(void*) = nullptr;
  void* during_run_user_ = nullptr;
};

// A new image component (one reference), logged through the VM.
qg::IHostComponent* NewImageComponent();

// The instance of this binary.
StandInVM& VMExterne();
// As a component of the component access.
qg::IHostComponent* VMExterneComponent();

}  // namespace qghost

#endif  // QG_HOST_CORE_VM_EXTERNE_HOST_H_
