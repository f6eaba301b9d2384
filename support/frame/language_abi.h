// The test runner's language functions as the host sees them: the function
// table its component description hands out, the record of arguments each
// entry stub receives, and the application elements those functions act
// on. Shared by qg300test and the stand-in host.
//
// Records that held 32-bit pointers keep their fields with pointer-sized
// pointers (x86-64 layout).
#ifndef QG_SUPPORT_FRAME_LANGUAGE_ABI_H_
#define QG_SUPPORT_FRAME_LANGUAGE_ABI_H_

#include <cstdint>

class CAny;

namespace qg {

class IZQLibrary;

// An element of the application (a window, a control) as a language
// function receives it. Owned by the host. Slot order.
class IElementLangage {
 public:
  virtual int32_t nType() = 0;                   // 0: host element kind
  virtual const char16_t* pszNom() = 0;          // 1
  // 2: the window element that holds it (itself for a window).
  virtual IElementLangage* piFenetre() = 0;
  virtual int32_t bVisible() = 0;                // 3
  virtual int32_t bActif() = 0;                  // 4
  virtual int32_t nEtat() = 0;                   // 5
  // 6: the number of items; -1 for an element without items.
  virtual int32_t nNbItems() = 0;
  // 7: an item's rectangle (left, top, right, bottom) in the element's
  // coordinates; 0 when it has none.
  virtual int32_t bRectangleItem(int32_t item, int32_t rect[4]) = 0;
  // 8: selects: kind 1 the selection as it is, 2 a second element, 3 an
  // index (1-based); 1 done.
  virtual int32_t bSelectionne(int32_t kind, int32_t index, IElementLangage* second) = 0;
  virtual int32_t bFixeTexte(const char16_t* text, int32_t first, int32_t second) = 0;  // 9
  virtual int32_t bInsereTexte(const char16_t* text, int32_t position) = 0;            // 10
  // 11: selects a row (1-based); 0 selects none. 1 done.
  virtual int32_t bSelectionneLigne(int32_t row) = 0;
  virtual int32_t bSelectionneTexte(const char16_t* text) = 0;                          // 12
  // 13: drags from a point to another with two values; 1 done.
  virtual int32_t bGlisse(const int32_t from[2], const int32_t to[2], int32_t first,
                          int32_t second) = 0;
  // 14: the host locates the element: it pushes it for the next host
  // function call (the call's first argument).
  virtual void Localise() = 0;
  // 15: the emulator window's operations 1 to 4; 1 done.
  virtual int32_t bActionEmulateur(int32_t action) = 0;

 protected:
  ~IElementLangage() = default;
};

// What an entry stub receives: its arguments in order (an argument that is
// an application element is a value holding its IElementLangage pointer as
// an address), and where its result goes (may be null).
struct ArgumentsAppel {
  int32_t nNombre = 0;
  const CAny* const* ppValeurs = nullptr;
  CAny* pResultat = nullptr;
};

// An entry stub: (call context, library object, arguments); always 0.
using PFN_StubLangage = int32_t (*)(void* context, IZQLibrary* library,
                                    const ArgumentsAppel* arguments);

// A function record (20 bytes with 32-bit pointers).
struct FonctionLangage {
  PFN_StubLangage pfnStub;
  intptr_t nZero1;
  intptr_t nZero2;
  const int32_t* pTypes;  // the parameters' value types
  int32_t nArguments;
};

// An entry of the function table (28 bytes with 32-bit pointers).
struct EntreeFonction {
  int32_t nNumero;      // 1 to 31
  int32_t nZero1;
  int32_t nZero2;
  uint32_t nSignature;
  int32_t nValeur;      // 295041
  uint32_t nIdentifiant;  // function number | 54 << 16
  const FonctionLangage* pFonction;
};

}  // namespace qg

#endif  // QG_SUPPORT_FRAME_LANGUAGE_ABI_H_
