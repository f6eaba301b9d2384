// Client-side index build over 10^6 cached rows against std::sort of the
// extracted keys, for 8-byte integer keys and for 20-character text keys;
// and the fixed-size block pool against malloc/free.
//
// Index build: both sides read every row's value from the same cache,
// make a (key, entry number) pair of it and sort the pairs; the index then
// loads them into its tree. The reference sorts plain pairs: integers, or
// 20 bytes of text in a fixed array compared with memcmp (no string per
// key). Pool: both sides take 1000 blocks of 408 bytes and give them back,
// 10^7 times in all.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "bench/ratio_reporter.h"
#include "driver/sql/block_pool.h"
#include "driver/sql/index.h"
#include "driver/sql/index_tree.h"
#include "host/core/host_runtime.h"
#include "support/any.h"
#include "support/frame/module_services.h"
#include "support/xystring.h"

namespace {

constexpr int kRows = 1000000;

// Cached rows: one I8 value per entry.
class Rows : public CNAIndexSource {
 public:
  Rows() {
    std::mt19937_64 rng(9);
    values_.resize(kRows);
    for (CAny& v : values_) v.SetI8(static_cast<int64_t>(rng() % (kRows * 4)));
  }
  int nGetEntryCount() override { return kRows; }
  uint32_t nGetEntryState(int) override { return 0; }
  bool bReadEntryValue(int entry, CAny* value) override {
    *value = values_[entry];
    return true;
  }
  bool bReadCurrentValue(CAny*) override { return false; }
  bool bSameRecord(int) override { return false; }
  void GetKeyType(int* type, size_t* length, int* digits, int* scale) override {
    *type = qg::kAnyI8;
    *length = 8;
    *digits = *scale = 0;
  }
  int64_t Value(int entry) {
    int64_t v = 0;
    values_[entry].nGetI8(&v);
    return v;
  }

 private:
  std::vector<CAny> values_;
};

Rows& TheRows() {
  static Rows rows;
  return rows;
}

constexpr size_t kTextLength = 20;

// Cached rows: one 20-character DSTRA per entry, as a VARCHAR(20) column of
// an 8-bit table gives it. The keys share a 6-character prefix, as codes
// and names often do; the rest is random letters.
class TextRows : public CNAIndexSource {
 public:
  TextRows() {
    qg::Services().piStringMemory = &qghost::Runtime().Strings();
    std::mt19937_64 rng(11);
    values_.resize(kRows);
    char text[kTextLength + 1] = "client";
    for (CAny& v : values_) {
      for (size_t i = 6; i < kTextLength; ++i) text[i] = static_cast<char>('a' + rng() % 26);
      v.SetDSTRA(text, static_cast<int>(kTextLength));
    }
  }
  int nGetEntryCount() override { return kRows; }
  uint32_t nGetEntryState(int) override { return 0; }
  bool bReadEntryValue(int entry, CAny* value) override {
    *value = values_[entry];
    return true;
  }
  bool bReadCurrentValue(CAny*) override { return false; }
  bool bSameRecord(int) override { return false; }
  void GetKeyType(int* type, size_t* length, int* digits, int* scale) override {
    *type = qg::kAnyDSTRA;
    *length = kTextLength + 1;  // with its terminator
    *digits = *scale = 0;
  }
  // The entry's text into out[0..kTextLength).
  void Text(int entry, char* out) {
    CXYString<char> s;
    values_[entry].nGetDSTRA(&s);
    std::memcpy(out, s.pszGet(), kTextLength);
  }

 private:
  std::vector<CAny> values_;
};

TextRows& TheTextRows() {
  static TextRows rows;
  return rows;
}

void BM_IndexTreeBuild(benchmark::State& state) {
  Rows& rows = TheRows();
  for (auto _ : state) {
    CNAIndexTree index(&rows, nullptr);
    if (!index.bBuild(nullptr)) state.SkipWithError("build failed");
    benchmark::DoNotOptimize(index.nGetCount());
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}

// The reference: the keys read out of the same rows, then sorted with
// their entry numbers.
void BM_StdSortKeys(benchmark::State& state) {
  Rows& rows = TheRows();
  for (auto _ : state) {
    std::vector<std::pair<int64_t, int32_t>> keys(kRows);
    for (int i = 0; i < kRows; ++i) keys[i] = {rows.Value(i), i};
    std::sort(keys.begin(), keys.end());
    benchmark::DoNotOptimize(keys.data());
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_IndexTreeBuildText(benchmark::State& state) {
  TextRows& rows = TheTextRows();
  for (auto _ : state) {
    CNAIndexTree index(&rows, nullptr);
    if (!index.bBuild(nullptr)) state.SkipWithError("build failed");
    benchmark::DoNotOptimize(index.nGetCount());
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_StdSortTextKeys(benchmark::State& state) {
  struct Key {
    char text[kTextLength];
    int32_t entry;
  };
  TextRows& rows = TheTextRows();
  for (auto _ : state) {
    std::vector<Key> keys(kRows);
    for (int i = 0; i < kRows; ++i) {
      rows.Text(i, keys[i].text);
      keys[i].entry = i;
    }
    std::sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) {
      const int c = std::memcmp(a.text, b.text, kTextLength);
      return c != 0 ? c < 0 : a.entry < b.entry;
    });
    benchmark::DoNotOptimize(keys.data());
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}

constexpr int kBatch = 1000;
constexpr int kPairs = 10000000;
constexpr uint32_t kBlockSize = 408;

void BM_PoolAllocFree(benchmark::State& state) {
  std::vector<uint32_t> blocks(kBatch);
  for (auto _ : state) {
    CNABlockPool pool;
    pool.Init(4096 / (kBlockSize + 4), kBlockSize);
    for (int done = 0; done < kPairs; done += kBatch) {
      for (uint32_t& b : blocks) b = pool.nAllocHandle();
      benchmark::DoNotOptimize(blocks.data());
      for (uint32_t b : blocks) pool.FreeHandle(b);
    }
  }
  state.SetItemsProcessed(state.iterations() * kPairs);
}

void BM_MallocFree(benchmark::State& state) {
  std::vector<void*> blocks(kBatch);
  for (auto _ : state) {
    for (int done = 0; done < kPairs; done += kBatch) {
      for (void*& b : blocks) b = std::malloc(kBlockSize);
      benchmark::DoNotOptimize(blocks.data());
      for (void* b : blocks) std::free(b);
    }
  }
  state.SetItemsProcessed(state.iterations() * kPairs);
}

BENCHMARK(BM_IndexTreeBuild)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_StdSortKeys)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_IndexTreeBuildText)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_StdSortTextKeys)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PoolAllocFree)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_MallocFree)->Unit(benchmark::kMillisecond)->Iterations(3);

void PrintRatios(const qg::RatioReporter& r) {
  std::printf("\nratios (same run, lower is faster)\n");
  double ratio;
  if (r.Ratio("BM_IndexTreeBuild/iterations:3", "BM_StdSortKeys/iterations:3", &ratio)) {
    std::printf("  index build over 10^6 rows / std::sort of the keys   %5.2f (goal <= 2)\n",
                ratio);
  }
  if (r.Ratio("BM_IndexTreeBuildText/iterations:3", "BM_StdSortTextKeys/iterations:3",
              &ratio)) {
    std::printf("  the same with 20-character text keys                 %5.2f (goal <= 2)\n",
                ratio);
  }
  if (r.Ratio("BM_PoolAllocFree/iterations:3", "BM_MallocFree/iterations:3", &ratio)) {
    std::printf("  10^7 pool alloc+free / malloc+free                   %5.2f (goal <= 1)\n",
                ratio);
  }
}

}  // namespace

int main(int argc, char** argv) { return qg::RunBenchmarks(argc, argv, PrintRatios); }
