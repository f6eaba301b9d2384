// 10,000 keyboard events through the recorder (identification once, then a
// keyboard record each, written to a file) against fwrite of the same
// record bytes, one call per record, both measured in this run. After the
// usual table, prints both times and their ratio (goal: within 2x).
//
// Both sides open a new file, write the same record bytes through a 64 KiB
// buffer (the recording file's own; stdio's set to the same size, so both
// make the same number of write calls) and close it. The recorder also
// identifies the window and builds each record; fwrite copies ready bytes.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "bench/ratio_reporter.h"
#include "host/core/component_access.h"
#include "host/core/recording_host.h"
#include "support/frame/module_services.h"
#include "testrunner/recorder/direct_source.h"
#include "testrunner/recorder/recorder.h"
#include "testrunner/recorder/recorder_impl.h"
#include "testrunner/recorder/recording_reader.h"

namespace {

constexpr int kEvents = 10000;
constexpr size_t kRecordingBuffer = 64 * 1024;  // the recording file's buffer, bytes
constexpr uint32_t kWindow = 0x400001;

std::string Chemin(const char* name) {
  return "/tmp/qg_recorder_bench_" + std::to_string(getpid()) + "_" + name;
}

std::u16string U16(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// The stand-in host: one window whose element the recording service knows.
struct Host {
  qghost::ComponentAccess access;
  qghost::RecordingService service;
  Host() {
    qg::Services().nRuntimeObject =
        reinterpret_cast<intptr_t>(static_cast<qg::IComponentAccess*>(&access));
    access.SetExtraComponent(qg::kComponentRecording, &service);
    service.Add(1, 16, u"SAI_Nom").window = kWindow;
    SetFabriqueSourceEntree(&NouvelleSourceDirecte);
    std::lock_guard<std::mutex> lock(EtatDirect().mutex);
    EtatDirect().fenetres[kWindow] = {true, true, 1, 0, 0, 0, 0, 0};
    EtatDirect().hFocus = kWindow;
  }
};

Host& LeHote() {
  static Host host;
  return host;
}

void Enregistre(const std::string& path) {
  std::u16string p = U16(path);
  CreeEnregistrementTest(0, p);
  IEnregistrementTest* recorder = piEnregistrement();
  EvenementEntree e;
  for (int i = 0; i < kEvents; ++i) {
    e.nMessage = (i & 1) == 0 ? kMsgToucheEnfoncee : kMsgToucheRelachee;
    e.nParam1 = 65 + (i / 2) % 26;
    e.nParam2 = 1u | (38u << 16) | ((i & 1) != 0 ? 0xC0000000u : 0u);
    recorder->bTraiteMessage(e);
  }
  LibereEnregistrementTest();
}

void BM_Recorder(benchmark::State& state) {
  LeHote();
  const std::string path = Chemin("recorder");
  for (auto _ : state) Enregistre(path);
  std::remove(path.c_str());
}

void BM_Fwrite(benchmark::State& state) {
  LeHote();
  // The records the recorder writes, made once.
  const std::string made = Chemin("made");
  Enregistre(made);
  std::ifstream in(made, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::remove(made.c_str());
  std::vector<RecordLu> records;
  bLitEnregistrement(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &records,
                     nullptr);
  std::vector<std::string> pieces;
  for (const RecordLu& r : records) pieces.push_back(EcritEnregistrement({r}));
  const std::string path = Chemin("fwrite");
  for (auto _ : state) {
    FILE* f = std::fopen(path.c_str(), "wb");
    std::setvbuf(f, nullptr, _IOFBF, kRecordingBuffer);
    for (const std::string& p : pieces) std::fwrite(p.data(), 1, p.size(), f);
    std::fclose(f);
  }
  std::remove(path.c_str());
}

BENCHMARK(BM_Recorder)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Fwrite)->Unit(benchmark::kMillisecond);

void PrintRatios(const qg::RatioReporter& r) {
  double ratio = 0;
  if (!r.Ratio("BM_Recorder", "BM_Fwrite", &ratio)) return;
  std::printf("\n%-24s %11s %10s %8s\n", "10000 events", "recorder ms", "fwrite ms", "ratio");
  std::printf("%-24s %11.3f %10.3f %8.2f\n", "keyboard records", r.Time("BM_Recorder"),
              r.Time("BM_Fwrite"), ratio);
}

}  // namespace

int main(int argc, char** argv) { return qg::RunBenchmarks(argc, argv, PrintRatios); }
