#include "browser/external_opener.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cctype>
#include <mutex>
#include <thread>

extern char** environ;

namespace qg::web {

namespace {

std::mutex g_mu;
std::function<void(const std::string&)> g_test_opener;

bool StartsWithNoCase(const std::string& s, const char* prefix) {
  size_t i = 0;
  for (; prefix[i] != 0; ++i) {
    if (i >= s.size() ||
        std::tolower(static_cast<unsigned char>(s[i])) != static_cast<unsigned char>(prefix[i])) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool bExternallyOpenable(const std::string& url) {
  return StartsWithNoCase(url, "http://") || StartsWithNoCase(url, "https://") ||
         StartsWithNoCase(url, "mailto:");
}

bool OpenExternally(const std::string& url) {
  if (!bExternallyOpenable(url)) return false;
  {
    std::lock_guard<std::mutex> lock(g_mu);
    if (g_test_opener) {
      g_test_opener(url);
      return true;
    }
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  // "--" is not used: xdg-open takes one argument, and the URL cannot start
  // with a dash after the scheme check.
  char* argv[] = {const_cast<char*>("xdg-open"), const_cast<char*>(url.c_str()), nullptr};
  pid_t pid = -1;
  const int rc = posix_spawnp(&pid, "xdg-open", &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;
  std::thread([pid] { waitpid(pid, nullptr, 0); }).detach();  // no zombie left
  return true;
}

void SetExternalOpenerForTest(std::function<void(const std::string&)> opener) {
  std::lock_guard<std::mutex> lock(g_mu);
  g_test_opener = std::move(opener);
}

}  // namespace qg::web
