// The error class, error-definition table and catalogue of each module:
// 76 the MariaDB driver, 80 the browser, 20 the .NET connector, 54 the test
// runner. Each class only fixes its module number; its copy constructor
// copies the content (CXError::Copie) under its own number. Each module's
// definitions live in their own source file, so a deliverable links only
// the ones it names.
#ifndef QG_ERRORS_MODULE_ERRORS_H_
#define QG_ERRORS_MODULE_ERRORS_H_

#include "errors/catalogue.h"
#include "errors/xerror.h"

#define QG_DECLARE_MODULE_ERROR(number)                                    \
  class _CXErrorModule##number : public CXError {                          \
   public:                                                                 \
    static constexpr int32_t kModule = number;                             \
    _CXErrorModule##number();                                              \
    _CXErrorModule##number(const CXError& other);                          \
    _CXErrorModule##number(const _CXErrorModule##number& other);           \
    _CXErrorModule##number& operator=(const CXError& other) {              \
      CXError::operator=(other);                                           \
      return *this;                                                        \
    }                                                                      \
    _CXErrorModule##number& operator=(const _CXErrorModule##number& other) { \
      CXError::operator=(other);                                           \
      return *this;                                                        \
    }                                                                      \
    ~_CXErrorModule##number() override;                                    \
  };                                                                       \
  extern const stERRORDEFINITION gstErrorDefModule##number;                \
  namespace qg {                                                           \
  extern const CatalogueTable kCatalogueModule##number;                    \
  const CatalogueTable& CatalogueModule##number();                         \
  }

QG_DECLARE_MODULE_ERROR(76)
QG_DECLARE_MODULE_ERROR(80)
QG_DECLARE_MODULE_ERROR(20)
QG_DECLARE_MODULE_ERROR(54)

#undef QG_DECLARE_MODULE_ERROR

#endif  // QG_ERRORS_MODULE_ERRORS_H_
