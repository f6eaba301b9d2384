// Reading files for the stand-in host and its command line: folders and
// files past a bound end in a one-line reason instead of an exception.
#ifndef QG_HOST_CORE_HOST_FILES_H_
#define QG_HOST_CORE_HOST_FILES_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qghost {

// The whole file, at most `limit` bytes: a folder, an unreadable file or
// one longer than the limit is refused with the reason in *why.
bool ReadBoundedFile(const std::string& path, size_t limit, std::string* bytes,
                     std::string* why);

// A stored test list: read no further than its own sizes say it reaches
// (the buffer header's size, then the list block's 32-bit size), nor past
// `limit`. Bytes that cannot be a list end the read early: the list's
// reader then refuses them.
bool ReadListFile(const std::string& path, size_t limit, std::vector<uint8_t>* bytes,
                  std::string* why);

}  // namespace qghost

#endif  // QG_HOST_CORE_HOST_FILES_H_
