#include "dotnet/connector/host_array.h"

#include <new>

namespace qgnet {

uint32_t CTableauHote::nTailleBloc(uint16_t element_code) {
  switch (element_code) {
    case 2: case 6: return 1;
    case 3: case 7: case 81: return 2;
    case 4: case 8: case 11: return 4;
    case 5: case 9: case 12: return 8;
    default: return 0;
  }
}

std::unique_ptr<CTableauHote> CTableauHote::Cree(uint16_t element_code, int32_t dimensions,
                                                 const int32_t* sizes) {
  if (dimensions < 0 || dimensions > 32 || (dimensions > 0 && sizes == nullptr)) return nullptr;
  CZQCommunArray view(CTypeCommun(element_code), dimensions, sizes);
  uint32_t count = 0;
  if (!view.bGetNbElement(&count)) return nullptr;
  uint64_t element = nTailleBloc(element_code);
  uint64_t bytes = static_cast<uint64_t>(count) * (element != 0 ? element : sizeof(CAny));
  if (bytes > kTailleMax) return nullptr;
  std::unique_ptr<CTableauHote> array(new (std::nothrow) CTableauHote());
  if (!array) return nullptr;
  array->m_clElement = CTypeCommun(element_code);
  array->m_dims.assign(sizes, sizes + dimensions);
  array->m_count = count;
  try {
    if (element != 0) {
      array->m_block.assign(static_cast<size_t>(bytes), 0);
    } else {
      array->m_values.resize(count);
    }
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  return array;
}

CAny* CTableauHote::pclElement(uint32_t index) {
  return index < m_values.size() ? &m_values[index] : nullptr;
}

}  // namespace qgnet
