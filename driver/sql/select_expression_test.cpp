#include "driver/sql/select_expression.h"

#include <gtest/gtest.h>

#include "driver/core/copy_context.h"
#include "driver/sql/column.h"
#include "driver/sql/item.h"
#include "support/any_test_fixture.h"

namespace {

class SelectExpression : public qg::AnyHostTest {};

TEST_F(SelectExpression, CountEntryWithoutObject) {
  CNASelectExpression* count = CNASelectExpression::pclNewCount(nullptr);
  ASSERT_NE(nullptr, count);
  EXPECT_TRUE(count->bIsCount());
  EXPECT_EQ(nullptr, count->pclGetBound());
  EXPECT_EQ(std::u16string(u"COUNT(*) AS QGACCESNATIF_NBENR"), count->pszGetExpression());
  CNASelectExpression* clone = count->pclClone(nullptr);
  AddRefBoth(clone);
  EXPECT_TRUE(clone->bIsCount());
  ReleaseBoth(clone);
  ReleaseBoth(count);
}

TEST_F(SelectExpression, ClonesInOneContextShareTheItemCopy) {
  CNAColumn* column = NAAddRef(new CNAColumn());
  column->Init(u"n", u"t", nullptr, 1, 4, 5, 0, -1, 0, 0, 0);
  CNAItem* item = NAAddRef(new CNAItem());
  item->Init(nullptr, column, nullptr);
  CNASelectExpression* first = CNASelectExpression::pclNewItem(item);
  CNASelectExpression* second = CNASelectExpression::pclNewItem(item);
  CNACopyContext context;
  CNASelectExpression* a = first->pclClone(&context);
  CNASelectExpression* b = second->pclClone(&context);
  AddRefBoth(a);
  AddRefBoth(b);
  ASSERT_NE(nullptr, a->pclGetItem());
  EXPECT_NE(item, a->pclGetItem());
  EXPECT_EQ(a->pclGetItem(), b->pclGetItem());
  EXPECT_EQ(a->pclGetItem(), context.pFindCopy(item));
  EXPECT_EQ(a, context.pFindCopy(first));
  // Without a context the item is shared.
  CNASelectExpression* plain = first->pclClone(nullptr);
  AddRefBoth(plain);
  EXPECT_EQ(item, plain->pclGetItem());
  for (CNASelectExpression* e : {a, b, plain, first, second}) ReleaseBoth(e);
  ReleaseBoth(item);
  ReleaseBoth(column);
}

}  // namespace
