// Reading a stored test list of 10,000 scenarios x 10 data sets x 10 values
// into the test model, against a plain cursor that walks the same bytes
// field by field (block headers, sizes, strings skipped by their length,
// value records read into locals) without building anything. After the
// usual table, prints both times and their ratio (goal: within 2x).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
#include "host/core/host_runtime.h"
#include "support/frame/module_services.h"
#include "testrunner/model/executable.h"
#include "testrunner/model/list_writer.h"
#include "testrunner/model/reader.h"

namespace {

constexpr int kScenarios = 10000;
constexpr int kSets = 10;
constexpr int kValues = 10;

const std::vector<uint8_t>& Octets() {
  static const std::vector<uint8_t> bytes = [] {
    CListeTestExe* list = new CListeTestExe();
    list->SetNom(u"Liste");
    CGroupeTestBase* g = list->pclCreeGroupe();
    g->SetNom(u"Groupe");
    g->bAttache(list, -1);
    g->Release();
    for (int i = 0; i < kScenarios; ++i) {
      CScenarioBase* s = g->pclCreeScenario();
      s->SetNom(u"Scenario");
      s->SetVersion(5);
      for (int p = 0; p < kValues; ++p) {
        auto param = std::make_unique<CDescriptionParamTestBase>();
        param->m_clNom.Set(u"param");
        s->m_clParams.m_tabParams.push_back(std::move(param));
      }
      for (int j = 0; j < kSets; ++j) {
        CJeuDeTest* set = new CJeuDeTest();
        for (int v = 0; v < kValues; ++v) {
          auto a = std::make_unique<CAny>();
          a->SetI4(i + j + v);
          set->m_tabValeurs.push_back(std::move(a));
        }
        s->m_clDonnees.Ajoute(set);
      }
      s->bAttache(g, -1);
      s->Release();
    }
    CQGBuffer b;
    bEcritListe(b, *list);
    list->Release();
    return std::vector<uint8_t>(b.pGetDonnees(), b.pGetDonnees() + b.nTaille());
  }();
  return bytes;
}

// 20,000 groups of distinct names, one scenario each without data: what
// the check for groups of the same name costs on a long list.
constexpr int kGroups = 20000;

const std::vector<uint8_t>& OctetsGroupes() {
  static const std::vector<uint8_t> bytes = [] {
    CListeTestExe* list = new CListeTestExe();
    list->SetNom(u"Liste");
    for (int i = 0; i < kGroups; ++i) {
      CGroupeTestBase* g = list->pclCreeGroupe();
      const std::string name = "Groupe" + std::to_string(i);
      g->SetNom(std::u16string(name.begin(), name.end()).c_str());
      g->bAttache(list, -1);
      g->Release();
      CScenarioBase* s = g->pclCreeScenario();
      s->SetNom(u"Scenario");
      s->SetVersion(5);
      s->bAttache(g, -1);
      s->Release();
    }
    CQGBuffer b;
    bEcritListe(b, *list);
    list->Release();
    return std::vector<uint8_t>(b.pGetDonnees(), b.pGetDonnees() + b.nTaille());
  }();
  return bytes;
}

// The reference: a cursor over the bytes.
class Curseur {
 public:
  explicit Curseur(const std::vector<uint8_t>& b) : p_(b.data()), end_(b.data() + b.size()) {}
  int32_t I32() {
    int32_t v = 0;
    if (end_ - p_ >= 4) std::memcpy(&v, p_, 4);
    p_ += 4;
    return v;
  }
  int64_t I64() {
    int64_t v = 0;
    if (end_ - p_ >= 8) std::memcpy(&v, p_, 8);
    p_ += 8;
    return v;
  }
  uint16_t U16() {
    uint16_t v = 0;
    if (end_ - p_ >= 2) std::memcpy(&v, p_, 2);
    p_ += 2;
    return v;
  }
  void Chaine() {
    if (p_ < end_ && *p_ == 0) {
      ++p_;
      return;
    }
    I32();
    const int32_t length = I32();  // the whole record
    p_ += length - 8;
  }
  // A block's header and size; returns the block end.
  const uint8_t* Bloc() {
    I32();
    I32();
    I32();
    const uint8_t* at = p_;
    return at + I32();
  }
  int64_t Valeurs() {
    int64_t sum = 0;
    for (int32_t n = I32(); n > 0; --n) {
      if (I32() == 0) continue;
      U16();
      const int32_t size = I32();
      if (size == 4) {
        sum += I32();
      } else {
        p_ += size;
      }
    }
    return sum;
  }
  void Aller(const uint8_t* p) { p_ = p; }
  const uint8_t* p_;
  const uint8_t* end_;
};

int64_t LitCurseur(const std::vector<uint8_t>& bytes) {
  Curseur c(bytes);
  const uint8_t* end = c.Bloc();
  int64_t sum = 0;
  c.Chaine();
  sum += c.I64();
  sum += c.I32();
  c.Chaine();
  for (int32_t g = c.I32(); g > 0; --g) {
    const uint8_t* gend = c.Bloc();
    c.Chaine();
    sum += c.I64();
    for (int32_t s = c.I32(); s > 0; --s) {
      const uint8_t* send = c.Bloc();
      c.Chaine();
      sum += c.I64();
      sum += c.I32();
      sum += c.I32();
      const uint8_t* pend = c.Bloc();
      for (int32_t p = c.I32(); p > 0; --p) {
        const int32_t size = c.I32();
        const uint8_t* after = c.p_ + size;
        c.Bloc();
        c.Chaine();
        sum += c.I32();
        sum += c.I32();
        c.Chaine();
        sum += c.I64();
        sum += c.I32();
        c.Aller(after);
      }
      c.Aller(pend);
      sum += c.I32();
      sum += c.Valeurs();
      const uint8_t* jsend = c.Bloc();
      for (int32_t j = c.I32(); j > 0; --j) {
        const uint8_t* jend = c.Bloc();
        sum += c.Valeurs();
        c.Aller(jend);
      }
      c.Aller(jsend);
      c.Aller(send);
    }
    sum += c.I32();
    sum += c.Valeurs();
    c.Aller(gend);
  }
  c.Aller(end);
  return sum;
}

void Installe() {
  qg::Services().piStringMemory = &qghost::Runtime().Strings();
  qg::Services().piInfoLocale = &qghost::Runtime().Locale();
}

void BM_ModelRead(benchmark::State& state) {
  Installe();
  const std::vector<uint8_t>& bytes = Octets();
  // The bytes sit in the buffer they are read from, as the runner collects
  // them (the host's delivery into it is not timed: the cursor has its
  // bytes too); each pass reads the list, which takes the buffer's block
  // over, and destroys it.
  CQGBufferMark b;
  for (auto _ : state) {
    state.PauseTiming();
    if (!b.bAttache(bytes.data(), bytes.size())) state.SkipWithError("no memory");
    state.ResumeTiming();
    CListeTestExe* list = new CListeTestExe();
    LectureListe context;
    if (!bLitListe(b, *list, context)) state.SkipWithError("list does not read");
    benchmark::DoNotOptimize(list);
    list->Release();
  }
  state.counters["bytes"] = double(bytes.size());
}

void BM_CursorRead(benchmark::State& state) {
  Installe();
  const std::vector<uint8_t>& bytes = Octets();
  for (auto _ : state) benchmark::DoNotOptimize(LitCurseur(bytes));
}

void BM_ModelReadGroups(benchmark::State& state) {
  Installe();
  const std::vector<uint8_t>& bytes = OctetsGroupes();
  CQGBufferMark b;
  for (auto _ : state) {
    state.PauseTiming();
    if (!b.bAttache(bytes.data(), bytes.size())) state.SkipWithError("no memory");
    state.ResumeTiming();
    CListeTestExe* list = new CListeTestExe();
    LectureListe context;
    if (!bLitListe(b, *list, context) || list->nGetNbFils() != kGroups) {
      state.SkipWithError("list does not read");
    }
    list->Release();
  }
}

void BM_CursorReadGroups(benchmark::State& state) {
  Installe();
  const std::vector<uint8_t>& bytes = OctetsGroupes();
  for (auto _ : state) benchmark::DoNotOptimize(LitCurseur(bytes));
}

BENCHMARK(BM_ModelRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CursorRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ModelReadGroups)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CursorReadGroups)->Unit(benchmark::kMillisecond);

void PrintRatios(const qg::RatioReporter& r) {
  double ratio = 0;
  if (!r.Ratio("BM_ModelRead", "BM_CursorRead", &ratio)) return;
  std::printf("\n%-28s %10s %10s %8s\n", "list (10000 x 10 x 10)", "model ms", "cursor ms",
              "ratio");
  std::printf("%-28s %10.2f %10.2f %8.2f\n", "read", r.Time("BM_ModelRead"),
              r.Time("BM_CursorRead"), ratio);
  // CPU time: the same comparison with the time the process was not running
  // left out, for a busy machine.
  const double cursor_cpu = r.CpuTime("BM_CursorRead");
  if (cursor_cpu > 0) {
    std::printf("%-28s %10.2f %10.2f %8.2f\n", "read (CPU time)", r.CpuTime("BM_ModelRead"),
                cursor_cpu, r.CpuTime("BM_ModelRead") / cursor_cpu);
  }
  if (!r.Ratio("BM_ModelReadGroups", "BM_CursorReadGroups", &ratio)) return;
  std::printf("%-28s %10.2f %10.2f %8.2f\n", "20000 distinct groups", r.Time("BM_ModelReadGroups"),
              r.Time("BM_CursorReadGroups"), ratio);
}

}  // namespace

int main(int argc, char** argv) { return qg::RunBenchmarks(argc, argv, PrintRatios); }
