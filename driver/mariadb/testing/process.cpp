#include "driver/mariadb/testing/process.h"

#include <fcntl.h>
#include <ftw.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace qg::rig {

std::string FindProgram(const std::string& name) {
  if (name.find('/') != std::string::npos) return name;
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "";
  // Server programs live in sbin, which a non-root PATH often leaves out.
  dirs += ":/usr/local/sbin:/usr/sbin:/sbin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string dir = dirs.substr(start, end - start);
    if (!dir.empty()) {
      std::string candidate = dir + "/" + name;
      if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    start = end + 1;
  }
  return std::string();
}

pid_t SpawnProcess(const std::vector<std::string>& argv, const std::string& log_path) {
  if (argv.empty()) return -1;
  const std::string program = FindProgram(argv[0]);
  if (program.empty()) {
    WriteFile(log_path, argv[0] + ": not found in PATH or sbin\n");
    return -1;
  }
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  int log = open(log_path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (log < 0) return -1;
  int null_in = open("/dev/null", O_RDONLY | O_CLOEXEC);
  pid_t parent = getpid();
  pid_t pid = fork();
  if (pid == 0) {
    // Only async-signal-safe calls from here on.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    if (null_in >= 0) dup2(null_in, 0);
    dup2(log, 1);
    dup2(log, 2);
    close_range(3, ~0U, 0);
    execv(program.c_str(), args.data());
    _exit(127);
  }
  close(log);
  if (null_in >= 0) close(null_in);
  return pid;
}

static int StatusToCode(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

int WaitProcess(pid_t pid) {
  if (pid <= 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return StatusToCode(status);
}

bool WaitProcessFor(pid_t pid, int timeout_ms, int* code) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    int status = 0;
    pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) {
      *code = StatusToCode(status);
      return true;
    }
    if (r < 0 && errno != EINTR) {
      *code = -1;
      return true;
    }
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

int RunProcess(const std::vector<std::string>& argv, const std::string& log_path) {
  return WaitProcess(SpawnProcess(argv, log_path));
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

bool WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  return static_cast<bool>(out);
}

void RemoveTree(const std::string& path) {
  if (path.empty()) return;
  nftw(
      path.c_str(),
      [](const char* p, const struct stat*, int, struct FTW*) {
        std::remove(p);
        return 0;
      },
      16, FTW_DEPTH | FTW_PHYS);
}

}  // namespace qg::rig
