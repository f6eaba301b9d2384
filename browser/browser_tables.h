// The translations between the host's records and the DevTools protocol:
// pure functions, tabled by the tests.
#ifndef QG_BROWSER_BROWSER_TABLES_H_
#define QG_BROWSER_BROWSER_TABLES_H_

#include <cstdint>
#include <string>

#include "browser/web_api.h"

namespace qg::web {

// Longest URL navigated as given; a longer one loads "about:blank".
constexpr size_t kMaxNavigateLength = 10485760;

// "left", "middle" or "right" for the host's button number.
const char* MouseButtonName(int32_t button);
// rawKeyDown, keyUp, char or keyDown for the host's key kind.
const char* KeyEventType(int32_t kind);
// Protocol modifier bits: Alt 1, Ctrl 2, Meta 4, Shift 8.
int ModifierBits(bool shift, bool control, bool alt);
// Protocol "buttons" bits of a mouse record: left 1, right 2, middle 4.
int PressedButtons(const stMouseBrowser& mouse);

// The host's certificate flags against an error code: bit 0 takes -202 and
// 128, bit 1 takes 1 and 16384, bit 2 takes 2, bit 5 takes 64.
bool CertificateAccepted(int32_t flags, int32_t code);
// The numeric code of a network error text ("net::ERR_CONNECTION_REFUSED"
// gives -102); unknown texts give -2 (ERR_FAILED), an empty text 0.
int32_t NetErrorCode(const std::string& text);

// Zoom level of a windowed browser: ln(percent / 100) / ln(1.2), 0 for
// percent <= 0.
double ZoomLevel(double percent);
// Device scale of an off-screen browser: percent / 100, 1 for percent <= 0.
double DeviceScale(double percent);

// A COLORREF (red in the low byte) as 0xAARRGGBB with alpha 255.
uint32_t ColorRefToArgb(int32_t colorref);

// The host's kinds of sub-resources: Image 0, Stylesheet 1, Script 2,
// XHR and Fetch 3, any other 4.
int32_t ResourceKind(const std::string& protocol_type);

// What a browser does when its page stops answering.
enum class EUnresponsive { kIgnore, kWait, kRecreate };
// The rule, for the `reports`-th report (from 1): only an off-screen browser
// of a low-end process with the timeout switch acts. It waits from the
// second report on, once its page has loaded, or while a body exchange is
// waiting (*reason names which); otherwise it ends and re-creates the page.
// Reports only grow, so a browser re-creates its page at most once.
EUnresponsive UnresponsiveAction(int reports, bool windowless, bool low_end_timeout,
                                 bool load_end_received, bool body_waiting, const char** reason);

}  // namespace qg::web

#endif  // QG_BROWSER_BROWSER_TABLES_H_
