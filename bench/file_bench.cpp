// Reading a 100 MB text file line by line: CDiskFile's 8-bit line read
// against std::getline on an ifstream, on the same file in the same run.
// Both must see the same lines (count and checksum, checked every pass).
// Prints the ratio of our time to getline's (below 1.0: ours is faster).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
#include "support/streams/disk_file.h"

namespace {

constexpr size_t kFileBytes = 100u << 20;
constexpr int kLineCapacity = 4096;

struct Digest {
  uint64_t lines = 0;
  uint64_t sum = 0;  // bytes of every line, order-sensitive
  bool operator==(const Digest& o) const { return lines == o.lines && sum == o.sum; }
};

void Add(Digest* d, const char* text, size_t n) {
  ++d->lines;
  for (size_t i = 0; i < n; ++i) d->sum = d->sum * 31 + static_cast<unsigned char>(text[i]);
}

const std::string& FilePath() {
  static const std::string path = "/tmp/qg_file_bench_" + std::to_string(getpid()) + ".txt";
  return path;
}

// Writes the file once, outside the timed loops: LF-ended lines of 0 to 150
// characters (getline splits on LF only). main removes it.
void MakeFile() {
  static const bool made = [] {
    std::ofstream out(FilePath(), std::ios::binary | std::ios::trunc);
    uint32_t seed = 12345;
    std::string line;
    size_t written = 0;
    while (written < kFileBytes) {
      seed = seed * 1103515245u + 12345u;
      size_t n = (seed >> 16) % 151;
      line.assign(n, 'a' + static_cast<char>((seed >> 8) % 26));
      line += '\n';
      out << line;
      written += line.size();
    }
    return true;
  }();
  (void)made;
}

Digest ReadOurs() {
  Digest d;
  CDiskFile f;
  std::u16string path(FilePath().begin(), FilePath().end());
  if (!f.bOpen(path.c_str(), qg::GENERIC_READ, qg::FILE_SHARE_READ, qg::OPEN_EXISTING,
               qg::FILE_FLAG_SEQUENTIAL_SCAN, nullptr)) {
    return d;
  }
  std::vector<char> line(kLineCapacity);
  bool truncated = false;
  while (f.bReadLineA(line.data(), kLineCapacity, &truncated, 0)) {
    Add(&d, line.data(), std::char_traits<char>::length(line.data()));
  }
  return d;
}

Digest ReadGetline() {
  Digest d;
  std::ifstream in(FilePath(), std::ios::binary);
  std::string line;
  while (std::getline(in, line)) Add(&d, line.data(), line.size());
  return d;
}

Digest g_reference;

void Getline(benchmark::State& state) {
  MakeFile();
  for (auto _ : state) {
    Digest d = ReadGetline();
    g_reference = d;
    benchmark::DoNotOptimize(d.sum);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileBytes));
}

void DiskFileReadLine(benchmark::State& state) {
  MakeFile();
  if (g_reference.lines == 0) g_reference = ReadGetline();
  for (auto _ : state) {
    Digest d = ReadOurs();
    if (!(d == g_reference)) {
      state.SkipWithError("the lines differ from std::getline's");
      break;
    }
    benchmark::DoNotOptimize(d.sum);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileBytes));
}

void PrintRatios(const qg::RatioReporter& r) {
  double ratio;
  if (!r.Ratio("CDiskFile_ReadLineA", "getline", &ratio)) return;
  std::printf("\nratio to std::getline (same run, lower is faster): %.2f\n", ratio);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::RegisterBenchmark("getline", Getline)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("CDiskFile_ReadLineA", DiskFileReadLine)
      ->Unit(benchmark::kMillisecond);
  const int status = qg::RunBenchmarks(argc, argv, PrintRatios);
  std::remove(FilePath().c_str());
  return status;
}
