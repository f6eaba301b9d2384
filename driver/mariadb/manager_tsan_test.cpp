// Built with ThreadSanitizer: host threads using one driver manager at
// once. Sessions are found or created in a context's registry while the
// context is closed, and a shared connection is opened explicitly (slot
// 41) and disconnected (slot 9) against the private server. A data race is
// a ThreadSanitizer report; a wrong end state is exit status 1.
#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "driver/core/registry.h"
#include "driver/core/registry_child.h"
#include "driver/mariadb/manager_mariadb.h"
#include "driver/mariadb/testing/mariadb_server.h"
#include "host/core/driver_objects.h"
#include "host/core/info_locale.h"
#include "host/core/string_memory.h"
#include "support/frame/module_services.h"

namespace {

class Session : public CNARegistryChild {
 public:
  bool bIsOpen() override { return open.load(); }
  bool bClose(CNAError*) override {
    open = false;
    return true;
  }
  void SetNameSource(CNARegistry* registry) override { source = registry; }
  CNARegistryChild* pclCopy(INACopyContext*, CNAError*) override {
    return NAAddRef(new Session());
  }
  std::atomic<bool> open{true};
  std::atomic<CNARegistry*> source{nullptr};
};

class Manager : public CNAManagerMariaDB {
 public:
  CNARegistryChild* pclNewSession(INAFileDescription*, CNAConnection*, CNAError*) override {
    return new Session();
  }
};

std::u16string U(const std::string& s) { return std::u16string(s.begin(), s.end()); }

}  // namespace

int main() {
  qghost::StringMemory memory;
  qghost::InfoLocale locale;
  qg::Services().piStringMemory = &memory;
  qg::Services().piInfoLocale = &locale;
  qg::rig::ClearClientEnvironment();
  qg::rig::MariaDBServer server;
  std::string error;
  if (!server.Start(&error)) {
    std::fprintf(stderr, "server: %s\n", error.c_str());
    return 1;
  }
  server.RunSql("CREATE DATABASE qgt_tsan; GRANT ALL ON qgt_tsan.* TO 'qg_pass'@'localhost';");
  auto* manager = new Manager();
  manager->AddRef();

  std::vector<std::unique_ptr<qghost::FileDescription>> handles;
  for (int i = 0; i < 6; ++i) handles.push_back(std::make_unique<qghost::FileDescription>(u"T", 5));
  qghost::ConnectionDescription description;
  description.owned_by_count = false;
  description.user = u"qg_pass";
  description.password = u"pass-Word-1";
  description.database = u"qgt_tsan";
  description.data_source = u"localhost";
  description.extended = u"Unix Socket=" + U(server.Socket());

  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 100; ++round) {
        CNAError local;
        if (t == 3 && round % 7 == 0) {
          manager->CloseContext(5);
          continue;
        }
        CNARegistry* registry = manager->pclFindOrCreateRegistry(5, &local);
        if (registry == nullptr) continue;
        bool created = false;
        ReleaseBoth(registry->pclFindOrCreateChild(handles[(t + round) % handles.size()].get(),
                                                   nullptr, &created, &local));
        manager->bDropRegistry(registry);
      }
    });
  }
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 10; ++i) {
        INAError* slot = nullptr;
        if ((t + i) % 2 == 0) {
          manager->bOpenConnection(&description, 0, &slot);
        } else {
          manager->bDisconnect(&description, &slot);
        }
        if (slot != nullptr) slot->Release();
      }
    });
  }
  for (auto& thread : threads) thread.join();
  INAError* slot = nullptr;
  manager->bDisconnect(&description, &slot);
  manager->CloseContext(5);
  int status = 0;
  if (manager->nGetConnectionCount() != 0 || manager->nGetRegistryCount() != 0) {
    std::fprintf(stderr, "left: %u connections, %u registries\n", manager->nGetConnectionCount(),
                 manager->nGetRegistryCount());
    status = 1;
  }
  manager->Release();
  server.Stop();
  return status;
}
