#include "support/streams/stream_error.h"

#include <gtest/gtest.h>

#include "errors/stream_errors.h"
#include "errors/xerror.h"
#include "support/platform/error_codes.h"
#include "support/streams/disk_file.h"
#include "support/streams/temp_dir_fixture.h"

namespace {

// The streams of this test binary report through the error library, as in
// a deliverable.
const bool kReporterInstalled = (qg::SetStreamErrorModule(0, nullptr), true);

using StreamErrorTest = qgtest::TempDirTest;

TEST_F(StreamErrorTest, WithoutAReporterFailuresOnlySetTheLastError) {
  ASSERT_TRUE(kReporterInstalled);
  qg::SetStreamErrorReporter(nullptr);
  {
    CDiskFile f;
    EXPECT_EQ(f.pclGetError(), nullptr);
    EXPECT_FALSE(f.bOpen(Path16("none").c_str(), qg::GENERIC_READ, 0, qg::OPEN_EXISTING, 0,
                         nullptr));
    EXPECT_EQ(qg::GetLastError(), qg::kErrorFileNotFound);
  }
  qg::SetStreamErrorModule(0, nullptr);
  CDiskFile f;
  EXPECT_FALSE(
      f.bOpen(Path16("none").c_str(), qg::GENERIC_READ, 0, qg::OPEN_EXISTING, 0, nullptr));
  ASSERT_NE(f.pclGetError(), nullptr);
  EXPECT_EQ(f.pclGetError()->nGetSystemError(), qg::kErrorFileNotFound);
}

}  // namespace
