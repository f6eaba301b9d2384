// Synchronous scripts: 1000 vbExecuteJavascript_RetVal("1+1"), p50 and p99,
// against a raw Runtime.evaluate loop on a page session of its own, in the
// same run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "bench/ratio_reporter.h"
#include "browser/cef_browser.h"
#include "browser/cef_manager.h"
#include "browser/engine.h"
#include "errors/module_errors.h"
#include "host/core/string_memory.h"
#include "support/frame/module_services.h"
#include "support/platform/module.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kCalls = 1000;

void Percentiles(benchmark::State& state, std::vector<double> us) {
  std::sort(us.begin(), us.end());
  state.counters["p50_us"] = us[us.size() / 2];
  state.counters["p99_us"] = us[us.size() * 99 / 100];
}

bool Start() {
  static qghost::StringMemory memory;
  qg::Services().piStringMemory = &memory;
  void* instance = qg::ModuleOf(reinterpret_cast<const void*>(&Start));
  return qg::web::CIKQMCef::Instance().InitializeDefault(instance, nullptr);
}

void RawEvaluate(benchmark::State& state) {
  auto engine = qg::web::CIKQMCef::Instance().GetEngine();
  auto target = engine->Call("Target.createTarget", {{"url", "about:blank"}});
  auto attach = engine->Call("Target.attachToTarget",
                             {{"targetId", target.result["targetId"]}, {"flatten", true}});
  const std::string session = attach.result["sessionId"];
  for (auto _ : state) {
    std::vector<double> us;
    for (int i = 0; i < kCalls; ++i) {
      const auto t0 = Clock::now();
      auto r = engine->Conn().Call("Runtime.evaluate", {{"expression", "1+1"}}, session);
      us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
      if (!r.ok) state.SkipWithError("evaluate failed");
    }
    Percentiles(state, us);
  }
  engine->Call("Target.closeTarget", {{"targetId", target.result["targetId"]}});
}

void SyncScript(benchmark::State& state) {
  stCreationBrowser record{};
  record.nVersion = 6;
  record.bWindowless = 1;
  record.nBackground = -1;
  record.pszURL = u"about:blank";
  IKQMBrowserCef* b = qg::web::CIKQMCef::Instance().CreateBrowser(&record);
  if (b == nullptr) {
    state.SkipWithError("no browser");
    return;
  }
  for (auto _ : state) {
    std::vector<double> us;
    for (int i = 0; i < kCalls; ++i) {
      CAny value;
      _CXErrorModule80 error;
      const auto t0 = Clock::now();
      const bool ok = b->vbExecuteJavascript_RetVal(u"1+1", nullptr, &value, &error);
      us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
      if (!ok) state.SkipWithError("script failed");
    }
    Percentiles(state, us);
  }
  b->Release();
}

void PrintRatios(const qg::RatioReporter& r) {
  const std::string ours = "vbExecuteJavascript_RetVal/iterations:1/real_time";
  const std::string raw = "raw_Runtime.evaluate/iterations:1/real_time";
  const double raw50 = r.Counter(raw, "p50_us"), raw99 = r.Counter(raw, "p99_us");
  if (raw50 <= 0 || raw99 <= 0) return;
  std::printf("\np50 %.0f us / %.0f us raw: %.2f\np99 %.0f us / %.0f us raw: %.2f\n",
              r.Counter(ours, "p50_us"), raw50, r.Counter(ours, "p50_us") / raw50,
              r.Counter(ours, "p99_us"), raw99, r.Counter(ours, "p99_us") / raw99);
}

}  // namespace

int main(int argc, char** argv) {
  if (!Start()) {
    std::fprintf(stderr, "the browser engine did not start\n");
    return 1;
  }
  benchmark::RegisterBenchmark("raw_Runtime.evaluate", RawEvaluate)
      ->Iterations(1)
      ->UseRealTime()
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("vbExecuteJavascript_RetVal", SyncScript)
      ->Iterations(1)
      ->UseRealTime()
      ->Unit(benchmark::kMillisecond);
  const int status = qg::RunBenchmarks(argc, argv, PrintRatios);
  qg::web::CIKQMCef::Instance().Shutdown();
  return status;
}
