// 100,000 journal elements through the journal writer against a buffered
// fwrite of the same UTF-16 bytes, both measured in this run. After the
// usual table, prints both times and their ratio (goal: within 2x).
//
// Both sides open a new file, write the same bytes through a 64 KiB buffer
// (the journal's own: 32768 code units; stdio's set to the same size, so
// both make the same number of write calls) and close it. The journal also
// builds each element's text and escapes it; fwrite copies ready bytes.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "bench/ratio_reporter.h"
#include "testrunner/journal/journal_file.h"

namespace {

constexpr int kElements = 100000;
constexpr size_t kJournalBuffer = 32768 * sizeof(char16_t);  // the journal's buffer, bytes

std::string Chemin(const char* name) {
  return "/tmp/qg_journal_bench_" + std::to_string(getpid()) + "_" + name;
}

std::u16string U16(const std::string& s) { return std::u16string(s.begin(), s.end()); }

void BM_Journal(benchmark::State& state) {
  const std::u16string path = U16(Chemin("journal"));
  for (auto _ : state) {
    CFichierJournalTest journal;
    journal.bOuvre(path.c_str());
    for (int i = 0; i < kElements; ++i) journal.Ecrit(kJLibelle, u"Valeur attendue <1>");
  }
  std::remove(Chemin("journal").c_str());
}

void BM_Fwrite(benchmark::State& state) {
  const std::string path = Chemin("fwrite");
  const std::u16string head = u"<?xml version=\"1.0\" encoding=\"UTF-16LE\"?>\r\n<DOC>";
  const std::u16string element = u"\r\n<Libelle>Valeur attendue &lt;1&gt;</Libelle>";
  const std::u16string tail = u"\r\n</DOC>";
  for (auto _ : state) {
    FILE* f = std::fopen(path.c_str(), "wb");
    std::setvbuf(f, nullptr, _IOFBF, kJournalBuffer);
    std::fwrite(head.data(), 2, head.size(), f);
    for (int i = 0; i < kElements; ++i) std::fwrite(element.data(), 2, element.size(), f);
    std::fwrite(tail.data(), 2, tail.size(), f);
    std::fclose(f);
  }
  std::remove(path.c_str());
}

BENCHMARK(BM_Journal)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Fwrite)->Unit(benchmark::kMillisecond);

void PrintRatios(const qg::RatioReporter& r) {
  double ratio = 0;
  if (!r.Ratio("BM_Journal", "BM_Fwrite", &ratio)) return;
  std::printf("\n%-24s %10s %10s %8s\n", "100000 elements", "journal ms", "fwrite ms", "ratio");
  std::printf("%-24s %10.2f %10.2f %8.2f\n", "write", r.Time("BM_Journal"), r.Time("BM_Fwrite"),
              ratio);
}

}  // namespace

int main(int argc, char** argv) { return qg::RunBenchmarks(argc, argv, PrintRatios); }
