// Path texts: pure functions on UTF-16 path texts that keep the Windows
// rules (drive roots, network shares, '\' and '/' both separators). They
// never touch the file system; the system boundary is in fs_path.h.
//
// Output buffers hold kPathCapacity units (260 characters and the
// terminator) unless a capacity is passed. Every output pointer may be
// null when the caller does not want that part.
#ifndef QG_SUPPORT_STREAMS_PATH_FUNCTIONS_H_
#define QG_SUPPORT_STREAMS_PATH_FUNCTIONS_H_

#include <cstddef>

namespace qg {

// Longest path text a fixed buffer holds, and the buffer's size in units.
constexpr int kMaxPath = 260;
constexpr int kPathCapacity = kMaxPath + 1;

inline bool IsPathSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

}  // namespace qg

// Appends '\' unless the path is empty or already ends with a separator.
// False (path unchanged) when the result would not fit capacity units.
bool AddEndSlash(char16_t* path, size_t capacity = qg::kPathCapacity);

// directory + '\' when missing + name + ".jnres". The result must stay
// below 261 characters, else out is the empty text and the result is false.
bool MakeResourcePath(char16_t* out, const char16_t* directory, const char16_t* name);

// The root of a path: "X:" for a drive path, "\\server\share" (either
// slash) for a network path, else empty. Returns the root's length.
int GetPathRoot(const char16_t* path, char16_t* root);

// The last '\' or '/' among the first n characters (n < 0: the whole
// text), or null.
const char16_t* FindLastSeparator(const char16_t* path, int n = -1);

// The directory part including its last separator (empty without one).
// Returns its length.
int GetPathDirectory(const char16_t* path, char16_t* directory);

// The path without the text from its last '.', where only a '.' after the
// last separator counts. Returns the length written.
int GetPathWithoutExtension(const char16_t* path, char16_t* out);

// directory with its root, name, and extension from the last '.' of the
// file name (the dot included).
void SplitDirectoryAndFileName(const char16_t* path, char16_t* directory, char16_t* file_name);

// The text forms behind CDiskFile's static path members.
namespace qg {

// root, directory without the root (with its last separator), file name,
// extension. False (every part empty) for a path above 260 characters.
bool SplitPath5(const char16_t* path, char16_t* root, char16_t* directory, char16_t* name,
                char16_t* extension);
// directory with its root, file name, extension.
bool SplitPath4(const char16_t* path, char16_t* folder, char16_t* name, char16_t* extension);
// folder + '\' when missing + name + '.' when missing + extension; false and
// the empty text when the result would reach 261 characters.
bool MakePath(char16_t* out, const char16_t* folder, const char16_t* name,
              const char16_t* extension);
// Removes one closing separator in place (a bare root such as "\" or
// "X:\" keeps it).
void DirectoryWithoutEndSlash(char16_t* folder);

}  // namespace qg

#endif  // QG_SUPPORT_STREAMS_PATH_FUNCTIONS_H_
