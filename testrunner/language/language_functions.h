// The test runner's language functions: the component description the
// host reads through InfoComposante, the 31-entry function table, the entry
// stubs and their workers. Workers act on the runner of the module and set
// their failures (module 54) on the library object's error.
#ifndef QG_TESTRUNNER_LANGUAGE_LANGUAGE_FUNCTIONS_H_
#define QG_TESTRUNNER_LANGUAGE_LANGUAGE_FUNCTIONS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "support/frame/language_abi.h"

class CQGTestExe;

// What the component description gives the host (kinds 21, 13 and 28,
// with their counts in kinds 22, 14 and 29): the function table of 31
// entries, the 12 further descriptions (empty) and the packed description
// block (zeros).
const qg::EntreeFonction* TableFonctions();
const intptr_t* DescriptionsSupplementaires();
const uint8_t* BlocDescription();
constexpr int32_t kNbFonctions = 31;
constexpr int32_t kNbDescriptions = 12;
constexpr uint32_t kValeurEntree = 295041;
constexpr size_t kTailleBlocDescription = 1177;

// --- workers ---------------------------------------------------------------------------
// Runs a scenario of a list named by the runner's name table, else by the
// host's resolution of a project file, else by itself; loaded by that name
// or by its file name part. The scenario and its linked ones are marked,
// the kept lists and its group started; when the companion has a window of
// the list's name the scenario runs at once, else the call is queued as
// expected (540003 for an unknown scenario, or the list's load error).
void LanceTest(CQGTestExe& library, const char16_t* list, const char16_t* scenario);
// Bit 30 of the code: the alternative code position. Odd codes also go to
// the host's trace when its interface is newer than 131.
void EcritJournal(CQGTestExe& library, int32_t code, const char16_t* text);
// The texts joined with single spaces; the condition is the answer.
bool bVerifie(CQGTestExe& library, bool condition, const std::vector<std::u16string>& texts);
// A new data set for the scenario whose start event runs: one value per
// parameter from the arguments in order (missing ones null, extras
// dropped); 540004 otherwise.
void AjouteJeuDeTest(CQGTestExe& library, const qg::ArgumentsAppel& arguments);
// One of the four operations of the host's emulator window
// "FenetreEmulateurCE"; 540014 without it or for another action.
void ActionFenetreEmulateur(CQGTestExe& library, int32_t action);
// Kind 94 windows pass; otherwise visible (540017) and enabled, not in
// state 4 (540018).
bool bElementAccessible(CQGTestExe& library, qg::IElementLangage* element);
// The host locates the element (its first argument), then 65536, x and y
// are pushed and host function 344 of family 8 is called with 4 arguments.
void ClicPoint(CQGTestExe& library, qg::IElementLangage* element, int32_t x, int32_t y);
// Clicks the middle of an item (1-based): 540016 without items, 540020
// without that item, 540019 without a rectangle.
void ClicItem(CQGTestExe& library, qg::IElementLangage* element, int32_t item);
// kind 1 the selection, 2 a second element (of host kind 57, 55 or 96),
// 3 an index; index < 0: none given.
void Selectionne(CQGTestExe& library, qg::IElementLangage* element, int32_t kind,
                 int32_t index, qg::IElementLangage* second, bool with_index);

#endif  // QG_TESTRUNNER_LANGUAGE_LANGUAGE_FUNCTIONS_H_
