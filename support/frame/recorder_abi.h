// What the recorder of the test runner asks of the host: the companion's
// recording service and the host elements behind the application's
// windows. Shared by qg300test and the stand-in host. Operations are
// declared in slot order.
//
// A window here is an X window id. The host marks the window of each of its
// elements with two 32-bit CARDINAL properties: "_QG_ELEMENT" (the element's
// answer, which the service turns into the element) and "_QG_ELEMENT_KIND"
// (0, 20001-20006, 30001, 10001 or 10002).
#ifndef QG_SUPPORT_FRAME_RECORDER_ABI_H_
#define QG_SUPPORT_FRAME_RECORDER_ABI_H_

#include <cstdint>

#include "support/frame/test_runner_abi.h"

namespace qg {

// A host element behind a window, as the recorder identifies it. Owned by
// the host; valid while its window lives.
class IElementIdentifie {
 public:
  virtual int32_t nType() = 0;               // 0: host element kind
  virtual const char16_t* pszNom() = 0;      // 1: its own name
  virtual IElementIdentifie* piParent() = 0;      // 2: its container; null at the top
  virtual IElementIdentifie* piInterieur() = 0;   // 3: the inner element; null when none
  virtual uint32_t hFenetre() = 0;           // 4: its window; 0 when none
  virtual int32_t nMode() = 0;               // 5
  // 6: 1 when the element handles this mouse event itself (nothing is
  // recorded for it).
  virtual int32_t bGereSouris(uint32_t message, int32_t x, int32_t y) = 0;
  // 7: an organiser view: the name of its selected item; null when none.
  virtual const char16_t* pszSelection() = 0;
  // 8: an organiser view: the window of its selected item.
  virtual uint32_t hFenetreSelection() = 0;

 protected:
  ~IElementIdentifie() = default;
};

// The companion's recording service.
class IServiceEnregistrement : public IHostComponent {
 public:
  // 2: the runner while recording; null when the recording ends.
  virtual void SetRunner(ITestFactory* runner) = 0;
  // 3: the host element of a window's answer and its element kind (1, 2, 8
  // or 14); null when none.
  virtual IElementIdentifie* piElement(int32_t kind, uint32_t answer) = 0;

 protected:
  ~IServiceEnregistrement() = default;
};
constexpr int32_t kComponentRecording = 19;
constexpr char16_t kNomServiceEnregistrement[] = u"ObjGateEnr";

}  // namespace qg

#endif  // QG_SUPPORT_FRAME_RECORDER_ABI_H_
