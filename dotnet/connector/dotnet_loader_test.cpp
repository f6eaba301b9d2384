#include "dotnet/connector/dotnet_loader.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <latch>
#include <thread>

#include "dotnet/connector/net_test_fixture.h"
#include "support/platform/registry.h"

namespace qgnet {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

class LoaderTest : public NetTest {
 protected:
  void SetUp() override {
    NetTest::SetUp();
    char pattern[] = "/tmp/qg_net_loader_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    loader_ = &manager_->Loader();
    loader_->vClear();
    loader_->SetTraceForTesting(
        [this](const char16_t* kind, const std::u16string& what) {
          tries_.push_back(U8(kind) + " " + U8(what));
        });
  }
  void TearDown() override {
    loader_->SetTraceForTesting(nullptr);
    loader_->SetExecutableFolderForTesting(u"");
    loader_->vClear();
    manager_->Finder().vClear();
    std::error_code ignored;
    fs::remove_all(root_, ignored);
    NetTest::TearDown();
  }

  std::string root_;
  CDotNetLoader* loader_ = nullptr;
  std::vector<std::string> tries_;
};

TEST_F(LoaderTest, SearchLoadTriesTheFoldersThenTheNameThenThePath) {
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof(cwd)), nullptr);
  std::string here = cwd;
  // The executable's folder is the current directory: tried once.
  loader_->SetExecutableFolderForTesting(U16(here));
  EXPECT_EQ(loader_->vpiLoadAssembly(u"QgNoSuchLib.dll", &error_), nullptr);
  EXPECT_THAT(tries_, ElementsAre("path " + here + "/QgNoSuchLib.dll", "name QgNoSuchLib",
                                  "path QgNoSuchLib.dll", "name QgNoSuchLib"));
  // Another executable folder comes first.
  tries_.clear();
  loader_->SetExecutableFolderForTesting(U16(root_));
  EXPECT_EQ(loader_->vpiLoadAssembly(u"QgNoSuchLib.dll", &error_), nullptr);
  EXPECT_THAT(tries_, ElementsAre("path " + root_ + "/QgNoSuchLib.dll",
                                  "path " + here + "/QgNoSuchLib.dll", "name QgNoSuchLib",
                                  "path QgNoSuchLib.dll", "name QgNoSuchLib"));
  std::vector<uint32_t> ids = MessageIds(error_);
  EXPECT_NE(std::find(ids.begin(), ids.end(), 3614u), ids.end());
  EXPECT_NE(std::find(ids.begin(), ids.end(), 200003u), ids.end());
}

TEST_F(LoaderTest, LoadAddRemembersNamesUntilCleared) {
  EXPECT_TRUE(loader_->vbLoadAddAssembly(fixture_.c_str(), &error_)) << UserText(error_);
  EXPECT_FALSE(loader_->vbLoadAddAssembly(u"QgNoSuchLib.dll", &error_));
  EXPECT_FALSE(MessageIds(error_).empty());
  size_t loads = tries_.size();
  EXPECT_TRUE(loader_->vbLoadAddAssembly(fixture_.c_str(), &error_));
  EXPECT_EQ(tries_.size(), loads);  // the runtime is not asked again
  EXPECT_THAT(MessageIds(error_), ElementsAre());  // nor does the last failure stay
  EXPECT_EQ(loader_->vnGetNbAssembly(), 1);
  EXPECT_EQ(loader_->nGetNbAlias(), 1);
  EXPECT_THAT(U8(loader_->vpiGetAssembly(0)->vpszGetName()), HasSubstr("NetFixture, Version=1.2.3.4"));
  EXPECT_TRUE(loader_->vbFindType(u"Fixture.Values"));
  IDotNetType* type = loader_->vpiGetType(u"Fixture.Values");
  ASSERT_NE(type, nullptr);
  EXPECT_EQ(std::u16string(type->vcszGetNomInterne()), u"Fixture.Values");
  type->vRelease();
  loader_->vClear();
  EXPECT_EQ(loader_->nGetNbAlias(), 0);
  EXPECT_EQ(loader_->vnGetNbAssembly(), 0);
  EXPECT_FALSE(loader_->vbFindType(u"Fixture.Values"));
}

TEST_F(LoaderTest, CacheFolderPathsLoadByNameAndUnknownNamesFail) {
  std::u16string cache = manager_->pszGetGAC();
  ASSERT_FALSE(cache.empty());
  IDotNetAssembly* linq = loader_->vpiLoadAssemblyWithFullPath(
      (cache + u"/System.Linq.dll").c_str(), &error_);
  ASSERT_NE(linq, nullptr) << UserText(error_);
  EXPECT_THAT(tries_, ElementsAre("name System.Linq"));
  EXPECT_THAT(U8(linq->vpszGetName()), HasSubstr("System.Linq,"));
  EXPECT_EQ(std::u16string(linq->vpszGetFileName()), u"");
  linq->vRelease();

  tries_.clear();
  error_.RAZ();
  EXPECT_EQ(loader_->vpiLoadAssemblyFromGAC(u"QgNoSuchAssembly", &error_), nullptr);
  EXPECT_THAT(MessageIds(error_), ElementsAre(200003u));
  EXPECT_EQ(loader_->vpiLoadWithPartialName(u"System.Linq"), nullptr);
  EXPECT_FALSE(loader_->vbLoadAdd(fixture_.c_str()));

  // An over-long path fails with the whole path in the error.
  error_.RAZ();
  std::u16string longer = u"/" + std::u16string(5000, u'a') + u".dll";
  EXPECT_EQ(loader_->vpiLoadAssemblyWithFullPath(longer.c_str(), &error_), nullptr);
  EXPECT_THAT(UserText(error_), HasSubstr(U8(longer)));
}

// Threads that load assemblies and find their types at once, each starting
// at another assembly, so that first loads of the same assembly meet and
// the lists grow while other threads read them. Every lookup answers its
// type, and each assembly is listed once under its one name.
TEST_F(LoaderTest, ThreadsLoadingAndFindingTypesAtOnceListEachAssemblyOnce) {
  loader_->SetTraceForTesting(nullptr);
  const STInfoClasseDotNet kClasses[] = {
      {fixture_.c_str(), u"Fixture", u"Values"},
      {u"System.Collections.dll", u"System.Collections", u"BitArray"},
      {u"System.Text.RegularExpressions.dll", u"System.Text.RegularExpressions", u"Regex"},
      {u"System.Net.Primitives.dll", u"System.Net", u"IPAddress"},
      {u"System.Collections.Specialized.dll", u"System.Collections.Specialized",
       u"StringCollection"},
      {u"System.Text.Json.dll", u"System.Text.Json", u"JsonDocument"},
      {u"System.Private.Xml.dll", u"System.Xml", u"XmlDocument"},
  };
  constexpr int kCount = static_cast<int>(std::size(kClasses));
  constexpr int kThreads = 6;
  constexpr int kRounds = 5;
  for (int round = 0; round < kRounds; ++round) {
    std::vector<std::string> failures(kThreads);
    std::vector<std::u16string> caches(kThreads);
    std::latch start(kThreads);
    auto run = [&](int t) {
      _CXErrorModule20 error;
      start.arrive_and_wait();
      caches[static_cast<size_t>(t)] = manager_->pszGetGAC();
      for (int n = 0; n < kCount * 2; ++n) {
        const STInfoClasseDotNet& classe = kClasses[(n + t) % kCount];
        error.RAZ();
        CDotNetType* type = manager_->pclGetTypeClasse(&classe, &error);
        std::u16string want = std::u16string(classe.pszNamespace) + u"." + classe.pszClasse;
        if (type == nullptr || type->FullName() != want) {
          failures[static_cast<size_t>(t)] = U8(want) + ": " + UserText(error);
        }
        if (type != nullptr) type->vRelease();
      }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) threads.emplace_back(run, t);
    for (std::thread& thread : threads) thread.join();
    for (int t = 0; t < kThreads; ++t) {
      EXPECT_EQ(failures[static_cast<size_t>(t)], "") << "round " << round;
      EXPECT_FALSE(caches[static_cast<size_t>(t)].empty());
      EXPECT_EQ(caches[static_cast<size_t>(t)], caches[0]);
    }
    EXPECT_EQ(loader_->vnGetNbAssembly(), kCount);
    EXPECT_EQ(loader_->nGetNbAlias(), kCount);
    loader_->vClear();
  }
}

TEST_F(LoaderTest, CoreLibraryStandsForMscorlib) {
  IDotNetAssembly* core = loader_->vpiGetAssembly_mscorlib();
  ASSERT_NE(core, nullptr);
  EXPECT_GT(static_cast<CDotNetAssembly*>(core)->nGetNbType(), 100);
  EXPECT_TRUE(core->vbFindType(u"System.Object"));
  EXPECT_EQ(std::u16string(core->vpszGetVersionCLRNecessaire()), u"v4.0.30319");
  EXPECT_TRUE(core->vb64bits());
  core->vRelease();
  EXPECT_EQ(loader_->vpszGetStrongNameForFile(u"/etc/hostname"), nullptr);
  const char16_t* name = loader_->vpszGetStrongNameForFile(fixture_.c_str());
  ASSERT_NE(name, nullptr);
  EXPECT_THAT(U8(name), HasSubstr("NetFixture, Version=1.2.3.4, Culture=neutral"));
  // Threads asking at once each read the whole name, and the first answer
  // still reads after theirs.
  const std::u16string want[2] = {name, name};
  EXPECT_EQ(ReadTogether(
                [&](int) {
                  const char16_t* got = loader_->vpszGetStrongNameForFile(fixture_.c_str());
                  return std::u16string(got != nullptr ? got : u"(null)");
                },
                want),
            "");
  EXPECT_EQ(std::u16string(name), want[0]);
}

class FinderTest : public LoaderTest {
 protected:
  void SetUp() override {
    LoaderTest::SetUp();
    fs::create_directories(root_ + "/cache/Temporary");
    fs::create_directories(root_ + "/cache/sub");
    fs::create_directories(root_ + "/registry");
    fs::copy_file(FixtureDll(), root_ + "/cache/sub/NetFixture.dll");
    fs::copy_file(FixtureDll(), root_ + "/cache/Temporary/Hidden.DLL");
    std::ofstream(root_ + "/cache/notnet.dll") << "not an assembly";
    std::ofstream(root_ + "/cache/readme.txt") << "no";
    fs::create_directory_symlink(root_ + "/cache", root_ + "/cache/sub/loop");
    setenv("QG_REGISTRY_ROOT", (root_ + "/registry").c_str(), 1);
  }
  void TearDown() override {
    unsetenv("QG_REGISTRY_ROOT");
    LoaderTest::TearDown();
  }

  std::vector<std::string> Listed() {
    std::vector<std::string> names;
    CDotNetFinder& finder = manager_->Finder();
    for (int i = 0; i < finder.vnGetNb(); ++i) {
      names.push_back(U8(finder.vpszGetFileName(i)).substr(root_.size() + 7));
    }
    return names;
  }
};

TEST_F(FinderTest, FindInPathScansEverythingOnceAndReadsNames) {
  CDotNetFinder& finder = manager_->Finder();
  EXPECT_TRUE(finder.vbFindInPath(U16(root_ + "/cache").c_str()));
  EXPECT_THAT(Listed(), ElementsAre("notnet.dll", "Temporary/Hidden.DLL", "sub/NetFixture.dll"));
  EXPECT_EQ(std::u16string(finder.vpszGetStrongName(0)), u"");
  EXPECT_EQ(finder.vnGetVersion(0, 0), 0);
  EXPECT_THAT(U8(finder.vpszGetStrongName(2)), HasSubstr("NetFixture, Version=1.2.3.4"));
  EXPECT_EQ(finder.vnGetVersion(2, 0), 1);
  EXPECT_EQ(finder.vnGetVersion(2, 3), 4);
  EXPECT_EQ(finder.vnGetVersion(2, 4), 0);
  EXPECT_EQ(finder.vpszGetFileName(3), nullptr);
}

// A named pipe ending in .dll is no assembly: opening it would wait for a
// writer for ever.
TEST_F(FinderTest, NamedPipesAreNeitherListedNorLoaded) {
  ASSERT_EQ(mkfifo((root_ + "/cache/pipe.dll").c_str(), 0600), 0);
  CDotNetFinder& finder = manager_->Finder();
  EXPECT_TRUE(finder.vbFindInPath(U16(root_ + "/cache").c_str()));
  EXPECT_THAT(Listed(), ElementsAre("notnet.dll", "Temporary/Hidden.DLL", "sub/NetFixture.dll"));
  IDotNetAssembly* pipe = loader_->vpiLoadAssembly(U16(root_ + "/cache/pipe.dll").c_str(), &error_);
  EXPECT_EQ(pipe, nullptr);
  if (pipe != nullptr) pipe->vRelease();
  EXPECT_EQ(loader_->vpszGetStrongNameForFile(U16(root_ + "/cache/pipe.dll").c_str()), nullptr);
}

TEST_F(FinderTest, CacheScanSkipsTemporaryAndHonoursTheOptOut) {
  const char16_t* key = u"Software\\Moravex\\Vantor\\30.0\\QGNET";
  struct Case {
    int value;  // -1: no value
    size_t listed;
  };
  setenv("QG_NET_ASSEMBLY_CACHE", (root_ + "/cache").c_str(), 1);
  // The cache folder is read once per manager: start a new one.
  ASSERT_EQ(manager_->Release(), 0);
  manager_ = CDotNetManager::Acquire();
  loader_ = &manager_->Loader();
  for (Case c : {Case{-1, 2}, Case{0, 2}, Case{1, 0}}) {
    // 2: notnet.dll and sub/NetFixture.dll; Temporary/ is skipped.
    if (c.value >= 0) {
      ASSERT_EQ(qg::RegWriteDword(qg::RegistryHive::kCurrentUser, key, u"DesactiveRechercheGAC",
                                  static_cast<uint32_t>(c.value)),
                qg::RegStatus::kOk);
    }
    manager_->Finder().vClear();
    EXPECT_TRUE(manager_->Finder().vbFind());
    EXPECT_EQ(manager_->Finder().vnGetNb(), static_cast<int>(c.listed)) << c.value;
  }
  unsetenv("QG_NET_ASSEMBLY_CACHE");
}

}  // namespace
}  // namespace qgnet
