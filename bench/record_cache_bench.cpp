// The record cache against a byte array + std::unordered_set: 10^6 rows
// appended, then each found again by its whole-row identifier.
//
// Both sides keep each row's bytes once and index them by a hash of the
// whole row: the cache in its own blocks and index, the reference in one
// growing byte array with a hash set of row numbers (hashing and comparing
// the rows' bytes in place). Both find a row from the bytes of a row
// buffer without copying them.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <unordered_set>
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

// The reference's rows: each row's bytes once, one after the other.
struct RowBytes {
  size_t size = 0;  // bytes of one row
  std::vector<char> bytes;
  std::string_view Row(int i) const {
    return {bytes.data() + static_cast<size_t>(i) * size, size};
  }
};

// Hash and equality of row numbers by their rows' bytes; a row buffer's
// bytes are looked up as they are.
struct RowHash {
  using is_transparent = void;
  const RowBytes* rows;
  size_t operator()(int i) const noexcept { return (*this)(rows->Row(i)); }
  size_t operator()(std::string_view v) const noexcept {
    return std::hash<std::string_view>()(v);
  }
};
struct RowEqual {
  using is_transparent = void;
  const RowBytes* rows;
  bool operator()(int a, int b) const noexcept { return rows->Row(a) == rows->Row(b); }
  bool operator()(int a, std::string_view v) const noexcept { return rows->Row(a) == v; }
  bool operator()(std::string_view v, int b) const noexcept { return v == rows->Row(b); }
};

void BM_HashSetAppendFind(benchmark::State& state) {
  const Table& table = TheTable();
  CNARowBuffer* row = NAAddRef(new CNARowBuffer());
  row->bBind(table.layout);
  for (auto _ : state) {
    RowBytes rows;
    rows.size = row->nGetImageSize();
    std::unordered_set<int, RowHash, RowEqual> index(0, RowHash{&rows}, RowEqual{&rows});
    for (int i = 0; i < kRows; ++i) {
      table.Fill(row, i);
      const auto* p = reinterpret_cast<const char*>(row->pGetBlock());
      rows.bytes.insert(rows.bytes.end(), p, p + rows.size);
      index.insert(i);
    }
    for (int i = 0; i < kRows; ++i) {
      table.Fill(row, i);
      auto it = index.find(
          std::string_view(reinterpret_cast<const char*>(row->pGetBlock()), rows.size));
      if (it == index.end() || *it != i) state.SkipWithError("not found");
    }
  }
  ReleaseBoth(row);
  state.SetItemsProcessed(state.iterations() * kRows);
}

BENCHMARK(BM_RecordCacheAppendFind)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_HashSetAppendFind)->Unit(benchmark::kMillisecond)->Iterations(3);

void PrintRatios(const qg::RatioReporter& r) {
  std::printf("\nratio (same run, lower is faster)\n");
  double ratio;
  if (r.Ratio("BM_RecordCacheAppendFind/iterations:3", "BM_HashSetAppendFind/iterations:3",
              &ratio)) {
    std::printf("  10^6 appends + finds / byte array + hash set     %5.2f (goal <= 2)\n", ratio);
  }
}

}  // namespace

int main(int argc, char** argv) { return qg::RunBenchmarks(argc, argv, PrintRatios); }
