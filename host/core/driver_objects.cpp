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

}  // namespace qghost
