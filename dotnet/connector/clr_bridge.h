// The hosted runtime and the two function tables shared with the managed
// bridge (Velisc.Runtime.dll). The runtime starts at the first need, never
// at load or open: hostfxr of the machine's .NET installation initialises
// it from qg300net.runtimeconfig.json beside the module (a runtime already
// running in the process is reused), loads the bridge assembly into the
// default context and calls its bootstrap, which swaps the tables. From
// then on the module is pinned in memory: the runtime keeps pointers into
// it.
//
// Both tables are append-only and must list their entries in the order of
// NativeTable and ManagedTable in dotnet/managed/src/Bridge.cs; the
// bootstrap refuses a size mismatch.
//
// Objects cross as GCHandle ids (ManagedId, pointer-sized), each freed once
// by FreeHandle. Status results of the managed entries: 0 success, 1
// refused or not found, 2 a .NET exception whose handle is stored in the
// exception out-argument.
#ifndef QG_DOTNET_CONNECTOR_CLR_BRIDGE_H_
#define QG_DOTNET_CONNECTOR_CLR_BRIDGE_H_

#include <cstdint>
#include <string>

namespace qgnet {

using ManagedId = intptr_t;

constexpr int kBridgeOk = 0;
constexpr int kBridgeRefused = 1;
constexpr int kBridgeException = 2;

// Receives a text from the managed side (a std::u16string).
using StringSink = std::u16string;

// One host value crossing to or from .NET; the layout of BridgeValue in
// dotnet/managed/src/Conversion.cs.
struct BridgeValue {
  int32_t code;        // host type word: low byte the code, 0x1000 dynamic
  int32_t flags;       // kBridgeNull, kBridgeWritten, kBridgeNoValue
  int64_t i;           // integers, BOOL (whole), chars, packed DATETIME, DUREE ms,
                       // CY low 64 bits of the amount times 10^6
  int64_t i2;          // DATETIME milliseconds; CY high 16 bits, sign-extended
  double r;            // R4, R8
  const char16_t* text;  // input text (whole length); DECIMAL as invariant text
  int32_t length;
  int32_t reserved;
  ManagedId object;    // GCHandle id of a .NET object (code 72)
  void* sink;          // output text (StringSink)
};
constexpr int32_t kBridgeNull = 1;
constexpr int32_t kBridgeWritten = 2;
// A call's result record when there is none (void, or none wanted); a null
// result is kBridgeNull alone and is pushed.
constexpr int32_t kBridgeNoValue = 4;
// Status of a value that does not convert to the parameter's type.
constexpr int kBridgeNotConverted = 3;
// Status of a registered method that does not belong to the type.
constexpr int kBridgeNotFitting = 4;

struct NativeTable {
  void (*StringOut)(void* sink, const char16_t* text, int32_t length);
  // Host arrays (CTableauHote*): shape, block, elements, creation.
  int32_t (*ArrayInfo)(void* array, int32_t* dimensions, int32_t* sizes, int32_t capacity,
                       int32_t* element_code);
  void* (*ArrayData)(void* array);
  int32_t (*ArrayGet)(void* array, int32_t index, BridgeValue* value);
  void* (*ArrayCreate)(int32_t element_code, int32_t dimensions, const int32_t* sizes);
  int32_t (*ArraySet)(void* array, int32_t index, BridgeValue* value);
};

struct ManagedTable {
  void (*FreeHandle)(ManagedId id);
  int64_t (*HandleCount)();
  int32_t (*ExceptionText)(ManagedId exc, int32_t use_inner, void* message, void* full,
                           void* type);
  int32_t (*GetAssemblyName)(const char16_t* path, void* sink, int32_t* versions);
  int32_t (*LoadFrom)(const char16_t* path, ManagedId* assembly, ManagedId* exc);
  int32_t (*LoadByName)(const char16_t* name, ManagedId* assembly, ManagedId* exc);
  ManagedId (*CoreLibrary)();
  // what: 0 full name, 1 location, 2 runtime version, 3 simple name.
  int32_t (*AssemblyText)(ManagedId assembly, int32_t what, void* sink);
  // what: 0 types, 1 modules, 2 referenced assemblies, 3 runs in 64 bits.
  int32_t (*AssemblyCount)(ManagedId assembly, int32_t what);
  int32_t (*AssemblyGetType)(ManagedId assembly, const char16_t* name, ManagedId* type);
  int32_t (*TypeByName)(const char16_t* name, ManagedId* type);
  // what: 0 full name, 1 namespace, 2 name, 3 assembly-qualified name.
  int32_t (*TypeText)(ManagedId type, int32_t what, void* sink);
  // what: 0 enum, 1 generic, 2 public, 3 value type, 4 array, 5 interface,
  // 6 open generic; -1 for a bad handle.
  int32_t (*TypeFlag)(ManagedId type, int32_t what);
  // 1 equal, 0 not, 2 exception.
  int32_t (*ObjectEquals)(ManagedId a, ManagedId b, ManagedId* exc);
  // op: 0 OR, 1 XOR, 2 AND, 3 complement.
  int32_t (*EnumOp)(int32_t op, ManagedId a, ManagedId b, ManagedId* result, ManagedId* exc);
  int32_t (*EnumToInt)(ManagedId a, int32_t* value, ManagedId* exc);
  ManagedId (*ObjectType)(ManagedId object);
  int32_t (*ResolveDeclared)(ManagedId type, const char16_t* name, const char16_t* declared,
                             const char16_t* generics, ManagedId* method, ManagedId* exc);
  int32_t (*InvokeByName)(ManagedId type, ManagedId target, const char16_t* name,
                          const char16_t* generics, BridgeValue* args, int32_t count,
                          int32_t want_result, BridgeValue* result, ManagedId* exc);
  // With a type: 4 when the method cannot be called on it (resolve again).
  int32_t (*InvokeMethod)(ManagedId method, ManagedId type, ManagedId target, BridgeValue* args,
                          int32_t count, int32_t want_result, BridgeValue* result,
                          ManagedId* exc);
  int32_t (*ResolveConstructor)(ManagedId type, const char16_t* declared, BridgeValue* args,
                                int32_t count, ManagedId* ctor, ManagedId* exc);
  int32_t (*Construct)(ManagedId type, ManagedId ctor, BridgeValue* args, int32_t count,
                       ManagedId* object, ManagedId* exc);
  // form: 0 fields, 1 properties, 2 both. 0 done, 1 no member, 2 exception,
  // 3 value not converted.
  int32_t (*MemberAccess)(ManagedId type, ManagedId target, const char16_t* name, int32_t form,
                          int32_t assign, BridgeValue* value, ManagedId* exc);
  int32_t (*MethodFitsType)(ManagedId method, ManagedId type);
  int32_t (*CostByName)(const char16_t* parameter, const char16_t* argument);
  int32_t (*ConvertValue)(BridgeValue* value, void* type_sink, void* text_sink,
                          BridgeValue* back, ManagedId* object);
  int32_t (*ObjectToHost)(ManagedId object, BridgeValue* value);
  // A second handle of the same object; 0 for none.
  ManagedId (*CopyHandle)(ManagedId object);
  // A handle of the exception's inner exception; 0 for none.
  ManagedId (*InnerException)(ManagedId exception);
  // Reflection lists. owner: an assembly, module or type; list: see
  // Reflection.cs. Count answers -1 for a bad handle; Item a new handle or 0.
  int32_t (*ListCount)(ManagedId owner, int32_t list);
  ManagedId (*ListItem)(ManagedId owner, int32_t list, int32_t n);
  // Texts of a member (method, constructor, field, property, parameter,
  // module): what: 0 name, 1 type name, 2 type full name.
  int32_t (*MemberText)(ManagedId member, int32_t what, void* sink);
  // Flags of a member: see Reflection.cs.
  int32_t (*MemberFlag)(ManagedId member, int32_t what);
  // A new handle of a related object: see Reflection.cs.
  ManagedId (*MemberRelated)(ManagedId member, int32_t what);
  // The runtime's current culture (tests); 1 for an unknown name.
  int32_t (*SetCulture)(const char16_t* name);
  // The generic type made with the named arguments (top-level commas), an
  // array of it when asked; 0 on failure.
  ManagedId (*MakeGeneric)(ManagedId generic, const char16_t* arguments, int32_t array);
  // Runtime streams: read into a native buffer, seek (the new position or
  // -1), information (0 length, 1 position, 2 can read, 3 can write).
  int32_t (*StreamRead)(ManagedId stream, void* buffer, int32_t n, int32_t* read);
  int64_t (*StreamSeek)(ManagedId stream, int64_t offset, int32_t origin);
  int64_t (*StreamInfo)(ManagedId stream, int32_t what);
  // Benchmark references: plain C# doing the same work (nanoseconds).
  int64_t (*BenchAssemblyNames)(const char16_t* folder);
  int64_t (*BenchDecimalParse)(const char16_t* text, int32_t n);
  int64_t (*BenchInvoke)(ManagedId method, ManagedId target, int32_t n, int32_t mode);
  // A host value to .NET, dropped (the one-way cost).
  int32_t (*ToNetOnly)(BridgeValue* value);
  // Nanoseconds of n calls from .NET into the host through Velisc.Runtime:
  // the empty procedure "Empty" (mode 0), or a bare call of the module that
  // does nothing (mode 1). -1 when the host cannot be reached.
  int64_t (*BenchRuntimeCall)(int32_t n, int32_t mode);
  // The call stub of a resolved method, made once (a handle, 0 for none).
  // *direct: 1 when the stub calls the method without reflection; such a
  // call writes no argument record back and reads no argument's sink.
  ManagedId (*MakeStub)(ManagedId method, int32_t* direct);
  // InvokeMethod through a stub: same arguments and statuses.
  int32_t (*CallStub)(ManagedId stub, ManagedId type, ManagedId target, BridgeValue* args,
                      int32_t count, int32_t want_result, BridgeValue* result, ManagedId* exc);
};

// Starts the runtime once per process and answers the managed table; null
// when it cannot start, with the reason in *why (hostfxr's own text
// included). Later calls answer at once; a failure is remembered.
const ManagedTable* Clr(std::u16string* why = nullptr);

// A .NET program that runs the runtime itself attaches its bridge: the
// bootstrap of its Velisc.Runtime swaps the tables as a start would. True
// when the tables are in place (at once when they already were).
bool AttachClr(void* bootstrap);

// The table when the runtime runs, else null; never starts it.
const ManagedTable* ClrIfStarted();

// The folder holding qg300net.runtimeconfig.json and Velisc.Runtime.dll:
// the folder of the module that holds this code, or ../lib beside it (a
// test executable in the build tree). $QG_NET_BRIDGE_DIR overrides both.
std::string BridgeFolder();

// Microseconds the start took (0 before it).
int64_t ClrStartMicroseconds();

// Owns one GCHandle id and frees it on destruction.
class ManagedRef {
 public:
  ManagedRef() = default;
  explicit ManagedRef(ManagedId id) : m_id(id) {}
  ManagedRef(const ManagedRef&) = delete;
  ManagedRef& operator=(const ManagedRef&) = delete;
  ManagedRef(ManagedRef&& other) noexcept : m_id(other.release()) {}
  ManagedRef& operator=(ManagedRef&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~ManagedRef() {
    if (m_id != 0) reset();
  }

  ManagedId get() const { return m_id; }
  ManagedId* out() {
    if (m_id != 0) reset();
    return &m_id;
  }
  ManagedId release() {
    ManagedId id = m_id;
    m_id = 0;
    return id;
  }
  void reset(ManagedId id = 0);
  explicit operator bool() const { return m_id != 0; }

 private:
  ManagedId m_id = 0;
};

}  // namespace qgnet

#endif  // QG_DOTNET_CONNECTOR_CLR_BRIDGE_H_
