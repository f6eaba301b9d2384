// The tour of the command-line host: loads each deliverable, drives it
// through its start-up, open, notifications, queries, close and
// termination, and prints one line per step with the result.
#ifndef QG_HOST_CLI_TOUR_H_
#define QG_HOST_CLI_TOUR_H_

#include <ostream>
#include <string>
#include <vector>

namespace qghost {

// The deliverables in the order toured.
extern const char* const kDeliverables[4];

struct TourResult {
  int nSteps = 0;
  int nFailures = 0;  // steps whose result was not the expected one
};

// Tours the given modules (names without ".so") found in lib_dir, with the
// stand-in host qg300vm.so from the same folder.
TourResult RunTour(const std::string& lib_dir, const std::vector<std::string>& modules,
                   std::ostream& out);

// The folder holding the libraries: $QG_LIB_DIR, else ../lib beside the
// running executable.
std::string DefaultLibDir();

}  // namespace qghost

#endif  // QG_HOST_CLI_TOUR_H_
