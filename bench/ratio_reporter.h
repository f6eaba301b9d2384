// What every benchmark executable shares: a console reporter that keeps the
// runs of this process, so that after the usual table a bench can print how
// its cases compare with a reference measured in the same run, and the main
// that drives it.
#ifndef QG_BENCH_RATIO_REPORTER_H_
#define QG_BENCH_RATIO_REPORTER_H_

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace qg {

// Keeps the last iteration run of each benchmark name while the console
// prints as usual. Failed runs are not kept: their times mean nothing.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      if (r.run_type == Run::RT_Iteration && !r.error_occurred) runs_[r.benchmark_name()] = r;
    }
    ConsoleReporter::ReportRuns(runs);
  }

  // The kept runs, by benchmark name.
  const std::map<std::string, Run>& runs() const { return runs_; }

  bool Ran(const std::string& name) const { return runs_.count(name) != 0; }

  // Time per iteration of `name`, in its benchmark's time unit; 0 when it
  // did not run.
  double Time(const std::string& name) const {
    auto it = runs_.find(name);
    return it == runs_.end() ? 0.0 : it->second.GetAdjustedRealTime();
  }

  // CPU time per iteration of `name` (the process's when the benchmark
  // measures process CPU time, else its thread's); 0 when it did not run.
  double CpuTime(const std::string& name) const {
    auto it = runs_.find(name);
    return it == runs_.end() ? 0.0 : it->second.GetAdjustedCPUTime();
  }

  // A user counter of `name` ("bytes_per_second"...); 0 when absent.
  double Counter(const std::string& name, const std::string& counter) const {
    auto it = runs_.find(name);
    if (it == runs_.end()) return 0.0;
    auto c = it->second.counters.find(counter);
    return c == it->second.counters.end() ? 0.0 : c->second.value;
  }

  // Time of `name` over time of `reference`. False, with *ratio set to 0,
  // when either did not run or the reference took no time.
  bool Ratio(const std::string& name, const std::string& reference, double* ratio) const {
    *ratio = 0.0;
    const double ref = Time(reference);
    if (!Ran(name) || ref <= 0) return false;
    *ratio = Time(name) / ref;
    return true;
  }

  // As Ratio, on CPU times.
  bool CpuRatio(const std::string& name, const std::string& reference, double* ratio) const {
    *ratio = 0.0;
    const double ref = CpuTime(reference);
    if (!Ran(name) || ref <= 0) return false;
    *ratio = CpuTime(name) / ref;
    return true;
  }

 private:
  std::map<std::string, Run> runs_;
};

// A bench's main once its benchmarks are registered: parses the benchmark
// flags, runs the chosen benchmarks and hands the reporter to `print` for
// the bench's own table. Returns the process exit status.
inline int RunBenchmarks(int argc, char** argv, void (*print)(const RatioReporter&)) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  print(reporter);
  benchmark::Shutdown();
  return 0;
}

}  // namespace qg

#endif  // QG_BENCH_RATIO_REPORTER_H_
