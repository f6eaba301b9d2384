// The driver manager: the driver's root object and abstract factory. The
// host receives it from piQueryInterface and calls its operations with
// connection descriptions, host contexts and error slots; every other driver
// object is made by one of its factory operations, which the MariaDB
// manager overrides.
//
// Tables, each under its own lock:
//   connections by connection key text (name form: the host's locale
//     comparison ignoring case and accents), each connection held once;
//   dispatchers by dispatcher key text (name form);
//   registries by host context number (number form).
// Lock order: the connection-table lock before a connection's lock; the
// dispatcher-table lock before a dispatcher's; the context lock alone.
// Objects taken from a table receive a reference inside the lock and are
// used after leaving it. Connections are closed after their table lock is
// left.
//
// Ownership: the host holds the manager's references (AddRef / Release).
// Objects the manager makes keep a plain pointer to it; none holds a
// reference on it. The teardown cuts those pointers in the registries and
// connections still alive.
//
// Operations the host calls run with a local CNAError; on failure the
// caller's error slot receives a new error-status object (slot 54) that
// carries one reference for the host.
#ifndef QG_DRIVER_CORE_MANAGER_H_
#define QG_DRIVER_CORE_MANAGER_H_

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "driver/core/error_status.h"
#include "driver/core/object_table.h"
#include "support/ctstring.h"

class CAny;
class CNAColumn;
class CNAConnection;
class CNADescriptor;
class CNADispatcher;
class CNAIdentityQuery;
class CNAItem;
class CNARegistry;
class CNARegistryChild;
class CNASQLGenerator;
class CNASQLService;
class CNATableAccess;
class CNATableDescription;
class CNAValueConverter;
class INAConnectionDescription;
class INACopyContext;
class INAFileDescription;

namespace qg {
struct CatalogueTable;
}

// The texts a connection or statement trace writes.
enum NATraceLabel : int {
  kLabelStatementText,
  kLabelParameterCount,
  kLabelParameter,
  kLabelLanguageType,
  kLabelProviderType,
  kLabelValue,
  kLabelConversionFailure,
  kLabelParameterBinding,
  kLabelDataSource,
  kLabelNativeLibrary,
  kLabelProvider,
  kLabelUser,
  kLabelDatabase,
  kLabelConnectionTimeout,
  kLabelCommandTimeout,
  kLabelLockTimeout,
  kLabelCursorPosition,
  kLabelUnicode,
  kLabelLockTag,
  kLabelLanguageCodePage,
  kLabelConnectionCodePage,
  kTraceLabelCount
};
// The message number of a label and its French fallback text.
uint32_t NATraceLabelMessage(NATraceLabel label);
const char16_t* NADefaultTraceLabel(NATraceLabel label);

class CNAManager {
 public:
  CNAManager();

  // --- virtual operations in slot order ---
  virtual int32_t nGetVersion() { return 22; }                                     // 0
  virtual int32_t nGetSubVersion() { return 17; }                                  // 1
  virtual int32_t vnReserved2() { return -1; }                                     // 2
  virtual int32_t vnReserved3() { return -1; }                                     // 3
  virtual void vReserved4() {}                                                     // 4
  virtual int32_t AddRef();                                                        // 5
  virtual int32_t Release();                                                       // 6
  // 1: the SQL-function service with one reference; anything else: null.
  virtual CNASQLService* pclGetService(int32_t identifier);                       // 7
  virtual bool bConnect(INAConnectionDescription* description, INAError** error);   // 8
  virtual bool bDisconnect(INAConnectionDescription* description, INAError** error);  // 9
  virtual bool bCopyContext(uint32_t source, uint32_t target, INACopyContext* context,
                            INAError** error);                                     // 10
  virtual bool bAskDispatchers(intptr_t a, intptr_t b, intptr_t c);                // 11
  virtual bool bPrepareDispatcher(INAConnectionDescription* description,
                                  const char16_t* table, INAError** error);        // 12
  // The tables of the description's connection as text (slot 65).
  virtual bool bListTables(INAConnectionDescription* description, CAny* out, uint32_t flags,
                           const char16_t* filter, INAError** error);              // 13
  virtual CNATableDescription* pclGetTableDescription(INAConnectionDescription* description,
                                                      const char16_t* table,
                                                      INAError** error);           // 14
  virtual void CloseContext(uint32_t context);                                     // 15
  virtual bool bBeginTransaction(INAConnectionDescription* description,
                                 const char16_t* name, INAError** error);          // 16
  virtual bool bCommitTransaction(INAConnectionDescription* description,
                                  const char16_t* name, INAError** error);         // 17
  virtual bool bRollbackTransaction(INAConnectionDescription* description,
                                    const char16_t* name, INAError** error);       // 18
  virtual bool bLockTable(INAConnectionDescription* description, const char16_t* table,
                          INAError** error);                                       // 19
  virtual bool bRunConnection23(INAConnectionDescription* description, intptr_t a,
                                INAError** error);                                 // 20
  // The native type list of the SQL-function service; without a service,
  // an empty text.
  virtual bool bNativeTypes(INAConnectionDescription* description, CAny* result,
                            intptr_t argument, INAError** error);                  // 21
  virtual bool bUnsupportedItem(INAConnectionDescription* description, const char16_t* item,
                                INAError** error);                                 // 22
  virtual bool bNotSupported23(INAError** error);                                  // 23
  virtual bool bTableExists(INAConnectionDescription* description, const char16_t* table,
                            int32_t* exists, INAError** error);                    // 24
  // The foreign keys of a table of the description's connection (slot 67).
  virtual bool bForeignKeys(INAConnectionDescription* description, CAny* out,
                            const char16_t* table, uint32_t flags, INAError** error);  // 25
  virtual bool bEmptyText(CAny* result);                                           // 26
  virtual bool vb27() { return true; }                                             // 27
  virtual void SetTwoIntegers(int32_t a, int32_t b);                               // 28
  virtual bool bNotSupported29(INAError** error);                                  // 29
  virtual bool bSetContextName(uint32_t context, const char16_t* name, INAError** error);  // 30
  virtual bool bCloseDispatcherHandle(INAConnectionDescription* description, uint32_t context,
                                      const char16_t* table, INAError** error);    // 31
  virtual bool vb32() { return true; }                                             // 32
  virtual void SetOneInteger(int32_t value);                                       // 33
  virtual bool bQuoteForDispatcher(INAConnectionDescription* description,
                                   const char16_t* name, INAError** error);        // 34
  virtual bool bDatabaseList(INAConnectionDescription* description, CAny* result,
                             INAError** error);                                    // 35
  virtual bool bOpenTable(INAConnectionDescription* description, INAFileDescription* handle,
                          uint32_t flags, CNADispatcher** out, INAError** error);  // 36
  virtual bool bSavepoint(INAConnectionDescription* description, const char16_t* name,
                          INAError** error);                                       // 37
  virtual bool bRollbackToSavepoint(INAConnectionDescription* description,
                                    const char16_t* name, INAError** error);       // 38
  virtual void SetPerContextConnections(bool value);                               // 39
  virtual bool vb40() { return true; }                                             // 40
  // Resolves the description's connection and opens it; an opened
  // connection stays until slot 9.
  virtual bool bOpenConnection(INAConnectionDescription* description, intptr_t unused,
                               INAError** error);                                  // 41
  virtual void DeletingDestructor();                                               // 42
  virtual CNADispatcher* pclFindOrCreateDispatcher(INAConnectionDescription* description,
                                                   const char16_t* table,
                                                   CNAError* error);               // 43
  // "Context=%u;Connection=%s;Provider=%s;ExtendedInformation=%s;Source=%s;
  // Database=%s;user id=%s;password=%I64u;access=%s".
  virtual void BuildConnectionKey(INAConnectionDescription* description, CTString* key);  // 44
  // Created on first use through slot 63; one reference held by the manager.
  virtual CNASQLService* pclGetSQLService();                                       // 45
  // --- factories (null: not made; made objects carry no reference) ---
  virtual CNAValueConverter* pclNewValueConverterObject();                         // 46
  virtual int32_t vn47() { return 0; }                                             // 47
  virtual CNATableDescription* pclNewTableDescription(CNAConnection*) { return nullptr; }  // 48
  virtual CNARegistry* pclNewRegistry();                                           // 49
  virtual CNARegistryChild* pclNewSession(INAFileDescription* description,
                                          CNAConnection* connection,
                                          CNAError* error);                       // 50
  virtual CNATableAccess* pclNewTableAccess(CNARegistryChild* session,
                                            CNAConnection* connection);           // 51
  virtual CNAItem* pclNewColumnItem();                                             // 52
  // A generator writing for the connection (it takes its own reference).
  virtual CNASQLGenerator* pclNewSQLGenerator(CNAConnection* /*connection*/) {
    return nullptr;
  }                                                                                // 53
  virtual CNAError* pclNewErrorStatus();                                           // 54
  virtual CNAIdentityQuery* pclNewIdentityQuery() { return nullptr; }              // 55
  virtual CNATableDescription* pclGetTableDescriptionByName(CNAConnection* connection,
                                                            const char16_t* table,
                                                            CNAError* error);      // 56
  virtual CNADescriptor* pclNewDescriptorObject();                                 // 57
  virtual void NotifyDescription(INAConnectionDescription* description, intptr_t value);  // 58
  virtual CNAColumn* pclNewColumn();                                               // 59
  // Fault hook of a client-library call; the MariaDB manager adds its text.
  virtual void ReportClientFailure(CNAError* /*error*/, bool /*flag*/) {}                  // 60
  virtual CNAConnection* pclNewConnection(const char16_t* /*key*/,
                                          INAConnectionDescription* /*description*/) {
    return nullptr;
  }                                                                                // 61
  virtual CNADispatcher* pclNewDispatcher(const char16_t* name, CNAError* error);  // 62
  virtual CNASQLService* pclNewSQLService() { return nullptr; }                    // 63
  virtual bool bGetDatabaseList(CNAConnection* connection, CAny* result, CNAError* error);  // 64
  // Opens the connection, then lists its tables through the SQL-function
  // service; false without a service.
  virtual bool bListTablesOn(CNAConnection* connection, CAny* out, uint32_t flags,
                             const char16_t* filter, CNAError* error);             // 65
  // Whether a table exists on the connection: found sets *exists to 1; a
  // lookup that failed with error 30 is "not found" without failure.
  virtual bool bTableExistsOn(CNAConnection* connection, const char16_t* table,
                              int32_t* exists, CNAError* error);                   // 66
  // Opens the connection, then reads a table's foreign keys through the
  // SQL-function service; true (nothing written) without a service.
  virtual bool bForeignKeysOn(CNAConnection* connection, CAny* out, const char16_t* table,
                              uint32_t flags, CNAError* error);                    // 67
  virtual void vReserved68() {}                                                    // 68

  // --- connection sharing ---
  // The shared connection of the description, one reference added; null
  // when none is registered.
  CNAConnection* pclFindConnection(INAConnectionDescription* description);
  // Finds, else creates (slot 61) and registers; one reference for the
  // caller. Null when the factory gave nothing (out of memory recorded).
  CNAConnection* pclResolveConnection(INAConnectionDescription* description, CNAError* error);
  // A new connection registered under the key, opened for the caller (it
  // stays until released through the manager); its serial number.
  bool bOpenNewConnection(const char16_t* key, INAConnectionDescription* description,
                          int32_t* serial, CNAError* error);
  // Stores the connection under its key text; false when the key is taken.
  bool RegisterConnection(CNAConnection* connection);
  // Drops the caller's reference; when only the table still holds the
  // connection and it is closable, it is unfiled under the lock and closed
  // after it. True while the connection stays registered.
  bool bReleaseConnection(CNAConnection* connection);
  // Whether a copied connection with this key should be shared.
  virtual bool bShouldShareConnection(const char16_t* key, INAConnectionDescription* description);
  CNAConnection* pclGetConnectionByNumber(int32_t serial);
  bool DisconnectByKey(int32_t serial);
  // The 64-bit hash a key carries for a password.
  static uint64_t nHashPassword(const char16_t* password);

  // --- registries ---
  CNARegistry* pclFindRegistry(uint32_t context);
  CNARegistry* pclFindOrCreateRegistry(uint32_t context, CNAError* error);
  // Releases the caller's reference; removes the registry when only the
  // table holds it and it has no child. True when it was removed.
  bool bDropRegistry(CNARegistry* registry);

  // --- dispatchers ---
  void ResetConnectionHandles(CNAConnection* connection);
  // Unfiles the dispatcher when the host holds no reference, only the
  // table and the caller use it, and the table's entry under its key is
  // this very object (under the dispatcher-table lock).
  void RemoveDispatcherIfIdle(CNADispatcher* dispatcher);
  // The dispatcher filed under a key with one user for the caller; when
  // absent and create is set, a new one (slot 62) filed at once, with
  // *created set. Two callers creating one key get the filed one.
  CNADispatcher* pclFindOrCreateDispatcherByKey(const CTString& key,
                                                INAFileDescription* description, bool create,
                                                bool* created, CNAError* error);
  // Unfiles the key only when it maps to this dispatcher (drops the
  // table's user).
  void RemoveDispatcherKey(const CTString& key, CNADispatcher* dispatcher);
  uint32_t nGetDispatcherCount();
  // The key of a dispatcher looked up by description: "Table=%s;Provider=
  // %s;ExtendedInformation=%s;Source=%s;Database=%s;user id=%s;password=
  // %I64u;access=%s", missing texts as "NULL".
  void BuildDispatcherKey(INAConnectionDescription* description, const char16_t* table,
                          CTString* key);
  // The key of a dispatcher looked up by context: "CTX=%u;Table=%s;%s"
  // with the connection's key text.
  static void BuildContextDispatcherKey(uint32_t context, const char16_t* table,
                                        const char16_t* connection_key, CTString* key);

  // --- trace labels ---
  // Loads the labels once (while the first is empty) through the message
  // lookup; a label whose message is not found takes its French text.
  void LoadTraceLabels(const qg::CatalogueTable* catalogue = nullptr);
  const char16_t* pszGetTraceLabel(NATraceLabel label) const;

  // --- state ---
  int32_t nGetReferences() const { return m_nReferences.load(); }
  int64_t nGetDefaultFetchSize() const { return m_nDefaultFetchSize; }
  bool bPerContextConnections() const { return m_bPerContextConnections; }
  uint32_t nGetConnectionCount();
  uint32_t nGetRegistryCount();
  int32_t nGetInteger1() const { return m_nInteger1; }
  int32_t nGetInteger2() const { return m_nInteger2; }
  int32_t nGetInteger3() const { return m_nInteger3; }

 protected:
  virtual ~CNAManager();
  int64_t m_nDefaultFetchSize = -1;

  // Adds (add) or drops a reference on the SQL-function service; the
  // service's maker overrides it.
  virtual void HoldService(CNASQLService* /*service*/, bool /*add*/) {}
  // The service operations behind slots 21, 65 and 67, supplied by the
  // service's maker; the generic forms report "not supported".
  virtual bool bServiceNativeTypes(CNASQLService* service, CAny* result, CNAError* error);
  virtual bool bServiceListTables(CNASQLService* service, CNAConnection* connection, CAny* out,
                                  uint32_t flags, const char16_t* filter, CNAError* error);
  virtual bool bServiceForeignKeys(CNASQLService* service, CNAConnection* connection, CAny* out,
                                   const char16_t* table, uint32_t flags, CNAError* error);
  // Takes the service out of the manager (its hold goes to the caller): a
  // subclass releases it in its own destructor, while HoldService is still
  // its own.
  CNASQLService* pclTakeService() { return m_pService.exchange(nullptr); }
  // Releases a table description handed out by slot 56.
  virtual void ReleaseTableDescription(CNATableDescription* /*description*/) {}
  // The AND of the filed dispatchers' answers (dispatcher lock held).
  virtual bool bAskFiledDispatchers() { return true; }
  bool bNotDispatched(INAError** slot, uint32_t minor);
  // The per-context copy of the source context's connections into the copy
  // context.
  void CopyContextConnections(uint32_t source, INACopyContext* context,
                              std::vector<CNAConnection*>* made);

  // Error out: hands the local error to the caller's slot through slot 54.
  void HandToHost(INAError** slot, CNAError& local);
  // The user error 14 naming the description's connection, with the site.
  void UnknownConnection(CNAError& error, INAConnectionDescription* description,
                         uint32_t minor);

 private:
  template <class F>
  bool bWithFoundConnection(INAConnectionDescription* description, INAError** slot,
                            uint32_t minor, F body);

  CTString m_astrLabels[kTraceLabelCount];
  std::atomic<int32_t> m_nReferences{0};
  std::recursive_mutex m_muConnections;
  CNAObjectTable m_tabConnections{CNAObjectTable::kNameForm};
  std::recursive_mutex m_muDispatchers;
  CNAObjectTable m_tabDispatchers{CNAObjectTable::kNameForm};
  std::mutex m_muContexts;
  CNAObjectTable m_tabContexts{CNAObjectTable::kNumberForm};
  std::atomic<CNASQLService*> m_pService{nullptr};
  int32_t m_nInteger1 = 0;
  int32_t m_nInteger2 = 0;
  int32_t m_nInteger3 = 0;
  bool m_bPerContextConnections = false;
};

// The process-wide driver manager (the last one piQueryInterface made);
// null when none. Cleared by a manager's destructor only when it still
// designates that manager.
CNAManager* NAGetManager();
void NASetManager(CNAManager* manager);

#endif  // QG_DRIVER_CORE_MANAGER_H_
