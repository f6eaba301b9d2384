// The driver end to end: a next-record walk of 100 000 rows along a
// composite, partly descending key, and 10 000 single-record inserts,
// each against raw Connector/C on the same private server (streaming the
// same ORDER BY with mysql_use_result; a mysql_real_query INSERT loop).
// Ratios are rows (or inserts) per second of the driver over the raw
// client's: goal at least 0.8 for the walk and 0.9 for the inserts.
//
// Then, on tables of 10^4 and 10^6 rows: the time per row of the same
// walk in fetches of 100 rows at both sizes (goal: at 10^6 at most 1.5x
// that at 10^4, no cost that grows with the position), and, at 10^6 rows,
// reading the current record again and handing it to another key, each
// against one seek of a record by its unique key (goal at most 3x).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "bench/ratio_reporter.h"
#include "driver/core/dispatcher.h"
#include "driver/core/error_status.h"
#include "driver/mariadb/client_entry_points.h"
#include "driver/mariadb/manager_mariadb.h"
#include "driver/mariadb/mariadb_client.h"
#include "driver/mariadb/testing/private_server.h"
#include "driver/sql/table_access.h"
#include "errors/module_errors.h"
#include "host/core/calc_entries.h"
#include "host/core/driver_objects.h"
#include "host/core/host_runtime.h"
#include "support/any.h"
#include "support/frame/module_services.h"

namespace {

constexpr int kWalkRows = 100000;
constexpr int kInserts = 10000;
constexpr const char* kDatabase = "qgt_walk_bench";
constexpr const char* kWalkOrder = "SELECT id, grp, name, amount, stamp FROM w "
                                   "ORDER BY grp, name DESC, id";

constexpr int kSmallRows = 10000;
constexpr int kLargeRows = 1000000;

qg::rig::MariaDBServer* gServer = nullptr;
MYSQL* gRaw = nullptr;
CNAManagerMariaDB* gManager = nullptr;
qghost::ConnectionDescription* gDescription = nullptr;
// The same server and account, reading in fetches of 100 rows.
qghost::ConnectionDescription* gFetch100 = nullptr;

std::string WalkTable(const std::string& name, int rows) {
  return "CREATE TABLE " + name + " (id INT PRIMARY KEY, grp INT, name VARCHAR(40), "
         "amount DECIMAL(10,2), stamp DATETIME, KEY k (grp, name DESC, id)) ENGINE=InnoDB; "
         "INSERT INTO " + name + " SELECT seq, seq % 97, CONCAT('name ', seq % 1013), "
         "seq / 100, '2024-01-31 10:20:30' + INTERVAL seq SECOND FROM seq_1_to_" +
         std::to_string(rows) + "; ";
}

std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

int32_t Compare(const void* a, int32_t ta, const void* b, int32_t tb, void* result, intptr_t,
                intptr_t) {
  return qghost::CalcEntry(qg::kCalcComparaison, a, ta, b, tb, result);
}

bool Prepare() {
  // The stand-in host's services, as the host gives them.
  qghost::HostRuntime& host = qghost::Runtime();
  qg::Services().piStringMemory = &host.Strings();
  qg::Services().piInfoLocale = &host.Locale();
  qg::Services().piValueObjects = &host.Values();
  qg::Services().pfnConversion = &qghost::ConversionDepassementExt;
  qg::Services().pfnFinConversion = &qghost::FinConversion;
  qg::Services().apfnCalc[qg::kCalcComparaison] = &Compare;
  qg::rig::ClearClientEnvironment();
  gServer = new qg::rig::MariaDBServer();
  std::string error;
  if (!gServer->Start(&error)) {
    std::fprintf(stderr, "server: %s\n", error.c_str());
    return false;
  }
  // A buffer pool that holds the large table, as a server for it would
  // have: the walk measures the client, not the server's disk reads.
  std::string sql = std::string("SET GLOBAL innodb_buffer_pool_size = 268435456; ") +
                    "CREATE DATABASE " + kDatabase + "; USE " + kDatabase + "; " +
                    WalkTable("w", kWalkRows) + WalkTable("w4", kSmallRows) +
                    WalkTable("w6", kLargeRows) +
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
  gManager = new CNAManagerMariaDB();
  gManager->AddRef();
  gDescription = new qghost::ConnectionDescription();
  gDescription->AddRef();
  gDescription->user = Wide(qg::rig::kPasswordAccount.pszUser);
  gDescription->password = Wide(qg::rig::kPasswordAccount.pszPassword);
  gDescription->database = Wide(kDatabase);
  gDescription->data_source = u"localhost";
  gDescription->extended = u"Unix Socket=" + Wide(gServer->Socket());
  gFetch100 = new qghost::ConnectionDescription();
  gFetch100->AddRef();
  gFetch100->user = gDescription->user;
  gFetch100->password = gDescription->password;
  gFetch100->database = gDescription->database;
  gFetch100->data_source = gDescription->data_source;
  gFetch100->extended = gDescription->extended + u";QG Cache Size=100";
  gRaw = gMariaDB.mysql_init(nullptr);
  return gMariaDB.mysql_real_connect(gRaw, nullptr, qg::rig::kPasswordAccount.pszUser,
                                     qg::rig::kPasswordAccount.pszPassword, kDatabase, 0,
                                     gServer->Socket().c_str(), 0) != nullptr;
}

bool RawQuery(const std::string& sql) {
  return gMariaDB.mysql_real_query(gRaw, sql.data(), static_cast<unsigned long>(sql.size())) == 0;
}

// The raw walk of the key's order, reading each row's columns; with
// `stored` the whole result is stored first (mysql_store_result), as the
// driver takes a read's first result: what storing costs by itself.
void RawWalk(benchmark::State& state, bool stored) {
  for (auto _ : state) {
    if (!RawQuery(kWalkOrder)) {
      state.SkipWithError("query failed");
      break;
    }
    MYSQL_RES* result =
        stored ? gMariaDB.mysql_store_result(gRaw) : gMariaDB.mysql_use_result(gRaw);
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

void BM_RawStreamingWalk(benchmark::State& state) { RawWalk(state, false); }
void BM_RawStoredWalk(benchmark::State& state) { RawWalk(state, true); }

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

// The host's walk: open the handle, read first, then next to the end,
// every column of every record read as the host reads it.
void DriverWalk(benchmark::State& state, qghost::ConnectionDescription* description,
                const char16_t* table, long expected) {
  CNAError error;
  CNADispatcher* d = gManager->pclFindOrCreateDispatcher(description, table, &error);
  qghost::FileDescription handle(table, 1);
  INAError* slot = nullptr;
  if (d == nullptr || !d->bOpen(&handle, description, 0, 0, &slot)) {
    state.SkipWithError("open failed");
    return;
  }
  const char16_t* key = u"k";
  auto key_arg = reinterpret_cast<intptr_t>(key);
  for (auto _ : state) {
    long rows = 0;
    unsigned long sum = 0;
    int direction = kNAReadFirst;
    for (;;) {
      if (!d->bRead(&handle, key_arg, direction, 0, 1, 0, 0, &slot)) {
        state.SkipWithError("read failed");
        break;
      }
      int32_t end = 0;
      d->bIsAtEnd(&handle, key_arg, reinterpret_cast<intptr_t>(&end), &slot);
      if (end != 0) break;
      for (int c = 0; c < 5; ++c) {
        CAny value;
        d->bReadItemValue(&handle, c, reinterpret_cast<intptr_t>(&value), &slot);
        sum += value.bEstNull() ? 0 : 1;
      }
      ++rows;
      direction = kNAReadNext;
    }
    benchmark::DoNotOptimize(sum);
    if (rows != expected) state.SkipWithError("short walk");
  }
  state.SetItemsProcessed(state.iterations() * expected);
  d->bClose(&handle, 0, nullptr);
  d->Release();
}

void BM_DriverWalk(benchmark::State& state) { DriverWalk(state, gDescription, u"w", kWalkRows); }
void BM_DriverWalkSmallFetch100(benchmark::State& state) {
  DriverWalk(state, gFetch100, u"w4", kSmallRows);
}
void BM_DriverWalkLargeFetch100(benchmark::State& state) {
  DriverWalk(state, gFetch100, u"w6", kLargeRows);
}

// One record of the 10^6-row table: a seek along the unique key id (the
// reference), the record read again from the server along the key it was
// read on, and the record handed over from id to the key k and back (two
// hand-overs an iteration).
enum RecordOp { kSeekOp, kRereadOp, kHandOverOp };

void RecordOperation(benchmark::State& state, RecordOp op) {
  CNAError error;
  CNADispatcher* d = gManager->pclFindOrCreateDispatcher(gDescription, u"w6", &error);
  qghost::FileDescription handle(u"w6", 1);
  INAError* slot = nullptr;
  if (d == nullptr || !d->bOpen(&handle, gDescription, 0, 0, &slot)) {
    state.SkipWithError("open failed");
    return;
  }
  const auto by_id = reinterpret_cast<intptr_t>(u"id");
  const auto by_k = reinterpret_cast<intptr_t>(u"k");
  // The value as the host types it.
  const std::u16string wanted = Wide(std::to_string(kLargeRows / 2 + 17));
  CAny target;
  target.SetPSTRW(wanted.c_str());
  auto seek = [&] {
    return d->bSeekSameName(&handle, by_id, reinterpret_cast<intptr_t>(&target), 0, 0, 0, 0, 0, 0,
                            &slot);
  };
  bool ok = seek();
  if (ok && op == kRereadOp) ok = d->bHandOverCurrent(&handle, by_k, 0, &slot);
  for (auto _ : state) {
    if (!ok) break;
    switch (op) {
      case kSeekOp:
        ok = seek();
        break;
      case kRereadOp:
        ok = d->bReread(&handle, 0, 0, 0, 0, &slot);
        break;
      case kHandOverOp:
        ok = d->bHandOverCurrent(&handle, by_k, 0, &slot) &&
             d->bHandOverCurrent(&handle, by_id, 0, &slot);
        break;
    }
  }
  // The record must still be the one sought.
  CAny value;
  CXYString<char16_t> text;
  if (!ok) {
    auto* failed = static_cast<CNAError*>(slot);
    std::string message = "failed: ";
    for (const char16_t* m = failed != nullptr ? failed->pszGetMessage() : u""; m != nullptr && *m;
         ++m) {
      message.push_back(*m < 0x80 ? static_cast<char>(*m) : '?');
    }
    state.SkipWithError(message.c_str());
  } else if (!d->bReadItemValue(&handle, 0, reinterpret_cast<intptr_t>(&value), &slot) ||
             value.nGetTexte(&text) >= 100 || text.pszGet() == nullptr ||
             std::u16string(text.pszGet()) != wanted) {
    state.SkipWithError("the record was lost");
  }
  if (slot != nullptr) slot->Release();
  d->bClose(&handle, 0, nullptr);
  d->Release();
}

// The least a client does for one record: the raw client's SELECT of the
// row by its primary key, stored and read.
void BM_RawSelectOneRecord(benchmark::State& state) {
  const std::string sql = "SELECT id, grp, name, amount, stamp FROM w6 WHERE id = " +
                          std::to_string(kLargeRows / 2 + 17);
  for (auto _ : state) {
    if (!RawQuery(sql)) {
      state.SkipWithError("query failed");
      break;
    }
    MYSQL_RES* result = gMariaDB.mysql_store_result(gRaw);
    MYSQL_ROW row = result != nullptr ? gMariaDB.mysql_fetch_row(result) : nullptr;
    if (row == nullptr) state.SkipWithError("no row");
    benchmark::DoNotOptimize(row);
    if (result != nullptr) gMariaDB.mysql_free_result(result);
  }
}

void BM_SeekOneRecord(benchmark::State& state) { RecordOperation(state, kSeekOp); }
void BM_RereadOneRecord(benchmark::State& state) { RecordOperation(state, kRereadOp); }
void BM_HandOverTwice(benchmark::State& state) { RecordOperation(state, kHandOverOp); }

// The host's inserts: three item values written, then the record added
// (the generated identifier read back each time).
void BM_DriverInserts(benchmark::State& state) {
  CNAError error;
  CNADispatcher* d = gManager->pclFindOrCreateDispatcher(gDescription, u"ins", &error);
  qghost::FileDescription handle(u"ins", 1);
  INAError* slot = nullptr;
  if (d == nullptr || !d->bOpen(&handle, gDescription, 0, 0, &slot)) {
    state.SkipWithError("open failed");
    return;
  }
  for (auto _ : state) {
    state.PauseTiming();
    RawQuery("TRUNCATE TABLE ins");
    state.ResumeTiming();
    for (int i = 0; i < kInserts; ++i) {
      CAny a, b, c;
      a.SetI4(i);
      std::u16string text = u"text " + Wide(std::to_string(i));
      b.SetPSTRW(text.c_str());
      c.SetR8(i + 0.5);
      d->bWriteItemValue(&handle, 1, reinterpret_cast<intptr_t>(&a), &slot);
      d->bWriteItemValue(&handle, 2, reinterpret_cast<intptr_t>(&b), &slot);
      d->bWriteItemValue(&handle, 3, reinterpret_cast<intptr_t>(&c), &slot);
      if (!d->bAdd(&handle, 0, 0, &slot)) {
        state.SkipWithError("insert failed");
        break;
      }
    }
  }
  state.SetItemsProcessed(state.iterations() * kInserts);
  d->bClose(&handle, 0, nullptr);
  d->Release();
}

BENCHMARK(BM_RawStreamingWalk)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_RawStoredWalk)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_DriverWalk)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_DriverWalkSmallFetch100)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_DriverWalkLargeFetch100)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_RawSelectOneRecord)->Unit(benchmark::kMicrosecond)->Iterations(50);
BENCHMARK(BM_SeekOneRecord)->Unit(benchmark::kMicrosecond)->Iterations(5);
BENCHMARK(BM_RereadOneRecord)->Unit(benchmark::kMicrosecond)->Iterations(5);
BENCHMARK(BM_HandOverTwice)->Unit(benchmark::kMicrosecond)->Iterations(5);
BENCHMARK(BM_RawInsertLoop)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_DriverInserts)->Unit(benchmark::kMillisecond)->Iterations(3);

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
      // No goal: the part of the walk's cost that storing the result takes.
      {"raw walk of a stored result", "BM_RawStoredWalk/iterations:5",
       "BM_RawStreamingWalk/iterations:5", 0},
  };
  std::printf("\n");
  for (const Pair& p : pairs) {
    double ratio = 0;
    // Time of the raw loop over the driver's: the driver's throughput as a
    // share of the raw client's.
    if (r.Ratio(p.raw, p.driver, &ratio)) {
      if (p.goal > 0) {
        std::printf("%s, driver / raw Connector/C throughput: %.2fx (goal at least %.1fx)\n",
                    p.label, ratio, p.goal);
      } else {
        std::printf("%s / raw streaming walk throughput: %.2fx\n", p.label, ratio);
      }
    } else {
      std::printf("%s: the driver's side did not run\n", p.label);
    }
  }
  double small = r.Time("BM_DriverWalkSmallFetch100/iterations:20") / kSmallRows;
  double large = r.Time("BM_DriverWalkLargeFetch100/iterations:1") / kLargeRows;
  if (small > 0 && large > 0) {
    std::printf("time per row of a walk in fetches of 100, 10^6 rows / 10^4 rows: %.2fx "
                "(goal at most 1.5x)\n", large / small);
  }
  // The driver's seek of a single-column key reads the order until the
  // value comes; the raw client's SELECT by primary key is the least one
  // record costs. Both are shown.
  double seek = r.Time("BM_SeekOneRecord/iterations:5");
  double raw = r.Time("BM_RawSelectOneRecord/iterations:50");
  double reread = r.Time("BM_RereadOneRecord/iterations:5");
  double handover = r.Time("BM_HandOverTwice/iterations:5") / 2;
  if (seek > 0 && raw > 0) {
    std::printf("one seek through the driver at 10^6 rows / raw SELECT by key: %.2fx\n",
                seek / raw);
  }
  for (auto [label, time] : {std::pair{"reading one record again", reread},
                             std::pair{"handing one record to another key", handover}}) {
    if (seek > 0 && raw > 0 && time > 0) {
      std::printf("%s at 10^6 rows / one seek: %.2fx (goal at most 3x); / raw SELECT by key: "
                  "%.2fx\n", label, time / seek, time / raw);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (!Prepare()) return 1;
  int status = qg::RunBenchmarks(argc, argv, PrintRatios);
  gMariaDB.mysql_close(gRaw);
  gManager->Release();
  gDescription->Release();
  gFetch100->Release();
  CNAMariaDBClient::TermInstance();
  gServer->Stop();
  delete gServer;
  return status;
}
