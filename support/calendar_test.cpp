#include "support/calendar.h"

#include <gtest/gtest.h>

namespace {

TEST(Calendar, LeapYears) {
  struct Cas {
    int nAnnee;
    bool bBissextile;
  };
  for (const Cas& c : {Cas{1500, true}, Cas{1582, false}, Cas{1580, true}, Cas{1600, true},
                       Cas{1700, false}, Cas{1900, false}, Cas{2000, true}, Cas{2023, false},
                       Cas{2024, true}, Cas{2100, false}, Cas{4, true}, Cas{100, true}}) {
    EXPECT_EQ(bEstBissextile(c.nAnnee), c.bBissextile) << c.nAnnee;
  }
  EXPECT_EQ(nNbJoursMois(2, 2024), 29);
  EXPECT_EQ(nNbJoursMois(2, 1900), 28);
  EXPECT_EQ(nNbJoursMois(0, 2024), 0);
  EXPECT_EQ(nNbJoursMois(13, 2024), 0);
}

}  // namespace
