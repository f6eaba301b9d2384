// A stand-in MariaDB client library for the binding's failure paths, built
// in several variants from this one file:
//   QG_FAKE_WITHOUT_OPTIONS    mysql_options is not exported (optional);
//   QG_FAKE_WITHOUT_FETCH_ROW  mysql_fetch_row is not exported (required);
//   QG_FAKE_THROWING           every call throws std::runtime_error;
//   QG_FAKE_HAS_INFOV          "mariadb_get_infov" is exported;
//   QG_FAKE_VERSION            the text of mysql_get_client_info.
// Every call that does not throw appends its name and a ';' to a log that
// qgfake_call_log returns and qgfake_clear_log empties.
#include <mariadb/mysql.h>

#include <mutex>
#include <stdexcept>
#include <string>

namespace {

std::mutex gLogMutex;
std::string gLog;
std::string gLogCopy;
MYSQL* const kHandle = reinterpret_cast<MYSQL*>(&gLog);

void Called(const char* name) {
#ifdef QG_FAKE_THROWING
  throw std::runtime_error(std::string("fake client failure in ") + name);
#else
  std::lock_guard<std::mutex> lock(gLogMutex);
  gLog += name;
  gLog += ';';
#endif
}

}  // namespace

extern "C" {

const char* qgfake_call_log(void) {
  std::lock_guard<std::mutex> lock(gLogMutex);
  gLogCopy = gLog;
  return gLogCopy.c_str();
}

void qgfake_clear_log(void) {
  std::lock_guard<std::mutex> lock(gLogMutex);
  gLog.clear();
}

#ifdef QG_FAKE_HAS_INFOV
my_bool mariadb_get_infov(MYSQL*, enum mariadb_value, void*, ...) {
  Called("mariadb_get_infov");
  return 1;
}
#endif

const char* mysql_get_client_info(void) {
  Called("mysql_get_client_info");
  return QG_FAKE_VERSION;
}
char* mysql_get_server_info(MYSQL*) {
  Called("mysql_get_server_info");
  return nullptr;
}
MYSQL* mysql_init(MYSQL*) {
  Called("mysql_init");
  return kHandle;
}
MYSQL* mysql_real_connect(MYSQL*, const char*, const char*, const char*, const char*,
                          unsigned int, const char*, unsigned long) {
  Called("mysql_real_connect");
  return nullptr;
}
void mysql_close(MYSQL*) { Called("mysql_close"); }
unsigned long mysql_escape_string(char* to, const char*, unsigned long) {
  Called("mysql_escape_string");
  if (to != nullptr) *to = '\0';
  return 0;
}
unsigned long mysql_real_escape_string(MYSQL*, char* to, const char*, unsigned long) {
  Called("mysql_real_escape_string");
  if (to != nullptr) *to = '\0';
  return 0;
}
int mysql_real_query(MYSQL*, const char*, unsigned long) {
  Called("mysql_real_query");
  return 1;
}
MYSQL_RES* mysql_store_result(MYSQL*) {
  Called("mysql_store_result");
  return nullptr;
}
MYSQL_RES* mysql_use_result(MYSQL*) {
  Called("mysql_use_result");
  return nullptr;
}
void mysql_free_result(MYSQL_RES*) { Called("mysql_free_result"); }
MYSQL_FIELD* mysql_fetch_fields(MYSQL_RES*) {
  Called("mysql_fetch_fields");
  return nullptr;
}
unsigned int mysql_num_fields(MYSQL_RES*) {
  Called("mysql_num_fields");
  return 0;
}
unsigned long* mysql_fetch_lengths(MYSQL_RES*) {
  Called("mysql_fetch_lengths");
  return nullptr;
}
void mysql_data_seek(MYSQL_RES*, unsigned long long) { Called("mysql_data_seek"); }
#ifndef QG_FAKE_WITHOUT_FETCH_ROW
MYSQL_ROW mysql_fetch_row(MYSQL_RES*) {
  Called("mysql_fetch_row");
  return nullptr;
}
#endif
my_ulonglong mysql_num_rows(MYSQL_RES*) {
  Called("mysql_num_rows");
  return 0;
}
my_ulonglong mysql_insert_id(MYSQL*) {
  Called("mysql_insert_id");
  return 0;
}
unsigned int mysql_errno(MYSQL*) {
  Called("mysql_errno");
  return 0;
}
const char* mysql_error(MYSQL*) {
  Called("mysql_error");
  return "";
}
my_ulonglong mysql_affected_rows(MYSQL*) {
  Called("mysql_affected_rows");
  return 0;
}
int mysql_next_result(MYSQL*) {
  Called("mysql_next_result");
  return -1;
}
int mysql_set_character_set(MYSQL*, const char*) {
  Called("mysql_set_character_set");
  return 0;
}
const char* mysql_character_set_name(MYSQL*) {
  Called("mysql_character_set_name");
  return "latin1";
}
int mysql_session_track_get_first(MYSQL*, enum enum_session_state_type, const char**,
                                  size_t*) {
  Called("mysql_session_track_get_first");
  return 1;
}
int mysql_session_track_get_next(MYSQL*, enum enum_session_state_type, const char**, size_t*) {
  Called("mysql_session_track_get_next");
  return 1;
}
int mysql_ssl_set(MYSQL*, const char*, const char*, const char*, const char*, const char*) {
  Called("mysql_ssl_set");
  return 0;
}
#ifndef QG_FAKE_WITHOUT_OPTIONS
int mysql_options(MYSQL*, enum mysql_option, const void*) {
  Called("mysql_options");
  return 0;
}
#endif

}  // extern "C"
