// What the MariaDB verbs of qghost share: qg300maria loaded and opened as
// the host opens it, its objects reached by slot as the host reaches them,
// UTF-8 texts of the command line turned into UTF-16 and back, and the
// driver's error objects read and released.
#ifndef QG_HOST_CLI_MARIA_MODULE_H_
#define QG_HOST_CLI_MARIA_MODULE_H_

#include <cstdint>
#include <ostream>
#include <string>

namespace qghost {

std::u16string Utf8ToU16(const std::string& text);
std::string U16ToUtf8(const char16_t* text);

// Operation n of an object of the module, as the host calls it.
template <typename F>
F Slot(void* object, int n) {
  return reinterpret_cast<F>((*static_cast<void***>(object))[n]);
}

// The driver error's text (or a note that there is none), the error
// object released and the slot emptied.
std::string TakeDriverError(void** error);
// The error object released, its text dropped.
void DropDriverError(void** error);

// qg300vm.so and qg300maria.so loaded from a folder, the driver initialised
// with the host's value services and opened; closed and terminated when
// this object goes. bIsOpen() false after a failure written to `err`.
class MariaModule {
 public:
  MariaModule(const std::string& lib_dir, std::ostream& err);
  ~MariaModule();
  MariaModule(const MariaModule&) = delete;
  MariaModule& operator=(const MariaModule&) = delete;

  bool bIsOpen() const { return m_bOpen; }
  // A new driver manager (released through its slot 6), or null.
  void* NewManager();

 private:
  bool m_bOpen = false;
  intptr_t (*m_pfnExecution)(int32_t, intptr_t) = nullptr;
  int32_t (*m_pfnTerm)() = nullptr;
  void* (*m_pfnQuery)() = nullptr;
};

}  // namespace qghost

#endif  // QG_HOST_CLI_MARIA_MODULE_H_
