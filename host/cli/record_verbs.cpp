#include "host/cli/record_verbs.h"

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <map>
#include <thread>

#include "errors/module_errors.h"
#include "host/core/external_execution.h"
#include "host/core/host_files.h"
#include "host/core/host_runtime.h"
#include "host/core/language_host.h"
#include "host/core/recording_host.h"
#include "host/x11/x_client.h"
#include "host/x11/xvfb_server.h"
#include "support/any.h"
#include "support/frame/execution_protocol.h"
#include "support/frame/language_abi.h"
#include "support/frame/recorder_abi.h"
#include "support/frame/test_runner_abi.h"
#include "support/param_zone.h"
#include "support/platform/module.h"
#include "testrunner/recorder/recorder.h"
#include "testrunner/recorder/recording_reader.h"

namespace qghost {

namespace {

using PFN_Execution = intptr_t (*)(int32_t, intptr_t);
using PFN_Init = int32_t (*)(void*);
using PFN_Term = int32_t (*)();
using PFN_Bind = int32_t (*)(void*, int32_t, int32_t);
using PFN_Proxy = void* (*)(int32_t);

std::u16string U16(const std::string& s) {
  std::u16string out;
  for (unsigned char c : s) out += static_cast<char16_t>(c);
  return out;
}

// The stand-in application: a window with a text field and a button, made
// by this process, their elements known to the recording service.
struct Application {
  XClient x;
  uint32_t window = 0, field = 0, button = 0;
  std::map<uint32_t, std::string> names;

  bool Open(RecordingService* service) {
    if (!x.Open()) return false;
    window = x.CreateWindow(100, 100, 400, 200, 1, 0);
    field = x.CreateWindow(20, 30, 200, 30, 2, 0, window);
    button = x.CreateWindow(20, 120, 100, 40, 3, 0, window);
    if (window == 0 || field == 0 || button == 0) return false;
    names = {{window, "FEN_Principale"},
             {field, "FEN_Principale:SAI_Nom"},
             {button, "FEN_Principale:BTN_OK"}};
    if (service != nullptr) {
      HostElement& w = service->Add(1, 1, u"FEN_Principale");
      w.window = window;
      HostElement& f = service->Add(2, 16, u"SAI_Nom", &w);
      f.window = field;
      HostElement& b = service->Add(3, 4, u"BTN_OK", &w);
      b.window = button;
      b.mode = 2;
    }
    x.Focus(field);
    return true;
  }
};

// The button as a language function receives it: one item covering it.
// The host locates it by its X window, pushed to the stand-in runtime of
// the library (not to this program's copy of it).
class ButtonElement : public LanguageElement {
 public:
  ButtonElement(ExternalExecution* runtime, uint32_t window) : runtime_(runtime) {
    type = 4;
    name = u"BTN_OK";
    has_items = true;
    items = {u"OK"};
    rectangles[1] = {0, 0, 100, 40};
    identifier = static_cast<int32_t>(window);
  }
  void Localise() override { runtime_->Empile(nullptr, &identifier, 1); }

 private:
  ExternalExecution* runtime_;
};

// Clicks the button the way a played scenario does: the module's click on
// an item (function 22) finds the item's middle and calls host function
// 344, which the stand-in runtime performs through XTest. False when no
// click happened.
bool ClickThroughTheModule(qg::ModuleHandle module, qg::ModuleHandle host, uint32_t button,
                           std::ostream& err) {
  using PFN_Info = intptr_t (*)(int32_t, int32_t);
  auto info = reinterpret_cast<PFN_Info>(qg::FindSymbol(module, "InfoComposante"));
  auto proxy = reinterpret_cast<PFN_Proxy>(qg::FindSymbol(module, "pQueryProxy"));
  auto runtime = reinterpret_cast<ExternalExecution* (*)()>(qg::FindSymbol(host, "qghost_External"));
  if (info == nullptr || proxy == nullptr || runtime == nullptr) return false;
  const auto* table = reinterpret_cast<const qg::EntreeFonction*>(info(21, 0));
  const auto count = static_cast<int32_t>(info(22, 0));
  const qg::FonctionLangage* click = nullptr;
  for (int32_t i = 0; table != nullptr && i < count; ++i) {
    if ((table[i].nIdentifiant & 0xFFFF) == 22) click = table[i].pFonction;
  }
  auto* library = static_cast<qg::IZQLibrary*>(proxy(60));
  if (click == nullptr || library == nullptr) return false;
  ButtonElement element(runtime(), button);
  CAny argument, item;
  argument.SetUIX(reinterpret_cast<intptr_t>(static_cast<qg::IElementLangage*>(&element)));
  item.SetI4(1);
  const CAny* values[] = {&argument, &item};
  qg::ArgumentsAppel call;
  call.nNombre = 2;
  call.ppValeurs = values;
  click->pfnStub(nullptr, library, &call);
  const bool failed = library->pGetError()->nGetNiveau() != 1;
  library->vRelease();
  const std::vector<std::string> log = runtime()->Log();
  if (failed || log.empty() || log.back().rfind("click ", 0) != 0) {
    err << "the click through host function 344 did not happen\n";
    return false;
  }
  return true;
}

int Record(const std::string& lib_dir, const std::string& path, const std::string& text,
           bool click, int seconds, std::ostream& out, std::ostream& err) {
  qg::ModuleHandle host = qg::LoadModule((lib_dir + "/qg300vm.so").c_str());
  qg::ModuleHandle module = qg::LoadModule((lib_dir + "/qg300test.so").c_str());
  if (host == nullptr || module == nullptr) {
    err << "cannot load qg300vm.so and qg300test.so from " << lib_dir << "\n";
    return 1;
  }
  HostRuntime* runtime =
      reinterpret_cast<HostRuntime* (*)()>(qg::FindSymbol(host, "qghost_Runtime"))();
  runtime->Reset();
  RecordingService service;
  runtime->Components().SetExtraComponent(qg::kComponentRecording, &service);
  Application app;
  XClient control;
  if (!app.Open(&service) || !control.Open()) {
    err << "no X display with XTest ($DISPLAY)\n";
    runtime->Components().SetExtraComponent(qg::kComponentRecording, nullptr);
    return 1;
  }
  auto find = [&](const char* name) { return qg::FindSymbol(module, name); };
  reinterpret_cast<PFN_Init>(find("bExternalInitLibrary"))(module);
  reinterpret_cast<PFN_Bind>(find("bInitZQConvFromVM"))(host, 2, 2);
  reinterpret_cast<PFN_Bind>(find("bInitZQCalcFromVM"))(host, 2, 2);
  auto execution = reinterpret_cast<PFN_Execution>(find("Execution"));
  qg::ExecutionOpenRecord record{12, reinterpret_cast<intptr_t>(host), 0, 0,
                                 runtime->RuntimeObject()};
  int status = 1;
  if (execution(qg::kExecOpen, reinterpret_cast<intptr_t>(&record)) != 1) {
    err << "the module does not open\n";
  } else {
    auto* runner = static_cast<qg::ITestFactory*>(reinterpret_cast<PFN_Proxy>(find("pQueryProxy"))(1));
    ContenuZone zone;
    zone.tab[2].push_back(ParamNombre(kCleEtat, 2));
    zone.tab[2].push_back(ParamTexte(kCleSortie, U16(path)));
    CTransBufferParam transfer;
    const std::u16string base = u"VantorMemoryZoneTst_";
    _CXErrorModule54 error;
    IEnregistrementTest* recorder = nullptr;
    if (!transfer.bCree(base.c_str(), zone)) {
      err << "cannot create the parameter zone\n";
    } else {
      runner->PrepareExecution(transfer.clNom().c_str());
      runner->nDemarrageApplication(&runtime->Components().MainVm(), &error);
      recorder = static_cast<IEnregistrementTest*>(reinterpret_cast<PFN_Proxy>(find("pQueryProxy"))(2));
      if (recorder == nullptr || recorder->nDescripteur() < 0) {
        err << "the recorder did not start on the X display\n";
        recorder = nullptr;
      }
    }
    if (recorder != nullptr) {
      // The host's loop: drain whenever the capture's descriptor is
      // readable, until the input stops for a while (or the time given
      // passes).
      std::string missing;
      const bool typed = control.Type(text, &missing);
      if (!typed) err << "cannot type " << missing << " on the X display's keyboard\n";
      control.Sync();
      const bool clicked = !click || ClickThroughTheModule(module, host, app.button, err);
      if (click && clicked) out << "clicked BTN_OK through host function 344\n";
      int events = 0;
      const auto start = std::chrono::steady_clock::now();
      auto last = start;
      for (;;) {
        pollfd p = {recorder->nDescripteur(), POLLIN, 0};
        poll(&p, 1, 50);
        const int n = recorder->nDraine();
        events += n;
        const auto now = std::chrono::steady_clock::now();
        if (n > 0) last = now;
        if (seconds > 0) {
          if (now - start > std::chrono::seconds(seconds)) break;
        } else if (now - last > std::chrono::milliseconds(500) ||
                   now - start > std::chrono::seconds(30)) {
          break;
        }
      }
      out << "recorded " << events << " input events into " << path << "\n";
      status = clicked && typed ? 0 : 1;
    }
    runner->Release();
    execution(qg::kExecClose, 0);
  }
  // Termination releases the recorder, which closes the file.
  reinterpret_cast<PFN_Term>(find("ExternalTermLibrary"))();
  runtime->Components().SetExtraComponent(qg::kComponentRecording, nullptr);
  qg::FreeModule(module);
  qg::FreeModule(host);
  return status;
}

bool ReadRecords(const std::string& path, std::vector<RecordLu>* records, std::ostream& err) {
  std::string bytes, why;
  if (!ReadBoundedFile(path, size_t{256} << 20, &bytes, &why)) {
    err << "cannot read " << why << "\n";
    return false;
  }
  size_t bad = 0;
  if (!bLitEnregistrement(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), records,
                          &bad)) {
    err << path << ": a cut or unknown record at byte " << bad << "\n";
    return false;
  }
  return true;
}

int Dump(const std::string& path, std::ostream& out, std::ostream& err) {
  std::vector<RecordLu> records;
  const bool whole = ReadRecords(path, &records, err);
  for (const RecordLu& r : records) out << DecritRecord(r) << "\n";
  return whole ? 0 : 1;
}

// Plays the recorded keys and clicks back through XTest into the stand-in
// application, with the pauses the runner makes after input (25 ms after
// a key, 100 ms after a button press), and prints what its windows got.
int Replay(const std::string& path, std::ostream& out, std::ostream& err) {
  std::vector<RecordLu> records;
  if (!ReadRecords(path, &records, err)) return 1;
  Application app;
  XClient control;
  if (!app.Open(nullptr) || !control.Open()) {
    err << "no X display with XTest ($DISPLAY)\n";
    return 1;
  }
  app.x.PollInput();  // nothing before the replay
  int played = 0;
  for (const RecordLu& r : records) {
    if (r.nType == 2) {
      const uint32_t message = r.champs[0].nValeur;
      const auto keycode = static_cast<uint8_t>(r.champs[2].nValeur >> 16);
      control.Key(keycode, message == 256 || message == 260);
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
      ++played;
    } else if (r.nType == 17 || r.nType == 18) {
      const uint32_t message = r.champs[0].nValeur;
      int button = 0;
      bool press = false;
      switch (message) {
        case 513: button = 1; press = true; break;
        case 514: button = 1; break;
        case 519: button = 2; press = true; break;
        case 520: button = 2; break;
        case 516: button = 3; press = true; break;
        case 517: button = 3; break;
        default: break;
      }
      if (button == 0) continue;
      control.Motion(static_cast<int32_t>(r.champs[1].nValeur),
                     static_cast<int32_t>(r.champs[2].nValeur));
      control.Button(button, press);
      if (press) std::this_thread::sleep_for(std::chrono::milliseconds(100));
      ++played;
    }
  }
  static const char* const kKinds[] = {"", "", "key press", "key release", "button press",
                                       "button release"};
  for (const XClient::Input& in : app.x.PollInput()) {
    auto name = app.names.find(in.window);
    out << (name != app.names.end() ? name->second : std::to_string(in.window)) << ": "
        << kKinds[in.type] << " " << in.detail;
    if (in.type >= 4) out << " at " << in.x << "," << in.y;
    if ((in.state & 1) != 0) out << " shift";
    if ((in.state & 4) != 0) out << " control";
    out << "\n";
  }
  out << "replayed " << played << " input events\n";
  return 0;
}

// Runs a command with DISPLAY on a private Xvfb server; its exit code.
int WithXvfb(const std::vector<std::string>& command, std::ostream& err) {
  XvfbServer server;
  std::string why;
  if (!server.Start(&why)) {
    err << "no Xvfb: " << why << "\n";
    return 3;
  }
  server.Export();
  const pid_t pid = fork();
  if (pid == 0) {
    std::vector<char*> argv;
    for (const std::string& a : command) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return 1;
  server.Stop();
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

}  // namespace

bool RunRecordVerb(const std::string& lib_dir, const std::vector<std::string>& args,
                   std::ostream& out, std::ostream& err, int* status) {
  if (args.empty()) return false;
  const std::string& verb = args[0];
  if (verb == "record" && args.size() >= 2) {
    std::string text;
    bool click = false;
    int seconds = 0;
    for (size_t i = 2; i < args.size(); ++i) {
      if (args[i] == "--type" && i + 1 < args.size()) text = args[++i];
      else if (args[i] == "--click") click = true;
      else if (args[i] == "--seconds" && i + 1 < args.size()) seconds = std::atoi(args[++i].c_str());
    }
    *status = Record(lib_dir, args[1], text, click, seconds, out, err);
    return true;
  }
  if (verb == "dump" && args.size() == 2) {
    *status = Dump(args[1], out, err);
    return true;
  }
  if (verb == "replay" && args.size() == 2) {
    *status = Replay(args[1], out, err);
    return true;
  }
  if (verb == "xvfb" && args.size() >= 2) {
    *status = WithXvfb(std::vector<std::string>(args.begin() + 1, args.end()), err);
    return true;
  }
  return false;
}

}  // namespace qghost
