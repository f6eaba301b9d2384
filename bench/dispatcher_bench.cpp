// A host call forwarded by a dispatcher (one-entry cache hit) against the
// same call made on the session directly, on one thread; and the forwarded
// call's throughput on 8 threads, each on its own handle (its own table),
// against one thread's.
//
// The same work on both sides, per call: the session's add (its lock and a
// count), with an error object made once and reused, wiped only after a
// call left something in it.
// - Direct: the caller holds the session (a reference taken before the
//   loop) and its own error object, and calls the session's add.
// - Forwarded: the host's call through the dispatcher's slot 17: the
//   handle's context number and name resolve the session through the
//   one-entry cache, the session is kept alive for the call, the thread's
//   error object goes to the session, a failure would be handed out.
// Neither side builds an error object per call.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/ratio_reporter.h"
#include "driver/core/connection.h"
#include "driver/core/dispatcher.h"
#include "driver/core/manager.h"
#include "driver/core/session.h"
#include "host/core/driver_objects.h"
#include "host/core/info_locale.h"
#include "host/core/string_memory.h"
#include "support/frame/module_services.h"

namespace {

constexpr int kCalls = 200000;
constexpr int kThreads = 8;

class Connection : public CNAConnection {
 public:
  Connection(const char16_t* key, INAConnectionDescription* d, CNAManager* m)
      : CNAConnection(key, d, m) {}
  bool bOpen(CNAError*, int32_t) override { return true; }
  bool bIsOpen() override { return true; }
  bool bClose(CNAError*) override { return true; }
  CNAConnection* pclCreate(INACopyContext*, intptr_t, intptr_t) override { return nullptr; }
};

// A session whose add takes its lock and counts: the work a real
// operation does around its SQL.
class Session : public CNASession {
 public:
  using CNASession::CNASession;
  bool bOpenTable(intptr_t out, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t,
                  CNAError*) override {
    if (out != 0) *reinterpret_cast<int32_t*>(out) = 1;
    return true;
  }
  bool bAdd(intptr_t, intptr_t, CNAError*) override {
    CNALock lock(&m_clLock);
    ++m_nAdds;
    return true;
  }
  long m_nAdds = 0;
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

struct World {
  World() {
    qg::Services().piStringMemory = &memory;
    qg::Services().piInfoLocale = &locale;
    manager = new Manager();
    manager->AddRef();
    description.owned_by_count = false;
    for (int t = 0; t < kThreads; ++t) {
      std::u16string table = u"T" + std::u16string(1, static_cast<char16_t>(u'0' + t));
      handles.push_back(std::make_unique<qghost::FileDescription>(table, 1));
      CNADispatcher* dispatcher = nullptr;
      manager->bOpenTable(&description, handles.back().get(), 0, &dispatcher, nullptr);
      dispatchers.push_back(dispatcher);
      sessions.push_back(dispatcher != nullptr
                             ? dispatcher->pclFindSession(handles.back().get())
                             : nullptr);
    }
    // A second handle on the first table: the same dispatcher.
    second = std::make_unique<qghost::FileDescription>(u"T0", 1);
    CNADispatcher* same = nullptr;
    manager->bOpenTable(&description, second.get(), 0, &same, nullptr);
    if (same != dispatchers[0]) second.reset();
  }
  qghost::StringMemory memory;
  qghost::InfoLocale locale;
  Manager* manager = nullptr;
  qghost::ConnectionDescription description;
  std::vector<std::unique_ptr<qghost::FileDescription>> handles;
  std::vector<CNADispatcher*> dispatchers;
  std::vector<CNASession*> sessions;  // one reference each, kept for the run
  std::unique_ptr<qghost::FileDescription> second;
};

World& TheWorld() {
  static World* world = new World();
  return *world;
}

void Forward(int t, int calls) {
  World& w = TheWorld();
  CNADispatcher* d = w.dispatchers[t];
  INAFileDescription* h = w.handles[t].get();
  for (int i = 0; i < calls; ++i) {
    INAError* slot = nullptr;
    benchmark::DoNotOptimize(d->bAdd(h, 0, 0, &slot));
  }
}

void Direct(int t, int calls) {
  CNASession* s = TheWorld().sessions[t];
  CNAError e;
  for (int i = 0; i < calls; ++i) {
    benchmark::DoNotOptimize(s->bAdd(0, 0, &e));
    if (!e.bIsUntouched()) {
      e.Reset();
      e.SetSilent(false);
    }
  }
  benchmark::DoNotOptimize(e);
}

void BM_Direct(benchmark::State& state) {
  if (TheWorld().sessions[0] == nullptr) state.SkipWithError("no session");
  for (auto _ : state) Direct(0, kCalls);
}
BENCHMARK(BM_Direct)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Forwarded(benchmark::State& state) {
  if (TheWorld().dispatchers[0] == nullptr) state.SkipWithError("no dispatcher");
  for (auto _ : state) Forward(0, kCalls);
}
BENCHMARK(BM_Forwarded)->Unit(benchmark::kMillisecond)->UseRealTime();

// Two handles of one table taking turns on one thread: every call misses
// the one-entry cache, finds its session in the registry and replaces the
// cache's entry. Against the direct calls: what a miss costs.
void BM_ForwardedTwoHandles(benchmark::State& state) {
  World& w = TheWorld();
  if (w.second == nullptr) state.SkipWithError("no second handle");
  for (auto _ : state) {
    CNADispatcher* d = w.dispatchers[0];
    INAFileDescription* handles[2] = {w.handles[0].get(), w.second.get()};
    for (int i = 0; i < kCalls; ++i) {
      INAError* slot = nullptr;
      benchmark::DoNotOptimize(d->bAdd(handles[i & 1], 0, 0, &slot));
    }
  }
}
BENCHMARK(BM_ForwardedTwoHandles)->Unit(benchmark::kMillisecond)->UseRealTime();

// The two sides in back-to-back chunks on one thread, so that both meet the
// same load of the machine: the median over pairs of a pair's forwarded
// time over its direct time, and the same for the fastest chunk of each.
double g_nPairMedian = 0;
double g_nBestRatio = 0;

void BM_AlternatingChunks(benchmark::State& state) {
  if (TheWorld().sessions[0] == nullptr) state.SkipWithError("no session");
  constexpr int kChunk = 5000;
  constexpr int kPairs = 41;
  using Clock = std::chrono::steady_clock;
  std::vector<double> ratios;
  double best_direct = 1e300;
  double best_forwarded = 1e300;
  for (auto _ : state) {
    for (int p = 0; p < kPairs; ++p) {
      auto t0 = Clock::now();
      Direct(0, kChunk);
      auto t1 = Clock::now();
      Forward(0, kChunk);
      auto t2 = Clock::now();
      double direct = std::chrono::duration<double>(t1 - t0).count();
      double forwarded = std::chrono::duration<double>(t2 - t1).count();
      ratios.push_back(forwarded / direct);
      best_direct = std::min(best_direct, direct);
      best_forwarded = std::min(best_forwarded, forwarded);
    }
  }
  std::nth_element(ratios.begin(), ratios.begin() + ratios.size() / 2, ratios.end());
  g_nPairMedian = ratios[ratios.size() / 2];
  g_nBestRatio = best_forwarded / best_direct;
  state.counters["direct_ns"] = best_direct * 1e9 / kChunk;
  state.counters["forwarded_ns"] = best_forwarded * 1e9 / kChunk;
}
BENCHMARK(BM_AlternatingChunks)->Unit(benchmark::kMillisecond)->UseRealTime();

// 8 threads, kCalls each: the wall time of the whole batch.
void BM_Forwarded8Threads(benchmark::State& state) {
  for (int t = 0; t < kThreads; ++t) {
    if (TheWorld().dispatchers[t] == nullptr) state.SkipWithError("no dispatcher");
  }
  for (auto _ : state) {
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) threads.emplace_back(Forward, t, kCalls);
    for (auto& thread : threads) thread.join();
  }
}
BENCHMARK(BM_Forwarded8Threads)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same batch calling the sessions directly: what the machine allows.
void BM_Direct8Threads(benchmark::State& state) {
  for (int t = 0; t < kThreads; ++t) {
    if (TheWorld().sessions[t] == nullptr) state.SkipWithError("no session");
  }
  for (auto _ : state) {
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) threads.emplace_back(Direct, t, kCalls);
    for (auto& thread : threads) thread.join();
  }
}
BENCHMARK(BM_Direct8Threads)->Unit(benchmark::kMillisecond)->UseRealTime();

void PrintRatios(const qg::RatioReporter& r) {
  std::printf("\nratio (same run)\n");
  double ratio = 0;
  if (r.Ratio("BM_Forwarded/real_time", "BM_Direct/real_time", &ratio)) {
    std::printf("  forwarded call (cache hit) / direct session call   %5.2f (goal <= 1.2)\n",
                ratio);
  }
  if (g_nPairMedian > 0) {
    std::printf("  the same in alternating chunks: median pair        %5.2f\n", g_nPairMedian);
    std::printf("  the same in alternating chunks: fastest of each    %5.2f\n", g_nBestRatio);
  }
  if (r.Ratio("BM_ForwardedTwoHandles/real_time", "BM_Direct/real_time", &ratio)) {
    std::printf("  two handles taking turns (cache misses) / direct   %5.2f\n", ratio);
  }
  double one = r.Time("BM_Forwarded/real_time");
  double eight = r.Time("BM_Forwarded8Threads/real_time");
  if (one > 0 && eight > 0) {
    std::printf("  8 threads' throughput / one thread's (own handles) %5.2f (goal >= 4)\n",
                kThreads * one / eight);
  }
  double direct_one = r.Time("BM_Direct/real_time");
  double direct_eight = r.Time("BM_Direct8Threads/real_time");
  if (direct_one > 0 && direct_eight > 0) {
    std::printf("  the same for direct session calls (machine's share) %5.2f\n",
                kThreads * direct_one / direct_eight);
  }
  std::printf("  (%u hardware threads)\n", std::thread::hardware_concurrency());
}

}  // namespace

int main(int argc, char** argv) { return qg::RunBenchmarks(argc, argv, PrintRatios); }
