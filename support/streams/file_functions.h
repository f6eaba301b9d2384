// File-system functions on path texts. Each takes the path's full form
// (see fs_path.h) and reports failure through the thread's last error.
#ifndef QG_SUPPORT_STREAMS_FILE_FUNCTIONS_H_
#define QG_SUPPORT_STREAMS_FILE_FUNCTIONS_H_

#include <cstdint>

namespace qg {

// Kinds of volume (nGetDriveType).
enum DriveType : int {
  DRIVE_UNKNOWN = 0,
  DRIVE_NO_ROOT_DIR = 1,
  DRIVE_REMOVABLE = 2,
  DRIVE_FIXED = 3,
  DRIVE_REMOTE = 4,
  DRIVE_CDROM = 5,
  DRIVE_RAMDISK = 6,
};

}  // namespace qg

// Deletes a file (a directory is refused with error 5).
bool bDeleteFile(const char16_t* path);
// True when the path's attributes can be read.
bool bFileExists(const char16_t* path);
// FILE_ATTRIBUTE_DIRECTORY for a directory, FILE_ATTRIBUTE_READONLY for an
// entry its owner may not write, else FILE_ATTRIBUTE_NORMAL. False (and
// INVALID_FILE_ATTRIBUTES) when the path cannot be read; *error (when
// given) receives the system error.
bool bGetFileAttributes(const char16_t* path, uint32_t* attributes, uint32_t* error);
// Creates the directory and every missing parent. An existing directory
// succeeds; an existing file on the way fails with error 183.
bool bCreateDirectoryTree(const char16_t* path);
// The kind of volume that holds the path: DRIVE_REMOTE for network file
// systems, DRIVE_RAMDISK for memory ones, DRIVE_CDROM for ISO 9660,
// DRIVE_FIXED otherwise, DRIVE_NO_ROOT_DIR when the path does not exist.
int nGetDriveType(const char16_t* path);

#endif  // QG_SUPPORT_STREAMS_FILE_FUNCTIONS_H_
