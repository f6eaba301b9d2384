#include "host/cli/test_verbs.h"

#include "host/cli/record_verbs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>

#include "errors/module_errors.h"
#include "host/core/host_files.h"
#include "host/core/host_runtime.h"
#include "host/core/scripted_vm.h"
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

// Paths and names given on the command line are UTF-8.
std::u16string U16(const std::string& s) { return Utf16Of(s); }

// Journals and scripts printed or read here: no more than this.
constexpr size_t kMaxTextFile = size_t{256} << 20;

// What the journal path held before the play.
struct Stamp {
  bool exists = false;
  struct stat st {};
};

Stamp StampOf(const std::string& path) {
  Stamp s;
  s.exists = stat(path.c_str(), &s.st) == 0;
  return s;
}

bool HeldByAnotherWriter(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_len = 1;
  const bool held = fcntl(fd, F_OFD_GETLK, &fl) == 0 && fl.l_type != F_UNLCK;
  close(fd);
  return held;
}

bool SameTime(const timespec& a, const timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Empty when this play wrote a whole journal at path (a regular file, made
// or rewritten since `before`, ending "</DOC>"), else why not.
std::string JournalFailure(const std::string& path, const Stamp& before) {
  if (U16(path).size() > 260) return "its path is longer than 260 characters";
  const Stamp after = StampOf(path);
  if (after.exists && S_ISDIR(after.st.st_mode)) return "its path names a folder";
  if (HeldByAnotherWriter(path)) return "another run is writing it";
  if (!after.exists || !S_ISREG(after.st.st_mode)) return "it could not be created";
  if (before.exists && before.st.st_ino == after.st.st_ino &&
      SameTime(before.st.st_mtim, after.st.st_mtim) &&
      SameTime(before.st.st_ctim, after.st.st_ctim) && before.st.st_size == after.st.st_size) {
    return "it could not be created";
  }
  static constexpr char16_t kEnd[] = u"\r\n</DOC>";
  char16_t end[8] = {};
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  const bool ended = fd >= 0 && after.st.st_size >= 16 &&
                     pread(fd, end, 16, after.st.st_size - 16) == 16 &&
                     std::char_traits<char16_t>::compare(end, kEnd, 8) == 0;
  if (fd >= 0) close(fd);
  return ended ? "" : "it was not written to its end";
}

// The journal as UTF-8, false when it cannot be read.
bool JournalAsUtf8(const std::string& path, std::string* out, std::string* why) {
  std::string bytes;
  if (!ReadBoundedFile(path, kMaxTextFile, &bytes, why)) return false;
  std::u16string text(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<char16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                    (static_cast<uint8_t>(bytes[2 * i + 1]) << 8));
  }
  *out = Utf8Of(text.c_str());
  return true;
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
    // A list may come without script; a script that is there must read.
    std::string script, why;
    const std::string script_path = dir + "/" + list + ".script";
    if (access(script_path.c_str(), F_OK) == 0 &&
        !ReadBoundedFile(script_path, kMaxTextFile, &script, &why)) {
      err << why << "\n";
      runner->Release();
      execution(qg::kExecClose, 0);
      reinterpret_cast<PFN_Term>(find("ExternalTermLibrary"))();
      qg::FreeModule(module);
      qg::FreeModule(host);
      return 1;
    }
    vm.SetScript(runner, script);
    // Scripts call the module's language functions with a library object.
    using PFN_Info = intptr_t (*)(int32_t, int32_t);
    auto info = reinterpret_cast<PFN_Info>(find("InfoComposante"));
    auto* library = static_cast<qg::IZQLibrary*>(
        reinterpret_cast<void* (*)(int32_t)>(find("pQueryProxy"))(60));
    vm.SetLanguage(reinterpret_cast<const qg::EntreeFonction*>(info(21, 0)),
                   static_cast<int32_t>(info(22, 0)), library);
    // By default the journal goes into the current folder, never into DIR.
    if (journal.empty()) {
      char cwd[4096];
      journal = (getcwd(cwd, sizeof(cwd)) != nullptr ? std::string(cwd) : std::string(".")) +
                "/" + list + ".jnres";
    }
    const Stamp before = StampOf(journal);
    // The runner names files in UTF-16: a path that is not UTF-8 would
    // come back as another name and the journal be written there.
    const bool journal_utf8 = Utf8Of(U16(journal).c_str()) == journal;
    ContenuZone zone;
    zone.tab[2].push_back(ParamNombre(kCleEtat, 1));
    zone.tab[2].push_back(ParamTexte(kCleSelection, U16(selection)));
    zone.tab[2].push_back(ParamTexte(kCleSortie, U16(journal)));
    zone.tab[2].push_back(ParamTexte(kCleRepertoire, U16(dir)));
    CTransBufferParam transfer;
    const std::u16string base = u"VantorMemoryZoneTst_";
    if (!journal_utf8) {
      err << "no journal at " << journal << ": its path is not UTF-8\n";
    } else if (before.exists && !S_ISREG(before.st.st_mode) && !S_ISDIR(before.st.st_mode)) {
      // A pipe or device would take the journal and keep none (a pipe
      // nobody reads stops the run once it is full).
      err << "no journal at " << journal << ": its path names no regular file\n";
    } else if (HeldByAnotherWriter(journal)) {
      err << "no journal at " << journal << ": another run is writing it\n";
    } else if (!transfer.bCree(base.c_str(), zone)) {
      err << "cannot create the parameter zone\n";
    } else {
      runner->PrepareExecution(transfer.clNom().c_str());
      _CXErrorModule54 error;
      const std::u16string name = U16(list);
      const int32_t ran = runner->bExecuteListe(name.c_str(), &vm, &error);
      // A list kept started leaves its journal open until here.
      runner->nFermeJournal();
      transfer.Libere();
      for (const std::string& line : vm.Log()) err << "host: " << line << "\n";
      const std::string failure = JournalFailure(journal, before);
      const bool journal_whole = failure.empty();
      std::string text, why;
      if (!journal_whole) {
        err << "no whole journal at " << journal << ": " << failure << "\n";
      } else if (!JournalAsUtf8(journal, &text, &why)) {
        err << why << "\n";
      } else {
        out << text << "\n";
      }
      if (!ran) {
        err << "the list did not run to its end";
        const char16_t* message = error.pszGetUserMessage();
        if (message != nullptr && *message != 0) {
          err << ": ";
          if (error.nGetIdentifier() != 0) err << "error " << error.nGetIdentifier() << ": ";
          err << Utf8Of(message);
        }
        err << "\n";
      }
      status = ran && journal_whole ? 0 : 1;
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
    bool understood = true;
    for (size_t i = 3; i < args.size() && understood; i += 2) {
      understood = i + 1 < args.size() && (args[i] == "--select" || args[i] == "--journal");
      if (understood) (args[i] == "--select" ? selection : journal) = args[i + 1];
    }
    if (understood) return Play(lib_dir, args[1], args[2], selection, journal, out, err);
  }
  int status = 0;
  if (RunRecordVerb(lib_dir, args, out, err, &status)) return status;
  err << "usage: qghost test play DIR LIST [--select TEXT] [--journal PATH]\n"
         "       qghost test record OUT [--type TEXT] [--click] [--seconds N]\n"
         "       qghost test dump FILE | replay FILE | xvfb COMMAND...\n";
  return 2;
}

}  // namespace qghost
