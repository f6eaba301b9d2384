// Decimal parse, format and rescale on the host decimal's number fields, and
// currency division against plain 128-bit division. Prints each case's ratio
// to its 128-bit reference measured in the same run.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <algorithm>
#include <array>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
#include "dotnet/convert/decimal_ops.h"
#include "dotnet/convert/fixe6.h"

namespace {

using i128 = __int128;
using u128 = unsigned __int128;

class Decimal final : public qg::IDecimal {
 public:
  void vNegate() override {
    u128 m = 0;
    for (int i = 15; i >= 0; --i) m = (m << 8) | m_stFields.abyMantissa[i];
    m = 0 - m;
    for (int i = 0; i < 16; ++i, m >>= 8) m_stFields.abyMantissa[i] = static_cast<uint8_t>(m);
  }
  intptr_t vOp1(intptr_t) override { return 0; }
  intptr_t vOp2(intptr_t) override { return 0; }
  intptr_t vOp3(intptr_t) override { return 0; }
};

const std::vector<std::u16string>& Textes() {
  static const std::vector<std::u16string> v = [] {
    std::vector<std::u16string> t;
    std::mt19937_64 alea(1);
    for (int i = 0; i < 256; ++i) {
      std::string s = std::to_string(alea() % 1000000000000ULL) + "." + std::to_string(alea() % 1000000);
      if (i % 3 == 0) s = "-" + s;
      t.emplace_back(s.begin(), s.end());
    }
    return t;
  }();
  return v;
}

void BM_Parse(benchmark::State& state) {
  const auto& t = Textes();
  Decimal d;
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(nAffecteTexte(&d, t[i].c_str()));
    i = (i + 1) % t.size();
  }
}

void BM_Format(benchmark::State& state) {
  const auto& t = Textes();
  std::vector<Decimal> v(t.size());
  for (size_t i = 0; i < t.size(); ++i) nAffecteTexte(&v[i], t[i].c_str());
  char16_t sz[64];
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(nFormate(&v[i], sz, 0x1, u'f', 0, -1, 64));
    i = (i + 1) % v.size();
  }
}

void BM_Rescale(benchmark::State& state) {
  Decimal d;
  nAffecteTexte(&d, u"-123456789012.345678");
  for (auto _ : state) {
    nChangeEchelle(&d, 6, 20);
    benchmark::DoNotOptimize(nChangeEchelle(&d, 20, 6));
  }
}

struct Paire {
  i128 a, b;
};

const std::vector<Paire>& Paires() {
  static const std::vector<Paire> v = [] {
    std::vector<Paire> p;
    std::mt19937_64 alea(2);
    for (int i = 0; i < 256; ++i) {
      const i128 a = static_cast<i128>(alea() >> 4) * ((i & 1) ? -1 : 1);
      const i128 b = static_cast<i128>((alea() >> 20) | 1);
      p.push_back({a, b});
    }
    return p;
  }();
  return v;
}

void Mots(i128 v, uint16_t* w) {
  u128 u = static_cast<u128>(v);
  for (int i = 0; i < kFixe6Mots; ++i, u >>= 16) w[i] = static_cast<uint16_t>(u);
}

// a * 10^6 / b, rounded: the currency division through Divise, a function
// of pFixe6Divise's shape (a template argument, so that the call is direct).
template <auto Divise>
void CurrencyDivide(benchmark::State& state) {
  const auto& p = Paires();
  std::vector<std::array<uint16_t, 10>> a(p.size()), b(p.size());
  for (size_t i = 0; i < p.size(); ++i) {
    Mots(p[i].a, a[i].data());
    Mots(p[i].b, b[i].data());
  }
  size_t i = 0;
  for (auto _ : state) {
    uint16_t w[kFixe6Mots];
    std::copy(a[i].begin(), a[i].begin() + kFixe6Mots, w);
    benchmark::DoNotOptimize(Divise(w, kFixe6Mots, b[i].data(), kFixe6UnMillion));
    i = (i + 1) % p.size();
  }
}

void BM_CurrencyDivide(benchmark::State& state) { CurrencyDivide<pFixe6Divise>(state); }

void BM_CurrencyDivideWords(benchmark::State& state) {
  CurrencyDivide<qg::Fixe6DiviseMots>(state);
}

void BM_Int128Divide(benchmark::State& state) {
  const auto& p = Paires();
  size_t i = 0;
  for (auto _ : state) {
    volatile i128 a = p[i].a;
    const i128 n = a * 1000000;
    i128 q = n / p[i].b;
    const i128 r = n % p[i].b;
    if ((r < 0 ? -r : r) * 2 >= p[i].b) q += n < 0 ? -1 : 1;
    benchmark::DoNotOptimize(q);
    i = (i + 1) % p.size();
  }
}

BENCHMARK(BM_Parse);
BENCHMARK(BM_Format);
BENCHMARK(BM_Rescale);
BENCHMARK(BM_CurrencyDivide);
BENCHMARK(BM_CurrencyDivideWords);
BENCHMARK(BM_Int128Divide);

void PrintRatios(const qg::RatioReporter& r) {
  if (r.Time("BM_Int128Divide") <= 0) return;
  std::printf("\nratio to __int128 division (same run, lower is faster)\n");
  for (const char* name : {"BM_CurrencyDivide", "BM_CurrencyDivideWords"}) {
    double ratio;
    if (r.Ratio(name, "BM_Int128Divide", &ratio)) std::printf("  %-24s %6.2f\n", name + 3, ratio);
  }
}

}  // namespace

int main(int argc, char** argv) { return qg::RunBenchmarks(argc, argv, PrintRatios); }
