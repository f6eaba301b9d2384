#include "driver/core/index_texts.h"

#include <gtest/gtest.h>

namespace {

TEST(IndexTexts, TemporaryNames) {
  EXPECT_EQ(u"QGIDX17000000000", NATemporaryIndexName(1700000000, 0));
  EXPECT_EQ(u"QGIDX170000000012", NATemporaryIndexName(1700000000, 12));
  // Two names of one second differ by their counter.
  std::u16string a = NATemporaryIndexName();
  std::u16string b = NATemporaryIndexName();
  EXPECT_NE(a, b);
  EXPECT_EQ(0u, a.rfind(u"QGIDX", 0));
}

TEST(IndexTexts, CreateIndex) {
  EXPECT_EQ(u"CREATE UNIQUE INDEX QGIDX10 ON `t` ( `a b` ) ",
            NACreateIndexText(true, u"QGIDX10", u"`t`", {u"`a b`"}));
  EXPECT_EQ(u"CREATE  INDEX `t_k` ON `t` ( `x`,`order` ) ",
            NACreateIndexText(false, u"`t_k`", u"`t`", {u"`x`", u"`order`"}));
}

}  // namespace
