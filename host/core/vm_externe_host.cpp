#include "host/core/vm_externe_host.h"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <thread>

#include "dotnet/connector/host_array.h"
#include "dotnet/convert/conversion_cast.h"
#include "errors/xerror.h"
#include "host/core/host_runtime.h"
#include "support/frame/module_services.h"
#include "support/platform/codepage.h"
#include "support/streams/xstream.h"

namespace qghost {
namespace {

std::string U8(const std::u16string& text) {
  std::string out;
  qg::Utf16ToCodePage(qg::kCodePageUtf8, text.c_str(), static_cast<ptrdiff_t>(text.size()), &out);
  return out;
}

std::u16string U16(const std::string& text) {
  std::u16string out;
  qg::CodePageToUtf16(qg::kCodePageUtf8, text.data(), static_cast<ptrdiff_t>(text.size()), &out);
  return out;
}

std::u16string Str(const char16_t* text) { return text != nullptr ? text : u""; }

void Fail(CXError* error, const std::string& text) {
  if (error == nullptr) return;
  error->AddUserMessageText(U16(text).c_str());
  error->nSetNiveau(XERR_ERROR);
}

// The text of a value (empty when it has none).
std::u16string TextOf(const CAny& value) {
  if (value.bEstNull()) return u"";
  CXYString<char16_t> text;
  if (value.nGetTexte(&text) >= qg::kHostErrorFirst) return u"";
  return text.pszGet() != nullptr ? text.pszGet() : u"";
}

bool IsText(const CAny& v) {
  int c = v.nGetCode();
  return c == qg::kAnyDSTRW || c == qg::kAnyPSTRW || c == qg::kAnyDSTRA || c == qg::kAnyPSTRA ||
         c == qg::kAnyCARA || c == qg::kAnyCARW || c == qg::kAnyDSTRW148 ||
         c == qg::kAnyDSTRW149;
}

bool IsInteger(const CAny& v) {
  int c = v.nGetCode();
  return (c >= qg::kAnyBOOL && c <= qg::kAnyI8) || c == qg::kAnyUIX;
}

int64_t IntOf(const CAny& v) {
  CAny copy(v);
  int64_t n = 0;
  if (copy.nCastTo(qg::kAnyI8) < qg::kHostErrorFirst) copy.nGetI8(&n);
  return n;
}

double RealOf(const CAny& v) {
  CAny copy(v);
  double r = 0;
  if (copy.nCastTo(qg::kAnyR8) < qg::kHostErrorFirst) copy.nGetR8(&r);
  return r;
}

std::u16string Lower(std::u16string s) {
  for (char16_t& c : s) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
  }
  return s;
}

// Loose equality: case and surrounding spaces ignored; very loose: only
// letters and digits count.
std::u16string Loose(const std::u16string& s, bool very) {
  std::u16string out;
  for (char16_t c : Lower(s)) {
    bool keep = very ? ((c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c > 0x7F)
                     : true;
    if (keep) out.push_back(c);
  }
  if (!very) {
    size_t b = out.find_first_not_of(u' '), e = out.find_last_not_of(u' ');
    out = b == std::u16string::npos ? u"" : out.substr(b, e - b + 1);
  }
  return out;
}

// Counts a call inside the host while it runs.
class Inside {
 public:
  explicit Inside(StandInVM& vm) : vm_(vm) {
    int now = ++vm_.inside_;
    int seen = vm_.max_inside_.load();
    while (now > seen && !vm_.max_inside_.compare_exchange_weak(seen, now)) {
    }
  }
  ~Inside() { --vm_.inside_; }

 private:
  StandInVM& vm_;
};

constexpr int64_t kClasseCounter = 1;

}  // namespace

class StandInVM::Contexte final : public qgnet::IContexteBibliotheque {
 public:
  Contexte(StandInVM& vm, int id) : vm_(vm), id_(id) {}
  qgnet::IVMExterne* piGetVMExterne() override { return &vm_; }
  void Release() override { vm_.Note("release " + std::to_string(id_)); }
  int id() const { return id_; }

  int64_t nGetHandleClasse(const char16_t* classe, CXError* error) override {
    Inside in(vm_);
    vm_.Note("class " + U8(Str(classe)));
    if (Str(classe) == u"Counter") return kClasseCounter;
    Fail(error, "unknown class " + U8(Str(classe)));
    return -1;
  }

  bool bCreeObjet(int64_t classe, const void*, int32_t, qgnet::IParamList* params,
                  int64_t* objet, CXError* error) override {
    Inside in(vm_);
    std::lock_guard<std::recursive_mutex> l(vm_.mu_);
    vm_.Note("new " + std::to_string(classe));
    if (classe != kClasseCounter) {
      Fail(error, "unknown class handle");
      return false;
    }
    Objet o;
    o.classe = classe;
    o.value.SetI8(params != nullptr && params->nGetNbParam() > 0 ? IntOf(*params->GetParam(0))
                                                                  : 0);
    *objet = vm_.next_objet_++;
    vm_.objets_[*objet] = o;
    ++vm_.instances_;
    return true;
  }

  bool bDetruitObjet(int64_t objet, CXError* error) override {
    Inside in(vm_);
    std::lock_guard<std::recursive_mutex> l(vm_.mu_);
    vm_.Note("delete " + std::to_string(objet));
    if (vm_.objets_.erase(objet) == 0) {
      Fail(error, "no such object");
      return false;
    }
    return true;
  }

  bool bExecuteMethodeInstance(int64_t objet, const char16_t* methode, qgnet::IParamList* params,
                               int32_t, CXError* error) override {
    Inside in(vm_);
    std::lock_guard<std::recursive_mutex> l(vm_.mu_);
    vm_.Note("method " + std::to_string(objet) + " " + U8(Str(methode)));
    auto it = vm_.objets_.find(objet);
    if (it == vm_.objets_.end()) {
      Fail(error, "no such object");
      return false;
    }
    std::u16string name = Str(methode);
    if (name == u"Add" && params != nullptr && params->nGetNbParam() == 1) {
      it->second.value.SetI8(IntOf(it->second.value) + IntOf(*params->GetParam(0)));
      *params->GetReturnedValue() = it->second.value;
      return true;
    }
    if (name == u"Name") {
      if (params != nullptr) params->GetReturnedValue()->SetDSTRW(u"Counter");
      return true;
    }
    Fail(error, "unknown method " + U8(name));
    return false;
  }

  bool bExecuteMethodeStatique(const char16_t* methode, qgnet::IParamList* params, int32_t,
                               CXError* error) override {
    Inside in(vm_);
    vm_.Note("static " + U8(Str(methode)));
    if (Str(methode) == u"Counter.Twice" && params != nullptr && params->nGetNbParam() == 1) {
      params->GetReturnedValue()->SetI8(2 * IntOf(*params->GetParam(0)));
      return true;
    }
    Fail(error, "unknown method " + U8(Str(methode)));
    return false;
  }

  bool bMembreInstance(int64_t objet, const char16_t* membre, bool ecrit,
                       qgnet::IParamList* params, CXError* error) override {
    Inside in(vm_);
    std::lock_guard<std::recursive_mutex> l(vm_.mu_);
    vm_.Note(std::string(ecrit ? "set " : "get ") + std::to_string(objet) + " " +
             U8(Str(membre)));
    auto it = vm_.objets_.find(objet);
    if (it == vm_.objets_.end() || Str(membre) != u"Value" || params == nullptr) {
      Fail(error, "no such member");
      return false;
    }
    if (ecrit) {
      if (params->nGetNbParam() < 1) return false;
      it->second.value.SetI8(IntOf(*params->GetParam(0)));
    } else {
      *params->GetReturnedValue() = it->second.value;
    }
    return true;
  }

  bool bMembreStatique(const char16_t* classe, const char16_t* membre, bool ecrit,
                       qgnet::IParamList* params, CXError* error) override {
    Inside in(vm_);
    std::lock_guard<std::recursive_mutex> l(vm_.mu_);
    vm_.Note(std::string(ecrit ? "set " : "get ") + U8(Str(classe)) + "." + U8(Str(membre)));
    if (Str(classe) != u"Counter" || Str(membre) != u"Instances" || params == nullptr || ecrit) {
      Fail(error, "no such member");
      return false;
    }
    params->GetReturnedValue()->SetI8(vm_.instances_);
    return true;
  }

  bool bVariableCollection(const char16_t* collection, const char16_t* variable, bool ecrit,
                           qgnet::IParamList* params, CXError* error) override {
    Inside in(vm_);
    std::lock_guard<std::recursive_mutex> l(vm_.mu_);
    vm_.Note(std::string(ecrit ? "set " : "get ") + U8(Str(collection)) + "." +
             U8(Str(variable)));
    if (Str(collection) != u"COL_Demo" || Str(variable) != u"Greeting" || params == nullptr) {
      Fail(error, "no such variable");
      return false;
    }
    if (ecrit) {
      if (params->nGetNbParam() < 1) return false;
      vm_.greeting_.SetDSTRW(TextOf(*params->GetParam(0)).c_str());
    } else {
      *params->GetReturnedValue() = vm_.greeting_;
    }
    return true;
  }

  bool bInfoInstance(int64_t objet, bool ecrit, int64_t* info, CXError* error) override {
    Inside in(vm_);
    std::lock_guard<std::recursive_mutex> l(vm_.mu_);
    vm_.Note(std::string(ecrit ? "set-info " : "get-info ") + std::to_string(objet));
    auto it = vm_.objets_.find(objet);
    if (it == vm_.objets_.end()) {
      Fail(error, "no such object");
      return false;
    }
    if (ecrit) {
      it->second.info = *info;
    } else {
      *info = it->second.info;
    }
    return true;
  }

 private:
  StandInVM& vm_;
  int id_;
};

class StandInVM::Global final : public qgnet::IContexteExecution {
 public:
  explicit Global(StandInVM& vm) : vm_(vm) {}
  qgnet::IVMExterne* piGetVMExterne() override { return &vm_; }
  void Release() override { vm_.Note("release global"); }
  bool bExecuteProcedure(const char16_t* procedure, qgnet::IParamList* params,
                         CXError* error) override {
    Inside in(vm_);
    // The empty procedure is the benchmarks' reference: it leaves no line.
    if (procedure != nullptr && std::u16string_view(procedure) == u"Empty") {
      return true;
    }
    vm_.Note("procedure " + U8(Str(procedure)));
    return vm_.Procedure(Str(procedure), params, error);
  }
  bool bExecuteDelegue(int64_t objet, const char16_t* methode, qgnet::IParamList* params,
                       CXError* error) override {
    Inside in(vm_);
    vm_.Note("delegate " + std::to_string(objet) + " " + U8(Str(methode)));
    if (objet != 0) {
      Fail(error, "no object delegates");
      return false;
    }
    return vm_.Procedure(Str(methode), params, error);
  }

 private:
  StandInVM& vm_;
};

StandInVM::StandInVM() {
  // The host's own values live in its string memory and convert through
  // its engine.
  HostRuntime& host = Runtime();
  qg::ModuleServices& services = qg::Services();
  if (services.piStringMemory == nullptr) services.piStringMemory = &host.Strings();
  if (services.piInfoLocale == nullptr) services.piInfoLocale = &host.Locale();
  if (services.piValueObjects == nullptr) services.piValueObjects = &host.Values();
  qg::InstalleConversionMoteur();
  global_ = new Global(*this);
  greeting_.SetDSTRW(u"Hello");
}

StandInVM::~StandInVM() { delete global_; }

int32_t StandInVM::AddRef() { return ++refs_; }
int32_t StandInVM::Release() { return --refs_; }

void StandInVM::Note(const std::string& line) {
  std::lock_guard<std::recursive_mutex> l(mu_);
  log_.push_back(line);
}

std::vector<std::string> StandInVM::Log() const {
  auto* self = const_cast<StandInVM*>(this);
  std::lock_guard<std::recursive_mutex> l(self->mu_);
  return log_;
}

int StandInVM::nCalls() const { return static_cast<int>(Log().size()); }
int StandInVM::nMaxConcurrent() const { return max_inside_.load(); }

void StandInVM::Reset() {
  std::lock_guard<std::recursive_mutex> l(mu_);
  log_.clear();
  objets_.clear();
  next_objet_ = 1;
  instances_ = 0;
  max_inside_ = 0;
  langue_ = 0;
  calls_fin_init_ = true;
  refuses_ = false;
  fin_init_ran_ = false;
  fin_init_ = nullptr;
  library_ = false;
  exit_code_ = 0;
  project_.clear();
  during_run_ = nullptr;
  during_run_user_ = nullptr;
  greeting_.SetDSTRW(u"Hello");
}

void StandInVM::SetLangue(int32_t langue) {
  Note("language " + std::to_string(langue));
  langue_ = langue;
}

qgnet::IContexteBibliotheque* StandInVM::piCreeContexte(const char16_t* assemblage,
                                                        IXStream* bibliotheque,
                                                        CXError* error) {
  Inside in(*this);
  // A library must be one of the stand-in's own ("QGL1" first); its
  // project name goes into the log line.
  std::string library;
  if (bibliotheque != nullptr) {
    int64_t size = bibliotheque->nGetSize();
    std::string text(size > 0 && size <= (1 << 20) ? static_cast<size_t>(size) : 0, '\0');
    uint32_t read = 0;
    if (text.empty() || !bibliotheque->bSeek(0, qg::FILE_BEGIN) ||
        !bibliotheque->bRead(text.data(), static_cast<uint32_t>(text.size()), &read) ||
        text.rfind("QGL1", 0) != 0) {
      Note("context refused: not a library");
      Fail(error, "not a project library");
      return nullptr;
    }
    size_t at = text.find("\nproject ");
    library = " library " + (at == std::string::npos
                                 ? std::string()
                                 : text.substr(at + 9, text.find('\n', at + 9) - at - 9));
  }
  std::lock_guard<std::recursive_mutex> l(mu_);
  int id = next_contexte_++;
  Note("context " + std::to_string(id) + " " + U8(Str(assemblage)) + library);
  return new Contexte(*this, id);
}

void StandInVM::LibereContexte(qgnet::IContexteBibliotheque* contexte) {
  auto* c = static_cast<Contexte*>(contexte);
  Note("free " + std::to_string(c->id()));
  delete c;
}

qgnet::IContexteExecution* StandInVM::piGetContexteExecution(CXError*) {
  Note("global");
  return global_;
}

bool StandInVM::Procedure(const std::u16string& name, qgnet::IParamList* params,
                          CXError* error) {
  int n = params != nullptr ? params->nGetNbParam() : 0;
  if (name == u"Empty") return true;
  if (name == u"Add" && n == 2) {
    CAny* a = params->GetParam(0);
    CAny* b = params->GetParam(1);
    params->GetReturnedValue()->SetI8(IntOf(*a) + IntOf(*b));
    return true;
  }
  if (name == u"Sum" && n == 1) {
    // The sum of an array of 32-bit integers.
    qgnet::CTableauHote* array = params->pclGetTableau(0);
    const uint8_t* block = array != nullptr ? array->pBloc() : nullptr;
    if (array == nullptr || (array->wGetElemType() & 0xFF) != qg::kAnyI4 ||
        (block == nullptr && array->nGetNbElement() > 0)) {
      Fail(error, "Sum takes an array of 4-byte integers");
      return false;
    }
    int64_t sum = 0;
    for (uint32_t i = 0; i < array->nGetNbElement(); ++i) {
      int32_t v;
      std::memcpy(&v, block + 4 * static_cast<size_t>(i), 4);
      sum += v;
    }
    params->GetReturnedValue()->SetI8(sum);
    return true;
  }
  if (name == u"Hello" && n == 1) {
    params->GetReturnedValue()->SetDSTRW((u"Hello, " + TextOf(*params->GetParam(0))).c_str());
    return true;
  }
  if (name == u"Slow") {
    for (int i = 0; i < 20; ++i) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::microseconds(200));
    return true;
  }
  if (name == u"OnEvent") {
    std::string line = "event";
    for (int i = 0; i < n; ++i) {
      line += " " + std::to_string(params->nGetTypeParam(i) & 0xFF);
      if (params->nGetObjet(i) == 0) line += ":" + U8(TextOf(*params->GetParam(i)));
    }
    Note(line);
    params->GetReturnedValue()->SetI4(42);
    return true;
  }
  Fail(error, name == u"Fail" ? "the procedure failed" : "unknown procedure " + U8(name));
  return false;
}

bool StandInVM::bOperateur(int32_t op, const CAny* a, const CAny* b, CAny* result,
                           CXError* error) {
  Inside in(*this);
  Note("operator " + std::to_string(op));
  using namespace qgnet;
  bool text = IsText(*a) || (op < kOpInc && IsText(*b));
  bool integer = IsInteger(*a) && (op >= kOpInc || IsInteger(*b));
  auto compare = [&]() -> int {
    if (text) {
      std::u16string x = TextOf(*a), y = TextOf(*b);
      return x < y ? -1 : (x == y ? 0 : 1);
    }
    double x = RealOf(*a), y = RealOf(*b);
    return x < y ? -1 : (x == y ? 0 : 1);
  };
  switch (op) {
    case kOpPlus:
      if (text) {
        result->SetDSTRW((TextOf(*a) + TextOf(*b)).c_str());
      } else if (integer) {
        result->SetI8(IntOf(*a) + IntOf(*b));
      } else {
        result->SetR8(RealOf(*a) + RealOf(*b));
      }
      return true;
    case kOpMoins: case kOpMult:
      if (text) break;
      if (integer) {
        result->SetI8(op == kOpMoins ? IntOf(*a) - IntOf(*b) : IntOf(*a) * IntOf(*b));
      } else {
        result->SetR8(op == kOpMoins ? RealOf(*a) - RealOf(*b) : RealOf(*a) * RealOf(*b));
      }
      return true;
    case kOpDiv:
      if (text || RealOf(*b) == 0) break;
      result->SetR8(RealOf(*a) / RealOf(*b));
      return true;
    case kOpMod:
      if (text || RealOf(*b) == 0) break;
      if (integer) {
        result->SetI8(IntOf(*a) % IntOf(*b));
      } else {
        result->SetR8(std::fmod(RealOf(*a), RealOf(*b)));
      }
      return true;
    case kOpSup: result->SetBOOL(compare() > 0); return true;
    case kOpSupEgal: result->SetBOOL(compare() >= 0); return true;
    case kOpInf: result->SetBOOL(compare() < 0); return true;
    case kOpInfEgal: result->SetBOOL(compare() <= 0); return true;
    case kOpEgal: result->SetBOOL(compare() == 0); return true;
    case kOpDiff: result->SetBOOL(compare() != 0); return true;
    case kOpCommencePar:
      result->SetBOOL(TextOf(*a).rfind(TextOf(*b), 0) == 0);
      return true;
    case kOpEgalSouple: case kOpEgalTresSouple: {
      bool very = op == kOpEgalTresSouple;
      result->SetBOOL(Loose(TextOf(*a), very) == Loose(TextOf(*b), very));
      return true;
    }
    case kOpInc: case kOpDec: case kOpMoinsUnaire:
      if (text) break;
      if (integer) {
        int64_t x = IntOf(*a);
        result->SetI8(op == kOpInc ? x + 1 : op == kOpDec ? x - 1 : -x);
      } else {
        double x = RealOf(*a);
        result->SetR8(op == kOpInc ? x + 1 : op == kOpDec ? x - 1 : -x);
      }
      return true;
    default:
      break;
  }
  Fail(error, "the operator does not apply to these values");
  return false;
}

void StandInVM::Termine() { Note("term"); }

void StandInVM::DonneFinInit(qgnet::PFN_FinInit callback, intptr_t user) {
  Note("fin-init given");
  std::lock_guard<std::recursive_mutex> l(mu_);
  fin_init_ = callback;
  fin_init_user_ = user;
}

int32_t StandInVM::SetParam(int32_t param, intptr_t value) {
  Note("param " + std::to_string(param) + " " +
       (param == qgnet::kParamBibliotheque ? std::string("library") : std::to_string(value)));
  if (param != qgnet::kParamBibliotheque) return 1;
  auto* stream = reinterpret_cast<IXStream*>(value);
  if (stream == nullptr || refuses_) return 0;
  int64_t size = stream->nGetSize();
  if (size < 0 || size > (1 << 20) || !stream->bSeek(0, qg::FILE_BEGIN)) return 0;
  std::string text(static_cast<size_t>(size), '\0');
  uint32_t read = 0;
  if (size > 0 && !stream->bRead(text.data(), static_cast<uint32_t>(size), &read)) return 0;
  text.resize(read);
  if (text.rfind("QGL1", 0) != 0) return 0;
  std::lock_guard<std::recursive_mutex> l(mu_);
  library_ = true;
  exit_code_ = 0;
  project_.clear();
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("project ", 0) == 0) project_ = line.substr(8);
    if (line.rfind("exit ", 0) == 0) exit_code_ = std::atoi(line.c_str() + 5);
    at = end + 1;
  }
  return 1;
}

int32_t StandInVM::RunRes(int32_t kind, intptr_t projet, intptr_t ligne, int32_t* exit_code) {
  Note("run " + std::to_string(kind) + " " +
       U8(Str(reinterpret_cast<const char16_t*>(projet))) + " " +
       U8(Str(reinterpret_cast<const char16_t*>(ligne))));
  qgnet::PFN_FinInit callback = nullptr;
  intptr_t user = 0;
  {
    std::lock_guard<std::recursive_mutex> l(mu_);
    if (!library_) return 0;
    callback = calls_fin_init_ ? fin_init_ : nullptr;
    user = fin_init_user_;
    fin_init_ = nullptr;
    fin_init_ran_ = false;
  }
  // The start-up ends: the host hands the screen over to the project.
  if (callback != nullptr) {
    Note("fin-init");
    callback(user);
    fin_init_ran_ = true;
  }
  if (during_run_ != nullptr) during_run_(during_run_user_);
  if (exit_code != nullptr) *exit_code = exit_code_;
  return 1;
}

namespace {

class StandInImage final : public qgnet::IImageHote {
 public:
  int32_t AddRef() override { return ++refs_; }
  int32_t Release() override {
    int32_t left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  bool bCharge(const uint8_t* b, size_t size) override {
    if (b == nullptr || size < 10 || std::memcmp(b, "QGIM", 4) != 0) return false;
    w_ = b[4] | (b[5] << 8);
    h_ = b[6] | (b[7] << 8);
    frames_ = b[8] | (b[9] << 8);
    if (w_ <= 0 || h_ <= 0 || w_ > 4096 || h_ > 4096 || frames_ <= 0 || frames_ > 64) return false;
    size_t frame = static_cast<size_t>(w_) * static_cast<size_t>(h_) * 3;
    if ((size - 10) / frame < static_cast<size_t>(frames_)) return false;
    bytes_.assign(b + 10, b + 10 + frame * static_cast<size_t>(frames_));
    VMExterne().Note("image " + std::to_string(w_) + "x" + std::to_string(h_) + " " +
                     std::to_string(frames_) + " frames");
    Decode();
    return true;
  }
  int32_t nLargeur() override { return w_; }
  int32_t nHauteur() override { return h_; }
  const uint32_t* pPixels() override { return pixels_.data(); }
  bool bImageSuivante() override {
    if (current_ + 1 >= frames_) return false;
    ++current_;
    VMExterne().Note("frame " + std::to_string(current_));
    Decode();
    return true;
  }

 private:
  void Decode() {
    size_t n = static_cast<size_t>(w_) * static_cast<size_t>(h_);
    pixels_.resize(n);
    const uint8_t* p = bytes_.data() + n * 3 * static_cast<size_t>(current_);
    for (size_t i = 0; i < n; ++i) {
      pixels_[i] = (static_cast<uint32_t>(p[3 * i]) << 16) | (p[3 * i + 1] << 8) | p[3 * i + 2];
    }
  }

  std::atomic<int32_t> refs_{1};
  int32_t w_ = 0, h_ = 0, frames_ = 0, current_ = 0;
  std::vector<uint8_t> bytes_;
  std::vector<uint32_t> pixels_;
};

}  // namespace

qg::IHostComponent* NewImageComponent() { return new StandInImage(); }

StandInVM& VMExterne() {
  static StandInVM* vm = new StandInVM();  // outlives every module's exit-time code
  return *vm;
}

qg::IHostComponent* VMExterneComponent() { return &VMExterne(); }

}  // namespace qghost
