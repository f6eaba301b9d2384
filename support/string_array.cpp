#include "support/string_array.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "support/platform/text16.h"

namespace {

// Largest text a joined string may hold (as CTString's own limit).
constexpr size_t kMaxUnits = 0x3FFFFFFE;

// A new string holding the first n units of text, null when memory runs
// out (CTString itself does not report a failed allocation).
CTString* NewString(const char16_t* text, size_t n) {
  n = qg::StrNLen16(text, n);
  auto* s = new (std::nothrow) CTString(text, n);
  if (s != nullptr && static_cast<size_t>(s->nTaille()) != n) {
    delete s;
    return nullptr;
  }
  return s;
}

CTString* NewString(const char16_t* text) { return NewString(text, qg::StrLen16(text)); }

const CTString* At(const void* p) { return *static_cast<const CTString* const*>(p); }

int CompareOrdinal(const void* a, const void* b) {
  return qg::StrCmp16(At(a)->pszGet(), At(b)->pszGet());
}
int CompareOrdinalDescending(const void* a, const void* b) { return CompareOrdinal(b, a); }
int CompareIgnoringCase(const void* a, const void* b) {
  return qg::StrICmpLatin1_16(At(a)->pszGet(), At(b)->pszGet());
}

}  // namespace

CTStringArray::CTStringArray() : CTableauDeBuffer(static_cast<int>(sizeof(CTString*)), 20) {}

CTStringArray::~CTStringArray() { TronqueA(0); }

void CTStringArray::TronqueA(int first) {
  for (int i = first; i < m_nNbElement; ++i) delete Strings()[i];
  if (first < m_nNbElement) m_nNbElement = first;
}

bool CTStringArray::bAjoutePossede(CTString* s) {
  if (s == nullptr) return false;
  if (CTableauDeBuffer::Ajoute(&s) == nullptr) {
    delete s;
    return false;
  }
  return true;
}

bool CTStringArray::vbAjouteTableau(const CTStringArray& other) {
  int first = m_nNbElement;
  int n = other.m_nNbElement;  // fixed before adding: other may be this array
  if (!AgranditMemoire(n)) return false;
  for (int i = 0; i < n; ++i) {
    if (pAjoute(*other.Strings()[i]) == nullptr) {
      TronqueA(first);
      return false;
    }
  }
  return true;
}

CTString* CTStringArray::pAjoute(const char16_t* text) {
  CTString* s = NewString(text);
  return bAjoutePossede(s) ? s : nullptr;
}

CTString* CTStringArray::pAjoute(const CTString& s) { return pAjoute(s.pszGet()); }

CTString* CTStringArray::pInsere(const char16_t* text, int index) {
  if (index < 0 || index > m_nNbElement) return nullptr;
  CTString* s = NewString(text);
  if (s == nullptr) return nullptr;
  if (CTableauDeBuffer::Insere(&s, index) == nullptr) {
    delete s;
    return nullptr;
  }
  return s;
}

CTString* CTStringArray::pInsere(const CTString& s, int index) { return pInsere(s.pszGet(), index); }

bool CTStringArray::bRemplace(int index, const char16_t* text) {
  if (index < 0 || index >= m_nNbElement) return false;
  CTString* s = NewString(text);  // before the old one goes: text may be its own
  if (s == nullptr) return false;
  delete Strings()[index];
  Strings()[index] = s;
  return true;
}

bool CTStringArray::bRemplace(int index, const CTString& s) { return bRemplace(index, s.pszGet()); }

int CTStringArray::nSupprime(int index) {
  if (index < 0 || index >= m_nNbElement) return -1;
  CTString* old = Strings()[index];
  CTableauDeBuffer::nSupprime(index);
  delete old;
  return m_nNbElement;
}

void CTStringArray::SupprimeTout() { TronqueA(0); }

CTString* CTStringArray::pGetElement(int index) const {
  if (index < 0 || index >= m_nNbElement) return nullptr;
  return Strings()[index];
}

int CTStringArray::nCherche(const char16_t* text, bool exact, int start) const {
  if (start < 0) start = 0;
  for (int i = start; i < m_nNbElement; ++i) {
    const CTString* s = Strings()[i];
    if (exact ? s->bEstEgal(text) : s->bEstEgalI(text)) return i;
  }
  return -1;
}

void CTStringArray::TrieCroissant() {
  if (m_nNbElement > 1) std::qsort(m_pData, m_nNbElement, sizeof(CTString*), CompareOrdinal);
}

void CTStringArray::Trie() {
  if (m_nNbElement > 1) std::qsort(m_pData, m_nNbElement, sizeof(CTString*), CompareIgnoringCase);
}

void CTStringArray::TrieDecroissant() {
  if (m_nNbElement > 1)
    std::qsort(m_pData, m_nNbElement, sizeof(CTString*), CompareOrdinalDescending);
}

bool CTStringArray::bConcatene(CTString& out, const char16_t* separator) const {
  if (m_nNbElement == 0) return true;
  size_t seplen = qg::StrLen16(separator);
  size_t total = seplen * static_cast<size_t>(m_nNbElement - 1);
  if (seplen != 0 && total / seplen != static_cast<size_t>(m_nNbElement - 1)) return false;
  for (int i = 0; i < m_nNbElement; ++i) {
    total += static_cast<size_t>(Strings()[i]->nTaille());
    if (total > kMaxUnits) return false;
  }
  if (total == 0) {
    out.RAZ();
    return true;
  }
  // Built whole before `out` is touched: out may be one of the elements.
  auto* block = static_cast<char16_t*>(qg::ContainerRealloc(nullptr, (total + 1) * sizeof(char16_t)));
  if (block == nullptr) return false;
  char16_t* p = block;
  for (int i = 0; i < m_nNbElement; ++i) {
    if (i > 0 && seplen > 0) {
      std::memcpy(p, separator, seplen * sizeof(char16_t));
      p += seplen;
    }
    size_t n = static_cast<size_t>(Strings()[i]->nTaille());
    if (n > 0) std::memcpy(p, Strings()[i]->pszGet(), n * sizeof(char16_t));
    p += n;
  }
  *p = 0;
  CTString joined(block, total);
  qg::ContainerFree(block);
  if (static_cast<size_t>(joined.nTaille()) != total) return false;
  out = static_cast<CTString&&>(joined);
  return true;
}

bool CTStringArray::AjouteDecoupe(const char16_t* text, const char16_t* separator) {
  CTString copy(text);
  if (qg::StrLen16(text) != static_cast<size_t>(copy.nTaille())) return false;
  return bDecoupe(copy, separator);
}

bool CTStringArray::bDecoupe(const CTString& s, const char16_t* separator) {
  // The fields are appended after the old elements, which are deleted only
  // at the end: `s` may be one of them, and a failure leaves them intact.
  int old = m_nNbElement;
  const char16_t* text = s.pszGet();
  size_t len = static_cast<size_t>(s.nTaille());
  size_t seplen = qg::StrLen16(separator);
  size_t pos = 0;
  while (len > 0) {
    ptrdiff_t at = seplen == 0 ? -1 : qg::Find16(text + pos, len - pos, separator, seplen);
    size_t n = at < 0 ? len - pos : static_cast<size_t>(at);
    if (!bAjoutePossede(NewString(text + pos, n))) {
      TronqueA(old);
      return false;
    }
    if (at < 0) break;
    pos += n + seplen;
  }
  if (old > 0) {
    for (int i = 0; i < old; ++i) delete Strings()[i];
    std::memmove(m_pData, Strings() + old,
                 static_cast<size_t>(m_nNbElement - old) * sizeof(CTString*));
    m_nNbElement -= old;
  }
  return true;
}

bool CTStringArray::bAjouteRepete(const char16_t* text, int n) {
  if (n <= 0) return true;
  int first = m_nNbElement;
  if (!AgranditMemoire(n)) return false;
  for (int i = 0; i < n; ++i) {
    if (pAjoute(text) == nullptr) {
      TronqueA(first);
      return false;
    }
  }
  return true;
}

CTString* CTStringArray::pAjouteN(const char16_t* text, int n) {
  if (n < 0) return nullptr;
  CTString* s = NewString(text, static_cast<size_t>(n));
  return bAjoutePossede(s) ? s : nullptr;
}

bool CTStringArray::bSupprimeDerniers(int n) {
  if (n < 0 || n > m_nNbElement) return false;
  TronqueA(m_nNbElement - n);
  return true;
}

bool SortLines(const char16_t* text, CTString& out) {
  CTStringArray lines;
  if (!lines.AjouteDecoupe(text, u"\r\n")) return false;
  if (lines.nGetNbElement() == 0) {
    out.RAZ();
    return true;
  }
  lines.Trie();
  return lines.bConcatene(out, u"\r\n");
}
