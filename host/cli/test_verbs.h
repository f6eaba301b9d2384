// qghost test ...: the test runner driven as the host would, with the
// stand-in host qg300vm.so playing the application.
#ifndef QG_HOST_CLI_TEST_VERBS_H_
#define QG_HOST_CLI_TEST_VERBS_H_

#include <ostream>
#include <string>
#include <vector>

namespace qghost {

// test play DIR LIST [--select TEXT] [--journal PATH]: DIR holds the
// stored lists (<name>.qgl) and optional scenario code (<LIST>.script).
// Fills a parameter zone, plays the list and prints the journal as UTF-8.
// Returns the process exit code.
int RunTestVerb(const std::string& lib_dir, const std::vector<std::string>& args,
                std::ostream& out, std::ostream& err);

}  // namespace qghost

#endif  // QG_HOST_CLI_TEST_VERBS_H_
