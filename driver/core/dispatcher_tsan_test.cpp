// Built with ThreadSanitizer: host threads driving table handles through
// dispatchers at once. Threads open one table key together, forward calls
// on their own handles and on shared ones, take and drop dispatcher
// references, while another thread keeps closing a context whose handles
// are in use. A data race is a ThreadSanitizer report; a wrong end state
// (two dispatchers for one key, a call reaching a closed context's session
// once it was reopened, objects left behind) is exit status 1.
#include <atomic>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include "driver/core/connection.h"
#include "driver/core/dispatcher.h"
#include "driver/core/manager.h"
#include "driver/core/session.h"
#include "host/core/driver_objects.h"
#include "host/core/info_locale.h"
#include "host/core/string_memory.h"
#include "support/frame/module_services.h"

namespace {

class Connection : public CNAConnection {
 public:
  Connection(const char16_t* key, INAConnectionDescription* d, CNAManager* m)
      : CNAConnection(key, d, m) {}
  bool bOpen(CNAError*, int32_t) override { return true; }
  bool bIsOpen() override { return true; }
  bool bClose(CNAError*) override { return true; }
  CNAConnection* pclCreate(INACopyContext*, intptr_t, intptr_t) override { return nullptr; }
};

std::atomic<long> g_nCalls{0};

class Session : public CNASession {
 public:
  using CNASession::CNASession;
  bool bOpenTable(intptr_t out, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t,
                  CNAError*) override {
    CNALock lock(&m_clLock);
    if (out != 0) *reinterpret_cast<int32_t*>(out) = 1;
    m_bOpen = true;
    return true;
  }
  bool bAdd(intptr_t, intptr_t, CNAError*) override {
    CNAPendingNotifications pending(this);
    CNALock lock(&m_clLock);
    ++m_nAdds;
    ++g_nCalls;
    pending.bAdd(3, nullptr, 1);
    return true;
  }
  void ApplyNotification(int32_t, intptr_t, intptr_t, CNAError*) override {
    CNALock lock(&m_clLock);
    ++m_nSeen;
  }
  long m_nAdds = 0;
  long m_nSeen = 0;
};

class Manager : public CNAManager {
 public:
  CNAConnection* pclNewConnection(const char16_t* key, INAConnectionDescription* d) override {
    return new Connection(key, d, this);
  }
  CNARegistryChild* pclNewSession(INAFileDescription* file, CNAConnection* connection,
                                  CNAError*) override {
    return new Session(file, connection);
  }
};

}  // namespace

int main() {
  qghost::StringMemory memory;
  qghost::InfoLocale locale;
  qg::Services().piStringMemory = &memory;
  qg::Services().piInfoLocale = &locale;
  auto* manager = new Manager();
  manager->AddRef();
  qghost::ConnectionDescription description;
  description.owned_by_count = false;
  description.user = u"u";
  description.database = u"db";

  constexpr int kThreads = 8;
  constexpr int kRounds = 400;
  // Context 1: one handle per thread and two shared; context 9: closed
  // and reopened while used.
  std::vector<std::unique_ptr<qghost::FileDescription>> own, shared, closing;
  for (int t = 0; t < kThreads; ++t) own.push_back(std::make_unique<qghost::FileDescription>(u"T", 1));
  for (int i = 0; i < 2; ++i) shared.push_back(std::make_unique<qghost::FileDescription>(u"T", 1));
  for (int i = 0; i < 2; ++i) closing.push_back(std::make_unique<qghost::FileDescription>(u"T", 9));

  std::atomic<int> ready{0};
  std::vector<CNADispatcher*> opened(kThreads, nullptr);
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      ++ready;
      while (ready.load() < kThreads) std::this_thread::yield();
      // Everyone opens the same table key at once.
      INAError* slot = nullptr;
      CNADispatcher* dispatcher = nullptr;
      if (!manager->bOpenTable(&description, own[t].get(), 0, &dispatcher, &slot)) ++failures;
      if (slot != nullptr) slot->Release();
      opened[t] = dispatcher;
      if (t < 2) {
        CNADispatcher* extra = nullptr;
        manager->bOpenTable(&description, shared[t].get(), 0, &extra, nullptr);
        if (extra != nullptr) extra->Release();
      }
      for (int round = 0; round < kRounds && dispatcher != nullptr; ++round) {
        INAError* error = nullptr;
        if (!dispatcher->bAdd(own[t].get(), 0, 0, &error)) ++failures;
        dispatcher->AddRef();
        dispatcher->bAdd(shared[round % 2].get(), 0, 0, &error);
        dispatcher->Release();
        if (error != nullptr) error->Release();
        // Context 9: open, call, and sometimes close, with the closer
        // thread racing; an unknown handle is a normal answer there.
        const int c = round % 2;
        if (t == kThreads - 1 && round % 5 == 0) {
          manager->CloseContext(9);
          continue;
        }
        CNADispatcher* other = nullptr;
        if (manager->bOpenTable(&description, closing[c].get(), 0, &other, nullptr)) {
          INAError* e2 = nullptr;
          other->bAdd(closing[c].get(), 0, 0, &e2);
          if (e2 != nullptr) e2->Release();
          other->bIsOpen(closing[c].get());
          other->Release();
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();

  int status = 0;
  for (int t = 1; t < kThreads; ++t) {
    if (opened[t] != opened[0]) {
      std::fprintf(stderr, "two dispatchers for one key\n");
      status = 1;
    }
  }
  if (failures.load() != 0) {
    std::fprintf(stderr, "%d calls failed on live handles\n", failures.load());
    status = 1;
  }
  // Every own-handle call reached its session.
  if (g_nCalls.load() < static_cast<long>(kThreads) * kRounds) {
    std::fprintf(stderr, "calls lost: %ld\n", g_nCalls.load());
    status = 1;
  }
  for (int t = 0; t < kThreads; ++t) {
    if (opened[t] != nullptr) opened[t]->bClose(own[t].get(), 0, nullptr);
  }
  for (auto& handle : shared) {
    if (opened[0] != nullptr) opened[0]->bClose(handle.get(), 0, nullptr);
  }
  manager->CloseContext(9);
  manager->CloseContext(1);
  for (int t = 0; t < kThreads; ++t) {
    if (opened[t] != nullptr) opened[t]->Release();
  }
  if (manager->nGetDispatcherCount() != 0 || manager->nGetRegistryCount() != 0 ||
      manager->nGetConnectionCount() != 0) {
    std::fprintf(stderr, "left: %u dispatchers, %u registries, %u connections\n",
                 manager->nGetDispatcherCount(), manager->nGetRegistryCount(),
                 manager->nGetConnectionCount());
    status = 1;
  }
  manager->Release();
  return status;
}
