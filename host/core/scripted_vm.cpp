#include "host/core/scripted_vm.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <string>

#include "errors/xerror.h"
#include "host/core/calc_entries.h"
#include "support/platform/codepage.h"
#include "support/xystring.h"

namespace qghost {

std::string Utf8Of(const char16_t* s) {
  std::string out;
  if (s != nullptr) qg::Utf16ToCodePage(qg::kCodePageUtf8, s, -1, &out);
  return out;
}

std::u16string Utf16Of(const std::string& s) {
  std::u16string out;
  qg::CodePageToUtf16(qg::kCodePageUtf8, s.data(), static_cast<ptrdiff_t>(s.size()), &out);
  return out;
}

void ScriptedVM::Add(const std::string& line) {
  std::lock_guard<std::mutex> lock(mu_);
  log_.push_back(line);
}

intptr_t ScriptedVM::hDebutListe(const char16_t* name, int64_t id, CXError* error) {
  const std::string n = Utf8Of(name);
  if (std::find(refused.begin(), refused.end(), n) != refused.end()) {
    Add("list " + n + " refused");
    if (error != nullptr) error->nSetNiveau(3);
    return 0;
  }
  const intptr_t h = next_++;
  Add("list " + n + " " + std::to_string(id) + " -> " + std::to_string(h));
  return h;
}

void ScriptedVM::FinListe(intptr_t list) { Add("end list " + std::to_string(list)); }

intptr_t ScriptedVM::hDebutGroupe(intptr_t list, const char16_t* name, int64_t id,
                                  CXError* error) {
  const std::string n = Utf8Of(name);
  if (std::find(refused.begin(), refused.end(), n) != refused.end()) {
    Add("group " + n + " refused");
    if (error != nullptr) error->nSetNiveau(3);
    return 0;
  }
  const intptr_t h = next_++;
  Add("group " + n + " " + std::to_string(id) + " in " + std::to_string(list) + " -> " +
      std::to_string(h));
  return h;
}

void ScriptedVM::FinGroupe(intptr_t group) { Add("end group " + std::to_string(group)); }

intptr_t ScriptedVM::hScenario(intptr_t group, const char16_t* name, int64_t id) {
  const std::string n = Utf8Of(name);
  if (std::find(refused.begin(), refused.end(), n) != refused.end()) return 0;
  const intptr_t h = next_++;
  {
    std::lock_guard<std::mutex> lock(mu_);
    scenario_names_[h] = n;
  }
  Add("scenario " + n + " " + std::to_string(id) + " in " + std::to_string(group) + " -> " +
      std::to_string(h));
  return h;
}

void ScriptedVM::Contexte(const qg::EventContext* record, int32_t push) {
  depth_ += push ? 1 : -1;
  current_scenario_ = push && record != nullptr ? record->hScenario : 0;
}

int32_t ScriptedVM::nEvenement(int64_t id, int32_t code, CXError*, int32_t values,
                               int32_t flag) {
  Event e{id, code, {}, flag, {}};
  {
    std::lock_guard<std::mutex> lock(mu_);
    const size_t n = std::min(pushed_.size(), static_cast<size_t>(std::max(values, 0)));
    e.values.assign(pushed_.end() - static_cast<std::ptrdiff_t>(n), pushed_.end());
    pushed_.clear();
    events_.push_back(e);
    log_.push_back("event " + std::to_string(id) + " " + std::to_string(code) + " values " +
                   std::to_string(values) + " flag " + std::to_string(flag));
  }
  if (script) script(e);
  if (runner_ != nullptr && code == 1900556) RunScript(e);
  return 1;
}

void ScriptedVM::SetScript(qg::ITestFactory* runner, const std::string& text) {
  runner_ = runner;
  lines_.clear();
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::vector<std::string> words;
    std::string word;
    for (size_t i = start; i < end; ++i) {
      const char c = text[i];
      if (c == ' ' || c == '\t' || c == '\r') {
        if (!word.empty()) words.push_back(word);
        word.clear();
      } else {
        word += c;
      }
    }
    if (!word.empty()) words.push_back(word);
    if (words.size() >= 3 && words[0][0] != '#') lines_.push_back(words);
    start = end + 1;
  }
}

namespace {

// A value's own text, else its text through this host's conversion engine
// (a number's digits): the host reads the values it is handed itself,
// whether or not a module bound conversions in this binary. Empty when
// neither gives one.
std::u16string TextOf(const CAny& value) {
  CXYString<char16_t> text;
  if (value.nGetTexte(&text) < 100) {
    return text.pszGet() != nullptr ? std::u16string(text.pszGet()) : std::u16string();
  }
  alignas(8) unsigned char temp[qg::kAnyValueSize] = {};
  if (ConversionDepassementExt(value.pValeur(), value.GetType(), temp, qg::kAnyDSTRW, 1, 0) >=
      100) {
    return {};
  }
  const auto* converted = std::launder(reinterpret_cast<const CXYString<char16_t>*>(temp));
  std::u16string result = converted->pszGet() != nullptr ? converted->pszGet() : u"";
  FinConversion(temp, qg::kAnyDSTRW);
  return result;
}

}  // namespace

void ScriptedVM::RunScript(const Event& e) {
  std::string name;
  {
    std::lock_guard<std::mutex> lock(mu_);
    auto it = scenario_names_.find(current_scenario_);
    if (it == scenario_names_.end()) return;
    name = it->second;
  }
  for (const auto& words : lines_) {
    if (words[0] != name) continue;
    if (words[1] == "call") {
      Call(words, e);
      continue;
    }
    if (words.size() < 4) continue;
    CAny value;
    std::u16string text16;
    const std::string& word = words[3];
    if (word[0] == '$') {
      // The data-set value as it is, reported by its own text.
      const size_t n = static_cast<size_t>(std::atoi(word.c_str() + 1));
      if (n < e.values.size()) value = e.values[n];
      CXYString<char16_t> text;
      if (!value.bEstNull() && !value.bEstVide()) text16 = TextOf(value);
    } else {
      value.SetI4(std::atoi(word.c_str()));
      text16 = Utf16Of(std::to_string(std::atoi(word.c_str())));
    }
    if (words[1] == "write") {
      runner_->nEcritParametreCourant(0, std::atoi(words[2].c_str()), 0, &value, nullptr);
    } else if (words[1] == "report") {
      const std::u16string key = Utf16Of(words[2]);
      runner_->RapporteValeurCourante(key.c_str(), text16.c_str());
    }
  }
}

void ScriptedVM::SetLanguage(const qg::EntreeFonction* table, int32_t count,
                             qg::IZQLibrary* library) {
  functions_ = table;
  function_count_ = count;
  library_ = library;
}

void ScriptedVM::Call(const std::vector<std::string>& words, const Event& e) {
  const int32_t entry = std::atoi(words[2].c_str());
  if (functions_ == nullptr || library_ == nullptr || entry < 1 || entry > function_count_) {
    Add("call " + words[2] + " unknown");
    return;
  }
  std::vector<CAny> values(words.size() - 3);
  std::vector<const CAny*> pointers;
  for (size_t i = 3; i < words.size(); ++i) {
    const std::string& w = words[i];
    CAny& v = values[i - 3];
    char* end = nullptr;
    const long n = std::strtol(w.c_str(), &end, 10);
    if (w[0] == '$') {
      const size_t k = static_cast<size_t>(std::atoi(w.c_str() + 1));
      if (k < e.values.size()) v = e.values[k];
    } else if (end != w.c_str() && *end == 0) {
      v.SetI4(static_cast<int32_t>(n));
    } else {
      const std::u16string text = Utf16Of(w);
      v.SetPSTRW(text.c_str());
    }
    pointers.push_back(&v);
  }
  CAny result;
  qg::ArgumentsAppel arguments;
  arguments.nNombre = static_cast<int32_t>(pointers.size());
  arguments.ppValeurs = pointers.data();
  arguments.pResultat = &result;
  Add("call " + words[2]);
  functions_[entry - 1].pFonction->pfnStub(nullptr, library_, &arguments);
}

void ScriptedVM::PousseValeur(const CAny* value) {
  std::lock_guard<std::mutex> lock(mu_);
  pushed_.push_back(value != nullptr ? *value : CAny());
}

int32_t ScriptedVM::bLitValeur(const char16_t* name, CAny* out) {
  auto it = values.find(Utf8Of(name));
  if (it == values.end()) return 0;
  *out = it->second;
  return 1;
}

int32_t ScriptedVM::bPositionCode(int32_t kind, qg::CodePosition* out) {
  out->pszLibelle = kind == 18 ? u"Code alternatif" : u"Clic sur BTN_OK";
  out->pszNomObjet = u"FEN_Main.BTN_OK";
  out->nLigne = 12;
  out->nIdFichier = 0xABCD;
  out->nIdTrt = 0x1F;
  out->nIdObjet = 0x0000000100000002ull;
  return 1;
}

void ScriptedVM::Plateforme(qg::PlatformInfo* out) {
  out->nHash = 42;
  out->pszNom = u"Linux x86-64";
  out->nType = 1;
  out->nTypeMateriel = 2;
  out->nOrientation = 0;
}

void ScriptedVM::FinExecution(int32_t value, int32_t reserved) {
  Add("end of execution " + std::to_string(value) + " " + std::to_string(reserved));
}

int32_t ScriptedVM::nAppelle(int32_t code) {
  Add("call " + std::to_string(code));
  return 1;
}

int32_t ScriptedVM::bGereEvenement(int32_t code) {
  Add("handles " + std::to_string(code));
  return std::find(handled.begin(), handled.end(), code) != handled.end() ? 1 : 0;
}

intptr_t ScriptedVM::hPrepareAppelDiffere(int64_t id, int32_t code, int32_t values,
                                          CXError* error) {
  {
    std::lock_guard<std::mutex> lock(mu_);
    pushed_.clear();
  }
  if (refuse_deferred) {
    Add("deferred " + std::to_string(id) + " refused");
    if (error != nullptr) error->nSetNiveau(3);
    return 0;
  }
  const intptr_t h = next_++;
  Add("deferred " + std::to_string(id) + " " + std::to_string(code) + " values " +
      std::to_string(values) + " -> " + std::to_string(h));
  return h;
}

int32_t ScriptedVM::nResoutFenetreDifferee(intptr_t call, const char16_t* window) {
  const std::string name = Utf8Of(window);
  const auto it = deferred_windows.find(name);
  const int32_t answer = it != deferred_windows.end() ? it->second : 2;
  Add("resolve " + std::to_string(call) + " " + name + " -> " + std::to_string(answer));
  return answer;
}

int32_t ScriptedVM::nExecuteGroupe(const char16_t* target, CXError*) {
  Add("group run " + Utf8Of(target));
  return 0;
}

void ScriptedVM::Trace(const char16_t* text) {
  std::lock_guard<std::mutex> lock(mu_);
  traces_.push_back(Utf8Of(text));
  log_.push_back("trace " + traces_.back());
}

std::vector<std::string> ScriptedVM::Traces() const {
  std::lock_guard<std::mutex> lock(mu_);
  return traces_;
}

qg::IElementLangage* ScriptedVM::piFenetre(const char16_t* name) {
  const std::string n = Utf8Of(name);
  if (emulator_open && n == "FenetreEmulateurCE") return &emulator;
  auto it = windows.find(n);
  return it != windows.end() ? it->second : nullptr;
}

const char16_t* ScriptedVM::pszResoutNomFichier(const char16_t* name) {
  const std::u16string n = name != nullptr ? name : u"";
  if (project_folder.empty() || n.empty()) return nullptr;
  if (n[0] == u'/') {
    resolved_ = n;
  } else {
    resolved_.assign(project_folder.begin(), project_folder.end());
    resolved_ += u'/';
    resolved_ += n;
    if (n.find(u'.') == std::u16string::npos) resolved_ += u".qgl";
  }
  return resolved_.c_str();
}

void ScriptedVM::Reset() {
  std::lock_guard<std::mutex> lock(mu_);
  traces_.clear();
  functions_ = nullptr;
  function_count_ = 0;
  library_ = nullptr;
  version = 140;
  windows.clear();
  emulator.log.clear();
  emulator.answer = true;
  emulator_open = true;
  project_folder = "/projet";
  log_.clear();
  events_.clear();
  pushed_.clear();
  next_ = 100;
  depth_ = 0;
  script = nullptr;
  refused.clear();
  values.clear();
  handled.clear();
  deferred_windows.clear();
  refuse_deferred = false;
  runner_ = nullptr;
  lines_.clear();
  scenario_names_.clear();
  current_scenario_ = 0;
}

std::vector<std::string> ScriptedVM::Log() const {
  std::lock_guard<std::mutex> lock(mu_);
  return log_;
}

std::vector<ScriptedVM::Event> ScriptedVM::Events() const {
  std::lock_guard<std::mutex> lock(mu_);
  return events_;
}

}  // namespace qghost
