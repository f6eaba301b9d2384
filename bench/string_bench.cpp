// Host-shared dynamic strings against std::u16string, both measured in this
// run: 10^5 one-character appends, and 10^4 assignments of a shared string
// (a count up and down for the dynamic string, a copy for std::u16string).
// The dynamic string's memory comes from the stand-in host. Prints the time
// of each and the ratio ours / std::u16string.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
#include "host/core/string_memory.h"
#include "support/frame/module_services.h"
#include "support/xystring.h"

namespace {

constexpr int kAppends = 100000;
constexpr int kAssignments = 10000;

qghost::StringMemory& Memory() {
  static qghost::StringMemory memory;
  qg::Services().piStringMemory = &memory;
  return memory;
}

void BM_Append_Ours(benchmark::State& state) {
  Memory();
  for (auto _ : state) {
    CXYString<char16_t> s;
    for (int i = 0; i < kAppends; ++i) s.nAjoute(u"x", 1);
    benchmark::DoNotOptimize(s.pszGet());
  }
}

void BM_Append_Std(benchmark::State& state) {
  for (auto _ : state) {
    std::u16string s;
    for (int i = 0; i < kAppends; ++i) s.append(u"x", 1);
    benchmark::DoNotOptimize(s.data());
  }
}

// A 64-unit text: beyond std::u16string's inline buffer, as most texts the
// modules pass around.
const char16_t kText[] = u"a text shared between holders, long enough to live on the heap.";

void BM_Assign_Ours(benchmark::State& state) {
  Memory();
  CXYString<char16_t> source(kText);
  std::vector<CXYString<char16_t>> holders(16);
  for (auto _ : state) {
    for (int i = 0; i < kAssignments; ++i) holders[i & 15] = source;
    benchmark::DoNotOptimize(holders.data());
  }
}

void BM_Assign_Std(benchmark::State& state) {
  std::u16string source(kText);
  std::vector<std::u16string> holders(16);
  for (auto _ : state) {
    for (int i = 0; i < kAssignments; ++i) holders[i & 15] = source;
    benchmark::DoNotOptimize(holders.data());
  }
}

BENCHMARK(BM_Append_Ours);
BENCHMARK(BM_Append_Std);
BENCHMARK(BM_Assign_Ours);
BENCHMARK(BM_Assign_Std);

// Times are ns per batch; runs are named BM_<case>_Ours and BM_<case>_Std.
void PrintRatios(const qg::RatioReporter& r) {
  std::printf("\n%-8s %14s %14s %7s\n", "case", "ours", "u16string", "ratio");
  const std::string suffix = "_Ours";
  for (const auto& [name, run] : r.runs()) {
    if (name.size() < 3 + suffix.size() ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
      continue;
    }
    const std::string what = name.substr(3, name.size() - 3 - suffix.size());
    const std::string std_name = "BM_" + what + "_Std";
    if (!r.Ran(std_name)) continue;
    const double ours = r.Time(name), theirs = r.Time(std_name);
    std::printf("%-8s %14.0f %14.0f %7.2f\n", what.c_str(), ours, theirs, ours / theirs);
  }
}

}  // namespace

int main(int argc, char** argv) { return qg::RunBenchmarks(argc, argv, PrintRatios); }
