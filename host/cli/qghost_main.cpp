// qghost: the command-line host. Verbs: tour [module...], net, maria, test.
#include <iostream>
#include <string>
#include <vector>

#include "host/cli/maria_verbs.h"
#include "host/cli/net_verbs.h"
#include "host/cli/test_verbs.h"
#include "host/cli/tour.h"
#include "host/cli/web_cli.h"

int main(int argc, char** argv) {
  std::string verb = argc > 1 ? argv[1] : "";
  if (verb == "tour") {
    std::vector<std::string> modules;
    for (int i = 2; i < argc; ++i) modules.emplace_back(argv[i]);
    if (modules.empty()) modules.assign(std::begin(qghost::kDeliverables),
                                        std::end(qghost::kDeliverables));
    qghost::TourResult result = qghost::RunTour(qghost::DefaultLibDir(), modules, std::cout);
    std::cout << result.nSteps << " steps, " << result.nFailures << " unexpected\n";
    return result.nFailures == 0 ? 0 : 1;
  }
  if (verb == "net") {
    std::vector<std::string> args(argv + 2, argv + argc);
    return qghost::RunNetVerb(qghost::DefaultLibDir(), args, std::cout, std::cerr);
  }
  if (verb == "maria") {
    std::vector<std::string> args(argv + 2, argv + argc);
    return qghost::RunMariaVerb(qghost::DefaultLibDir(), args, std::cout, std::cerr);
  }
  if (verb == "test") {
    std::vector<std::string> args(argv + 2, argv + argc);
    return qghost::RunTestVerb(qghost::DefaultLibDir(), args, std::cout, std::cerr);
  }
  if (verb == "web") {
    std::vector<std::string> args(argv + 2, argv + argc);
    return qghost::RunWeb(qghost::DefaultLibDir(), args, std::cout, std::cerr);
  }
  // --help on standard output with success; anything else it does not
  // know (no verb included) gets the same text on standard error.
  const bool help = verb == "--help" || verb == "-h" || verb == "help";
  std::ostream& out = help ? std::cout : std::cerr;
  out << "usage: qghost <verb> [arguments]\n"
         "\n"
         "verbs:\n"
         "  tour [module...]   load each module with the stand-in host qg300vm and drive\n"
         "                     it through start-up, open, notifications, queries, close\n"
         "                     and termination, one line per step\n"
         "  net <verb> ...     the .NET connector: its verbs are listed by 'qghost net'\n"
         "  maria <verb> ...   the MariaDB driver: its verbs are listed by 'qghost maria'\n"
         "  test play DIR LIST [--select TEXT] [--journal PATH]\n"
         "                     the test runner plays the stored list LIST of DIR\n"
         "                     against the stand-in host and prints the journal\n"
         "  test record OUT [--type TEXT] [--click] [--seconds N]\n"
         "                     records input into a stand-in window on $DISPLAY\n"
         "  test dump FILE     prints a recording, one record a line\n"
         "  test replay FILE   plays a recording's keys and clicks back through XTest\n"
         "  test xvfb CMD...   runs a command on a private Xvfb display\n"
         "  web <verb> ...     the embedded browser: its verbs are listed by 'qghost web'\n"
         "  --help             this text\n"
         "\n"
         "modules:";
  for (const char* name : qghost::kDeliverables) out << " " << name;
  out << "\n"
         "\n"
         "environment:\n"
         "  QG_LIB_DIR         folder of the modules and qg300vm.so (default: ../lib\n"
         "                     beside this program)\n"
         "  QG_REGISTRY_ROOT   folder of the registry store (default:\n"
         "                     ~/.config/qg300/registry)\n";
  return help ? 0 : 2;
}
