#include "support/streams/file_functions.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/platform/error_codes.h"
#include "support/streams/temp_dir_fixture.h"
#include "support/streams/xstream.h"

namespace {

class FileFunctionsTest : public qgtest::TempDirTest {};

TEST_F(FileFunctionsTest, DirectoryTreeCreatesParentsAndRefusesFiles) {
  ASSERT_TRUE(bCreateDirectoryTree(Path16("a/b\\c/").c_str()));
  EXPECT_TRUE(std::filesystem::is_directory(Path("a/b/c")));
  EXPECT_TRUE(bCreateDirectoryTree(Path16("a/b").c_str()));  // exists already
  EXPECT_TRUE(bCreateDirectoryTree(u"/"));

  WriteFile("plain", "x");
  EXPECT_FALSE(bCreateDirectoryTree(Path16("plain").c_str()));
  EXPECT_EQ(qg::GetLastError(), qg::kErrorAlreadyExists);
  EXPECT_FALSE(bCreateDirectoryTree(Path16("plain/sub").c_str()));
  EXPECT_EQ(qg::GetLastError(), qg::kErrorAlreadyExists);
  EXPECT_FALSE(bCreateDirectoryTree(u""));
}

TEST_F(FileFunctionsTest, AttributesExistenceAndDeletion) {
  WriteFile("f", "x");
  uint32_t attributes = 0, error = 99;
  ASSERT_TRUE(bGetFileAttributes(Path16("f").c_str(), &attributes, &error));
  EXPECT_EQ(attributes, qg::FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(error, 0u);
  ASSERT_TRUE(bGetFileAttributes(qgtest::U16(dir_).c_str(), &attributes, nullptr));
  EXPECT_EQ(attributes, qg::FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_FALSE(bGetFileAttributes(Path16("none").c_str(), &attributes, &error));
  EXPECT_EQ(attributes, qg::INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(error, qg::kErrorFileNotFound);

  EXPECT_TRUE(bFileExists(Path16("f").c_str()));
  ASSERT_TRUE(bDeleteFile(Path16("f").c_str()));
  EXPECT_FALSE(bFileExists(Path16("f").c_str()));
  EXPECT_FALSE(bDeleteFile(Path16("f").c_str()));
  EXPECT_EQ(qg::GetLastError(), qg::kErrorFileNotFound);
  EXPECT_FALSE(bDeleteFile(qgtest::U16(dir_).c_str()));
  EXPECT_EQ(qg::GetLastError(), qg::kErrorAccessDenied);

  EXPECT_NE(nGetDriveType(qgtest::U16(dir_).c_str()), qg::DRIVE_NO_ROOT_DIR);
  EXPECT_EQ(nGetDriveType(Path16("none/x").c_str()), qg::DRIVE_NO_ROOT_DIR);
}

}  // namespace
