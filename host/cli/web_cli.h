// qghost web: drives qg300web.so as a host would. Verbs:
//   start                          starts and stops the browser engine, prints both times
//   open [URL] [--html FILE] [--js EXPR] [--png OUT]
//   render [URL] [--html FILE] [--js EXPR] [--png OUT] [--pdf OUT] [--size WxH] [--zoom P]
// The host callback prints each event, procedure call and script error.
#ifndef QG_HOST_CLI_WEB_CLI_H_
#define QG_HOST_CLI_WEB_CLI_H_

#include <ostream>
#include <string>
#include <vector>

namespace qghost {

// Runs `qghost web <args>`; returns the exit status.
int RunWeb(const std::string& lib_dir, const std::vector<std::string>& args, std::ostream& out,
           std::ostream& err);

}  // namespace qghost

#endif  // QG_HOST_CLI_WEB_CLI_H_
