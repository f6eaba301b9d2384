// CTStringArray: a growable array of CTString pointers that owns its
// strings: it creates them when text is added and deletes them when
// elements are removed or the array is destroyed. SortLines sorts the
// lines of a CR LF text.
//
// Operations that create a string report a failed allocation (null or
// false) and leave the array as it was. Indexes out of range do nothing
// and are reported the same way.
//
// Not synchronised: one array is used by one thread at a time.
#ifndef QG_SUPPORT_STRING_ARRAY_H_
#define QG_SUPPORT_STRING_ARRAY_H_

#include "support/array.h"
#include "support/ctstring.h"

// The raw byte operations of the base are not offered: they would copy or
// drop owned pointers.
class CTStringArray : protected CTableauDeBuffer {
 public:
  CTStringArray();
  // Slots 1 to 5 are the base's; the destructor (slot 2) deletes every
  // string.
  ~CTStringArray() override;

  // 6: appends a copy of every string of `other` (which may be this array);
  // false when one could not be added (nothing is added then).
  virtual bool vbAjouteTableau(const CTStringArray& other);
  // 7: appends a new string holding a copy of the text (null: the empty
  // string); the new string, or null when it could not be appended.
  virtual CTString* pAjoute(const char16_t* text);
  // 8: as 7 with the string's text.
  virtual CTString* pAjoute(const CTString& s);
  // 9: inserts a new string at index (0..count); null when index is out of
  // range or memory runs out.
  virtual CTString* pInsere(const char16_t* text, int index);
  // 10: as 9 with the string's text.
  virtual CTString* pInsere(const CTString& s, int index);
  // 11: replaces the element at index by a new string holding the text and
  // deletes the old one; false (nothing changed) when index is out of range
  // or memory runs out. The text may be the replaced string's own.
  virtual bool bRemplace(int index, const char16_t* text);
  // 12: as 11 with the string's text.
  virtual bool bRemplace(int index, const CTString& s);
  // 13: removes and deletes the element at index; the new count, or -1
  // when index is out of range.
  virtual int nSupprime(int index);
  // 14: deletes every string; count 0, memory kept.
  virtual void SupprimeTout();
  // 15: the element at index, null when out of range.
  virtual CTString* pGetElement(int index) const;
  // 16: index of the first string at or after `start` equal to the text
  // (null reads as empty), -1 when none or when start is at or beyond the
  // count. exact: ordinal; otherwise as CTString::bEstEgalI. A negative
  // start reads as 0.
  virtual int nCherche(const char16_t* text, bool exact, int start = 0) const;
  // 17: ascending, ordinal.
  virtual void TrieCroissant();
  // 18: ascending, ignoring case (ASCII and Latin-1 letters).
  virtual void Trie();
  // 19: descending, ordinal.
  virtual void TrieDecroissant();
  // 20: joins every string into `out` with the separator between
  // neighbours. An empty array leaves `out` as it is and returns true;
  // false (out unchanged) when memory runs out. `out` may be an element.
  virtual bool bConcatene(CTString& out, const char16_t* separator) const;
  // 21: splits a copy of the text (see 22).
  virtual bool AjouteDecoupe(const char16_t* text, const char16_t* separator);
  // 22: replaces every element by the fields of `s` cut at each occurrence
  // of the separator text, in one pass: "x;;y" on ";" gives "x", "", "y";
  // an empty `s` gives no element, an empty separator one field. `s` may be
  // an element. False when memory runs out: the array is then unchanged.
  virtual bool bDecoupe(const CTString& s, const char16_t* separator);
  // 23: appends n copies of the text; false when memory runs out (nothing
  // is added then).
  virtual bool bAjouteRepete(const char16_t* text, int n);
  // 24: appends a string of the first n units of the text (fewer when it
  // ends first); null when n is negative or memory runs out.
  virtual CTString* pAjouteN(const char16_t* text, int n);
  // 25: removes and deletes the last n elements; false (nothing removed)
  // when n is negative or above the count.
  virtual bool bSupprimeDerniers(int n);

  using CTableauDeBuffer::AgranditMemoire;
  using CTableauDeBuffer::nGetNbElement;
  using CTableauDeBuffer::nReserve;
  using CTableauDeBuffer::vAjusteMemoire;

 private:
  CTString** Strings() const { return reinterpret_cast<CTString**>(m_pData); }
  // Appends an owned string; false (s deleted) when the array cannot grow.
  bool bAjoutePossede(CTString* s);
  // Deletes the elements from index `first` to the end.
  void TronqueA(int first);
};

// Splits the text at CR LF, sorts the lines ascending ignoring case and
// joins them again with CR LF into `out` (empty for an empty text). False
// when memory runs out (out unchanged).
bool SortLines(const char16_t* text, CTString& out);

#endif  // QG_SUPPORT_STRING_ARRAY_H_
