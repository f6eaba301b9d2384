// The module's file-format switch: whether the host writes the newer file
// format, from the version the open handshake kept (at least 30).
#ifndef QG_TESTRUNNER_RUNNER_FILE_FORMAT_H_
#define QG_TESTRUNNER_RUNNER_FILE_FORMAT_H_

#include <cstdint>

// The host calls the three operations by slot: they come first, the
// destructor after them.
class CGestionFormatFichierExecution {
 public:
  // 1 always.
  virtual int32_t nGetType() const { return 1; }
  // True when the kept version is 31 or more.
  virtual bool bFormatRecent() const;
  // True when the kept version is below 31.
  virtual bool bFormatAncien() const;
  virtual ~CGestionFormatFichierExecution() = default;
};

// The module's switch.
CGestionFormatFichierExecution& GestionFormatFichier();

#endif  // QG_TESTRUNNER_RUNNER_FILE_FORMAT_H_
