#include "host/cli/maria_query.h"

namespace qghost {

const char* QueryUsage() {
  return "       qghost maria query (--socket PATH | --host H --port N) --user U [--password P]\n"
         "         --database DB --sql TEXT [--raw] [--name N] [--key NAME] [--backward]\n"
         "         [--fetch N]\n";
}

bool ParseQueryArguments(const std::vector<std::string>& args, WalkOptions* options,
                         std::string* error) {
  // The walk's own options go to its parser; the handle's name stands in
  // for the table.
  std::vector<std::string> rest;
  std::string sql;
  std::string name = "QUERY";
  bool has_sql = false;
  bool raw = false;
  bool has_key = false;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--raw") {
      raw = true;
      continue;
    }
    if (args[i] == "--table" || args[i] == "--seek") {
      *error = "unknown option " + args[i];
      return false;
    }
    if (args[i] == "--sql" || args[i] == "--name") {
      if (i + 1 >= args.size()) {
        *error = args[i] + " needs a value";
        return false;
      }
      if (args[i] == "--sql") {
        sql = args[++i];
        has_sql = true;
      } else {
        name = args[++i];
      }
      continue;
    }
    if (args[i] == "--key") has_key = true;
    rest.push_back(args[i]);
  }
  if (!has_sql || sql.empty()) {
    *error = "--sql is required";
    return false;
  }
  if (name.empty()) {
    *error = "--name needs a value";
    return false;
  }
  rest.insert(rest.end(), {"--table", name});
  if (!has_key) rest.insert(rest.end(), {"--key", name});
  if (!ParseWalkArguments(rest, options, error)) return false;
  options->is_query = true;
  options->query = sql;
  options->raw = raw;
  return true;
}

}  // namespace qghost
