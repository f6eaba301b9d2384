#include "driver/core/value_holder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "driver/core/error_status.h"
#include "driver/core/host_interfaces.h"
#include "driver/core/value_bridge.h"
#include "support/frame/module_services.h"
#include "support/platform/error_codes.h"
#include "support/streams/fs_path.h"

CNAValueHolder::~CNAValueHolder() = default;

bool CNAValueHolder::bConvertTo(int32_t type) { return m_clValue.nConvertType(type) < 100; }

bool CNAValueHolder::bGetValue(CAny& out) const {
  out = m_clValue;
  return true;
}

const void* CNAValueHolder::pGetData() const {
  if (bHasNoType()) return nullptr;
  const void* text = nullptr;
  if (m_clValue.pclHolder()->vnGetTexte(&text) < 100 && text != nullptr) return text;
  return m_clValue.pValeur();
}

int32_t CNAValueHolder::nGetDataSize() const {
  if (bHasNoType()) return 0;
  int size = 0;
  if (m_clValue.pclHolder()->vnGetTailleSansFin(&size) >= 100) return 0;
  return size;
}

bool CNAValueHolder::bGetDecimal(qg::DecimalFields* out) const {
  if (out == nullptr) return false;
  CAny copy;
  const CAny* value = &m_clValue;
  if (m_clValue.GetType() != qg::kAnyDECIMAL) {
    if (m_clValue.bEstNull() || bHasNoType()) return false;
    copy = m_clValue;
    if (copy.nConvertType(qg::kAnyDECIMAL) >= 100) return false;
    value = &copy;
  }
  qg::IDecimal* decimal = nullptr;
  if (value->nGetDECIMAL(&decimal) != 0 || decimal == nullptr) return false;
  *out = decimal->m_stFields;
  return true;
}

int32_t CNAValueHolder::nCopyFrom(const CNAValueHolder& source, INACopyContext* context) {
  if (context != nullptr && context->pFindCopy(&source) == nullptr) {
    context->bRegisterCopy(&source, this);
  }
  m_clValue = source.m_clValue;
  return 0;
}

CNAValueHolder* CNAValueHolder::pclClone(INACopyContext* context) {
  auto* copy = new (std::nothrow) CNAValueHolder();
  if (copy == nullptr) return nullptr;
  copy->nCopyFrom(*this, context);
  return NAAddRef(copy);
}

bool CNAValueHolder::bEquals(const CNAValueHolder& other) const {
  bool a_none = m_clValue.bEstNull() || bHasNoType();
  bool b_none = other.m_clValue.bEstNull() || other.bHasNoType();
  if (a_none || b_none) return a_none && b_none;
  int32_t result = 0;
  int32_t status = qg::CallCalc(qg::kCalcEgalite, m_clValue.pValeur(), m_clValue.GetType(),
                                other.m_clValue.pValeur(), other.m_clValue.GetType(), &result);
  return status < 100 && result != 0;
}

uint32_t CNAValueHolder::nChecksum() const {
  const auto* data = static_cast<const uint8_t*>(pGetData());
  int32_t size = nGetDataSize();
  if (data == nullptr || size <= 0) return 0;
  uint32_t sum = 0;
  int32_t i = 0;
  for (; i + 4 <= size; i += 4) {
    uint32_t word;
    std::memcpy(&word, data + i, 4);
    sum += word;
  }
  for (; i < size; ++i) sum += data[i];
  return sum;
}

bool CNAValueHolder::bIsEmpty() const {
  if (m_clValue.bEstNull() || bHasNoType()) return true;
  int code = m_clValue.nGetCode();
  const void* data = pGetData();
  switch (code) {
    case 16: case 20: case 24: case 25: case 81: case 110:
      return data == nullptr || *static_cast<const char16_t*>(data) == 0 || nGetDataSize() == 0;
    case 17: case 18: case 19: case 21: case 22: case 23: case 128: case 129: case 134:
      return data == nullptr || *static_cast<const char*>(data) == 0 || nGetDataSize() == 0;
    default:
      return false;
  }
}

bool CNAValueHolder::bIsZero() const {
  if (m_clValue.bEstNull() || bHasNoType()) return true;
  int code = m_clValue.nGetCode();
  if (code < 1 || code > 14) return false;
  CAny copy(m_clValue);
  double r = 1;
  if (copy.nConvertType(12) >= 100 || copy.nGetR8(&r) >= 100) return false;
  return r == 0;
}

bool CNAValueHolder::bDumpValue(CXYString<char16_t>& out) const {
  return nNAValueText(out, u"", &m_clValue, true) == 0;
}

namespace {

std::u16string SystemText(int err) {
  const char* text = qg::ErrorText(qg::ErrorFromErrno(err));
  std::u16string out;
  for (const char* p = text != nullptr ? text : ""; *p != 0; ++p) {
    out += static_cast<char16_t>(static_cast<unsigned char>(*p));
  }
  return out;
}

}  // namespace

bool CNAValueHolder::bLoadFromFile(const char16_t* path, bool text, CNAError* error) {
  const char16_t* shown = path != nullptr ? path : u"";
  auto refuse = [&](int err) {
    NASetErrorMessage(error, 0, 7, 1, nullptr, 15u, shown, SystemText(err).c_str());
    return false;
  };
  std::string system = path != nullptr && path[0] != 0 ? qg::SystemPath(path) : std::string();
  if (system.empty()) return refuse(ENOENT);
  // Only a regular file is read. It is opened without waiting, so that a
  // FIFO with no writer or a device cannot hold the caller, and checked
  // on the descriptor that is read (no window for a swap in between).
  int fd = -1;
  do {
    fd = ::open(system.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return refuse(errno);
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat st;
  if (::fstat(fd, &st) != 0) return refuse(errno);
  if (S_ISDIR(st.st_mode)) return refuse(EISDIR);
  if (!S_ISREG(st.st_mode)) return refuse(EINVAL);
  // A value holds at most INT_MAX bytes; a larger file cannot be taken.
  if (st.st_size > INT_MAX) {
    NASetErrorMessage(error, 0, 7, 0, nullptr, 12u);
    return false;
  }
  std::string content;
  try {
    content.resize(static_cast<size_t>(st.st_size));
  } catch (...) {
    NASetErrorMessage(error, 0, 7, 0, nullptr, 12u);
    return false;
  }
  // Reads in 16 KB steps, never past the size found at the start (a file
  // that grows meanwhile is read up to it; one that shrinks, to its end).
  size_t done = 0;
  while (done < content.size()) {
    size_t want = std::min<size_t>(16384, content.size() - done);
    ssize_t got = ::read(fd, content.data() + done, want);
    if (got < 0) {
      if (errno == EINTR) continue;
      return refuse(errno);
    }
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  content.resize(done);
  if (text) {
    m_clValue.SetDSTRA(content.data(), static_cast<int>(content.size()));
  } else {
    m_clValue.SetBIN(content.data(), static_cast<int>(content.size()));
  }
  return true;
}
