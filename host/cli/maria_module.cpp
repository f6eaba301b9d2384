#include "host/cli/maria_module.h"

#include "host/core/host_runtime.h"
#include "support/frame/execution_protocol.h"
#include "support/platform/codepage.h"
#include "support/platform/module.h"

namespace qghost {

std::u16string Utf8ToU16(const std::string& text) {
  std::u16string out;
  qg::CodePageToUtf16(qg::kCodePageUtf8, text.data(), static_cast<ptrdiff_t>(text.size()), &out);
  return out;
}

std::string U16ToUtf8(const char16_t* text) {
  std::string out;
  if (text != nullptr) qg::Utf16ToCodePage(qg::kCodePageUtf8, text, -1, &out);
  return out;
}

namespace {

enum : int { kErrorRelease = 5, kErrorMessage = 6 };
using PFN_Text = const char16_t* (*)(void*);

}  // namespace

std::string TakeDriverError(void** error) {
  if (*error == nullptr) return "the driver gave no error";
  std::string text = U16ToUtf8(Slot<PFN_Text>(*error, kErrorMessage)(*error));
  DropDriverError(error);
  return text;
}

void DropDriverError(void** error) {
  if (*error != nullptr) Slot<void (*)(void*)>(*error, kErrorRelease)(*error);
  *error = nullptr;
}

MariaModule::MariaModule(const std::string& lib_dir, std::ostream& err) {
  qg::ModuleHandle host = qg::LoadModule((lib_dir + "/qg300vm.so").c_str());
  qg::ModuleHandle maria = qg::LoadModule((lib_dir + "/qg300maria.so").c_str());
  if (host == nullptr || maria == nullptr) {
    err << "cannot load qg300vm.so and qg300maria.so from " << lib_dir << '\n';
    return;
  }
  auto runtime_of = reinterpret_cast<HostRuntime* (*)()>(qg::FindSymbol(host, "qghost_Runtime"));
  auto init = reinterpret_cast<int32_t (*)(void*)>(qg::FindSymbol(maria, "bExternalInitLibrary"));
  m_pfnTerm = reinterpret_cast<int32_t (*)()>(qg::FindSymbol(maria, "ExternalTermLibrary"));
  m_pfnExecution =
      reinterpret_cast<intptr_t (*)(int32_t, intptr_t)>(qg::FindSymbol(maria, "Execution"));
  m_pfnQuery = reinterpret_cast<void* (*)()>(qg::FindSymbol(maria, "piQueryInterface"));
  if (runtime_of == nullptr || init == nullptr || m_pfnTerm == nullptr ||
      m_pfnExecution == nullptr || m_pfnQuery == nullptr) {
    err << "missing exports\n";
    return;
  }
  init(maria);
  // The host's value services, as the host hands them over.
  using PFN_Bind = int32_t (*)(void*, int32_t, int32_t);
  for (const char* name : {"bInitZQConvFromVM", "bInitZQCalcFromVM"}) {
    if (auto bind = reinterpret_cast<PFN_Bind>(qg::FindSymbol(maria, name))) bind(host, 2, 2);
  }
  qg::ExecutionOpenRecord record{12, reinterpret_cast<intptr_t>(host), 0, 0,
                                 runtime_of()->RuntimeObject()};
  m_pfnExecution(qg::kExecOpen, reinterpret_cast<intptr_t>(&record));
  m_bOpen = true;
}

MariaModule::~MariaModule() {
  if (!m_bOpen) return;
  m_pfnExecution(qg::kExecClose, 0);
  m_pfnTerm();
}

void* MariaModule::NewManager() { return m_bOpen ? m_pfnQuery() : nullptr; }

}  // namespace qghost
