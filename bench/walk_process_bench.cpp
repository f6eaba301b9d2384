// The walk as a whole process: `qghost maria walk` reading a table along a
// composite, partly descending key through the driver and printing every
// record, against raw_walk, a plain Connector/C program that streams the
// same ORDER BY with mysql_use_result and prints the same lines (see
// raw_walk.c). Both write to a file of their own on the same disk, against
// the same private server, at 10^5 and 10^6 rows; the two outputs must be
// equal byte for byte. Figures: elapsed time of the driver's process over
// the raw program's (its throughput as a share), client CPU time likewise,
// and the peak resident size (VmHWM, from wait4) of both.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
#include "driver/mariadb/testing/private_server.h"

namespace {

constexpr const char* kDatabase = "qgt_walk_process";
constexpr int kSizes[] = {100000, 1000000};

qg::rig::MariaDBServer* gServer = nullptr;
std::string gFolder;
// Per size, the hash of the driver's output and of the raw program's.
size_t gOutputs[2][2];

std::string Table(int rows) { return "w" + std::to_string(rows); }

bool Prepare() {
  qg::rig::ClearClientEnvironment();
  gServer = new qg::rig::MariaDBServer();
  std::string error;
  if (!gServer->Start(&error)) {
    std::fprintf(stderr, "server: %s\n", error.c_str());
    return false;
  }
  // A buffer pool that holds the large table, as a server for it would
  // have: both sides then measure the client, not the server's disk reads.
  std::string sql = std::string("SET GLOBAL innodb_buffer_pool_size = 268435456; CREATE DATABASE ") +
                    kDatabase + "; USE " + kDatabase + "; ";
  for (int rows : kSizes) {
    sql += "CREATE TABLE " + Table(rows) +
           " (id INT PRIMARY KEY, grp INT, name VARCHAR(40), amount DECIMAL(10,2), "
           "stamp DATETIME, KEY k (grp, name DESC, id)) ENGINE=InnoDB; "
           "INSERT INTO " + Table(rows) + " SELECT seq, seq % 97, CONCAT('name ', seq % 1013), "
           "seq / 100, '2024-01-31 10:20:30' + INTERVAL seq SECOND FROM seq_1_to_" +
           std::to_string(rows) + "; ";
  }
  sql += std::string("GRANT ALL ON ") + kDatabase + ".* TO '" +
         qg::rig::kPasswordAccount.pszUser + "'@'%'";
  if (!gServer->RunSql(sql, &error)) {
    std::fprintf(stderr, "cannot load the tables: %s\n", error.c_str());
    return false;
  }
  char folder[] = "/tmp/qg_walk_process_XXXXXX";
  if (mkdtemp(folder) == nullptr) return false;
  gFolder = folder;
  return true;
}

struct Outcome {
  bool ok = false;
  double seconds = 0;      // elapsed
  double cpu_seconds = 0;  // user + system of the child
  long peak_kb = 0;        // VmHWM of the child
};

// Runs argv with standard output into `out_path`, standard error into a
// file beside it.
Outcome Run(const std::vector<std::string>& args, const std::string& out_path) {
  Outcome o;
  auto start = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid < 0) return o;
  if (pid == 0) {
    int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int err = open((out_path + ".err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (out < 0 || err < 0) _exit(127);
    dup2(out, 1);
    dup2(err, 2);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) return o;
  o.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  o.cpu_seconds = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec * 1e-6 + usage.ru_stime.tv_sec +
                  usage.ru_stime.tv_usec * 1e-6;
  o.peak_kb = usage.ru_maxrss;
  o.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return o;
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void Measure(benchmark::State& state, bool driver) {
  const int size_index = static_cast<int>(state.range(0));
  const int rows = kSizes[size_index];
  std::vector<std::string> args;
  std::string out = gFolder + (driver ? "/driver" : "/raw") + std::to_string(rows) + ".txt";
  // QG_BENCH_QGHOST names another qghost (an earlier build, for a before
  // and after).
  const char* other = std::getenv("QG_BENCH_QGHOST");
  const std::string qghost = other != nullptr && *other != 0 ? other : QG_QGHOST_PATH;
  if (driver) {
    args = {qghost, "maria", "walk", "--socket", gServer->Socket(), "--user",
            qg::rig::kPasswordAccount.pszUser, "--password",
            qg::rig::kPasswordAccount.pszPassword, "--database", kDatabase, "--table",
            Table(rows), "--key", "k"};
  } else {
    args = {QG_RAW_WALK_PATH, gServer->Socket(), qg::rig::kPasswordAccount.pszUser,
            qg::rig::kPasswordAccount.pszPassword, kDatabase,
            "SELECT id, grp, name, amount, stamp FROM " + Table(rows) +
                " ORDER BY grp, name DESC, id"};
  }
  double cpu = 0;
  long peak = 0;
  for (auto _ : state) {
    Outcome o = Run(args, out);
    if (!o.ok) {
      state.SkipWithError((Slurp(out + ".err") + " (walk failed)").c_str());
      break;
    }
    state.SetIterationTime(o.seconds);
    cpu += o.cpu_seconds;
    if (o.peak_kb > peak) peak = o.peak_kb;
  }
  if (state.iterations() > 0) {
    state.counters["cpu_s"] = cpu / static_cast<double>(state.iterations());
    state.counters["peak_kb"] = static_cast<double>(peak);
  }
  std::string text = Slurp(out);
  if (text.size() < 64) {
    state.SkipWithError("no output");
    return;
  }
  gOutputs[size_index][driver ? 0 : 1] = std::hash<std::string>()(text);
  state.SetItemsProcessed(state.iterations() * rows);
}

void BM_RawStreamingProcess(benchmark::State& state) { Measure(state, false); }
void BM_DriverWalkProcess(benchmark::State& state) { Measure(state, true); }

BENCHMARK(BM_RawStreamingProcess)->Arg(0)->Arg(1)->Iterations(3)->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DriverWalkProcess)->Arg(0)->Arg(1)->Iterations(3)->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void PrintRatios(const qg::RatioReporter& r) {
  std::printf("\n");
  for (int i = 0; i < 2; ++i) {
    const std::string arg = "/" + std::to_string(i) + "/iterations:3/manual_time";
    const std::string raw = "BM_RawStreamingProcess" + arg;
    const std::string driver = "BM_DriverWalkProcess" + arg;
    double ratio = 0;
    if (!r.Ratio(raw, driver, &ratio)) {
      std::printf("walk of %d rows: a side did not run\n", kSizes[i]);
      continue;
    }
    const bool same = gOutputs[i][0] != 0 && gOutputs[i][0] == gOutputs[i][1];
    double cpu_driver = r.Counter(driver, "cpu_s");
    double cpu_raw = r.Counter(raw, "cpu_s");
    double peak_driver = r.Counter(driver, "peak_kb");
    double peak_raw = r.Counter(raw, "peak_kb");
    std::printf("walk of %d rows, qghost / raw streaming program (same lines: %s):\n",
                kSizes[i], same ? "yes" : "NO");
    std::printf("  throughput, elapsed     %.2fx (goal at least 0.8x)\n", ratio);
    if (cpu_driver > 0) {
      std::printf("  throughput, client CPU  %.2fx\n", cpu_raw / cpu_driver);
    }
    if (peak_raw > 0) {
      std::printf("  peak memory             %.2fx (%.1f MB against %.1f MB; goal at most 2x "
                  "plus the record cache asked for)\n",
                  peak_driver / peak_raw, peak_driver / 1024, peak_raw / 1024);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (!Prepare()) return 1;
  int status = qg::RunBenchmarks(argc, argv, PrintRatios);
  gServer->Stop();
  delete gServer;
  // QG_BENCH_KEEP keeps the outputs for a look.
  if (std::getenv("QG_BENCH_KEEP") == nullptr) {
    std::system(("rm -rf '" + gFolder + "'").c_str());
  } else {
    std::printf("outputs kept in %s\n", gFolder.c_str());
  }
  return status;
}
