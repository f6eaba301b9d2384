// The qghost verbs of the .NET connector: `qghost net <verb> ...`.
#ifndef QG_HOST_CLI_NET_VERBS_H_
#define QG_HOST_CLI_NET_VERBS_H_

#include <ostream>
#include <string>
#include <vector>

namespace qghost {

// load <file>: the assembly's strong name and type count.
// find <folder>: the finder's entries for that folder tree.
// Answers the process exit code.
int RunNetVerb(const std::string& lib_dir, const std::vector<std::string>& args,
               std::ostream& out, std::ostream& err);

}  // namespace qghost

#endif  // QG_HOST_CLI_NET_VERBS_H_
