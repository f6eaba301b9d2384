#include "testrunner/runner/file_format.h"

#include <gtest/gtest.h>

#include "support/frame/module_services.h"

namespace {

TEST(FileFormatTest, KeptVersionChoosesTheFormat) {
  const int32_t saved = qg::Services().nFileFormatVersion;
  const struct {
    int32_t version;
    bool recent;
  } cases[] = {{30, false}, {31, true}, {45, true}};
  for (const auto& c : cases) {
    qg::Services().nFileFormatVersion = c.version;
    EXPECT_EQ(GestionFormatFichier().nGetType(), 1);
    EXPECT_EQ(GestionFormatFichier().bFormatRecent(), c.recent) << c.version;
    EXPECT_EQ(GestionFormatFichier().bFormatAncien(), !c.recent) << c.version;
  }
  qg::Services().nFileFormatVersion = saved;
}

// The host calls the switch by slot: the three operations come first.
TEST(FileFormatTest, OperationsSitInTheFirstThreeSlots) {
  const int32_t saved = qg::Services().nFileFormatVersion;
  qg::Services().nFileFormatVersion = 31;
  CGestionFormatFichierExecution& f = GestionFormatFichier();
  void* const* slots = *reinterpret_cast<void* const* const*>(&f);
  using Type = int32_t (*)(const CGestionFormatFichierExecution*);
  using Test = bool (*)(const CGestionFormatFichierExecution*);
  EXPECT_EQ(reinterpret_cast<Type>(slots[0])(&f), 1);
  EXPECT_TRUE(reinterpret_cast<Test>(slots[1])(&f));
  EXPECT_FALSE(reinterpret_cast<Test>(slots[2])(&f));
  qg::Services().nFileFormatVersion = saved;
}

}  // namespace
