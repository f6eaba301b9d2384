#include "driver/mariadb/testing/mariadb_server.h"

#include <chrono>
#include <cstdio>
#include <string>

namespace qg::rig {

namespace {

MariaDBServer* gServer = nullptr;

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

class ServerEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    ClearClientEnvironment();
    auto start = std::chrono::steady_clock::now();
    std::string error;
    if (!m_server.Start(&error)) {
      GTEST_FAIL() << "the private MariaDB server did not start: " << error;
    }
    gServer = &m_server;
    std::printf("[ rig      ] MariaDB server up in %.2f s (socket %s, port %d)\n",
                SecondsSince(start), m_server.Socket().c_str(), m_server.Port());
  }
  void TearDown() override {
    auto start = std::chrono::steady_clock::now();
    gServer = nullptr;
    m_server.Stop();
    std::printf("[ rig      ] MariaDB server stopped in %.2f s\n", SecondsSince(start));
  }

 private:
  MariaDBServer m_server;
};

}  // namespace

::testing::Environment* AddMariaDBServerEnvironment() {
  static ::testing::Environment* environment =
      ::testing::AddGlobalTestEnvironment(new ServerEnvironment());
  return environment;
}

const MariaDBServer* TestServer() { return gServer; }

TestDatabase::TestDatabase() {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = "qgt_";
  if (info != nullptr) name += std::string(info->test_suite_name()) + "_" + info->name();
  for (char& c : name) {
    bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!keep) c = '_';
  }
  static int counter = 0;
  std::string suffix = "_" + std::to_string(++counter);
  if (name.size() > 64 - suffix.size()) name.resize(64 - suffix.size());
  name += suffix;
  const MariaDBServer* server = TestServer();
  std::string output;
  if (server == nullptr) {
    ADD_FAILURE() << "no test server";
  } else if (!server->RunSql("CREATE DATABASE `" + name + "`", &output)) {
    ADD_FAILURE() << "cannot create database " << name << ": " << output;
  } else {
    m_strName = name;
  }
}

TestDatabase::~TestDatabase() {
  const MariaDBServer* server = TestServer();
  if (server != nullptr && !m_strName.empty()) {
    server->RunSql("DROP DATABASE IF EXISTS `" + m_strName + "`");
  }
}

}  // namespace qg::rig
