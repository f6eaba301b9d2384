#include "support/compressor.h"

#include "support/lzw_compressor.h"

CCompresseur::CCompresseur() {
  SelectionneMethode(CZLWCompresseur::kMethodeLzw);
}

CCompresseur::~CCompresseur() = default;

void CCompresseur::SelectionneMethode(int nMethode) {
  if (nMethode != CZLWCompresseur::kMethodeStocke || !m_pCodeur) {
    m_pCodeur = std::make_unique<CZLWCompresseur>();
  }
  m_nMethode = nMethode;
}

void CCompresseur::PrepareCodeur() {
  m_pCodeur->SetEntree(m_pEntree, m_nTailleEntree);
  m_pCodeur->SetSortie(m_pSortie, m_nCapaciteSortie);
}

size_t CCompresseur::nCompresse() {
  PrepareCodeur();
  const size_t n = m_pCodeur->vnCompresse();
  m_pEntree = nullptr;
  m_pCodeur->SetEntree(nullptr, 0);
  return n;
}

int64_t CCompresseur::nDecompresse() {
  if (m_pEntree == nullptr || m_nTailleEntree < 1) return -1;
  const int nPrecedente = m_nMethode;
  SelectionneMethode(m_pEntree[0]);
  PrepareCodeur();
  const int64_t n = m_pCodeur->vnDecompresse();
  SelectionneMethode(nPrecedente);
  return n;
}
