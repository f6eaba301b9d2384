#include "support/platform/error_codes.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <thread>

namespace qg {
namespace {

TEST(ErrorCodesTest, MapsErrnoToSystemCodes) {
  const struct {
    int err;
    uint32_t code;
  } cases[] = {
      {0, 0},         {ENOENT, 2},   {ENOTDIR, 3},  {EACCES, 5},   {EPERM, 5},
      {ENOMEM, 14},   {ETXTBSY, 32}, {EEXIST, 183}, {EINVAL, 87},  {ENOSPC, 112},
      {ENOEXEC, 193}, {EINPROGRESS, 997}, {ENAMETOOLONG, 206}, {EBADF, 6},
      {12345, kErrorGenFailure},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ErrorFromErrno(c.err), c.code) << "errno " << c.err;
  }
}

TEST(ErrorCodesTest, LastErrorIsPerThread) {
  SetLastError(kErrorAccessDenied);
  uint32_t seen = 99;
  std::thread other([&] {
    seen = GetLastError();
    SetLastError(kErrorDiskFull);
  });
  other.join();
  EXPECT_EQ(seen, kErrorSuccess);
  EXPECT_EQ(GetLastError(), kErrorAccessDenied);

  errno = ENOENT;
  EXPECT_EQ(SetLastErrorFromErrno(), kErrorFileNotFound);
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  {
    LastErrorKeeper keep;
    SetLastError(kErrorSharingViolation);
  }
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
}

TEST(ErrorCodesTest, TextsForNamedCodes) {
  for (uint32_t code : {2u, 3u, 5u, 14u, 32u, 80u, 87u, 112u, 126u, 127u, 183u, 193u, 997u}) {
    const char* text = ErrorText(code);
    ASSERT_NE(text, nullptr) << code;
    size_t n = std::strlen(text);
    ASSERT_GT(n, 1u);
    EXPECT_EQ(text[n - 1], '.') << code;
    std::u16string wide = ErrorText16(code);
    ASSERT_EQ(wide.size(), n);
    EXPECT_EQ(wide[0], static_cast<char16_t>(text[0]));
  }
  EXPECT_EQ(ErrorText(4242), nullptr);
  EXPECT_EQ(ErrorText16(4242), u"Unknown error 4242.");
  EXPECT_EQ(ErrorText16(0), u"The operation completed successfully.");
}

}  // namespace
}  // namespace qg
