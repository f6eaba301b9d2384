#include "host/cli/net_verbs.h"

#include "dotnet/connector/dotnet_interfaces.h"
#include "errors/xerror.h"
#include "support/ctstring.h"
#include "support/platform/codepage.h"
#include "support/platform/module.h"

namespace qghost {
namespace {

using PFN_GetManager = IDotNetManager* (*)();

std::u16string ToU16(const std::string& text) {
  int n = qg::MultiByteToWide(qg::kCodePageUtf8, text.data(), static_cast<int>(text.size()),
                              nullptr, 0);
  std::u16string out(static_cast<size_t>(n > 0 ? n : 0), u'\0');
  if (n > 0) {
    qg::MultiByteToWide(qg::kCodePageUtf8, text.data(), static_cast<int>(text.size()),
                        out.data(), n);
  }
  return out;
}

std::string ToU8(const char16_t* text) {
  if (text == nullptr) return std::string();
  std::u16string s(text);
  int n = qg::WideToMultiByte(qg::kCodePageUtf8, s.data(), static_cast<int>(s.size()), nullptr,
                              0);
  std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) {
    qg::WideToMultiByte(qg::kCodePageUtf8, s.data(), static_cast<int>(s.size()), out.data(), n);
  }
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

}  // namespace

int RunNetVerb(const std::string& lib_dir, const std::vector<std::string>& args,
               std::ostream& out, std::ostream& err) {
  if (args.size() < 2 || (args[0] != "load" && args[0] != "find")) {
    err << "usage: qghost net load <assembly> | find <folder>\n";
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
