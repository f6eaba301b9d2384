// The library's containers against the standard ones: 10^6 appends of ints
// and of pointers (CTTableau against std::vector), and 10^5 lookups in
// text-keyed tables ignoring case (CTHashTableTi, through the stand-in
// host's locale interface, against std::unordered_map with a case-folding
// hash) and in integer-keyed ones (CTemplateHashTable against
// std::unordered_map). After the usual table, prints each ratio of our
// time to the standard container's, both measured in this run (below 1.0:
// ours is faster).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

#include "bench/ratio_reporter.h"
#include "host/core/info_locale.h"
#include "support/array.h"
#include "support/frame/module_services.h"
#include "support/hash_table.h"
#include "support/platform/text16.h"

namespace {

constexpr int kAppends = 1000000;
constexpr int kLookups = 100000;
constexpr int kKeys = 500;

void OursInts(benchmark::State& state) {
  for (auto _ : state) {
    CTTableau<int, 0> a;
    for (int i = 0; i < kAppends; ++i) a.Ajoute(i);
    benchmark::DoNotOptimize(a.Data());
  }
}

void StdInts(benchmark::State& state) {
  for (auto _ : state) {
    std::vector<int> v;
    for (int i = 0; i < kAppends; ++i) v.push_back(i);
    benchmark::DoNotOptimize(v.data());
  }
}

void OursPointers(benchmark::State& state) {
  static int target[16];
  for (auto _ : state) {
    CTTableau<int*, 0> a;
    for (int i = 0; i < kAppends; ++i) a.Ajoute(&target[i & 15]);
    benchmark::DoNotOptimize(a.Data());
  }
}

void StdPointers(benchmark::State& state) {
  static int target[16];
  for (auto _ : state) {
    std::vector<int*> v;
    for (int i = 0; i < kAppends; ++i) v.push_back(&target[i & 15]);
    benchmark::DoNotOptimize(v.data());
  }
}

// Keys of mixed case; lookups use another case.
struct TextKeys {
  std::vector<std::u16string> stored, looked_up;
  TextKeys() {
    for (int i = 0; i < kKeys; ++i) {
      std::u16string k = u"Column_";
      for (int n = i; n > 0; n /= 26) k += static_cast<char16_t>(u'a' + n % 26);
      stored.push_back(k);
      for (auto& c : k) c = qg::ToUpperLatin1_16(c);
      looked_up.push_back(k);
    }
  }
};
const TextKeys& Keys() {
  static TextKeys keys;
  return keys;
}

struct FoldHash {
  size_t operator()(const std::u16string& s) const {
    size_t h = 0;
    for (char16_t c : s) h = h * 31 + qg::ToLowerLatin1_16(c);
    return h;
  }
};
struct FoldEqual {
  bool operator()(const std::u16string& a, const std::u16string& b) const {
    return qg::StrICmpLatin1_16(a.c_str(), b.c_str()) == 0;
  }
};

void OursTextLookups(benchmark::State& state) {
  qghost::InfoLocale locale;
  qg::IInfoLocale* saved = qg::Services().piInfoLocale;
  qg::Services().piInfoLocale = &locale;
  CTHashTableTi t;
  for (const auto& k : Keys().stored) t.Ajoute(k.c_str(), k.c_str());
  for (auto _ : state) {
    int found = 0;
    for (int i = 0; i < kLookups; ++i) {
      const char16_t* v = nullptr;
      found += t.bRecherche(Keys().looked_up[i % kKeys].c_str(), &v);
    }
    benchmark::DoNotOptimize(found);
  }
  int cursor = 0;
  const char16_t *k, *v;
  while (t.ExtraitSuivant(&cursor, &v, &k)) {
  }
  qg::Services().piInfoLocale = saved;
}

void StdTextLookups(benchmark::State& state) {
  std::unordered_map<std::u16string, const char16_t*, FoldHash, FoldEqual> m;
  for (const auto& k : Keys().stored) m.emplace(k, k.c_str());
  for (auto _ : state) {
    int found = 0;
    for (int i = 0; i < kLookups; ++i) found += m.count(Keys().looked_up[i % kKeys]) != 0;
    benchmark::DoNotOptimize(found);
  }
}

void OursIntLookups(benchmark::State& state) {
  CTemplateHashTable<int, int> t(1021);
  for (int i = 0; i < kKeys; ++i) t.bAjoute(i * 7919, i);
  for (auto _ : state) {
    int64_t sum = 0;
    for (int i = 0; i < kLookups; ++i) sum += *t.pRecherche((i % kKeys) * 7919);
    benchmark::DoNotOptimize(sum);
  }
}

void StdIntLookups(benchmark::State& state) {
  std::unordered_map<int, int> m;
  for (int i = 0; i < kKeys; ++i) m.emplace(i * 7919, i);
  for (auto _ : state) {
    int64_t sum = 0;
    for (int i = 0; i < kLookups; ++i) sum += m.find((i % kKeys) * 7919)->second;
    benchmark::DoNotOptimize(sum);
  }
}

struct Pair {
  const char* name;
  void (*ours)(benchmark::State&);
  void (*theirs)(benchmark::State&);
};
const Pair kPairs[] = {
    {"append_int", OursInts, StdInts},
    {"append_pointer", OursPointers, StdPointers},
    {"lookup_text_nocase", OursTextLookups, StdTextLookups},
    {"lookup_int", OursIntLookups, StdIntLookups},
};

void PrintRatios(const qg::RatioReporter& r) {
  std::printf("\nratio to the standard container (same run, lower is faster)\n");
  for (const Pair& p : kPairs) {
    double ratio;
    if (!r.Ratio(std::string("qg/") + p.name, std::string("std/") + p.name, &ratio)) continue;
    std::printf("  %-20s %6.2f\n", p.name, ratio);
  }
}

}  // namespace

int main(int argc, char** argv) {
  for (const Pair& p : kPairs) {
    benchmark::RegisterBenchmark((std::string("qg/") + p.name).c_str(), p.ours);
    benchmark::RegisterBenchmark((std::string("std/") + p.name).c_str(), p.theirs);
  }
  return qg::RunBenchmarks(argc, argv, PrintRatios);
}
