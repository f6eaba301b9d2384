// `qghost maria walk`: reads a table through qg300maria along a key and
// prints every record, one line each. This file holds the argument parsing
// and the line format; the walk itself is RunMariaWalk.
#ifndef QG_HOST_CLI_MARIA_WALK_H_
#define QG_HOST_CLI_MARIA_WALK_H_

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace qghost {

struct WalkOptions {
  // The server: a Unix socket, or a host and a TCP port.
  std::string socket;
  std::string host;
  int port = 0;
  std::string user;
  std::string password;
  std::string database;
  std::string table;
  // A key as the table description names it.
  std::string key;
  bool backward = false;
  // Rows per fetch; 0 leaves the driver's choice.
  int64_t fetch = 0;
  bool has_seek = false;
  std::string seek;
  // A query opened in place of the table (`qghost maria query`): its text
  // (UTF-8), parsed as the host parses queries unless raw.
  bool is_query = false;
  std::string query;
  bool raw = false;
  // Called with each line after it is printed, before the next read (tests
  // write through another connection there).
  std::function<void(const std::string& line)> after_line;
};

// Parses the words after "walk". False with *error set on a missing or
// unknown option, a missing value, a server given both ways or not at all,
// or a number out of range.
bool ParseWalkArguments(const std::vector<std::string>& args, WalkOptions* options,
                        std::string* error);

// One column of a record as the walk prints it.
struct WalkField {
  enum Kind { kNull, kText, kBinary };
  Kind kind = kNull;
  std::u16string text;   // kText
  std::string bytes;     // kBinary
};

// NULL as \N; text as UTF-8 with tab, newline, backslash and NUL written
// \t, \n, \\ and \0 (an unpaired surrogate becomes U+FFFD); binary as
// upper-case hexadecimal.
std::string FormatWalkField(const WalkField& field);
// The fields separated by tabs, ended by a newline.
std::string FormatWalkLine(const std::vector<WalkField>& fields);

// The usage text of the verb.
const char* WalkUsage();

// Loads qg300vm.so and qg300maria.so from `lib_dir`, opens the table
// through the driver as the host does and prints every record read along
// the key, from the seek value when one is given, forwards or backwards.
// Errors go to `err`; answers the process exit code (0, or 1 on failure).
int RunMariaWalk(const std::string& lib_dir, const WalkOptions& options, std::ostream& out,
                 std::ostream& err);

// One write through the driver, as `qghost maria demo` makes them: an
// insert of `values` (column number, text), or, after a seek of
// `seek` along `key`, a modify with `values` or a delete.
struct WalkWrite {
  enum Kind { kInsert, kModify, kDelete };
  Kind kind = kInsert;
  std::string seek;
  std::vector<std::pair<int, std::string>> values;
};

// Runs the writes in order on the table of `options` (its server, table and
// key), printing each one and its outcome; the driver's error goes to `err`.
// Answers the process exit code.
int RunMariaWrites(const std::string& lib_dir, const WalkOptions& options,
                   const std::vector<WalkWrite>& writes, std::ostream& out, std::ostream& err);

}  // namespace qghost

#endif  // QG_HOST_CLI_MARIA_WALK_H_
