#include "support/calendar.h"

#include <cstdint>

namespace {

constexpr uint8_t kJoursMois[2][12] = {{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
                                       {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31}};

}  // namespace

bool bEstBissextile(int nAnnee) {
  if (nAnnee % 4 != 0) return false;
  return nAnnee <= 1582 || nAnnee % 100 != 0 || nAnnee % 400 == 0;
}

int nNbJoursMois(int nMois, int nAnnee) {
  if (nMois < 1 || nMois > 12) return 0;
  return kJoursMois[bEstBissextile(nAnnee) ? 1 : 0][nMois - 1];
}
