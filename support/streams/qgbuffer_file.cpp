// The serialised buffer's file output. It lives with the streams so that the
// support library itself does not depend on them.
#include "support/qgbuffer.h"
#include "support/streams/xfile.h"

bool CQGBuffer::bEcritDansFichier(CXFile& f) {
  IXStream* piStream = f.pGetStream();
  if (piStream == nullptr || !bFinit()) return false;
  const auto n = static_cast<uint32_t>(nTaille());
  if (n == 0) return true;
  uint32_t nEcrits = 0;
  return piStream->bWrite(pGetDonnees(), n, &nEcrits) && nEcrits == n;
}
