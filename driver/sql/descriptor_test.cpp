#include "driver/sql/descriptor.h"

#include <gtest/gtest.h>

#include "driver/sql/column.h"
#include "driver/sql/item.h"
#include "support/any_test_fixture.h"

namespace {

class Descriptor : public qg::AnyHostTest {};

CNAItem* NamedItem(const char16_t* name) {
  CNAColumn* column = NAAddRef(new CNAColumn());
  column->Init(name, u"t", nullptr, 1, 4, 5, 0, -1, 0, 0, 0);
  CNAItem* item = NAAddRef(new CNAItem());
  item->Init(nullptr, column, nullptr);
  ReleaseBoth(column);
  return item;
}

TEST_F(Descriptor, CreateAndEquality) {
  CNAItem* a = NamedItem(u"Name");
  CNAItem* a2 = NamedItem(u"NAME");
  CNAItem* b = NamedItem(u"other");
  CNADescriptor* d = CNADescriptor::pclCreate(nullptr, 1, 2, u"m", a, nullptr, u'\\');
  ASSERT_NE(nullptr, d);
  EXPECT_EQ(-1, d->nGetPosition());
  EXPECT_EQ(a, d->pclGetItem());
  EXPECT_EQ(u'\\', d->nGetEscape());
  struct Case {
    int first;
    int second;
    CNAItem* item;
    bool equal;
  };
  for (const Case& c : {Case{1, 2, a, true}, Case{1, 2, a2, true}, Case{1, 2, b, false},
                        Case{1, 3, a, false}, Case{1, 2, nullptr, false}}) {
    CNADescriptor* e = CNADescriptor::pclCreate(nullptr, c.first, c.second, u"x", c.item,
                                                nullptr, 0);
    EXPECT_EQ(c.equal, d->bEquals(*e));
    EXPECT_EQ(c.equal, e->bEquals(*d));
    ReleaseBoth(e);
  }
  CNADescriptor* none1 = CNADescriptor::pclCreate(nullptr, 0, 0, nullptr, nullptr, nullptr, 0);
  CNADescriptor* none2 = CNADescriptor::pclCreate(nullptr, 0, 0, u"y", nullptr, nullptr, 0);
  EXPECT_TRUE(none1->bEquals(*none2));
  for (CNARefCounted* o : {static_cast<CNARefCounted*>(none1), static_cast<CNARefCounted*>(none2),
                           static_cast<CNARefCounted*>(d), static_cast<CNARefCounted*>(a),
                           static_cast<CNARefCounted*>(a2), static_cast<CNARefCounted*>(b)}) {
    ReleaseBoth(o);
  }
}

}  // namespace
