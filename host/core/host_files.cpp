#include "host/core/host_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace qghost {

namespace {

// Opens for reading; -1 with the reason for a folder, a pipe or socket, or
// a failure. The open never waits: a named pipe nobody writes would
// otherwise hold the caller forever.
int OpenForRead(const std::string& path, std::string* why) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    *why = path + ": " + std::strerror(errno);
    return -1;
  }
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    *why = path + " is a folder, not a file";
    return -1;
  }
  if (fstat(fd, &st) != 0 || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode) ||
      fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    ::close(fd);
    *why = path + " is not a regular file";
    return -1;
  }
  return fd;
}

// Appends up to n more bytes; false on a read error (the end of the file
// is not one).
bool ReadUpTo(int fd, size_t n, std::string* out, std::string* why, const std::string& path) {
  char chunk[65536];
  while (n > 0) {
    const ssize_t got = ::read(fd, chunk, n < sizeof(chunk) ? n : sizeof(chunk));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      *why = path + ": " + std::strerror(errno);
      return false;
    }
    if (got == 0) break;
    out->append(chunk, static_cast<size_t>(got));
    n -= static_cast<size_t>(got);
  }
  return true;
}

uint32_t Le32(const std::string& b, size_t at) {
  uint32_t v = 0;
  std::memcpy(&v, b.data() + at, 4);
  return v;
}

}  // namespace

bool ReadBoundedFile(const std::string& path, size_t limit, std::string* bytes,
                     std::string* why) {
  bytes->clear();
  const int fd = OpenForRead(path, why);
  if (fd < 0) return false;
  const bool ok = ReadUpTo(fd, limit == SIZE_MAX ? limit : limit + 1, bytes, why, path);
  ::close(fd);
  if (!ok) return false;
  if (bytes->size() > limit) {
    bytes->clear();
    *why = path + " is longer than " + std::to_string(limit) + " bytes";
    return false;
  }
  return true;
}

bool ReadListFile(const std::string& path, size_t limit, std::vector<uint8_t>* bytes,
                  std::string* why) {
  bytes->clear();
  const int fd = OpenForRead(path, why);
  if (fd < 0) return false;
  std::string b;
  // Buffer header: its own size first (at least 12 bytes), then the list
  // block's size, which counts itself.
  bool ok = ReadUpTo(fd, 12, &b, why, path);
  if (ok && b.size() == 12) {
    const uint32_t header = Le32(b, 0);
    if (header >= 12 && header <= limit - 4) {
      ok = ReadUpTo(fd, header + 4 - b.size(), &b, why, path);
      if (ok && b.size() == header + 4) {
        const uint32_t size = Le32(b, header);
        // A list block runs to header + size; a compressed body may run
        // further, but never past a file's own length.
        size_t end = size >= 4 && size <= limit - header ? header + size : b.size();
        struct stat st;
        if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
            static_cast<uint64_t>(st.st_size) <= limit) {
          end = static_cast<size_t>(st.st_size);
        }
        if (end > b.size()) ok = ReadUpTo(fd, end - b.size(), &b, why, path);
      }
    }
  }
  ::close(fd);
  if (!ok) return false;
  bytes->assign(b.begin(), b.end());
  return true;
}

}  // namespace qghost
