// A small file-backed store of registry values (32-bit numbers and texts)
// under HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE key paths such as
// u"Software\\Moravex\\qgxxxxweb".
//
// Layout: <root>/<hive>/<key components>/#values, one folder per key
// component. Key components and value names compare under the simple case
// folding of the BMP, as the Windows registry compares them. Writing a
// value creates its key; a key exists once a value was written under it
// or below it.
//
// The root is $QG_REGISTRY_ROOT when set and not empty, else
// $HOME/.config/qg300/registry; it is read on every call.
//
// Writes replace the key's file atomically (temporary file, then rename)
// under a process-wide lock; two processes writing the same key at the
// same moment may lose one of the two writes, never corrupt the file.
#ifndef QG_SUPPORT_PLATFORM_REGISTRY_H_
#define QG_SUPPORT_PLATFORM_REGISTRY_H_

#include <cstdint>
#include <string>

namespace qg {

enum class RegistryHive { kCurrentUser, kLocalMachine };

enum class RegStatus {
  kOk,
  kNotFound,         // no such key or value
  kWrongType,        // the value exists with the other type
  kInvalidArgument,  // a null key, name or text
  kIoError,
};

// The folder the store lives in.
std::string RegistryRoot();

// True when the key can be opened (it holds a value or a sub-key).
bool RegKeyExists(RegistryHive hive, const char16_t* key);

// An empty value name is the key's default value.
RegStatus RegReadDword(RegistryHive hive, const char16_t* key, const char16_t* name,
                       uint32_t* value);
RegStatus RegReadString(RegistryHive hive, const char16_t* key, const char16_t* name,
                        std::u16string* value);

// Creates or replaces the value, whatever its previous type. A text is
// stored as UTF-8: a lone surrogate comes back as U+FFFD.
RegStatus RegWriteDword(RegistryHive hive, const char16_t* key, const char16_t* name,
                        uint32_t value);
RegStatus RegWriteString(RegistryHive hive, const char16_t* key, const char16_t* name,
                         const char16_t* value);

}  // namespace qg

#endif  // QG_SUPPORT_PLATFORM_REGISTRY_H_
