// CDotNetStream: the library's stream over a runtime stream (a project
// library embedded in an assembly, for example). Reading, seeking, size,
// position, name and access mode go to the runtime stream; the other
// operations do nothing and report success.
#ifndef QG_DOTNET_CONNECTOR_DOTNET_STREAM_H_
#define QG_DOTNET_CONNECTOR_DOTNET_STREAM_H_

#include <string>

#include "dotnet/connector/clr_bridge.h"
#include "support/streams/xstream.h"

namespace qgnet {

class CDotNetStream final : public IXStream {
 public:
  // Adds its own handle of the runtime stream; name: the path it stands
  // for.
  CDotNetStream(ManagedId stream, std::u16string name);
  ~CDotNetStream() override;

  void Close() override {}
  bool bWrite(const void*, uint32_t, uint32_t* written) override;
  bool bWriteAt(int64_t, const void*, uint32_t, uint32_t* written) override;
  bool bRead(void* buffer, uint32_t n, uint32_t* read) override;
  bool bReadAt(int64_t offset, void* buffer, uint32_t n, uint32_t* read) override;
  bool bSeek(int64_t distance, uint32_t method) override;
  int64_t nGetSize() override;
  int64_t nSeekToEnd() override;
  bool bFlush() override { return true; }
  bool bSetEndOfFile(int64_t, int) override { return true; }
  bool bExtend(int64_t) override { return true; }
  bool bLockRange(int64_t, int64_t) override { return true; }
  bool bUnlockRange(int64_t, int64_t) override { return true; }
  bool bLockRangeNoError(int64_t, int64_t) override { return true; }
  bool bUnlockRangeNoError(int64_t, int64_t) override { return true; }
  const char16_t* pszGetPath() override { return m_name.c_str(); }
  int64_t nGetPosition() override;
  bool bIsOpen() override { return m_stream.get() != 0; }
  uint32_t nGetAccess() override;

 private:
  ManagedRef m_stream;
  std::u16string m_name;
};

}  // namespace qgnet

#endif  // QG_DOTNET_CONNECTOR_DOTNET_STREAM_H_
