// Stand-in of the host's "MainVM" for the test runner: hands out handles,
// logs every call, and runs scripted scenario code on events.
#ifndef QG_HOST_CORE_SCRIPTED_VM_H_
#define QG_HOST_CORE_SCRIPTED_VM_H_

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "host/core/language_host.h"
#include "support/any.h"
#include "support/frame/language_abi.h"
#include "support/frame/test_runner_abi.h"

namespace qghost {

class ScriptedVM : public qg::IMainVM {
 public:
  struct Event {
    int64_t nId;
    int32_t nCode;
    std::vector<CAny> values;  // pushed before the event
    int32_t nFlag;
    qg::EventContext context;
  };

  ScriptedVM() { emulator.name = u"FenetreEmulateurCE"; }

  int32_t AddRef() override { return ++refs_; }
  int32_t Release() override { return --refs_; }
  intptr_t hDebutListe(const char16_t* name, int64_t id, CXError* error) override;
  void FinListe(intptr_t list) override;
  intptr_t hDebutGroupe(intptr_t list, const char16_t* name, int64_t id, CXError* error) override;
  void FinGroupe(intptr_t group) override;
  intptr_t hScenario(intptr_t group, const char16_t* name, int64_t id) override;
  void Contexte(const qg::EventContext* record, int32_t push) override;
  int32_t nEvenement(int64_t id, int32_t code, CXError* error, int32_t values,
                     int32_t flag) override;
  void PousseValeur(const CAny* value) override;
  int32_t bLitValeur(const char16_t* name, CAny* out) override;
  int32_t bPositionCode(int32_t kind, qg::CodePosition* out) override;
  void Plateforme(qg::PlatformInfo* out) override;
  uint64_t nConfiguration() override { return 77; }
  const char16_t* pszNomProjet() override { return u"Projet"; }
  void FinExecution(int32_t value, int32_t reserved) override;
  int32_t nAppelle(int32_t code) override;
  int32_t bGereEvenement(int32_t code) override;
  int32_t nExecuteGroupe(const char16_t* target, CXError* error) override;
  intptr_t hPrepareAppelDiffere(int64_t id, int32_t code, int32_t values,
                                CXError* error) override;
  int32_t nResoutFenetreDifferee(intptr_t call, const char16_t* window) override;
  int32_t nVersion() override { return version; }
  void Trace(const char16_t* text) override;
  qg::IElementLangage* piFenetre(const char16_t* name) override;
  const char16_t* pszResoutNomFichier(const char16_t* name) override;

  // --- control (virtual: a caller in another binary runs this one's code) ---
  virtual void Reset();
  // Scenario code as text, one line per action, run on each pass of the
  // scenario named first:
  //   <scenario> write <index> <value>|$<n>   expected parameter by index
  //   <scenario> report <name> <value>|$<n>   a value reported for the journal
  //   <scenario> call <entry> [<argument> ...]  a language function, by its
  //       entry in the function table; an argument is $<n>, an integer, or
  //       a text (UTF-8)
  // $<n> is the n-th value pushed for the pass.
  virtual void SetScript(qg::ITestFactory* runner, const std::string& text);
  // The language functions scripts call, and the library object they are
  // called with (both the module's; null: none).
  virtual void SetLanguage(const qg::EntreeFonction* table, int32_t count,
                           qg::IZQLibrary* library);
  std::vector<std::string> Log() const;
  std::vector<Event> Events() const;
  // Runs on each event, after it was logged.
  std::function<void(const Event&)> script;
  // Names (UTF-8) whose handle request is refused.
  std::vector<std::string> refused;
  // Values the code holds, by name (UTF-8).
  std::map<std::string, CAny> values;
  // Project events the host says it handles.
  std::vector<int32_t> handled;
  // Answers of deferred calls to windows, by window name (UTF-8); 2 for
  // any other name.
  std::map<std::string, int32_t> deferred_windows;
  // Deferred calls are refused.
  bool refuse_deferred = false;
  // The version the interface answers (the trace needs more than 131).
  int32_t version = 140;
  // The trace's lines (UTF-8).
  std::vector<std::string> Traces() const;
  // Open windows by name (UTF-8), besides the emulator window.
  std::map<std::string, qg::IElementLangage*> windows;
  // The emulator window "FenetreEmulateurCE", open unless closed here.
  LanguageElement emulator;
  bool emulator_open = true;
  // Project files resolve to <folder>/<name>, with ".qgl" when the name
  // has no extension; a path stays as it is; empty: none resolves.
  std::string project_folder = "/projet";
  int32_t nRefs() const { return refs_; }
  int32_t nContextDepth() const { return depth_; }

 private:
  void Add(const std::string& line);
  void RunScript(const Event& e);
  void Call(const std::vector<std::string>& words, const Event& e);
  qg::ITestFactory* runner_ = nullptr;
  const qg::EntreeFonction* functions_ = nullptr;
  int32_t function_count_ = 0;
  qg::IZQLibrary* library_ = nullptr;
  std::vector<std::vector<std::string>> lines_;
  std::map<intptr_t, std::string> scenario_names_;
  intptr_t current_scenario_ = 0;
  mutable std::mutex mu_;
  std::vector<std::string> log_;
  std::vector<Event> events_;
  std::vector<CAny> pushed_;
  std::vector<std::string> traces_;
  std::u16string resolved_;
  intptr_t next_ = 100;
  int32_t depth_ = 0;
  std::atomic<int32_t> refs_{0};
};

// UTF-8 of a UTF-16 text (null: empty), and back; through the UTF-8 code
// page, so characters outside the basic plane and invalid bytes convert as
// everywhere else in the system.
std::string Utf8Of(const char16_t* s);
std::u16string Utf16Of(const std::string& s);

}  // namespace qghost

#endif  // QG_HOST_CORE_SCRIPTED_VM_H_
