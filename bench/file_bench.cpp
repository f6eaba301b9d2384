// Reading a 100 MB text file line by line: CDiskFile's 8-bit line read
// against std::getline on an ifstream, on the same file in the same run.
// Both must see the same lines (count and checksum, checked every pass).
// Prints the ratio of our time to getline's (below 1.0: ours is faster).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

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

// LF-ended lines of 0 to 150 characters (getline splits on LF only).
const std::string& FilePath() {
  static const std::string path = [] {
    std::string p = "/tmp/qg_file_bench_" + std::to_string(getpid()) + ".txt";
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
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
    return p;
  }();
  return path;
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
  for (auto _ : state) {
    Digest d = ReadGetline();
    g_reference = d;
    benchmark::DoNotOptimize(d.sum);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileBytes));
}

void DiskFileReadLine(benchmark::State& state) {
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

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      if (r.run_type == Run::RT_Iteration && !r.error_occurred) {
        times_[r.benchmark_name()] = r.GetAdjustedRealTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void PrintRatios() const {
    auto ref = times_.find("getline");
    auto ours = times_.find("CDiskFile_ReadLineA");
    if (ref == times_.end() || ours == times_.end() || ref->second <= 0) return;
    std::printf("\nratio to std::getline (same run, lower is faster): %.2f\n",
                ours->second / ref->second);
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::RegisterBenchmark("getline", Getline)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("CDiskFile_ReadLineA", DiskFileReadLine)
      ->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  FilePath();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  std::remove(FilePath().c_str());
  return 0;
}
