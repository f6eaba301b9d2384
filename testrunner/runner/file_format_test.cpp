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

}  // namespace
