// CFSPath: a path that fits inline up to 260 characters and moves into a
// host dynamic string beyond that, and the path forms at the system
// boundary.
//
// Path texts keep the Windows shape inside the library: '\' and '/' are
// both separators, and a path that reached the length limit carries the
// "\\?\" prefix. At the system boundary (SystemPath) the prefix is removed
// and every '\' becomes '/'. A full path is absolute against the process's
// current directory, with "." and ".." segments resolved in the text and
// '/' as its separator.
//
// The dynamic part takes its memory from the host's string memory: without
// it, a path above the inline limit cannot be stored (the setters then
// return false and leave the path empty).
#ifndef QG_SUPPORT_STREAMS_FS_PATH_H_
#define QG_SUPPORT_STREAMS_FS_PATH_H_

#include <string>

#include "support/streams/path_functions.h"
#include "support/xystring.h"

namespace qg {

// Length limits of a full path: longer paths go to the dynamic part with
// the "\\?\" prefix.
constexpr int kDirectoryPathLimit = 247;
constexpr int kFilePathLimit = 260;

// The full form of path against the current directory cwd (itself a full
// path). False for an empty path.
bool FullPathName(const char16_t* path, const char16_t* cwd, std::u16string* out);

// The current directory as UTF-16; empty when it cannot be read (the last
// error is then set).
std::u16string CurrentDirectory16();

// The text as the system takes it: "\\?\" (and "\\?\UNC\", which becomes
// "\\") removed, '\' turned into '/', UTF-8.
std::string SystemPath(const char16_t* path);

// The system's UTF-8 path text as UTF-16.
std::u16string FromSystemPath(const char* path);

}  // namespace qg

class CFSPath {
 public:
  CFSPath() { m_szInline[0] = 0; }
  // Inline text copied, dynamic part shared.
  CFSPath(const CFSPath& other);
  CFSPath& operator=(const CFSPath& other);
  ~CFSPath() = default;

  // Sets the text: the path's own text leaves it as it is; null or empty
  // clears; above 260 characters the text goes to the dynamic part and the
  // inline text is emptied; otherwise it is copied inline and the dynamic
  // part released. False (path cleared) when the dynamic part cannot be
  // allocated.
  bool bSet(const char16_t* text);
  // Inline text empty, dynamic part released.
  void Clear();
  int nGetLength() const;
  const char16_t* pszGet() const;
  bool bIsLong() const { return !m_strLong.bEstNull(); }
  // Removes one trailing '\' or '/'.
  void RemoveEndSlash();
  // Prepares room for n characters: with a dynamic part, reserves n there;
  // without one, moves the text into a new dynamic part when n exceeds 247
  // (directory) or 260, else cuts the inline text at n (zero-filling up to
  // n when the text is shorter). False when the dynamic part fails.
  bool SetLongueur(int n, bool directory);
  // The full form of path (see qg::FullPathName); one that reached the
  // limit (247 for a directory, 260 for a file) goes to the dynamic part
  // behind "\\?\". False and an empty path for an empty source or a
  // failure.
  bool bSetFullPath(const char16_t* path, bool directory);

 private:
  char16_t m_szInline[qg::kPathCapacity];
  CXYString<char16_t> m_strLong;
};

#endif  // QG_SUPPORT_STREAMS_FS_PATH_H_
