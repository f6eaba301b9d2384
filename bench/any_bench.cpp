// CAny against std::variant on the same operations: set, get and copy of
// I4, R8 and DSTRW values. The variant holds int32_t, double and
// std::u16string; CAny's DSTRW lives in the stand-in host's string memory
// and is shared on copy, the variant's string is copied. After the usual
// table, prints for each case the ratio of CAny's time to the variant's,
// both measured in this run (below 1.0: CAny is faster). Each pair does the
// same work: the set cases store the same values into one target, the get
// cases read the value back out, the copy cases are described below.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <variant>

#include "bench/ratio_reporter.h"
#include "host/core/host_runtime.h"
#include "support/any.h"
#include "support/frame/module_services.h"

namespace {

using Variant = std::variant<std::monostate, int32_t, double, std::u16string>;

const std::u16string& Text() {
  static const std::u16string text = u"a DSTRW value of forty characters long..";
  return text;
}

void InstallHost() {
  qg::Services().piStringMemory = &qghost::Runtime().Strings();
  qg::Services().piInfoLocale = &qghost::Runtime().Locale();
  qg::Services().piValueObjects = &qghost::Runtime().Values();
}

// --- set ------------------------------------------------------------------------
void AnySetI4(benchmark::State& state) {
  CAny v;
  int32_t i = 0;
  for (auto _ : state) {
    v.SetI4(++i);
    benchmark::DoNotOptimize(v);
  }
}
void VariantSetI4(benchmark::State& state) {
  Variant v;
  int32_t i = 0;
  for (auto _ : state) {
    v = ++i;
    benchmark::DoNotOptimize(v);
  }
}
void AnySetR8(benchmark::State& state) {
  CAny v;
  double r = 0;
  for (auto _ : state) {
    v.SetR8(r += 1.5);
    benchmark::DoNotOptimize(v);
  }
}
void VariantSetR8(benchmark::State& state) {
  Variant v;
  double r = 0;
  for (auto _ : state) {
    v = (r += 1.5);
    benchmark::DoNotOptimize(v);
  }
}
// Alternates with an I4 so that every set builds the text afresh.
void AnySetDSTRW(benchmark::State& state) {
  CAny v;
  for (auto _ : state) {
    v.SetDSTRW(Text().c_str(), static_cast<int>(Text().size()));
    benchmark::DoNotOptimize(v);
    v.SetI4(0);
  }
}
void VariantSetDSTRW(benchmark::State& state) {
  Variant v;
  for (auto _ : state) {
    v = Text();
    benchmark::DoNotOptimize(v);
    v = int32_t{0};
  }
}

// --- get ------------------------------------------------------------------------
void AnyGetI4(benchmark::State& state) {
  CAny v;
  v.SetI4(7);
  for (auto _ : state) {
    int32_t i = 0;
    benchmark::DoNotOptimize(v.nGetI4(&i));
    benchmark::DoNotOptimize(i);
  }
}
void VariantGetI4(benchmark::State& state) {
  Variant v = int32_t{7};
  for (auto _ : state) {
    const int32_t* i = std::get_if<int32_t>(&v);
    benchmark::DoNotOptimize(i != nullptr ? *i : 0);
  }
}
void AnyGetR8(benchmark::State& state) {
  CAny v;
  v.SetR8(7.5);
  for (auto _ : state) {
    double r = 0;
    benchmark::DoNotOptimize(v.nGetR8(&r));
    benchmark::DoNotOptimize(r);
  }
}
void VariantGetR8(benchmark::State& state) {
  Variant v = 7.5;
  for (auto _ : state) {
    const double* r = std::get_if<double>(&v);
    benchmark::DoNotOptimize(r != nullptr ? *r : 0.0);
  }
}
// The text pointer of the value.
void AnyGetDSTRW(benchmark::State& state) {
  CAny v;
  v.SetDSTRW(Text().c_str());
  for (auto _ : state) {
    const char16_t* t = nullptr;
    benchmark::DoNotOptimize(v.nGetPCXSTR(&t));
    benchmark::DoNotOptimize(t);
  }
}
void VariantGetDSTRW(benchmark::State& state) {
  Variant v = Text();
  for (auto _ : state) {
    const std::u16string* t = std::get_if<std::u16string>(&v);
    benchmark::DoNotOptimize(t != nullptr ? t->c_str() : nullptr);
  }
}

// --- copy -----------------------------------------------------------------------
template <typename Set>
void AnyCopy(benchmark::State& state, Set set) {
  CAny a;
  set(a);
  CAny b;
  for (auto _ : state) {
    b = a;
    benchmark::DoNotOptimize(b);
  }
}
// Both sides assign the same source over and over into one target, as a
// caller copying values into a variable does: CAny empties its target and
// copies in (a DSTRW by taking a reference to the shared string), the
// variant assigns over the alternative it already holds (a string reusing
// its capacity). Neither is reset between copies.
void VariantCopy(benchmark::State& state, const Variant& a) {
  Variant b;
  for (auto _ : state) {
    b = a;
    benchmark::DoNotOptimize(b);
  }
}

void PrintRatios(const qg::RatioReporter& r) {
  static const char* const kCases[] = {"set/I4",  "set/R8",  "set/DSTRW",
                                       "get/I4",  "get/R8",  "get/DSTRW",
                                       "copy/I4", "copy/R8", "copy/DSTRW"};
  std::printf("\nratio of CAny to std::variant (same run, lower is faster)\n");
  for (const std::string c : kCases) {
    double ratio;
    if (!r.Ratio("any/" + c, "variant/" + c, &ratio)) continue;
    std::printf("  %-14s %5.2f\n", c.c_str(), ratio);
  }
}

}  // namespace

int main(int argc, char** argv) {
  InstallHost();
  benchmark::RegisterBenchmark("variant/set/I4", VariantSetI4);
  benchmark::RegisterBenchmark("any/set/I4", AnySetI4);
  benchmark::RegisterBenchmark("variant/set/R8", VariantSetR8);
  benchmark::RegisterBenchmark("any/set/R8", AnySetR8);
  benchmark::RegisterBenchmark("variant/set/DSTRW", VariantSetDSTRW);
  benchmark::RegisterBenchmark("any/set/DSTRW", AnySetDSTRW);
  benchmark::RegisterBenchmark("variant/get/I4", VariantGetI4);
  benchmark::RegisterBenchmark("any/get/I4", AnyGetI4);
  benchmark::RegisterBenchmark("variant/get/R8", VariantGetR8);
  benchmark::RegisterBenchmark("any/get/R8", AnyGetR8);
  benchmark::RegisterBenchmark("variant/get/DSTRW", VariantGetDSTRW);
  benchmark::RegisterBenchmark("any/get/DSTRW", AnyGetDSTRW);
  benchmark::RegisterBenchmark("variant/copy/I4", VariantCopy, Variant(int32_t{7}));
  benchmark::RegisterBenchmark("any/copy/I4", AnyCopy<void (*)(CAny&)>,
                               [](CAny& v) { v.SetI4(7); });
  benchmark::RegisterBenchmark("variant/copy/R8", VariantCopy, Variant(7.5));
  benchmark::RegisterBenchmark("any/copy/R8", AnyCopy<void (*)(CAny&)>,
                               [](CAny& v) { v.SetR8(7.5); });
  benchmark::RegisterBenchmark("variant/copy/DSTRW", VariantCopy, Variant(Text()));
  benchmark::RegisterBenchmark("any/copy/DSTRW", AnyCopy<void (*)(CAny&)>,
                               [](CAny& v) { v.SetDSTRW(Text().c_str()); });
  return qg::RunBenchmarks(argc, argv, PrintRatios);
}
