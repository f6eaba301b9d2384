// Test fixture: installs the stand-in host's string memory and locale into
// the module's services for the duration of a test, and fails the test on
// a leaked buffer, a double free or any other misuse the stand-in saw.
#ifndef QG_SUPPORT_STRING_HOST_FIXTURE_H_
#define QG_SUPPORT_STRING_HOST_FIXTURE_H_

#include <gtest/gtest.h>

#include "host/core/info_locale.h"
#include "host/core/string_memory.h"
#include "support/frame/module_services.h"

namespace qg {

class StringHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_memory_ = Services().piStringMemory;
    saved_locale_ = Services().piInfoLocale;
    Services().piStringMemory = &memory_;
    Services().piInfoLocale = &locale_;
  }
  void TearDown() override {
    EXPECT_EQ(memory_.nLiveStrings(), 0) << "dynamic-string buffers leaked";
    EXPECT_EQ(memory_.nLiveBlocks(), 0) << "raw blocks leaked";
    EXPECT_EQ(memory_.nFaults(), 0) << memory_.LastFault();
    EXPECT_EQ(memory_.nUnwipedSecretFrees(), 0);
    EXPECT_EQ(locale_.nFaults(), 0);
    Services().piStringMemory = saved_memory_;
    Services().piInfoLocale = saved_locale_;
  }

  qghost::StringMemory memory_;
  qghost::InfoLocale locale_;

 private:
  IStringMemory* saved_memory_ = nullptr;
  IInfoLocale* saved_locale_ = nullptr;
};

}  // namespace qg

#endif  // QG_SUPPORT_STRING_HOST_FIXTURE_H_
