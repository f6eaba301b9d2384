#include "driver/sql/search_state.h"

#include <gtest/gtest.h>

#include "driver/sql/column.h"
#include "driver/sql/file_description.h"
#include "driver/sql/item.h"
#include "driver/sql/table_description.h"
#include "support/any_test_fixture.h"

namespace {

class SearchState : public qg::AnyHostTest {
 protected:
  void SetUp() override {
    AnyHostTest::SetUp();
    table_ = NAAddRef(new CNATableDescription(nullptr));
    for (auto [name, type, size] : {std::tuple{u"n", 5, 4}, std::tuple{u"s", 2, 21}}) {
      CNAColumn* c = NAAddRef(new CNAColumn());
      c->Init(name, u"t", nullptr, 1, size, type, -1, -1, 0, 0, 0);
      table_->bAppendColumn(c);
      ReleaseBoth(c);
    }
    table_->ComputeOffsets();
    fd_ = NAAddRef(new CNAFileDescription());
    ASSERT_TRUE(fd_->bBuild(table_, nullptr, nullptr));
  }
  void TearDown() override {
    ReleaseBoth(fd_);
    ReleaseBoth(table_);
    AnyHostTest::TearDown();
  }
  CNATableDescription* table_ = nullptr;
  CNAFileDescription* fd_ = nullptr;
};

TEST_F(SearchState, MatchesTheRecordsItem) {
  CNASearchState state;
  EXPECT_TRUE(state.bMatches(fd_, nullptr));  // no item: always
  CAny text;
  text.SetPSTRW(u"Dupont");
  ASSERT_TRUE(fd_->pclGetItem(1)->bWriteValue(text, 0, nullptr));
  CAny number;
  number.SetI4(12);
  ASSERT_TRUE(fd_->pclGetItem(0)->bWriteValue(number, 0, nullptr));

  struct Case {
    int item;
    const char16_t* text;  // null: the number 12 or 13
    int32_t number;
    uint32_t flags;
    bool match;
  };
  for (const Case& c : {Case{1, u"Dup", 0, 0, true}, Case{1, u"dup", 0, 0, true},
                        Case{1, u"Dup", 0, CNASearchState::kExact, false},
                        Case{1, u"Dupont", 0, CNASearchState::kExact, true},
                        Case{1, u"Dupontel", 0, 0, false}, Case{0, nullptr, 12, 0, true},
                        Case{0, nullptr, 13, CNASearchState::kExact, false}}) {
    CAny value;
    if (c.text != nullptr) {
      value.SetPSTRW(c.text);
    } else {
      value.SetI4(c.number);
    }
    state.Set(fd_->pclGetItem(c.item), value, c.flags);
    EXPECT_EQ(c.match, state.bMatches(fd_, nullptr)) << c.item << " " << c.number;
  }
  // A record copied from the owner is read through its own item.
  CNAFileDescription* copy = fd_->pclClone(nullptr, nullptr);
  AddRefBoth(copy);
  CAny other;
  other.SetI4(13);
  ASSERT_TRUE(copy->pclGetItem(0)->bWriteValue(other, 0, nullptr));
  EXPECT_TRUE(state.bMatches(copy, nullptr));
  EXPECT_FALSE(state.bMatches(fd_, nullptr));
  state.Reset();
  ReleaseBoth(copy);
}

}  // namespace
