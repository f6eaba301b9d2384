#include "host/core/driver_objects.h"

#include <cstring>

namespace qghost {

int32_t ConnectionDescription::Release() {
  int32_t left = --m_nCount;
  if (left == 0 && owned_by_count) delete this;
  return left;
}

INAConnectionDescription* ConnectionDescription::piCopy(INACopyContext*) {
  auto* copy = new ConnectionDescription();
  copy->name = name;
  copy->user = user;
  copy->password = password;
  copy->data_source = data_source;
  copy->database = database;
  copy->provider = provider;
  copy->extended = extended;
  copy->has_name = has_name;
  copy->has_user = has_user;
  copy->has_password = has_password;
  copy->has_data_source = has_data_source;
  copy->has_database = has_database;
  copy->has_provider = has_provider;
  copy->has_extended = has_extended;
  copy->connection_timeout = connection_timeout;
  copy->command_timeout = command_timeout;
  copy->version = version;
  copy->access_mode = access_mode;
  copy->cache_size = cache_size;
  copy->cursor_flags = cursor_flags;
  copy->context = context;
  if (copy_context_number != 0) copy->context = copy_context_number;
  copy->AddRef();
  return copy;
}

FileDescription::FileDescription(const std::u16string& name, uint32_t context)
    : m_pName(new char16_t[name.size() + 1]), m_nContext(context) {
  std::memcpy(m_pName.get(), name.c_str(), (name.size() + 1) * sizeof(char16_t));
}

FileDescription::~FileDescription() {
  if (m_stQuery.piParsed != nullptr) m_stQuery.piParsed->Release();
}

bool FileDescription::bSetQuery(const std::u16string& text, bool raw, const ParseSchema* schema,
                                std::string* error) {
  qg::IParsedQuery* parsed = nullptr;
  if (!raw) {
    parsed = ParseQuery(text, schema, error);
    if (parsed == nullptr) return false;
  }
  if (m_stQuery.piParsed != nullptr) m_stQuery.piParsed->Release();
  m_strQueryText = text;
  m_stQuery = NAHostQuery();
  m_stQuery.pszText = m_strQueryText.c_str();
  m_stQuery.piParsed = parsed;
  m_stQuery.nFlags = raw ? 0x4u : 0u;
  m_bQuery = true;
  return true;
}

bool FileDescription::bGetItem(int32_t index, NAHostItem* out) {
  if (index < 0 || static_cast<size_t>(index) >= items.size() || out == nullptr) return false;
  const Item& item = items[static_cast<size_t>(index)];
  *out = item.item;
  out->pszName = item.name.c_str();
  out->pszSqlName = item.sql_name.empty() ? nullptr : item.sql_name.c_str();
  return true;
}

bool FileDescription::bGetKey(int32_t index, int32_t* position, bool* descending) {
  if (index < 0 || static_cast<size_t>(index) >= keys.size()) return false;
  if (position != nullptr) *position = keys[static_cast<size_t>(index)].position;
  if (descending != nullptr) *descending = keys[static_cast<size_t>(index)].descending;
  return true;
}

}  // namespace qghost
