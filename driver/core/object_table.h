// Keyed table of reference-counted driver objects, on the bounce hash
// table. Every entry holds one reference on its object (both counters).
//
// Number form: the key is a pointer-sized value (an address or a serial
// number), compared by identity and hashed by its own bits.
// Name form: the key is a UTF-16 name, copied into a block the table owns;
// names compare through the host's locale comparison ignoring case and
// diacritics and hash as djb2 over the host's mapping of the name, so that
// names that compare equal hash equally. A one-entry memo keeps the last
// name found (pointing at the table's own key copy) and its object.
//
// No lock inside: the owner serialises every call.
#ifndef QG_DRIVER_CORE_OBJECT_TABLE_H_
#define QG_DRIVER_CORE_OBJECT_TABLE_H_

#include <cstdint>

#include "support/hashtable_bounce.h"
#include "driver/core/refcounted.h"

class CNAObjectTable : public CHashTableBounce {
 public:
  enum Form { kNumberForm, kNameForm };

  explicit CNAObjectTable(Form form);
  ~CNAObjectTable() override;

  Form nGetForm() const { return m_nForm; }
  uint32_t nGetCount() const { return nGetNbElement(); }

  // Number form (false on a name table). bFind gives the object with one
  // more reference.
  bool bFind(uintptr_t key, CNARefCounted** object);
  bool bAdd(uintptr_t key, CNARefCounted* object);
  bool bRemove(uintptr_t key);

  // Name form (false on a number table). A null name is the empty name.
  bool bFind(const char16_t* name, CNARefCounted** object);
  bool bAdd(const char16_t* name, CNARefCounted* object);
  bool bRemove(const char16_t* name);

  // Walk: *cursor starts at 0; each call gives the next key (the number, or
  // the address of the table's name copy, valid while the entry stays) and
  // the object with one more reference. False at the end, which closes the
  // walk; a walk left earlier is closed with EndWalk.
  bool bNext(uint32_t* cursor, uintptr_t* key, CNARefCounted** object);
  void EndWalk() { nFinParcours(); }

  // Removes every entry, releasing objects and key copies; clears the memo.
  void Clear();

  // The hash of a name: 5381, then h * 33 + each unit of the host's mapping
  // of the name ignoring case and diacritics.
  static uint32_t nHashNameNoCase(const char16_t* name);

 private:
  bool bRemoveKey(uintptr_t key);
  void ForgetMemoOf(uintptr_t stored_key, CNARefCounted* object);

  Form m_nForm;
  // Memo of the name form: the table's own copy of the last name found and
  // its object; both null when empty.
  const char16_t* m_pszMemoKey = nullptr;
  CNARefCounted* m_pMemoObject = nullptr;
};

#endif  // QG_DRIVER_CORE_OBJECT_TABLE_H_
