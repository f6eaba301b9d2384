#include "support/lzw_compressor.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr uint32_t kSlots = 0x30005;      // compression hash table size
constexpr uint32_t kSaut = 1019;          // first probe step
constexpr uint32_t kCodesMax = 0x10000;   // codes 0 .. 0xFFFF
constexpr uint32_t kCodeReset = 0;
constexpr uint32_t kCodeFin = 257;
constexpr uint32_t kPremierCode = 258;
constexpr unsigned kLargeurMin = 9;
constexpr unsigned kLargeurMax = 16;
constexpr size_t kTailleMinLzw = 20;      // shorter inputs are stored
constexpr size_t kPasRatio = 10000;       // output bytes between ratio checks

uint32_t Lit32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 |
         uint32_t{p[3]} << 24;
}

// A header int32 read as a size: -1 when negative or above the cap.
int64_t LitTaille(const uint8_t* p) {
  const int32_t n = static_cast<int32_t>(Lit32(p));
  if (n < 0 || n > CZLWCompresseur::kTailleMax) return -1;
  return n;
}

void Ecrit32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

// Packs codes least significant bit first. At most 7 bits stay pending
// between calls, so a 16-bit code never overflows the 32-bit accumulator.
struct CSortieBits {
  uint8_t* pSortie;
  size_t nPos;
  uint32_t nAccu = 0;
  unsigned nBits = 0;

  void Emet(uint32_t nCode, unsigned nLargeur) {
    nAccu |= nCode << nBits;
    nBits += nLargeur;
    while (nBits >= 8) {
      pSortie[nPos++] = static_cast<uint8_t>(nAccu);
      nAccu >>= 8;
      nBits -= 8;
    }
  }
  void Vide() {
    if (nBits > 0) pSortie[nPos++] = static_cast<uint8_t>(nAccu);
    nAccu = 0;
    nBits = 0;
  }
};

}  // namespace

int64_t CZLWCompresseur::vnTailleTotale(const uint8_t* pBloc,
                                        size_t nDispo) const {
  if (pBloc == nullptr || nDispo < 1) return -1;
  switch (pBloc[0]) {
    case 0: {
      if (nDispo < kEnteteStocke) return -1;
      const int64_t n = LitTaille(pBloc + 1);
      return n < 0 ? -1 : n + static_cast<int64_t>(kEnteteStocke);
    }
    case 2:
    case 4: {
      if (nDispo < kEnteteLzw) return -1;
      const int64_t n = LitTaille(pBloc + 1);
      if (n < 0) return -1;
      const int64_t total = n + static_cast<int64_t>(kEnteteLzw);
      return static_cast<uint64_t>(total) > nDispo ? -1 : total;
    }
    default:
      return -1;
  }
}

int64_t CZLWCompresseur::vnTailleDecompressee(const uint8_t* pBloc,
                                              size_t nDispo) const {
  if (pBloc == nullptr || nDispo < 1) return -1;
  switch (pBloc[0]) {
    case 0:
      return nDispo < kEnteteStocke ? -1 : LitTaille(pBloc + 1);
    case 2:
    case 4:
      return nDispo < 9 ? -1 : LitTaille(pBloc + 5);
    default:
      return -1;
  }
}

size_t CZLWCompresseur::vnTailleSortieMax(size_t nEntree) const {
  return nEntree + 7;
}

bool CZLWCompresseur::vbEcritEntete(int nMethode, size_t nTailleCharge) {
  if (m_pSortie == nullptr || m_nCapaciteSortie < 1) return false;
  switch (nMethode) {
    case 0:
      if (m_nCapaciteSortie < kEnteteStocke) return false;
      m_pSortie[0] = 0;
      Ecrit32(m_pSortie + 1, static_cast<uint32_t>(m_nTailleEntree));
      return true;
    case 2:
    case 4:
      if (m_nCapaciteSortie < kEnteteLzw) return false;
      m_pSortie[0] = static_cast<uint8_t>(nMethode);
      Ecrit32(m_pSortie + 1, static_cast<uint32_t>(nTailleCharge));
      Ecrit32(m_pSortie + 5, static_cast<uint32_t>(m_nTailleEntree));
      m_pSortie[9] = 0;
      m_pSortie[10] = 0;
      return true;
    default:
      m_pSortie[0] = static_cast<uint8_t>(nMethode);
      return true;
  }
}

size_t CZLWCompresseur::nStocke() {
  vbEcritEntete(kMethodeStocke, 0);
  if (m_nTailleEntree > 0) {
    std::memcpy(m_pSortie + kEnteteStocke, m_pEntree, m_nTailleEntree);
  }
  return m_nTailleEntree + kEnteteStocke;
}

size_t CZLWCompresseur::vnCompresse() {
  const size_t n = m_nTailleEntree;
  if ((n > 0 && m_pEntree == nullptr) || m_pSortie == nullptr ||
      n > static_cast<size_t>(kTailleMax) ||
      m_nCapaciteSortie < vnTailleSortieMax(n)) {
    return 0;
  }
  if (n < kTailleMinLzw) return nStocke();

  // Hash slots hold 0 (empty) or a code >= 258; aDict[code] is the code's
  // key (prefix << 16) | last byte.
  std::unique_ptr<uint16_t[]> aHash(new (std::nothrow) uint16_t[kSlots]());
  std::unique_ptr<uint32_t[]> aDict(new (std::nothrow) uint32_t[kCodesMax]);
  if (!aHash || !aDict) return nStocke();
  for (uint32_t c = 1; c <= 256; ++c) aDict[c] = c - 1;

  const uint8_t* in = m_pEntree;
  CSortieBits sortie{m_pSortie, kEnteteLzw};
  const size_t nLimite = n + 3;  // reaching it means the input is stored
  uint32_t nProchain = kPremierCode;
  unsigned nLargeur = kLargeurMin;
  double dRatioPrecedent = 0.0;
  size_t nSeuilRatio = kPasRatio;

  uint32_t nCourant = in[0] + 1u;
  size_t i = 1;
  while (i < n) {
    const uint32_t d = in[i++];
    const uint32_t nCle = nCourant << 16 | d;
    uint32_t nSlot = ((d << 16) + nCourant) % kSlots;
    bool bTrouve = false;
    for (uint32_t k = 0; aHash[nSlot] != 0; ++k) {
      const uint32_t c = aHash[nSlot];
      if (aDict[c] == nCle) {
        nCourant = c;
        bTrouve = true;
        break;
      }
      nSlot = (nSlot + kSaut + k) % kSlots;
    }
    if (bTrouve) continue;

    sortie.Emet(nCourant, nLargeur);
    if (sortie.nPos >= nLimite) return nStocke();
    if (nProchain < kCodesMax) {
      aHash[nSlot] = static_cast<uint16_t>(nProchain);
      aDict[nProchain] = nCle;
      ++nProchain;
      if ((1u << nLargeur) < nProchain && nLargeur < kLargeurMax) ++nLargeur;
    } else if (sortie.nPos >= nSeuilRatio) {
      // Both counts run from the start of the block, header included.
      const double dRatio = 1.0 - static_cast<double>(sortie.nPos) /
                                      static_cast<double>(i);
      if (dRatio <= dRatioPrecedent) {
        sortie.Emet(kCodeReset, nLargeur);
        std::memset(aHash.get(), 0, kSlots * sizeof(uint16_t));
        nProchain = kPremierCode;
        nLargeur = kLargeurMin;
        dRatioPrecedent = 0.0;
      } else {
        dRatioPrecedent = dRatio;
      }
      nSeuilRatio = sortie.nPos + kPasRatio;
    }
    nCourant = d + 1;
  }

  sortie.Emet(nCourant, nLargeur);
  if (sortie.nPos >= nLimite) return nStocke();
  // The entry the decoder adds after the last code is counted here so that
  // the end code has the width the decoder expects.
  if (nProchain < kCodesMax) {
    ++nProchain;
    if ((1u << nLargeur) < nProchain && nLargeur < kLargeurMax) ++nLargeur;
  }
  sortie.Emet(kCodeFin, nLargeur);
  sortie.Vide();
  vbEcritEntete(kMethodeLzw, sortie.nPos - kEnteteLzw);
  return sortie.nPos;
}

int64_t CZLWCompresseur::vnDecompresse() {
  if (m_pEntree == nullptr || m_nTailleEntree < 1) return -1;
  switch (m_pEntree[0]) {
    case 0: {
      if (m_nTailleEntree < kEnteteStocke) return -1;
      const int64_t n = LitTaille(m_pEntree + 1);
      if (n < 0 || static_cast<uint64_t>(n) > m_nTailleEntree - kEnteteStocke) {
        return -1;
      }
      if (static_cast<uint64_t>(n) > m_nCapaciteSortie) return 0;
      if (n > 0) {
        if (m_pSortie == nullptr) return 0;
        std::memcpy(m_pSortie, m_pEntree + kEnteteStocke,
                    static_cast<size_t>(n));
      }
      return n;
    }
    case 4:
      return nDecompresseLzw();
    default:
      return 0;
  }
}

int64_t CZLWCompresseur::nDecompresseLzw() {
  const uint8_t* in = m_pEntree;
  if (m_nTailleEntree < kEnteteLzw) return -1;
  const int64_t nCharge = LitTaille(in + 1);
  const int64_t nAttendu = LitTaille(in + 5);
  if (nCharge < 0 || nAttendu < 0) return -1;
  const size_t nTotal = static_cast<size_t>(nCharge) + kEnteteLzw;
  if (nTotal > m_nTailleEntree) return -1;
  const size_t nLong = static_cast<size_t>(nAttendu);
  if (nLong > m_nCapaciteSortie) return 0;
  if (nLong == 0) return 0;
  if (m_pSortie == nullptr) return 0;
  uint8_t* out = m_pSortie;

  // No stream of nTotal bytes holds more codes than its bits / 9, and each
  // code adds at most one entry; the table is sized on that bound.
  const uint64_t nBorne = (uint64_t{nTotal} * 8 - 88) / 9 + 257;
  const uint32_t nTailleDict = static_cast<uint32_t>(
      std::clamp<uint64_t>(nBorne, kPremierCode, kCodesMax));
  // Entry: (prefix << 16) | (length << 8) | last byte; length 0 = 255 or more.
  std::unique_ptr<uint32_t[]> aDict(new (std::nothrow) uint32_t[nTailleDict]);
  if (!aDict) return -1;
  aDict[0] = 0;
  for (uint32_t c = 1; c <= 256; ++c) aDict[c] = 1u << 8 | (c - 1);
  aDict[kCodeFin] = 0;

  uint32_t nProchain = kPremierCode;
  unsigned nLargeur = kLargeurMin;
  size_t nLu = kEnteteLzw;
  uint32_t nAccu = 0;
  unsigned nBits = 0;
  size_t o = 0;
  uint32_t nPrecedent = 0;  // 0: the next code starts the dictionary afresh

  // Writes the string of nCode at out + o, never past nLong.
  auto bEcritChaine = [&](uint32_t nCode) -> bool {
    const uint32_t nLongueur = aDict[nCode] >> 8 & 0xFF;
    if (nLongueur != 0) {
      if (nLong - o < nLongueur) return false;
      size_t p = o + nLongueur;
      uint32_t c = nCode;
      while (c > 256) {
        if (p == o) return false;
        out[--p] = static_cast<uint8_t>(aDict[c]);
        c = aDict[c] >> 16;
      }
      if (p != o + 1) return false;
      out[o] = static_cast<uint8_t>(c - 1);
      o += nLongueur;
      return true;
    }
    size_t p = o;
    uint32_t c = nCode;
    while (c > 256) {
      if (p >= nLong) return false;
      out[p++] = static_cast<uint8_t>(aDict[c]);
      c = aDict[c] >> 16;
    }
    if (p >= nLong) return false;
    out[p++] = static_cast<uint8_t>(c - 1);
    std::reverse(out + o, out + p);
    o = p;
    return true;
  };

  while (o < nLong) {
    while (nBits < nLargeur) {
      if (nLu >= nTotal) return -1;
      nAccu |= uint32_t{in[nLu++]} << nBits;
      nBits += 8;
    }
    const uint32_t nCode = nAccu & ((1u << nLargeur) - 1);
    nAccu >>= nLargeur;
    nBits -= nLargeur;

    if (nPrecedent == 0) {
      if (nCode < 1 || nCode > 256) return -1;
      out[o++] = static_cast<uint8_t>(nCode - 1);
      nPrecedent = nCode;
      continue;
    }
    if (nCode == kCodeReset) {
      nProchain = kPremierCode;
      nLargeur = kLargeurMin;
      nPrecedent = 0;
      continue;
    }
    if (nCode == kCodeFin || nCode > nProchain) return -1;

    const size_t nDebut = o;
    if (nCode < nProchain) {
      if (!bEcritChaine(nCode)) return -1;
    } else {
      // The code being defined: the previous string plus its first byte.
      if (nProchain >= nTailleDict) return -1;
      if (!bEcritChaine(nPrecedent) || o >= nLong) return -1;
      out[o] = out[nDebut];
      ++o;
    }
    if (nProchain < nTailleDict) {
      const uint32_t nLongPrec = aDict[nPrecedent] >> 8 & 0xFF;
      const uint32_t nLongNouv =
          (nLongPrec != 0 && nLongPrec < 255) ? nLongPrec + 1 : 0;
      aDict[nProchain] = nPrecedent << 16 | nLongNouv << 8 | out[nDebut];
      ++nProchain;
      if (nProchain >= (1u << nLargeur) && nLargeur < kLargeurMax) ++nLargeur;
    }
    nPrecedent = nCode;
  }
  return static_cast<int64_t>(nLong);
}
