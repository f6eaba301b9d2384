// LZW block coder. Block layout (integers little-endian):
//   method 0 (stored): [0] [int32 length] [bytes]
//   method 4 (LZW):    [4] [int32 payload] [int32 length] [int16 0] [codes]
// Method 2 has the LZW header but is never decoded. Codes are packed least
// significant bit first, 9 to 16 bits wide: 0 resets the dictionary, 1-256
// are the bytes 0-255, 257 ends the data, 258 and up are learned strings.
#ifndef QG_SUPPORT_LZW_COMPRESSOR_H_
#define QG_SUPPORT_LZW_COMPRESSOR_H_

#include <cstddef>
#include <cstdint>

#include "support/compressor_base.h"

class CZLWCompresseur : public CCompresseurBase {
 public:
  static constexpr int kMethodeStocke = 0;
  static constexpr int kMethodeLzw = 4;
  static constexpr size_t kEnteteStocke = 5;
  static constexpr size_t kEnteteLzw = 11;
  // Largest uncompressed size a block may declare or be built from (bytes).
  // Headers are read from files: a larger size is refused rather than
  // allocated.
  static constexpr int64_t kTailleMax = 0x40000000;

  CZLWCompresseur() = default;
  ~CZLWCompresseur() override = default;

  int64_t vnTailleTotale(const uint8_t* pBloc, size_t nDispo) const override;
  int64_t vnTailleDecompressee(const uint8_t* pBloc,
                               size_t nDispo) const override;
  size_t vnTailleSortieMax(size_t nEntree) const override;
  size_t vnCompresse() override;
  int64_t vnDecompresse() override;
  bool vbEcritEntete(int nMethode, size_t nTailleCharge) override;

 private:
  size_t nStocke();
  int64_t nDecompresseLzw();
};

#endif  // QG_SUPPORT_LZW_COMPRESSOR_H_
