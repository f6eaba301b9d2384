// The record cache against std::vector + std::unordered_map: 10^6 rows
// appended, then each found again by its whole-row identifier.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "bench/ratio_reporter.h"
#include "driver/sql/column.h"
#include "driver/sql/record_cache.h"
#include "driver/sql/row_buffer.h"

namespace {

constexpr int kRows = 1000000;

// Rows of (4-byte integer, 12-byte text): the row image of entry i.
struct Table {
  Table() {
    for (int type : {5, 21}) {
      CNAColumn* c = NAAddRef(new CNAColumn());
      c->Init(u"c", u"t", nullptr, 1, type == 5 ? 4 : 12, type, 0, -1, 0, 0, 0);
      c->SetRecordOffset(static_cast<int>(layout.nDataSize));
      c->SetSlotIndex(static_cast<int>(layout.nNullBits++));
      layout.nDataSize += static_cast<uint32_t>(c->nGetTotalSize());
      layout.apColumns.push_back(c);
    }
  }
  void Fill(CNARowBuffer* row, int i) const {
    row->bSetBytes(0, &i, 4, 0);
    char text[12];
    std::snprintf(text, sizeof(text), "r%09d", i);
    row->bSetBytes(1, text, 11, 0);
  }
  CNARowLayout layout;
};

const Table& TheTable() {
  static Table table;
  return table;
}

void BM_RecordCacheAppendFind(benchmark::State& state) {
  const Table& table = TheTable();
  CNARowBuffer* row = NAAddRef(new CNARowBuffer());
  row->bBind(table.layout);
  CNARecordImage* image = NAAddRef(new CNARecordImage());
  image->SetRowBuffer(row);
  image->SetIdentifier(new CNARowIdentifier(row->pGetBlock(), row->nGetImageSize(), nullptr));
  for (auto _ : state) {
    CNARecordCacheBase* cache = NAAddRef(new CNARecordCacheBase(CNARecordCacheBase::kActive));
    for (int i = 0; i < kRows; ++i) {
      table.Fill(row, i);
      if (cache->nAppendRecord(image, nullptr) != i) state.SkipWithError("append failed");
    }
    for (int i = 0; i < kRows; ++i) {
      table.Fill(row, i);
      if (cache->nFindRecord(image->pclGetIdentifier()) != i) state.SkipWithError("not found");
    }
    ReleaseBoth(cache);
  }
  ReleaseBoth(image);
  ReleaseBoth(row);
  state.SetItemsProcessed(state.iterations() * kRows);
}

// The reference: the row bytes kept in a vector and mapped to their index.
void BM_VectorMapAppendFind(benchmark::State& state) {
  const Table& table = TheTable();
  CNARowBuffer* row = NAAddRef(new CNARowBuffer());
  row->bBind(table.layout);
  for (auto _ : state) {
    std::vector<std::string> rows;
    std::unordered_map<std::string, int> index;
    for (int i = 0; i < kRows; ++i) {
      table.Fill(row, i);
      rows.emplace_back(reinterpret_cast<const char*>(row->pGetBlock()), row->nGetImageSize());
      index.emplace(rows.back(), i);
    }
    for (int i = 0; i < kRows; ++i) {
      table.Fill(row, i);
      auto it = index.find(
          std::string(reinterpret_cast<const char*>(row->pGetBlock()), row->nGetImageSize()));
      if (it == index.end() || it->second != i) state.SkipWithError("not found");
    }
  }
  ReleaseBoth(row);
  state.SetItemsProcessed(state.iterations() * kRows);
}

BENCHMARK(BM_RecordCacheAppendFind)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_VectorMapAppendFind)->Unit(benchmark::kMillisecond)->Iterations(3);

void PrintRatios(const qg::RatioReporter& r) {
  std::printf("\nratio (same run, lower is faster)\n");
  double ratio;
  if (r.Ratio("BM_RecordCacheAppendFind/iterations:3", "BM_VectorMapAppendFind/iterations:3",
              &ratio)) {
    std::printf("  10^6 appends + finds / vector + unordered_map   %5.2f (goal <= 2)\n", ratio);
  }
}

}  // namespace

int main(int argc, char** argv) { return qg::RunBenchmarks(argc, argv, PrintRatios); }
