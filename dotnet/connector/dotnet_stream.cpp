#include "dotnet/connector/dotnet_stream.h"

namespace qgnet {

CDotNetStream::CDotNetStream(ManagedId stream, std::u16string name) : m_name(std::move(name)) {
  const ManagedTable* clr = ClrIfStarted();
  if (clr != nullptr && stream != 0) m_stream.reset(clr->CopyHandle(stream));
}

CDotNetStream::~CDotNetStream() = default;

bool CDotNetStream::bWrite(const void*, uint32_t, uint32_t* written) {
  if (written != nullptr) *written = 0;
  return true;
}

bool CDotNetStream::bWriteAt(int64_t, const void*, uint32_t, uint32_t* written) {
  if (written != nullptr) *written = 0;
  return true;
}

bool CDotNetStream::bRead(void* buffer, uint32_t n, uint32_t* read) {
  if (read != nullptr) *read = 0;
  const ManagedTable* clr = ClrIfStarted();
  int32_t got = 0;
  if (clr == nullptr || clr->StreamRead(m_stream.get(), buffer, static_cast<int32_t>(n), &got) !=
                            kBridgeOk) {
    return false;
  }
  if (read != nullptr) *read = static_cast<uint32_t>(got);
  return true;
}

bool CDotNetStream::bReadAt(int64_t offset, void* buffer, uint32_t n, uint32_t* read) {
  return bSeek(offset, qg::FILE_BEGIN) && bRead(buffer, n, read);
}

bool CDotNetStream::bSeek(int64_t distance, uint32_t method) {
  const ManagedTable* clr = ClrIfStarted();
  return clr != nullptr && clr->StreamSeek(m_stream.get(), distance, static_cast<int32_t>(method)) >= 0;
}

int64_t CDotNetStream::nGetSize() {
  const ManagedTable* clr = ClrIfStarted();
  return clr != nullptr ? clr->StreamInfo(m_stream.get(), 0) : -1;
}

int64_t CDotNetStream::nSeekToEnd() {
  const ManagedTable* clr = ClrIfStarted();
  return clr != nullptr ? clr->StreamSeek(m_stream.get(), 0, qg::FILE_END) : -1;
}

int64_t CDotNetStream::nGetPosition() {
  const ManagedTable* clr = ClrIfStarted();
  return clr != nullptr ? clr->StreamInfo(m_stream.get(), 1) : -1;
}

uint32_t CDotNetStream::nGetAccess() {
  const ManagedTable* clr = ClrIfStarted();
  if (clr == nullptr) return 0;
  uint32_t access = 0;
  if (clr->StreamInfo(m_stream.get(), 2) == 1) access |= qg::GENERIC_READ;
  if (clr->StreamInfo(m_stream.get(), 3) == 1) access |= qg::GENERIC_WRITE;
  return access;
}

}  // namespace qgnet
