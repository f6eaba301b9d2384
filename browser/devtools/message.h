// The DevTools pipe's framing and messages. Frames are JSON texts ended by
// a NUL byte. Everything read from the pipe is untrusted: page code chooses
// console texts, URLs and binding payloads.
#ifndef QG_BROWSER_DEVTOOLS_MESSAGE_H_
#define QG_BROWSER_DEVTOOLS_MESSAGE_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

namespace qg::devtools {

using Json = nlohmann::json;

// Cuts a byte stream into NUL-terminated frames. A frame longer than the
// limit is dropped whole (its bytes up to the next NUL are skipped) and
// counted in nDropped().
class FrameSplitter {
 public:
  static constexpr size_t kDefaultLimit = size_t{512} << 20;

  explicit FrameSplitter(size_t limit = kDefaultLimit) : limit_(limit) {}

  void Feed(const char* data, size_t size);
  // Moves the next complete frame into *frame; false when none is complete.
  bool Next(std::string* frame);

  size_t nDropped() const { return dropped_; }

 private:
  size_t limit_;
  std::string buffer_;
  size_t start_ = 0;      // first byte of the next frame in buffer_
  size_t open_ = 0;       // first byte of the frame still incomplete
  size_t scanned_ = 0;    // bytes of buffer_ known to hold no NUL
  bool skipping_ = false;  // inside an over-long frame
  size_t dropped_ = 0;
};

// One decoded message: a reply (id >= 0) or an event (method set).
struct Message {
  int64_t id = -1;
  std::string method;
  std::string session_id;
  Json result;         // reply: "result"; event: "params"
  bool is_error = false;
  std::string error;   // reply: error.message
};

// Deepest nesting of arrays and objects a JSON text may have here: deeper
// ones are refused before they are parsed (parsing, printing and freeing
// such values recurse).
constexpr int kMaxJsonDepth = 256;

// Prepares a JSON text for the parser: false when arrays and objects nest
// deeper than max_depth; else true, with every \u escape of a lone
// surrogate (which the parser refuses) turned into \ufffd. Texts that are
// not JSON pass: the parser refuses them.
bool PrepareJson(std::string* text, int max_depth = kMaxJsonDepth);

// A JSON text parsed after PrepareJson; a discarded value when refused.
Json ParseJson(std::string text, int max_depth = kMaxJsonDepth);

// False for anything that is not a JSON object with either a numeric id or
// a text method, or nested deeper than kMaxJsonDepth; never throws.
bool ParseMessage(const std::string& frame, Message* message);

}  // namespace qg::devtools

#endif  // QG_BROWSER_DEVTOOLS_MESSAGE_H_
