// Reading a result of 10^6 rows x 10 columns through the MariaDB statement
// and value converters (buffers laid out as the row buffers use them),
// against a bare mysql_fetch_row loop over the same query on the same
// private server; also counts the heap allocations made per cell while the
// rows are read. And describing a table of 1000 columns from the server
// against the bare SHOW FULL COLUMNS round trip.
//
// Both sides of the row read send the same query on the same connection,
// take the whole result and visit every cell: the bare loop adds up each
// cell's length and first byte; the statement converts each cell into its
// value buffer. Most of the wall time is the server making the rows, so the
// client's CPU time (this process, all threads) is compared too.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
#include "driver/core/error_status.h"
#include "driver/mariadb/client_entry_points.h"
#include "driver/mariadb/mariadb_client.h"
#include "driver/mariadb/statement_mariadb.h"
#include "driver/mariadb/table_description_mariadb.h"
#include "driver/mariadb/testing/mariadb_server.h"
#include "driver/mariadb/testing/rig_connection.h"
#include "driver/sql/column.h"
#include "driver/sql/value_converter.h"
#include "errors/module_errors.h"
#include "host/core/host_runtime.h"
#include "support/frame/module_services.h"

namespace {

std::atomic<long long> gAllocations{0};

constexpr int kRows = 1000000;
constexpr int kColumns = 10;
constexpr const char* kQuery = "SELECT id, a, b, c, d, e, f, g, h, i FROM t";

qg::rig::MariaDBServer* gServer = nullptr;
qg::rig::RigConnection* gConnection = nullptr;
double gAllocationsPerCell = -1;

bool Prepare() {
  // The stand-in host's string memory and locale, as the host gives them.
  qghost::HostRuntime& host = qghost::Runtime();
  qg::Services().piStringMemory = &host.Strings();
  qg::Services().piInfoLocale = &host.Locale();
  qg::Services().piValueObjects = &host.Values();
  qg::rig::ClearClientEnvironment();
  gServer = new qg::rig::MariaDBServer();
  std::string error;
  if (!gServer->Start(&error)) {
    std::fprintf(stderr, "server: %s\n", error.c_str());
    return false;
  }
  if (!gServer->RunSql(
          "CREATE DATABASE qgt_bench; USE qgt_bench; "
          "CREATE TABLE t (id INT, a BIGINT, b DOUBLE, c VARCHAR(20), d DATETIME, "
          "e DECIMAL(10,2), f INT, g VARCHAR(10), h DATE, i SMALLINT); "
          "INSERT INTO t SELECT seq, seq * 1000003, seq / 7, CONCAT('name ', seq), "
          "'2024-01-31 10:20:30' + INTERVAL seq SECOND, seq / 100, -seq, 'abc', "
          "'2024-01-31' + INTERVAL (seq % 1000) DAY, seq % 30000 FROM seq_1_to_1000000")) {
    return false;
  }
  std::string wide = "USE qgt_bench; CREATE TABLE wide (c0 INT PRIMARY KEY";
  for (int i = 1; i < 1000; ++i) {
    wide += ", c" + std::to_string(i) + (i % 10 == 0 ? " VARCHAR(20)" : i % 2 == 1 ? " INT" : " DATETIME");
  }
  wide += ") ENGINE=InnoDB ROW_FORMAT=DYNAMIC";
  if (!gServer->RunSql(wide)) {
    std::fprintf(stderr, "cannot create the wide table\n");
    return false;
  }
  _CXErrorModule76 load_error;
  if (!CNAMariaDBClient::bLoad(&load_error, nullptr)) return false;
  gConnection = NAAddRef(new qg::rig::RigConnection());
  return gConnection->Connect(gServer->Socket(), "qgt_bench", false);
}

void BM_BareFetchRow(benchmark::State& state) {
  MYSQL* handle = gConnection->pGetClientHandle();
  for (auto _ : state) {
    gMariaDB.mysql_real_query(handle, kQuery, std::strlen(kQuery));
    MYSQL_RES* result = gMariaDB.mysql_store_result(handle);
    unsigned long sum = 0;
    while (MYSQL_ROW row = gMariaDB.mysql_fetch_row(result)) {
      unsigned long* lengths = gMariaDB.mysql_fetch_lengths(result);
      for (int c = 0; c < kColumns; ++c) sum += lengths[c] + (row[c] != nullptr ? row[c][0] : 0);
    }
    benchmark::DoNotOptimize(sum);
    gMariaDB.mysql_free_result(result);
  }
}

void BM_StatementConverters(benchmark::State& state) {
  struct Layout {
    int value_type;
    int column_type;
    int size;
  };
  const Layout layout[kColumns] = {{8, 5, 4},    {9, 19, 8},  {12, 7, 8},  {19, 2, 21},
                                   {26, 24, 8},  {10, 17, 10}, {8, 5, 4},  {19, 2, 11},
                                   {26, 14, 9},  {7, 3, 2}};
  std::vector<CNAValueConverter*> converters;
  std::vector<CNAColumn*> columns;
  for (const Layout& l : layout) {
    CNAColumn* column = NAAddRef(new CNAColumn());
    column->Init(u"c", u"t", nullptr, 1, l.size, l.column_type, 0, -1, 0, 0, 0);
    CNAValueConverter* v = NAAddRef(new CNAValueConverter(nullptr, 1252));
    v->bAllocateBuffer(l.value_type, static_cast<size_t>(l.size), nullptr);
    v->BindColumns(column, nullptr);
    converters.push_back(v);
    columns.push_back(column);
  }
  CNAStatementMariaDB* statement = NAAddRef(new CNAStatementMariaDB(gConnection));
  long long allocations = 0;
  long long cells = 0;
  for (auto _ : state) {
    CNAError error;
    if (!statement->bExecute(kQuery, 0, 0, nullptr, &error)) {
      state.SkipWithError("execute failed");
      break;
    }
    long long before = gAllocations.load();
    long long read = 0;
    while (statement->bFetchNext(0, &error) && !statement->bEndOfRows()) {
      for (int c = 0; c < kColumns; ++c) {
        if (!statement->bGetColumnValue(converters[static_cast<size_t>(c)], c, 0, &error)) {
          state.SkipWithError("column read failed");
          break;
        }
      }
      read += kColumns;
    }
    allocations += gAllocations.load() - before;
    cells += read;
    statement->bCloseResult(nullptr);
  }
  gAllocationsPerCell = cells > 0 ? static_cast<double>(allocations) / static_cast<double>(cells) : -1;
  ReleaseBoth(statement);
  for (CNAValueConverter* v : converters) ReleaseBoth(v);
  for (CNAColumn* c : columns) ReleaseBoth(c);
}

void BM_BareShowColumns(benchmark::State& state) {
  MYSQL* handle = gConnection->pGetClientHandle();
  const char* query = "SHOW FULL COLUMNS FROM `wide`";
  for (auto _ : state) {
    gMariaDB.mysql_real_query(handle, query, std::strlen(query));
    MYSQL_RES* result = gMariaDB.mysql_store_result(handle);
    unsigned long sum = 0;
    while (MYSQL_ROW row = gMariaDB.mysql_fetch_row(result)) {
      unsigned long* lengths = gMariaDB.mysql_fetch_lengths(result);
      sum += lengths[0] + (row[0] != nullptr ? row[0][0] : 0);
    }
    benchmark::DoNotOptimize(sum);
    gMariaDB.mysql_free_result(result);
  }
}

void BM_DescribeTable(benchmark::State& state) {
  for (auto _ : state) {
    CNAError error;
    auto* description = NAAddRef(new CNATableDescriptionMariaDB(gConnection));
    if (!description->bDescribeFromServer(u"wide", 0, &error) ||
        description->nGetColumnCount() != 1000) {
      state.SkipWithError("describe failed");
    }
    ReleaseBoth(description);
  }
}

BENCHMARK(BM_BareShowColumns)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_DescribeTable)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_BareFetchRow)->Unit(benchmark::kMillisecond)->Iterations(3)->MeasureProcessCPUTime();
BENCHMARK(BM_StatementConverters)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->MeasureProcessCPUTime();

void PrintRatios(const qg::RatioReporter& r) {
  double ratio = 0;
  const std::string ours = "BM_StatementConverters/iterations:3/process_time";
  const std::string bare = "BM_BareFetchRow/iterations:3/process_time";
  if (r.Ratio(ours, bare, &ratio)) {
    std::printf("\n%d rows x %d columns, statement and converters / bare fetch loop: %.2fx "
                "wall time",
                kRows, kColumns, ratio);
    if (r.CpuRatio(ours, bare, &ratio)) {
      std::printf(", %.2fx client CPU time (goal at most 1.5x)", ratio);
    }
    std::printf("\n");
  }
  if (r.Ratio("BM_DescribeTable/iterations:20", "BM_BareShowColumns/iterations:20", &ratio)) {
    std::printf("describing a 1000-column table / bare SHOW FULL COLUMNS: %.2fx "
                "(goal at most 1.5x)\n",
                ratio);
  }
  std::printf("heap allocations per cell while reading rows: %.4f (goal 0)\n",
              gAllocationsPerCell);
}

}  // namespace

// Kept out of line: inlined into new and delete expressions, malloc() and
// free() would look mismatched with them to the compiler.
__attribute__((noinline)) void* operator new(std::size_t size) {
  gAllocations.fetch_add(1, std::memory_order_relaxed);
  void* p = std::malloc(size != 0 ? size : 1);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
__attribute__((noinline)) void operator delete(void* p) noexcept { std::free(p); }
__attribute__((noinline)) void operator delete(void* p, std::size_t) noexcept { std::free(p); }

int main(int argc, char** argv) {
  if (!Prepare()) return 1;
  int status = qg::RunBenchmarks(argc, argv, PrintRatios);
  ReleaseBoth(gConnection);
  CNAMariaDBClient::TermInstance();
  gServer->Stop();
  delete gServer;
  return status;
}
