#include "host/cli/maria_verbs.h"

#include "host/cli/maria_demo.h"
#include "host/cli/maria_walk.h"

#include "driver/core/host_interfaces.h"
#include "host/core/driver_objects.h"
#include "host/core/host_runtime.h"
#include "support/frame/execution_protocol.h"
#include "support/platform/codepage.h"
#include "support/platform/module.h"

namespace qghost {
namespace {

std::u16string ToU16(const std::string& text) {
  std::u16string out;
  qg::CodePageToUtf16(qg::kCodePageUtf8, text.data(), static_cast<ptrdiff_t>(text.size()), &out);
  return out;
}

std::string ToU8(const char16_t* text) {
  std::string out;
  if (text != nullptr) qg::Utf16ToCodePage(qg::kCodePageUtf8, text, -1, &out);
  return out;
}

// The manager and its error objects are reached as the host reaches them:
// by slot.
template <typename F>
F Slot(void* object, int n) {
  return reinterpret_cast<F>((*static_cast<void***>(object))[n]);
}

using PFN_Open = bool (*)(void*, INAConnectionDescription*, intptr_t, void**);
using PFN_Transaction = bool (*)(void*, INAConnectionDescription*, const char16_t*, void**);
using PFN_Disconnect = bool (*)(void*, INAConnectionDescription*, void**);
using PFN_Text = const char16_t* (*)(void*);
using PFN_Count = int32_t (*)(void*);
using PFN_Release = void (*)(void*);

bool Report(const char* step, bool ok, void** error, std::ostream& out, std::ostream& err) {
  out << step << ": " << (ok ? "ok" : "failed") << '\n';
  if (*error != nullptr) {
    if (!ok) err << ToU8(Slot<PFN_Text>(*error, 6)(*error)) << '\n';
    Slot<PFN_Release>(*error, 5)(*error);
    *error = nullptr;
  }
  return ok;
}

int Connect(const std::string& lib_dir, const std::vector<std::string>& args, std::ostream& out,
            std::ostream& err) {
  qg::ModuleHandle host = qg::LoadModule((lib_dir + "/qg300vm.so").c_str());
  qg::ModuleHandle maria = qg::LoadModule((lib_dir + "/qg300maria.so").c_str());
  if (host == nullptr || maria == nullptr) {
    err << "cannot load qg300vm.so and qg300maria.so from " << lib_dir << '\n';
    return 1;
  }
  auto runtime_of = reinterpret_cast<HostRuntime* (*)()>(qg::FindSymbol(host, "qghost_Runtime"));
  auto init = reinterpret_cast<int32_t (*)(void*)>(qg::FindSymbol(maria, "bExternalInitLibrary"));
  auto term = reinterpret_cast<int32_t (*)()>(qg::FindSymbol(maria, "ExternalTermLibrary"));
  auto execution =
      reinterpret_cast<intptr_t (*)(int32_t, intptr_t)>(qg::FindSymbol(maria, "Execution"));
  auto query = reinterpret_cast<void* (*)()>(qg::FindSymbol(maria, "piQueryInterface"));
  if (runtime_of == nullptr || init == nullptr || term == nullptr || execution == nullptr ||
      query == nullptr) {
    err << "missing exports\n";
    return 1;
  }
  init(maria);
  qg::ExecutionOpenRecord record{12, reinterpret_cast<intptr_t>(host), 0, 0,
                                 runtime_of()->RuntimeObject()};
  execution(qg::kExecOpen, reinterpret_cast<intptr_t>(&record));

  ConnectionDescription description;
  description.owned_by_count = false;
  description.data_source = ToU16(args[1]);
  description.user = ToU16(args[2]);
  description.password = ToU16(args[3]);
  description.database = args.size() > 4 ? ToU16(args[4]) : u"";
  description.extended = args.size() > 5 ? ToU16(args[5]) : u"";

  void* manager = query();
  void* error = nullptr;
  bool ok = manager != nullptr;
  if (ok) {
    ok = Report("open", Slot<PFN_Open>(manager, 41)(manager, &description, 0, &error), &error,
                out, err);
    if (ok) {
      ok = Report("begin", Slot<PFN_Transaction>(manager, 16)(manager, &description, nullptr,
                                                               &error),
                  &error, out, err) &&
           Report("commit", Slot<PFN_Transaction>(manager, 17)(manager, &description, nullptr,
                                                                &error),
                  &error, out, err);
      Report("disconnect", Slot<PFN_Disconnect>(manager, 9)(manager, &description, &error),
             &error, out, err);
    }
    Slot<PFN_Count>(manager, 6)(manager);
  }
  execution(qg::kExecClose, 0);
  term();
  return ok ? 0 : 1;
}

}  // namespace

int RunMariaVerb(const std::string& lib_dir, const std::vector<std::string>& args,
                 std::ostream& out, std::ostream& err) {
  if (args.size() >= 4 && args[0] == "connect") return Connect(lib_dir, args, out, err);
  if (args.size() == 1 && args[0] == "demo") return RunMariaDemo(lib_dir, out, err);
  if (!args.empty() && args[0] == "walk") {
    WalkOptions options;
    std::string problem;
    if (!ParseWalkArguments({args.begin() + 1, args.end()}, &options, &problem)) {
      err << problem << '\n' << WalkUsage();
      return 2;
    }
    return RunMariaWalk(lib_dir, options, out, err);
  }
  err << "usage: qghost maria connect <source> <user> <password> [database] [extended]\n"
      << WalkUsage() << "       qghost maria demo\n";
  return 2;
}

}  // namespace qghost
