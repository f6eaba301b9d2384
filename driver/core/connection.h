// The generic connection to one database server: the host's connection
// description, the options of its extended information, the DBMS kind that
// selects every dialect choice, the transaction levels, and one critical
// section held around transaction steps, the lazy database name, the
// closable test and the back end's server calls. The back end derives from
// it and supplies open, close and execution. Connections are shared by key
// (the manager's connection table) and made by the manager's connection
// factory.
//
// Lock order: the manager's connection-table lock before this lock.
#ifndef QG_DRIVER_CORE_CONNECTION_H_
#define QG_DRIVER_CORE_CONNECTION_H_

#include <cstdint>

#include "driver/core/error_status.h"
#include "driver/core/refcounted.h"
#include "driver/core/secret_string.h"
#include "support/ctstring.h"

class CAny;
class CDualString;
class CNAColumn;
class CNAManager;
class CNASavepoint;
class INAConnectionDescription;
class INACopyContext;

// Cursor locations.
enum NACursorLocation : int32_t { kNACursorDefault = 0, kNACursorClient = 1, kNACursorServer = 2 };

class CNAConnection : public CNARefCounted, public INAErrorReporter {
 public:
  // Reads the options of the description's extended information; the
  // manager is the one that owns the connection (may be null).
  CNAConnection(const char16_t* key, INAConnectionDescription* description,
                CNAManager* manager);
  // Every field at its default, no description (deep copies).
  explicit CNAConnection(CNAManager* manager);
  ~CNAConnection() override;

  // --- virtual operations in slot order (0 and 1 are the base's) ---
  virtual bool bOpen(CNAError* error, int32_t flag) = 0;                    // 2
  virtual bool bIsOpen() = 0;                                                // 3
  virtual bool bClose(CNAError* error) = 0;                                  // 4
  virtual bool vb5() { return false; }                                       // 5
  virtual bool vb6() { return true; }                                        // 6
  // Whether ending a transaction drops the row locks of the handles bound
  // to this connection (the manager then resets them).
  virtual bool bTransactionEndResetsHandles() { return false; }             // 7
  virtual bool vb8() { return true; }                                        // 8
  virtual bool bIsKind2() { return m_nDbmsKind == 2; }                       // 9
  virtual bool vb10() { return false; }                                      // 10
  virtual bool vb11() { return false; }                                      // 11
  virtual bool vb12() { return true; }                                       // 12
  // No locking needed: the connection's guard then never enters.
  virtual bool bNoLocking() { return false; }                                // 13
  virtual bool vb14() { return true; }                                       // 14
  virtual bool vb15() { return false; }                                      // 15
  // May the column be declared NOT NULL (kind 2 refuses it to generated
  // columns that are not stored).
  virtual bool bCanDeclareNotNull(const CNAColumn* column);                  // 16
  virtual bool bOpenOrCreateDatabase(CNAError* error) { return bOpen(error, 0); }  // 17
  virtual const char16_t* pszGetRecordLockText() { return m_strRecordLock.pszGet(); }  // 18
  virtual bool bExecuteBegin(CNAError* error);                               // 19
  virtual bool bExecuteCommit(CNAError* error);                              // 20
  virtual bool bExecuteRollback(CNAError* error);                            // 21
  // A transaction level bound to this connection (one reference).
  virtual CNASavepoint* pclNewSavepoint();                                   // 22
  virtual bool vb23() { return false; }                                      // 23
  // Locks a table for the running transaction; the name is quoted here.
  virtual bool bLockRecords(CNAError* error, const char16_t* table);        // 24
  virtual bool bExecuteForUpdate(CNAError* error, const char16_t* text);    // 25
  virtual bool bUnsupported(CNAError* error, const char16_t* item);         // 26
  virtual bool vb27() { return false; }                                      // 27
  // The category of a server error number (0: none of the known ones).
  virtual int32_t nGetErrorCategory(int32_t /*server_error*/) { return 0; }      // 28
  // A value as an SQL literal (see connection_sql.cpp).
  virtual bool bValueLiteral(CNAError* error, CDualString* out, const CAny& value,
                             int32_t target_type, bool hex_binary);          // 29
  // Fits a value to a column type before it is written; 0 target: as it is.
  virtual bool bFitValue(CNAError* error, CAny& value, int32_t column_type);  // 30
  virtual int32_t nGetMaxOrderItems() { return m_nDbmsKind == 4 ? 31 : 0x7FFFFFFF; }  // 31
  // Trace: the connection's settings into an error.
  void TraceInto(CXError* error) override;                                   // 32
  virtual bool vb33() { return false; }                                      // 33
  virtual bool vb34() { return false; }                                      // 34
  // Runs a text that returns no rows.
  virtual bool bExecuteText(CNAError* error, const char16_t* text);         // 35
  // Runs a text whose rows are discarded.
  virtual bool bExecuteQuery(CNAError* error, const char16_t* text) {       // 36
    return bExecuteText(error, text);
  }
  virtual bool bExecuteFetchAll(CNAError* error, const char16_t* text) {    // 37
    return bExecuteQuery(error, text);
  }
  // Copies every option of the source (deep copy of a host context) and
  // registers the pair in the context when it is new.
  virtual void CopyFrom(CNAConnection* source, INACopyContext* context, intptr_t a,
                        intptr_t b);                                         // 38
  // A new connection copied from this one, with one reference; null when
  // it cannot be made. May throw the CNAError of a failed opening.
  virtual CNAConnection* pclCreate(INACopyContext* context, intptr_t a, intptr_t b) = 0;  // 39
  // A text (type code, address, size in bytes) as a quoted SQL literal.
  virtual bool bTextLiteral(CNAError* error, CDualString* out, int32_t type,
                            const void* data, size_t size);                 // 40
  virtual void BooleanLiteral(CDualString* out, bool value);                 // 41
  virtual bool bDateLiteral(CNAError* error, CDualString* out, const CAny& value,
                            bool flag);                                      // 42
  virtual void TransactionEnded() {}                                         // 43
  virtual void vInitSQLTypeMap() {}                                          // 44
  // Parses the server version text into major, minor, patch.
  virtual bool bParseServerVersion();                                        // 45
  // Properties the session and table access ask.
  virtual bool bIsGroupKind();                                               // 46
  virtual bool bInsertNeedsNoGuard() { return false; }                       // 47
  virtual bool bIndexNamesNeedNoTablePrefix() { return false; }              // 48
  virtual bool bHasNoCacheOption() { return false; }                         // 49
  virtual bool bTakesQueryUnchanged() { return false; }                      // 50

  // --- description ---
  INAConnectionDescription* piGetDescription() const { return m_piDescription; }
  const char16_t* pszGetUser();
  const CSecretString& clGetPassword() const { return m_clPassword; }
  const char16_t* pszGetDataSource();
  const char16_t* pszGetDescriptionDatabase();
  const char16_t* pszGetConnectionName();
  // "Initial Catalog" of the extended information, else of the provider
  // text, else the description's database; worked out once, under the lock.
  const char16_t* pszGetDatabase();
  // The value of a key of the extended information (key without regard to
  // case, matched only at the start of a pair, blanks around '=' skipped,
  // value trimmed); with remove, the pair and the blanks and ';' after it
  // are cut out. False when the key is absent.
  bool bGetExtendedInfo(const char16_t* key, CTString* value, bool remove);
  static bool bGetInfoFromText(CTString& text, const char16_t* key, CTString* value,
                               bool remove);

  // --- transactions (under the lock) ---
  bool bBeginTransaction(CNAError* error, const char16_t* name);
  bool bCommitTransaction(CNAError* error, const char16_t* name);
  bool bRollbackTransaction(CNAError* error, const char16_t* name);
  bool bSavepoint(CNAError* error, const char16_t* name);
  bool bRollbackToSavepoint(CNAError* error, const char16_t* name);
  // The innermost active level, null when none.
  CNASavepoint* pGetCurrentTransaction();
  bool bHasActiveTransaction();
  // A connection lost (server gone, link cut) inside a transaction fails
  // that transaction: the link is not reopened behind the program's back,
  // and every statement, commit and rollback reports the loss until the
  // program ends the transaction (commit or rollback), which then reopens
  // the link outside any transaction. `loss` is the error that showed it.
  void NoteConnectionLost(CNAError* loss);
  // True, with the loss in *error, while a lost transaction is not ended.
  bool bTransactionLost(CNAError* error);
  // Closable when unused and no active transaction (under the lock).
  bool bIsClosable();

  // --- SQL rendering helpers (connection_sql.cpp) ---
  // Quotes a name for this kind; a closing quote inside is doubled; a name
  // that is already one well-formed quoted identifier is left alone.
  bool bQuoteName(CNAError* error, const char16_t* name, CTString* out);
  bool bQuoteQualifiedName(CNAError* error, const char16_t* name, CTString* out);
  static void SplitQualifiedName(const char16_t* name, CTString* qualifier, CTString* rest);
  bool bNeedsQuotes(const char16_t* name);
  // SQL expression of a date, time or date-time column as comparable
  // digits (host type 14, 11 with its subtype, 24); others copied.
  bool bGetDateTimeExpression(CTString* out, const char16_t* column, int32_t host_type,
                              int32_t subtype);

  // --- per-kind type names ---
  const char16_t* pszGetVarcharType();
  const char16_t* pszGetNVarcharType();
  const char16_t* pszGetLongTextType();
  const char16_t* pszGetLongNTextType();
  int32_t nGetMaxVarchar();
  int32_t nGetMaxNVarchar();

  // --- lock ---
  CNACriticalSection* pGetLock() { return &m_clLock; }
  // The connection's guard: enters only when asked and bNoLocking is false.
  CNAConnectionLock clLock(bool lock = true) {
    return CNAConnectionLock(&m_clLock, lock, bNoLocking());
  }

  CNAManager* pclGetManager() const { return m_pManager; }
  void ForgetManager() { m_pManager = nullptr; }

  // Public fields the back end and the SQL layer read and set.
  int32_t m_nSerial;
  CTString m_strKey;
  bool m_bClosableWhenUnused = true;
  bool m_bOpenedByCaller = false;
  int64_t m_nCacheSize = -2;
  int32_t m_nCursorLocation = kNACursorDefault;
  bool m_bSavepointMode = true;
  int32_t m_nNestingCount = 0;
  CTString m_strExtendedInfo;
  int32_t m_nConnectionTimeout = -1;
  int32_t m_nCommandTimeout = -1;
  int32_t m_nLockTimeout = -1;
  CTString m_strRecordLock;
  bool m_bRecordLockFound = false;
  bool m_bUnicodeColumnsAllowed = true;
  int32_t m_nUnicode = 1;
  int32_t m_nLanguageCodePage = 1252;
  int32_t m_nConnectionCodePage = -1;
  CTString m_strFurtherText;
  int32_t m_nFurtherValue = 0;
  CTString m_strSslMode, m_strSslKey, m_strSslCert, m_strSslCa, m_strSslKept, m_strSslCaPath,
      m_strSslCipher, m_strClientVersion, m_strClientLibrary, m_strApplicationName;
  int32_t m_nDbmsKind = 0;
  CTString m_strServerVersion;
  int32_t m_nServerMajor = -1, m_nServerMinor = 0, m_nServerPatch = 0;
  CTString m_strOpenQuote;
  int32_t m_nOpenQuoteLength = 0;
  CTString m_strCloseQuote;
  int32_t m_nCloseQuoteLength = 0;
  CTString m_strBinaryPrefix, m_strBinarySuffix;
  CTString m_astrFurther[6];
  // The native-library path a trace shows (empty: unknown).
  CTString m_strNativeLibraryPath;
  // The client library's version text a trace shows as item 22.
  CTString m_strClientLibraryVersion;

 protected:
  // Refreshes the language code page from the host's locale.
  void RefreshLanguageCodePage();
  // Creates the transaction object when there is none (under the lock).
  bool bEnsureTransaction(CNAError* error);

 private:
  void ReadOptions();

  CNACriticalSection m_clLock;
  CNAManager* m_pManager;
  INAConnectionDescription* m_piDescription = nullptr;
  CSecretString m_clPassword;
  CNASavepoint* m_pclTransaction = nullptr;
  bool bEndLostTransaction(CNAError* error);
  bool m_bTransactionLost = false;
  CNAError m_clLoss;
  CTString m_strDatabase;
  bool m_bDatabaseResolved = false;
};

// Process-wide serial numbers of connections (first: 1).
int32_t NANextConnectionSerial();

#endif  // QG_DRIVER_CORE_CONNECTION_H_
