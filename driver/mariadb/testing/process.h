// Child processes for the test rig: run a program with its output going to
// a file, without a shell.
#ifndef QG_DRIVER_MARIADB_TESTING_PROCESS_H_
#define QG_DRIVER_MARIADB_TESTING_PROCESS_H_

#include <sys/types.h>

#include <string>
#include <vector>

namespace qg::rig {

// The program's path: a name with '/' as it is, else the first executable
// of that name in PATH, then in /usr/local/sbin, /usr/sbin and /sbin; empty
// when none.
std::string FindProgram(const std::string& name);

// Starts argv[0] (found by FindProgram) with stdin from /dev/null and stdout
// and stderr appended to log_path. The child is killed when the thread that
// started it ends (normally the main thread: when this process dies).
// Returns the child's id, or -1 (the log then says why when it can).
pid_t SpawnProcess(const std::vector<std::string>& argv, const std::string& log_path);

// Waits for a child; its exit code, or 128 + signal number, or -1.
int WaitProcess(pid_t pid);

// Waits at most timeout_ms; true with *status set when it ended.
bool WaitProcessFor(pid_t pid, int timeout_ms, int* status);

// SpawnProcess then WaitProcess.
int RunProcess(const std::vector<std::string>& argv, const std::string& log_path);

// The whole content of a file; empty when it cannot be read.
std::string ReadFile(const std::string& path);

// Writes a file; false on failure.
bool WriteFile(const std::string& path, const std::string& content);

// Removes a folder and everything under it.
void RemoveTree(const std::string& path);

}  // namespace qg::rig

#endif  // QG_DRIVER_MARIADB_TESTING_PROCESS_H_
