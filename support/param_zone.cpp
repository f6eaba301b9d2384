#include "support/param_zone.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// POSIX names: "/" then the name as UTF-8; '/' inside is not allowed.
std::string NomPosix(const std::u16string& name) {
  std::string out = "/";
  for (char16_t c : name) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

bool bNomValide(const std::u16string& name) {
  return !name.empty() && name.size() < 200 && name.find(u'/') == std::u16string::npos;
}

// A non-blocking lock on byte 0 of the open object: F_RDLCK while held,
// F_WRLCK to learn whether anyone else holds it.
bool bVerrou(int fd, short type) {
  struct flock fl {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = 0;
  fl.l_len = 1;
  while (fcntl(fd, F_OFD_SETLK, &fl) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

// Unlinks the zones named base, base0, base1, ... that no one holds. A zone
// of size 0 is being created (its creator locks it before sizing it) and
// is left alone.
void BalaieZonesOrphelines(const std::string& posix_base) {
  DIR* dir = opendir("/dev/shm");
  if (dir == nullptr) return;
  const std::string base = posix_base.substr(1);
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.compare(0, base.size(), base) != 0) continue;
    if (name.find_first_not_of("0123456789", base.size()) != std::string::npos) continue;
    const int fd = shm_open(("/" + name).c_str(), O_RDWR, 0);
    if (fd < 0) continue;
    struct stat st;
    if (fstat(fd, &st) == 0 && st.st_size > 0 && bVerrou(fd, F_WRLCK)) {
      shm_unlink(("/" + name).c_str());
    }
    close(fd);
  }
  closedir(dir);
}

// Fields are read by copy: the zone's layout leaves them unaligned.
bool bLit32(const uint8_t* p, size_t size, size_t* at, int32_t* v) {
  if (size - *at < 4) return false;
  std::memcpy(v, p + *at, 4);
  *at += 4;
  return true;
}

void Ecrit32(std::vector<uint8_t>& out, int32_t v) {
  const size_t at = out.size();
  out.resize(at + 4);
  std::memcpy(out.data() + at, &v, 4);
}

}  // namespace

bool bLitZone(const uint8_t* bytes, size_t size, ContenuZone* out) {
  *out = ContenuZone();
  if (bytes == nullptr || size < 2) return false;
  std::memcpy(&out->nEntete, bytes, 2);
  size_t at = 2;
  for (auto& array : out->tab) {
    int32_t count;
    // Each entry takes at least 8 bytes.
    if (!bLit32(bytes, size, &at, &count) || count < 0 ||
        static_cast<size_t>(count) > (size - at) / 8) {
      return false;
    }
    array.resize(static_cast<size_t>(count));
    for (CBufferParam& entry : array) {
      int32_t n;
      if (!bLit32(bytes, size, &at, &entry.nCle) || !bLit32(bytes, size, &at, &n) || n < 0 ||
          static_cast<size_t>(n) > size - at) {
        return false;
      }
      entry.octets.assign(bytes + at, bytes + at + n);
      at += static_cast<size_t>(n);
    }
  }
  return true;
}

std::vector<uint8_t> EcritZone(const ContenuZone& zone) {
  std::vector<uint8_t> out(2);
  std::memcpy(out.data(), &zone.nEntete, 2);
  for (const auto& array : zone.tab) {
    Ecrit32(out, static_cast<int32_t>(array.size()));
    for (const CBufferParam& entry : array) {
      Ecrit32(out, entry.nCle);
      Ecrit32(out, static_cast<int32_t>(entry.octets.size()));
      out.insert(out.end(), entry.octets.begin(), entry.octets.end());
    }
  }
  return out;
}

CBufferParam ParamTexte(int32_t key, const std::u16string& text) {
  CBufferParam p;
  p.nCle = key;
  const auto* b = reinterpret_cast<const uint8_t*>(text.c_str());
  p.octets.assign(b, b + (text.size() + 1) * sizeof(char16_t));
  return p;
}

CBufferParam ParamNombre(int32_t key, int32_t value) {
  CBufferParam p;
  p.nCle = key;
  p.octets.resize(4);
  std::memcpy(p.octets.data(), &value, 4);
  return p;
}

CTransBufferParam::~CTransBufferParam() { Libere(); }

void CTransBufferParam::Libere() {
  if (m_nFd < 0) return;
  // No other holder: the zone goes with us.
  if (bVerrou(m_nFd, F_WRLCK)) shm_unlink(NomPosix(m_clNom).c_str());
  close(m_nFd);  // drops the lock
  m_nFd = -1;
}

bool CTransBufferParam::bOuvre(const char16_t* name) {
  Libere();
  if (name == nullptr || !bNomValide(name)) return false;
  const int fd = shm_open(NomPosix(name).c_str(), O_RDWR | O_CLOEXEC, 0);
  if (fd < 0) return false;
  struct stat st;
  bool ok = bVerrou(fd, F_RDLCK);
  if (ok && fstat(fd, &st) == 0 && st.st_size > 0) {
    const size_t size = static_cast<size_t>(st.st_size);
    void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (p != MAP_FAILED) {
      // The content is copied out: another process may change the mapping.
      std::vector<uint8_t> copy(static_cast<uint8_t*>(p), static_cast<uint8_t*>(p) + size);
      munmap(p, size);
      ok = bLitZone(copy.data(), copy.size(), &m_clContenu);
    } else {
      ok = false;
    }
  } else {
    ok = false;
  }
  if (!ok) {
    close(fd);
    return false;
  }
  m_clNom = name;
  m_nFd = fd;
  return true;
}

std::u16string CTransBufferParam::ChoisitNomLibre(const char16_t* base) {
  const std::u16string root = base != nullptr ? base : u"";
  struct stat st;
  for (int i = -1; i < 100000; ++i) {
    std::u16string name = root;
    if (i >= 0) {
      for (char c : std::to_string(i)) name += static_cast<char16_t>(c);
    }
    const int fd = shm_open(NomPosix(name).c_str(), O_RDONLY, 0);
    if (fd < 0) return name;
    const bool exists = fstat(fd, &st) == 0;
    close(fd);
    if (!exists) return name;
  }
  return u"";
}

bool CTransBufferParam::bCree(const char16_t* base, const ContenuZone& zone) {
  Libere();
  const std::vector<uint8_t> bytes = EcritZone(zone);
  if (base != nullptr && bNomValide(base)) BalaieZonesOrphelines(NomPosix(base));
  for (int attempt = 0; attempt < 16; ++attempt) {
    const std::u16string name = ChoisitNomLibre(base);
    if (!bNomValide(name)) return false;
    const std::string posix = NomPosix(name);
    const int fd = shm_open(posix.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;  // taken meanwhile: the next free name
      return false;
    }
    // Held before it is sized: a sweep leaves empty zones alone.
    bool ok = bVerrou(fd, F_RDLCK) && ftruncate(fd, static_cast<off_t>(bytes.size())) == 0;
    if (ok) {
      void* p = mmap(nullptr, bytes.size(), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
      ok = p != MAP_FAILED;
      if (ok) {
        std::memcpy(p, bytes.data(), bytes.size());
        munmap(p, bytes.size());
      }
    }
    if (!ok) {
      shm_unlink(posix.c_str());
      close(fd);
      return false;
    }
    m_clNom = name;
    m_nFd = fd;
    m_clContenu = zone;
    return true;
  }
  return false;
}

const CBufferParam* CTransBufferParam::pclCherche(int32_t key) const {
  for (const CBufferParam& p : m_clContenu.tab[2]) {
    if (p.nCle == key) return &p;
  }
  return nullptr;
}

std::u16string CTransBufferParam::Texte(int32_t key, const std::u16string& defaut) const {
  const CBufferParam* p = pclCherche(key);
  if (p == nullptr) return defaut;
  std::u16string text(p->octets.size() / 2, u'\0');
  std::memcpy(text.data(), p->octets.data(), text.size() * 2);
  while (!text.empty() && text.back() == 0) text.pop_back();
  return text;
}

int32_t CTransBufferParam::nNombre(int32_t key, int32_t defaut) const {
  const CBufferParam* p = pclCherche(key);
  if (p == nullptr || p->octets.size() < 4) return defaut;
  int32_t v;
  std::memcpy(&v, p->octets.data(), 4);
  return v;
}
