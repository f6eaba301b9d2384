#include "host/core/global_factory.h"

#include <gtest/gtest.h>

namespace qghost {
namespace {

TEST(GlobalFactoryTest, DecimalsAreCountedAndNegate) {
  GlobalFactory factory;
  qg::IGlobalFactory& service = factory;
  qg::IDecimal* a = service.piCreateDecimal(0);
  qg::IDecimal* b = service.piCreateDecimal(0);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(factory.nLiveDecimals(), 2);

  a->m_stFields.nPrecision = 5;
  a->m_stFields.abyMantissa[0] = 1;  // 1
  a->vNegate();                       // -1: every byte 0xFF
  for (uint8_t byte : a->m_stFields.abyMantissa) EXPECT_EQ(byte, 0xFF);
  a->vNegate();
  EXPECT_EQ(a->m_stFields.abyMantissa[0], 1);
  EXPECT_EQ(a->m_stFields.abyMantissa[15], 0);

  service.ReleaseDecimal(a);
  service.ReleaseDecimal(a);  // second release of the same object
  service.ReleaseDecimal(nullptr);
  EXPECT_EQ(factory.nFaults(), 2);
  EXPECT_EQ(factory.nLiveDecimals(), 1);
  service.ReleaseDecimal(b);
  EXPECT_EQ(factory.nDecimalsCreated(), 2);
  EXPECT_EQ(factory.nDecimalsReleased(), 2);
  EXPECT_EQ(factory.nLiveDecimals(), 0);
}

TEST(GlobalFactoryTest, FailsTheNthDecimal) {
  GlobalFactory factory;
  factory.FailNthDecimal(2);
  qg::IDecimal* first = factory.piCreateDecimal(0);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(factory.piCreateDecimal(0), nullptr);
  qg::IDecimal* third = factory.piCreateDecimal(0);
  EXPECT_NE(third, nullptr);
  factory.ReleaseDecimal(first);
  factory.ReleaseDecimal(third);
  EXPECT_EQ(factory.nLiveDecimals(), 0);
}

TEST(GlobalFactoryTest, PasswordObjectsLiveUntilTheirLastRelease) {
  GlobalFactory factory;
  auto* object = static_cast<qg::IPasswordObject*>(factory.pCreatePasswordObject());
  EXPECT_EQ(object->AddRef(), 2);
  object->vSetValue(42);
  EXPECT_EQ(object->Release(), 1);
  EXPECT_EQ(factory.nLivePasswordObjects(), 1);
  EXPECT_EQ(object->Release(), 0);
  EXPECT_EQ(factory.nLivePasswordObjects(), 0);
  EXPECT_EQ(factory.nPasswordObjectsCreated(), 1);
}

TEST(GlobalFactoryTest, FillErrorIsLoggedAndHandedToTheFiller) {
  GlobalFactory factory;
  auto* fake_error = reinterpret_cast<CXError*>(0x1000);
  factory.FillError(fake_error, 28853, 1, 2);
  int filled = 0;
  factory.SetErrorFiller([&](const FillErrorCall& call) {
    EXPECT_EQ(call.message, 28854);
    ++filled;
  });
  static_cast<qg::IGlobalFactory&>(factory).FillError(fake_error, 28854, 3, 4);
  EXPECT_EQ(filled, 1);
  std::vector<FillErrorCall> calls = factory.FillErrorCalls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].error, fake_error);
  EXPECT_EQ(calls[0].message, 28853);
  EXPECT_EQ(calls[1].value1, 3);
  EXPECT_EQ(calls[1].value2, 4);
}

}  // namespace
}  // namespace qghost
