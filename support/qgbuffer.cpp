#include "support/qgbuffer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "support/any.h"
#include "support/any_serial.h"
#include "support/frame/module_services.h"
#include "support/lzw_compressor.h"
#include "support/platform/codepage.h"
#include "support/platform/text16.h"

namespace {

const qg::RawBlockRecord kRecordBloc{2, 0, 0};

// Key text of the body obfuscation (39 characters) and its seed.
constexpr char16_t kTexteCle[] = u"Vantor qg300 serialised body, key one!!";
static_assert(sizeof(kTexteCle) / sizeof(char16_t) - 1 == 39, "39-character key text");
constexpr uint32_t kGraineCle = 0x5147;

// Half the capacity is added at most this much once the capacity passes
// 2 MiB.
constexpr size_t kDemiMax = 0x100000;

uint8_t* AlloueBloc(size_t n, qg::IStringMemory** ppiHote) {
  qg::IStringMemory* h = qg::Services().piStringMemory;
  *ppiHote = h;
  void* p = h != nullptr ? h->pAllocateBlock(n, &kRecordBloc) : std::malloc(n);
  return static_cast<uint8_t*>(p);
}

uint8_t* RealloueBloc(uint8_t* p, size_t n, qg::IStringMemory* piHote) {
  void* q = piHote != nullptr ? piHote->pReallocateBlock(p, n, &kRecordBloc) : std::realloc(p, n);
  return static_cast<uint8_t*>(q);
}

void LibereBloc(uint8_t* p, qg::IStringMemory* piHote) {
  if (p == nullptr) return;
  if (piHote != nullptr) {
    piHote->FreeBlock(p, &kRecordBloc);
  } else {
    std::free(p);
  }
}

uint32_t Lit32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

void Ecrit32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

// Bytes the LZW decoder can produce at most from a block of nTotal bytes:
// every code takes at least 9 bits, and the k-th code of a stream gives at
// most k bytes (an entry is one byte longer than an earlier one), and never
// more than 0x10000.
int64_t nSortieLzwMax(int64_t nTotal) {
  const int64_t nCodes = (nTotal - static_cast<int64_t>(CZLWCompresseur::kEnteteLzw)) * 8 / 9 + 1;
  return std::min(nCodes * (nCodes + 1) / 2, nCodes * 0x10000);
}

// The seam through which CAny reads its records.
class CSourceBuffer final : public qg::IByteSource {
 public:
  explicit CSourceBuffer(CQGBuffer& b) : m_b(b) {}
  bool bLit(void* data, size_t n) override { return m_b.Lit(data, n); }
  size_t nRestant() const override { return m_b.nRestant(); }

 private:
  CQGBuffer& m_b;
};

}  // namespace

int32_t nConvertitTypeAncien(int32_t nType) {
  switch (nType) {
    case 258: return 2;
    case 259: return 8;
    case 260: return 18;
    case 261: return 20;
    case 65540: return 7;
    default: return nType;
  }
}

// --- construction and memory ----------------------------------------------------

CQGBuffer::CQGBuffer(int nCryptage, int nCompression)
    : m_nCryptage(nCryptage), m_nCompression(nCompression) {
  if (m_nCryptage == 1) vCreeCrypteur();
  if (m_nCompression != 0) vCreeCompresseur();
  vbAlloue(0);
}

CQGBuffer::~CQGBuffer() {
  // Virtual calls here reach this class's operations, which is what is
  // wanted: derived parts are already gone.
  CQGBuffer::vLibere();
  CQGBuffer::vLibereSortie();
  CQGBuffer::vDetruitCompresseur();
  CQGBuffer::vDetruitCrypteur();
}

bool CQGBuffer::vbAlloue(size_t n) {
  vLibere();
  if (n > kTailleMax) return false;
  if (n > 0) {
    qg::IStringMemory* piHote = nullptr;
    uint8_t* p = AlloueBloc(n, &piHote);
    if (p == nullptr) return false;
    std::memset(p, 0, n);  // the whole block counts as used
    m_pDebut = p;
    m_piHoteBloc = piHote;
  }
  m_nAlloue = n;
  m_nTaille = n;
  m_nPosition = 0;
  return true;
}

bool CQGBuffer::vbRealloue(size_t n) {
  if (n == 0) {
    vLibere();
    return true;
  }
  if (n > kTailleMax) return false;
  uint8_t* p;
  if (m_pDebut == nullptr) {
    p = AlloueBloc(n, &m_piHoteBloc);
  } else {
    p = RealloueBloc(m_pDebut, n, m_piHoteBloc);
  }
  if (p == nullptr) return false;  // the old block, if any, is untouched
  m_pDebut = p;
  m_nAlloue = n;
  if (m_nTaille > n) m_nTaille = n;
  if (m_nPosition > m_nTaille) m_nPosition = 0;
  // The compression output block is left alone: finishing and restoring
  // size it for the body at hand and may be using it now.
  return true;
}

void CQGBuffer::vLibere() {
  LibereBloc(m_pDebut, m_piHoteBloc);
  m_pDebut = nullptr;
  m_piHoteBloc = nullptr;
  m_nPosition = 0;
  m_nAlloue = 0;
  m_nTaille = 0;
  // No body is left: its form is open again.
  m_nDebutCorps = 0;
  m_bFini = false;
  m_bCompresse = false;
  m_bBrouille = false;
  m_bEtatConnu = false;
  if (m_nCompression != 0) vLibereSortie();
}

CBlocCede::~CBlocCede() { LibereBloc(m_p, m_piHote); }

void CQGBuffer::CedeBloc(CBlocCede* out) {
  LibereBloc(out->m_p, out->m_piHote);
  out->m_p = m_pDebut;
  out->m_piHote = m_piHoteBloc;
  m_pDebut = nullptr;
  m_piHoteBloc = nullptr;
  vLibere();
}

bool CQGBuffer::vbAlloueSortie() {
  if (!m_pCompresseur) return false;
  return bAlloueSortie(m_pCompresseur->nTailleSortieMax(m_nAlloue));
}

bool CQGBuffer::bAlloueSortie(size_t n) {
  if (m_pSortie != nullptr && m_nSortie >= n) return true;
  vLibereSortie();
  uint8_t* p = AlloueBloc(std::max<size_t>(n, 1), &m_piHoteSortie);
  if (p == nullptr) {
    m_piHoteSortie = nullptr;
    return false;
  }
  m_pSortie = p;
  m_nSortie = n;
  return true;
}

void CQGBuffer::vLibereSortie() {
  LibereBloc(m_pSortie, m_piHoteSortie);
  m_pSortie = nullptr;
  m_piHoteSortie = nullptr;
  m_nSortie = 0;
}

void CQGBuffer::vCreeCompresseur() {
  if (!m_pCompresseur) m_pCompresseur = std::make_unique<CCompresseur>();
}

void CQGBuffer::vDetruitCompresseur() { m_pCompresseur.reset(); }

void CQGBuffer::vCreeCrypteur() {
  if (m_nCryptage != 1 || m_pCrypteur) return;
  m_pCrypteur = std::make_unique<CCryptHomeMade>();
  m_pCrypteur->DeriveCle(kGraineCle, kTexteCle);
}

void CQGBuffer::vDetruitCrypteur() { m_pCrypteur.reset(); }

bool CQGBuffer::bSetModes(int nCryptage, int nCompression) {
  if (m_bFini) return false;
  m_nCryptage = nCryptage;
  m_nCompression = nCompression;
  if (m_nCryptage == 1) {
    vCreeCrypteur();
  } else {
    vDetruitCrypteur();
  }
  if (m_nCompression != 0) {
    vCreeCompresseur();
  } else {
    vLibereSortie();
    vDetruitCompresseur();
  }
  return true;
}

// --- size and position --------------------------------------------------------

bool CQGBuffer::Redimensionne(size_t n) {
  if (n > kTailleMax) return false;
  if (n == 0) {
    vLibere();
    return true;
  }
  if (n > m_nAlloue) {
    const size_t a = m_nAlloue;
    const size_t nDemi = std::min(a / 2, kDemiMax);
    size_t nNouveau = a + std::max({n - a, m_nPas, nDemi});
    if (nNouveau > kTailleMax) nNouveau = std::max(n, kTailleMax);
    if (!vbRealloue(nNouveau)) return false;
    m_nTaille = n;
    return true;
  }
  if (n <= m_nTaille) {
    // A failed shrink keeps the larger block, which is harmless.
    if (m_nAlloue - n >= m_nPas) vbRealloue(n);
    if (m_nPosition >= n) m_nPosition = 0;
  }
  m_nTaille = n;
  return true;
}

bool CQGBuffer::bAgrandit(size_t nFin) {
  if (nFin <= m_nTaille) return true;
  const size_t nAvant = m_nTaille;
  if (!Redimensionne(nFin)) return false;
  std::memset(m_pDebut + nAvant, 0, nFin - nAvant);
  return true;
}

bool CQGBuffer::bPrepareAcces(size_t n) {
  if (!m_bFini) return true;
  if (n <= m_nDebutCorps && m_nPosition <= m_nDebutCorps - n) return true;
  return bDefinit();
}

uint8_t* CQGBuffer::pReserve(size_t n) {
  if (n > kTailleMax || m_nPosition > kTailleMax - n) return nullptr;
  if (!bPrepareAcces(n)) return nullptr;
  const size_t nFin = m_nPosition + n;
  if (nFin > m_nTaille && !Redimensionne(nFin)) return nullptr;
  return m_pDebut + m_nPosition;
}

bool CQGBuffer::VerifieDisponible(size_t n) {
  if (n == 0) return true;
  if (n > kTailleMax || m_nPosition > kTailleMax - n) return false;
  if (!bPrepareAcces(n)) return false;
  return bAgrandit(m_nPosition + n);
}

int64_t CQGBuffer::Seek(int64_t nOffset, int nOrigine) {
  if (nOrigine < 0 || nOrigine > 2) return -1;
  // The end of a finished body is only known once it is restored.
  if (m_bFini && nOrigine == 2 && !bDefinit()) return -1;
  int64_t nBase = 0;
  if (nOrigine == 1) nBase = static_cast<int64_t>(m_nPosition);
  if (nOrigine == 2) nBase = static_cast<int64_t>(m_nTaille);
  if (nOffset > static_cast<int64_t>(kTailleMax) || nOffset < -static_cast<int64_t>(kTailleMax)) {
    return -1;
  }
  const int64_t nCible = nBase + nOffset;
  if (nCible < 0 || nCible > static_cast<int64_t>(kTailleMax)) return -1;
  const auto n = static_cast<size_t>(nCible);
  if (n > m_nTaille) {
    if (m_bFini && !bDefinit()) return -1;
    if (!bAgrandit(n)) return -1;
  }
  m_nPosition = n;
  return nCible;
}

bool CQGBuffer::DeplaceEcriture(int64_t nOffset, int nMode) {
  if (nMode != 0 && nMode != 1) return false;
  return Seek(nOffset, nMode) >= 0;
}

size_t CQGBuffer::DeplaceLecture(int64_t nOffset, int nMode) {
  int64_t nCible = nOffset;
  if (nMode == 1) {
    // Saturates: the target is clamped to the data below anyway.
    const auto nPos = static_cast<int64_t>(m_nPosition);
    nCible = nOffset > INT64_MAX - nPos ? INT64_MAX : nOffset + nPos;
  }
  if (nCible < 0) nCible = 0;
  // Clamping needs the real size of a finished body.
  if (m_bFini && nCible > static_cast<int64_t>(m_nDebutCorps)) bDefinit();
  if (nCible > static_cast<int64_t>(m_nTaille)) nCible = static_cast<int64_t>(m_nTaille);
  m_nPosition = static_cast<size_t>(nCible);
  return m_nTaille;
}

// --- raw reads and writes -------------------------------------------------------------

bool CQGBuffer::Ecrit(const void* p, size_t n) {
  if (n == 0) return true;
  // The source may lie in this buffer, which a reallocation moves.
  const auto* src = static_cast<const uint8_t*>(p);
  const bool bInterne = m_pDebut != nullptr && src >= m_pDebut && src < m_pDebut + m_nAlloue;
  const size_t nDecalage = bInterne ? static_cast<size_t>(src - m_pDebut) : 0;
  uint8_t* dst = pReserve(n);
  if (dst == nullptr) return false;
  if (bInterne) src = m_pDebut + nDecalage;
  std::memmove(dst, src, n);
  m_nPosition += n;
  return true;
}

bool CQGBuffer::Lit(void* p, size_t n) {
  if (n == 0) return true;
  if (n > kTailleMax || !bPrepareAcces(n)) return false;
  if (n > m_nTaille - m_nPosition) return false;
  std::memcpy(p, m_pDebut + m_nPosition, n);
  m_nPosition += n;
  return true;
}

size_t CQGBuffer::nLitAuPlus4(void* p) {
  if (!bPrepareAcces(std::min<size_t>(4, m_nTaille - m_nPosition))) return 0;
  const size_t n = std::min<size_t>(4, m_nTaille - m_nPosition);
  if (n > 0) std::memcpy(p, m_pDebut + m_nPosition, n);
  m_nPosition += n;
  return n;
}

// --- string records ----------------------------------------------------------------------

bool CQGBuffer::EcritChaine(const char16_t* psz) {
  if (psz == nullptr || psz[0] == 0) {
    const uint8_t nul = 0;
    return Ecrit(&nul, 1);
  }
  const size_t nUnites = qg::StrLen16(psz);
  if (nUnites > kTailleMax / 3) return false;
  const int nOctets = qg::WideToMultiByte(qg::kCodePageUtf8, psz, static_cast<int>(nUnites),
                                          nullptr, 0);
  if (nOctets <= 0) return false;
  const size_t n = static_cast<size_t>(nOctets);
  const size_t nTotal = n + kTailleEnteteChaine;
  uint8_t* q = pReserve(nTotal);
  if (q == nullptr) return false;
  Ecrit32(q, kMarqueDebut);
  Ecrit32(q + 4, static_cast<uint32_t>(nTotal));
  if (qg::WideToMultiByte(qg::kCodePageUtf8, psz, static_cast<int>(nUnites),
                          reinterpret_cast<char*>(q + 8), nOctets) != nOctets) {
    // Cannot happen after the measure; leave well-formed bytes behind.
    std::memset(q + 8, '?', n);
  }
  q[8 + n] = 0;
  Ecrit32(q + 9 + n, kMarqueFin);
  m_nPosition += nTotal;
  return true;
}

bool CQGBuffer::bLocaliseChaine(size_t* pnLongueur, size_t* pnTexte, size_t* pnOctets,
                                bool* pbUtf8) {
  if (!bPrepareAcces(1)) return false;
  const size_t p = m_nPosition;
  const size_t e = m_nTaille;
  if (p >= e) return false;
  const uint8_t* d = m_pDebut;
  *pbUtf8 = false;
  if (d[p] == 0) {
    *pnLongueur = 1;
    *pnTexte = p;
    *pnOctets = 0;
    return true;
  }
  // A record: both marks, a length that fits the data, and a text whose
  // NUL stands exactly before the closing mark.
  if (e - p >= kTailleEnteteChaine + 1 && Lit32(d + p) == kMarqueDebut) {
    const size_t L = Lit32(d + p + 4);
    if (L >= kTailleEnteteChaine + 1 && L <= e - p && Lit32(d + p + L - 4) == kMarqueFin &&
        d[p + L - 5] == 0 && std::memchr(d + p + 8, 0, L - kTailleEnteteChaine) == nullptr) {
      *pnLongueur = L;
      *pnTexte = p + 8;
      *pnOctets = L - kTailleEnteteChaine;
      *pbUtf8 = true;
      return true;
    }
  }
  // Anything else is a legacy 1252 text up to its NUL, which must come
  // before the end of the data.
  const void* nul = std::memchr(d + p, 0, e - p);
  if (nul == nullptr) return false;
  const size_t n = static_cast<size_t>(static_cast<const uint8_t*>(nul) - (d + p));
  *pnLongueur = n + 1;
  *pnTexte = p;
  *pnOctets = n;
  return true;
}

bool CQGBuffer::bLitChaine(CTString& s) {
  size_t nLongueur, nTexte, nOctets;
  bool bUtf8;
  if (!bLocaliseChaine(&nLongueur, &nTexte, &nOctets, &bUtf8)) return false;
  if (nOctets == 0) {
    s.RAZ();
  } else {
    // The text is NUL-terminated inside the data.
    s.SetFromMultiByte(reinterpret_cast<const char*>(m_pDebut + nTexte),
                       bUtf8 ? qg::kCodePageUtf8 : qg::kCodePage1252);
    if (s.bEstVide()) return false;  // no memory for the copy
  }
  m_nPosition += nLongueur;
  return true;
}

bool CQGBuffer::bLitChaineXY(CXYString<char16_t>& s) {
  size_t nLongueur, nTexte, nOctets;
  bool bUtf8;
  if (!bLocaliseChaine(&nLongueur, &nTexte, &nOctets, &bUtf8)) return false;
  if (nOctets == 0) {
    s.Libere();
  } else if (s.nAffecteConversion(reinterpret_cast<const char*>(m_pDebut + nTexte),
                                  static_cast<int>(nOctets),
                                  bUtf8 ? static_cast<int>(qg::kCodePageUtf8)
                                        : static_cast<int>(qg::kCodePage1252)) >= 100) {
    return false;
  }
  m_nPosition += nLongueur;
  return true;
}

bool CQGBuffer::bSauteChaine() {
  size_t nLongueur, nTexte, nOctets;
  bool bUtf8;
  if (!bLocaliseChaine(&nLongueur, &nTexte, &nOctets, &bUtf8)) return false;
  m_nPosition += nLongueur;
  return true;
}

// --- length fields and blocks --------------------------------------------------------------

int64_t CQGBuffer::nCommenceLongueur() {
  const auto nDebut = static_cast<int64_t>(m_nPosition);
  return EcritEntier(0) ? nDebut : -1;
}

int64_t CQGBuffer::nTermineLongueur(int64_t nDebut) {
  if (nDebut < 0 || nDebut > static_cast<int64_t>(m_nPosition)) return -1;
  const auto d = static_cast<size_t>(nDebut);
  if (m_nPosition - d < 4) return -1;
  if (m_bFini && d + 4 > m_nDebutCorps && !bDefinit()) return -1;
  if (d + 4 > m_nTaille || d > m_nPosition) return -1;
  const size_t n = m_nPosition - d;
  Ecrit32(m_pDebut + d, static_cast<uint32_t>(n));
  return static_cast<int64_t>(n);
}

bool CQGBuffer::EcritEnteteBloc(int32_t nVersion, int32_t nVersionLecteur) {
  uint8_t e[kTailleEnteteBloc];
  Ecrit32(e, static_cast<uint32_t>(kTailleEnteteBloc));
  Ecrit32(e + 4, static_cast<uint32_t>(nVersion));
  Ecrit32(e + 8, static_cast<uint32_t>(nVersionLecteur));
  return Ecrit(e, sizeof(e));
}

bool CQGBuffer::EcritEntete(int32_t nVersion, int32_t nVersionLecteur) {
  if (m_bFini && !bDefinit()) return false;
  if (Seek(0, 0) != 0 || !EcritEnteteBloc(nVersion, nVersionLecteur)) return false;
  m_nDebutCorps = kTailleEnteteBloc;
  m_bEtatConnu = true;
  return true;
}

int CQGBuffer::nLitEnteteBloc(int32_t nVersionMax, int32_t* pnVersion,
                              int32_t* pnVersionLecteur) {
  int32_t nTailleEntete, nVersion, nVersionLecteur;
  if (!LitEntier(nTailleEntete) || !LitEntier(nVersion) || !LitEntier(nVersionLecteur)) {
    return kEnteteCourt;
  }
  if (nTailleEntete < static_cast<int32_t>(kTailleEnteteBloc)) return kEnteteInvalide;
  const size_t nExtra = static_cast<size_t>(nTailleEntete) - kTailleEnteteBloc;
  if (nExtra > 0 && !bPrepareAcces(nExtra)) return kEnteteInvalide;
  if (nExtra >= m_nTaille - m_nPosition) {
    m_nPosition = m_nTaille;
    return kEnteteInvalide;
  }
  m_nPosition += nExtra;
  if (pnVersion != nullptr) *pnVersion = nVersion;
  if (pnVersionLecteur != nullptr) *pnVersionLecteur = nVersionLecteur;
  return nVersionLecteur > nVersionMax ? kEnteteTropRecent : kEnteteOk;
}

int CQGBuffer::nLitEntete(int32_t* pnVersion, int32_t* pnVersionLecteur) {
  m_nPosition = 0;
  if (!m_bEtatConnu) {
    m_nDebutCorps = kTailleEnteteBloc;
    m_bCompresse = m_nCompression != 0;
    m_bBrouille = m_nCryptage == 1;
    m_bFini = m_bCompresse || m_bBrouille;
    m_bEtatConnu = true;
  }
  return nLitEnteteBloc(kVersionEntete, pnVersion, pnVersionLecteur);
}

int64_t CQGBuffer::pLitDebutBloc(int64_t nFinEnglobante) {
  const size_t nDebut = m_nPosition;
  int32_t nTailleBloc;
  if (!LitEntier(nTailleBloc)) return -1;
  int64_t nLimite = static_cast<int64_t>(m_nTaille);
  if (nFinEnglobante >= 0 && nFinEnglobante < nLimite) nLimite = nFinEnglobante;
  const int64_t nFin = static_cast<int64_t>(nDebut) + nTailleBloc;
  if (nTailleBloc < 4 || nFin > nLimite) {
    m_nPosition = nDebut;
    return -1;
  }
  return nFin;
}

void CQGBuffer::FinBloc(int64_t nFin) {
  if (nFin < 0) nFin = 0;
  if (nFin > static_cast<int64_t>(m_nTaille)) nFin = static_cast<int64_t>(m_nTaille);
  m_nPosition = static_cast<size_t>(nFin);
}

// --- variant records ----------------------------------------------------------------------

// The record is built aside and written in one piece: a record that fails
// (memory, or a value that has no record) leaves the buffer's bytes, sizes
// and position as they were, wherever it was to be written.
bool CQGBuffer::EcritAny(const CAny& v) {
  try {
    qg::CByteVectorSink record;
    if (!v.bEcritCourt(record)) return false;
    return Ecrit(record.Octets().data(), record.Octets().size());
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool CQGBuffer::LitAny(CAny& v) {
  if (!bPrepareAcces(2)) return false;
  if (!m_bFini) {
    // A plain body: the record is read where it lies.
    size_t n = 0;
    if (!qg::bLitCourtOctets(v, m_pDebut + m_nPosition, m_nTaille - m_nPosition, &n)) {
      return false;
    }
    m_nPosition += n;
    return true;
  }
  const size_t nPosition = m_nPosition;
  CSourceBuffer source(*this);
  if (v.bLitCourt(source)) return true;
  m_nPosition = std::min(nPosition, m_nTaille);
  return false;
}

// --- finishing ------------------------------------------------------------------------------

// Applies whichever steps are missing: a restoring that failed part-way
// may have left the body compressed but no longer scrambled.
bool CQGBuffer::bFinit() {
  const bool bManqueCompression = m_nCompression != 0 && !m_bCompresse;
  const bool bManqueBrouillage = m_nCryptage == 1 && !m_bBrouille;
  if (m_bFini && !bManqueCompression && !bManqueBrouillage) return true;
  if (m_nTaille < m_nDebutCorps) return false;
  const size_t nPosition = m_nPosition;
  bool bCompresseIci = false;
  if (m_nCompression != 0 && !m_bCompresse) {
    if (!m_pCompresseur) vCreeCompresseur();
    const size_t nCorps = m_nTaille - m_nDebutCorps;
    const size_t nBorne = m_pCompresseur->nTailleSortieMax(nCorps);
    if (!bAlloueSortie(nBorne)) return false;
    m_pCompresseur->SetEntree(m_pDebut + m_nDebutCorps, nCorps);
    m_pCompresseur->SetSortie(m_pSortie, m_nSortie);
    const size_t n = m_pCompresseur->nCompresse();
    if (n == 0 || n > m_nSortie) return false;
    if (!Redimensionne(m_nDebutCorps + n)) return false;
    std::memcpy(m_pDebut + m_nDebutCorps, m_pSortie, n);
    vLibereSortie();
    m_bCompresse = true;
    bCompresseIci = true;
  }
  if (m_nCryptage == 1 && !m_bBrouille) {
    if (!m_pCrypteur) vCreeCrypteur();
    const size_t nCorps = m_nTaille - m_nDebutCorps;
    const size_t n = m_pCrypteur->nTailleBrouillee(nCorps);
    if (n != nCorps && !bAgrandit(m_nDebutCorps + n)) {
      if (bCompresseIci) {
        bDecompresseCorps();  // undo the step applied here
      }
      m_nPosition = std::min(nPosition, m_nTaille);
      return false;
    }
    m_pCrypteur->Brouille(m_pDebut + m_nDebutCorps, n);
    m_bBrouille = true;
  }
  m_bFini = true;
  m_bEtatConnu = true;
  m_nPosition = std::min(nPosition, m_nTaille);
  return true;
}

size_t CQGBuffer::nCorpsMaxParDefaut(size_t nCorpsCompresse) {
  if (nCorpsCompresse > kTailleMax / kExpansionDefaut) return kTailleMax;
  return std::max(nCorpsCompresse * kExpansionDefaut, kCorpsMaxPlancher);
}

bool CQGBuffer::bDecompresseCorps() {
  if (!m_pCompresseur) vCreeCompresseur();
  const size_t nCorps = m_nTaille - m_nDebutCorps;
  const uint8_t* pCorps = m_pDebut + m_nDebutCorps;
  const int64_t nTotal = m_pCompresseur->nTailleTotale(pCorps, nCorps);
  const int64_t nBrut = m_pCompresseur->nTailleDecompressee(pCorps, nCorps);
  if (nTotal < 0 || nBrut < 0 || nTotal > static_cast<int64_t>(nCorps)) return false;
  // Declared sizes come from the data: refuse what the block cannot hold.
  if (pCorps[0] == CZLWCompresseur::kMethodeStocke) {
    if (nBrut != nTotal - static_cast<int64_t>(CZLWCompresseur::kEnteteStocke)) return false;
  } else if (nBrut > nSortieLzwMax(nTotal)) {
    return false;
  }
  if (nBrut > static_cast<int64_t>(kTailleMax - m_nDebutCorps)) return false;
  const size_t nMax = m_nCorpsMax != 0 ? m_nCorpsMax : nCorpsMaxParDefaut(nCorps);
  if (nBrut > static_cast<int64_t>(nMax)) return false;
  const auto n = static_cast<size_t>(nBrut);

  if (!bAlloueSortie(n)) return false;
  const size_t nEntree = m_nCompression == 2 ? nCorps : static_cast<size_t>(nTotal);
  m_pCompresseur->SetEntree(pCorps, nEntree);
  m_pCompresseur->SetSortie(m_pSortie, n);
  const int64_t r = m_pCompresseur->nDecompresse();
  // A 0 for a block that declares bytes is a failure too.
  if (r != nBrut) return false;
  if (!Redimensionne(m_nDebutCorps + n)) return false;
  if (n > 0) std::memcpy(m_pDebut + m_nDebutCorps, m_pSortie, n);
  m_bCompresse = false;
  return true;
}

bool CQGBuffer::bDefinit() {
  if (!m_bFini) return true;
  if (m_nTaille < m_nDebutCorps) return false;
  const size_t nPosition = m_nPosition;
  if (m_bBrouille) {
    if (!m_pCrypteur) vCreeCrypteur();
    const size_t nCorps = m_nTaille - m_nDebutCorps;
    m_pCrypteur->Debrouille(m_pDebut + m_nDebutCorps, nCorps);
    const size_t n = m_pCrypteur->nTailleDebrouillee(nCorps);
    if (n > nCorps) {
      m_pCrypteur->Brouille(m_pDebut + m_nDebutCorps, nCorps);
      return false;
    }
    if (n < nCorps) Redimensionne(m_nDebutCorps + n);
    m_bBrouille = false;
  }
  if (m_bCompresse) {
    const bool b = bDecompresseCorps();
    vLibereSortie();
    if (!b) {
      m_nPosition = std::min(nPosition, m_nTaille);
      return false;
    }
  }
  m_bFini = false;
  m_nPosition = std::min(nPosition, m_nTaille);
  return true;
}

// --- CQGBufferMark ---------------------------------------------------------------------------

CQGBufferMark::CQGBufferMark(const void* p, size_t n, int nCryptage, int nCompression)
    : CQGBuffer(nCryptage, nCompression) {
  bAttache(p, n);
}

bool CQGBufferMark::bAttache(const void* p, size_t n) {
  Redimensionne(0);
  if (n == 0) return true;
  if (!Ecrit(p, n)) return false;
  Rembobine();
  return true;
}
