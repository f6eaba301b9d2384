// The calendar rule shared by the date-time values: the four-year rule alone
// up to 1582, the Gregorian rule after. Stored day numbers depend on it.
#ifndef QG_SUPPORT_CALENDAR_H_
#define QG_SUPPORT_CALENDAR_H_

bool bEstBissextile(int nAnnee);
// Days of a month; 0 for a month outside 1..12.
int nNbJoursMois(int nMois, int nAnnee);

#endif  // QG_SUPPORT_CALENDAR_H_
