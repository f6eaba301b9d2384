// The paint watcher: after a size, zoom or content change of an off-screen
// browser, asks for repaints until a paint of the expected size arrives or
// 30 s have passed (without limit while a debugger is attached). It sleeps
// until its next deadline or a paint.
#ifndef QG_BROWSER_PAINT_WATCHER_H_
#define QG_BROWSER_PAINT_WATCHER_H_

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

namespace qg::web {

class CIKQMBrowser;

// Windows' MulDiv: a * b / c rounded half away from zero; -1 when c is 0
// or the result does not fit.
int32_t MulDiv(int32_t a, int32_t b, int32_t c);

// Whether a paint of w x h (device pixels) is the expected W x H at zoom z.
bool PaintMatches(int32_t w, int32_t h, int32_t W, int32_t H, double z);

// When to ask: the first request once more than 50 ms passed since the
// start, each later one once more than twice the previous interval passed.
class RepaintSchedule {
 public:
  static constexpr int64_t kFirstMs = 50;
  static constexpr int64_t kPauseMs = 50;  // after each request
  static constexpr int64_t kLimitMs = 30000;
  bool Due(int64_t elapsed_ms) const { return elapsed_ms > interval_; }
  void Requested() { interval_ *= 2; }
  int64_t Interval() const { return interval_; }

 private:
  int64_t interval_ = kFirstMs;
};

// The screencast leaves a frame out now and then: the browser's capture may
// decide against a compositor update that comes soon after another and
// never comes back to it, so a page that then stays still would show the
// old content for ever. After the last screencast frame of a run of changes,
// or the last command of the host that may change the page, one capture of
// the view is due once nothing more came for kQuietMs (it reaches the host
// only when it differs from the last paint). Times in ms of one clock.
class TrailingCapture {
 public:
  static constexpr int64_t kQuietMs = 300;
  // A frame arrived or a command went out at `now`.
  void Activity(int64_t now);
  // True once when a capture is due at `now`.
  bool bDue(int64_t now);

 private:
  std::mutex mu_;
  bool armed_ = false;
  int64_t due_ = 0;
};

// A fingerprint of a paint's pixels and size (FNV-1a over 64-bit words).
uint64_t PaintFingerprint(const void* bgra, size_t size, int32_t width, int32_t height);

class CSurveilleMessagePaintCEF : public std::enable_shared_from_this<CSurveilleMessagePaintCEF> {
 public:
  CSurveilleMessagePaintCEF(std::weak_ptr<CIKQMBrowser> browser, int32_t width, int32_t height,
                            double zoom)
      : browser_(std::move(browser)), width_(width), height_(height), zoom_(zoom) {}

  // Starts the detached thread (it holds a reference).
  void Start();
  // Called under the browser's view lock for every paint.
  void OnPaint(int32_t w, int32_t h);
  void MarkPainted();
  bool bPainted();
  int nRequests();

 private:
  void Run();

  std::weak_ptr<CIKQMBrowser> browser_;
  const int32_t width_, height_;
  const double zoom_;
  std::mutex mu_;
  std::condition_variable cv_;
  bool painted_ = false;
  int requests_ = 0;
};

}  // namespace qg::web

#endif  // QG_BROWSER_PAINT_WATCHER_H_
