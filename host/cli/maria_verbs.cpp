#include "host/cli/maria_verbs.h"

#include "host/cli/maria_demo.h"
#include "host/cli/maria_query.h"
#include "host/cli/maria_walk.h"

#include "driver/core/host_interfaces.h"
#include "host/cli/maria_module.h"
#include "host/core/driver_objects.h"

namespace qghost {
namespace {

using PFN_Open = bool (*)(void*, INAConnectionDescription*, intptr_t, void**);
using PFN_Transaction = bool (*)(void*, INAConnectionDescription*, const char16_t*, void**);
using PFN_Disconnect = bool (*)(void*, INAConnectionDescription*, void**);
using PFN_Count = int32_t (*)(void*);

bool Report(const char* step, bool ok, void** error, std::ostream& out, std::ostream& err) {
  out << step << ": " << (ok ? "ok" : "failed") << '\n';
  if (!ok && *error != nullptr) err << TakeDriverError(error) << '\n';
  DropDriverError(error);
  return ok;
}

int Connect(const std::string& lib_dir, const std::vector<std::string>& args, std::ostream& out,
            std::ostream& err) {
  MariaModule module(lib_dir, err);
  if (!module.bIsOpen()) return 1;
  ConnectionDescription description;
  description.owned_by_count = false;
  description.data_source = Utf8ToU16(args[1]);
  description.user = Utf8ToU16(args[2]);
  description.password = Utf8ToU16(args[3]);
  description.database = args.size() > 4 ? Utf8ToU16(args[4]) : u"";
  description.extended = args.size() > 5 ? Utf8ToU16(args[5]) : u"";

  void* manager = module.NewManager();
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
  if (!args.empty() && args[0] == "query") {
    WalkOptions options;
    std::string problem;
    if (!ParseQueryArguments({args.begin() + 1, args.end()}, &options, &problem)) {
      err << problem << '\n' << QueryUsage();
      return 2;
    }
    return RunMariaWalk(lib_dir, options, out, err);
  }
  err << "usage: qghost maria connect <source> <user> <password> [database] [extended]\n"
      << WalkUsage() << QueryUsage() << "       qghost maria demo\n";
  return 2;
}

}  // namespace qghost
