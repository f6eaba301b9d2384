// Compression front end: owns one coder and the current method, and hands
// the caller's blocks to it. The blocks stay owned by the caller.
#ifndef QG_SUPPORT_COMPRESSOR_H_
#define QG_SUPPORT_COMPRESSOR_H_

#include <cstddef>
#include <cstdint>
#include <memory>

#include "support/compressor_base.h"

class CCompresseur {
 public:
  static constexpr int kMethodeAucune = 255;

  // Selects the LZW method.
  CCompresseur();
  ~CCompresseur();

  CCompresseur(const CCompresseur&) = delete;
  CCompresseur& operator=(const CCompresseur&) = delete;

  // Method 0 keeps the current coder; any other value puts a new LZW coder
  // in its place.
  void SelectionneMethode(int nMethode);
  int nMethode() const { return m_nMethode; }

  void SetEntree(const uint8_t* p, size_t n) {
    m_pEntree = p;
    m_nTailleEntree = n;
  }
  void SetSortie(uint8_t* p, size_t n) {
    m_pSortie = p;
    m_nCapaciteSortie = n;
  }
  const uint8_t* pEntree() const { return m_pEntree; }
  size_t nTailleEntree() const { return m_nTailleEntree; }

  // Compresses the input into the output and forgets the input; returns the
  // output size, 0 on failure.
  size_t nCompresse();
  // Expands the input with the coder of its method byte, then returns to the
  // current method. Results as CCompresseurBase::vnDecompresse.
  int64_t nDecompresse();

  int64_t nTailleTotale(const uint8_t* pBloc, size_t nDispo) const {
    return m_pCodeur->vnTailleTotale(pBloc, nDispo);
  }
  int64_t nTailleDecompressee(const uint8_t* pBloc, size_t nDispo) const {
    return m_pCodeur->vnTailleDecompressee(pBloc, nDispo);
  }
  size_t nTailleSortieMax(size_t nEntree) const {
    return m_pCodeur->vnTailleSortieMax(nEntree);
  }

 private:
  void PrepareCodeur();

  std::unique_ptr<CCompresseurBase> m_pCodeur;
  int m_nMethode = kMethodeAucune;
  const uint8_t* m_pEntree = nullptr;
  size_t m_nTailleEntree = 0;
  uint8_t* m_pSortie = nullptr;
  size_t m_nCapaciteSortie = 0;
};

#endif  // QG_SUPPORT_COMPRESSOR_H_
