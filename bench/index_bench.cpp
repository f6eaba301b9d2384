// Client-side index build over 10^6 cached rows against std::sort of the
// extracted keys, and the fixed-size block pool against malloc/free.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "bench/ratio_reporter.h"
#include "driver/sql/block_pool.h"
#include "driver/sql/index.h"
#include "driver/sql/index_tree.h"
#include "support/any.h"

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
BENCHMARK(BM_PoolAllocFree)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_MallocFree)->Unit(benchmark::kMillisecond)->Iterations(3);

void PrintRatios(const qg::RatioReporter& r) {
  std::printf("\nratios (same run, lower is faster)\n");
  double ratio;
  if (r.Ratio("BM_IndexTreeBuild/iterations:3", "BM_StdSortKeys/iterations:3", &ratio)) {
    std::printf("  index build over 10^6 rows / std::sort of the keys   %5.2f (goal <= 2)\n",
                ratio);
  }
  if (r.Ratio("BM_PoolAllocFree/iterations:3", "BM_MallocFree/iterations:3", &ratio)) {
    std::printf("  10^7 pool alloc+free / malloc+free                   %5.2f (goal <= 1)\n",
                ratio);
  }
}

}  // namespace

int main(int argc, char** argv) { return qg::RunBenchmarks(argc, argv, PrintRatios); }
