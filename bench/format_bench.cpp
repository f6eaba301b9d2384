// The library's formatter against the C library's snprintf on the same
// directives and values. After the usual table, prints for each case the
// ratio of our time to snprintf's, both measured in this run (below 1.0:
// ours is faster).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "bench/ratio_reporter.h"
#include "support/platform/format.h"

namespace {

// Inputs read through a volatile pointer so that no call folds at compile
// time.
struct Values {
  int i1 = 123456, i2 = 42, i3 = 0xBEEF;
  long long big = 5000000000LL;
  double d1 = 3.14159, d2 = 6.02e23, d3 = 0.0001;
  const char* s1 = "name";
  const char* s2 = "value";
  const char16_t* w1 = u"name";
  const char16_t* w2 = u"value";
};
Values g_values;
const Values& V() {
  static Values* volatile p = &g_values;
  return *p;
}

// One case: the same text made by snprintf, by our narrow formatter and by
// our wide one (Windows spellings: %I64d, %s wide in a wide format).
struct Case {
  const char* name;
  int (*theirs)(char* buf, size_t n);
  int (*narrow)(char* buf, size_t n);
  int (*wide)(char16_t* buf, size_t n);
};

const Case kCases[] = {
    {"int",
     [](char* b, size_t n) { const Values& v = V(); return std::snprintf(b, n, "id=%d count=%5d mask=%08x", v.i1, v.i2, v.i3); },
     [](char* b, size_t n) { const Values& v = V(); return qg::Format(b, n, "id=%d count=%5d mask=%08x", v.i1, v.i2, v.i3); },
     [](char16_t* b, size_t n) { const Values& v = V(); return qg::Format(b, n, u"id=%d count=%5d mask=%08x", v.i1, v.i2, v.i3); }},
    {"int64",
     [](char* b, size_t n) { const Values& v = V(); return std::snprintf(b, n, "%lld / %llu", v.big, static_cast<unsigned long long>(v.big)); },
     [](char* b, size_t n) { const Values& v = V(); return qg::Format(b, n, "%I64d / %I64u", v.big, v.big); },
     [](char16_t* b, size_t n) { const Values& v = V(); return qg::Format(b, n, u"%I64d / %I64u", v.big, v.big); }},
    {"double",
     [](char* b, size_t n) { const Values& v = V(); return std::snprintf(b, n, "%f %.3e %g", v.d1, v.d2, v.d3); },
     [](char* b, size_t n) { const Values& v = V(); return qg::Format(b, n, "%f %.3e %g", v.d1, v.d2, v.d3); },
     [](char16_t* b, size_t n) { const Values& v = V(); return qg::Format(b, n, u"%f %.3e %g", v.d1, v.d2, v.d3); }},
    {"text",
     [](char* b, size_t n) { const Values& v = V(); return std::snprintf(b, n, "%s=%-10s;", v.s1, v.s2); },
     [](char* b, size_t n) { const Values& v = V(); return qg::Format(b, n, "%s=%-10s;", v.s1, v.s2); },
     [](char16_t* b, size_t n) { const Values& v = V(); return qg::Format(b, n, u"%s=%-10s;", v.w1, v.w2); }},
    {"mixed",
     [](char* b, size_t n) { const Values& v = V(); return std::snprintf(b, n, "[%s] %d rows in %.2f ms", v.s1, v.i1, v.d1); },
     [](char* b, size_t n) { const Values& v = V(); return qg::Format(b, n, "[%s] %d rows in %.2f ms", v.s1, v.i1, v.d1); },
     [](char16_t* b, size_t n) { const Values& v = V(); return qg::Format(b, n, u"[%s] %d rows in %.2f ms", v.w1, v.i1, v.d1); }},
};

void Theirs(benchmark::State& state, const Case& c) {
  char buf[256];
  for (auto _ : state) {
    benchmark::DoNotOptimize(c.theirs(buf, sizeof buf));
    benchmark::ClobberMemory();
  }
}

void Narrow(benchmark::State& state, const Case& c) {
  char buf[256];
  for (auto _ : state) {
    benchmark::DoNotOptimize(c.narrow(buf, sizeof buf));
    benchmark::ClobberMemory();
  }
}

void Wide(benchmark::State& state, const Case& c) {
  char16_t buf[256];
  for (auto _ : state) {
    benchmark::DoNotOptimize(c.wide(buf, 256));
    benchmark::ClobberMemory();
  }
}

// A ratio of 0 stands for a case that did not run.
void PrintRatios(const qg::RatioReporter& r) {
  std::printf("\nratio to snprintf (same run, lower is faster)\n");
  for (const Case& c : kCases) {
    const std::string ref = std::string("snprintf/") + c.name;
    if (r.Time(ref) <= 0) continue;
    double narrow, wide;
    r.Ratio(std::string("qg_narrow/") + c.name, ref, &narrow);
    r.Ratio(std::string("qg_wide/") + c.name, ref, &wide);
    std::printf("  %-8s narrow %5.2f", c.name, narrow);
    std::printf("   wide %5.2f\n", wide);
  }
}

}  // namespace

int main(int argc, char** argv) {
  for (const Case& c : kCases) {
    benchmark::RegisterBenchmark((std::string("snprintf/") + c.name).c_str(), Theirs, c);
    benchmark::RegisterBenchmark((std::string("qg_narrow/") + c.name).c_str(), Narrow, c);
    benchmark::RegisterBenchmark((std::string("qg_wide/") + c.name).c_str(), Wide, c);
  }
  return qg::RunBenchmarks(argc, argv, PrintRatios);
}
