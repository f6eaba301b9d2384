// The stand-in runtime's click for host function 344: an XTest click at a
// point of an X window, on the display of $DISPLAY.
#ifndef QG_HOST_X11_X_CLICK_H_
#define QG_HOST_X11_X_CLICK_H_

#include <cstdint>

namespace qghost {

// Presses and releases button 1 at (x, y) of the window. False without a
// display with XTest, or when the window is not one of the display's.
// Thread-safe; one connection, opened at the first click and again when
// $DISPLAY changes.
bool ClickInWindow(uint32_t window, int32_t x, int32_t y);

}  // namespace qghost

#endif  // QG_HOST_X11_X_CLICK_H_
