// Values as the player compares and journals them.
#ifndef QG_TESTRUNNER_PLAY_VALUES_H_
#define QG_TESTRUNNER_PLAY_VALUES_H_

#include <string>

class CAny;

// The value's text; empty for a null or empty value.
std::u16string TexteValeur(const CAny* v);
// Equal through the host's comparison, else by text; two nulls are equal.
bool bValeursEgales(const CAny* a, const CAny* b);

#endif  // QG_TESTRUNNER_PLAY_VALUES_H_
