// The driver's error-status object. Every driver operation that can fail
// takes a CNAError as its last argument (null: the error is dropped) and
// records its failure there; the manager and the dispatcher hand a new
// CNAError to the host, through the caller's error slot, when an operation
// the host called fails.
//
// Policy: the first recorded error stays the main error and later ones
// become its sub-errors, except SetErrorMessage: its message becomes the
// main error and what was held before becomes its sub-error 0.
//
// A silent object records codes, messages and sub-errors but adds no
// internal-error text and tells no connection (internal probes).
//
// One CNAError belongs to one call on one thread: no lock, a plain count.
#ifndef QG_DRIVER_CORE_ERROR_STATUS_H_
#define QG_DRIVER_CORE_ERROR_STATUS_H_

#include <cstdint>

#include "errors/module_errors.h"
#include "support/ctstring.h"
#include "support/platform/format.h"

class INACopyContext;

// What receives an error's first report: the connection adds its
// description to the error (its trace).
class INAErrorReporter {
 public:
  virtual void TraceInto(CXError* error) = 0;

 protected:
  ~INAErrorReporter() = default;
};

// The interface the host reads, in slot order.
class INAError {
 public:
  virtual int32_t nGetVersion() = 0;                      // 0 answers 1
  virtual int32_t nGetSubVersion() = 0;                   // 1 answers 1
  virtual int32_t vnReserved2() = 0;                      // 2 answers -1
  virtual int32_t vnReserved3() = 0;                      // 3 answers -1
  virtual void vReserved4() = 0;                          // 4
  virtual void Release() = 0;                             // 5
  virtual const char16_t* pszGetMessage() = 0;            // 6
  virtual uint32_t nGetErrorIdentifier() = 0;             // 7
  virtual int32_t nGetCode() = 0;                         // 8
  virtual const char16_t* pszGetLogicalTableName() = 0;   // 9
  virtual const char16_t* pszGetItemName() = 0;           // 10
  virtual CXError* pclGetXError() = 0;                    // 11
  virtual int32_t nGetLevel() = 0;                        // 12
  virtual void vReserved13() = 0;                         // 13
  virtual void vReserved14() = 0;                         // 14
  virtual void vReserved15() = 0;                         // 15
  virtual void vReserved16() = 0;                         // 16
  virtual void vReserved17() = 0;                         // 17
  // Runs the destructor; frees the memory when bit 0 of flags is set.
  virtual INAError* DeletingDestructor(uint32_t flags) = 0;  // 18
  virtual void Reset() = 0;                               // 19
  virtual void CopyFrom(INAError* source, INACopyContext* context, intptr_t a,
                        intptr_t b) = 0;                  // 20
  virtual INAError* pclClone(INACopyContext* context, intptr_t a, intptr_t b) = 0;  // 21

 protected:
  ~INAError() = default;
};

class CNAError : public INAError {
 public:
  CNAError() = default;
  // Copies code, error, message text and silent flag (the form thrown as
  // an exception); the count starts at 0.
  CNAError(const CNAError& other);
  virtual ~CNAError();

  // --- interface ---
  int32_t nGetVersion() override { return 1; }
  int32_t nGetSubVersion() override { return 1; }
  int32_t vnReserved2() override { return -1; }
  int32_t vnReserved3() override { return -1; }
  void vReserved4() override {}
  // Plain decrement; deletes the object at 0.
  void Release() override;
  // The dump of the error (every section, empty ones skipped); valid until
  // the next call or the object's end.
  const char16_t* pszGetMessage() override;
  uint32_t nGetErrorIdentifier() override;
  int32_t nGetCode() override { return m_nCode; }
  const char16_t* pszGetLogicalTableName() override;
  const char16_t* pszGetItemName() override;
  CXError* pclGetXError() override { return &m_clError; }
  int32_t nGetLevel() override { return m_clError.nGetNiveau(); }
  void vReserved13() override {}
  void vReserved14() override {}
  void vReserved15() override {}
  void vReserved16() override {}
  void vReserved17() override {}
  INAError* DeletingDestructor(uint32_t flags) override;
  // Empty again; the silent flag stays.
  void Reset() override;
  // Registers (source, this) in the context when it does not know the
  // source yet, then copies the source's code, error and silent flag. The
  // source must be a CNAError.
  void CopyFrom(INAError* source, INACopyContext* context, intptr_t a, intptr_t b) override;
  // A new object filled by CopyFrom (count 0). When the copy throws, the
  // new object is deleted, the context forgets this object, and the
  // exception goes on.
  INAError* pclClone(INACopyContext* context, intptr_t a, intptr_t b) override;

  // --- count ---
  void AddRef() { ++m_nReferences; }
  int32_t nGetReferences() const { return m_nReferences; }

  // --- copies ---
  // Copies the other's code and takes over its error (the other's error is
  // left cleared, its code kept). Nothing when both are the same object.
  CNAError& operator=(CNAError& other);
  // Copies code and a copy of the error through the interface.
  void SetFrom(INAError* other);

  // --- recording ---
  bool bHasError() const { return m_nCode != -1; }
  void SetSilent(bool silent) { m_bSilent = silent; }
  bool bIsSilent() const { return m_bSilent; }
  // As made: no code, not silent, nothing in the error. A caller that hands
  // one object to call after call wipes it only when it is not.
  __attribute__((always_inline)) bool bIsUntouched() const {
    return m_nCode == -1 && !m_bSilent && m_clError.bIsBlank();
  }

  // Records a prepared error: the first error (code still -1) is stored
  // with its code and reported; a later one becomes a sub-error.
  void SetError(int32_t code, const CXError& error, INAErrorReporter* reporter);

  // Records the error of the driver's definition table with its inserts
  // and the internal-error text of the site pair (see the policy above).
  template <typename... Args>
  void SetErrorMessage(int32_t code, uint32_t major, uint32_t minor, INAErrorReporter* reporter,
                       uint32_t identifier, const Args&... args) {
    const qg::FormatArg list[sizeof...(Args) + 1] = {qg::FormatArg(args)...};
    SetErrorMessageV(code, major, minor, reporter, identifier,
                     qg::FormatArgs{list, sizeof...(Args)});
  }
  void SetErrorMessageV(int32_t code, uint32_t major, uint32_t minor, INAErrorReporter* reporter,
                        uint32_t identifier, qg::FormatArgs args);

  // Records an error the host composes from its message number and two
  // values (value-object service, operation 7), with the table and item
  // names and the site pair.
  void SetErrorWithNames(int32_t message, intptr_t value1, intptr_t value2, uint32_t major,
                         uint32_t minor, INAErrorReporter* reporter, const char16_t* table,
                         const char16_t* item);

  // Records the out-of-memory error with the site pair.
  void SetOutOfMemory(uint32_t major, uint32_t minor, INAErrorReporter* reporter = nullptr);

  // --- the most recent error (last sub-error, else the error itself) ---
  CXError* pclGetLastError();
  template <typename... Args>
  void SetUserMessage(uint32_t number, const Args&... args) {
    const qg::FormatArg list[sizeof...(Args) + 1] = {qg::FormatArg(args)...};
    pclGetLastError()->AddUserMessageFirstV(&gstErrorDefModule76, number,
                                            qg::FormatArgs{list, sizeof...(Args)});
  }
  template <typename... Args>
  void AddDebugMessage(uint32_t number, const Args&... args) {
    const qg::FormatArg list[sizeof...(Args) + 1] = {qg::FormatArg(args)...};
    pclGetLastError()->AddDebugMessageIdV(&gstErrorDefModule76, number,
                                          qg::FormatArgs{list, sizeof...(Args)});
  }
  // A non-empty text and CR LF put in front of the debug message.
  void AddDebugTextFirst(const char16_t* text);
  // A plain text appended to the debug message.
  void AddMessageText(const char16_t* text);
  uint32_t nGetLastIdentifier();
  // The database's native error code (information item 15); 0 when absent.
  void SetBaseCode(int32_t code);
  int32_t nGetBaseCode();

  void SetWarningLevel() { m_clError.nSetNiveau(XERR_WARNING); }
  // Replaces the error code (the kind a caller's classification found).
  void SetCode(int32_t code) { m_nCode = code; }
  void AddTableAndItem(const char16_t* table, const char16_t* item);

 private:
  int32_t m_nReferences = 0;
  int32_t m_nCode = -1;
  _CXErrorModule76 m_clError;
  CTString m_strMessage;
  bool m_bSilent = false;
};

// Non-empty table and item names as information items 6 and 7.
void AddTableAndItemToError(CXError* error, const char16_t* table, const char16_t* item);
// "IEQGMARIA=<major>.<minor>\r\nModule=<QGMARIA>\r\nVersion=<...>" appended
// to the error's debug message.
void AddInternalErrorText(CXError* error, uint32_t major, uint32_t minor);
// Hands the error to the reporter's trace; nothing without one.
void ReportErrorToConnection(CXError* error, INAErrorReporter* reporter);

// Null-safe forms for callers whose error object may be absent: the error
// is dropped then.
template <typename... Args>
void NASetErrorMessage(CNAError* status, int32_t code, uint32_t major, uint32_t minor,
                       INAErrorReporter* reporter, uint32_t identifier, const Args&... args) {
  if (status != nullptr) status->SetErrorMessage(code, major, minor, reporter, identifier, args...);
}

// Hands a failure to the host: the caller's slot receives a new CNAError
// (made by the factory given, or a plain one), the object the slot held is
// released, the local error moves into the new one and the host gets one
// reference. Nothing when the slot is null.
void NAHandErrorToHost(INAError** slot, CNAError* local, CNAError* fresh);

// Catalogue messages the driver records beyond its definition table.
constexpr uint32_t kNAErrorUnknownConnection = 14;
constexpr uint32_t kNAErrorNotSupported = 8;
constexpr uint32_t kNAErrorNoMemory = 12;

#endif  // QG_DRIVER_CORE_ERROR_STATUS_H_
