#include "host/cli/test_verbs.h"

#include "host/cli/record_verbs.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "errors/module_errors.h"
#include "host/core/host_runtime.h"
#include "support/frame/execution_protocol.h"
#include "support/frame/test_runner_abi.h"
#include "support/platform/module.h"
#include "support/param_zone.h"

namespace qghost {

namespace {

using PFN_Execution = intptr_t (*)(int32_t, intptr_t);
using PFN_Init = int32_t (*)(void*);
using PFN_Term = int32_t (*)();
using PFN_Bind = int32_t (*)(void*, int32_t, int32_t);

std::u16string U16(const std::string& s) {
  // Paths and names given on the command line: ASCII or Latin-1 bytes.
  std::u16string out;
  for (unsigned char c : s) out += static_cast<char16_t>(c);
  return out;
}

// A UTF-16LE file as UTF-8 (characters outside the basic plane as two
// units each).
std::string Utf16FileAsUtf8(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::u16string text(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<char16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                    (static_cast<uint8_t>(bytes[2 * i + 1]) << 8));
  }
  return Utf8Of(text.c_str());
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

int Play(const std::string& lib_dir, const std::string& dir, const std::string& list,
         const std::string& selection, std::string journal, std::ostream& out,
         std::ostream& err) {
  qg::ModuleHandle host = qg::LoadModule((lib_dir + "/qg300vm.so").c_str());
  qg::ModuleHandle module = qg::LoadModule((lib_dir + "/qg300test.so").c_str());
  if (host == nullptr || module == nullptr) {
    err << "cannot load qg300vm.so and qg300test.so from " << lib_dir << "\n";
    return 1;
  }
  HostRuntime* runtime =
      reinterpret_cast<HostRuntime* (*)()>(qg::FindSymbol(host, "qghost_Runtime"))();
  runtime->Reset();
  runtime->Components().SetFixtureFolder(dir);
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
    auto* runner = static_cast<qg::ITestFactory*>(
        reinterpret_cast<void* (*)(int32_t)>(find("pQueryProxy"))(1));
    ScriptedVM& vm = runtime->Components().MainVm();
    vm.SetScript(runner, ReadFile(dir + "/" + list + ".script"));
    // Scripts call the module's language functions with a library object.
    using PFN_Info = intptr_t (*)(int32_t, int32_t);
    auto info = reinterpret_cast<PFN_Info>(find("InfoComposante"));
    auto* library = static_cast<qg::IZQLibrary*>(
        reinterpret_cast<void* (*)(int32_t)>(find("pQueryProxy"))(60));
    vm.SetLanguage(reinterpret_cast<const qg::EntreeFonction*>(info(21, 0)),
                   static_cast<int32_t>(info(22, 0)), library);
    if (journal.empty()) journal = dir + "/" + list + ".jnres";
    ContenuZone zone;
    zone.tab[2].push_back(ParamNombre(kCleEtat, 1));
    zone.tab[2].push_back(ParamTexte(kCleSelection, U16(selection)));
    zone.tab[2].push_back(ParamTexte(kCleSortie, U16(journal)));
    zone.tab[2].push_back(ParamTexte(kCleRepertoire, U16(dir)));
    CTransBufferParam transfer;
    const std::u16string base = u"VantorMemoryZoneTst_" + U16(std::to_string(getpid()));
    if (!transfer.bCree(base.c_str(), zone)) {
      err << "cannot create the parameter zone\n";
    } else {
      runner->PrepareExecution(transfer.clNom().c_str());
      _CXErrorModule54 error;
      const std::u16string name = U16(list);
      const int32_t ran = runner->bExecuteListe(name.c_str(), &vm, &error);
      runner->nFermeJournal();
      for (const std::string& line : vm.Log()) err << "host: " << line << "\n";
      out << Utf16FileAsUtf8(journal) << "\n";
      if (!ran) err << "the list did not run to its end\n";
      status = ran ? 0 : 1;
    }
    vm.SetScript(nullptr, "");
    vm.SetLanguage(nullptr, 0, nullptr);
    if (library != nullptr) library->vRelease();
    runner->Release();
    execution(qg::kExecClose, 0);
  }
  reinterpret_cast<PFN_Term>(find("ExternalTermLibrary"))();
  qg::FreeModule(module);
  qg::FreeModule(host);
  return status;
}

}  // namespace

int RunTestVerb(const std::string& lib_dir, const std::vector<std::string>& args,
                std::ostream& out, std::ostream& err) {
  if (args.size() >= 3 && args[0] == "play") {
    std::string selection, journal;
    for (size_t i = 3; i + 1 < args.size(); i += 2) {
      if (args[i] == "--select") selection = args[i + 1];
      if (args[i] == "--journal") journal = args[i + 1];
    }
    return Play(lib_dir, args[1], args[2], selection, journal, out, err);
  }
  int status = 0;
  if (RunRecordVerb(lib_dir, args, out, err, &status)) return status;
  err << "usage: qghost test play DIR LIST [--select TEXT] [--journal PATH]\n"
         "       qghost test record OUT [--type TEXT] [--click] [--seconds N]\n"
         "       qghost test dump FILE | replay FILE | xvfb COMMAND...\n";
  return 2;
}

}  // namespace qghost
