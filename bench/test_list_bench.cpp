// Reading a stored test list of 10,000 scenarios x 10 data sets x 10 values
// into the test model, against a plain cursor that walks the same bytes
// field by field (block headers, sizes, strings skipped by their length,
// value records read into locals) without building anything. The model's
// side checks every record as it reads (a bad one fails the read), builds
// the list, its groups and scenarios with their names, keeps descriptions
// and data sets as checked records, and destroys the list inside the timed
// part: that is real work. After the usual table, prints both times and
// their ratio (goal: within 2x), and the same comparison made in pairs
// (one read of each, one right after the other, the order alternating), so
// that a load that comes and goes on the machine weighs on both alike.
#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <chrono>
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
  Curseur(const uint8_t* p, size_t n) : p_(p), end_(p + n) {}
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

int64_t LitCurseur(const uint8_t* bytes, size_t size) {
  Curseur c(bytes, size);
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
  for (auto _ : state) benchmark::DoNotOptimize(LitCurseur(bytes.data(), bytes.size()));
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
  for (auto _ : state) benchmark::DoNotOptimize(LitCurseur(bytes.data(), bytes.size()));
}

// One read of each side in pairs; per pair, the model's time over the
// cursor's, in CPU time of the thread and in elapsed time.
struct Temps {
  double cpu_ms;
  double wall_ms;
};

Temps Maintenant() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  const double cpu = t.tv_sec * 1e3 + t.tv_nsec / 1e6;
  const double wall = std::chrono::duration<double, std::milli>(
                          std::chrono::steady_clock::now().time_since_epoch())
                          .count();
  return {cpu, wall};
}

Temps Ecart(const Temps& a, const Temps& b) { return {b.cpu_ms - a.cpu_ms, b.wall_ms - a.wall_ms}; }

std::vector<double> g_paires_cpu, g_paires_wall;
std::vector<double> g_modele_cpu, g_curseur_cpu;  // ms, per pair

void BM_ReadPairs(benchmark::State& state) {
  Installe();
  const std::vector<uint8_t>& bytes = Octets();
  // Each side reads bytes just copied into the buffer (not timed), as the
  // runner collects them: neither finds them in the cache more than the
  // other.
  CQGBufferMark b;
  int pair = 0;
  bool ok = true;
  for (auto _ : state) {
    Temps model{}, cursor{};
    const auto read_model = [&] {
      if (!b.bAttache(bytes.data(), bytes.size())) return false;
      const Temps start = Maintenant();
      CListeTestExe* list = new CListeTestExe();
      LectureListe context;
      const bool read = bLitListe(b, *list, context);
      list->Release();
      model = Ecart(start, Maintenant());
      return read;
    };
    const auto read_cursor = [&] {
      if (!b.bAttache(bytes.data(), bytes.size())) return false;
      const Temps start = Maintenant();
      benchmark::DoNotOptimize(LitCurseur(b.pGetDonnees(), b.nTaille()));
      cursor = Ecart(start, Maintenant());
      return true;
    };
    if (pair++ % 2 == 0) {
      ok = read_model() && read_cursor();
    } else {
      ok = read_cursor() && read_model();
    }
    if (!ok) {
      state.SkipWithError("list does not read");
      break;
    }
    state.SetIterationTime((model.wall_ms + cursor.wall_ms) / 1000.0);
    g_modele_cpu.push_back(model.cpu_ms);
    g_curseur_cpu.push_back(cursor.cpu_ms);
    if (cursor.cpu_ms > 0) g_paires_cpu.push_back(model.cpu_ms / cursor.cpu_ms);
    if (cursor.wall_ms > 0) g_paires_wall.push_back(model.wall_ms / cursor.wall_ms);
  }
}

double Mediane(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

BENCHMARK(BM_ModelRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CursorRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ModelReadGroups)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CursorReadGroups)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadPairs)->Unit(benchmark::kMillisecond)->Iterations(41)->UseManualTime();

void PrintRatios(const qg::RatioReporter& r) {
  if (!g_paires_cpu.empty()) {
    std::printf("\nlist read in %zu pairs, model over cursor: median pair %.2f (CPU time), %.2f "
                "(elapsed); median CPU times %.2f ms and %.2f ms\n",
                g_paires_cpu.size(), Mediane(g_paires_cpu), Mediane(g_paires_wall),
                Mediane(g_modele_cpu), Mediane(g_curseur_cpu));
  }
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
