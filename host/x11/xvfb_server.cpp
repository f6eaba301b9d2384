#include "host/x11/xvfb_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace qghost {

namespace {

void Ajoute16(std::string& out, size_t v) {
  out += static_cast<char>((v >> 8) & 0xFF);
  out += static_cast<char>(v & 0xFF);
}

void AjouteChamp(std::string& out, const std::string& field) {
  Ajoute16(out, field.size());
  out += field;
}

}  // namespace

// Folders of servers whose test process died (the server itself went with
// it): /tmp/qg_xvfb_<pid>_* of a process that no longer exists.
static void SweepStaleFolders() {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/tmp", error)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("qg_xvfb_", 0) != 0) continue;
    char* end = nullptr;
    const long pid = std::strtol(name.c_str() + 8, &end, 10);
    if (end == name.c_str() + 8 || *end != '_' || pid <= 0) continue;
    if (kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
      std::error_code ignored;
      std::filesystem::remove_all(entry.path(), ignored);
    }
  }
}

bool XvfbServer::Start(std::string* why) {
  Stop();
  SweepStaleFolders();
  std::string pattern = "/tmp/qg_xvfb_" + std::to_string(getpid()) + "_XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    *why = "no temporary folder";
    return false;
  }
  folder_ = pattern;
  authority_ = folder_ + "/auth";
  // One entry for any address and display: family FamilyWild, empty
  // address and number, a fresh cookie.
  std::string cookie(16, '\0');
  if (getrandom(cookie.data(), cookie.size(), 0) != static_cast<ssize_t>(cookie.size())) {
    *why = "no random bytes";
    Stop();
    return false;
  }
  std::string entry;
  Ajoute16(entry, 0xFFFF);
  AjouteChamp(entry, "");
  AjouteChamp(entry, "");
  AjouteChamp(entry, "MIT-MAGIC-COOKIE-1");
  AjouteChamp(entry, cookie);
  {
    std::ofstream out(authority_, std::ios::binary);
    out << entry;
    if (!out) {
      *why = "cannot write the cookie file";
      Stop();
      return false;
    }
  }
  chmod(authority_.c_str(), 0600);

  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    *why = "no pipe";
    Stop();
    return false;
  }
  const pid_t parent = getpid();
  const std::string log = folder_ + "/xvfb.log";
  const pid_t pid = fork();
  if (pid < 0) {
    close(fds[0]);
    close(fds[1]);
    *why = "fork failed";
    Stop();
    return false;
  }
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);
    setpgid(0, 0);  // away from the terminal's signals
    if (dup2(fds[1], 3) < 0) _exit(127);  // dup2 clears close-on-exec
    const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (out >= 0) {
      dup2(out, 1);
      dup2(out, 2);
    }
    const int in = open("/dev/null", O_RDONLY);
    if (in >= 0) dup2(in, 0);
    execlp("Xvfb", "Xvfb", "-displayfd", "3", "-nolisten", "tcp", "-noreset", "-extension",
           "GLX", "-auth", authority_.c_str(), "-screen", "0", "1280x1024x24",
           static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  pid_ = pid;
  std::string number;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  bool done = false;
  while (!done) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) break;
    pollfd p = {fds[0], POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
    char c;
    const ssize_t n = read(fds[0], &c, 1);
    if (n <= 0) break;
    if (c == '\n') {
      done = true;
    } else {
      number += c;
    }
  }
  close(fds[0]);
  if (!done || number.empty()) {
    *why = "Xvfb did not start (see " + log + ")";
    int status;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      if (WIFEXITED(status) && WEXITSTATUS(status) == 127) *why = "Xvfb is not installed";
    }
    Stop();
    return false;
  }
  display_ = ":" + number;
  return true;
}

void XvfbServer::Stop() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    int status;
    waitpid(pid_, &status, 0);
    pid_ = -1;
  }
  if (!folder_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
    folder_.clear();
  }
  display_.clear();
}

void XvfbServer::Export() const {
  setenv("DISPLAY", display_.c_str(), 1);
  setenv("XAUTHORITY", authority_.c_str(), 1);
}

}  // namespace qghost
