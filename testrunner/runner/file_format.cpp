#include "testrunner/runner/file_format.h"

#include "support/frame/module_services.h"

namespace {
constexpr int32_t kFormatRecent = 31;
}  // namespace

bool CGestionFormatFichierExecution::bFormatRecent() const {
  return qg::Services().nFileFormatVersion >= kFormatRecent;
}

bool CGestionFormatFichierExecution::bFormatAncien() const {
  return qg::Services().nFileFormatVersion < kFormatRecent;
}

CGestionFormatFichierExecution& GestionFormatFichier() {
  static CGestionFormatFichierExecution instance;
  return instance;
}
