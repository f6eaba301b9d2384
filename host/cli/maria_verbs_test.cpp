// qghost maria against a private MariaDB server, on private copies of the
// libraries (their module-wide state is their own).
#include "host/cli/maria_verbs.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>

#include "driver/mariadb/testing/mariadb_server.h"
#include "host/cli/private_libraries.h"

namespace qghost {
namespace {

auto* const gServerEnvironment = qg::rig::AddMariaDBServerEnvironment();

TEST(MariaVerbs, ConnectBeginsCommitsAndDisconnects) {
  const qg::rig::MariaDBServer* server = qg::rig::TestServer();
  ASSERT_NE(nullptr, server);
  qg::rig::TestDatabase db;
  std::string lib_dir = CopyPrivateLibraries("maria_verbs");
  std::string source = std::string(server->Host()) + ":" + std::to_string(server->Port());
  std::ostringstream out, err;
  EXPECT_EQ(0, RunMariaVerb(lib_dir, {"connect", source, qg::rig::kPasswordAccount.pszUser,
                                      qg::rig::kPasswordAccount.pszPassword, db.Name()},
                            out, err))
      << err.str();
  EXPECT_EQ("open: ok\nbegin: ok\ncommit: ok\ndisconnect: ok\n", out.str());

  std::ostringstream out2, err2;
  EXPECT_EQ(1, RunMariaVerb(lib_dir, {"connect", source, "qg_pass", "wrong", db.Name()}, out2,
                            err2));
  EXPECT_EQ("open: failed\n", out2.str());
  EXPECT_NE(std::string::npos, err2.str().find("1045")) << err2.str();
  std::ostringstream out3, err3;
  EXPECT_EQ(2, RunMariaVerb(lib_dir, {"connect"}, out3, err3));
  std::system(("rm -rf '" + lib_dir + "'").c_str());
}

}  // namespace
}  // namespace qghost
