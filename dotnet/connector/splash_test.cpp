#include "dotnet/connector/splash.h"

#include <gtest/gtest.h>

#include <deque>

namespace qgnet {
namespace {

class FakeClock final : public SplashClock {
 public:
  int64_t nMaintenant() override { return now; }
  void AttendJusque(int64_t when) override { now = std::max(now, when); }
  int64_t now = 1000;
};

class FakeImage final : public ISplashImage {
 public:
  FakeImage(int w, int h, int frames) : w_(w), h_(h), frames_(frames) {}
  int32_t nLargeur() override { return w_; }
  int32_t nHauteur() override { return h_; }
  bool bImageSuivante() override { return frames_ < 0 || --frames_ > 0; }
  const uint32_t* pPixels() override { return nullptr; }
  int w_, h_, frames_;  // frames < 0: endless
};

struct WindowLog {
  int x = -1, y = -1, w = 0, h = 0;
  std::string title, wm_class;
  bool closed = false;
  std::deque<SplashInput> inputs;
};

class FakeWindow final : public ISplashWindow {
 public:
  FakeWindow(WindowLog* log, int dpi) : log_(log), dpi_(dpi) {}
  bool bCree(int32_t x, int32_t y, int32_t w, int32_t h, const char* title,
             const char* wm_class, bool, bool) override {
    log_->x = x;
    log_->y = y;
    log_->w = w;
    log_->h = h;
    log_->title = title;
    log_->wm_class = wm_class;
    return true;
  }
  void Montre() override {}
  void Opacite(int32_t) override {}
  void Peint(ISplashImage*) override {}
  SplashInput Entree() override {
    if (log_->inputs.empty()) return SplashInput::kNone;
    SplashInput input = log_->inputs.front();
    log_->inputs.pop_front();
    return input;
  }
  void Ferme() override { log_->closed = true; }
  void ZoneTravail(int32_t* x, int32_t* y, int32_t* w, int32_t* h) override {
    *x = 0;
    *y = 0;
    *w = 1920;
    *h = 1080;
  }
  int32_t nDpi() override { return dpi_; }
  WindowLog* log_;
  int dpi_;
};

TEST(SplashTest, FadesInAndOutOnTheClock) {
  FakeClock clock;
  SplashOptions options;
  options.bFondu = true;
  auto* splash = new CSplash(options, std::make_unique<FakeImage>(100, 50, 1), nullptr, &clock);
  splash->Montre();
  EXPECT_EQ(splash->Opacites(), (std::vector<int32_t>{0, 20, 40, 60, 80, 100}));
  EXPECT_EQ(clock.now, 1000 + 5 * 50);
  splash->Ferme();
  EXPECT_EQ(splash->Opacites(), (std::vector<int32_t>{0, 20, 40, 60, 80, 100, 90, 79, 68, 57, 46,
                                                      35, 24, 13, 2, 0}));
  EXPECT_TRUE(splash->bFerme());
  splash->Ferme();  // closing twice is harmless
  EXPECT_EQ(splash->Release(), 0);
}

TEST(SplashTest, WaitsStopAtFiveSeconds) {
  FakeClock clock;
  CSplash splash(SplashOptions{}, std::make_unique<FakeImage>(10, 10, -1), nullptr, &clock);
  splash.Montre();
  int64_t start = clock.now;
  splash.Ferme();  // an endless animation: the wait gives up
  EXPECT_EQ(clock.now - start, CSplash::kAttenteMax);
  EXPECT_TRUE(splash.bFerme());
}

TEST(SplashTest, SizeAndPlaceFollowTheScreen) {
  struct Case {
    SplashOptions options;
    int dpi;
    int x, y, w, h;
  };
  SplashOptions shaped, full;
  shaped.bForme = true;
  full.bPleineZone = true;
  const Case cases[] = {
      {SplashOptions{}, 96, 810, 465, 300, 150},
      {SplashOptions{}, 192, 660, 390, 600, 300},
      {shaped, 96, 5, 5, 300, 150},
      {full, 96, 0, 0, 1920, 1080},
  };
  for (const Case& c : cases) {
    FakeClock clock;
    WindowLog log;
    CSplash splash(c.options, std::make_unique<FakeImage>(300, 150, 1),
                   std::make_unique<FakeWindow>(&log, c.dpi), &clock);
    splash.Montre();
    EXPECT_EQ(log.x, c.x);
    EXPECT_EQ(log.y, c.y);
    EXPECT_EQ(log.w, c.w);
    EXPECT_EQ(log.h, c.h);
    EXPECT_EQ(log.title, "Application running...");
    EXPECT_EQ(log.wm_class, "VantorObject");
    splash.Ferme();
    EXPECT_TRUE(log.closed);
  }
}

TEST(SplashTest, UserClosesOutsideTextModeOnly) {
  for (bool text : {false, true}) {
    FakeClock clock;
    WindowLog log;
    SplashOptions options;
    options.bTexte = text;
    CSplash splash(options, std::make_unique<FakeImage>(10, 10, -1),
                   std::make_unique<FakeWindow>(&log, 96), &clock);
    splash.Montre();
    log.inputs.push_back(SplashInput::kEchap);
    splash.Pompe();
    EXPECT_EQ(splash.bFerme(), !text) << text;
    splash.Ferme();  // then the host: harmless
    EXPECT_TRUE(splash.bFerme());
  }
}

TEST(SplashTest, NoImageShowsNothing) {
  FakeClock clock;
  CSplash splash(SplashOptions{}, nullptr, nullptr, &clock);
  splash.Montre();
  EXPECT_FALSE(splash.bMontre());
  splash.Ferme();
  EXPECT_EQ(clock.now, 1000);
}

}  // namespace
}  // namespace qgnet
