// The X11 input source: device events of every client through the RECORD
// extension on a private connection (enabled there, so that connection
// only carries the recorded data), drained without blocking; lookups
// (focus, windows under a point, element properties, owning process through
// X-Resource, the keyboard layout's level-0 keysyms from the server's
// keyboard mapping, read again on MappingNotify) on a second
// connection. Every lookup takes X errors as values: a window that vanished
// gives "none".
//
// Events map to input events with window 0: KeyPress 256 and KeyRelease 257
// (virtual key of the level-0 keysym, second parameter 1 | keycode << 16,
// | 0xC0000000 on release); buttons 1, 2, 3 press/release 513/514,
// 519/520, 516/517, a second press within the double-click time (the
// desktop's multiClickTime or doubleClickTime resource, else 500 ms) and 2
// pixels 515, 521, 518; presses of 4/5 522 and of 6/7 526; motion 512;
// parameters the root point. Modifiers come from the event's state.
#ifndef QG_TESTRUNNER_RECORDER_X11_SOURCE_H_
#define QG_TESTRUNNER_RECORDER_X11_SOURCE_H_

#include <cstdint>
#include <memory>
#include <string>

#include "testrunner/recorder/input_source.h"

// The double-click time of X resources text ("name: value" lines): the
// last entry whose name ends in multiClickTime or doubleClickTime with a
// value from 1 to 5000 ms; 0 when there is none.
uint32_t DelaiDoubleClicRessources(const std::string& resources);

// A source on the display of $DISPLAY; null when it does not open or lacks
// RECORD or X-Resource 1.2.
std::unique_ptr<ISourceEntree> NouvelleSourceX11();

#endif  // QG_TESTRUNNER_RECORDER_X11_SOURCE_H_
