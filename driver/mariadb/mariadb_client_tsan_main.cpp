// Built with ThreadSanitizer: two connections opening for the first time at
// the same moment, each doing what an opening does (load when not loaded,
// then use the table and the version text). Any data race on the binding's
// object, table or version globals is a ThreadSanitizer report; a wrong
// result is exit status 1.
#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "driver/mariadb/client_entry_points.h"
#include "driver/mariadb/client_version.h"
#include "driver/mariadb/mariadb_client.h"
#include "errors/module_errors.h"

namespace {

std::atomic<int> gReady{0};
std::atomic<bool> gGo{false};

bool FirstOpening(std::string* failure) {
  gReady.fetch_add(1);
  while (!gGo.load()) std::this_thread::yield();
  if (!CNAMariaDBClient::bIsLoaded()) {
    _CXErrorModule76 error;
    if (!CNAMariaDBClient::bLoad(&error, nullptr)) {
      *failure = "bLoad failed with message " + std::to_string(error.nGetMessageId(0));
      return false;
    }
  }
  const char* version = gMariaDB.mysql_get_client_info();
  const char16_t* text = gstrClientVersion.pszGet();
  size_t i = 0;
  for (; version[i] != '\0'; ++i) {
    if (text[i] != static_cast<unsigned char>(version[i])) break;
  }
  if (version[i] != '\0' || text[i] != 0 || gnClientVersionMajor < 3) {
    *failure = std::string("version text differs from ") + version;
    return false;
  }
  return true;
}

}  // namespace

int main() {
  for (int round = 0; round < 40; ++round) {
    CNAMariaDBClient::TermInstance();
    gReady.store(0);
    gGo.store(false);
    std::string failures[2];
    bool results[2] = {false, false};
    std::thread a([&] { results[0] = FirstOpening(&failures[0]); });
    std::thread b([&] { results[1] = FirstOpening(&failures[1]); });
    while (gReady.load() < 2) std::this_thread::yield();
    gGo.store(true);
    a.join();
    b.join();
    for (int t = 0; t < 2; ++t) {
      if (!results[t]) {
        std::fprintf(stderr, "round %d, thread %d: %s\n", round, t, failures[t].c_str());
        return 1;
      }
    }
  }
  CNAMariaDBClient::TermInstance();
  std::printf("40 rounds of two simultaneous first openings: no failure\n");
  return 0;
}
