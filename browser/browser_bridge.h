// The script bridge of a browser object: scripts with and without result,
// the page's calls into host procedures (ZQ.Execute through a private
// binding), the body exchange, frame waits, HTML loading, request
// interception and the module's internal console commands.
#ifndef QG_BROWSER_BROWSER_BRIDGE_H_
#define QG_BROWSER_BROWSER_BRIDGE_H_

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "browser/devtools/message.h"
#include "browser/png_decode.h"
#include "browser/web_api.h"

namespace qg::web {

class CIKQMBrowser;

// Name of the page procedure that acknowledges a frame.
inline constexpr const char* kFrameProcedure = "_onRequestAnimationFrameInternalGxxxWeb";
// Prefix of the module's console commands (20 characters).
inline constexpr const char* kInternalPrefix = "qvxxxweb://internal?";
// Base of local pages (lower case: hosts are compared lower-cased).
inline constexpr const char* kLocalBase = "http://qg300web.invalid";
// Longest data URL loaded as such (the browser's URL limit).
inline constexpr size_t kMaxDataUrl = 2097152;
// Limits (ms).
inline constexpr int kSyncScriptMs = 5000;
inline constexpr int kPageSourceMs = 2000;
inline constexpr int kFrameWaitMs = 30000;

// The body as a JavaScript string literal, in double quotes.
std::u16string JsLiteral(const std::u16string& text);
// The same escapes without the quotes.
std::u16string JsEscape(const std::u16string& text);
// "data:text/html;charset=UTF-8," + the text with % and # escaped.
std::u16string HtmlDataUrl(const std::u16string& html);
// The length of `url` as the browser measures it against its limit: every
// character past ASCII percent-encoded as UTF-8 bytes (9 for most, 12 for a
// surrogate pair), controls as one escape.
size_t SentUrlLength(const std::u16string& url);

// Message number of a failed script: 800002 for "Script error." (leading
// blanks ignored), else 800003.
uint32_t ScriptErrorNumber(const std::u16string& error_text);

// The result text of a script: strings as is, undefined empty, else the
// value's String() form; `needs_page` is set when only the page can tell
// (objects), whose id is then in *object_id.
std::string ScriptResultText(const devtools::Json& remote_object, bool* needs_page,
                             std::string* object_id);

// A binding payload turned into host values: null, BOOL, I4 (32-bit
// integers), R8, else DSTRW (objects and arrays as JSON). False for a
// payload that is not an array of at least one text.
struct PageCall {
  std::string kind;               // "x" procedure, "a" async, "h" host field, "m" menu
  std::vector<devtools::Json> args;
};
bool ParsePageCall(const std::string& payload, PageCall* call);
// A JSON integer that fits 32 bits; false for any other value.
bool JsonInt32(const devtools::Json& v, int32_t* out);
void JsonToAny(const devtools::Json& value, CAny* out);

// A console text of the module: true when it starts with the prefix (it is
// then swallowed); *command is what follows.
bool InternalCommand(const std::string& text, std::string* command);

// A header pair the browser accepts: a name of visible characters without
// ':', a value without CR, LF or NUL.
bool ValidHeader(const std::u16string& name, const std::u16string& value);

struct StoredPage {
  std::string url;
  std::string bytes;
  std::string mime;
  std::string charset;
};

// Per-browser bridge state (locks: pending, frames; see the .cpp).
struct BridgeState {
  std::string binding;  // private binding name

  struct PendingCall {
    std::u16string script;
    ICkAppelJS* callback = nullptr;  // referenced
  };
  std::mutex pending_mu;
  std::map<uint64_t, PendingCall> pending;

  struct FrameWait {
    int32_t number;
    int32_t width, height;
    int64_t tick;
    ICkFrame* callback;  // referenced
  };
  std::mutex frames_mu;
  std::vector<FrameWait> frames;
  std::atomic<int32_t> acknowledged{0};

  std::mutex page_mu;
  StoredPage page;

  // Preferences kept for the browser (no run-time call applies them).
  std::mutex prefs_mu;
  bool spellcheck = true;
  std::vector<std::string> dictionaries;
};

class BrowserBridge {
 public:
  static void Install(CIKQMBrowser& b);
  static void FailPending(CIKQMBrowser& b);
  static void OnException(CIKQMBrowser& b, const devtools::Json& params);
  static bool HandleInternalCommand(CIKQMBrowser& b, const std::string& text);
  static void OnPaint(CIKQMBrowser& b, const Bitmap& bitmap);
  static void OnBindingCalled(CIKQMBrowser& b, const devtools::Json& params);
  static void OnRequestPaused(CIKQMBrowser& b, const devtools::Json& params);
  static bool NeedsFetch(CIKQMBrowser& b);
};

}  // namespace qg::web

#endif  // QG_BROWSER_BROWSER_BRIDGE_H_
