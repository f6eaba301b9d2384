// CEnregistrementTest: the module-wide recorder. Input events arrive on the
// recording thread (through the input source); the runner's operations may
// write records from any thread.
#ifndef QG_TESTRUNNER_RECORDER_RECORDER_IMPL_H_
#define QG_TESTRUNNER_RECORDER_RECORDER_IMPL_H_

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/frame/recorder_abi.h"
#include "testrunner/recorder/input_source.h"
#include "testrunner/recorder/recorder.h"
#include "testrunner/recorder/recording_file.h"

class CEnregistrementTest final : public IEnregistrementTest {
 public:
  // Makes sure the companion is available and hands the runner to its
  // recording service.
  CEnregistrementTest();
  // Stops the capture, completes nothing, closes the file, takes the runner
  // back from the service.
  ~CEnregistrementTest();
  CEnregistrementTest(const CEnregistrementTest&) = delete;
  CEnregistrementTest& operator=(const CEnregistrementTest&) = delete;

  // Opens the recording (an empty path: memory), writes record 20 first in
  // continuation mode, becomes the module-wide recorder on this thread and
  // starts the input capture. 1 when the mouse capture runs; 0 when the
  // file cannot be created or the capture does not start fully (then
  // nothing stays: not module-wide, capture off, file closed).
  int32_t bDemarre(const char16_t* path, int32_t continuation);

  // IEnregistrementTest
  int32_t bTraiteMessage(const EvenementEntree& event) override;
  void Signale() override;
  int nDescripteur() override;
  int32_t nDraine() override;

  // The event that Signale sets (readable once signalled); -1 without.
  int nEvenement() const { return m_nEvenement; }

  // Record writers (any thread).
  bool bEcrit(const CRecordEnregistrement& record) { return m_clFichier.bEcrit(record); }
  bool bSurThreadEnregistrement() const;
  void DebutSaisie(const char16_t* control);
  void FinSaisie(const char16_t* text, uint16_t value);
  void SetContexte(const char16_t* name, int32_t value, void* host_element);
  void EffaceContexte();

  void SetPause(bool pause) { m_bPause = pause; }
  void SetOccupe(bool busy);
  void SetPointsControle(bool on) { m_bPointsControle = on; }

  // The whole recording from offset 0.
  bool bRelit(std::vector<uint8_t>* out) { return m_clFichier.bRelit(out); }
  CFichierEnregistrement& clFichier() { return m_clFichier; }
  ISourceEntree* pclSource() const { return m_pSource.get(); }
  uint32_t hFenetreEmulateur() const { return m_hEmulateur; }

 private:
  // Identifies the control behind a window: record 1 unless the element
  // context covers it. False: the window is unusable.
  bool bIdentifie(uint32_t window, const EvenementEntree& event);
  qg::IElementIdentifie* piElementDeFenetre(uint32_t window);
  std::u16string NomComplet(qg::IElementIdentifie* element, bool* quoted);
  void CompleteSaisieVerrouille();

  CFichierEnregistrement m_clFichier;
  std::unique_ptr<ISourceEntree> m_pSource;
  qg::IServiceEnregistrement* m_piService = nullptr;  // one reference
  std::thread::id m_idThread;
  int m_nEvenement = -1;

  // Recording thread only.
  EvenementEntree m_clPrecedent;
  uint32_t m_hCourante = 0;
  uint32_t m_hInutilisable = 0;
  uint32_t m_hIdentification = 0;
  uint32_t m_hEmulateur = 0;
  bool m_bOublie = false;
  qg::IElementIdentifie* m_piElementCourant = nullptr;
  bool m_bPause = false;
  bool m_bPointsControle = true;
  bool m_bPointsElement = true;  // the identified element takes control points

  std::mutex m_mutexEtat;  // guards the fields below
  bool m_bOccupe = false;
  bool m_bSaisie = false;
  std::u16string m_clSaisieControle, m_clSaisieTexte;
  uint16_t m_nSaisieValeur = 0;
  std::u16string m_clContexteNom;
  int32_t m_nContexteValeur = -1;
  void* m_pContexteHote = nullptr;
};

// The hook procedures of the direct source: hook code 0 hands the event to
// the module-wide recorder; the answer is always 0 (passed on).
// Mouse: `message` a mouse message, `record` an EnregistrementSouris.
struct EnregistrementSouris {
  int32_t x = 0, y = 0;   // root point
  uint32_t hFenetre = 0;  // window under the pointer
  uint32_t nZone = 0;
  uintptr_t nInfo = 0;
};
intptr_t ProcClavier(int32_t code, uintptr_t vk, intptr_t param2);
intptr_t ProcSouris(int32_t code, uintptr_t message, intptr_t record);

#endif  // QG_TESTRUNNER_RECORDER_RECORDER_IMPL_H_
