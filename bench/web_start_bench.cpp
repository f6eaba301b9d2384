// Starting the browser engine: Initialize to its first answer, against a
// bare launch of the same executable with the same switches to its first
// reply over the pipe, in the same run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "bench/ratio_reporter.h"
#include "browser/app_callback.h"
#include "browser/cef_manager.h"
#include "browser/devtools/connection.h"
#include "support/platform/module.h"

namespace {

void BareLaunch(benchmark::State& state) {
  const std::string exe = getenv("QG300WEB_BROWSER") != nullptr
                              ? getenv("QG300WEB_BROWSER")
                              : "/usr/lib/chromium/chromium-headless-shell";
  const std::string profile = qg::web::CacheRoot() + "/bare";
  qg::web::CAppCallbackPourCef app(0, false);
  const auto argv = qg::web::BuildArgv(exe, {}, profile, qg::web::UserLanguage(),
                                       app.OnBeforeCommandLineProcessing("", qg::web::ReadMachineFacts()));
  for (auto _ : state) {
    int err = 0;
    auto c = qg::devtools::Connection::Launch(argv, nullptr, &err, true);
    if (!c || !c->Call("Browser.getVersion", nullptr, {}, 30000).ok) {
      state.SkipWithError("the bare launch failed");
      break;
    }
    state.PauseTiming();
    c->CallAsync("Browser.close", nullptr, {}, nullptr);
    if (!c->WaitExit(5000)) c->Kill();
    c.reset();
    state.ResumeTiming();
  }
}

void Initialize(benchmark::State& state) {
  qg::web::CIKQMCef& m = qg::web::CIKQMCef::Instance();
  void* instance = qg::ModuleOf(reinterpret_cast<const void*>(&BareLaunch));
  for (auto _ : state) {
    if (!m.InitializeDefault(instance, nullptr)) {
      state.SkipWithError("Initialize failed");
      break;
    }
    state.PauseTiming();
    m.Shutdown();
    state.ResumeTiming();
  }
  qg::FreeModule(instance);
}

void PrintRatios(const qg::RatioReporter& r) {
  double ratio;
  if (!r.Ratio("Initialize/iterations:5/real_time", "bare_launch/iterations:5/real_time", &ratio)) return;
  std::printf("\nInitialize to first answer / bare launch to first reply (same run): %.2f\n",
              ratio);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::RegisterBenchmark("bare_launch", BareLaunch)
      ->Unit(benchmark::kMillisecond)
      ->Iterations(5)
      ->UseRealTime();
  benchmark::RegisterBenchmark("Initialize", Initialize)
      ->Unit(benchmark::kMillisecond)
      ->Iterations(5)
      ->UseRealTime();
  return qg::RunBenchmarks(argc, argv, PrintRatios);
}
