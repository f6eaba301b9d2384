// Key names of the keyboard records: a table of 256 entries indexed by
// virtual-key code, and the virtual-key code of an X keysym.
#ifndef QG_TESTRUNNER_RECORDER_KEY_NAMES_H_
#define QG_TESTRUNNER_RECORDER_KEY_NAMES_H_

#include <cstdint>
#include <string>

// The table's entry for a virtual key ("" for unnamed keys and codes past
// 255).
const char16_t* pszNomToucheTable(uint32_t vk);

// The name recorded for a key: for an entry that does not begin with "{",
// the layout's character for the key when there is one (letters "A" to "Z"
// lower-cased); otherwise the table's entry. `layout` is 0 when the layout
// gives no printable character.
std::u16string NomTouche(uint32_t vk, char32_t layout);

// The virtual key of an X keysym: letters 65-90, digits 48-57, F1-F24
// 112-135, the named keys of the table, the modifiers 16-18; 0 for others.
uint32_t nToucheVirtuelle(uint32_t keysym);

#endif  // QG_TESTRUNNER_RECORDER_KEY_NAMES_H_
