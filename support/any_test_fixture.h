// Test fixture for values: installs the stand-in host's string memory,
// locale, value-object service, conversion and comparison entry points into
// the module's services, and fails the test on a leaked or doubly freed
// string, decimal or password object.
#ifndef QG_SUPPORT_ANY_TEST_FIXTURE_H_
#define QG_SUPPORT_ANY_TEST_FIXTURE_H_

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "host/core/calc_entries.h"
#include "host/core/host_runtime.h"
#include "support/any.h"
#include "support/frame/module_services.h"

namespace qg {

class AnyHostTest : public ::testing::Test {
 protected:
  static int32_t Compare(const void* a, int32_t ta, const void* b, int32_t tb, void* result,
                         intptr_t, intptr_t) {
    return qghost::CalcEntry(kCalcComparaison, a, ta, b, tb, result);
  }
  // Message texts per number, set by a test.
  static std::map<int32_t, std::u16string>& Messages() {
    static std::map<int32_t, std::u16string> messages;
    return messages;
  }
  static int32_t MessageText(int32_t number, char16_t* buffer, int32_t capacity) {
    auto it = Messages().find(number);
    if (it == Messages().end()) return 0;
    const std::u16string& t = it->second;
    int32_t n = std::min<int32_t>(static_cast<int32_t>(t.size()), capacity - 1);
    t.copy(buffer, static_cast<size_t>(n));
    buffer[n] = 0;
    return static_cast<int32_t>(t.size());
  }

  void SetUp() override {
    saved_ = Services();
    qghost::HostRuntime& host = qghost::Runtime();
    Services().piStringMemory = &host.Strings();
    Services().piInfoLocale = &host.Locale();
    Services().piValueObjects = &host.Values();
    Services().pfnConversion = &qghost::ConversionDepassementExt;
    Services().pfnFinConversion = &qghost::FinConversion;
    Services().apfnCalc[kCalcComparaison] = &Compare;
    Services().pfnMessageText = &MessageText;
    Services().pfnCatalogueText = nullptr;
    Messages().clear();
    ResetAnyConversionProvider();
    strings_ = host.Strings().nLiveStrings();
    string_faults_ = host.Strings().nFaults();
    value_faults_ = host.Values().nFaults();
  }

  void TearDown() override {
    qghost::HostRuntime& host = qghost::Runtime();
    EXPECT_EQ(host.Strings().nLiveStrings(), strings_) << "host strings leaked";
    EXPECT_EQ(host.Strings().nFaults(), string_faults_) << host.Strings().LastFault();
    EXPECT_EQ(host.Values().nLiveDecimals(), 0) << "decimal objects leaked";
    EXPECT_EQ(host.Values().nLivePasswordObjects(), 0) << "password objects leaked";
    EXPECT_EQ(host.Values().nFaults(), value_faults_);
    ResetAnyConversionProvider();
    Services() = saved_;
  }

 private:
  ModuleServices saved_;
  int strings_ = 0;
  int string_faults_ = 0;
  int value_faults_ = 0;
};

}  // namespace qg

#endif  // QG_SUPPORT_ANY_TEST_FIXTURE_H_
