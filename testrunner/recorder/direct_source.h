// The direct input source: input comes through the hook procedures
// (ProcClavier, ProcSouris; the module exports the mouse one as MouseHook),
// called by the stand-in host or by tests, and the window lookups read
// tables they fill. The modifier state is whatever they set.
#ifndef QG_TESTRUNNER_RECORDER_DIRECT_SOURCE_H_
#define QG_TESTRUNNER_RECORDER_DIRECT_SOURCE_H_

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "testrunner/recorder/input_source.h"

struct EtatSourceDirecte {
  struct Fenetre {
    bool bPropre = true;     // of this process
    bool bRepond = false;    // answers the element request itself
    uint32_t nReponse = 0;   // its element answer
    int32_t nType = 0;       // its raw element kind
    uint32_t hParent = 0;
    uint32_t hProprietaire = 0;  // transient-for owner
    int32_t x = 0, y = 0;    // origin of its client area on the root
  };
  std::mutex mutex;  // guards everything below
  std::map<uint32_t, Fenetre> fenetres;
  std::map<uint32_t, char32_t> clavier;  // keycode -> level-0 character
  uint32_t hFocus = 0;
  uint32_t hAvantPlan = 0;
  uint32_t nModificateurs = 0;
  int32_t nDemarrage = 2;  // what starting answers (0, 1 or 2)
  void Vide();
};

// The module-wide tables of the direct source.
EtatSourceDirecte& EtatDirect();

std::unique_ptr<ISourceEntree> NouvelleSourceDirecte();

#endif  // QG_TESTRUNNER_RECORDER_DIRECT_SOURCE_H_
