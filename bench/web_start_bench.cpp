// Starting the browser engine: Initialize to its first answer, against a
// bare launch of the same executable with the same switches to its first
// reply over the pipe. The two are measured in pairs, one right after the
// other (the order alternating from pair to pair), so that a load that
// comes and goes on the machine weighs on both sides alike; Shutdown and
// the bare browser's close are not timed.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
#include "browser/app_callback.h"
#include "browser/cef_manager.h"
#include "browser/devtools/connection.h"
#include "support/platform/module.h"

namespace {

using Clock = std::chrono::steady_clock;

// The bare side: the process with the pipe, then Browser.getVersion. Its
// time in ms, < 0 when it failed.
double BareLaunch(const std::vector<std::string>& argv) {
  const Clock::time_point start = Clock::now();
  int err = 0;
  auto c = qg::devtools::Connection::Launch(argv, nullptr, &err, true);
  if (!c || !c->Call("Browser.getVersion", nullptr, {}, 30000).ok) return -1;
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  c->CallAsync("Browser.close", nullptr, {}, nullptr);
  if (!c->WaitExit(5000)) c->Kill();
  return ms;
}

// The module's side: Initialize, then Shutdown untimed.
double Initialize(void* instance) {
  qg::web::CIKQMCef& m = qg::web::CIKQMCef::Instance();
  const Clock::time_point start = Clock::now();
  if (!m.InitializeDefault(instance, nullptr)) return -1;
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  m.Shutdown();
  return ms;
}

std::vector<double> g_ratios;  // per pair, Initialize over bare

void Pairs(benchmark::State& state) {
  const std::string exe = getenv("QG300WEB_BROWSER") != nullptr
                              ? getenv("QG300WEB_BROWSER")
                              : "/usr/lib/chromium/chromium-headless-shell";
  const std::string profile = qg::web::CacheRoot() + "/bare";
  qg::web::CAppCallbackPourCef app(0, false);
  const auto argv = qg::web::BuildArgv(
      exe, {}, profile, qg::web::UserLanguage(),
      app.OnBeforeCommandLineProcessing("", qg::web::ReadMachineFacts()));
  void* instance = qg::ModuleOf(reinterpret_cast<const void*>(&BareLaunch));
  double bare_sum = 0, init_sum = 0;
  int pair = 0;
  for (auto _ : state) {
    double bare, init;
    if (pair++ % 2 == 0) {
      bare = BareLaunch(argv);
      init = Initialize(instance);
    } else {
      init = Initialize(instance);
      bare = BareLaunch(argv);
    }
    if (bare <= 0 || init <= 0) {
      state.SkipWithError(bare <= 0 ? "the bare launch failed" : "Initialize failed");
      break;
    }
    state.SetIterationTime((bare + init) / 1000.0);
    bare_sum += bare;
    init_sum += init;
    g_ratios.push_back(init / bare);
  }
  qg::FreeModule(instance);
  if (pair > 0) {
    state.counters["bare_ms"] = bare_sum / pair;
    state.counters["init_ms"] = init_sum / pair;
  }
}

void PrintRatios(const qg::RatioReporter& r) {
  const std::string name = "start_pairs/iterations:9/manual_time";
  const double bare = r.Counter(name, "bare_ms");
  if (!r.Ran(name) || bare <= 0 || g_ratios.empty()) return;
  std::vector<double> sorted = g_ratios;
  std::sort(sorted.begin(), sorted.end());
  std::printf("\nInitialize to first answer / bare launch to first reply, in pairs of the same run:\n");
  std::printf("  mean times: %.2f (%.0f ms / %.0f ms); median pair: %.2f\n",
              r.Counter(name, "init_ms") / bare, r.Counter(name, "init_ms"), bare,
              sorted[sorted.size() / 2]);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::RegisterBenchmark("start_pairs", Pairs)
      ->Unit(benchmark::kMillisecond)
      ->Iterations(9)
      ->UseManualTime();
  return qg::RunBenchmarks(argc, argv, PrintRatios);
}
