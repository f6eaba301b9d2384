// A host array as it travels between the host stack and .NET: element
// type, dimensions (first dimension first, row-major), and the elements:
// one block for simple fixed-size element types, variant values for the
// others.
#ifndef QG_DOTNET_CONNECTOR_HOST_ARRAY_H_
#define QG_DOTNET_CONNECTOR_HOST_ARRAY_H_

#include <cstdint>
#include <memory>
#include <vector>

#include "dotnet/connector/type_commun.h"
#include "support/any.h"

namespace qgnet {

class CTableauHote {
 public:
  // Null when a dimension is negative, the element count exceeds 32 bits
  // or the bytes exceed kTailleMax (nothing is allocated then).
  static std::unique_ptr<CTableauHote> Cree(uint16_t element_code, int32_t dimensions,
                                            const int32_t* sizes);

  // Bytes of an element kept in the block, 0 for variant elements.
  static uint32_t nTailleBloc(uint16_t element_code);

  CZQCommunArray Vue() const {
    return CZQCommunArray(m_clElement, static_cast<int32_t>(m_dims.size()), m_dims.data());
  }
  uint16_t wGetElemType() const { return m_clElement.wGetFullType(); }
  int32_t nGetNbDim() const { return static_cast<int32_t>(m_dims.size()); }
  const int32_t* pnGetDim() const { return m_dims.data(); }
  uint32_t nGetNbElement() const { return m_count; }
  // The block of a fixed-size element type, else null.
  uint8_t* pBloc() { return m_block.empty() ? nullptr : m_block.data(); }
  // The variant element at a row-major index, null for block arrays or
  // out of range.
  CAny* pclElement(uint32_t index);

 private:
  CTableauHote() = default;

  CTypeCommun m_clElement;
  std::vector<int32_t> m_dims;
  uint32_t m_count = 0;
  std::vector<uint8_t> m_block;
  std::vector<CAny> m_values;
};

}  // namespace qgnet

#endif  // QG_DOTNET_CONNECTOR_HOST_ARRAY_H_
