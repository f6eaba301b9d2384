#include "dotnet/connector/clr_bridge.h"

#include <coreclr_delegates.h>
#include <dlfcn.h>
#include <hostfxr.h>
#include <nethost.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>

#include "support/platform/module.h"
#include "dotnet/connector/bridge_value.h"
#include "dotnet/connector/host_array.h"
#include "dotnet/connector/net_text.h"

namespace qgnet {
namespace {

std::mutex g_mutex;
bool g_tried = false;
// Set once, under g_mutex, after the table is filled; read without it.
std::atomic<const ManagedTable*> g_table{nullptr};
std::u16string g_failure;
int64_t g_start_us = 0;

ManagedTable g_managed{};
NativeTable g_native{};

// Texts hostfxr writes while it starts (the error writer is per thread).
thread_local std::string* t_host_text = nullptr;

void HostErrorWriter(const char_t* text) {
  if (t_host_text != nullptr && text != nullptr) {
    if (!t_host_text->empty()) t_host_text->append("\n");
    t_host_text->append(text);
  }
}

void StringOut(void* sink, const char16_t* text, int32_t length) {
  if (sink == nullptr) return;
  auto* out = static_cast<StringSink*>(sink);
  if (text == nullptr || length <= 0) {
    out->clear();
  } else {
    out->assign(text, static_cast<size_t>(length));
  }
}

int32_t ArrayInfo(void* array, int32_t* dimensions, int32_t* sizes, int32_t capacity,
                  int32_t* element_code) {
  auto* a = static_cast<CTableauHote*>(array);
  if (a == nullptr || a->nGetNbDim() > capacity) return kBridgeRefused;
  *dimensions = a->nGetNbDim();
  for (int32_t i = 0; i < a->nGetNbDim(); ++i) sizes[i] = a->pnGetDim()[i];
  *element_code = a->wGetElemType();
  return kBridgeOk;
}

void* ArrayData(void* array) { return static_cast<CTableauHote*>(array)->pBloc(); }

// Texts of an element stay valid until the next call on this thread.
thread_local OutgoingValue t_element;

int32_t ArrayGet(void* array, int32_t index, BridgeValue* value) {
  CAny* element = static_cast<CTableauHote*>(array)->pclElement(static_cast<uint32_t>(index));
  if (element == nullptr) return kBridgeRefused;
  AnyToBridge(*element, &t_element);
  *value = t_element.value;
  return kBridgeOk;
}

void* ArrayCreate(int32_t element_code, int32_t dimensions, const int32_t* sizes) {
  return CTableauHote::Cree(static_cast<uint16_t>(element_code), dimensions, sizes).release();
}

int32_t ArraySet(void* array, int32_t index, BridgeValue* value) {
  CAny* element = static_cast<CTableauHote*>(array)->pclElement(static_cast<uint32_t>(index));
  if (element == nullptr) return kBridgeRefused;
  StringSink text;
  if (value->text != nullptr) text.assign(value->text, static_cast<size_t>(value->length));
  return BridgeToAny(value, text, element, nullptr) ? kBridgeOk : kBridgeNotConverted;
}

bool FileExists(const std::string& path) { return access(path.c_str(), R_OK) == 0; }

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::u16string Fail(const std::string& what, const std::string& host_text) {
  std::string text = what;
  if (!host_text.empty()) text += ": " + host_text;
  return U16(text);
}

using Bootstrap = int(CORECLR_DELEGATE_CALLTYPE*)(NativeTable*, ManagedTable*, int32_t, int32_t);

// Hands the native table to the bridge's bootstrap and takes the managed
// one; false on a size mismatch.
bool Swap(void* bootstrap) {
  g_native.StringOut = &StringOut;
  g_native.ArrayInfo = &ArrayInfo;
  g_native.ArrayData = &ArrayData;
  g_native.ArrayGet = &ArrayGet;
  g_native.ArrayCreate = &ArrayCreate;
  g_native.ArraySet = &ArraySet;
  return reinterpret_cast<Bootstrap>(bootstrap)(&g_native, &g_managed, sizeof(NativeTable),
                                                sizeof(ManagedTable)) == 0;
}

// The whole start, under g_mutex. Answers the failure text, empty on success.
std::u16string Start() {
  std::string folder = BridgeFolder();
  std::string config = folder + "/qg300net.runtimeconfig.json";
  std::string bridge = folder + "/Velisc.Runtime.dll";
  if (!FileExists(config) || !FileExists(bridge)) {
    return Fail("the .NET bridge is missing", config + ", " + bridge);
  }

  char fxr_path[4096];
  size_t size = sizeof(fxr_path);
  int rc = get_hostfxr_path(fxr_path, &size, nullptr);
  if (rc != 0) return Fail("no .NET installation found (hostfxr)", "");
  void* fxr = dlopen(fxr_path, RTLD_NOW | RTLD_LOCAL);
  if (fxr == nullptr) return Fail("hostfxr cannot be loaded", dlerror());

  auto set_writer = reinterpret_cast<hostfxr_set_error_writer_fn>(
      dlsym(fxr, "hostfxr_set_error_writer"));
  auto initialize = reinterpret_cast<hostfxr_initialize_for_runtime_config_fn>(
      dlsym(fxr, "hostfxr_initialize_for_runtime_config"));
  auto get_delegate = reinterpret_cast<hostfxr_get_runtime_delegate_fn>(
      dlsym(fxr, "hostfxr_get_runtime_delegate"));
  auto close = reinterpret_cast<hostfxr_close_fn>(dlsym(fxr, "hostfxr_close"));
  if (set_writer == nullptr || initialize == nullptr || get_delegate == nullptr ||
      close == nullptr) {
    return Fail("hostfxr lacks its entry points", fxr_path);
  }

  std::string host_text;
  t_host_text = &host_text;
  set_writer(&HostErrorWriter);
  hostfxr_handle context = nullptr;
  rc = initialize(config.c_str(), nullptr, &context);
  // 1: the runtime already runs in this process; 2: it runs with other
  // properties. Both are reused.
  std::u16string failure;
  load_assembly_fn load_assembly = nullptr;
  get_function_pointer_fn get_function = nullptr;
  if ((rc != 0 && rc != 1 && rc != 2) || context == nullptr) {
    failure = Fail("the .NET runtime cannot start (" + std::to_string(rc) + ")", host_text);
  } else if (get_delegate(context, hdt_load_assembly,
                          reinterpret_cast<void**>(&load_assembly)) != 0 ||
             get_delegate(context, hdt_get_function_pointer,
                          reinterpret_cast<void**>(&get_function)) != 0) {
    failure = Fail("the .NET runtime hands out no loader", host_text);
  }
  if (context != nullptr) close(context);

  Bootstrap bootstrap = nullptr;
  if (failure.empty() && load_assembly(bridge.c_str(), nullptr, nullptr) != 0) {
    failure = Fail("the .NET bridge cannot be loaded", host_text);
  }
  if (failure.empty() &&
      get_function("Velisc.Runtime.Interop.Entry, Velisc.Runtime", "Bootstrap",
                   UNMANAGEDCALLERSONLY_METHOD, nullptr, nullptr,
                   reinterpret_cast<void**>(&bootstrap)) != 0) {
    failure = Fail("the .NET bridge has no bootstrap", host_text);
  }
  set_writer(nullptr);
  t_host_text = nullptr;
  if (!failure.empty()) return failure;

  if (!Swap(reinterpret_cast<void*>(bootstrap))) {
    return Fail("the .NET bridge does not match this module", bridge);
  }
  return std::u16string();
}

// The runtime keeps pointers into this module: it must never unload.
void PinModule() {
  std::string self = qg::ModulePathOf(reinterpret_cast<const void*>(&PinModule));
  if (self.empty()) return;
  void* handle = dlopen(self.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
  if (handle != nullptr) dlclose(handle);
}

}  // namespace

std::string BridgeFolder() {
  const char* forced = std::getenv("QG_NET_BRIDGE_DIR");
  if (forced != nullptr && *forced != '\0') return forced;
  std::string self = qg::ModulePathOf(reinterpret_cast<const void*>(&BridgeFolder));
  std::string folder = FolderOf(self);
  if (FileExists(folder + "/qg300net.runtimeconfig.json")) return folder;
  std::string lib = folder + "/../lib";
  if (FileExists(lib + "/qg300net.runtimeconfig.json")) return lib;
  return folder;
}

const ManagedTable* Clr(std::u16string* why) {
  if (const ManagedTable* started = g_table.load(std::memory_order_acquire)) return started;
  std::lock_guard<std::mutex> lock(g_mutex);
  if (!g_tried) {
    g_tried = true;
    auto begin = std::chrono::steady_clock::now();
    g_failure = Start();
    g_start_us = std::chrono::duration_cast<std::chrono::microseconds>(
                     std::chrono::steady_clock::now() - begin)
                     .count();
    if (g_failure.empty()) {
      PinModule();
      g_table.store(&g_managed, std::memory_order_release);
    }
  }
  const ManagedTable* table = g_table.load(std::memory_order_relaxed);
  if (table == nullptr && why != nullptr) *why = g_failure;
  return table;
}

bool AttachClr(void* bootstrap) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_table.load(std::memory_order_relaxed) != nullptr) return true;
  if (bootstrap == nullptr || !Swap(bootstrap)) return false;
  g_tried = true;
  g_failure.clear();
  PinModule();
  g_table.store(&g_managed, std::memory_order_release);
  return true;
}

const ManagedTable* ClrIfStarted() { return g_table.load(std::memory_order_acquire); }

int64_t ClrStartMicroseconds() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_start_us;
}

void ManagedRef::reset(ManagedId id) {
  if (m_id != 0) {
    const ManagedTable* clr = ClrIfStarted();
    if (clr != nullptr) clr->FreeHandle(m_id);
  }
  m_id = id;
}

}  // namespace qgnet
