// The run parameters a launcher leaves in the parameter zone.
#ifndef QG_TESTRUNNER_PLAY_RUN_PARAMS_H_
#define QG_TESTRUNNER_PLAY_RUN_PARAMS_H_

#include <cstdint>
#include <string>

class CTransBufferParam;

// Run states.
constexpr int32_t kEtatLecture = 1;        // playback
constexpr int32_t kEtatEnregistrement = 2;  // recording

struct CParamTest {
  bool bPresent = false;            // read from a zone
  int32_t nEtat = kEtatLecture;     // key 1
  std::u16string clSelection;       // key 3
  std::u16string clSortie;          // key 5
  std::u16string clRepertoire;      // key 6
  std::u16string clListe;           // key 9
  int32_t nValeur = 0;              // key 10
  std::u16string clTexte;           // key 11

  // Missing keys keep their defaults.
  void Lit(const CTransBufferParam& zone);
};

#endif  // QG_TESTRUNNER_PLAY_RUN_PARAMS_H_
