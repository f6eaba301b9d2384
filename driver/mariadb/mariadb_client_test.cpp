#include "driver/mariadb/mariadb_client.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <climits>
#include <string>

#include "driver/core/path_helpers.h"
#include "driver/mariadb/client_entry_points.h"
#include "driver/mariadb/client_version.h"
#include "driver/mariadb/testing/process.h"
#include "errors/module_errors.h"
#include "support/platform/error_codes.h"
#include "support/platform/module.h"

namespace {

std::u16string U16(const std::string& s) { return std::u16string(s.begin(), s.end()); }
std::string U8(const char16_t* s) {
  std::string out;
  for (; s != nullptr && *s != 0; ++s) out.push_back(static_cast<char>(*s));
  return out;
}

// Folder of this test binary, where the stand-in client libraries are built.
std::string BinaryFolder() {
  char path[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
  std::string p(path, n > 0 ? static_cast<size_t>(n) : 0);
  return p.substr(0, p.rfind('/') + 1);
}

std::string CurrentDirectory() {
  char buffer[PATH_MAX];
  return getcwd(buffer, sizeof(buffer)) != nullptr ? buffer : "";
}

// The call log of a stand-in library.
std::string FakeLog() {
  auto log = reinterpret_cast<const char* (*)()>(
      qg::FindSymbol(CNAMariaDBClient::hGetModule(), "qgfake_call_log"));
  return log != nullptr ? log() : "(no log)";
}

void ClearFakeLog() {
  auto clear = reinterpret_cast<void (*)()>(
      qg::FindSymbol(CNAMariaDBClient::hGetModule(), "qgfake_clear_log"));
  if (clear != nullptr) clear();
}

// The name a trap throws; empty when the call did not throw a CTString.
template <typename Call>
std::string TrapName(Call call) {
  try {
    call();
  } catch (const CTString& name) {
    return U8(name);
  } catch (...) {
    return "(other exception)";
  }
  return "";
}

std::u16string UserMessage(const CXError& error) { return error.pszGetUserMessage(); }

// A driver error as every binding site files it: module 76, error level,
// the message as identifier and only user message, the identifier as item
// 16 and the internal-error text naming the site.
void ExpectSiteError(const CXError& error, uint32_t message, const char* site) {
  EXPECT_EQ(76, error.nGetModule());
  EXPECT_EQ(XERR_ERROR, error.nGetNiveau());
  EXPECT_EQ(message, error.nGetIdentifier());
  ASSERT_EQ(1, error.nGetNbMessageId());
  EXPECT_EQ(message, error.nGetMessageId(0));
  const CXError::_stERRORINFO* item = error.pstGetInfo(EIT_NATIVECODE);
  ASSERT_NE(nullptr, item);
  EXPECT_EQ(message, item->nValue);
  std::u16string site_text = u"IEQGMARIA=" + U16(site) +
                             u"\r\nModule=<QGMARIA>\r\nVersion=<30.0.67.0>";
  EXPECT_NE(std::u16string::npos, std::u16string(error.pszGetDebugMessage()).find(site_text))
      << U8(error.pszGetDebugMessage());
}

bool Contains(const std::u16string& text, const char16_t* part) {
  return text.find(part) != std::u16string::npos;
}

size_t BoundSlotCount() {
  size_t bound = 0;
  for (size_t i = 0; i < qg::kMariaDBSlotCount; ++i) {
    if (!qg::IsClientTrapAddress(qg::GetClientSlot(i).pfnRead())) ++bound;
  }
  return bound;
}

class ClientBindingTest : public ::testing::Test {
 protected:
  void SetUp() override { CNAMariaDBClient::TermInstance(); }
  void TearDown() override {
    CNAMariaDBClient::TermInstance();
    if (!m_strTemp.empty()) qg::rig::RemoveTree(m_strTemp);
  }

  std::string TempFolder() {
    if (m_strTemp.empty()) {
      char pattern[] = "/tmp/qgclient.XXXXXX";
      m_strTemp = mkdtemp(pattern);
    }
    return m_strTemp + "/";
  }

  std::string m_strTemp;
};

TEST_F(ClientBindingTest, TrapsStandInForEveryFunctionBeforeLoading) {
  EXPECT_FALSE(CNAMariaDBClient::bIsLoaded());
  EXPECT_EQ(0u, BoundSlotCount());
  EXPECT_EQ("mysql_real_query", TrapName([] { gMariaDB.mysql_real_query(nullptr, "x", 1); }));
  EXPECT_EQ("mysql_get_client_info", TrapName([] { gMariaDB.mysql_get_client_info(); }));
  EXPECT_EQ("mysql_data_seek", TrapName([] { gMariaDB.mysql_data_seek(nullptr, 0); }));
  EXPECT_EQ("mysql_options", TrapName([] {
              gMariaDB.mysql_options(nullptr, MYSQL_SET_CHARSET_NAME, "utf8");
            }));
  // Names of the slots, in binding order: 20 required then 4 optional.
  EXPECT_STREQ("mysql_get_client_info", qg::GetClientSlot(0).pszName);
  EXPECT_STREQ("mysql_affected_rows", qg::GetClientSlot(19).pszName);
  EXPECT_TRUE(qg::GetClientSlot(19).bRequired);
  EXPECT_STREQ("mysql_next_result", qg::GetClientSlot(20).pszName);
  EXPECT_FALSE(qg::GetClientSlot(20).bRequired);
  EXPECT_STREQ("mysql_options", qg::GetClientSlot(23).pszName);
}

TEST_F(ClientBindingTest, DefaultNameLoadsTheSystemLibrary) {
  // Empty, absent and the stored Windows name all mean libmariadb.so.3.
  const char16_t* names[] = {nullptr, u"", u"libmariadb.dll", u"LibMariaDB.DLL"};
  for (const char16_t* name : names) {
    SCOPED_TRACE(name == nullptr ? "(null)" : U8(name));
    _CXErrorModule76 error;
    ASSERT_TRUE(CNAMariaDBClient::bLoad(&error, name));
    EXPECT_EQ(XERR_NONE, error.nGetNiveau());
    EXPECT_TRUE(CNAMariaDBClient::bIsLoaded());
    EXPECT_EQ(0, CNAMariaDBClient::GetLibraryPath().rfind("/usr/lib", 0))
        << CNAMariaDBClient::GetLibraryPath();
    EXPECT_TRUE(CNAMariaDBClient::GetDirectory().bEstVide());
    EXPECT_EQ(U16(CNAMariaDBClient::GetLibraryPath()),
              std::u16string(GetNativeLibraryPath().pszGet()));
    EXPECT_EQ(qg::kMariaDBSlotCount, BoundSlotCount());
    EXPECT_GE(gnClientVersionMajor, 3);
    EXPECT_EQ(std::string(gMariaDB.mysql_get_client_info()), U8(gstrClientVersion));
    EXPECT_TRUE(gbClientHasInfoV);
    EXPECT_TRUE(gbClientHasNextResult);
    std::string path = CNAMariaDBClient::GetLibraryPath();
    CNAMariaDBClient::TermInstance();
    EXPECT_TRUE(qg::IsModuleLoaded(path.c_str()));  // never unmapped
  }
}

TEST_F(ClientBindingTest, FolderHoldingALinkToTheSystemLibrary) {
  _CXErrorModule76 error;
  ASSERT_TRUE(CNAMariaDBClient::bLoad(&error, nullptr));
  std::string system_path = CNAMariaDBClient::GetLibraryPath();
  CNAMariaDBClient::TermInstance();

  std::string folder = TempFolder();
  ASSERT_EQ(0, symlink(system_path.c_str(), (folder + "libmariadb.so.3").c_str()));
  std::string cwd = CurrentDirectory();
  for (const char* file : {"libmariadb.so.3", "libmariadb.dll"}) {
    SCOPED_TRACE(file);
    ASSERT_TRUE(CNAMariaDBClient::bLoad(&error, U16(folder + file).c_str()));
    EXPECT_EQ(U16(folder), CNAMariaDBClient::GetDirectory().pszGet());
    EXPECT_EQ(qg::kMariaDBSlotCount, BoundSlotCount());
    EXPECT_EQ(cwd, CurrentDirectory());
    CNAMariaDBClient::TermInstance();
  }
}

TEST_F(ClientBindingTest, LoadFailuresReportMessage27) {
  std::string folder = TempFolder();
  ASSERT_TRUE(qg::rig::WriteFile(folder + "libbroken.so", "this is not a shared library\n"));
  struct Case {
    std::string name;
    uint32_t system_error;
  } cases[] = {
      // A folder is given: only that folder is tried, though the system has
      // the library.
      {folder + "libmariadb.so.3", qg::kErrorModNotFound},
      {"libqg_nowhere_to_be_found.so.9", qg::kErrorModNotFound},
      {folder + "libbroken.so", qg::kErrorBadExeFormat},
  };
  std::string cwd = CurrentDirectory();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    _CXErrorModule76 error;
    EXPECT_FALSE(CNAMariaDBClient::bLoad(&error, U16(c.name).c_str()));
    ExpectSiteError(error, 27, "9.1");
    EXPECT_TRUE(Contains(UserMessage(error), u"MariaDB")) << U8(error.pszGetUserMessage());
    // The message names the library and the process's width.
    EXPECT_TRUE(Contains(UserMessage(error), U16("<" + c.name + ">").c_str()))
        << U8(error.pszGetUserMessage());
    EXPECT_TRUE(Contains(UserMessage(error), u"64")) << U8(error.pszGetUserMessage());
    EXPECT_EQ(c.system_error, error.nGetSystemError());
    // A bad image names the library; other failures carry the system's text.
    std::u16string expected_text = c.system_error == qg::kErrorBadExeFormat
                                       ? U16(c.name)
                                       : qg::ErrorText16(c.system_error);
    EXPECT_EQ(expected_text, error.pszGetSystemMessage());
    EXPECT_FALSE(CNAMariaDBClient::bIsLoaded());
    EXPECT_EQ(0u, BoundSlotCount());
    EXPECT_EQ(cwd, CurrentDirectory());
    // Without an error record the failure is only the result.
    EXPECT_FALSE(CNAMariaDBClient::bLoad(nullptr, U16(c.name).c_str()));
  }
  // A failed load is not remembered: the next opening may succeed.
  _CXErrorModule76 error;
  EXPECT_TRUE(CNAMariaDBClient::bLoad(&error, nullptr));
}

TEST_F(ClientBindingTest, OwnFolderIsSearchedForAPlainName) {
  _CXErrorModule76 error;
  ASSERT_TRUE(CNAMariaDBClient::bLoad(&error, u"libqgfake_client.so"))
      << U8(error.pszGetSystemMessage());
  EXPECT_EQ(U16(BinaryFolder()), CNAMariaDBClient::GetDirectory().pszGet());
  EXPECT_EQ(qg::kMariaDBSlotCount, BoundSlotCount());
  EXPECT_EQ(u"10.5.8-fakeclient", std::u16string(gstrClientVersion.pszGet()));
  EXPECT_EQ(10, gnClientVersionMajor);
  EXPECT_EQ(5, gnClientVersionMinor);
  EXPECT_EQ(8, gnClientVersionPatch);
  EXPECT_TRUE(gbClientHasInfoV);
  // Entry points reach the library.
  ClearFakeLog();
  gMariaDB.mysql_init(nullptr);
  gMariaDB.mysql_options(nullptr, MYSQL_SET_CHARSET_NAME, "utf8");
  EXPECT_EQ("mysql_init;mysql_options;", FakeLog());
}

TEST_F(ClientBindingTest, MissingOptionalFunctionKeepsItsTrap) {
  _CXErrorModule76 error;
  ASSERT_TRUE(CNAMariaDBClient::bLoad(&error, u"libqgfake_no_options.so"));
  EXPECT_TRUE(CNAMariaDBClient::bIsLoaded());
  EXPECT_TRUE(qg::IsClientTrap(gMariaDB.mysql_options));
  EXPECT_FALSE(qg::IsClientTrap(gMariaDB.mysql_ssl_set));
  EXPECT_EQ(qg::kMariaDBSlotCount - 1, BoundSlotCount());
  EXPECT_EQ("mysql_options", TrapName([] {
              gMariaDB.mysql_options(nullptr, MYSQL_SET_CHARSET_NAME, "utf8");
            }));
  EXPECT_EQ(3, gnClientVersionMajor);
  EXPECT_EQ(23, gnClientVersionMinor);
  EXPECT_EQ(58, gnClientVersionPatch);
  EXPECT_FALSE(gbClientHasInfoV);
  EXPECT_TRUE(gbClientHasNextResult);
}

TEST_F(ClientBindingTest, MissingRequiredFunctionStopsAndIsRemembered) {
  _CXErrorModule76 error;
  EXPECT_FALSE(CNAMariaDBClient::bLoad(&error, u"libqgfake_no_fetch_row.so"));
  ExpectSiteError(error, 37, "9.2");
  EXPECT_TRUE(Contains(UserMessage(error), u"<mysql_fetch_row>")) << U8(error.pszGetUserMessage());
  EXPECT_EQ(0u, error.nGetSystemError());
  EXPECT_FALSE(CNAMariaDBClient::bIsLoaded());

  // Functions before it are bound, it and the ones after keep their traps:
  // they were not looked up.
  ClearFakeLog();
  gMariaDB.mysql_data_seek(nullptr, 0);
  EXPECT_EQ("mysql_data_seek;", FakeLog());
  EXPECT_EQ("mysql_fetch_row", TrapName([] { gMariaDB.mysql_fetch_row(nullptr); }));
  EXPECT_EQ("mysql_num_rows", TrapName([] { gMariaDB.mysql_num_rows(nullptr); }));
  EXPECT_TRUE(qg::IsClientTrap(gMariaDB.mysql_next_result));
  EXPECT_EQ(14u, BoundSlotCount());

  // Every later opening, whatever its setting, gets the same refusal rather
  // than the half-bound table.
  for (const char16_t* name : {u"libqgfake_no_fetch_row.so", static_cast<const char16_t*>(nullptr)}) {
    _CXErrorModule76 again;
    EXPECT_FALSE(CNAMariaDBClient::bLoad(&again, name));
    ExpectSiteError(again, 37, "9.2");
    EXPECT_EQ(UserMessage(error), UserMessage(again));
    EXPECT_EQ(14u, BoundSlotCount());
  }
  EXPECT_FALSE(CNAMariaDBClient::bLoad(nullptr, nullptr));
}

TEST_F(ClientBindingTest, ExceptionWhileReadingTheVersionIsMessage23) {
  _CXErrorModule76 error;
  EXPECT_FALSE(CNAMariaDBClient::bLoad(&error, u"libqgfake_throwing.so"));
  ExpectSiteError(error, 23, "101.7");
  EXPECT_TRUE(Contains(UserMessage(error), u"<MariaDB>")) << U8(error.pszGetUserMessage());
  // The client version (not read yet: empty) follows the site.
  std::u16string debug = error.pszGetDebugMessage();
  std::u16string tail = u"Version=<30.0.67.0>\r\nClient library version: ";
  EXPECT_EQ(debug.size() - tail.size(), debug.rfind(tail)) << U8(error.pszGetDebugMessage());
  EXPECT_FALSE(CNAMariaDBClient::bIsLoaded());
  EXPECT_EQ(-1, gnClientVersionMajor);
  EXPECT_TRUE(gstrClientVersion.bEstVide());
  // A library exception reaches the caller of an entry point as it is.
  EXPECT_EQ("(other exception)", TrapName([] { gMariaDB.mysql_init(nullptr); }));
}

TEST_F(ClientBindingTest, TermInstanceBringsTrapsBackAndKeepsTheLibraryMapped) {
  CNAMariaDBClient::TermInstance();  // nothing loaded: nothing happens
  EXPECT_EQ(nullptr, CNAMariaDBClient::hGetModule());

  _CXErrorModule76 error;
  ASSERT_TRUE(CNAMariaDBClient::bLoad(&error, u"libqgfake_client.so"));
  std::string path = CNAMariaDBClient::GetLibraryPath();
  ASSERT_FALSE(path.empty());
  CNAMariaDBClient::TermInstance();

  EXPECT_FALSE(CNAMariaDBClient::bIsLoaded());
  EXPECT_EQ(nullptr, CNAMariaDBClient::hGetModule());
  EXPECT_EQ(0u, BoundSlotCount());
  EXPECT_EQ("mysql_init", TrapName([] { gMariaDB.mysql_init(nullptr); }));
  EXPECT_EQ(-1, gnClientVersionMajor);
  EXPECT_EQ(0, gnClientVersionMinor);
  EXPECT_TRUE(gstrClientVersion.bEstVide());
  EXPECT_FALSE(gbClientHasInfoV);
  EXPECT_FALSE(gbClientHasNextResult);
  // Its last reference is gone, yet it stays mapped for its exit handlers.
  EXPECT_TRUE(qg::IsModuleLoaded(path.c_str()));

  // And it loads again.
  ASSERT_TRUE(CNAMariaDBClient::bLoad(&error, u"libqgfake_client.so"));
  EXPECT_EQ(10, gnClientVersionMajor);
}

}  // namespace
