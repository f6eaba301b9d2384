// CXError: the error object of every module. A failing operation fills the
// CXError its caller passed and returns its failure result; the object then
// crosses into the host. It carries a level, an identifier from the module's
// error-definition table, user and debug messages, a system error with its
// text, typed information items, nested sub-errors and the module number.
//
// Texts are owned UTF-16 heap texts (null reads as empty). The constructor
// allocates nothing: the arrays take memory on first use and the sub-error
// array is created with the first sub-error. Allocation failure while
// filling an error leaves what was stored.
//
// The reference count changes atomically; every other field belongs to the
// thread that fills the error.
#ifndef QG_ERRORS_XERROR_H_
#define QG_ERRORS_XERROR_H_

#include <cstdint>
#include <string>

#include "support/qg_unknown.h"
#include "support/array.h"
#include "support/platform/format.h"

class CTString;

namespace qg {
struct CatalogueTable;
}

// One entry of a module's error-definition table (16 bytes).
struct stERRORDEFINITIONENTRY {
  uint32_t nIdentifiant;
  uint32_t nMessage;  // catalogue message number
  uint32_t nReserve;
  uint32_t nNiveau;
};

// A module's error-definition table: entries sorted by identifier, and two
// texts copied into every error set from the table. The reserved word holds
// the module's catalogue (null: the installed module catalogue).
struct stERRORDEFINITION {
  const stERRORDEFINITIONENTRY* pEntries;
  uint32_t nCount;
  const qg::CatalogueTable* pCatalogue;
  const char16_t* pszTexte1;
  const char16_t* pszTexte2;
};

// Error levels.
constexpr int32_t XERR_NONE = 1;
constexpr int32_t XERR_WARNING = 2;
constexpr int32_t XERR_ERROR = 3;

// Information item types.
enum : uint32_t {
  EIT_SRCFILE = 1, EIT_DSTFILE = 2, EIT_USERNAME = 3, EIT_HELPFILE = 4, EIT_PATHQGD = 5,
  EIT_LOGICALTABLENAME = 6, EIT_ITEMNAME = 7, EIT_PATHFIC = 8, EIT_PATHNDX = 9,
  EIT_PATHMMO = 10, EIT_LINKNAME = 11, EIT_RECNUM = 12, EIT_ODBCCODE = 13,
  EIT_ODBCDESCRIPTION = 14, EIT_BASECODE = 15, EIT_NATIVECODE = 16, EIT_ADOCODE = 17,
  EIT_BASEMESSAGE = 18, EIT_NATIVEMESSAGE = 19, EIT_ADOMESSAGE = 20, EIT_DATAACCESS = 21,
  EIT_INFOCLIENT = 22, EIT_INFOSERVEUR = 23, EIT_PILEZQ = 24, EIT_DATEHEURE = 25,
  EIT_LOCKINFO = 26, EIT_CORRIGE_ETAT = 27, EIT_INFOCS = 28, EIT_POINTER = 29,
  EIT_XINFO = 30, EIT_COMPOSANT = 31, EIT_SERVEURCS = 32, EIT_PILEC = 33,
  EIT_HLOCKTIME = 36, EIT_HCNXID = 37, EIT_EXCEPTIONDOTNET = 38, EIT_POSITION_ERREUR = 39,
  EIT_EXCEPTION_CLASS_NAME = 40, EIT_TYPE_QGFILE = 41, EIT_IDCODE = 42,
  EIT_EXCEPTIONJAVA = 43, EIT_CODEHTTP = 44, EIT_THREAD = 45, EIT_PATHFIC_LIST = 46,
  EIT_MOD_INTERNAL = 47, EIT_REPONSE_HTTP = 48,
};

// How an information item holds its value.
enum class ErrorInfoKind { kNone, kText, kInt64, kInt32, kDataAccess, kPointer, kObject };
ErrorInfoKind ErrorInfoKindOf(uint32_t type);

// Object held by items 38, 43 and 48: a reference is taken through
// operation 1 and released through operation 2; operation 3 gives the text
// the dump shows.
class IErrorInfoObject {
 public:
  virtual intptr_t vOp0(intptr_t a) = 0;
  virtual int32_t AddRef() = 0;                 // 1
  virtual int32_t Release() = 0;                // 2
  virtual const char16_t* pszGetText() = 0;     // 3

 protected:
  ~IErrorInfoObject() = default;
};

namespace qg {

// The module's build identifier, shown by the dump's table section before
// the table's second text ("" until set).
void SetBuildIdentifier(const char16_t* text);
const char16_t* BuildIdentifier();

// Dump sections and modifiers.
enum DumpFlag : uint32_t {
  kDumpTables = 0x1,
  kDumpWhere = 0x2,
  kDumpLevel = 0x4,
  kDumpIdentifier = 0x8,
  kDumpCode = 0x10,
  kDumpSystemCode = 0x20,
  kDumpSystemMessage = 0x40,
  kDumpUserMessage = 0x80,
  kDumpDebug = 0x100,
  kDumpInfos = 0x200,
  kDumpSubErrors = 0x800,
  kDumpNoSeparator = 0x10000000,   // no CR LF between sections, no item title
  kDumpNoUserTitle = 0x40000000,
  kDumpSkipEmpty = 0x80000000,     // leave out the texts of empty sections
  kDumpAll = 0x80000FFF,
};
}  // namespace qg

class CXError : public CQGUnknown {
 public:
  // Information item: type, value, second value (the high word of a 64-bit
  // number). Texts are owned copies; objects hold a reference.
  struct _stERRORINFO {
    uint32_t nType;
    uintptr_t nValue;
    uintptr_t nValue2;
  };

  // An empty error (level 1) of the given module number.
  explicit CXError(int32_t module = 0);
  // Module number 0, then Copie.
  CXError(const CXError& other);
  // Of the given module number, from the source: transfer when move is
  // set, else copy.
  CXError(int32_t module, CXError& source, bool move);
  // Copie, unless both are the same object.
  CXError& operator=(const CXError& other);
  // Slot 0.
  ~CXError() override;

  // --- slots 7 to 9 ---
  // Appends a new error of this module number made from the source (moved
  // or copied). The first sub-error's user message is appended to this
  // user message unless no_promote is set; later ones never are. False when
  // memory runs out (nothing added).
  virtual bool vAddSubError(CXError* source, bool move, bool no_promote);
  virtual void vSupprimeSousErreurs();
  virtual void vCopieDe(const CXError& other);

  // --- state ---
  // Frees the texts, the items and the sub-errors; level 1, every other
  // field 0 or null. The module number survives.
  void RAZ();
  int32_t nGetNiveau() const { return m_nNiveau; }
  // Level 1 runs RAZ; another value is stored. Returns the level.
  int32_t nSetNiveau(int32_t level);
  uint32_t nGetIdentifier() const { return m_nIdentifiant; }
  int32_t nGetModule() const { return m_nModule; }

  // --- messages ---
  // The user message; the empty text when there is none.
  const char16_t* pszGetUserMessage() const;
  const char16_t* pszGetDebugMessage() const;
  // Appends to the user message, CR LF between; null or empty is ignored.
  void AddUserMessageText(const char16_t* text);
  // Appends to the debug message, CR LF between. A null or empty text
  // leaves the error unchanged and returns 0; else 1.
  int AddDebugMessage(const char16_t* text);
  // Puts the text, then CR LF, in front of the debug message; the same
  // results.
  int AddDebugMessageFirst(const char16_t* text);
  // printf-style form (Windows meaning of the format).
  template <typename... Args>
  int AddDebugMessageF(const char16_t* format, const Args&... args) {
    const qg::FormatArg list[sizeof...(Args) + 1] = {qg::FormatArg(args)...};
    return AddDebugMessageFV(format, qg::FormatArgs{list, sizeof...(Args)});
  }
  int AddDebugMessageFV(const char16_t* format, qg::FormatArgs args);
  // The catalogue message with its inserts appended to the debug message;
  // number -1 (0xFFFFFFFF) adds nothing.
  template <typename... Args>
  int AddDebugMessageId(const stERRORDEFINITION* table, uint32_t number, const Args&... args) {
    const qg::FormatArg list[sizeof...(Args) + 1] = {qg::FormatArg(args)...};
    return AddDebugMessageIdV(table, number, qg::FormatArgs{list, sizeof...(Args)});
  }
  int AddDebugMessageIdV(const stERRORDEFINITION* table, uint32_t number, qg::FormatArgs args);

  // --- error definitions ---
  // RAZ, then ChangeUserError.
  template <typename... Args>
  int32_t SetUserError(const stERRORDEFINITION& table, uint32_t identifier, const Args&... args) {
    const qg::FormatArg list[sizeof...(Args) + 1] = {qg::FormatArg(args)...};
    return SetUserErrorV(table, identifier, qg::FormatArgs{list, sizeof...(Args)});
  }
  int32_t SetUserErrorV(const stERRORDEFINITION& table, uint32_t identifier, qg::FormatArgs args);
  // Copies the table's texts; looks the identifier up: absent, level 3 and
  // a debug text, result 0; found, the identifier is stored, the entry's
  // message goes first in the user message and the entry's level is set
  // (level 1 clears the error). Returns the level.
  template <typename... Args>
  int32_t ChangeUserError(const stERRORDEFINITION& table, uint32_t identifier,
                          const Args&... args) {
    const qg::FormatArg list[sizeof...(Args) + 1] = {qg::FormatArg(args)...};
    return ChangeUserErrorV(table, identifier, qg::FormatArgs{list, sizeof...(Args)});
  }
  int32_t ChangeUserErrorV(const stERRORDEFINITION& table, uint32_t identifier,
                           qg::FormatArgs args);
  // The catalogue message (inserts %1, %2... take the arguments in order)
  // appended to the user message and its number to the identifier array;
  // the First form puts both in front. A message that cannot be loaded, or
  // is empty, adds a debug text instead. The table may be null (the
  // module's catalogue). Returns 1 when the text was added, else 0.
  template <typename... Args>
  int AddUserMessage(const stERRORDEFINITION* table, uint32_t number, const Args&... args) {
    const qg::FormatArg list[sizeof...(Args) + 1] = {qg::FormatArg(args)...};
    return AddUserMessageV(table, number, qg::FormatArgs{list, sizeof...(Args)}, false);
  }
  template <typename... Args>
  int AddUserMessageFirst(const stERRORDEFINITION* table, uint32_t number, const Args&... args) {
    const qg::FormatArg list[sizeof...(Args) + 1] = {qg::FormatArg(args)...};
    return AddUserMessageV(table, number, qg::FormatArgs{list, sizeof...(Args)}, true);
  }
  int AddUserMessageV(const stERRORDEFINITION* table, uint32_t number, qg::FormatArgs args,
                      bool first);
  int AddUserMessageFirstV(const stERRORDEFINITION* table, uint32_t number,
                           qg::FormatArgs args) {
    return AddUserMessageV(table, number, args, true);
  }
  // Copies the table's two texts into the error.
  void SetErrorTable(const stERRORDEFINITION& table);
  const char16_t* pszGetTableText1() const;
  const char16_t* pszGetTableText2() const;
  // RAZ, the out-of-memory message (25193) first in the user message,
  // system error 14 with its text, level 3.
  void SetOutOfMemoryError() noexcept;

  // Message identifiers, in the order of the user message.
  int nGetNbMessageId() const { return m_tabMessageIds.nGetNbElement(); }
  uint32_t nGetMessageId(int index) const;

  // --- system error ---
  // Stores the code and, for a non-zero code, the system's text for it;
  // code 0 frees the system message.
  void SetSystemError(uint32_t code);
  void SetSystemErrorText(uint32_t code, const char16_t* text);
  uint32_t nGetSystemError() const { return m_nErreurSysteme; }
  const char16_t* pszGetSystemMessage() const;

  // --- information items ---
  // Stores the item, replacing (and first releasing) one of the same type.
  // Types 34, 35 and 44 are ignored, and so is a value whose form does not
  // suit the type. Texts are copied; objects receive a reference.
  void AddInfo(uint32_t type, const char16_t* text);
  void AddInfo(uint32_t type, int32_t value);
  void AddInfo(uint32_t type, uint32_t value) { AddInfo(type, static_cast<int32_t>(value)); }
  void AddInfo(uint32_t type, int64_t value);
  void AddInfo(uint32_t type, CQGUnknown* data_access);       // type 21
  void AddInfo(uint32_t type, IErrorInfoObject* object);      // types 38, 43, 48
  void AddInfo(uint32_t type, const void* pointer);           // type 29
  int nGetNbInfo() const { return m_tabInfos.nGetNbElement(); }
  const _stERRORINFO* pstGetInfoAt(int index) const;
  // The item of that type, null when absent.
  const _stERRORINFO* pstGetInfo(uint32_t type) const;
  // The text of a text item, null when absent or not a text.
  const char16_t* pszGetInfoText(uint32_t type) const;

  // --- location, further values ---
  // File name, the two 16-bit values (0xFFFF as the first: not shown) and
  // the text shown in parentheses after the file name.
  void SetFichier(const char16_t* file, uint16_t value1 = 0xFFFF, uint16_t value2 = 0,
                  const char16_t* detail = nullptr);
  const char16_t* pszGetFichier() const;
  uint16_t nGetValeurFichier() const { return m_anValeurFichier[0]; }
  uint16_t nGetValeurFichier2() const { return m_anValeurFichier[1]; }
  // The further text and the 8-bit value shown with it.
  void SetComplement(const char16_t* text, uint8_t value);
  const char16_t* pszGetComplement() const;
  uint8_t nGetValeurComplement() const { return m_nValeurComplement; }
  // Nothing recorded since the error was made or cleared: no level,
  // identifier, message, item, system error, value, file, further text or
  // sub-error (read in place, for callers that reuse one error per call).
  __attribute__((always_inline)) bool bIsBlank() const {
    auto blank = [](const char16_t* text) { return text == nullptr || text[0] == 0; };
    return m_nNiveau == XERR_NONE && m_nIdentifiant == 0 && m_nValeur == 0 &&
           m_nErreurSysteme == 0 && m_tabInfos.nGetNbElement() == 0 &&
           m_tabMessageIds.nGetNbElement() == 0 && m_ptabSubErrors == nullptr &&
           blank(m_pszUserMessage) && blank(m_pszDebugMessage) && blank(m_pszSystemMessage) &&
           blank(m_pszComplement) && blank(m_pszFichier);
  }
  void SetValeur(uint32_t value) { m_nValeur = value; }
  uint32_t nGetValeur() const { return m_nValeur; }
  void SetCodeComplementaire(uint32_t code) { m_nCodeComplementaire = code; }
  uint32_t nGetCodeComplementaire() const { return m_nCodeComplementaire; }

  // --- sub-errors and whole errors ---
  // vAddSubError with both flags clear.
  bool AddSubError(CXError* other) { return vAddSubError(other, false, false); }
  int nGetNbSubError() const;
  // Null outside the range.
  CXError* pclGetSubError(int index) const;
  // Adds another error's content: all of it when this error is clear,
  // else its user and debug messages, message identifiers and sub-errors.
  void AddError(const CXError& other);
  // Takes over the source's content; the source is left cleared (level 1);
  // each keeps its own module number. A data-access item passes only
  // between errors of the same module number.
  void Transfere(CXError& source);
  // The same content as a deep copy; the source is unchanged.
  void Copie(const CXError& source);

  // --- dump ---
  CTString StringDump(uint32_t flags) const;
  void StringDump(CTString& out, uint32_t flags) const;
  void StringDumpTo(CTString& out, uint32_t flags) const;

 protected:
  // Slots 2 to 6: text members. False when memory runs out (the member is
  // then as it was).
  virtual bool vbDupliqueTexte(char16_t*& member, const char16_t* text);
  virtual bool vbRealloueTexte(char16_t*& member, size_t length);
  virtual bool vbSetTexte(char16_t*& member, const char16_t* text);
  virtual bool vbAjouteTexte(char16_t*& member, const char16_t* text);
  virtual void vLibereTexte(char16_t*& member);

  void SetModuleNumber(int32_t module) { m_nModule = module; }

 private:
  // Appends text to member with CR LF before it when member is not empty.
  bool AppendLine(char16_t*& member, const char16_t* text);
  bool PrependLine(char16_t*& member, const char16_t* text);
  void ReleaseInfo(_stERRORINFO& item);
  // Duplicates the item's value (texts copied, references taken).
  bool CloneInfo(const _stERRORINFO& from, _stERRORINFO* to);
  void StoreInfo(const _stERRORINFO& item);
  void DumpTo(std::u16string* out, uint32_t flags) const;
  static void DeleteSubErrors(CTTableau<CXError*, 0>* subs);

  int32_t m_nNiveau = XERR_NONE;
  uint32_t m_nIdentifiant = 0;
  char16_t* m_pszUserMessage = nullptr;
  char16_t* m_pszDebugMessage = nullptr;
  char16_t* m_pszComplement = nullptr;
  char16_t* m_pszTableText1 = nullptr;
  char16_t* m_pszTableText2 = nullptr;
  uint8_t m_nValeurComplement = 0;
  uint32_t m_nValeur = 0;
  CTTableau<uint32_t, 0> m_tabMessageIds{10};
  CTTableau<_stERRORINFO, 0> m_tabInfos{10};
  uint32_t m_nErreurSysteme = 0;
  char16_t* m_pszSystemMessage = nullptr;
  char16_t* m_pszFichier = nullptr;
  uint16_t m_anValeurFichier[2] = {0, 0};
  CTTableau<CXError*, 0>* m_ptabSubErrors = nullptr;
  char16_t* m_pszDetailFichier = nullptr;
  int32_t m_nModule = 0;
  uint32_t m_nCodeComplementaire = 0;
};

#endif  // QG_ERRORS_XERROR_H_
