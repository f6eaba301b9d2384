#include "support/platform/registry.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace qg {
namespace {

constexpr RegistryHive kHkcu = RegistryHive::kCurrentUser;
constexpr RegistryHive kHklm = RegistryHive::kLocalMachine;
constexpr char16_t kWebKey[] = u"Software\\Moravex\\qgxxxxweb";

// Points the store at a fresh temporary folder for the test's length.
class RegistryTest : public testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/qg_registry_test_XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(tmpl));
    root_ = tmpl;
    const char* old = getenv("QG_REGISTRY_ROOT");
    had_old_ = old != nullptr;
    if (had_old_) old_ = old;
    setenv("QG_REGISTRY_ROOT", root_.c_str(), 1);
  }
  void TearDown() override {
    if (had_old_) {
      setenv("QG_REGISTRY_ROOT", old_.c_str(), 1);
    } else {
      unsetenv("QG_REGISTRY_ROOT");
    }
    std::filesystem::remove_all(root_);
  }

  std::string root_;
  std::string old_;
  bool had_old_ = false;
};

TEST_F(RegistryTest, RootFollowsTheEnvironment) {
  EXPECT_EQ(root_, RegistryRoot());
  setenv("QG_REGISTRY_ROOT", "", 1);
  const char* home = getenv("HOME");
  if (home != nullptr && *home != 0) {
    EXPECT_EQ(std::string(home) + "/.config/qg300/registry", RegistryRoot());
  }
  setenv("QG_REGISTRY_ROOT", root_.c_str(), 1);
}

TEST_F(RegistryTest, ValuesRoundTripAndKeepTheirType) {
  uint32_t n = 0;
  std::u16string s;
  EXPECT_EQ(RegStatus::kNotFound, RegReadDword(kHkcu, kWebKey, u"FORCE_LOWEND", &n));
  EXPECT_FALSE(RegKeyExists(kHkcu, kWebKey));

  ASSERT_EQ(RegStatus::kOk, RegWriteDword(kHkcu, kWebKey, u"FORCE_LOWEND", 0xFFFFFFFFu));
  ASSERT_EQ(RegStatus::kOk, RegWriteString(kHkcu, kWebKey, u"DEBUG_TIMEOUT", u"1"));
  const std::u16string tricky = u"a b%20\n\u00e9\u3042 =x \U0001F600";
  ASSERT_EQ(RegStatus::kOk, RegWriteString(kHkcu, kWebKey, u"odd name =%", tricky.c_str()));
  ASSERT_EQ(RegStatus::kOk, RegWriteString(kHkcu, kWebKey, u"", u"default"));
  ASSERT_EQ(RegStatus::kOk, RegWriteString(kHkcu, kWebKey, u"empty", u""));

  EXPECT_EQ(RegStatus::kOk, RegReadDword(kHkcu, kWebKey, u"FORCE_LOWEND", &n));
  EXPECT_EQ(0xFFFFFFFFu, n);
  EXPECT_EQ(RegStatus::kOk, RegReadString(kHkcu, kWebKey, u"odd name =%", &s));
  EXPECT_EQ(tricky, s);
  EXPECT_EQ(RegStatus::kOk, RegReadString(kHkcu, kWebKey, u"", &s));
  EXPECT_EQ(u"default", s);
  EXPECT_EQ(RegStatus::kOk, RegReadString(kHkcu, kWebKey, u"empty", &s));
  EXPECT_EQ(u"", s);
  // A text is no number and a number no text.
  EXPECT_EQ(RegStatus::kWrongType, RegReadDword(kHkcu, kWebKey, u"DEBUG_TIMEOUT", &n));
  EXPECT_EQ(RegStatus::kWrongType, RegReadString(kHkcu, kWebKey, u"FORCE_LOWEND", &s));

  // Rewriting replaces value and type; other values stay.
  ASSERT_EQ(RegStatus::kOk, RegWriteDword(kHkcu, kWebKey, u"DEBUG_TIMEOUT", 7));
  EXPECT_EQ(RegStatus::kOk, RegReadDword(kHkcu, kWebKey, u"DEBUG_TIMEOUT", &n));
  EXPECT_EQ(7u, n);
  EXPECT_EQ(RegStatus::kOk, RegReadDword(kHkcu, kWebKey, u"FORCE_LOWEND", &n));
  EXPECT_EQ(0xFFFFFFFFu, n);

  // The hives are apart.
  EXPECT_EQ(RegStatus::kNotFound, RegReadDword(kHklm, kWebKey, u"FORCE_LOWEND", &n));
}

TEST_F(RegistryTest, KeysAndNamesIgnoreCase) {
  ASSERT_EQ(RegStatus::kOk, RegWriteDword(kHkcu, u"Software\\Moravex\\Vantor\\30.0\\QGNET",
                                          u"DesactiveRechercheGAC", 1));
  uint32_t n = 0;
  EXPECT_EQ(RegStatus::kOk, RegReadDword(kHkcu, u"SOFTWARE\\moravex\\VANTOR\\30.0\\qgnet",
                                         u"desactiverecherchegac", &n));
  EXPECT_EQ(1u, n);
  // Empty components (doubled or edge backslashes) are ignored.
  EXPECT_EQ(RegStatus::kOk, RegReadDword(kHkcu, u"\\Software\\\\Moravex\\Vantor\\30.0\\QGNET\\",
                                         u"DESACTIVERECHERCHEGAC", &n));
  // A parent key exists; a sibling does not; "30.0" is not "30.00".
  EXPECT_TRUE(RegKeyExists(kHkcu, u"Software\\Moravex"));
  EXPECT_FALSE(RegKeyExists(kHkcu, u"Software\\Parallels"));
  EXPECT_FALSE(RegKeyExists(kHkcu, u"Software\\Moravex\\Vantor\\30.00"));
  // Rewriting under another spelling replaces the value, it adds none.
  ASSERT_EQ(RegStatus::kOk, RegWriteDword(kHkcu, u"software\\moravex\\vantor\\30.0\\qgnet",
                                          u"DESACTIVERECHERCHEGAC", 0));
  EXPECT_EQ(RegStatus::kOk, RegReadDword(kHkcu, u"Software\\Moravex\\Vantor\\30.0\\QGNET",
                                         u"DesactiveRechercheGAC", &n));
  EXPECT_EQ(0u, n);
}

// Beyond Latin-1 too: names and key components match under the simple
// case folding of the BMP; no other pair does.
TEST_F(RegistryTest, CaseIsIgnoredAcrossTheWholeBmp) {
  struct Case {
    const char16_t* written;
    const char16_t* asked;
    bool same;
  };
  const Case cases[] = {
      {u"\u0100", u"\u0101", true},                        // A with macron
      {u"\u03A3\u03C9", u"\u03C3\u03A9", true},             // Greek
      {u"\u03C2", u"\u03A3", true},                        // final sigma
      {u"\u0416\u0401", u"\u0436\u0451", true},             // Cyrillic
      {u"\u00B5", u"\u039C", true},                        // micro sign, Mu
      {u"\u1E9E", u"\u00DF", true},                        // capital sharp s
      {u"\u13A0", u"\uAB70", true},                        // Cherokee
      {u"\uFF21", u"\uFF41", true},                        // full-width A
      {u"\u2C00", u"\u2C30", true},                        // Glagolitic
      {u"\u0130", u"i", false},                             // dotted capital I
      {u"\u0131", u"I", false},                             // dotless small i
      {u"\u01C5", u"\u01C4", true},                        // title case DZ
      {u"\u0100", u"\u0102", false},
  };
  uint32_t n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << static_cast<int>(c.written[0]));
    const std::u16string key = u"Software\\" + std::u16string(c.written);
    const std::u16string asked_key = u"SOFTWARE\\" + std::u16string(c.asked);
    ASSERT_EQ(RegStatus::kOk, RegWriteDword(kHkcu, key.c_str(), c.written, 3));
    EXPECT_EQ(c.same ? RegStatus::kOk : RegStatus::kNotFound,
              RegReadDword(kHkcu, key.c_str(), c.asked, &n));
    EXPECT_EQ(c.same ? RegStatus::kOk : RegStatus::kNotFound,
              RegReadDword(kHkcu, asked_key.c_str(), c.written, &n));
    EXPECT_EQ(c.same, RegKeyExists(kHkcu, asked_key.c_str()));
  }
}

// Key components cannot climb out of the root or collide with the store's
// own file.
TEST_F(RegistryTest, KeyComponentsStayInsideTheRoot) {
  ASSERT_EQ(RegStatus::kOk, RegWriteDword(kHkcu, u"..\\..\\escape", u"v", 1));
  ASSERT_EQ(RegStatus::kOk, RegWriteDword(kHkcu, u"a/b\\#values\\.", u"v", 2));
  uint32_t n = 0;
  EXPECT_EQ(RegStatus::kOk, RegReadDword(kHkcu, u"..\\..\\escape", u"v", &n));
  EXPECT_EQ(1u, n);
  EXPECT_EQ(RegStatus::kOk, RegReadDword(kHkcu, u"a/b\\#values\\.", u"v", &n));
  EXPECT_EQ(2u, n);
  EXPECT_FALSE(RegKeyExists(kHkcu, u"a"));
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(root_).parent_path() / "escape"));
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root_)) {
    std::string name = entry.path().filename().string();
    EXPECT_NE('.', name[0]) << entry.path();
  }
}

// Windows allows 255 characters a component: non-ASCII ones escape to up to
// nine bytes each, past the file system's 255-byte names. And a name the
// store cannot spell exactly (a lone surrogate) is found again as stored.
TEST_F(RegistryTest, LongComponentsAndUnspellableNames) {
  const std::u16string e_acute(200, u'\u00E9');
  const std::u16string other = e_acute.substr(1) + u"x";
  const std::u16string key = u"Software\\" + e_acute;
  const std::u16string key2 = u"Software\\" + other;
  ASSERT_EQ(RegStatus::kOk, RegWriteDword(kHkcu, key.c_str(), u"v", 7));
  ASSERT_EQ(RegStatus::kOk, RegWriteDword(kHkcu, key2.c_str(), u"v", 8));
  uint32_t n = 0;
  EXPECT_EQ(RegStatus::kOk, RegReadDword(kHkcu, key.c_str(), u"v", &n));
  EXPECT_EQ(7u, n);
  const std::u16string upper = u"SOFTWARE\\" + std::u16string(200, u'\u00C9');
  EXPECT_EQ(RegStatus::kOk, RegReadDword(kHkcu, upper.c_str(), u"v", &n));
  EXPECT_EQ(7u, n);
  EXPECT_EQ(RegStatus::kOk, RegReadDword(kHkcu, key2.c_str(), u"v", &n));
  EXPECT_EQ(8u, n);
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root_)) {
    EXPECT_LE(entry.path().filename().string().size(), 255u);
  }

  const char16_t lone[] = {u'a', 0xD800, u'b', 0};
  ASSERT_EQ(RegStatus::kOk, RegWriteString(kHkcu, u"Software\\S", lone, u"text"));
  std::u16string text;
  EXPECT_EQ(RegStatus::kOk, RegReadString(kHkcu, u"Software\\S", lone, &text));
  EXPECT_EQ(text, u"text");
  ASSERT_EQ(RegStatus::kOk, RegWriteString(kHkcu, u"Software\\S", lone, u"again"));
  EXPECT_EQ(RegStatus::kOk, RegReadString(kHkcu, u"Software\\S", lone, &text));
  EXPECT_EQ(text, u"again");
}

TEST_F(RegistryTest, DamagedLinesAreSkippedAndErrorsReported) {
  ASSERT_EQ(RegStatus::kOk, RegWriteDword(kHkcu, kWebKey, u"good", 5));
  std::string file;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root_)) {
    if (entry.path().filename() == "#values") file = entry.path().string();
  }
  ASSERT_FALSE(file.empty());
  {
    std::ofstream out(file, std::ios::app);
    out << "dword =bad 12x\nsz =half\ngarbage\ndword =big 4294967296\nsz =pct =%4\n";
  }
  uint32_t n = 0;
  std::u16string s;
  EXPECT_EQ(RegStatus::kOk, RegReadDword(kHkcu, kWebKey, u"good", &n));
  EXPECT_EQ(5u, n);
  EXPECT_EQ(RegStatus::kNotFound, RegReadDword(kHkcu, kWebKey, u"bad", &n));
  EXPECT_EQ(RegStatus::kNotFound, RegReadDword(kHkcu, kWebKey, u"big", &n));
  EXPECT_EQ(RegStatus::kNotFound, RegReadString(kHkcu, kWebKey, u"pct", &s));

  EXPECT_EQ(RegStatus::kInvalidArgument, RegReadDword(kHkcu, nullptr, u"good", &n));
  EXPECT_EQ(RegStatus::kInvalidArgument, RegWriteString(kHkcu, kWebKey, u"x", nullptr));
  EXPECT_EQ(RegStatus::kInvalidArgument, RegWriteDword(kHkcu, kWebKey, nullptr, 1));

  // A root that cannot hold folders fails the write with an I/O error.
  std::string blocker = root_ + "/file";
  std::ofstream(blocker) << "x";
  setenv("QG_REGISTRY_ROOT", blocker.c_str(), 1);
  EXPECT_EQ(RegStatus::kIoError, RegWriteDword(kHkcu, kWebKey, u"good", 1));
  EXPECT_EQ(RegStatus::kNotFound, RegReadDword(kHkcu, kWebKey, u"good", &n));
}

// Concurrent writers of one key lose no value and leave no temporary file.
TEST_F(RegistryTest, ConcurrentWritersKeepEveryValue) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 25; ++i) {
        std::u16string name = u"v" + std::u16string(1, static_cast<char16_t>(u'a' + t)) +
                              static_cast<char16_t>(u'A' + i);
        RegWriteDword(kHkcu, kWebKey, name.c_str(), static_cast<uint32_t>(t * 100 + i));
      }
    });
  }
  for (std::thread& th : threads) th.join();
  for (int t = 0; t < 4; ++t) {
    for (int i = 0; i < 25; ++i) {
      std::u16string name = u"v" + std::u16string(1, static_cast<char16_t>(u'a' + t)) +
                            static_cast<char16_t>(u'A' + i);
      uint32_t n = 0;
      ASSERT_EQ(RegStatus::kOk, RegReadDword(kHkcu, kWebKey, name.c_str(), &n));
      EXPECT_EQ(static_cast<uint32_t>(t * 100 + i), n);
    }
  }
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root_)) {
    EXPECT_EQ(std::string::npos, entry.path().filename().string().find(".tmp"));
  }
}

}  // namespace
}  // namespace qg
