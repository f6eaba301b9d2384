#include "driver/core/path_helpers.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

namespace {

struct Split4 {
  std::u16string folder, name, extension, file;
};

Split4 SplitAll(const char16_t* path) {
  char16_t folder[kNAPathCapacity], name[kNAPathCapacity], ext[kNAPathCapacity];
  char16_t folder2[kNAPathCapacity], file[kNAPathCapacity];
  SplitPathFolderNameExtension(path, folder, name, ext);
  SplitPathFolderFile(path, folder2, file);
  EXPECT_EQ(std::u16string(folder), std::u16string(folder2));
  return {folder, name, ext, file};
}

TEST(PathHelpers, SplitCases) {
  struct Case { const char16_t* path; const char16_t* folder; const char16_t* name; const char16_t* ext; };
  const Case cases[] = {
      {u"D:\\dir\\sub\\file.ext", u"D:\\dir\\sub\\", u"file", u".ext"},
      {u"archive.tar.gz", u"", u"archive.tar", u".gz"},
      {u"\\\\server\\share\\dir\\file.txt", u"\\\\server\\share\\dir\\", u"file", u".txt"},
      {u"//server/share/file", u"//server/share/", u"file", u""},
      {u"\\\\server\\share", u"\\\\server\\share", u"", u""},
      {u"C:file.txt", u"C:", u"file", u".txt"},
      {u"/usr/lib/libx.so.3", u"/usr/lib/", u"libx.so", u".3"},
      {u"dir.d/noext", u"dir.d/", u"noext", u""},  // a dot in the folder is no extension
      {u"", u"", u"", u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::u16string(c.path)));
    Split4 s = SplitAll(c.path);
    EXPECT_EQ(c.folder, s.folder);
    EXPECT_EQ(c.name, s.name);
    EXPECT_EQ(c.ext, s.extension);
    EXPECT_EQ(std::u16string(c.name) + c.ext, s.file);
  }
}

TEST(PathHelpers, LongPathGivesEmptyOutputsAndNullOutputsAreSkipped) {
  std::u16string longest(kNAPathCapacity - 1, u'a');
  longest[1] = u'\\';
  Split4 s = SplitAll(longest.c_str());  // 260 units: still split
  EXPECT_EQ(u"a\\", s.folder);
  EXPECT_EQ(258u, s.name.size());

  std::u16string too_long(kNAPathCapacity, u'a');
  too_long[1] = u'\\';
  s = SplitAll(too_long.c_str());
  EXPECT_EQ(u"", s.folder);
  EXPECT_EQ(u"", s.file);

  char16_t name[kNAPathCapacity];
  SplitPathFolderNameExtension(u"x/y.z", nullptr, name, nullptr);
  EXPECT_EQ(std::u16string(u"y"), name);
  SplitPathFolderFile(nullptr, nullptr, name);
  EXPECT_EQ(std::u16string(u""), name);
}

TEST(PathHelpers, QualifiedAndExpressionNames) {
  CTString qualifier, name;
  SplitQualifiedName(u"db.tab.col", qualifier, name);
  EXPECT_EQ(std::u16string(u"db"), qualifier.pszGet());
  EXPECT_EQ(std::u16string(u"tab.col"), name.pszGet());
  SplitQualifiedName(u"other.t", qualifier, name);  // a given qualifier stays
  EXPECT_EQ(std::u16string(u"db"), qualifier.pszGet());
  EXPECT_EQ(std::u16string(u"t"), name.pszGet());
  CTString none;
  SplitQualifiedName(u"plain", none, name);
  EXPECT_TRUE(none.bEstVide());
  EXPECT_EQ(std::u16string(u"plain"), name.pszGet());

  CTString expr;
  FormatExprName(expr, 7);
  EXPECT_EQ(std::u16string(u"Expr7"), expr.pszGet());
  FormatExprName(expr, -12);
  EXPECT_EQ(std::u16string(u"Expr-12"), expr.pszGet());
}

TEST(PathHelpers, NativeLibraryPath) {
  EXPECT_FALSE(bSetNativeLibraryPath(nullptr));
  EXPECT_TRUE(GetNativeLibraryPath().bEstVide());
  void* libc = dlopen("libc.so.6", RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(nullptr, libc);
  EXPECT_TRUE(bSetNativeLibraryPath(libc));
  dlclose(libc);
  std::u16string path = GetNativeLibraryPath().pszGet();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(u'/', path[0]);
  EXPECT_NE(std::u16string::npos, path.find(u"libc.so.6"));
  EXPECT_FALSE(bSetNativeLibraryPath(nullptr));
  EXPECT_EQ(path, GetNativeLibraryPath().pszGet());  // a failure keeps what was stored
}

}  // namespace
