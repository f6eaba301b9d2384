// Host-shared dynamic strings against std::u16string, both measured in this
// run: 10^5 one-character appends, and 10^4 assignments of a shared string
// (a count up and down for the dynamic string, a copy for std::u16string).
// The dynamic string's memory comes from the stand-in host. Prints the time
// of each and the ratio ours / std::u16string.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

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

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration) continue;
      const std::string name = run.benchmark_name();
      const size_t us = name.rfind('_');
      times_[name.substr(3, us - 3)][name.substr(us + 1)] = run.GetAdjustedRealTime();
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\n%-8s %14s %14s %7s\n", "case", "ours", "u16string", "ratio");
    for (const auto& [what, t] : times_) {
      auto ours = t.find("Ours"), std_ = t.find("Std");
      if (ours == t.end() || std_ == t.end()) continue;
      std::printf("%-8s %14.0f %14.0f %7.2f\n", what.c_str(), ours->second, std_->second,
                  ours->second / std_->second);
    }
  }

 private:
  std::map<std::string, std::map<std::string, double>> times_;  // ns per batch
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
