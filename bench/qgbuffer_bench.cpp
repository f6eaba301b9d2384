// 10^6 record writes into the serialised buffer against appends of the same
// bytes to a std::vector<uint8_t>, both measured in this run. Two records: a
// 32-bit integer, and a string record of a short UTF-16 name (the reference
// converts and frames it the same way). After the usual table, prints the
// nanoseconds per record of each and their ratio.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
#include "support/platform/codepage.h"
#include "support/qgbuffer.h"

namespace {

constexpr int kRecords = 1000000;
const char16_t kNom[] = u"Sc\u00E9nario 42";

void AjouteEntier(std::vector<uint8_t>& v, uint32_t x) {
  const uint8_t b[4] = {static_cast<uint8_t>(x), static_cast<uint8_t>(x >> 8),
                        static_cast<uint8_t>(x >> 16), static_cast<uint8_t>(x >> 24)};
  v.insert(v.end(), b, b + 4);
}

void AjouteChaine(std::vector<uint8_t>& v, const char16_t* psz) {
  char utf8[256];
  const int n = qg::WideToMultiByte(qg::kCodePageUtf8, psz, -1, utf8, sizeof(utf8));
  AjouteEntier(v, CQGBuffer::kMarqueDebut);
  AjouteEntier(v, static_cast<uint32_t>(n - 1 + CQGBuffer::kTailleEnteteChaine));
  v.insert(v.end(), utf8, utf8 + n);
  AjouteEntier(v, CQGBuffer::kMarqueFin);
}

void Finish(benchmark::State& state, size_t bytes) {
  state.SetItemsProcessed(int64_t(state.iterations()) * kRecords);
  state.counters["bytes"] = double(bytes);
}

void BM_BufferInt(benchmark::State& state) {
  size_t n = 0;
  for (auto _ : state) {
    CQGBuffer b;
    for (int i = 0; i < kRecords; ++i) b.EcritEntier(i);
    n = b.nTaille();
    benchmark::DoNotOptimize(b.pGetDonnees());
  }
  Finish(state, n);
}

void BM_VectorInt(benchmark::State& state) {
  size_t n = 0;
  for (auto _ : state) {
    std::vector<uint8_t> v;
    for (int i = 0; i < kRecords; ++i) AjouteEntier(v, static_cast<uint32_t>(i));
    n = v.size();
    benchmark::DoNotOptimize(v.data());
  }
  Finish(state, n);
}

void BM_BufferString(benchmark::State& state) {
  size_t n = 0;
  for (auto _ : state) {
    CQGBuffer b;
    for (int i = 0; i < kRecords; ++i) b.EcritChaine(kNom);
    n = b.nTaille();
    benchmark::DoNotOptimize(b.pGetDonnees());
  }
  Finish(state, n);
}

void BM_VectorString(benchmark::State& state) {
  size_t n = 0;
  for (auto _ : state) {
    std::vector<uint8_t> v;
    for (int i = 0; i < kRecords; ++i) AjouteChaine(v, kNom);
    n = v.size();
    benchmark::DoNotOptimize(v.data());
  }
  Finish(state, n);
}

BENCHMARK(BM_BufferInt)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VectorInt)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BufferString)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VectorString)->Unit(benchmark::kMillisecond);

// Time per record in ns of each kind, and the buffer's time over the vector's.
void PrintRatios(const qg::RatioReporter& r) {
  std::printf("\n%-8s %12s %12s %8s\n", "record", "buffer ns", "vector ns", "ratio");
  for (const char* kind : {"Int", "String"}) {
    const std::string buffer = std::string("BM_Buffer") + kind;
    const std::string vector = std::string("BM_Vector") + kind;
    double ratio = 0;
    if (!r.Ratio(buffer, vector, &ratio)) continue;
    // The runs are timed in milliseconds for the whole batch of records.
    const double b = r.Time(buffer) * 1e6 / kRecords;
    const double v = r.Time(vector) * 1e6 / kRecords;
    std::printf("%-8s %12.2f %12.2f %8.2f\n", kind, b, v, ratio);
  }
}

}  // namespace

int main(int argc, char** argv) { return qg::RunBenchmarks(argc, argv, PrintRatios); }
