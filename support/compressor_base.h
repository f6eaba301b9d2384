// Block coder interface. A coder compresses or expands one input block into
// one output block, both set by the caller beforehand and owned by the
// caller; the coder keeps no state between calls.
#ifndef QG_SUPPORT_COMPRESSOR_BASE_H_
#define QG_SUPPORT_COMPRESSOR_BASE_H_

#include <cstddef>
#include <cstdint>

class CCompresseurBase {
 public:
  CCompresseurBase() = default;
  virtual ~CCompresseurBase() = default;

  CCompresseurBase(const CCompresseurBase&) = delete;
  CCompresseurBase& operator=(const CCompresseurBase&) = delete;

  // Size of the whole compressed block at pBloc (header included), read from
  // its header; -1 when nDispo bytes do not hold the header or the block, or
  // the header is not valid.
  virtual int64_t vnTailleTotale(const uint8_t* pBloc, size_t nDispo) const = 0;
  // Uncompressed size declared by the header at pBloc; -1 when nDispo bytes
  // do not hold it or it is not valid.
  virtual int64_t vnTailleDecompressee(const uint8_t* pBloc,
                                       size_t nDispo) const = 0;
  // Output capacity to provide for compressing nEntree bytes.
  virtual size_t vnTailleSortieMax(size_t nEntree) const = 0;
  // Compresses the input into the output; returns the output size, 0 when
  // the blocks are missing, too large or the output is below the bound.
  virtual size_t vnCompresse() = 0;
  // Expands the input into the output; returns the uncompressed size, 0 for
  // a method it does not decode or an output too small for the result, -1
  // for a damaged or truncated block.
  virtual int64_t vnDecompresse() = 0;
  // Writes the block header for nMethode into the output; false when the
  // output cannot hold it.
  virtual bool vbEcritEntete(int nMethode, size_t nTailleCharge) = 0;

  void SetEntree(const uint8_t* p, size_t n) {
    m_pEntree = p;
    m_nTailleEntree = n;
  }
  void SetSortie(uint8_t* p, size_t n) {
    m_pSortie = p;
    m_nCapaciteSortie = n;
  }

 protected:
  const uint8_t* m_pEntree = nullptr;
  size_t m_nTailleEntree = 0;  // bytes
  uint8_t* m_pSortie = nullptr;
  size_t m_nCapaciteSortie = 0;  // bytes
};

#endif  // QG_SUPPORT_COMPRESSOR_BASE_H_
