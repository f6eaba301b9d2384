// Test equipment: the texts of a catalogue as written in its source, beside
// the packed table generated from the same source.
#ifndef QG_ERRORS_CATALOGUE_PLAIN_H_
#define QG_ERRORS_CATALOGUE_PLAIN_H_

#include <cstddef>
#include <cstdint>

namespace qgtest {

struct PlainMessage {
  uint32_t nNumber;
  const char* apszText[6];  // UTF-8, in the order of CatalogueEntry::anOffset
};

struct PlainCatalogue {
  const PlainMessage* pMessages;
  size_t nCount;
};

PlainCatalogue Plain_SharedCatalogue();
PlainCatalogue Plain_CatalogueModule76();
PlainCatalogue Plain_CatalogueModule80();
PlainCatalogue Plain_CatalogueModule20();
PlainCatalogue Plain_CatalogueModule54();

}  // namespace qgtest

#endif  // QG_ERRORS_CATALOGUE_PLAIN_H_
