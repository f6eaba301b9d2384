#include "dotnet/connector/class_name.h"

#include "support/platform/text16.h"

namespace qgnet {
namespace {

std::u16string Trim(const std::u16string& text) {
  size_t begin = text.find_first_not_of(u' ');
  if (begin == std::u16string::npos) return std::u16string();
  size_t end = text.find_last_not_of(u' ');
  return text.substr(begin, end - begin + 1);
}

}  // namespace

std::vector<std::u16string> SplitTopLevel(const std::u16string& text) {
  std::vector<std::u16string> out;
  if (Trim(text).empty()) return out;
  int depth = 0;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c == u'<' || c == u'[') ++depth;
    if ((c == u'>' || c == u']') && depth > 0) --depth;
    if (c == u',' && depth == 0) {
      out.push_back(Trim(text.substr(start, i - start)));
      start = i + 1;
    }
  }
  out.push_back(Trim(text.substr(start)));
  return out;
}

CDotNetClassName::CDotNetClassName(const char16_t* class_name, const char16_t* name_space) {
  std::u16string name = class_name != nullptr ? class_name : u"";
  if (name.size() >= 2 && name.compare(name.size() - 2, 2, u"[]") == 0) {
    m_array = true;
    name.resize(name.size() - 2);
  }
  std::u16string argument_text;
  size_t open = name.find(u'<');
  if (open != std::u16string::npos) {
    argument_text = name.substr(open + 1);
    if (!argument_text.empty()) argument_text.pop_back();
    name.resize(open);
    m_arguments = SplitTopLevel(argument_text);
  }
  for (char16_t& c : name) {
    if (c == u'.') c = u'+';
  }
  if (name_space != nullptr && *name_space != u'\0') {
    name = std::u16string(name_space) + u"." + name;
  }
  m_base = name;
  if (!m_arguments.empty()) {
    std::string count = std::to_string(m_arguments.size());
    m_base += u"`" + std::u16string(count.begin(), count.end());
  }
  m_full = m_base;
  if (!m_arguments.empty()) m_full += u"[" + argument_text + u"]";
  if (m_array) m_full += u"[]";
}

std::u16string s_GetStandardName(const std::u16string& name) {
  static const std::u16string kPrefix = u"System.EventHandler`1[[";
  if (name.size() > kPrefix.size() &&
      qg::StrNICmpAscii16(name.c_str(), kPrefix.c_str(), kPrefix.size()) == 0) {
    std::u16string rest = name.substr(kPrefix.size());
    size_t comma = rest.find(u',');
    return u"System.EventHandler<" + rest.substr(0, comma) + u">";
  }
  size_t tick = name.rfind(u'`');
  if (tick != std::u16string::npos && tick + 1 < name.size()) {
    int n = 0;
    size_t i = tick + 1;
    for (; i < name.size() && qg::IsDigit16(name[i]) && n < 1000; ++i) n = n * 10 + (name[i] - u'0');
    if (i == name.size() && n > 0) {
      std::u16string out = name.substr(0, tick) + u"<";
      for (int k = 0; k < n; ++k) out += k == 0 ? u"T" : u",T";
      return out + u">";
    }
  }
  return name;
}

}  // namespace qgnet
