#include "support/frame/component_description.h"

#include <gtest/gtest.h>

namespace qg {
namespace {

TEST(ComponentDescriptionTest, KindsAnswerTheirWords) {
  ComponentDescription record{};
  for (int i = 0; i < kComponentWordCount; ++i) record.anWords[i] = 1000 + i;
  const int pairs[][2] = {{1, 15},  {2, 17},  {3, 18},  {5, 8},   {6, 23},  {13, 5},
                          {14, 20}, {15, 6},  {16, 21}, {17, 11}, {18, 26}, {19, 10},
                          {20, 25}, {21, 4},  {22, 19}, {23, 7},  {24, 22}, {25, 9},
                          {26, 24}, {28, 12}, {29, 27}, {32, 16}};
  for (const auto& p : pairs) {
    EXPECT_EQ(InfoComposante(record, p[0], 0), 1000 + p[1]) << "kind " << p[0];
  }
  EXPECT_EQ(InfoComposante(record, 0, 0), 18);
  EXPECT_EQ(InfoComposante(record, 33, 0), reinterpret_cast<intptr_t>(&record));
  for (int kind : {-1, 7, 8, 9, 10, 11, 12, 30, 31, 34, 1000}) {
    EXPECT_EQ(InfoComposante(record, kind, 0), 0) << "kind " << kind;
  }
}

TEST(ComponentDescriptionTest, ArrayKindsStayInsideTheirArrays) {
  intptr_t word2_array[] = {21, 22};
  intptr_t word3_array[] = {31, 32, 33};
  ComponentDescription record{};
  record.anWords[2] = reinterpret_cast<intptr_t>(word2_array);
  record.anWords[3] = reinterpret_cast<intptr_t>(word3_array);
  record.nWord2Count = 2;
  record.nWord3Count = 3;
  EXPECT_EQ(InfoComposante(record, 27, 1), 22);
  EXPECT_EQ(InfoComposante(record, 4, 2), 33);
  EXPECT_EQ(InfoComposante(record, 27, 2), 0);
  EXPECT_EQ(InfoComposante(record, 4, 3), 0);
  EXPECT_EQ(InfoComposante(record, 4, -1), 0);
  ComponentDescription empty{};
  EXPECT_EQ(InfoComposante(empty, 4, 0), 0);
}

}  // namespace
}  // namespace qg
