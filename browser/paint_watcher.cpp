#include "browser/paint_watcher.h"

#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

#include "browser/cef_browser.h"
#include "browser/cef_manager.h"

namespace qg::web {

int32_t MulDiv(int32_t a, int32_t b, int32_t c) {
  if (c == 0) return -1;
  const int64_t p = int64_t{a} * b;
  int64_t q = p / c;
  const int64_t r = p % c;
  // Round half away from zero.
  if (2 * std::llabs(r) >= std::llabs(int64_t{c})) q += ((p < 0) != (c < 0)) ? -1 : 1;
  if (q > INT32_MAX || q < INT32_MIN) return -1;
  return static_cast<int32_t>(q);
}

bool PaintMatches(int32_t w, int32_t h, int32_t W, int32_t H, double z) {
  if (z <= 100 && w == W && h == H) return true;
  const int32_t zi = static_cast<int32_t>(z);
  if (zi > 0 && MulDiv(w, 100, zi) == W && MulDiv(h, 100, zi) == H) return true;
  if (z > 0 && std::floor(w * 100.0 / z) == W && std::floor(h * 100.0 / z) == H) return true;
  return false;
}

void TrailingCapture::Activity(int64_t now) {
  std::lock_guard<std::mutex> lock(mu_);
  armed_ = true;
  due_ = now + kQuietMs;
}

bool TrailingCapture::bDue(int64_t now) {
  std::lock_guard<std::mutex> lock(mu_);
  if (!armed_ || now < due_) return false;
  armed_ = false;
  return true;
}

uint64_t PaintFingerprint(const void* bgra, size_t size, int32_t width, int32_t height) {
  constexpr uint64_t kPrime = 0x100000001b3ull;
  uint64_t h = 0xcbf29ce484222325ull;
  h = (h ^ static_cast<uint32_t>(width)) * kPrime;
  h = (h ^ static_cast<uint32_t>(height)) * kPrime;
  const auto* p = static_cast<const unsigned char*>(bgra);
  size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    uint64_t w;
    std::memcpy(&w, p + i, 8);
    h = (h ^ w) * kPrime;
  }
  for (; i < size; ++i) h = (h ^ p[i]) * kPrime;
  return h;
}

void CSurveilleMessagePaintCEF::Start() {
  std::thread([self = shared_from_this()] { self->Run(); }).detach();
}

void CSurveilleMessagePaintCEF::OnPaint(int32_t w, int32_t h) {
  if (!PaintMatches(w, h, width_, height_, zoom_)) return;
  MarkPainted();
}

void CSurveilleMessagePaintCEF::MarkPainted() {
  std::lock_guard<std::mutex> lock(mu_);
  painted_ = true;
  cv_.notify_all();
}

bool CSurveilleMessagePaintCEF::bPainted() {
  std::lock_guard<std::mutex> lock(mu_);
  return painted_;
}

int CSurveilleMessagePaintCEF::nRequests() {
  std::lock_guard<std::mutex> lock(mu_);
  return requests_;
}

void CSurveilleMessagePaintCEF::Run() {
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  auto elapsed = [&] {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
  };
  RepaintSchedule schedule;
  std::unique_lock<std::mutex> lock(mu_);
  for (;;) {
    if (painted_) return;
    {
      std::shared_ptr<CIKQMBrowser> b = browser_.lock();
      if (!b || !b->bHasSession()) return;
    }
    const int64_t now = elapsed();
    if (now > RepaintSchedule::kLimitMs && !IsDebuggerPresent()) return;
    if (schedule.Due(now)) {
      ++requests_;
      lock.unlock();
      if (std::shared_ptr<CIKQMBrowser> b = browser_.lock()) b->ForcePaint();
      lock.lock();
      cv_.wait_for(lock, std::chrono::milliseconds(RepaintSchedule::kPauseMs),
                   [&] { return painted_; });
      schedule.Requested();
      continue;
    }
    // Sleep until the next request is due, the limit, or a paint.
    int64_t wake = schedule.Interval() + 1;
    if (wake > RepaintSchedule::kLimitMs + 1) wake = RepaintSchedule::kLimitMs + 1;
    cv_.wait_for(lock, std::chrono::milliseconds(wake > now ? wake - now : 1),
                 [&] { return painted_; });
  }
}

}  // namespace qg::web
