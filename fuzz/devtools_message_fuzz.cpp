// Cuts arbitrary pipe bytes into frames (in pieces of varying size, with a
// small frame limit) and decodes each frame as a DevTools message: nothing
// may crash, every frame stays under the limit, and the same bytes fed at
// once give the same frames.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "browser/devtools/message.h"

namespace {

void Verifie(bool b) {
  if (!b) __builtin_trap();
}

std::vector<std::string> Split(const uint8_t* data, size_t size, size_t step) {
  qg::devtools::FrameSplitter splitter(64);
  std::vector<std::string> frames;
  std::string frame;
  for (size_t i = 0; i < size; i += step) {
    const size_t n = size - i < step ? size - i : step;
    splitter.Feed(reinterpret_cast<const char*>(data) + i, n);
    while (splitter.Next(&frame)) {
      Verifie(frame.size() <= 64);
      frames.push_back(frame);
    }
  }
  return frames;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const size_t step = size == 0 ? 1 : 1 + data[0] % 7;
  std::vector<std::string> pieces = Split(data, size, step);
  Verifie(pieces == Split(data, size, size == 0 ? 1 : size));
  for (const std::string& f : pieces) {
    qg::devtools::Message m;
    if (qg::devtools::ParseMessage(f, &m)) Verifie(m.id >= 0 || !m.method.empty());
  }
  // The whole input as one frame, without a limit.
  qg::devtools::Message m;
  qg::devtools::ParseMessage(std::string(reinterpret_cast<const char*>(data), size), &m);
  return 0;
}
