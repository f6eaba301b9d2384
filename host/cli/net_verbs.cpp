#include "host/cli/net_verbs.h"

#include <cstdlib>
#include <map>

#include "dotnet/connector/call_road.h"
#include "dotnet/connector/dotnet_execution.h"
#include "dotnet/connector/dotnet_interfaces.h"
#include "dotnet/convert/conversion_cast.h"
#include "host/core/calc_entries.h"
#include "host/core/dotnet_stack.h"
#include "host/core/host_runtime.h"
#include "support/frame/module_services.h"
#include "errors/module_errors.h"
#include "support/ctstring.h"
#include "support/platform/codepage.h"
#include "support/platform/module.h"

namespace qghost {
namespace {

using PFN_GetManager = IDotNetManager* (*)();

std::u16string ToU16(const std::string& text) {
  std::u16string out;
  qg::CodePageToUtf16(qg::kCodePageUtf8, text.data(), static_cast<ptrdiff_t>(text.size()), &out);
  return out;
}

std::string ToU8(const char16_t* text) {
  std::string out;
  if (text != nullptr) qg::Utf16ToCodePage(qg::kCodePageUtf8, text, -1, &out);
  return out;
}

int Load(IDotNetManager* manager, const std::string& file, std::ostream& out,
         std::ostream& err) {
  IDotNetLoader* loader = manager->piGetLoader();
  IDotNetAssembly* assembly = loader->vpiLoadAssembly(ToU16(file).c_str(),
                                                      manager->pclGetErreur());
  if (assembly == nullptr) {
    err << ToU8(manager->pclGetErreur()->StringDump(qg::kDumpAll).pszGet()) << '\n';
    return 1;
  }
  int types = 0;
  for (int m = 0; m < assembly->vnGetNbModule(); ++m) {
    if (IDotNetModule* module = assembly->vpiGetModule(m)) {
      types += module->vnGetNbType();
      module->vRelease();
    }
  }
  out << ToU8(assembly->vpszGetName()) << '\n' << types << " types\n";
  assembly->vRelease();
  return 0;
}

int Find(IDotNetManager* manager, const std::string& folder, std::ostream& out) {
  IDotNetFinder* finder = manager->piGetFinder();
  finder->vClear();
  finder->vbFindInPath(ToU16(folder).c_str());
  for (int i = 0; i < finder->vnGetNb(); ++i) {
    std::string name = ToU8(finder->vpszGetStrongName(i));
    out << ToU8(finder->vpszGetFileName(i)) << "  " << (name.empty() ? "(not .NET)" : name)
        << '\n';
  }
  out << finder->vnGetNb() << " files\n";
  return 0;
}

// Host type codes by name for type:value arguments; a number is taken as
// the code itself.
// Names in any letter case.
constexpr const char* kTypeNames =
    "BOOL UI1 UI2 UI4 UI8 I1 I2 I4 I8 CY R4 R8 DECIMAL UIX DSTRW TEXT CARA DSTRA DATEW DATEA\n"
    "       DATETIME DUREE CARW, or a type code";

int CodeOf(const std::string& spelled) {
  static const std::map<std::string, int> codes = {
      {"BOOL", 1}, {"UI1", 2}, {"UI2", 3}, {"UI4", 4}, {"UI8", 5}, {"I1", 6},
      {"I2", 7}, {"I4", 8}, {"I8", 9}, {"CY", 10}, {"R4", 11}, {"R8", 12},
      {"DECIMAL", 13}, {"UIX", 14}, {"DSTRW", 16}, {"CARA", 17}, {"DSTRA", 19},
      {"DATEW", 24}, {"DATETIME", 26}, {"DUREE", 27}, {"CARW", 81}, {"DATEA", 128},
      {"TEXT", 16}};
  std::string name = spelled;
  for (char& c : name) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  auto it = codes.find(name);
  if (it != codes.end()) return it->second;
  char* end = nullptr;
  long code = std::strtol(name.c_str(), &end, 10);
  return end != name.c_str() && *end == '\0' ? static_cast<int>(code) : -1;
}

// A host value from its text, through the module's conversion; a text the
// type cannot hold (out of range, no number) is refused, never wrapped.
bool ValueOf(int code, const std::string& text, CAny* value) {
  if (code < 0) return false;
  if (value->SetDSTRW(ToU16(text).c_str()) != 0) return false;
  return code == 16 || value->nCastTo(code) == 0;
}

bool ArgumentOf(const std::string& spec, CAny* value) {
  size_t colon = spec.find(':');
  if (colon == std::string::npos) return ValueOf(16, spec, value);
  return ValueOf(CodeOf(spec.substr(0, colon)), spec.substr(colon + 1), value);
}

std::string TextOf(const CAny& value) {
  if (value.bEstNull()) return "(null)";
  CXYString<char16_t> text;
  if (value.nGetTexte(&text) >= qg::kHostErrorFirst) return "(no text)";
  return ToU8(text.pszGet());
}

// The stand-in host's services for the values the verbs build.
void InstallHostServices() {
  HostRuntime& host = Runtime();
  qg::Services().piStringMemory = &host.Strings();
  qg::Services().piInfoLocale = &host.Locale();
  qg::Services().piValueObjects = &host.Values();
  qg::Services().pfnConversion = &ConversionDepassementExt;
  qg::Services().pfnFinConversion = &FinConversion;
  qg::InstalleConversionMoteur();
}

int Convert(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() < 3) {
    err << "usage: qghost net convert <type> <value>\n  types: " << kTypeNames << '\n';
    return 2;
  }
  InstallHostServices();
  std::u16string why;
  if (qgnet::Clr(&why) == nullptr) {
    err << ToU8(why.c_str()) << '\n';
    return 1;
  }
  DotNetStack stack;
  CAny value;
  if (!ValueOf(CodeOf(args[1]), args[2], &value)) {
    err << "cannot build a value of type " << args[1] << " from " << args[2] << '\n';
    return 1;
  }
  stack.bEmpile(value);
  qgnet::NetRoundTrip trip;
  if (!qgnet::ConvertThroughNet(&stack, 0, &trip)) {
    err << "no .NET form for this value\n";
    return 1;
  }
  out << ".NET " << ToU8(trip.net_type.c_str()) << " " << ToU8(trip.net_text.c_str()) << '\n';
  out << "back as code " << trip.back_code << ": ";
  if (trip.back_array) {
    out << "array of " << trip.back_array->nGetNbElement() << " elements\n";
  } else {
    out << TextOf(trip.back) << '\n';
  }
  return 0;
}

// call <assembly> <Namespace.Class> <method> [type:value ...] [--new type:value ...]
// get|set <assembly> <Namespace.Class> <member> [type:value]
int Member(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const std::string& verb = args[0];
  if (args.size() < 4 || (verb == "set" && args.size() < 5)) {
    err << "usage: qghost net call <assembly> <class> <method> [type:value ...] "
           "[--new type:value ...]\n       qghost net get|set <assembly> <class> <member> "
           "[type:value]\n  types: " << kTypeNames << " (a value without type is TEXT)\n";
    return 2;
  }
  InstallHostServices();
  std::u16string assembly = ToU16(args[1]);
  std::string full = args[2];
  // The namespace ends at the last dot before any generic argument list
  // (System.Collections.Generic.List<System.Int32>).
  size_t dot = full.rfind('.', full.find('<'));
  std::u16string name_space = dot == std::string::npos ? u"" : ToU16(full.substr(0, dot));
  std::u16string classe = ToU16(dot == std::string::npos ? full : full.substr(dot + 1));
  std::u16string member = ToU16(args[3]);
  std::vector<CAny> call_args, new_args;
  bool in_new = false;
  for (size_t i = 4; i < args.size(); ++i) {
    if (args[i] == "--new") {
      in_new = true;
      continue;
    }
    CAny value;
    if (!ArgumentOf(args[i], &value)) {
      err << "bad argument " << args[i] << '\n';
      return 2;
    }
    (in_new ? new_args : call_args).push_back(value);
  }

  qgnet::CDotNetExecution* execution = qgnet::CDotNetExecution::Acquire();
  _CXErrorModule20 error;
  STOperationDotNet op{&error};
  STInfoClasseDotNet info{assembly.c_str(), name_space.c_str(), classe.c_str()};
  DotNetStack stack;
  // The object, when the class can be constructed; static members otherwise.
  // Why the construction failed is told when the member then fails too.
  IDotNetInstance* instance = execution->piAlloue(&info, &op);
  std::string construction;
  if (instance != nullptr) {
    for (const CAny& a : new_args) stack.bEmpile(a);
    uint32_t ctor = 0;
    if (!instance->bExecuteConstructeur(nullptr, &ctor, &stack,
                                        static_cast<int32_t>(new_args.size()), &op)) {
      instance->Release();
      instance = nullptr;
      construction = ToU8(error.StringDump(qg::kDumpAll).pszGet());
      error.RAZ();
    }
    stack.Clear();
  }
  bool ok;
  if (verb == "call") {
    for (const CAny& a : call_args) stack.bEmpile(a);
    STMethodeDotNet method{member.c_str(), 0, nullptr, nullptr};
    uint32_t id = 0;
    int32_t n = static_cast<int32_t>(call_args.size());
    ok = instance != nullptr
             ? instance->bAppelleMethode(&method, &id, &stack, n, true, &op)
             : execution->bAppelleMethodeStatique(&info, &method, &id, &stack, n, true, &op);
    if (ok && stack.nGetNbValeur() == n) {
      out << "(no result)\n";
    } else if (ok) {
      CAny* top = stack.pclGetValeur(0);
      if (stack.piGetInstance(0) != nullptr) {
        out << "a .NET object (code 72)\n";
      } else if (stack.pclGetTableau(0) != nullptr) {
        out << "an array of " << stack.pclGetTableau(0)->nGetNbElement() << " elements\n";
      } else {
        out << TextOf(*top) << "  (code " << top->nGetCode() << ")\n";
      }
    }
  } else if (verb == "get") {
    ok = instance != nullptr ? instance->bEmpilePropertyMembre(member.c_str(), &stack, &op)
                             : execution->bEmpilePropertyMembreStatique(&info, member.c_str(),
                                                                        &stack, &op);
    if (ok) {
      CAny* top = stack.pclGetValeur(0);
      out << TextOf(*top) << "  (code " << top->nGetCode() << ")\n";
    }
  } else {
    for (const CAny& a : call_args) stack.bEmpile(a);
    ok = instance != nullptr
             ? instance->bAffectePropertyMembre(member.c_str(), &stack, &op)
             : execution->bAffectePropertyMembreStatique(&info, member.c_str(), &stack, &op);
    if (ok) out << "assigned\n";
  }
  if (!ok) {
    if (!construction.empty()) {
      err << "the object could not be constructed:\n" << construction << "\n\n";
    }
    err << ToU8(error.StringDump(qg::kDumpAll).pszGet()) << '\n';
  }
  stack.Clear();
  if (instance != nullptr) instance->Release();
  execution->Release();
  return ok ? 0 : 1;
}

// An event of a .NET object bound to a stand-in procedure: a binder of the
// library is attached to the host procedure "OnEvent" and added to the
// event; the host then presses the button. The procedure runs in the
// stand-in host qg300vm.so beside the module, which reports what it got.
int DemoEvent(qgnet::CDotNetExecution* execution, const std::u16string& assembly,
              const std::string& lib_dir, std::ostream& out, std::ostream& err) {
  _CXErrorModule20 error;
  STOperationDotNet op{&error};
  DotNetStack stack;
  IDotNetInstance* button = nullptr;
  IDotNetInstance* binder = nullptr;
  auto make = [&](const char16_t* classe) -> IDotNetInstance* {
    STInfoClasseDotNet info{assembly.c_str(), u"Demo", classe};
    IDotNetInstance* instance = execution->piAlloue(&info, &op);
    uint32_t ctor = 0;
    if (instance != nullptr && !instance->bExecuteConstructeur(nullptr, &ctor, &stack, 0, &op)) {
      instance->Release();
      return nullptr;
    }
    return instance;
  };
  auto call = [&](IDotNetInstance* target, const char16_t* name, int count) {
    STMethodeDotNet method{name, 0, nullptr, nullptr};
    uint32_t id = 0;
    bool ok = target->bAppelleMethode(&method, &id, &stack, count, false, &op);
    stack.Clear();
    return ok;
  };
  bool ok = (button = make(u"Button")) != nullptr && (binder = make(u"PressedBinder")) != nullptr;
  if (ok) {
    CAny objet, procedure;
    objet.SetI8(0);
    procedure.SetDSTRW(u"OnEvent");
    stack.bEmpile(objet);
    stack.bEmpile(procedure);
    ok = call(binder, u"AttachZQ", 2);
  }
  if (ok) {
    CAny name;
    name.SetDSTRW(u"Pressed");
    stack.PushInstanceCopy(button);
    stack.bEmpile(name);
    ok = call(binder, u"AddHandlerToEvent", 2);
  }
  if (ok) {
    CAny text;
    text.SetDSTRW(u"from the host");
    stack.bEmpile(text);
    ok = call(button, u"Press", 1);
  }
  if (ok) ok = binder->bEmpileProperty(u"LastAnswer", &stack, &op);
  if (ok) {
    out << "  event Pressed -> host procedure OnEvent answered "
        << TextOf(*stack.pclGetValeur(0)) << '\n';
    stack.Clear();
    qg::ModuleHandle vm = qg::LoadModule((lib_dir + "/qg300vm.so").c_str());
    auto last = vm != nullptr ? reinterpret_cast<int32_t (*)(char*, int32_t)>(
                                    qg::FindSymbol(vm, "qghost_VMExterneLastLine"))
                              : nullptr;
    if (last != nullptr) {
      char line[256];
      last(line, sizeof(line));
      out << "  the stand-in host logged: " << line << '\n';
    }
  } else {
    err << "event: " << ToU8(error.StringDump(qg::kDumpAll).pszGet()) << '\n';
  }
  stack.Clear();
  if (binder != nullptr) binder->Release();
  if (button != nullptr) button->Release();
  return ok ? 0 : 1;
}

// The host drives a .NET library: loads it, creates an object, calls
// overloads with I2, I8 and text arguments (each answer names the overload
// the connector chose) and reads a property.
int Demo(const std::string& lib_dir, std::ostream& out, std::ostream& err) {
  InstallHostServices();
  std::string path = lib_dir + "/../managed/bin/VeliscDemoLib/release/VeliscDemoLib.dll";
  char resolved[4096];
  if (realpath(path.c_str(), resolved) != nullptr) path = resolved;
  std::u16string assembly = ToU16(path);
  qgnet::CDotNetExecution* execution = qgnet::CDotNetExecution::Acquire();
  _CXErrorModule20 error;
  STOperationDotNet op{&error};
  STInfoClasseDotNet info{assembly.c_str(), u"Demo", u"Greeter"};
  DotNetStack stack;
  auto fail = [&](const char* step) {
    err << step << ": " << ToU8(error.StringDump(qg::kDumpAll).pszGet()) << '\n';
    stack.Clear();
    execution->Release();
    return 1;
  };
  out << "host -> .NET: " << path << '\n';
  IDotNetInstance* greeter = execution->piAlloue(&info, &op);
  if (greeter == nullptr) return fail("load");
  CAny name;
  name.SetDSTRW(u"Velisc");
  stack.bEmpile(name);
  uint32_t ctor = 0;
  if (!greeter->bExecuteConstructeur(nullptr, &ctor, &stack, 1, &op)) {
    greeter->Release();
    return fail("new Demo.Greeter");
  }
  stack.Clear();
  out << "  created Demo.Greeter(\"Velisc\")\n";
  CAny i2, i8, text;
  i2.SetI2(12);
  i8.SetI8(1234567890123LL);
  text.SetDSTRW(u"text");
  const std::pair<const char*, CAny*> calls[] = {{"I2", &i2}, {"I8", &i8}, {"DSTRW", &text}};
  for (const auto& [kind, value] : calls) {
    stack.bEmpile(*value);
    STMethodeDotNet greet{u"Greet", 0, nullptr, nullptr};
    uint32_t id = 0;
    if (!greeter->bAppelleMethode(&greet, &id, &stack, 1, true, &op)) {
      greeter->Release();
      return fail("Greet");
    }
    out << "  Greet(" << kind << ") -> " << TextOf(*stack.pclGetValeur(0)) << '\n';
    stack.Clear();
  }
  if (!greeter->bEmpileProperty(u"Count", &stack, &op)) {
    greeter->Release();
    return fail("Count");
  }
  out << "  property Count -> " << TextOf(*stack.pclGetValeur(0)) << '\n';
  stack.Clear();
  greeter->Release();
  int status = DemoEvent(execution, assembly, lib_dir, out, err);
  execution->Release();
  return status;
}

}  // namespace

int RunNetVerb(const std::string& lib_dir, const std::vector<std::string>& args,
               std::ostream& out, std::ostream& err) {
  if (!args.empty() && args[0] == "convert") return Convert(args, out, err);
  if (!args.empty() && args[0] == "demo") return Demo(lib_dir, out, err);
  if (!args.empty() && (args[0] == "call" || args[0] == "get" || args[0] == "set")) {
    return Member(args, out, err);
  }
  if (args.size() < 2 || (args[0] != "load" && args[0] != "find")) {
    err << "usage: qghost net demo | load <assembly> | find <folder> | convert <type> <value> |\n"
           "       call <assembly> <class> <method> [type:value ...] [--new type:value ...] |\n"
           "       get|set <assembly> <class> <member> [type:value]\n"
           "  types: " << kTypeNames << '\n';
    return 2;
  }
  std::string path = lib_dir + "/qg300net.so";
  uint32_t code = 0;
  qg::ModuleHandle module = qg::LoadModule(path.c_str(), &code);
  if (module == nullptr) {
    err << "cannot load " << path << " (" << code << ")\n";
    return 1;
  }
  auto get_manager = reinterpret_cast<PFN_GetManager>(qg::FindSymbol(module, "gpiGetManager"));
  IDotNetManager* manager = get_manager != nullptr ? get_manager() : nullptr;
  if (manager == nullptr) {
    err << "no .NET manager\n";
    return 1;
  }
  int status = args[0] == "load" ? Load(manager, args[1], out, err) : Find(manager, args[1], out);
  manager->Release();
  // The runtime pins the module: it stays loaded until the process ends.
  return status;
}

}  // namespace qghost
