// The splash window on a private X server (Xvfb at 96 dots per inch, its
// display number chosen by the server).
#include <gtest/gtest.h>
// After the test framework: Xlib defines None and Bool as macros.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "dotnet/connector/splash.h"
#include "dotnet/connector/splash_image.h"

namespace qgnet {
namespace {

// Xvfb as a child of the test; it ends with the test process, even when
// that one crashes.
class PrivateXServer {
 public:
  PrivateXServer() {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_t parent = getpid();
    pid_ = fork();
    if (pid_ == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (getppid() != parent) _exit(1);
      close(fds[0]);
      int quiet = open("/dev/null", O_WRONLY);
      if (quiet >= 0) dup2(quiet, 2);
      std::string fd = std::to_string(fds[1]);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "800x600x24", "-dpi", "96",
             "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    std::string number;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') number.push_back(c);
    close(fds[0]);
    if (!number.empty()) display_ = ":" + number;
  }
  ~PrivateXServer() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  const std::string& display() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

// A plain image of one colour.
class Plain final : public ISplashImage {
 public:
  Plain(int w, int h, uint32_t rgb) : w_(w), h_(h), pixels_(static_cast<size_t>(w * h), rgb) {
    pixels_[0] = 0x00FF00;  // top-left pixel
  }
  int32_t nLargeur() override { return w_; }
  int32_t nHauteur() override { return h_; }
  bool bImageSuivante() override { return false; }
  const uint32_t* pPixels() override { return pixels_.data(); }

 private:
  int w_, h_;
  std::vector<uint32_t> pixels_;
};

Window FindByTitle(Display* d, Window w, const char* title) {
  char* name = nullptr;
  if (XFetchName(d, w, &name) && name != nullptr) {
    bool same = std::string(name) == title;
    XFree(name);
    if (same) return w;
  }
  Window root, parent, *children = nullptr;
  unsigned n = 0;
  Window found = 0;
  if (XQueryTree(d, w, &root, &parent, &children, &n)) {
    for (unsigned i = 0; i < n && found == 0; ++i) found = FindByTitle(d, children[i], title);
    if (children != nullptr) XFree(children);
  }
  return found;
}

TEST(SplashX11Test, WindowTitleSizeCentringAndPixels) {
  if (system("command -v Xvfb >/dev/null 2>&1") != 0) GTEST_SKIP() << "no Xvfb";
  PrivateXServer server;
  ASSERT_FALSE(server.display().empty());
  setenv("DISPLAY", server.display().c_str(), 1);
  std::unique_ptr<ISplashWindow> window = FenetreSplash();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->nDpi(), 96);

  auto* splash = new CSplash(SplashOptions{}, std::make_unique<Plain>(120, 60, 0x3366CC),
                             std::move(window), nullptr);
  splash->Montre();
  EXPECT_EQ(splash->nLargeur(), 120);
  EXPECT_EQ(splash->nHauteur(), 60);

  Display* d = XOpenDisplay(server.display().c_str());
  ASSERT_NE(d, nullptr);
  Window w = FindByTitle(d, DefaultRootWindow(d), "Application running...");
  ASSERT_NE(w, 0u);
  XWindowAttributes a;
  ASSERT_TRUE(XGetWindowAttributes(d, w, &a));
  EXPECT_EQ(a.width, 120);
  EXPECT_EQ(a.height, 60);
  EXPECT_EQ(a.x, (800 - 120) / 2);
  EXPECT_EQ(a.y, (600 - 60) / 2);
  EXPECT_TRUE(a.override_redirect);
  XClassHint hint;
  ASSERT_TRUE(XGetClassHint(d, w, &hint));
  EXPECT_STREQ(hint.res_class, "VantorObject");
  XFree(hint.res_name);
  XFree(hint.res_class);

  // Pixels read back from the window: the image's own colours.
  XImage* shot = XGetImage(d, w, 0, 0, 120, 60, AllPlanes, ZPixmap);
  ASSERT_NE(shot, nullptr);
  EXPECT_EQ(XGetPixel(shot, 0, 0) & 0xFFFFFF, 0x00FF00u);
  EXPECT_EQ(XGetPixel(shot, 60, 30) & 0xFFFFFF, 0x3366CCu);
  XDestroyImage(shot);

  splash->Ferme();
  EXPECT_TRUE(splash->bFerme());
  XSync(d, False);
  EXPECT_EQ(FindByTitle(d, DefaultRootWindow(d), "Application running..."), 0u);
  splash->Release();

  // Text mode: the title right-aligned in its colour; Escape does not
  // close a text-mode splash.
  SplashOptions text;
  text.bTexte = true;
  text.titre.texte = "Demo";
  text.titre.bDroite = true;
  text.titre.bGras = true;
  text.titre.nPoints = 12;
  text.titre.nCouleur = 0xFFFFFF;
  text.titre.nHaut = 10;
  CSplash titled(text, std::make_unique<Plain>(200, 100, 0), FenetreSplash(), nullptr);
  titled.Montre();
  w = FindByTitle(d, DefaultRootWindow(d), "Application running...");
  ASSERT_NE(w, 0u);
  shot = XGetImage(d, w, 0, 0, 200, 100, AllPlanes, ZPixmap);
  ASSERT_NE(shot, nullptr);
  int white_left = 0, white_right = 0;
  for (int y = 0; y < 100; ++y) {
    for (int x = 0; x < 200; ++x) {
      if ((XGetPixel(shot, x, y) & 0xFFFFFF) == 0xFFFFFF) (x < 100 ? white_left : white_right)++;
    }
  }
  XDestroyImage(shot);
  EXPECT_GT(white_right, 0);
  EXPECT_EQ(white_left, 0);
  titled.Ferme();
  XCloseDisplay(d);
  unsetenv("DISPLAY");
}

}  // namespace
}  // namespace qgnet
