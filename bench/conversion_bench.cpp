// The conversion engine's common pairs in nanoseconds per conversion, each
// printed as a ratio to the standard library's reader or writer measured in
// the same run: I4 to R8 (against a plain cast), DSTRW to I4 (against
// std::from_chars), R8 to DSTRW and CY to PSTRW (against std::to_chars).
#include <benchmark/benchmark.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
#include "dotnet/convert/conversion_dispatch.h"
#include "host/core/info_locale.h"
#include "host/core/string_memory.h"
#include "support/currency.h"
#include "support/frame/module_services.h"
#include "support/xystring.h"

namespace {

constexpr int kN = 256;

struct Hote {
  Hote() {
    qg::Services().piStringMemory = &memoire;
    qg::Services().piInfoLocale = &locale;
  }
  qghost::StringMemory memoire;
  qghost::InfoLocale locale;
};
Hote& H() {
  static Hote h;
  return h;
}

const std::vector<int32_t>& Entiers() {
  static const std::vector<int32_t> v = [] {
    std::vector<int32_t> t;
    std::mt19937 alea(1);
    for (int i = 0; i < kN; ++i) t.push_back(static_cast<int32_t>(alea()));
    return t;
  }();
  return v;
}

const std::vector<double>& Reels() {
  static const std::vector<double> v = [] {
    std::vector<double> t;
    std::mt19937_64 alea(2);
    std::uniform_real_distribution<double> d(-1e6, 1e6);
    for (int i = 0; i < kN; ++i) t.push_back(d(alea));
    return t;
  }();
  return v;
}

void BM_I4VersR8(benchmark::State& state) {
  const auto& v = Entiers();
  double r = 0;
  size_t i = 0;
  for (auto _ : state) {
    nConversionDepassement(&v[i++ % kN], qg::kConvI4, &r, qg::kConvR8, 0, nullptr);
    benchmark::DoNotOptimize(r);
  }
}

void BM_CastI4VersR8(benchmark::State& state) {
  const auto& v = Entiers();
  size_t i = 0;
  for (auto _ : state) {
    volatile int32_t n = v[i++ % kN];
    double r = static_cast<double>(n);
    benchmark::DoNotOptimize(r);
  }
}

void BM_DSTRWVersI4(benchmark::State& state) {
  H();
  std::vector<CXYString<char16_t>> textes(kN);
  for (int k = 0; k < kN; ++k) {
    std::string s = std::to_string(Entiers()[k]);
    std::u16string w(s.begin(), s.end());
    textes[k].nAffecteLongueur(w.data(), static_cast<int>(w.size()));
  }
  int32_t n = 0;
  size_t i = 0;
  for (auto _ : state) {
    nConversionDepassement(&textes[i++ % kN], qg::kConvDSTRW, &n, qg::kConvI4, 0, nullptr);
    benchmark::DoNotOptimize(n);
  }
}

void BM_FromCharsI4(benchmark::State& state) {
  std::vector<std::string> textes;
  for (int k = 0; k < kN; ++k) textes.push_back(std::to_string(Entiers()[k]));
  int32_t n = 0;
  size_t i = 0;
  for (auto _ : state) {
    const std::string& s = textes[i++ % kN];
    std::from_chars(s.data(), s.data() + s.size(), n);
    benchmark::DoNotOptimize(n);
  }
}

void BM_R8VersDSTRW(benchmark::State& state) {
  H();
  const auto& v = Reels();
  size_t i = 0;
  for (auto _ : state) {
    CXYString<char16_t> s;
    nConversionDepassement(&v[i++ % kN], qg::kConvR8, &s, qg::kConvDSTRW, 0, nullptr);
    benchmark::DoNotOptimize(s.pszGet());
  }
}

void BM_ToCharsR8(benchmark::State& state) {
  const auto& v = Reels();
  char a[64];
  size_t i = 0;
  for (auto _ : state) {
    auto r = std::to_chars(a, a + sizeof(a), v[i++ % kN], std::chars_format::general, 14);
    benchmark::DoNotOptimize(r.ptr);
  }
}

void BM_CYVersPSTRW(benchmark::State& state) {
  std::vector<qg::Fixe6> montants(kN);
  for (int k = 0; k < kN; ++k) qg::pFixe6DepuisReel(&montants[k], Reels()[k]);
  size_t i = 0;
  for (auto _ : state) {
    char16_t* p = nullptr;
    nConversionDepassement(&montants[i++ % kN], qg::kConvCY, &p, qg::kConvPSTRW, 0, nullptr);
    benchmark::DoNotOptimize(p);
    std::free(p);
  }
}

void BM_ToCharsCY(benchmark::State& state) {
  std::vector<int64_t> millioniemes;
  for (int k = 0; k < kN; ++k) millioniemes.push_back(static_cast<int64_t>(Reels()[k] * 1e6));
  char a[32];
  size_t i = 0;
  for (auto _ : state) {
    auto r = std::to_chars(a, a + sizeof(a), millioniemes[i++ % kN]);
    benchmark::DoNotOptimize(r.ptr);
  }
}

BENCHMARK(BM_I4VersR8);
BENCHMARK(BM_CastI4VersR8);
BENCHMARK(BM_DSTRWVersI4);
BENCHMARK(BM_FromCharsI4);
BENCHMARK(BM_R8VersDSTRW);
BENCHMARK(BM_ToCharsR8);
BENCHMARK(BM_CYVersPSTRW);
BENCHMARK(BM_ToCharsCY);

void PrintRatios(const qg::RatioReporter& r) {
  std::printf("\nns per conversion, and ratio to the reference (same run, lower is faster)\n");
  const char* const paires[][2] = {{"BM_I4VersR8", "BM_CastI4VersR8"},
                                   {"BM_DSTRWVersI4", "BM_FromCharsI4"},
                                   {"BM_R8VersDSTRW", "BM_ToCharsR8"},
                                   {"BM_CYVersPSTRW", "BM_ToCharsCY"}};
  for (const auto& p : paires) {
    double ratio;
    if (!r.Ratio(p[0], p[1], &ratio)) continue;
    std::printf("  %-16s %8.1f ns  %-16s %8.1f ns  ratio %6.2f\n", p[0] + 3, r.Time(p[0]),
                p[1] + 3, r.Time(p[1]), ratio);
  }
}

}  // namespace

int main(int argc, char** argv) { return qg::RunBenchmarks(argc, argv, PrintRatios); }
