// `qghost maria demo`: starts a private MariaDB server, loads a sample
// table and walks it through qg300maria along a key, printing what it does.
#ifndef QG_HOST_CLI_MARIA_DEMO_H_
#define QG_HOST_CLI_MARIA_DEMO_H_

#include <ostream>
#include <string>

namespace qghost {

// Answers the process exit code; the server is stopped on every path.
int RunMariaDemo(const std::string& lib_dir, std::ostream& out, std::ostream& err);

}  // namespace qghost

#endif  // QG_HOST_CLI_MARIA_DEMO_H_
