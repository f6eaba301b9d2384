// What a MariaDB statement needs of its connection: the client handle and
// the lock around it, the code pages of the conversation, the server's
// version, the report of the client's last error, a reopening after the
// server went away, and the count of unbuffered results still open on the
// handle. The MariaDB connection implements it beside CNAConnection.
#ifndef QG_DRIVER_MARIADB_CLIENT_LINK_H_
#define QG_DRIVER_MARIADB_CLIENT_LINK_H_

#include <mariadb/mysql.h>

#include <cstddef>
#include <cstdint>

#include "driver/mariadb/type_mapping.h"

class CNACriticalSection;
class CNAError;

class INAMariaDBClientLink {
 public:
  // The handle; null while closed. Read under the lock.
  virtual MYSQL* pGetClientHandle() = 0;
  // The section held around every client call on the handle (re-entrant).
  virtual CNACriticalSection* pGetClientLock() = 0;
  // Code page of every 8-bit text exchanged with the library (1252, or
  // 65001 once the conversation is UTF-8).
  virtual uint32_t nGetServerCodePage() = 0;
  // Code page of 8-bit texts handed over by the host (-2: UTF-16).
  virtual int32_t nGetHostCodePage() = 0;
  virtual NAServerVersion clGetServerVersion() = 0;
  // Records the client's last error (mysql_errno, mysql_error) with the
  // site pair; false when reading it failed.
  virtual bool bRecordClientError(MYSQL* handle, CNAError* error, uint32_t major,
                                  uint32_t minor) = 0;
  // Closes and opens again (without creating the database).
  virtual bool bReopen(CNAError* error) = 0;
  // Unbuffered results open on the handle: a reopening would strand them.
  virtual void AddOpenUnbufferedResult(int delta) = 0;
  virtual int nGetOpenUnbufferedResults() = 0;
  // Whether the library can walk several result sets.
  virtual bool bLinkMultiResults() = 0;
  // The data source named in traces and messages.
  virtual const char16_t* pszGetLinkDataSource() = 0;
  // True, with the error, when the conversation is no longer in the
  // character set texts are encoded in (the program ran SET NAMES, or set
  // one of the character_set_* variables); under the lock.
  virtual bool bConversationChanged(CNAError* /*error*/) { return false; }
  // A statement text is about to be sent on the handle; under the lock.
  virtual void NoteStatementSent() {}
  // A statement's answer (or a further result's) arrived: the session-state
  // changes the server reported with it are taken in; under the lock.
  virtual void NoteSessionState() {}

 protected:
  ~INAMariaDBClientLink() = default;
};

// Whether some byte of text[0..length) is 0x80 or above.
inline bool NAHasByteBeyondAscii(const char* text, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    if (static_cast<unsigned char>(text[i]) >= 0x80) return true;
  }
  return false;
}

#endif  // QG_DRIVER_MARIADB_CLIENT_LINK_H_
