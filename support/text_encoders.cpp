#include "support/text_encoders.h"

#include <cstring>

size_t CEncodeBase::vnEncode(const uint8_t* pOctets, size_t n,
                             int nGroupesParLigne, char* pszTexte) {
  const size_t nGroupes = n / 3;
  const size_t nReste = n % 3;
  size_t nLongueur = nGroupes * 4 + (nReste ? nReste + 1 : 0);
  if (nGroupesParLigne > 0) {
    nLongueur += nGroupes / static_cast<size_t>(nGroupesParLigne) * 2;
  }
  if (pszTexte == nullptr) return nLongueur;

  char* p = pszTexte;
  int nSurLigne = 0;
  for (size_t g = 0; g < nGroupes; ++g) {
    const uint8_t* b = pOctets + g * 3;
    *p++ = vcSymbole(b[0] >> 2);
    *p++ = vcSymbole(((b[0] << 4) & 0x3F) | (b[1] >> 4));
    *p++ = vcSymbole(((b[1] << 2) & 0x3F) | (b[2] >> 6));
    *p++ = vcSymbole(b[2] & 0x3F);
    if (nGroupesParLigne > 0 && ++nSurLigne == nGroupesParLigne) {
      *p++ = '\r';
      *p++ = '\n';
      nSurLigne = 0;
    }
  }
  if (nReste) {
    const uint8_t* b = pOctets + nGroupes * 3;
    const uint8_t b1 = nReste == 2 ? b[1] : 0;
    *p++ = vcSymbole(b[0] >> 2);
    *p++ = vcSymbole(((b[0] << 4) & 0x3F) | (b1 >> 4));
    if (nReste == 2) *p++ = vcSymbole((b1 << 2) & 0x3F);
  }
  *p = '\0';
  return nLongueur;
}

int64_t CEncodeBase::vnDecode(const char* pszTexte, uint8_t* pOctets) {
  if (pszTexte == nullptr) return 0;
  int64_t nOctets = 0;
  uint32_t nAccu = 0;
  int nSymboles = 0;
  for (const char* p = pszTexte; *p; ++p) {
    if (*p == '\r' || *p == '\n') continue;
    const unsigned v = vnValeur(*p) & 0xFF;
    if (v > 0x3F) return -1;
    nAccu = nAccu << 6 | v;
    if (++nSymboles == 4) {
      if (pOctets) {
        pOctets[nOctets] = static_cast<uint8_t>(nAccu >> 16);
        pOctets[nOctets + 1] = static_cast<uint8_t>(nAccu >> 8);
        pOctets[nOctets + 2] = static_cast<uint8_t>(nAccu);
      }
      nOctets += 3;
      nAccu = 0;
      nSymboles = 0;
    }
  }
  // 2 symbols carry 1 byte (12 bits), 3 carry 2 bytes (18 bits); a lone
  // symbol cannot carry a byte.
  if (nSymboles == 1) return -1;
  if (nSymboles > 1) {
    const int nReste = nSymboles - 1;
    nAccu <<= 6 * (4 - nSymboles);
    if (pOctets) {
      pOctets[nOctets] = static_cast<uint8_t>(nAccu >> 16);
      if (nReste == 2) pOctets[nOctets + 1] = static_cast<uint8_t>(nAccu >> 8);
    }
    nOctets += nReste;
  }
  return nOctets;
}

char CEncodeBase85::vcSymbole(unsigned nValeur) const {
  return static_cast<char>(nValeur + 33);
}

unsigned CEncodeBase85::vnValeur(char c) const {
  const unsigned v = static_cast<unsigned char>(c) - 33u;
  return v <= 84 ? v : kHorsAlphabet;
}

size_t CEncodeBase85::vnEncode(const uint8_t* pOctets, size_t n,
                               int /*nGroupesParLigne*/, char* pszTexte) {
  const size_t nReste = n % 4;
  const size_t nLongueur = n / 4 * 5 + (nReste ? nReste + 1 : 0);
  if (pszTexte == nullptr) return nLongueur;

  char* p = pszTexte;
  for (size_t i = 0; i < n; i += 4) {
    const size_t k = n - i < 4 ? n - i : 4;
    uint32_t nGroupe = 0;
    for (size_t j = 0; j < 4; ++j) {
      nGroupe = nGroupe << 8 | (j < k ? pOctets[i + j] : 0u);
    }
    char aChiffres[5];
    for (int j = 4; j >= 0; --j) {
      aChiffres[j] = vcSymbole(nGroupe % 85);
      nGroupe /= 85;
    }
    std::memcpy(p, aChiffres, k + 1);
    p += k + 1;
  }
  *p = '\0';
  return nLongueur;
}

int64_t CEncodeBase85::vnDecode(const char* pszTexte, uint8_t* pOctets) {
  if (pszTexte == nullptr) return 0;
  const char* p = pszTexte;
  size_t n = std::strlen(p);
  if (n >= 2 && p[0] == '<' && p[1] == '~') {
    p += 2;
    n -= 2;
  }
  if (n >= 2 && p[n - 2] == '~' && p[n - 1] == '>') n -= 2;

  int64_t nOctets = 0;
  uint64_t nGroupe = 0;
  int nChiffres = 0;
  auto bSortGroupe = [&](int nGarde) {
    if (nGroupe > 0xFFFFFFFFu) return false;
    for (int j = 0; j < nGarde; ++j) {
      if (pOctets) pOctets[nOctets] = static_cast<uint8_t>(nGroupe >> (24 - 8 * j));
      ++nOctets;
    }
    return true;
  };
  for (size_t i = 0; i < n; ++i) {
    const unsigned v = vnValeur(p[i]) & 0xFF;
    if (v > 84) continue;
    nGroupe = nGroupe * 85 + v;
    if (++nChiffres == 5) {
      if (!bSortGroupe(4)) return -1;
      nGroupe = 0;
      nChiffres = 0;
    }
  }
  if (nChiffres == 1) return -1;
  if (nChiffres > 1) {
    const int nGarde = nChiffres - 1;
    for (; nChiffres < 5; ++nChiffres) nGroupe = nGroupe * 85 + 84;
    if (!bSortGroupe(nGarde)) return -1;
  }
  return nOctets;
}
