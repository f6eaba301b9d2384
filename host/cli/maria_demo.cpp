#include "host/cli/maria_demo.h"

#include "driver/mariadb/testing/private_server.h"
#include "host/cli/maria_walk.h"

namespace qghost {

int RunMariaDemo(const std::string& lib_dir, std::ostream& out, std::ostream& err) {
  qg::rig::ClearClientEnvironment();
  qg::rig::MariaDBServer server;
  std::string problem;
  out << "== starting a private MariaDB server\n";
  if (!server.Start(&problem)) {
    err << "the MariaDB server did not start: " << problem << '\n';
    return 1;
  }
  out << "server on " << server.Socket() << '\n';
  const std::string load =
      "CREATE DATABASE qgt_demo; USE qgt_demo; "
      "CREATE TABLE city (id INT PRIMARY KEY, country CHAR(2), name VARCHAR(40), "
      "population INT NULL, KEY country (country, name)) ENGINE=InnoDB; "
      "INSERT INTO city VALUES (1, 'FR', 'Paris', 2102650), (2, 'FR', 'Lyon', 522250), "
      "(3, 'DE', 'Berlin', 3755251), (4, 'DE', 'Hamburg', 1892122), "
      "(5, 'IT', 'Roma', 2749031), (6, 'IT', 'Milano', NULL), (7, 'ES', 'Madrid', 3332035), "
      "(8, 'PT', 'Lisboa', 545796), (9, 'FR', 'Marseille', 873076), "
      "(10, 'DE', 'K\xC3\xB6ln', 1084831); "
      "GRANT ALL ON qgt_demo.* TO '" +
      std::string(qg::rig::kPasswordAccount.pszUser) + "'@'%'";
  if (!server.RunSql(load, &problem)) {
    err << "cannot load the sample table: " << problem << '\n';
    return 1;
  }
  out << "loaded table city (id, country, name, population) with 10 rows\n";
  WalkOptions options;
  options.socket = server.Socket();
  options.user = qg::rig::kPasswordAccount.pszUser;
  options.password = qg::rig::kPasswordAccount.pszPassword;
  options.database = "qgt_demo";
  options.table = "city";
  options.key = "country";
  int status = 0;
  auto step = [&](const char* title) {
    out << "== " << title << '\n';
    if (status == 0) status = RunMariaWalk(lib_dir, options, out, err);
  };
  step("walk along the key country (country, name): first, then next to the end");
  options.backward = true;
  step("the same key backwards: last, then previous to the start");
  options.backward = false;
  options.key = "population";
  step("along population (NULL first)");
  options.key = "id";
  options.has_seek = true;
  options.seek = "6";
  step("seek id 6, then next to the end");
  out << "== writes through the driver: add Nice, modify Milano's population, delete Lisboa\n";
  options.has_seek = false;
  if (status == 0) {
    status = RunMariaWrites(
        lib_dir, options,
        {{WalkWrite::kInsert, "", {{0, "11"}, {1, "FR"}, {2, "Nice"}, {3, "342669"}}},
         {WalkWrite::kModify, "6", {{3, "1371498"}}},
         {WalkWrite::kDelete, "8", {}}},
        out, err);
  }
  options.key = "country";
  step("walk along country again");
  server.Stop();
  out << "== server stopped\n";
  return status;
}

}  // namespace qghost
