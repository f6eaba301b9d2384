#include "support/streams/path_functions.h"

#include <gtest/gtest.h>

#include <string>

#include "support/streams/disk_file.h"

namespace {

using std::u16string;

struct SplitCase {
  const char16_t* path;
  const char16_t* root;
  const char16_t* directory;  // without the root
  const char16_t* name;
  const char16_t* extension;
  const char16_t* without_extension;
};

// Drive, network, relative and POSIX-shaped paths, dots in directories,
// names without extension and names that are only an extension.
const SplitCase kSplitCases[] = {
    {u"C:\\dir\\sub\\file.txt", u"C:", u"\\dir\\sub\\", u"file", u".txt",
     u"C:\\dir\\sub\\file"},
    {u"c:file.tar.gz", u"c:", u"", u"file.tar", u".gz", u"c:file.tar"},
    {u"\\\\server\\share\\dir\\a.b", u"\\\\server\\share", u"\\dir\\", u"a", u".b",
     u"\\\\server\\share\\dir\\a"},
    {u"//server/share/x", u"//server/share", u"/", u"x", u"", u"//server/share/x"},
    {u"/tmp/dir.d/file", u"", u"/tmp/dir.d/", u"file", u"", u"/tmp/dir.d/file"},
    {u"dir.v2\\noext", u"", u"dir.v2\\", u"noext", u"", u"dir.v2\\noext"},
    {u"mixed/sep\\name.", u"", u"mixed/sep\\", u"name", u".", u"mixed/sep\\name"},
    {u".profile", u"", u"", u"", u".profile", u""},
    {u"file.txt", u"", u"", u"file", u".txt", u"file"},
    {u"C:\\", u"C:", u"\\", u"", u"", u"C:\\"},
    {u"", u"", u"", u"", u"", u""},
};

TEST(PathFunctionsTest, SplitsAndRootsFollowTheTable) {
  for (const SplitCase& c : kSplitCases) {
    SCOPED_TRACE(std::string(c.path, c.path + u16string(c.path).size()));
    char16_t root[qg::kPathCapacity], dir[qg::kPathCapacity], name[qg::kPathCapacity],
        ext[qg::kPathCapacity];
    ASSERT_TRUE(CDiskFile::SplitPath(c.path, root, dir, name, ext));
    EXPECT_EQ(u16string(root), c.root);
    EXPECT_EQ(u16string(dir), c.directory);
    EXPECT_EQ(u16string(name), c.name);
    EXPECT_EQ(u16string(ext), c.extension);

    char16_t folder[qg::kPathCapacity];
    ASSERT_TRUE(CDiskFile::SplitPath(c.path, folder, name, ext));
    EXPECT_EQ(u16string(folder), u16string(c.root) + c.directory);

    char16_t out[qg::kPathCapacity];
    EXPECT_EQ(GetPathRoot(c.path, out), static_cast<int>(u16string(c.root).size()));
    EXPECT_EQ(u16string(out), c.root);
    EXPECT_EQ(GetPathWithoutExtension(c.path, out),
              static_cast<int>(u16string(c.without_extension).size()));
    EXPECT_EQ(u16string(out), c.without_extension);

    char16_t file[qg::kPathCapacity];
    SplitDirectoryAndFileName(c.path, out, file);
    EXPECT_EQ(u16string(out) + file, c.path);
    EXPECT_EQ(u16string(file), u16string(c.name) + c.extension);
  }
}

TEST(PathFunctionsTest, GetPathDirectoryAndLastSeparator) {
  char16_t out[qg::kPathCapacity];
  EXPECT_EQ(GetPathDirectory(u"C:\\a/b\\c.txt", out), 7);
  EXPECT_EQ(u16string(out), u"C:\\a/b\\");
  EXPECT_EQ(GetPathDirectory(u"name", out), 0);
  EXPECT_EQ(u16string(out), u"");

  const char16_t* path = u"a/b\\c";
  EXPECT_EQ(FindLastSeparator(path), path + 3);
  EXPECT_EQ(FindLastSeparator(path, 3), path + 1);  // only the first 3 characters
  EXPECT_EQ(FindLastSeparator(path, 1), nullptr);
  EXPECT_EQ(FindLastSeparator(nullptr), nullptr);
}

TEST(PathFunctionsTest, SplitRefusesPathsAbove260) {
  u16string longest(260, u'a');
  u16string too_long(261, u'a');
  char16_t root[qg::kPathCapacity], dir[qg::kPathCapacity], name[qg::kPathCapacity],
      ext[qg::kPathCapacity];
  EXPECT_TRUE(CDiskFile::SplitPath(longest.c_str(), root, dir, name, ext));
  EXPECT_EQ(u16string(name), longest);
  EXPECT_FALSE(CDiskFile::SplitPath(too_long.c_str(), root, dir, name, ext));
  EXPECT_EQ(name[0], 0);
  // Parts may be left out.
  EXPECT_TRUE(CDiskFile::SplitPath(u"x\\y.z", nullptr, nullptr, name, nullptr));
  EXPECT_EQ(u16string(name), u"y");
}

TEST(PathFunctionsTest, MakePathAddsSeparatorAndDotOnlyWhereMissing) {
  struct Case {
    const char16_t* folder;
    const char16_t* name;
    const char16_t* extension;
    const char16_t* expected;
  } cases[] = {
      {u"C:\\dir", u"file", u"txt", u"C:\\dir\\file.txt"},
      {u"C:\\dir\\", u"file", u".txt", u"C:\\dir\\file.txt"},
      {u"/tmp/", u"file", u"", u"/tmp/file"},
      {u"", u"file", u"txt", u"file.txt"},
      {nullptr, u"file", nullptr, u"file"},
  };
  for (const Case& c : cases) {
    char16_t out[qg::kPathCapacity];
    EXPECT_TRUE(CDiskFile::MakePath(out, c.folder, c.name, c.extension));
    EXPECT_EQ(u16string(out), c.expected);
  }
}

TEST(PathFunctionsTest, ResourcePathStaysWithin260Characters) {
  char16_t out[qg::kPathCapacity];
  ASSERT_TRUE(MakeResourcePath(out, u"C:\\res", u"main"));
  EXPECT_EQ(u16string(out), u"C:\\res\\main.jnres");

  // 255-character directory: the whole would pass 260.
  u16string dir255(255, u'd');
  EXPECT_FALSE(MakeResourcePath(out, dir255.c_str(), u"x"));
  EXPECT_EQ(out[0], 0);

  // Exactly 260 characters fit; 261 do not.
  u16string dir(250, u'd');  // + '\' + name + ".jnres"
  EXPECT_TRUE(MakeResourcePath(out, dir.c_str(), u"abc"));
  EXPECT_EQ(u16string(out).size(), 260u);
  EXPECT_FALSE(MakeResourcePath(out, dir.c_str(), u"abcd"));
}

TEST(PathFunctionsTest, EndSlashAddedAndRemovedOnce) {
  char16_t path[qg::kPathCapacity] = u"C:\\dir";
  EXPECT_TRUE(AddEndSlash(path));
  EXPECT_EQ(u16string(path), u"C:\\dir\\");
  EXPECT_TRUE(AddEndSlash(path));
  EXPECT_EQ(u16string(path), u"C:\\dir\\");
  char16_t empty[4] = u"";
  EXPECT_TRUE(AddEndSlash(empty));
  EXPECT_EQ(empty[0], 0);
  char16_t full[4] = u"abc";
  EXPECT_FALSE(AddEndSlash(full, 4));  // no room for the separator
  EXPECT_EQ(u16string(full), u"abc");

  struct Case {
    const char16_t* in;
    const char16_t* out;
  } cases[] = {{u"C:\\dir\\", u"C:\\dir"}, {u"/tmp/x/", u"/tmp/x"}, {u"C:\\dir", u"C:\\dir"},
               {u"C:\\", u"C:\\"},         {u"/", u"/"},            {u"a\\\\", u"a\\"}};
  for (const Case& c : cases) {
    char16_t buffer[qg::kPathCapacity];
    std::char_traits<char16_t>::copy(buffer, c.in, u16string(c.in).size() + 1);
    CDiskFile::DirectoryWithoutEndSlash(buffer);
    EXPECT_EQ(u16string(buffer), c.out);
  }
}

}  // namespace
