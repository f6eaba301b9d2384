// qghost test record / dump / replay / xvfb: the test runner's recorder
// driven as the host would, on the X display of $DISPLAY, with a stand-in
// application window made by qghost itself.
#ifndef QG_HOST_CLI_RECORD_VERBS_H_
#define QG_HOST_CLI_RECORD_VERBS_H_

#include <ostream>
#include <string>
#include <vector>

namespace qghost {

// True when args[0] is one of the verbs here; *status is then the exit code.
bool RunRecordVerb(const std::string& lib_dir, const std::vector<std::string>& args,
                   std::ostream& out, std::ostream& err, int* status);

}  // namespace qghost

#endif  // QG_HOST_CLI_RECORD_VERBS_H_
