// A .NET class name built from the host's class name and namespace:
// "Outer.Inner" names the nested type Outer+Inner, "List<Int32>" a
// constructed generic type, "T[]" an array. Generic arguments split at
// top-level commas only, so "Dictionary<String,List<Int32>>" has two.
#ifndef QG_DOTNET_CONNECTOR_CLASS_NAME_H_
#define QG_DOTNET_CONNECTOR_CLASS_NAME_H_

#include <string>
#include <vector>

namespace qgnet {

// Splits at commas outside any <...> or [...] pair; fields are trimmed of
// spaces. An empty text gives no field.
std::vector<std::u16string> SplitTopLevel(const std::u16string& text);

class CDotNetClassName {
 public:
  CDotNetClassName(const char16_t* class_name, const char16_t* name_space);

  bool bEstTableau() const { return m_array; }
  bool bEstGenerique() const { return !m_arguments.empty(); }
  // "Namespace.Outer+Inner", with "`n" for a generic type.
  const std::u16string& BaseName() const { return m_base; }
  // BaseName, then "[args]" for a generic type and "[]" for an array.
  const std::u16string& FullName() const { return m_full; }
  const std::vector<std::u16string>& Arguments() const { return m_arguments; }

 private:
  bool m_array = false;
  std::u16string m_base;
  std::u16string m_full;
  std::vector<std::u16string> m_arguments;
};

// The name handed back to the host: "System.EventHandler`1[[X, ...]]"
// becomes "System.EventHandler<X>", "List`2" becomes "List<T,T>"; other
// names are unchanged.
std::u16string s_GetStandardName(const std::u16string& name);

}  // namespace qgnet

#endif  // QG_DOTNET_CONNECTOR_CLASS_NAME_H_
