// Bounce hash table against std::unordered_map: insert, find and remove at
// 10^3 to 10^6 entries (time per operation), and memory per entry.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <random>
#include <unordered_map>
#include <vector>

#include "dotnet/convert/hashtable_bounce.h"

namespace {

// Bytes held by the node-based map, counted through its allocator.
size_t g_nOctetsCarte = 0;

template <typename T>
struct Compteur {
  using value_type = T;
  Compteur() = default;
  template <typename U>
  Compteur(const Compteur<U>&) {}
  T* allocate(size_t n) {
    g_nOctetsCarte += n * sizeof(T);
    return static_cast<T*>(std::malloc(n * sizeof(T)));
  }
  void deallocate(T* p, size_t n) {
    g_nOctetsCarte -= n * sizeof(T);
    std::free(p);
  }
  template <typename U>
  bool operator==(const Compteur<U>&) const { return true; }
};

using Carte = std::unordered_map<uintptr_t, uintptr_t, std::hash<uintptr_t>, std::equal_to<uintptr_t>,
                                 Compteur<std::pair<const uintptr_t, uintptr_t>>>;

class Table : public CHashTableBounce {
 public:
  using CHashTableBounce::CHashTableBounce;
  size_t nOctets() const { return size_t{nCapacite} * sizeof(STEntreeBounce) + size_t{nNbAlveole} * sizeof(int32_t); }
};

uint32_t Hache(uintptr_t k) { return static_cast<uint32_t>(k ^ (k >> 32)) * 2654435761u; }
int Compare(uintptr_t a, uintptr_t b) { return a == b ? 0 : 1; }

std::vector<uintptr_t> Cles(size_t n) {
  std::mt19937_64 alea(42);
  std::vector<uintptr_t> v(n);
  for (auto& k : v) k = alea();
  return v;
}

void BM_BounceAjoute(benchmark::State& state) {
  const auto cles = Cles(static_cast<size_t>(state.range(0)));
  size_t nOctets = 0;
  for (auto _ : state) {
    Table t(0);
    t.SetFonctionHache(Hache)->SetFonctionCompare(Compare);
    for (uintptr_t k : cles) t.bAjoute(k, k);
    nOctets = t.nOctets();
    benchmark::DoNotOptimize(t.nGetNbElement());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.counters["bytes_per_entry"] = static_cast<double>(nOctets) / static_cast<double>(cles.size());
}

void BM_CarteAjoute(benchmark::State& state) {
  const auto cles = Cles(static_cast<size_t>(state.range(0)));
  size_t nOctets = 0;
  for (auto _ : state) {
    g_nOctetsCarte = 0;
    Carte c;
    for (uintptr_t k : cles) c.emplace(k, k);
    nOctets = g_nOctetsCarte;
    benchmark::DoNotOptimize(c.size());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.counters["bytes_per_entry"] = static_cast<double>(nOctets) / static_cast<double>(cles.size());
}

void BM_BounceCherche(benchmark::State& state) {
  const auto cles = Cles(static_cast<size_t>(state.range(0)));
  Table t(0);
  t.SetFonctionHache(Hache)->SetFonctionCompare(Compare);
  for (uintptr_t k : cles) t.bAjoute(k, k);
  size_t i = 0;
  for (auto _ : state) {
    uintptr_t v = 0;
    benchmark::DoNotOptimize(t.bCherche(cles[i], &v, nullptr));
    if (++i == cles.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_CarteCherche(benchmark::State& state) {
  const auto cles = Cles(static_cast<size_t>(state.range(0)));
  Carte c;
  for (uintptr_t k : cles) c.emplace(k, k);
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(c.find(cles[i]));
    if (++i == cles.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
}

// Remove then re-add, so that the table keeps its size (and its class).
void BM_BounceSupprime(benchmark::State& state) {
  const auto cles = Cles(static_cast<size_t>(state.range(0)));
  Table t(0);
  t.SetFonctionHache(Hache)->SetFonctionCompare(Compare);
  for (uintptr_t k : cles) t.bAjoute(k, k);
  size_t i = 0;
  for (auto _ : state) {
    t.bSupprime(cles[i], nullptr, nullptr);
    t.bAjoute(cles[i], cles[i]);
    if (++i == cles.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_CarteSupprime(benchmark::State& state) {
  const auto cles = Cles(static_cast<size_t>(state.range(0)));
  Carte c;
  for (uintptr_t k : cles) c.emplace(k, k);
  size_t i = 0;
  for (auto _ : state) {
    c.erase(cles[i]);
    c.emplace(cles[i], cles[i]);
    if (++i == cles.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
}

#define QG_TAILLES RangeMultiplier(10)->Range(1000, 1000000)
BENCHMARK(BM_BounceAjoute)->QG_TAILLES->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CarteAjoute)->QG_TAILLES->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BounceCherche)->QG_TAILLES;
BENCHMARK(BM_CarteCherche)->QG_TAILLES;
BENCHMARK(BM_BounceSupprime)->QG_TAILLES;
BENCHMARK(BM_CarteSupprime)->QG_TAILLES;

// Keeps every run's time per iteration and prints, for each bounce-table
// case, the ratio to the same case on std::unordered_map.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      if (r.run_type == Run::RT_Iteration) times_[r.benchmark_name()] = r.GetAdjustedRealTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void PrintRatios() const {
    std::printf("\nratio to std::unordered_map (same run, lower is faster)\n");
    for (const auto& [name, t] : times_) {
      if (name.rfind("BM_Bounce", 0) != 0) continue;
      const std::string ref = "BM_Carte" + name.substr(9);
      auto it = times_.find(ref);
      if (it == times_.end() || it->second <= 0) continue;
      std::printf("  %-28s %5.2f\n", name.c_str() + 9, t / it->second);
    }
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
