// qghost: the command-line host. Verbs: tour [module...], net, maria.
#include <iostream>
#include <string>
#include <vector>

#include "host/cli/maria_verbs.h"
#include "host/cli/net_verbs.h"
#include "host/cli/tour.h"

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
  std::cerr << "usage: qghost tour [module...] | net <verb> ... | maria <verb> ...\n";
  return 2;
}
