// The recorder: while a run records (run state 2) it writes what the user
// does in the application into a recording file (or into memory when no
// path is given): keyboard and mouse input, the control that receives it,
// and the events the host reports through the runner's operations. The host
// later turns the file into a scenario.
//
// One recorder exists module-wide while recording. Input arrives on the
// recording thread (the thread that started the recorder); the runner's
// operations that write records may come from any thread: each record is
// written whole under the writer's lock.
#ifndef QG_TESTRUNNER_RECORDER_RECORDER_H_
#define QG_TESTRUNNER_RECORDER_RECORDER_H_

#include <cstddef>
#include <cstdint>
#include <string>

class CAny;
class CEnregistrementTest;

// One input event as the input sources give it: five 32-bit fields.
struct EvenementEntree {
  uint32_t nMessage = 0;
  uint32_t nParam1 = 0;
  uint32_t nParam2 = 0;
  uint32_t nZero = 0;     // 0 from the input sources
  uint32_t hFenetre = 0;  // the window (an X window id), 0 when unknown
};
static_assert(sizeof(EvenementEntree) == 20);

// Messages of the input events.
constexpr uint32_t kMsgToucheEnfoncee = 256;
constexpr uint32_t kMsgToucheRelachee = 257;
constexpr uint32_t kMsgToucheSysteme = 260;
constexpr uint32_t kMsgSourisDeplacement = 512;
constexpr uint32_t kMsgBoutonGaucheEnfonce = 513;
constexpr uint32_t kMsgBoutonGaucheRelache = 514;
constexpr uint32_t kMsgBoutonDroitEnfonce = 516;
constexpr uint32_t kMsgBoutonDroitRelache = 517;
constexpr uint32_t kMsgBoutonMilieuEnfonce = 519;
constexpr uint32_t kMsgBoutonMilieuRelache = 520;
constexpr uint32_t kMsgBoutonGaucheDouble = 515;
constexpr uint32_t kMsgBoutonDroitDouble = 518;
constexpr uint32_t kMsgBoutonMilieuDouble = 521;
constexpr uint32_t kMsgMolette = 522;
constexpr uint32_t kMsgMoletteHorizontale = 526;
constexpr uint32_t kMsgNonClientDeplacement = 160;

// Modifier flags of records 2, 17 and 18.
constexpr uint32_t kFlagShift = 4;
constexpr uint32_t kFlagCtrl = 8;
constexpr uint32_t kFlagAlt = 268435456;

// Turns the second press of a button into its double-click message, as
// the system does for the hooks: the same button pressed again within the
// double-click time (milliseconds) and within 2 pixels each way of the
// first press. A double click starts no new pair.
class CDetecteurDoubleClic {
 public:
  explicit CDetecteurDoubleClic(uint32_t delay_ms = 500) : m_nDelai(delay_ms) {}
  void SetDelai(uint32_t delay_ms) { m_nDelai = delay_ms; }
  uint32_t nDelai() const { return m_nDelai; }
  // The message to deliver for a button press (513, 516 or 519) at a time
  // in milliseconds (wrapping) and a point; other messages pass as they
  // are and end a pending pair when they are presses.
  uint32_t nMessage(uint32_t message, uint32_t time, int32_t x, int32_t y);

 private:
  uint32_t m_nDelai;
  uint32_t m_nPrecedent = 0;  // the pending first press, 0 when none
  uint32_t m_nTemps = 0;
  int32_t m_nX = 0, m_nY = 0;
};

// The recorder as the host's loop and the input sources see it.
class IEnregistrementTest {
 public:
  // 0: an input event of the recording thread; 1 when a record was written.
  virtual int32_t bTraiteMessage(const EvenementEntree& event) = 0;
  // 1: signals the recorder's event.
  virtual void Signale() = 0;
  // 2: the descriptor the host's loop watches for captured input (the
  // capture's X connection); -1 without a capture.
  virtual int nDescripteur() = 0;
  // 3: handles the captured input that has arrived, without blocking; call
  // it on the recording thread when the descriptor is readable. The number
  // of input events handled.
  virtual int32_t nDraine() = 0;

 protected:
  ~IEnregistrementTest() = default;
};

// Creates the module-wide recorder when none exists, starts it on `path`
// (the run parameters' output path; empty: in memory) which is then
// cleared, and writes record 8 (record 20 first in continuation mode).
// 1 when a recorder exists after the call; a failed start leaves none.
int32_t CreeEnregistrementTest(int32_t continuation, std::u16string& path);

// Deletes the module-wide recorder (input capture off, file closed); 0 when
// there was none.
int32_t LibereEnregistrementTest();

// The module-wide recorder, or null.
CEnregistrementTest* pclEnregistrement();
IEnregistrementTest* piEnregistrement();

// --- the runner's operations ----------------------------------------------------------
// Each writes its record when a recorder exists and does nothing otherwise.
// The caller decides when the operation records (record 12: only while the
// run state is 2).
void EnregistreEntier(int32_t value);                                   // record 5
void EnregistreTexteEntier(const char16_t* text, int32_t value);        // record 9
// A call with two texts; `kind` 1 or 2. The record tells whether the call
// came on the recording thread.
void EnregistreAppel(const char16_t* first, int32_t kind, const char16_t* second);  // 11
void EnregistreEntierEnregistrement(int32_t value);                     // record 12
void EnregistreEntierValeur(int32_t value, const CAny* any);            // record 13
void EnregistreDeuxTextes(const char16_t* first, const char16_t* second);  // record 14
void EnregistreBoiteMessage(int32_t style);                             // record 15
void EnregistreElement(const void* bytes, size_t size);                 // record 16
void EnregistreValeur(const CAny* any);                                 // record 19

// A text input starts on a control (the name the runner built): a pending
// one is completed first. The host's text completes it (record 6).
void DebutSaisieTexte(const char16_t* control);
void FinSaisieTexte(const char16_t* text, uint16_t value);

// The current element context: input on the element's window needs no new
// identification record. `value` -1: none.
void SetContexteElement(const char16_t* name, int32_t value, void* host_element);
void EffaceContexteElement();

#endif  // QG_TESTRUNNER_RECORDER_RECORDER_H_
