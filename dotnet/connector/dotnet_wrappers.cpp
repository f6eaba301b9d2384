#include "dotnet/connector/dotnet_wrappers.h"

#include "dotnet/connector/net_error.h"

namespace qgnet {
namespace {

std::atomic<int64_t> g_live{0};

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
  m_references.push_back(std::move(out));
  if (name != nullptr) *name = m_references.back().c_str();
  return true;
}

const char16_t* CDotNetAssembly::vpszGetVersionCLRNecessaire() {
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
IDotNetField* CDotNetModule::vpiGetField(int32_t) { return nullptr; }
int32_t CDotNetModule::vnGetNbMethod() { return ClrIfStarted()->ListCount(m_module.get(), 12); }
IDotNetMethod* CDotNetModule::vpiGetMethod(int32_t) { return nullptr; }

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
  Cached(m_full_name,
         [&](StringSink* out) { return ClrIfStarted()->TypeText(Id(), 0, out); });
  if (!m_full_name) m_full_name.emplace();
  return *m_full_name;
}

const std::u16string& CDotNetType::Name() {
  Cached(m_name, [&](StringSink* out) { return ClrIfStarted()->TypeText(Id(), 2, out); });
  if (!m_name) m_name.emplace();
  return *m_name;
}

bool CDotNetType::bFlag(int32_t what) { return ClrIfStarted()->TypeFlag(Id(), what) == 1; }

const char16_t* CDotNetType::vcszGetNomInterne() { return FullName().c_str(); }

const char16_t* CDotNetType::vpszGetNamespace() {
  return Cached(m_namespace,
                [&](StringSink* out) { return ClrIfStarted()->TypeText(Id(), 1, out); });
}

const char16_t* CDotNetType::vpszGetNomAncienFormat() { return FullName().c_str(); }
int32_t CDotNetType::vnGetNbParametreGenerique() { return 0; }
const char16_t* CDotNetType::vcszGetParametreGenerique(int32_t) { return u""; }
bool CDotNetType::vbGetAssembly(IDotNetAssembly** assembly) {
  if (assembly != nullptr) *assembly = nullptr;
  return false;
}
bool CDotNetType::vbEstPublique() { return bFlag(2); }
bool CDotNetType::vbEstGenerique() { return bFlag(1); }
int32_t CDotNetType::vnGetNbField() { return 0; }
IDotNetField* CDotNetType::vpiGetField(int32_t) { return nullptr; }
int32_t CDotNetType::vnGetNbProperty() { return 0; }
IDotNetProperty* CDotNetType::vpiGetProperty(int32_t) { return nullptr; }
int32_t CDotNetType::vnGetNbMethod() { return 0; }
IDotNetMethod* CDotNetType::vpiGetMethod(int32_t) { return nullptr; }
int32_t CDotNetType::vnGetNbConstructor() { return 0; }
IDotNetConstructor* CDotNetType::vpiGetConstructor(int32_t) { return nullptr; }
int32_t CDotNetType::vnGetNbNestedType() { return 0; }
IDotNetType* CDotNetType::vpiGetNestedType(int32_t) { return nullptr; }
bool CDotNetType::vbClasseExtension() { return false; }
IDotNetType* CDotNetType::vpiGetClasseBase() { return nullptr; }
int32_t CDotNetType::vnGetNbInterface() { return 0; }
IDotNetType* CDotNetType::vpiGetInterface(int32_t) { return nullptr; }

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

// --- CDotNetMethod ---

CDotNetMethod::CDotNetMethod(ManagedId method, bool constructor)
    : m_method(method), m_constructor(constructor) {
  g_live.fetch_add(1, std::memory_order_relaxed);
}

CDotNetMethod::~CDotNetMethod() { g_live.fetch_sub(1, std::memory_order_relaxed); }

int32_t CDotNetMethod::vRelease() {
  int32_t left = m_ref.Drop();
  if (left == 0) delete this;
  return left;
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
