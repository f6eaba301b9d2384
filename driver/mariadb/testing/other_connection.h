// Test equipment: a second connection to the binary's private server,
// through the client library itself (not the driver), so that each write
// it makes has landed before the code under test reads on.
#ifndef QG_DRIVER_MARIADB_TESTING_OTHER_CONNECTION_H_
#define QG_DRIVER_MARIADB_TESTING_OTHER_CONNECTION_H_

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <mariadb/mysql.h>

#include <string>

#include "driver/mariadb/testing/mariadb_server.h"

namespace qg::rig {

// A connection to `database` as the password account; a failure to
// connect fails the test and leaves Ok() false.
class OtherConnection {
 public:
  explicit OtherConnection(const std::string& database) {
    lib_ = dlopen("libmariadb.so.3", RTLD_NOW);
    if (lib_ == nullptr) return;
    init_ = reinterpret_cast<decltype(&mysql_init)>(dlsym(lib_, "mysql_init"));
    connect_ = reinterpret_cast<decltype(&mysql_real_connect)>(dlsym(lib_, "mysql_real_connect"));
    query_ = reinterpret_cast<decltype(&mysql_query)>(dlsym(lib_, "mysql_query"));
    error_ = reinterpret_cast<decltype(&mysql_error)>(dlsym(lib_, "mysql_error"));
    close_ = reinterpret_cast<decltype(&mysql_close)>(dlsym(lib_, "mysql_close"));
    if (!init_ || !connect_ || !query_ || !error_ || !close_) return;
    handle_ = init_(nullptr);
    if (handle_ != nullptr &&
        connect_(handle_, nullptr, kPasswordAccount.pszUser,
                 kPasswordAccount.pszPassword, database.c_str(), 0,
                 TestServer()->Socket().c_str(), 0) == nullptr) {
      ADD_FAILURE() << "other connection: " << error_(handle_);
      close_(handle_);
      handle_ = nullptr;
    }
  }
  ~OtherConnection() {
    if (handle_ != nullptr) close_(handle_);
    if (lib_ != nullptr) dlclose(lib_);
  }
  OtherConnection(const OtherConnection&) = delete;
  OtherConnection& operator=(const OtherConnection&) = delete;
  bool Ok() const { return handle_ != nullptr; }
  void Run(const std::string& sql) {
    if (query_(handle_, sql.c_str()) != 0) ADD_FAILURE() << sql << ": " << error_(handle_);
  }

 private:
  void* lib_ = nullptr;
  MYSQL* handle_ = nullptr;
  decltype(&mysql_init) init_ = nullptr;
  decltype(&mysql_real_connect) connect_ = nullptr;
  decltype(&mysql_query) query_ = nullptr;
  decltype(&mysql_error) error_ = nullptr;
  decltype(&mysql_close) close_ = nullptr;
};

}  // namespace qg::rig

#endif  // QG_DRIVER_MARIADB_TESTING_OTHER_CONNECTION_H_
