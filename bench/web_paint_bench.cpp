// Off-screen paint at 1280x720: the time from a DOM change to OnPaintBuffer
// (and the frames per second it allows), against a raw
// Page.captureScreenshot loop on a page session of its own, same run.
// Both sides change the page's background by script and wait for the
// 1280x720 pixels of the result: the browser control through its paint
// callback, the reference by asking for a PNG and decoding it.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>

#include "bench/ratio_reporter.h"
#include "browser/cef_manager.h"
#include "browser/engine.h"
#include "browser/png_decode.h"
#include "host/core/string_memory.h"
#include "support/frame/module_services.h"
#include "support/platform/module.h"

namespace {

constexpr int kWidth = 1280, kHeight = 720;

bool Start() {
  static qghost::StringMemory memory;
  qg::Services().piStringMemory = &memory;
  void* instance = qg::ModuleOf(reinterpret_cast<const void*>(&Start));
  return qg::web::CIKQMCef::Instance().InitializeDefault(instance, nullptr);
}

// Held by reference count: the browser may still be calling it on its own
// thread when the bench lets it go.
class PaintCounter final : public CCallbackFromKQMBrowserBase {
 public:
  int32_t AddRef() override { return ++refs; }
  int32_t Release() override {
    const int32_t left = --refs;
    if (left == 0) delete this;
    return left;
  }
  std::atomic<int32_t> refs{1};
  void OnPaintBuffer(const void*, int32_t, int32_t w, int32_t h) override {
    std::lock_guard<std::mutex> lock(mu);
    if (w == kWidth && h == kHeight) ++paints;
    cv.notify_all();
  }
  bool WaitNext(int seen) {
    std::unique_lock<std::mutex> lock(mu);
    return cv.wait_for(lock, std::chrono::seconds(10), [&] { return paints > seen; });
  }
  std::mutex mu;
  std::condition_variable cv;
  int paints = 0;
};

void RawCapture(benchmark::State& state) {
  auto engine = qg::web::CIKQMCef::Instance().GetEngine();
  auto target = engine->Call("Target.createTarget", {{"url", "about:blank"}});
  auto attach = engine->Call("Target.attachToTarget",
                             {{"targetId", target.result["targetId"]}, {"flatten", true}});
  const std::string session = attach.result["sessionId"];
  engine->Conn().Call("Emulation.setDeviceMetricsOverride",
                      {{"width", kWidth}, {"height", kHeight}, {"deviceScaleFactor", 1},
                       {"mobile", false}},
                      session);
  int n = 0;
  for (auto _ : state) {
    engine->Conn().Call("Runtime.evaluate",
                        {{"expression", "document.body.style.background = '#" +
                                            std::string(++n % 2 ? "ff0000" : "0000ff") + "'"}},
                        session);
    auto r = engine->Conn().Call("Page.captureScreenshot", {{"format", "png"}}, session);
    std::string png;
    qg::web::Bitmap bitmap;
    if (!r.ok || !qg::web::Base64Decode(r.result.value("data", ""), &png) ||
        !qg::web::DecodePng(png, &bitmap)) {
      state.SkipWithError("capture failed");
      break;
    }
  }
  engine->Call("Target.closeTarget", {{"targetId", target.result["targetId"]}});
}

void DomChangeToPaint(benchmark::State& state) {
  PaintCounter* held = new PaintCounter();
  PaintCounter& counter = *held;
  stCreationBrowser record{};
  record.nVersion = 6;
  record.bWindowless = 1;
  record.nBackground = -1;
  record.pszURL = u"data:text/html,<body>paint</body>";
  record.piCallback = held;
  IKQMBrowserCef* b = qg::web::CIKQMCef::Instance().CreateBrowser(&record);
  b->SetViewSize(kWidth, kHeight);
  if (!counter.WaitNext(0)) {
    state.SkipWithError("no first paint");
    b->SetCallback(nullptr);
    b->Release();
    held->Release();
    return;
  }
  int n = 0;
  for (auto _ : state) {
    int seen;
    {
      std::lock_guard<std::mutex> lock(counter.mu);
      seen = counter.paints;
    }
    b->ExecuteJavascript(++n % 2 ? u"document.body.style.background = '#ff0000'"
                                 : u"document.body.style.background = '#0000ff'");
    if (!counter.WaitNext(seen)) {
      state.SkipWithError("no paint");
      break;
    }
  }
  b->SetCallback(nullptr);
  b->Release();
  held->Release();
}

void PrintRatios(const qg::RatioReporter& r) {
  const std::string ours = "dom_change_to_OnPaintBuffer/iterations:50/real_time";
  const std::string raw = "raw_captureScreenshot/iterations:50/real_time";
  double ratio;
  if (!r.Ratio(ours, raw, &ratio)) return;
  std::printf("\nDOM change to OnPaintBuffer %.1f ms (%.1f frames/s) / raw capture %.1f ms: %.2f\n",
              r.Time(ours), 1000.0 / r.Time(ours), r.Time(raw), ratio);
}

}  // namespace

int main(int argc, char** argv) {
  if (!Start()) {
    std::fprintf(stderr, "the browser engine did not start\n");
    return 1;
  }
  benchmark::RegisterBenchmark("raw_captureScreenshot", RawCapture)
      ->Iterations(50)
      ->UseRealTime()
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("dom_change_to_OnPaintBuffer", DomChangeToPaint)
      ->Iterations(50)
      ->UseRealTime()
      ->Unit(benchmark::kMillisecond);
  const int status = qg::RunBenchmarks(argc, argv, PrintRatios);
  qg::web::CIKQMCef::Instance().Shutdown();
  return status;
}
