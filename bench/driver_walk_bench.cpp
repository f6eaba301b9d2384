// The driver end to end: a next-record walk of 100 000 rows along a
// composite, partly descending key, and 10 000 single-record inserts,
// each against raw Connector/C on the same private server (streaming the
// same ORDER BY with mysql_use_result; a mysql_real_query INSERT loop).
// Ratios are rows (or inserts) per second of the driver over the raw
// client's: goal at least 0.8 for the walk and 0.9 for the inserts.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "bench/ratio_reporter.h"
#include "driver/mariadb/client_entry_points.h"
#include "driver/mariadb/mariadb_client.h"
#include "driver/mariadb/testing/private_server.h"
#include "errors/module_errors.h"

namespace {

constexpr int kWalkRows = 100000;
constexpr int kInserts = 10000;
constexpr const char* kDatabase = "qgt_walk_bench";
constexpr const char* kWalkOrder = "SELECT id, grp, name, amount, stamp FROM w "
                                   "ORDER BY grp, name DESC, id";

qg::rig::MariaDBServer* gServer = nullptr;
MYSQL* gRaw = nullptr;

bool Prepare() {
  qg::rig::ClearClientEnvironment();
  gServer = new qg::rig::MariaDBServer();
  std::string error;
  if (!gServer->Start(&error)) {
    std::fprintf(stderr, "server: %s\n", error.c_str());
    return false;
  }
  std::string sql = std::string("CREATE DATABASE ") + kDatabase + "; USE " + kDatabase + "; " +
                    "CREATE TABLE w (id INT PRIMARY KEY, grp INT, name VARCHAR(40), "
                    "amount DECIMAL(10,2), stamp DATETIME, KEY k (grp, name DESC, id)) "
                    "ENGINE=InnoDB; "
                    "INSERT INTO w SELECT seq, seq % 97, CONCAT('name ', seq % 1013), "
                    "seq / 100, '2024-01-31 10:20:30' + INTERVAL seq SECOND "
                    "FROM seq_1_to_" + std::to_string(kWalkRows) + "; " +
                    "CREATE TABLE ins (id INT AUTO_INCREMENT PRIMARY KEY, a INT, "
                    "b VARCHAR(40), c DOUBLE) ENGINE=InnoDB; " +
                    "GRANT ALL ON " + kDatabase + ".* TO '" +
                    qg::rig::kPasswordAccount.pszUser + "'@'%'";
  if (!gServer->RunSql(sql, &error)) {
    std::fprintf(stderr, "cannot load the tables: %s\n", error.c_str());
    return false;
  }
  _CXErrorModule76 load_error;
  if (!CNAMariaDBClient::bLoad(&load_error, nullptr)) return false;
  gRaw = gMariaDB.mysql_init(nullptr);
  return gMariaDB.mysql_real_connect(gRaw, nullptr, qg::rig::kPasswordAccount.pszUser,
                                     qg::rig::kPasswordAccount.pszPassword, kDatabase, 0,
                                     gServer->Socket().c_str(), 0) != nullptr;
}

bool RawQuery(const std::string& sql) {
  return gMariaDB.mysql_real_query(gRaw, sql.data(), static_cast<unsigned long>(sql.size())) == 0;
}

void BM_RawStreamingWalk(benchmark::State& state) {
  for (auto _ : state) {
    if (!RawQuery(kWalkOrder)) {
      state.SkipWithError("query failed");
      break;
    }
    MYSQL_RES* result = gMariaDB.mysql_use_result(gRaw);
    long rows = 0;
    unsigned long sum = 0;
    while (MYSQL_ROW row = gMariaDB.mysql_fetch_row(result)) {
      unsigned long* lengths = gMariaDB.mysql_fetch_lengths(result);
      for (int c = 0; c < 5; ++c) sum += lengths[c] + (row[c] != nullptr ? row[c][0] : 0);
      ++rows;
    }
    gMariaDB.mysql_free_result(result);
    benchmark::DoNotOptimize(sum);
    if (rows != kWalkRows) state.SkipWithError("short walk");
  }
  state.SetItemsProcessed(state.iterations() * kWalkRows);
}

void BM_RawInsertLoop(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    RawQuery("TRUNCATE TABLE ins");
    state.ResumeTiming();
    char sql[160];
    for (int i = 0; i < kInserts; ++i) {
      int n = std::snprintf(sql, sizeof sql,
                            "INSERT INTO ins (a,b,c) VALUES ( %d, 'text %d', %d.5 )", i, i, i);
      if (gMariaDB.mysql_real_query(gRaw, sql, static_cast<unsigned long>(n)) != 0) {
        state.SkipWithError("insert failed");
        break;
      }
    }
  }
  state.SetItemsProcessed(state.iterations() * kInserts);
}

BENCHMARK(BM_RawStreamingWalk)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_RawInsertLoop)->Unit(benchmark::kMillisecond)->Iterations(3);

void PrintRatios(const qg::RatioReporter& r) {
  struct Pair {
    const char* label;
    const char* driver;
    const char* raw;
    double goal;
  } pairs[] = {
      {"next-record walk of 100 000 rows", "BM_DriverWalk/iterations:5",
       "BM_RawStreamingWalk/iterations:5", 0.8},
      {"10 000 inserts", "BM_DriverInserts/iterations:3", "BM_RawInsertLoop/iterations:3", 0.9},
  };
  std::printf("\n");
  for (const Pair& p : pairs) {
    double ratio = 0;
    // Time of the raw loop over the driver's: the driver's throughput as a
    // share of the raw client's.
    if (r.Ratio(p.raw, p.driver, &ratio)) {
      std::printf("%s, driver / raw Connector/C throughput: %.2fx (goal at least %.1fx)\n",
                  p.label, ratio, p.goal);
    } else {
      std::printf("%s: the driver's side did not run\n", p.label);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (!Prepare()) return 1;
  int status = qg::RunBenchmarks(argc, argv, PrintRatios);
  gMariaDB.mysql_close(gRaw);
  CNAMariaDBClient::TermInstance();
  gServer->Stop();
  delete gServer;
  return status;
}
