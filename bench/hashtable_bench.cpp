// Bounce hash table against std::unordered_map: insert, find and remove at
// 10^3 to 10^6 entries (time per operation), and memory per entry.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <random>
#include <unordered_map>
#include <vector>

#include "bench/ratio_reporter.h"
#include "support/hashtable_bounce.h"

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

// Adds every key, with itself as value.
void Remplit(Table* t, const std::vector<uintptr_t>& cles) {
  t->SetFonctionHache(Hache)->SetFonctionCompare(Compare);
  for (uintptr_t k : cles) t->bAjoute(k, k);
}
void Remplit(Carte* c, const std::vector<uintptr_t>& cles) {
  for (uintptr_t k : cles) c->emplace(k, k);
}

void BM_BounceAjoute(benchmark::State& state) {
  const auto cles = Cles(static_cast<size_t>(state.range(0)));
  size_t nOctets = 0;
  for (auto _ : state) {
    Table t(0);
    Remplit(&t, cles);
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
    Remplit(&c, cles);
    nOctets = g_nOctetsCarte;
    benchmark::DoNotOptimize(c.size());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.counters["bytes_per_entry"] = static_cast<double>(nOctets) / static_cast<double>(cles.size());
}

void BM_BounceCherche(benchmark::State& state) {
  const auto cles = Cles(static_cast<size_t>(state.range(0)));
  Table t(0);
  Remplit(&t, cles);
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
  Remplit(&c, cles);
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
  Remplit(&t, cles);
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
  Remplit(&c, cles);
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

// For each bounce-table case, the ratio to the same case on
// std::unordered_map.
void PrintRatios(const qg::RatioReporter& r) {
  std::printf("\nratio to std::unordered_map (same run, lower is faster)\n");
  for (const auto& [name, run] : r.runs()) {
    if (name.rfind("BM_Bounce", 0) != 0) continue;
    double ratio;
    if (!r.Ratio(name, "BM_Carte" + name.substr(9), &ratio)) continue;
    std::printf("  %-28s %5.2f\n", name.c_str() + 9, ratio);
  }
}

}  // namespace

int main(int argc, char** argv) { return qg::RunBenchmarks(argc, argv, PrintRatios); }
