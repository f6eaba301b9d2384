#include "driver/core/savepoint.h"

#include <string>

#include "driver/core/connection.h"
#include "driver/core/error_status.h"
#include "support/platform/format.h"

CNASavepoint::CNASavepoint(CNAConnection* connection) : m_pConnection(connection) {}

CNASavepoint::~CNASavepoint() { ReleaseBoth(m_pclNested); }

bool CNASavepoint::bRunWithName(CNAError* error, const char16_t* verb) {
  CTString quoted;
  if (!m_pConnection->bQuoteName(error, m_strName.pszGet(), &quoted)) return false;
  std::u16string text(verb);
  text += quoted.pszGet();
  return m_pConnection->bExecuteText(error, text.c_str());
}

bool CNASavepoint::bExecuteSavepoint(CNAError* error, const char16_t* name) {
  if (name != nullptr) {
    CTString saved(m_strName);
    m_strName = name;
    bool ok = bRunWithName(error, u"SAVEPOINT ");
    m_strName = saved;
    return ok;
  }
  return bRunWithName(error, u"SAVEPOINT ");
}

bool CNASavepoint::bExecuteRollbackTo(CNAError* error, const char16_t* name) {
  if (name != nullptr) {
    CTString saved(m_strName);
    m_strName = name;
    bool ok = bRunWithName(error, u"ROLLBACK TO SAVEPOINT ");
    m_strName = saved;
    return ok;
  }
  return bRunWithName(error, u"ROLLBACK TO SAVEPOINT ");
}

bool CNASavepoint::bStart(CNAError* error) {
  if (m_nLevel == 0) return m_pConnection->bExecuteBegin(error);
  return bExecuteSavepoint(error);
}

bool CNASavepoint::bEnd(CNAError* error) {
  if (m_nLevel == 0) return m_pConnection->bExecuteCommit(error);
  return bRunWithName(error, u"RELEASE SAVEPOINT ");
}

bool CNASavepoint::bCancel(CNAError* error) {
  if (m_nLevel == 0) return m_pConnection->bExecuteRollback(error);
  // Rolling back to the savepoint keeps it; release it so that the level
  // is gone as after a commit.
  if (!bExecuteRollbackTo(error)) return false;
  return bRunWithName(error, u"RELEASE SAVEPOINT ");
}

bool CNASavepoint::bBegin(CNAError* error, const char16_t* name, int32_t level) {
  m_nLevel = level;
  if (name != nullptr && name[0] != 0) {
    m_strName = name;
  } else if (level > 0) {
    // A nested level needs a name on the server.
    m_strName = qg::FormatString(u"QGSP%d", level).c_str();
  } else {
    m_strName.RAZ();
  }
  m_bActive = bStart(error);
  return m_bActive;
}

bool CNASavepoint::bBeginNested(CNAError* error, const char16_t* name) {
  if (m_pclNested != nullptr && m_pclNested->m_bActive) {
    return m_pclNested->bBeginNested(error, name);
  }
  if (m_pclNested == nullptr) {
    m_pclNested = m_pConnection->pclNewSavepoint();
    if (m_pclNested == nullptr) {
      if (error != nullptr) error->SetOutOfMemory(2, 3, m_pConnection);
      return false;
    }
  }
  return m_pclNested->bBegin(error, name, m_nLevel + 1);
}

bool CNASavepoint::bClose(CNAError* error, bool commit) {
  m_bActive = false;
  return commit ? bEnd(error) : bCancel(error);
}

bool CNASavepoint::bByName(CNAError* error, const char16_t* name, bool commit) {
  bool nested_active = m_pclNested != nullptr && m_pclNested->m_bActive;
  if (name == nullptr || name[0] == 0) {
    if (nested_active) return m_pclNested->bByName(error, nullptr, commit);
    if (!m_bActive) return false;
    return bClose(error, commit);
  }
  if (m_strName.bEstEgalI(name)) {
    if (nested_active) {
      NASetErrorMessage(error, 0, 2, commit ? 1 : 2, m_pConnection, commit ? 10u : 9u,
                        m_strName.pszGet(), m_pclNested->m_strName.pszGet());
      return false;
    }
    if (!m_bActive) return false;
    return bClose(error, commit);
  }
  if (nested_active) return m_pclNested->bByName(error, name, commit);
  return false;
}

bool CNASavepoint::bCommit(CNAError* error, const char16_t* name) {
  return bByName(error, name, true);
}

bool CNASavepoint::bRollback(CNAError* error, const char16_t* name) {
  return bByName(error, name, false);
}

bool CNASavepoint::bAbortAll(CNAError* error) {
  bool ok = true;
  if (m_pclNested != nullptr && m_pclNested->m_bActive) ok = m_pclNested->bAbortAll(error);
  if (m_bActive) {
    m_bActive = false;
    ok = bCancel(error) && ok;
  }
  return ok;
}

CNASavepoint* CNASavepoint::pclGetInnermost() {
  if (!m_bActive) return nullptr;
  if (m_pclNested != nullptr && m_pclNested->m_bActive) return m_pclNested->pclGetInnermost();
  return this;
}
