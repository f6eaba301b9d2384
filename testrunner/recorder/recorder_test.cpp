#include "testrunner/recorder/recorder.h"
#include "testrunner/recorder/x11_source.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "host/core/component_access.h"
#include "host/core/recording_host.h"
#include "support/any.h"
#include "support/frame/module_services.h"
#include "support/qgbuffer.h"
#include "support/streams/temp_dir_fixture.h"
#include "testrunner/recorder/direct_source.h"
#include "testrunner/recorder/recorder_impl.h"
#include "testrunner/recorder/recording_reader.h"
#include "testrunner/runner/companion.h"
#include "testrunner/runner/test_factory.h"

namespace {

// The bytes a test expects, built field by field.
struct Octets {
  std::string s;
  Octets& u(uint32_t v) {
    for (int i = 0; i < 4; ++i) s += static_cast<char>(v >> (8 * i));
    return *this;
  }
  Octets& h(uint16_t v) {
    s += static_cast<char>(v);
    s += static_cast<char>(v >> 8);
    return *this;
  }
  Octets& t(const std::string& utf8) {
    u(static_cast<uint32_t>(utf8.size()));
    s += utf8;
    return *this;
  }
  Octets& ev(uint32_t m, uint32_t p1, uint32_t p2, uint32_t w) {
    return u(m).u(p1).u(p2).u(0).u(w);
  }
};

constexpr uint32_t kFen = 0x400001, kSaisie = 0x400002, kBouton = 0x400003;
constexpr uint32_t kAutre = 0x400009, kInconnue = 0x40000A;

class RecorderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = qg::Services().nRuntimeObject;
    qg::Services().nRuntimeObject = reinterpret_cast<intptr_t>(
        static_cast<qg::IComponentAccess*>(&access_));
    access_.SetExtraComponent(qg::kComponentRecording, &service_);
    RAZVerifieObjGate();
    SetFabriqueSourceEntree(&NouvelleSourceDirecte);
    EtatSourceDirecte& d = EtatDirect();
    d.Vide();
    auto& fen = service_.Add(1, 7, u"FEN_Saisie");
    fen.window = kFen;
    auto& saisie = service_.Add(2, 16, u"SAI_Nom", &fen);
    saisie.window = kSaisie;
    auto& bouton = service_.Add(3, 4, u"BTN_OK", &fen);
    bouton.window = kBouton;
    bouton.mode = 2;
    std::lock_guard<std::mutex> lock(d.mutex);
    d.fenetres[kFen] = {true, true, 1, 0, 0, 0, 100, 50};
    d.fenetres[kSaisie] = {true, true, 2, 0, kFen, 0, 110, 60};
    d.fenetres[kBouton] = {true, true, 3, 0, kFen, 0, 200, 80};
    d.fenetres[kAutre] = {false, true, 2, 0, 0, 0, 0, 0};
    d.clavier[38] = U'A';
    d.clavier[10] = U'&';
    d.hFocus = kSaisie;
  }
  void TearDown() override {
    LibereEnregistrementTest();
    access_.SetExtraComponent(qg::kComponentRecording, nullptr);
    qg::Services().nRuntimeObject = saved_;
    SetFabriqueSourceEntree(nullptr);
    EtatDirect().Vide();
  }
  // Starts an in-memory recording.
  void Demarre(int32_t continuation = 0) {
    std::u16string path;
    ASSERT_EQ(CreeEnregistrementTest(continuation, path), 1);
    ASSERT_NE(pclEnregistrement(), nullptr);
  }
  std::string Relit() {
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(pclEnregistrement()->bRelit(&bytes));
    return std::string(bytes.begin(), bytes.end());
  }
  static void Touche(uint32_t vk, uint32_t keycode, bool up = false) {
    ProcClavier(0, vk, static_cast<intptr_t>(1u | keycode << 16 | (up ? 0xC0000000u : 0u)));
  }
  static void Souris(uint32_t message, int32_t x, int32_t y, uint32_t window) {
    EnregistrementSouris m;
    m.x = x;
    m.y = y;
    m.hFenetre = window;
    ProcSouris(0, message, reinterpret_cast<intptr_t>(&m));
  }
  static void Modificateurs(uint32_t flags) {
    std::lock_guard<std::mutex> lock(EtatDirect().mutex);
    EtatDirect().nModificateurs = flags;
  }

  qghost::ComponentAccess access_;
  qghost::RecordingService service_;
  intptr_t saved_ = 0;
};

TEST_F(RecorderTest, KeysAndClicksRecordByteForByte) {
  Demarre();
  EXPECT_EQ(service_.runner(), nullptr);  // no runner in this process
  Modificateurs(kFlagShift);
  Touche(65, 38);                       // Shift+A: "a", flag 4
  Touche(65, 38, true);                 // key up: no name
  Modificateurs(0);
  Touche(124, 200);                     // F13
  Touche(200, 201);                     // neither character nor entry
  Touche(49, 10);                       // the layout's character
  Souris(kMsgSourisDeplacement, 5, 5, kBouton);  // moves are not recorded
  Souris(kMsgNonClientDeplacement, 5, 5, kBouton);
  Souris(kMsgBoutonGaucheEnfonce, 215, 87, kBouton);  // control points: 15, 7
  Souris(kMsgBoutonGaucheRelache, 215, 87, kBouton);
  const uint32_t down = 1u | 38u << 16, up = down | 0xC0000000u;
  Octets want;
  want.u(8)
      .u(1).t("FEN_Saisie:SAI_Nom")
      .u(2).ev(256, 65, down, 0).t("a").u(4)
      .u(2).ev(257, 65, up, 0).t("").u(4)
      .u(2).ev(256, 124, 1u | 200u << 16, 0).t("{F13}").u(0)
      .u(2).ev(256, 200, 1u | 201u << 16, 0).t("").u(0)
      .u(2).ev(256, 49, 1u | 10u << 16, 0).t("&").u(0)
      .u(1).t("FEN_Saisie:BTN_OK")
      .u(17).ev(513, 215, 87, kBouton).u(0).u(15).u(7)
      .u(17).ev(514, 215, 87, kBouton).u(0).u(15).u(7);
  EXPECT_EQ(Relit(), want.s);
  EXPECT_EQ(service_.kinds_asked, (std::deque<int32_t>{1, 1}));
}

TEST_F(RecorderTest, IdentificationCases) {
  // A table of situations: the events and what they add after record 8.
  struct Case {
    const char* name;
    std::function<void(qghost::RecordingService&)> prepare;
    std::function<void()> events;
    std::string want;
  };
  const uint32_t press = kMsgBoutonGaucheEnfonce;
  std::vector<Case> cases = {
      {"another process's window is ignored", nullptr,
       [] { Souris(press, 1, 1, kAutre); }, ""},
      {"an unknown window is unusable and not asked again", nullptr,
       [] {
         Souris(press, 1, 1, kInconnue);
         Souris(press, 1, 1, kInconnue);
       },
       ""},
      {"a kind-4 element outside mode 2 records without points",
       [](qghost::RecordingService& s) {
         auto& b = s.Add(4, 4, u"BTN_Annuler");
         b.window = kBouton;
         b.mode = 0;
         std::lock_guard<std::mutex> lock(EtatDirect().mutex);
         EtatDirect().fenetres[kBouton].nReponse = 4;
       },
       [] { Souris(press, 210, 90, kBouton); },
       Octets().u(1).t("BTN_Annuler").u(18).ev(press, 210, 90, kBouton).u(0).s},
      {"kinds 31 and 32 are quoted",
       [](qghost::RecordingService& s) {
         auto& b = s.Add(4, 31, u"LIG_1");
         b.window = kBouton;
         std::lock_guard<std::mutex> lock(EtatDirect().mutex);
         EtatDirect().fenetres[kBouton].nReponse = 4;
       },
       [] { Souris(press, 200, 80, kBouton); },
       Octets().u(1).t("\"LIG_1\"").u(17).ev(press, 200, 80, kBouton).u(0).u(0).u(0).s},
      {"kind 37 is ignored",
       [](qghost::RecordingService& s) {
         s.Add(4, 37, u"X");
         std::lock_guard<std::mutex> lock(EtatDirect().mutex);
         EtatDirect().fenetres[kBouton].nReponse = 4;
       },
       [] { Souris(press, 200, 80, kBouton); }, ""},
      {"an element handling the click itself gives only its name",
       [](qghost::RecordingService& s) {
         auto& b = s.Add(4, 4, u"BTN_Seul");
         b.handles_mouse = true;
         std::lock_guard<std::mutex> lock(EtatDirect().mutex);
         EtatDirect().fenetres[kBouton].nReponse = 4;
       },
       [] { Souris(press, 200, 80, kBouton); }, Octets().u(1).t("BTN_Seul").s},
      {"a child window answers through its parent, kind 20003 counts as 2",
       [](qghost::RecordingService& s) {
         s.Add(5, 16, u"COMBO");
         std::lock_guard<std::mutex> lock(EtatDirect().mutex);
         EtatDirect().fenetres[kFen] = {true, true, 5, 20003, 0, 0, 0, 0};
         EtatDirect().fenetres[kSaisie].bRepond = false;
       },
       [] { Touche(66, 56); }, Octets().u(1).t("COMBO").u(2).ev(256, 66, 1u | 56u << 16, 0).t("b").u(0).s},
      {"a window owned by a window of an element answers through the owner",
       [](qghost::RecordingService& s) {
         s.Add(6, 1, u"FEN_Dialogue");
         std::lock_guard<std::mutex> lock(EtatDirect().mutex);
         EtatDirect().fenetres[kSaisie] = {true, false, 0, 0, 0, kFen, 0, 0};
         EtatDirect().fenetres[kFen].nReponse = 6;
       },
       [] { Touche(66, 56); },
       Octets().u(1).t("FEN_Dialogue").u(2).ev(256, 66, 1u | 56u << 16, 0).t("b").u(0).s},
      {"the emulator window is identified at every event",
       [](qghost::RecordingService& s) {
         s.Add(4, 1, u"FenetreEmulateurCE_1");
         std::lock_guard<std::mutex> lock(EtatDirect().mutex);
         EtatDirect().fenetres[kBouton].nReponse = 4;
         EtatDirect().hFocus = kBouton;
       },
       [] {
         Touche(66, 56);
         Touche(66, 56);
       },
       Octets().u(1).t("FenetreEmulateurCE_1").u(2).ev(256, 66, 1u | 56u << 16, 0).t("b").u(0)
           .u(1).t("FenetreEmulateurCE_1").u(2).ev(256, 66, 1u | 56u << 16, 0).t("b").u(0).s},
      {"a tab's inner element is named, its window gives the points",
       [](qghost::RecordingService& s) {
         auto& inner = s.Add(0, 16, u"SAI_Dedans");
         inner.window = kSaisie;
         auto& tab = s.Add(4, 7, u"ONG_Onglet");
         tab.inner = &inner;
         std::lock_guard<std::mutex> lock(EtatDirect().mutex);
         EtatDirect().fenetres[kBouton].nReponse = 4;
       },
       [] { Souris(kMsgBoutonGaucheEnfonce, 215, 87, kBouton); },
       Octets().u(1).t("SAI_Dedans").u(17).ev(513, 215, 87, kBouton).u(0).u(105).u(27).s},
      {"a row of the organiser view is named by the view's selection",
       [](qghost::RecordingService& s) {
         auto& view = s.Add(0, 1, u"FI_VantorVueOrgaElement");
         view.selection = u"Dossier 3";
         view.selection_window = kSaisie;
         s.Add(4, 31, u"LIG", &view);
         std::lock_guard<std::mutex> lock(EtatDirect().mutex);
         EtatDirect().fenetres[kBouton].nReponse = 4;
       },
       [] { Souris(kMsgBoutonGaucheEnfonce, 215, 87, kBouton); },
       Octets().u(1).t("\"FI_VantorVueOrgaElement:Dossier 3\"")
           .u(17).ev(513, 215, 87, kBouton).u(0).u(105).u(27).s},
      {"the same window is identified once",
       nullptr,
       [] {
         Touche(13, 36);
         Touche(27, 9);
       },
       Octets().u(1).t("FEN_Saisie:SAI_Nom")
           .u(2).ev(256, 13, 1u | 36u << 16, 0).t("{ENTREE}").u(0)
           .u(2).ev(256, 27, 1u | 9u << 16, 0).t("{ECHAP}").u(0).s},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    if (c.prepare) c.prepare(service_);
    Demarre();
    c.events();
    EXPECT_EQ(Relit(), Octets().u(8).s + c.want);
  }
}

TEST_F(RecorderTest, TheRecordingServiceHoldsTheRunnerWhileRecording) {
  CTestFactory* runner = new CTestFactory();
  runner->AddRef();
  ModuleRunner() = runner;
  Demarre();
  EXPECT_EQ(service_.runner(), static_cast<qg::ITestFactory*>(runner));
  EXPECT_EQ(LibereEnregistrementTest(), 1);
  EXPECT_EQ(service_.runner(), nullptr);
  ModuleRunner() = nullptr;
  EXPECT_EQ(runner->Release(), 0);
}

TEST_F(RecorderTest, AnUnusableWindowIsAskedOnce) {
  Demarre();
  {
    std::lock_guard<std::mutex> lock(EtatDirect().mutex);
    EtatDirect().fenetres[kInconnue] = {true, true, 99, 0, 0, 0, 0, 0};
  }
  Souris(kMsgBoutonGaucheEnfonce, 1, 1, kInconnue);
  Souris(kMsgBoutonGaucheEnfonce, 1, 1, kInconnue);
  EXPECT_EQ(service_.kinds_asked.size(), 1u);
}

TEST_F(RecorderTest, RunnerOperationsWriteTheirRecords) {
  Demarre(1);
  CAny value;
  value.SetI4(42);
  EnregistreEntier(-5);
  EnregistreTexteEntier(u"é", 7);
  EnregistreAppel(u"a", 2, u"b");
  std::thread([] { EnregistreAppel(u"c", 1, u"d"); }).join();
  EnregistreEntierEnregistrement(12);
  EnregistreEntierValeur(3, &value);
  EnregistreDeuxTextes(u"F", u"v");
  EnregistreBoiteMessage(36);
  EnregistreElement("xyz", 3);
  EnregistreValeur(&value);
  DebutSaisieTexte(u"FEN.SAI");
  DebutSaisieTexte(u"FEN.SAI2");  // completes the first, empty
  FinSaisieTexte(u"Bob", 3);
  FinSaisieTexte(u"ignored", 0);  // nothing pending
  DebutSaisieTexte(u"FEN.SAI3");
  pclEnregistrement()->SetOccupe(true);
  FinSaisieTexte(u"late", 0);

  const std::string bytes = Relit();
  std::vector<RecordLu> records;
  ASSERT_TRUE(bLitEnregistrement(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                                 &records, nullptr));
  ASSERT_EQ(records.size(), 15u);
  // Everything but the two serialised values, byte for byte.
  Octets want;
  want.u(20).u(8).u(5).u(uint32_t(-5)).u(9).t("\xC3\xA9").u(7)
      .u(11).u(1).t("a").u(2).t("b").u(1)
      .u(11).u(1).t("c").u(1).t("d").u(0)
      .u(12).u(12);
  EXPECT_EQ(bytes.substr(0, want.s.size()), want.s);
  EXPECT_EQ(records[7].nType, 13u);
  EXPECT_EQ(records[7].champs[0].nValeur, 3u);
  EXPECT_EQ(records[11].nType, 19u);
  for (const RecordLu* r : {&records[7], &records[11]}) {
    const std::string& blob = r->champs.back().octets;
    CQGBufferMark b(blob.data(), blob.size());
    CAny back;
    ASSERT_TRUE(b.LitAny(back));
    int32_t v = 0;
    back.nGetI4(&v);
    EXPECT_EQ(v, 42);
  }
  Octets tail;
  tail.u(14).u(1).t("F").t("v").u(15).u(36).u(0).u(16).t("xyz");
  EXPECT_EQ(EcritEnregistrement({records[8], records[9], records[10]}), tail.s);
  Octets texts;
  texts.u(6).t("FEN.SAI").t("").h(0).u(6).t("FEN.SAI2").t("Bob").h(3).u(21).t("late");
  EXPECT_EQ(EcritEnregistrement({records[12], records[13], records[14]}), texts.s);
}

TEST_F(RecorderTest, AFailedStartLeavesNothing) {
  const std::string dir = std::filesystem::temp_directory_path() / "qg_rec_XXXXXX";
  std::string pattern = dir;
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  const std::u16string file = qgtest::U16(pattern + "/rec.bin");
  struct Case {
    const char* name;
    int32_t start;        // what the capture answers
    std::u16string path;  // where the recording goes
  };
  const Case cases[] = {
      {"keyboard capture fails", 0, file},
      {"mouse capture fails", 1, file},
      {"the file cannot be created", 2, qgtest::U16(pattern + "/none/rec.bin")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EtatDirect().nDemarrage = c.start;
    std::u16string path = c.path;
    EXPECT_EQ(CreeEnregistrementTest(0, path), 0);
    EXPECT_EQ(pclEnregistrement(), nullptr);
    EXPECT_EQ(path, c.path);  // kept for another try
    ProcClavier(0, 65, 1);    // no recorder takes it
    EnregistreEntier(1);
    EXPECT_EQ(LibereEnregistrementTest(), 0);
  }
  // The file of the failed starts holds nothing and is closed: a new
  // recording on it works and its bytes are only its own.
  EtatDirect().nDemarrage = 2;
  std::u16string path = file;
  ASSERT_EQ(CreeEnregistrementTest(0, path), 1);
  EXPECT_TRUE(path.empty());
  EnregistreEntier(9);
  EXPECT_EQ(service_.runner(), nullptr);
  EXPECT_EQ(LibereEnregistrementTest(), 1);
  EXPECT_EQ(LibereEnregistrementTest(), 0);
  EXPECT_GE(service_.nSetRunner(), 1);
  std::ifstream in(pattern + "/rec.bin", std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(bytes, Octets().u(8).u(5).u(9).s);
  std::filesystem::remove_all(pattern);
}

TEST_F(RecorderTest, RecordsOfTwoThreadsStayWhole) {
  Demarre();
  constexpr int kCount = 10000;
  auto writer = [](const char16_t* first) {
    for (int i = 0; i < kCount; ++i) EnregistreAppel(first, 1, u"une valeur assez longue");
  };
  std::thread a(writer, u"premier");
  std::thread b(writer, u"second");
  a.join();
  b.join();
  const std::string bytes = Relit();
  std::vector<RecordLu> records;
  size_t bad = 0;
  ASSERT_TRUE(bLitEnregistrement(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                                 &records, &bad))
      << "bad record at " << bad;
  ASSERT_EQ(records.size(), 1u + 2 * kCount);
  for (size_t i = 1; i < records.size(); ++i) {
    ASSERT_EQ(records[i].nType, 11u);
    EXPECT_EQ(records[i].champs[4].nValeur, 0u);  // not the recording thread
  }
}

TEST(RecordingReader, RewritesEveryRecordAndRefusesCutOnes) {
  Octets file;
  file.u(20).u(8)
      .u(0).ev(275, 1, 2, 3)
      .u(1).t("F:C")
      .u(2).ev(256, 65, 1, 0).t("a").u(4)
      .u(5).u(7)
      .u(6).t("c").t("x").h(9)
      .u(9).t("t").u(3)
      .u(11).u(1).t("a").u(2).t("b").u(1)
      .u(12).u(4)
      .u(13).u(1).t(std::string("\x00\x01", 2))
      .u(14).u(1).t("n").t("v")
      .u(15).u(64).u(0)
      .u(16).t("el")
      .u(17).ev(513, 5, 6, 7).u(8).u(1).u(2)
      .u(18).ev(514, 5, 6, 7).u(0)
      .u(19).t("v")
      .u(21).t("late");
  const auto* p = reinterpret_cast<const uint8_t*>(file.s.data());
  std::vector<RecordLu> records;
  ASSERT_TRUE(bLitEnregistrement(p, file.s.size(), &records, nullptr));
  EXPECT_EQ(records.size(), 18u);
  EXPECT_EQ(EcritEnregistrement(records), file.s);
  EXPECT_EQ(DecritRecord(records[4]), "2 message=256 p1=65 p2=0x00000001 zero=0 window=0 \"a\" 4");

  // Every cut inside a record, an unknown type and a length past the end.
  const size_t last = records.back().nPosition;
  for (size_t cut = last + 1; cut < file.s.size(); ++cut) {
    size_t bad = 0;
    EXPECT_FALSE(bLitEnregistrement(p, cut, &records, &bad)) << cut;
    EXPECT_EQ(bad, last);
    EXPECT_EQ(records.size(), 17u);
  }
  size_t bad = 0;
  const std::string unknown = Octets().u(8).u(3).s;
  EXPECT_FALSE(bLitEnregistrement(reinterpret_cast<const uint8_t*>(unknown.data()),
                                  unknown.size(), &records, &bad));
  EXPECT_EQ(bad, 4u);
  const std::string longer = Octets().u(1).u(0xFFFFFFF0u).s + "abc";
  EXPECT_FALSE(bLitEnregistrement(reinterpret_cast<const uint8_t*>(longer.data()), longer.size(),
                                  &records, &bad));
  EXPECT_EQ(bad, 0u);
}

}  // namespace

namespace {

// A second press of the same button soon enough and close enough is the
// double click; anything else starts a new pair.
TEST(DoubleClickTest, SecondPressesWithinTimeAndPlace) {
  const struct {
    const char* name;
    uint32_t first, second;
    uint32_t gap_ms;
    int32_t dx, dy;
    uint32_t want;
  } cases[] = {
      {"left", 513, 513, 200, 0, 0, 515},
      {"right", 516, 516, 200, 1, -2, 518},
      {"middle", 519, 519, 500, 2, 2, 521},
      {"too late", 513, 513, 501, 0, 0, 513},
      {"too far", 513, 513, 100, 3, 0, 513},
      {"another button", 513, 516, 100, 0, 0, 516},
      {"past the clock's wrap", 513, 513, 10, 0, 0, 515},
  };
  for (const auto& c : cases) {
    CDetecteurDoubleClic d;
    const uint32_t t0 = std::string(c.name) == "past the clock's wrap" ? 0xFFFFFFFCu : 1000u;
    EXPECT_EQ(d.nMessage(c.first, t0, 100, 100), c.first) << c.name;
    EXPECT_EQ(d.nMessage(c.second, t0 + c.gap_ms, 100 + c.dx, 100 + c.dy), c.want) << c.name;
  }
  // A double click starts no new pair; a wheel turn ends a pending one.
  CDetecteurDoubleClic d(300);
  EXPECT_EQ(d.nMessage(513, 0, 0, 0), 513u);
  EXPECT_EQ(d.nMessage(513, 100, 0, 0), 515u);
  EXPECT_EQ(d.nMessage(513, 200, 0, 0), 513u);
  EXPECT_EQ(d.nMessage(522, 250, 0, 0), 522u);
  EXPECT_EQ(d.nMessage(513, 260, 0, 0), 513u);
  EXPECT_EQ(d.nMessage(514, 270, 0, 0), 514u);  // releases pass
  EXPECT_EQ(d.nMessage(513, 280, 0, 0), 515u);
  EXPECT_EQ(d.nMessage(513, 1000, 0, 0), 513u);
  EXPECT_EQ(d.nMessage(513, 1301, 0, 0), 513u);  // 300 ms here
}

TEST(DoubleClickTest, TheDesktopsTimeComesFromItsResources) {
  EXPECT_EQ(DelaiDoubleClicRessources(""), 0u);
  EXPECT_EQ(DelaiDoubleClicRessources("Xft.dpi:\t96\n*multiClickTime:\t350\n"), 350u);
  EXPECT_EQ(DelaiDoubleClicRessources("XTerm*doubleClickTime: 250\n"), 250u);
  EXPECT_EQ(DelaiDoubleClicRessources("*multiClickTime: 0\n*multiClickTime: x\n"), 0u);
  EXPECT_EQ(DelaiDoubleClicRessources("*multiClickTime: 99999\n"), 0u);
}

}  // namespace
