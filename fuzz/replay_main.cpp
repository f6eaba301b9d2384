// Replays seed inputs through a fuzz target without libFuzzer: every file
// named, and every regular file of every folder named, is passed once to
// LLVMFuzzerTestOneInput. Fails when no input is found.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool Replay(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", file.c_str());
    return false;
  }
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
  // An exact-size copy, so that the sanitizers see any read past the end.
  std::unique_ptr<uint8_t[]> data(new uint8_t[bytes.size() + (bytes.empty() ? 1 : 0)]);
  std::copy(bytes.begin(), bytes.end(), data.get());
  LLVMFuzzerTestOneInput(data.get(), bytes.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE_OR_FOLDER...\n", argv[0]);
    return 2;
  }
  size_t count = 0;
  for (int i = 1; i < argc; ++i) {
    std::vector<std::filesystem::path> files;
    std::error_code ec;
    if (std::filesystem::is_directory(argv[i], ec)) {
      for (const auto& e : std::filesystem::directory_iterator(argv[i], ec)) {
        if (e.is_regular_file()) files.push_back(e.path());
      }
      std::sort(files.begin(), files.end());
    } else {
      files.emplace_back(argv[i]);
    }
    for (const auto& f : files) {
      if (!Replay(f)) return 1;
      ++count;
    }
  }
  if (count == 0) {
    std::fprintf(stderr, "no input to replay\n");
    return 1;
  }
  std::printf("replayed %zu inputs\n", count);
  return 0;
}
