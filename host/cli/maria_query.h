// `qghost maria query`: opens a query through qg300maria as the host opens
// one in place of a table and prints what it gives: every record, as
// `qghost maria walk` prints them, or, for a statement that changes rows,
// how many it changed.
#ifndef QG_HOST_CLI_MARIA_QUERY_H_
#define QG_HOST_CLI_MARIA_QUERY_H_

#include <string>
#include <vector>

#include "host/cli/maria_walk.h"

namespace qghost {

// Parses the words after "query": the server options of the walk, --sql
// TEXT (required), --raw (the text is sent as written), and optionally
// --name N (the handle's name, "QUERY" by default), --key NAME (default:
// the handle's name, the query's own order), --backward, --fetch N.
bool ParseQueryArguments(const std::vector<std::string>& args, WalkOptions* options,
                         std::string* error);

const char* QueryUsage();

}  // namespace qghost

#endif  // QG_HOST_CLI_MARIA_QUERY_H_
