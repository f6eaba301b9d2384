// The qghost verbs of the MariaDB driver: `qghost maria <verb> ...`.
#ifndef QG_HOST_CLI_MARIA_VERBS_H_
#define QG_HOST_CLI_MARIA_VERBS_H_

#include <ostream>
#include <string>
#include <vector>

namespace qghost {

// connect <source> <user> <password> [database] [extended information]:
// opens the module as the host does, takes a driver manager, opens the
// described connection (manager slot 41), begins and commits a
// transaction on it (16, 17) and disconnects (9); each step's outcome, or
// the driver's error text, is printed. Answers the process exit code.
int RunMariaVerb(const std::string& lib_dir, const std::vector<std::string>& args,
                 std::ostream& out, std::ostream& err);

}  // namespace qghost

#endif  // QG_HOST_CLI_MARIA_VERBS_H_
