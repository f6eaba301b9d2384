#include "driver/sql/sql_type_map.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "driver/sql/column.h"
#include "support/any_test_fixture.h"

namespace {

class SqlTypeMap : public qg::AnyHostTest {};

std::u16string Format(const CNASQLTypeMap& map, int type, int size, int digits = 0,
                      int scale = 0) {
  CNAColumn* column = NAAddRef(new CNAColumn());
  column->Init(u"c", u"t", nullptr, 1, size, type, 0, -1, 0, digits, scale);
  CTString out;
  std::u16string result = map.bFormatType(*column, &out) ? out.pszGet() : u"<none>";
  ReleaseBoth(column);
  return result;
}

TEST_F(SqlTypeMap, FormatsGenericNames) {
  CNASQLTypeMap* map = new CNASQLTypeMap();
  map->AddRef();
  map->RegisterDefaultTypeNames();
  EXPECT_EQ(Format(*map, 2, 51), u"VARCHAR(50)");
  EXPECT_EQ(Format(*map, 29, 102), u"NVARCHAR(50)");
  EXPECT_EQ(Format(*map, 23, 18), u"VARBINARY(16)");
  EXPECT_EQ(Format(*map, 31, 15, 30, 4), u"NUMERIC(34,4)");
  EXPECT_EQ(Format(*map, 1, 8), u"NUMERIC(19,0)");
  EXPECT_EQ(Format(*map, 18, 8), u"<none>");
  // A time column carries its fraction digits through a format entry.
  map->SetType(11, u"TIME(%d)", true);
  EXPECT_EQ(Format(*map, 11, 10), u"TIME(3)");
  EXPECT_EQ(Format(*map, 11, 5), u"TIME(0)");
  EXPECT_EQ(map->Release(), 0);
}

TEST_F(SqlTypeMap, PublishedOnceUnderRace) {
  std::atomic<CNASQLTypeMap*> slot{nullptr};
  std::atomic<int> fills{0};
  struct Context {
    std::atomic<int>* fills;
  } context{&fills};
  auto fill = [](CNASQLTypeMap& map, void* c) {
    static_cast<Context*>(c)->fills->fetch_add(1);
    map.SetType(7, u"DOUBLE", false);
  };
  std::vector<std::thread> threads;
  std::vector<CNASQLTypeMap*> seen(8);
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([&, i] { seen[i] = CNASQLTypeMap::pclGetOrCreate(slot, fill, &context); });
  }
  for (auto& t : threads) t.join();
  for (CNASQLTypeMap* m : seen) EXPECT_EQ(m, slot.load());
  EXPECT_GE(fills.load(), 1);
  EXPECT_EQ(slot.load()->nGetReferences(), 1);
  EXPECT_EQ(std::u16string(slot.load()->pszGetType(7)), u"DOUBLE");
  slot.load()->Release();
}

}  // namespace
