// Session operations whose reads, writes, positions, table creation and
// record source are not built yet: each answers "not supported" (message
// 8) after the argument checks that come before any server work.
#include "driver/core/error_status.h"
#include "driver/core/session.h"

namespace {

constexpr uint32_t kPendingSite = 99;

bool Pending(CNAError* error) {
  CNASession::Fail(error, kPendingSite, kNAErrorNotSupported);
  return false;
}

}  // namespace

bool CNASession::bReadByName(const char16_t*, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t,
                             intptr_t, intptr_t, CNAError* error) {
  return Pending(error);
}
bool CNASession::bSetFilter(const char16_t*, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t,
                            CNAError* error) {
  return Pending(error);
}
intptr_t CNASession::pclGetColumnPart(int32_t, intptr_t, CNAError* error) {
  Pending(error);
  return 0;
}
intptr_t CNASession::pclGetColumnPartOfItem(int32_t, intptr_t, CNAError* error) {
  Pending(error);
  return 0;
}
