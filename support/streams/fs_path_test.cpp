#include "support/streams/fs_path.h"

#include <gtest/gtest.h>

#include <string>

#include "support/string_host_fixture.h"

namespace {

using std::u16string;

TEST(FullPathNameTest, ResolvesAgainstTheCurrentDirectory) {
  struct Case {
    const char16_t* path;
    const char16_t* expected;
  } cases[] = {
      {u"file.txt", u"/home/me/file.txt"},
      {u"./a/../b", u"/home/me/b"},
      {u"..\\..\\..\\x", u"/x"},  // never above the root
      {u"/tmp//a/./b/", u"/tmp/a/b/"},
      {u"\\tmp\\win\\style", u"/tmp/win/style"},
      {u"\\\\?\\/tmp/long", u"/tmp/long"},
      {u"/", u"/"},
      {u".", u"/home/me"},
  };
  for (const auto& c : cases) {
    u16string out;
    EXPECT_TRUE(qg::FullPathName(c.path, u"/home/me", &out));
    EXPECT_EQ(out, c.expected);
  }
  u16string out = u"stale";
  EXPECT_FALSE(qg::FullPathName(u"", u"/home/me", &out));
  EXPECT_TRUE(out.empty());
}

TEST(FullPathNameTest, SystemFormDropsPrefixAndTurnsBackslashes) {
  EXPECT_EQ(qg::SystemPath(u"\\\\?\\/tmp/a\\b"), "/tmp/a/b");
  EXPECT_EQ(qg::SystemPath(u"\\\\?\\UNC\\server\\share"), "//server/share");
  EXPECT_EQ(qg::SystemPath(u"dir\\\u00e9t\u00e9"), "dir/\xc3\xa9t\xc3\xa9");
  EXPECT_EQ(qg::FromSystemPath("/d/\xc3\xa9"), u"/d/\u00e9");
  EXPECT_EQ(qg::SystemPath(nullptr), "");
}

class FSPathTest : public qg::StringHostTest {};

TEST_F(FSPathTest, LongDirectoryGoesDynamicWithPrefixWhileFileStaysInline) {
  u16string path = u"/" + u16string(249, u'p');  // 250 characters, already full
  CFSPath dir;
  ASSERT_TRUE(dir.bSetFullPath(path.c_str(), true));
  EXPECT_TRUE(dir.bIsLong());
  EXPECT_EQ(u16string(dir.pszGet()), u"\\\\?\\" + path);
  EXPECT_EQ(qg::SystemPath(dir.pszGet()), std::string(path.begin(), path.end()));

  CFSPath file;
  ASSERT_TRUE(file.bSetFullPath(path.c_str(), false));
  EXPECT_FALSE(file.bIsLong());
  EXPECT_EQ(u16string(file.pszGet()), path);

  // The limit itself is reached at 260 for a file.
  u16string at_limit = u"/" + u16string(259, u'q');
  ASSERT_TRUE(file.bSetFullPath(at_limit.c_str(), false));
  EXPECT_TRUE(file.bIsLong());
  // Setting the path from its own text works on a copy.
  ASSERT_TRUE(file.bSetFullPath(file.pszGet(), false));
  EXPECT_EQ(u16string(file.pszGet()), u"\\\\?\\" + at_limit);
}

TEST_F(FSPathTest, SetTextSharesCopiesAndClears) {
  CFSPath p;
  u16string long_text(300, u'x');
  ASSERT_TRUE(p.bSet(long_text.c_str()));
  EXPECT_TRUE(p.bIsLong());
  EXPECT_EQ(p.nGetLength(), 300);
  {
    CFSPath copy(p);  // dynamic part shared
    EXPECT_EQ(copy.pszGet(), p.pszGet());
  }
  ASSERT_TRUE(p.bSet(u"short\\"));
  EXPECT_FALSE(p.bIsLong());
  p.RemoveEndSlash();
  EXPECT_EQ(u16string(p.pszGet()), u"short");
  EXPECT_TRUE(p.bSet(p.pszGet()));  // its own text: unchanged
  EXPECT_EQ(u16string(p.pszGet()), u"short");
  ASSERT_TRUE(p.bSet(nullptr));
  EXPECT_EQ(p.nGetLength(), 0);

  ASSERT_TRUE(p.bSet(u"abc"));
  ASSERT_TRUE(p.SetLongueur(248, true));  // above the directory limit: dynamic
  EXPECT_TRUE(p.bIsLong());
  EXPECT_EQ(u16string(p.pszGet()), u"abc");
  p.Clear();
  EXPECT_FALSE(p.bIsLong());
}

TEST(FSPathNoHostTest, LongPathWithoutHostMemoryFailsEmpty) {
  // Without the host's string memory only the inline form exists.
  qg::IStringMemory* saved = qg::Services().piStringMemory;
  qg::Services().piStringMemory = nullptr;
  CFSPath p;
  u16string long_text(300, u'x');
  EXPECT_FALSE(p.bSet(long_text.c_str()));
  EXPECT_EQ(p.nGetLength(), 0);
  EXPECT_TRUE(p.bSet(u"/tmp/ok"));
  qg::Services().piStringMemory = saved;
}

}  // namespace
