#include "driver/core/error_status.h"

#include "driver/core/host_interfaces.h"
#include "errors/internal_error.h"
#include "support/frame/module_services.h"

CNAError::CNAError(const CNAError& other)
    : INAError(),
      m_nCode(other.m_nCode),
      m_clError(other.m_clError),
      m_strMessage(other.m_strMessage),
      m_bSilent(other.m_bSilent) {}

CNAError::~CNAError() = default;

void CNAError::Release() {
  if (--m_nReferences == 0) DeletingDestructor(1);
}

const char16_t* CNAError::pszGetMessage() {
  m_clError.StringDumpTo(m_strMessage, qg::kDumpAll);
  return m_strMessage.pszGet();
}

uint32_t CNAError::nGetErrorIdentifier() {
  return m_clError.nGetNiveau() == XERR_NONE ? 0 : m_clError.nGetIdentifier();
}

const char16_t* CNAError::pszGetLogicalTableName() {
  return m_clError.pszGetInfoText(EIT_LOGICALTABLENAME);
}

const char16_t* CNAError::pszGetItemName() { return m_clError.pszGetInfoText(EIT_ITEMNAME); }

INAError* CNAError::DeletingDestructor(uint32_t flags) {
  if ((flags & 1) != 0) {
    delete this;
  } else {
    this->~CNAError();
  }
  return this;
}

void CNAError::Reset() {
  m_clError.RAZ();
  m_nCode = -1;
  m_strMessage.RAZ();
}

void CNAError::CopyFrom(INAError* source, INACopyContext* context, intptr_t, intptr_t) {
  if (context != nullptr && context->pFindCopy(source) == nullptr) {
    context->bRegisterCopy(source, this);
  }
  auto* other = static_cast<CNAError*>(source);
  m_nCode = other->m_nCode;
  m_clError = other->m_clError;
  m_bSilent = other->m_bSilent;
}

INAError* CNAError::pclClone(INACopyContext* context, intptr_t a, intptr_t b) {
  CNAError* copy = new CNAError();
  try {
    copy->CopyFrom(this, context, a, b);
  } catch (...) {
    delete copy;
    if (context != nullptr) context->ForgetCopy(this);
    throw;
  }
  return copy;
}

CNAError& CNAError::operator=(CNAError& other) {
  if (this != &other) {
    m_nCode = other.nGetCode();
    m_clError.Transfere(other.m_clError);
  }
  return *this;
}

void CNAError::SetFrom(INAError* other) {
  if (other == nullptr || other == this) return;
  m_nCode = other->nGetCode();
  m_clError = *other->pclGetXError();
}

void CNAError::SetError(int32_t code, const CXError& error, INAErrorReporter* reporter) {
  if (m_nCode == -1) {
    m_nCode = code;
    m_clError = error;
    if (!m_bSilent) ReportErrorToConnection(&m_clError, reporter);
    return;
  }
  _CXErrorModule76 copy(error);
  m_clError.AddSubError(&copy);
}

void CNAError::SetErrorMessageV(int32_t code, uint32_t major, uint32_t minor,
                                INAErrorReporter* reporter, uint32_t identifier,
                                qg::FormatArgs args) {
  if (m_nCode == -1) {
    m_nCode = code;
    m_clError.SetUserErrorV(gstErrorDefModule76, identifier, args);
    if (!m_bSilent) {
      AddInternalErrorText(&m_clError, major, minor);
      ReportErrorToConnection(&m_clError, reporter);
    }
    return;
  }
  m_nCode = code;
  _CXErrorModule76 previous(m_clError);
  m_clError.RAZ();
  m_clError.SetUserErrorV(gstErrorDefModule76, identifier, args);
  if (!m_bSilent) AddInternalErrorText(&m_clError, major, minor);
  SetError(code, previous, reporter);
}

void CNAError::SetErrorWithNames(int32_t message, intptr_t value1, intptr_t value2,
                                 uint32_t major, uint32_t minor, INAErrorReporter* reporter,
                                 const char16_t* table, const char16_t* item) {
  qg::IGlobalFactory* factory = qg::Services().piValueObjects;
  auto fill = [&](CXError* error) {
    if (factory != nullptr) factory->FillError(error, message, value1, value2);
    if (!m_bSilent) {
      AddTableAndItemToError(error, table, item);
      AddInternalErrorText(error, major, minor);
    }
  };
  if (m_nCode == -1) {
    m_nCode = 0;
    fill(&m_clError);
    if (!m_bSilent) ReportErrorToConnection(&m_clError, reporter);
    return;
  }
  _CXErrorModule76 local;
  fill(&local);
  m_clError.AddSubError(&local);
}

void CNAError::SetOutOfMemory(uint32_t major, uint32_t minor, INAErrorReporter* reporter) {
  SetErrorMessage(0, major, minor, reporter, kNAErrorNoMemory);
}

CXError* CNAError::pclGetLastError() {
  int count = m_clError.nGetNbSubError();
  return count > 0 ? m_clError.pclGetSubError(count - 1) : &m_clError;
}

void CNAError::AddDebugTextFirst(const char16_t* text) {
  pclGetLastError()->AddDebugMessageFirst(text);
}

void CNAError::AddMessageText(const char16_t* text) { pclGetLastError()->AddDebugMessage(text); }

uint32_t CNAError::nGetLastIdentifier() { return pclGetLastError()->nGetIdentifier(); }

void CNAError::SetBaseCode(int32_t code) { pclGetLastError()->AddInfo(EIT_BASECODE, code); }

int32_t CNAError::nGetBaseCode() {
  const CXError::_stERRORINFO* item = pclGetLastError()->pstGetInfo(EIT_BASECODE);
  return item != nullptr ? static_cast<int32_t>(item->nValue) : 0;
}

void CNAError::AddTableAndItem(const char16_t* table, const char16_t* item) {
  AddTableAndItemToError(&m_clError, table, item);
}

void AddTableAndItemToError(CXError* error, const char16_t* table, const char16_t* item) {
  if (error == nullptr) return;
  if (table != nullptr && table[0] != 0) error->AddInfo(EIT_LOGICALTABLENAME, table);
  if (item != nullptr && item[0] != 0) error->AddInfo(EIT_ITEMNAME, item);
}

void AddInternalErrorText(CXError* error, uint32_t major, uint32_t minor) {
  if (error == nullptr) return;
  qg::AddInternalErrorText(*error, qg::kModuleTagMaria, major, minor, qg::kModuleVersionMaria);
}

void ReportErrorToConnection(CXError* error, INAErrorReporter* reporter) {
  if (reporter != nullptr && error != nullptr) reporter->TraceInto(error);
}

void NAHandErrorToHost(INAError** slot, CNAError* local, CNAError* fresh) {
  if (slot == nullptr) {
    if (fresh != nullptr) fresh->DeletingDestructor(1);
    return;
  }
  if (fresh == nullptr) fresh = new (std::nothrow) CNAError();
  if (fresh == nullptr) return;
  if (*slot != nullptr) (*slot)->Release();
  *slot = fresh;
  *fresh = *local;
  fresh->AddRef();
}
