#include "dotnet/connector/dotnet_wrappers.h"

#include "dotnet/connector/class_name.h"
#include "dotnet/connector/net_error.h"

namespace qgnet {

std::atomic<int64_t> g_live{0};

namespace {


// A text the managed side answers, kept in `slot` on first success.
template <typename F>
const char16_t* Cached(std::optional<std::u16string>& slot, F&& read) {
  if (!slot) {
    StringSink text;
    if (read(&text) != kBridgeOk) return u"";
    slot = std::move(text);
  }
  return slot->c_str();
}

}  // namespace

int64_t LiveWrappers() { return g_live.load(std::memory_order_relaxed); }
void CountWrapper(int delta) { g_live.fetch_add(delta, std::memory_order_relaxed); }

// --- CDotNetAssembly ---

CDotNetAssembly::CDotNetAssembly(ManagedId assembly, std::u16string path,
                                 std::u16string requested)
    : m_assembly(assembly), m_path(std::move(path)), m_requested(std::move(requested)) {
  g_live.fetch_add(1, std::memory_order_relaxed);
}

CDotNetAssembly::~CDotNetAssembly() { g_live.fetch_sub(1, std::memory_order_relaxed); }

int32_t CDotNetAssembly::vRelease() {
  int32_t left = m_ref.Drop();
  if (left == 0) delete this;
  return left;
}

const char16_t* CDotNetAssembly::vpszGetName() {
  std::lock_guard<std::mutex> lock(m_cache_lock);
  return Cached(m_name, [&](StringSink* out) {
    return ClrIfStarted()->AssemblyText(Id(), 0, out);
  });
}

int32_t CDotNetAssembly::vnGetNbModule() { return ClrIfStarted()->AssemblyCount(Id(), 1); }

IDotNetModule* CDotNetAssembly::vpiGetModule(int32_t n) {
  ManagedId module = ClrIfStarted()->ListItem(Id(), 0, n);
  return module != 0 ? new CDotNetModule(module) : nullptr;
}

IDotNetType* CDotNetAssembly::vpiGetType(const char16_t* name) { return vpclGetType(name); }

CDotNetType* CDotNetAssembly::vpclGetType(const char16_t* name) {
  if (name == nullptr) return nullptr;
  ManagedId type = 0;
  if (ClrIfStarted()->AssemblyGetType(Id(), name, &type) != kBridgeOk) return nullptr;
  return new CDotNetType(type);
}

const char16_t* CDotNetAssembly::vpszGetFileName() { return m_path.c_str(); }

bool CDotNetAssembly::vbFindType(const char16_t* name) {
  CDotNetType* type = vpclGetType(name);
  if (type == nullptr) return false;
  type->vRelease();
  return true;
}

int32_t CDotNetAssembly::vnGetNbReferencedAssemblies() {
  return ClrIfStarted()->AssemblyCount(Id(), 2);
}

bool CDotNetAssembly::vbGetReferencedAssembly(int32_t n, const char16_t** name) {
  if (name != nullptr) *name = nullptr;
  ManagedRef text(ClrIfStarted()->ListItem(Id(), 1, n));
  if (!text) return false;
  StringSink out;
  if (ClrIfStarted()->MemberText(text.get(), 0, &out) != kBridgeOk) return false;
  std::lock_guard<std::mutex> lock(m_cache_lock);
  m_references.push_back(std::move(out));
  if (name != nullptr) *name = m_references.back().c_str();
  return true;
}

const char16_t* CDotNetAssembly::vpszGetVersionCLRNecessaire() {
  std::lock_guard<std::mutex> lock(m_cache_lock);
  return Cached(m_clr_version, [&](StringSink* out) {
    return ClrIfStarted()->AssemblyText(Id(), 2, out);
  });
}

bool CDotNetAssembly::vb64bits() { return ClrIfStarted()->AssemblyCount(Id(), 3) == 1; }

int32_t CDotNetAssembly::nGetNbType() { return ClrIfStarted()->AssemblyCount(Id(), 0); }

// --- CDotNetModule ---

CDotNetModule::CDotNetModule(ManagedId module) : m_module(module) {
  g_live.fetch_add(1, std::memory_order_relaxed);
}

CDotNetModule::~CDotNetModule() { g_live.fetch_sub(1, std::memory_order_relaxed); }

int32_t CDotNetModule::vRelease() {
  int32_t left = m_ref.Drop();
  if (left == 0) delete this;
  return left;
}

const char16_t* CDotNetModule::vpszGetName() {
  std::lock_guard<std::mutex> lock(m_cache_lock);
  return Cached(m_name, [&](StringSink* out) {
    return ClrIfStarted()->MemberText(m_module.get(), 0, out);
  });
}

int32_t CDotNetModule::vnGetNbType() { return ClrIfStarted()->ListCount(m_module.get(), 10); }

IDotNetType* CDotNetModule::vpiGetType(int32_t n) {
  ManagedId type = ClrIfStarted()->ListItem(m_module.get(), 10, n);
  return type != 0 ? new CDotNetType(type) : nullptr;
}

int32_t CDotNetModule::vnGetNbField() { return ClrIfStarted()->ListCount(m_module.get(), 11); }
IDotNetField* CDotNetModule::vpiGetField(int32_t n) {
  ManagedId id = ClrIfStarted()->ListItem(m_module.get(), 11, n);
  return id != 0 ? new CDotNetField(id) : nullptr;
}
int32_t CDotNetModule::vnGetNbMethod() { return ClrIfStarted()->ListCount(m_module.get(), 12); }
IDotNetMethod* CDotNetModule::vpiGetMethod(int32_t n) {
  ManagedId id = ClrIfStarted()->ListItem(m_module.get(), 12, n);
  return id != 0 ? new CDotNetMethod(id) : nullptr;
}

// --- CDotNetType ---

CDotNetType::CDotNetType(ManagedId type) : m_type(type) {
  g_live.fetch_add(1, std::memory_order_relaxed);
}

CDotNetType::~CDotNetType() { g_live.fetch_sub(1, std::memory_order_relaxed); }

int32_t CDotNetType::vRelease() {
  int32_t left = m_ref.Drop();
  if (left == 0) delete this;
  return left;
}

const std::u16string& CDotNetType::FullName() {
  std::lock_guard<std::mutex> lock(m_cache_lock);
  return FullNameLocked();
}

const std::u16string& CDotNetType::FullNameLocked() {
  Cached(m_full_name,
         [&](StringSink* out) { return ClrIfStarted()->TypeText(Id(), 0, out); });
  if (!m_full_name) m_full_name.emplace();
  return *m_full_name;
}

const std::u16string& CDotNetType::Name() {
  std::lock_guard<std::mutex> lock(m_cache_lock);
  Cached(m_name, [&](StringSink* out) { return ClrIfStarted()->TypeText(Id(), 2, out); });
  if (!m_name) m_name.emplace();
  return *m_name;
}

bool CDotNetType::bFlag(int32_t what) {
  if (what == 1) {
    // Read once without a lock: threads racing store the same answer.
    int8_t generic = m_generic.load(std::memory_order_relaxed);
    if (generic < 0) {
      generic = ClrIfStarted()->TypeFlag(Id(), 1) == 1 ? 1 : 0;
      m_generic.store(generic, std::memory_order_relaxed);
    }
    return generic == 1;
  }
  return ClrIfStarted()->TypeFlag(Id(), what) == 1;
}

const char16_t* CDotNetType::vcszGetNomInterne() { return FullName().c_str(); }

const char16_t* CDotNetType::vpszGetNamespace() {
  std::lock_guard<std::mutex> lock(m_cache_lock);
  return Cached(m_namespace,
                [&](StringSink* out) { return ClrIfStarted()->TypeText(Id(), 1, out); });
}

const char16_t* CDotNetType::vpszGetNomAncienFormat() {
  std::lock_guard<std::mutex> lock(m_cache_lock);
  if (!m_standard) m_standard = s_GetStandardName(FullNameLocked());
  return m_standard->c_str();
}

int32_t CDotNetType::vnGetNbParametreGenerique() { return ClrIfStarted()->ListCount(Id(), 26); }

const char16_t* CDotNetType::vcszGetParametreGenerique(int32_t n) {
  ManagedRef argument(ClrIfStarted()->ListItem(Id(), 26, n));
  if (!argument) return nullptr;
  StringSink name;
  ClrIfStarted()->TypeText(argument.get(), 0, &name);
  std::lock_guard<std::mutex> lock(m_cache_lock);
  m_texts.push_back(std::move(name));
  return m_texts.back().c_str();
}

bool CDotNetType::vbGetAssembly(IDotNetAssembly** assembly) {
  if (assembly == nullptr) return false;
  ManagedId id = ClrIfStarted()->MemberRelated(Id(), 4);
  *assembly = id != 0 ? new CDotNetAssembly(id, std::u16string(), std::u16string()) : nullptr;
  return *assembly != nullptr;
}

bool CDotNetType::vbEstPublique() { return bFlag(2); }
bool CDotNetType::vbEstGenerique() { return bFlag(1); }

int32_t CDotNetType::vnGetNbField() { return ClrIfStarted()->ListCount(Id(), 20); }
IDotNetField* CDotNetType::vpiGetField(int32_t n) {
  ManagedId id = ClrIfStarted()->ListItem(Id(), 20, n);
  return id != 0 ? new CDotNetField(id) : nullptr;
}
int32_t CDotNetType::vnGetNbProperty() { return ClrIfStarted()->ListCount(Id(), 21); }
IDotNetProperty* CDotNetType::vpiGetProperty(int32_t n) {
  ManagedId id = ClrIfStarted()->ListItem(Id(), 21, n);
  return id != 0 ? new CDotNetProperty(id) : nullptr;
}
int32_t CDotNetType::vnGetNbMethod() { return ClrIfStarted()->ListCount(Id(), 22); }
IDotNetMethod* CDotNetType::vpiGetMethod(int32_t n) {
  ManagedId id = ClrIfStarted()->ListItem(Id(), 22, n);
  return id != 0 ? new CDotNetMethod(id) : nullptr;
}
int32_t CDotNetType::vnGetNbConstructor() { return ClrIfStarted()->ListCount(Id(), 23); }
IDotNetConstructor* CDotNetType::vpiGetConstructor(int32_t n) {
  ManagedId id = ClrIfStarted()->ListItem(Id(), 23, n);
  return id != 0 ? new CDotNetConstructor(id) : nullptr;
}
int32_t CDotNetType::vnGetNbNestedType() { return ClrIfStarted()->ListCount(Id(), 24); }
IDotNetType* CDotNetType::vpiGetNestedType(int32_t n) {
  ManagedId id = ClrIfStarted()->ListItem(Id(), 24, n);
  return id != 0 ? new CDotNetType(id) : nullptr;
}
bool CDotNetType::vbClasseExtension() { return ClrIfStarted()->MemberFlag(Id(), 10) == 1; }
IDotNetType* CDotNetType::vpiGetClasseBase() {
  ManagedId id = ClrIfStarted()->MemberRelated(Id(), 3);
  return id != 0 ? new CDotNetType(id) : nullptr;
}
int32_t CDotNetType::vnGetNbInterface() { return ClrIfStarted()->ListCount(Id(), 25); }
IDotNetType* CDotNetType::vpiGetInterface(int32_t n) {
  ManagedId id = ClrIfStarted()->ListItem(Id(), 25, n);
  return id != 0 ? new CDotNetType(id) : nullptr;
}

// --- CDotNetInstance ---

CDotNetInstance::CDotNetInstance(CDotNetType* type, ManagedId object)
    : m_type(type), m_object(object) {
  if (m_type != nullptr) m_type->vAddRef();
  g_live.fetch_add(1, std::memory_order_relaxed);
}

CDotNetInstance::~CDotNetInstance() {
  m_object.reset();
  if (m_type != nullptr) m_type->vRelease();
  g_live.fetch_sub(1, std::memory_order_relaxed);
}

int32_t CDotNetInstance::Release() {
  int32_t left = m_ref.Drop();
  if (left == 0) delete this;
  return left;
}

bool CDotNetInstance::bLibereInstance() {
  m_object.reset();
  return true;
}

IDotNetInstance* CDotNetInstance::piCopieInstance() {
  m_ref.Add();
  return this;
}

}  // namespace qgnet

namespace qgnet {

// --- CDotNetException ---

CDotNetException::CDotNetException(ManagedId exception) {
  const ManagedTable* clr = ClrIfStarted();
  if (clr != nullptr && exception != 0) m_exception.reset(clr->CopyHandle(exception));
  g_live.fetch_add(1, std::memory_order_relaxed);
}

CDotNetException::~CDotNetException() { g_live.fetch_sub(1, std::memory_order_relaxed); }

int32_t CDotNetException::Release() {
  int32_t left = m_ref.Drop();
  if (left == 0) delete this;
  return left;
}

const char16_t* CDotNetException::pszGetText() {
  return Cached(m_text, [&](StringSink* out) {
    const ManagedTable* clr = ClrIfStarted();
    if (clr == nullptr) return kBridgeRefused;
    return clr->ExceptionText(Id(), 0, nullptr, out, nullptr);
  });
}

IDotNetInstance* CDotNetException::InstanceOf(ManagedId object) {
  if (object == 0) return nullptr;
  const ManagedTable* clr = ClrIfStarted();
  auto* type = new CDotNetType(clr->ObjectType(object));
  auto* instance = new CDotNetInstance(type, object);
  type->vRelease();
  return instance;
}

IDotNetInstance* CDotNetException::vpiGetInstanceExterne() {
  const ManagedTable* clr = ClrIfStarted();
  return clr != nullptr ? InstanceOf(clr->CopyHandle(Id())) : nullptr;
}

IDotNetInstance* CDotNetException::vpiGetInstanceInterne() {
  const ManagedTable* clr = ClrIfStarted();
  return clr != nullptr ? InstanceOf(clr->InnerException(Id())) : nullptr;
}

void RecordException(CXError* error, ManagedId exception) {
  if (error == nullptr || exception == 0) return;
  auto* wrapper = new CDotNetException(exception);
  error->AddInfo(EIT_EXCEPTIONDOTNET, static_cast<IErrorInfoObject*>(wrapper));
  wrapper->Release();  // the error holds its own reference
}

}  // namespace qgnet
