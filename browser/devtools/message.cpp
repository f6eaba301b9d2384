#include "browser/devtools/message.h"

#include <cstring>

namespace qg::devtools {

void FrameSplitter::Feed(const char* data, size_t size) {
  if (start_ > 0 && start_ >= buffer_.size() / 2) {
    buffer_.erase(0, start_);
    scanned_ -= start_;
    open_ -= start_;
    start_ = 0;
  }
  while (size > 0) {
    if (skipping_) {
      const void* nul = memchr(data, 0, size);
      if (nul == nullptr) return;
      const size_t used = static_cast<const char*>(nul) - data + 1;
      data += used;
      size -= used;
      skipping_ = false;
      continue;
    }
    const size_t pending = buffer_.size() - open_;
    const void* nul = memchr(data, 0, size);
    const size_t take = nul == nullptr ? size : static_cast<const char*>(nul) - data;
    if (pending + take > limit_) {
      // Drop what is buffered of the frame and the rest of it.
      buffer_.resize(open_);
      if (scanned_ > open_) scanned_ = open_;
      ++dropped_;
      skipping_ = true;
      continue;
    }
    buffer_.append(data, nul == nullptr ? size : take + 1);
    if (nul == nullptr) return;
    open_ = buffer_.size();
    data += take + 1;
    size -= take + 1;
  }
}

bool FrameSplitter::Next(std::string* frame) {
  const char* base = buffer_.data();
  const void* nul = memchr(base + scanned_, 0, buffer_.size() - scanned_);
  if (nul == nullptr) {
    scanned_ = buffer_.size();
    return false;
  }
  const size_t end = static_cast<const char*>(nul) - base;
  frame->assign(base + start_, end - start_);
  start_ = end + 1;
  scanned_ = start_;
  if (start_ == buffer_.size()) {
    buffer_.clear();
    start_ = scanned_ = open_ = 0;
  }
  return true;
}

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The code unit of the \uXXXX escape at text[i] ('\\'), or -1.
int EscapedUnit(const std::string& text, size_t i) {
  if (i + 6 > text.size() || text[i] != '\\' || text[i + 1] != 'u') return -1;
  int v = 0;
  for (size_t k = i + 2; k < i + 6; ++k) {
    const int h = HexValue(text[k]);
    if (h < 0) return -1;
    v = v * 16 + h;
  }
  return v;
}

}  // namespace

bool PrepareJson(std::string* text, int max_depth) {
  std::string& t = *text;
  int depth = 0;
  bool in_string = false;
  for (size_t i = 0; i < t.size(); ++i) {
    const char c = t[i];
    if (!in_string) {
      if (c == '"') {
        in_string = true;
      } else if (c == '[' || c == '{') {
        if (++depth > max_depth) return false;
      } else if ((c == ']' || c == '}') && depth > 0) {
        --depth;
      }
      continue;
    }
    if (c == '"') {
      in_string = false;
    } else if (c == '\\') {
      const int unit = EscapedUnit(t, i);
      if (unit >= 0xD800 && unit <= 0xDBFF) {
        const int next = EscapedUnit(t, i + 6);
        if (next >= 0xDC00 && next <= 0xDFFF) {
          i += 11;  // a pair: both escapes kept
          continue;
        }
        t.replace(i, 6, "\\ufffd");
      } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
        t.replace(i, 6, "\\ufffd");
      }
      i += unit >= 0 ? 5 : 1;  // past the escape
    }
  }
  return true;
}

Json ParseJson(std::string text, int max_depth) {
  if (!PrepareJson(&text, max_depth)) return Json(Json::value_t::discarded);
  return Json::parse(text, nullptr, /*allow_exceptions=*/false);
}

bool ParseMessage(const std::string& frame, Message* message) {
  Json json = ParseJson(frame);
  if (!json.is_object()) return false;
  *message = Message();
  auto session = json.find("sessionId");
  if (session != json.end() && session->is_string()) {
    message->session_id = session->get<std::string>();
  }
  auto id = json.find("id");
  if (id != json.end()) {
    if (!id->is_number_integer()) return false;
    message->id = id->get<int64_t>();
    if (message->id < 0) return false;
    auto error = json.find("error");
    if (error != json.end()) {
      message->is_error = true;
      if (error->is_object()) {
        auto text = error->find("message");
        if (text != error->end() && text->is_string()) message->error = text->get<std::string>();
      }
      if (message->error.empty()) message->error = "error";
      return true;
    }
    auto result = json.find("result");
    if (result != json.end()) message->result = std::move(*result);
    return true;
  }
  auto method = json.find("method");
  if (method == json.end() || !method->is_string()) return false;
  message->method = method->get<std::string>();
  auto params = json.find("params");
  if (params != json.end()) message->result = std::move(*params);
  return true;
}

}  // namespace qg::devtools
