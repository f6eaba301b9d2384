// Where the recorder's input comes from, and the window lookups it needs:
// the X server (X11 source), or the direct source that tests and the
// stand-in host feed through the hook procedures.
#ifndef QG_TESTRUNNER_RECORDER_INPUT_SOURCE_H_
#define QG_TESTRUNNER_RECORDER_INPUT_SOURCE_H_

#include <cstdint>
#include <functional>
#include <memory>

class IEnregistrementTest;

class ISourceEntree {
 public:
  virtual ~ISourceEntree() = default;

  // Starts capturing for the recorder: keyboard first, then (only when the
  // keyboard started) the mouse. 0 nothing started, 1 keyboard only, 2
  // both. Called on the recording thread.
  virtual int32_t nDemarre(IEnregistrementTest* recorder) = 0;
  // Stops capturing; the recorder is not called after.
  virtual void Arrete() = 0;
  // The descriptor to watch; -1 when input does not come through one.
  virtual int nDescripteur() { return -1; }
  // Handles what arrived, without blocking; the number of input events.
  virtual int32_t nDraine() { return 0; }

  // --- lookups (recording thread) ----------------------------------------------
  // Modifier flags (4 Shift, 8 Ctrl, 268435456 Alt) of the event being
  // handled.
  virtual uint32_t nModificateurs() = 0;
  virtual uint32_t hFocus() = 0;
  // The window a mouse event without window goes to, at a root point.
  virtual uint32_t hFenetreSouris(int32_t x, int32_t y) = 0;
  // True when the window belongs to this process.
  virtual bool bProcessusPropre(uint32_t window) = 0;
  // The element answer and raw kind of the window, else of its parents,
  // else of its owners; false when none answers (or the window is gone).
  virtual bool bElementFenetre(uint32_t window, uint32_t* answer, int32_t* kind) = 0;
  // The parent window; 0 at the top or when gone.
  virtual uint32_t hParent(uint32_t window) = 0;
  // A root point into the window's client coordinates; false when gone.
  virtual bool bPointClient(uint32_t window, int32_t* x, int32_t* y) = 0;
  // The layout's character (level 0) of the key of a keyboard event's
  // second parameter (keycode in bits 16-23); 0 when none.
  virtual char32_t cCaractere(uint32_t param2) = 0;
};

// The source a new recorder uses; tests and the stand-in install theirs.
// Null: the X11 source when a display opens, else the direct source.
using FabriqueSourceEntree = std::function<std::unique_ptr<ISourceEntree>()>;
void SetFabriqueSourceEntree(FabriqueSourceEntree factory);
std::unique_ptr<ISourceEntree> NouvelleSourceEntree();

#endif  // QG_TESTRUNNER_RECORDER_INPUT_SOURCE_H_
