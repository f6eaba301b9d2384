// The recorder on a private X server: input faked through XTest into the
// windows of a stand-in application made by this process.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "host/core/component_access.h"
#include "host/core/external_execution.h"
#include "host/core/language_host.h"
#include "host/core/recording_host.h"
#include "host/x11/x_click.h"
#include "host/x11/x_client.h"
#include "host/x11/xvfb_environment.h"
#include "support/frame/module_services.h"
#include "testrunner/recorder/input_source.h"
#include "testrunner/recorder/recorder.h"
#include "testrunner/recorder/recorder_impl.h"
#include "testrunner/recorder/recording_reader.h"
#include "testrunner/recorder/x11_source.h"
#include "support/any.h"
#include "testrunner/language/language_functions.h"
#include "testrunner/runner/companion.h"
#include "testrunner/runner/library.h"
#include "testrunner/runner/session.h"

namespace {

::testing::Environment* const g_xvfb =
    ::testing::AddGlobalTestEnvironment(new qghost::XvfbEnvironment);

class RecorderX11Test : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!qghost::XvfbEnvironment::Ready()) GTEST_SKIP() << qghost::XvfbEnvironment::Why();
    saved_ = qg::Services().nRuntimeObject;
    qg::Services().nRuntimeObject = reinterpret_cast<intptr_t>(
        static_cast<qg::IComponentAccess*>(&access_));
    access_.SetExtraComponent(qg::kComponentRecording, &service_);
    RAZVerifieObjGate();
    SetFabriqueSourceEntree(&NouvelleSourceX11);
    ASSERT_TRUE(app_.Open());
    ASSERT_TRUE(control_.Open());
    fen_ = &service_.Add(1, 1, u"FEN_Principale");
    auto& ok = service_.Add(2, 4, u"BTN_OK", fen_);
    ok.mode = 2;
    window_ = app_.CreateWindow(100, 100, 300, 200, 1, 0);
    button_ = app_.CreateWindow(20, 30, 80, 40, 2, 0, window_);
    ASSERT_NE(window_, 0u);
    ASSERT_NE(button_, 0u);
    fen_->window = window_;
    ok.window = button_;
    app_.Focus(window_);
  }
  void TearDown() override {
    if (!qghost::XvfbEnvironment::Ready()) return;
    LibereEnregistrementTest();
    SetFabriqueSourceEntree(nullptr);
    access_.SetExtraComponent(qg::kComponentRecording, nullptr);
    qg::Services().nRuntimeObject = saved_;
    if (window_ != 0) app_.DestroyWindow(window_);
  }

  void Demarre() {
    std::u16string path;
    ASSERT_EQ(CreeEnregistrementTest(0, path), 1);
    ASSERT_GE(piEnregistrement()->nDescripteur(), 0);
  }

  // The records as lines; drains until `done` holds for them (bounded).
  std::vector<std::string> Draine(const std::function<bool(const std::vector<RecordLu>&)>& done) {
    control_.Sync();
    IEnregistrementTest* recorder = piEnregistrement();
    std::vector<RecordLu> records;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (;;) {
      recorder->nDraine();
      std::vector<uint8_t> bytes;
      EXPECT_TRUE(pclEnregistrement()->bRelit(&bytes));
      EXPECT_TRUE(bLitEnregistrement(bytes.data(), bytes.size(), &records, nullptr));
      if (done(records) || std::chrono::steady_clock::now() > deadline) break;
      pollfd p = {recorder->nDescripteur(), POLLIN, 0};
      poll(&p, 1, 100);
    }
    std::vector<std::string> lines;
    for (const RecordLu& r : records) lines.push_back(DecritRecord(r));
    return lines;
  }
  static std::function<bool(const std::vector<RecordLu>&)> Count(size_t n) {
    return [n](const std::vector<RecordLu>& r) { return r.size() >= n; };
  }
  static std::string Key(uint32_t message, uint32_t vk, uint8_t keycode, const char* name,
                         uint32_t flags) {
    char p2[16];
    std::snprintf(p2, sizeof p2, "0x%08X",
                  1u | uint32_t(keycode) << 16 | (message == 257 ? 0xC0000000u : 0u));
    return "2 message=" + std::to_string(message) + " p1=" + std::to_string(vk) + " p2=" + p2 +
           " zero=0 window=0 \"" + name + "\" " + std::to_string(flags);
  }

  // A mouse record as dumped: the window under the pointer, the point in
  // its client coordinates.
  static std::string Mouse(uint32_t message, int x, int y, uint32_t window, int cx, int cy) {
    return "17 message=" + std::to_string(message) + " p1=" + std::to_string(x) +
           " p2=" + std::to_string(y) + " zero=0 window=" + std::to_string(window) + " 0 " +
           std::to_string(cx) + " " + std::to_string(cy);
  }

  qghost::ComponentAccess access_;
  qghost::RecordingService service_;
  qghost::XClient app_, control_;
  qghost::HostElement* fen_ = nullptr;
  uint32_t window_ = 0, button_ = 0;
  intptr_t saved_ = 0;
};

TEST_F(RecorderX11Test, TypedTextAndAClickOnAButton) {
  Demarre();
  control_.Type("Ab");
  control_.Click(160, 150);
  control_.Click(160, 150);  // the second press within the time: a double click
  const uint8_t shift = control_.Keycode(0xFFE1), a = control_.Keycode('a'),
                b = control_.Keycode('b');
  const std::vector<std::string> want = {
      "8",
      "1 \"FEN_Principale\"",
      Key(256, 16, shift, "", 0),
      Key(256, 65, a, "a", 4),
      Key(257, 65, a, "", 4),
      Key(257, 16, shift, "", 4),
      Key(256, 66, b, "b", 0),
      Key(257, 66, b, "", 0),
      "1 \"FEN_Principale:BTN_OK\"",
      Mouse(513, 160, 150, button_, 40, 20),
      Mouse(514, 160, 150, button_, 40, 20),
      Mouse(515, 160, 150, button_, 40, 20),
      Mouse(514, 160, 150, button_, 40, 20),
  };
  EXPECT_EQ(Draine(Count(want.size())), want);
}

TEST_F(RecorderX11Test, KeyboardLayoutAndRemappedKeys) {
  ASSERT_EQ(std::system("setxkbmap fr"), 0);
  Demarre();
  control_.Key(24, true);  // "a" on a French keyboard
  control_.Key(24, false);
  const std::vector<std::string> before = Draine(Count(4));
  // A remapped keycode gives its new key once the server has said so.
  const bool remapped = control_.Remap(24, 0xFFCA);  // F13
  control_.Key(24, true);
  control_.Key(24, false);
  const std::vector<std::string> after = Draine(Count(6));
  ASSERT_EQ(std::system("setxkbmap us"), 0);
  ASSERT_TRUE(remapped);
  ASSERT_EQ(before.size(), 4u);
  EXPECT_EQ(before[2], Key(256, 65, 24, "a", 0));
  ASSERT_EQ(after.size(), 6u);
  EXPECT_EQ(after[4], Key(256, 124, 24, "{F13}", 0));
}

TEST_F(RecorderX11Test, AnotherClientsWindowIsIgnored) {
  int ready[2], stop[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(stop), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Another process with a window that answers like the application's.
    close(ready[0]);
    close(stop[1]);
    qghost::XClient other;
    uint32_t w = 0;
    if (other.Open()) w = other.CreateWindow(600, 600, 100, 100, 1, 0);
    [[maybe_unused]] ssize_t n = write(ready[1], &w, sizeof w);
    char c;
    n = read(stop[0], &c, 1);
    _exit(0);
  }
  close(ready[1]);
  close(stop[0]);
  uint32_t other = 0;
  ASSERT_EQ(read(ready[0], &other, sizeof other), static_cast<ssize_t>(sizeof other));
  ASSERT_NE(other, 0u);
  Demarre();
  control_.Click(650, 650);
  control_.Click(160, 150);  // then a click of our own
  const std::vector<std::string> lines = Draine([](const std::vector<RecordLu>& r) {
    return !r.empty() && r.back().nType == 17 && r.back().champs[0].nValeur == 514;
  });
  close(stop[1]);
  int status;
  waitpid(child, &status, 0);
  close(ready[0]);
  const std::vector<std::string> want = {
      "8",
      "1 \"FEN_Principale:BTN_OK\"",
      Mouse(513, 160, 150, button_, 40, 20),
      Mouse(514, 160, 150, button_, 40, 20),
  };
  EXPECT_EQ(lines, want);
}

TEST_F(RecorderX11Test, LookupsOnAVanishedWindowAnswerNothing) {
  std::unique_ptr<ISourceEntree> source = NouvelleSourceX11();
  ASSERT_NE(source, nullptr);
  const uint32_t gone = app_.CreateWindow(10, 10, 50, 50, 9, 0, window_);
  ASSERT_NE(gone, 0u);
  EXPECT_TRUE(source->bProcessusPropre(gone));
  app_.DestroyWindow(gone);
  uint32_t answer = 0;
  int32_t kind = 0;
  int32_t x = 1, y = 1;
  // (The owner of an id is its client's, whether the window lives or not.)
  EXPECT_FALSE(source->bElementFenetre(gone, &answer, &kind));
  EXPECT_EQ(source->hParent(gone), 0u);
  EXPECT_FALSE(source->bPointClient(gone, &x, &y));
  // The source still answers afterwards.
  EXPECT_TRUE(source->bElementFenetre(button_, &answer, &kind));
  EXPECT_EQ(answer, 2u);
}

int32_t Empile(qg::ExternalSessionRecord* s, const void* v, int32_t k) {
  return qghost::External().Empile(s, v, k);
}
int32_t Appelle(qg::ExternalSessionRecord* s, int32_t f, int32_t n, int32_t a, int32_t b) {
  return qghost::External().Appelle(s, f, n, a, b);
}

TEST_F(RecorderX11Test, AnItemClickOfTheLanguageReachesTheRecorder) {
  // The stand-in runtime's click for function 344: the located element
  // (its window), 65536, then the point in the element.
  const EntreesExecutionExterne saved = Entrees();
  Entrees().pfnEmpile = &Empile;
  Entrees().pfnAppelle = &Appelle;
  Entrees().hHote = reinterpret_cast<qg::ModuleHandle>(&access_);
  qghost::External().Reset();
  qghost::External().SetClicker(&qghost::ClickInWindow);
  qghost::LanguageElement list;
  list.type = 6;
  list.name = u"BTN_OK";
  list.has_items = true;
  list.items = {u"un", u"deux"};
  list.rectangles[2] = {0, 20, 80, 40};  // the lower half of the button
  list.identifier = static_cast<int32_t>(button_);
  Demarre();
  CQGTestExe* library = new CQGTestExe();
  CAny element, item;
  element.SetUIX(reinterpret_cast<intptr_t>(static_cast<qg::IElementLangage*>(&list)));
  item.SetI4(2);
  const CAny* values[] = {&element, &item};
  qg::ArgumentsAppel args;
  args.nNombre = 2;
  args.ppValeurs = values;
  TableFonctions()[23].pFonction->pfnStub(nullptr, library, &args);  // a list item click
  const uint32_t level = library->pGetError()->nGetNiveau();
  library->vRelease();
  const std::vector<std::string> lines = Draine(Count(4));
  qghost::External().SetClicker(nullptr);
  Entrees() = saved;
  EXPECT_EQ(level, 1u);
  const std::vector<std::string> log = qghost::External().Log();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), "click " + std::to_string(button_) + " 40 30");
  const std::vector<std::string> want = {
      "8",
      "1 \"FEN_Principale:BTN_OK\"",
      Mouse(513, 160, 160, button_, 40, 30),
      Mouse(514, 160, 160, button_, 40, 30),
  };
  EXPECT_EQ(lines, want);
}

}  // namespace
