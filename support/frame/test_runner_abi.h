// What the test runner and the host exchange: the component access (host
// item 7) and the components it hands out, the records of the host's
// external-execution entry points, the list request of "VMData", the data
// engine behind legacy data-set files, and the runner's own interfaces that
// the host calls. Shared by qg300test and the stand-in host so both read one
// layout. Operations are declared in slot order.
//
// Records that held 32-bit pointers keep their fields and values with
// pointer-sized fields (x86-64 layout); integer fields keep their widths.
#ifndef QG_SUPPORT_FRAME_TEST_RUNNER_ABI_H_
#define QG_SUPPORT_FRAME_TEST_RUNNER_ABI_H_

#include <cstddef>
#include <cstdint>

class CAny;
class CXError;
class IElementTest;

namespace qg {

class IElementLangage;

// Every component the access hands out. Components belong to the host and
// stay valid while it is loaded: an answer of the access carries no
// reference; a holder that keeps one beyond the host's life takes one.
// Description objects (kinds 74 and 75) are the exception: each answer is
// a new object with one reference, which the caller releases.
class IHostComponent {
 public:
  virtual int32_t AddRef() = 0;   // 0
  virtual int32_t Release() = 0;  // 1

 protected:
  ~IHostComponent() = default;
};

// Host item 7.
class IComponentAccess {
 public:
  // 0: a component by (flags, owner identification, kind, version, name,
  // asking module number, error); null when unavailable.
  virtual IHostComponent* piGetComponent(int32_t flags, const void* owner, int32_t kind,
                                         int32_t version, const char16_t* name, int32_t module,
                                         CXError* error) = 0;
  // 1: go on after a component was obtained.
  virtual void Continue(int32_t value, CXError* error) = 0;
  // 2: the module handle of host module `number`; null when none.
  virtual void* hGetHostModule(int32_t number) = 0;

 protected:
  ~IComponentAccess() = default;
};

// Component kinds and names the runner asks for.
constexpr int32_t kComponentMainVM = 100;
constexpr int32_t kComponentObjGate = 18;
constexpr int32_t kComponentVMData = 1507351;
constexpr int32_t kComponentDataContext = 72;      // "GVContextExtended"
constexpr int32_t kComponentSourceDescription = 74;  // "GVDataSourceDescription"
constexpr int32_t kComponentItemDescription = 75;    // "GVItemDescription"

// Where the host writes the bytes it answers.
class IListOutput {
 public:
  // False when memory runs out; the request then fails.
  virtual bool bAppend(const void* bytes, size_t size) = 0;  // 0

 protected:
  ~IListOutput() = default;
};

// The request "VMData" answers with a stored block by name. Zero but for
// the fields named.
struct ListRequest {
  int32_t nSize = sizeof(ListRequest);
  int32_t nReserved0 = 0;
  const char16_t* pszFirstName = nullptr;
  const char16_t* pszSecondName = nullptr;
  int32_t nKind = 17;
  int32_t nReserved1 = 0;
  IListOutput* piOutput = nullptr;
  int32_t nFlags = 0;       // 1024: the caller asked for the kept form
  int32_t nReserved2 = 0;
  intptr_t nContext = 0;    // answered by the component
  uint8_t abyReserved3[52] = {};
  int32_t nMinusOne = -1;
  uint8_t abyReserved4[28] = {};
};

// Component "VMData".
class IVMData : public IHostComponent {
 public:
  virtual intptr_t nGetContext() = 0;                                 // 2
  // Fills the sink with the block named in the request; the error's level
  // stays 1 on success.
  virtual void Request(ListRequest* request, CXError* error) = 0;     // 3

 protected:
  ~IVMData() = default;
};

// An image the companion captured, saved by the host image component.
class IHostImage : public IHostComponent {
 public:
  virtual int32_t nLargeur() = 0;                                      // 2
  virtual int32_t nHauteur() = 0;                                      // 3
  virtual int32_t bRedimensionne(int32_t width, int32_t height) = 0;   // 4
  // 5: the image's bytes in a format of the image component (3: BMP).
  virtual int32_t bSauve(int32_t format, IListOutput* out) = 0;

 protected:
  ~IHostImage() = default;
};

// Component "MainPnt": the application's main window.
class IMainPnt : public IHostComponent {
 public:
  // 2: left, top, right, bottom in screen pixels.
  virtual void Rectangle(int32_t rect[4]) = 0;

 protected:
  ~IMainPnt() = default;
};
constexpr int32_t kComponentMainPnt = 47;

// Component "ObjGate" of the companion module.
class IObjGate : public IHostComponent {
 public:
  // 2: 1 when the companion accepts the module (file name, version).
  virtual int32_t bAccepteModule(const char16_t* module, const char16_t* version) = 0;
  // 3: the companion's version text, owned by the component.
  virtual const char16_t* pszVersion() = 0;
  // 4: hands the companion the component access.
  virtual void SetComponentAccess(IComponentAccess* access) = 0;
  // 5: captures the screen within a rectangle; one reference for the
  // caller, null when it cannot.
  virtual IHostImage* piCaptureFenetre(const int32_t rect[4]) = 0;
  // 6: 1 when a window of the application has that name.
  virtual int32_t bTrouveFenetre(const char16_t* name) = 0;

 protected:
  ~IObjGate() = default;
};

// The context record pushed around every event call.
struct EventContext {
  int32_t nSize = 16;
  int32_t nReserved = 0;
  intptr_t hListe = 0;
  intptr_t hGroupe = 0;
  intptr_t hScenario = 0;
};

// A code position as the host describes it (kind 13, or 18 for the
// alternative).
struct CodePosition {
  const char16_t* pszLibelle = nullptr;   // item 1
  const char16_t* pszNomObjet = nullptr;  // item 4
  int32_t nLigne = 0;                     // item 3
  uint32_t nIdFichier = 0;                // item 5
  int32_t nIdTrt = -1;                    // item 6
  uint64_t nIdObjet = ~0ull;              // item 7
};

// The host's platform description.
struct PlatformInfo {
  uint64_t nHash = 0;
  const char16_t* pszNom = nullptr;
  int32_t nType = 0;
  int32_t nTypeMateriel = 0;
  int32_t nOrientation = 0;
};

// Component "MainVM": the host's program interface for the runner.
class IMainVM : public IHostComponent {
 public:
  // 2: starts a list: its handle, 0 when refused.
  virtual intptr_t hDebutListe(const char16_t* name, int64_t id, CXError* error) = 0;
  // 3: the list handle ends.
  virtual void FinListe(intptr_t list) = 0;
  // 4: starts a group of a list: its handle, 0 when refused.
  virtual intptr_t hDebutGroupe(intptr_t list, const char16_t* name, int64_t id,
                                CXError* error) = 0;
  virtual void FinGroupe(intptr_t group) = 0;  // 5
  // 6: the scenario's handle in a group, 0 when it has no code.
  virtual intptr_t hScenario(intptr_t group, const char16_t* name, int64_t id) = 0;
  // 7: pushes (push 1) or pops (0) the context record.
  virtual void Contexte(const EventContext* record, int32_t push) = 0;
  // 8: runs an element's event with the values pushed before.
  virtual int32_t nEvenement(int64_t id, int32_t code, CXError* error, int32_t values,
                             int32_t flag) = 0;
  // 9: pushes a value for the next event (null: a null value).
  virtual void PousseValeur(const CAny* value) = 0;
  // 10: reads a value of the running code by name; 0 when it cannot.
  virtual int32_t bLitValeur(const char16_t* name, CAny* out) = 0;
  // 11: the current code position; 0 when none.
  virtual int32_t bPositionCode(int32_t kind, CodePosition* out) = 0;
  // 12: the platform description (zero or empty where there is none).
  virtual void Plateforme(PlatformInfo* out) = 0;
  // 13: the configuration identifier; 14: the project's name.
  virtual uint64_t nConfiguration() = 0;
  virtual const char16_t* pszNomProjet() = 0;
  // 15: the list's value at the end of its execution.
  virtual void FinExecution(int32_t value, int32_t reserved) = 0;
  // 16: a call by code through the list (0x1D0002 at the end of execution).
  virtual int32_t nAppelle(int32_t code) = 0;
  // 17: 1 when the project handles an event.
  virtual int32_t bGereEvenement(int32_t code) = 0;
  // 18: the group-level run for a target (the list's target name): 1 when
  // every scenario ran.
  virtual int32_t nExecuteGroupe(const char16_t* target, CXError* error) = 0;
  // 19: prepares a scenario's pass as a deferred call, with the values
  // pushed before: the call's handle, 0 when refused. The host runs it
  // later and tells the runner when it ended.
  virtual intptr_t hPrepareAppelDiffere(int64_t id, int32_t code, int32_t values,
                                        CXError* error) = 0;
  // 20: a deferred call resolves a window that opens: 0 the call handles
  // it, 1 drop the name's first part and ask again, 2 not the call's.
  virtual int32_t nResoutFenetreDifferee(intptr_t call, const char16_t* window) = 0;
  // 21: the version of this interface; the trace exists above 131.
  virtual int32_t nVersion() = 0;
  // 22: a line of the host's trace.
  virtual void Trace(const char16_t* text) = 0;
  // 23: a window of the application by name (owned by the host); null
  // when none is open.
  virtual IElementLangage* piFenetre(const char16_t* name) = 0;
  // 24: the path of a file of the project by its name (owned by the host,
  // valid until the next call); null when the host resolves none.
  virtual const char16_t* pszResoutNomFichier(const char16_t* name) = 0;

 protected:
  ~IMainVM() = default;
};

// An element of the application (a window or a control) as the host
// describes it to the runner's reports.
class IElementHote {
 public:
  // 0: the element's name.
  virtual const char16_t* pszNom() = 0;
  // 1: the element that contains it; null at the top.
  virtual IElementHote* piConteneur() = 0;
  // 2: the element's value; 0 when it has none.
  virtual int32_t bValeur(CAny* out) = 0;

 protected:
  ~IElementHote() = default;
};

// Data engine of the legacy data-set files.
class IItemDescription : public IHostComponent {
 public:
  virtual void Set(const char16_t* name, int32_t type, int32_t key) = 0;  // 2

 protected:
  ~IItemDescription() = default;
};

class ISourceDescription : public IHostComponent {
 public:
  virtual void SetSource(const char16_t* name, const char16_t* path) = 0;  // 2
  virtual void AddItem(IItemDescription* item) = 0;                          // 3

 protected:
  ~ISourceDescription() = default;
};

class IDataContext : public IHostComponent {
 public:
  // 2: opens the source (mode 0 normal, 1 alternative); 0 or an engine code.
  virtual int32_t nOpen(ISourceDescription* source, int32_t mode, CXError* error) = 0;
  // 3: repairs the open source; 0 or an engine code.
  virtual int32_t nRepair(ISourceDescription* source, CXError* error) = 0;
  // 4: moves to the first (first = 1) or next record in the order of the
  // key item; 0 past the end.
  virtual int32_t bRead(ISourceDescription* source, int32_t first, const char16_t* key) = 0;
  // 5: the bytes of an item of the current record; 0 when none. The bytes
  // stay valid until the next read or close.
  virtual int32_t bGetItem(ISourceDescription* source, const char16_t* item,
                           const void** bytes, size_t* size) = 0;
  virtual void Close(ISourceDescription* source) = 0;  // 6

 protected:
  ~IDataContext() = default;
};

// Engine codes after which a source is reopened in the alternative mode
// and repaired once.
constexpr int32_t kEngineRepairCodes[] = {70012, 70021, 70046, 70052, 70109, 70302};

// --- external-execution entry points of the host --------------------------------

// The session record (50 packed bytes with 32-bit pointers).
struct ExternalSessionRecord {
  int16_t nVersion = 16;
  uint8_t abyReserved0[6] = {};
  void* pWork = nullptr;       // 1160 bytes
  void* pBlock = nullptr;      // 36 bytes
  const char16_t* pszName = nullptr;  // "QGTESTEXE"
  int32_t nZero = 0;
  int32_t nReserved1 = 0;
  int32_t nTwenty = 20;
  uint8_t abyReserved2[20] = {};
};
constexpr size_t kSessionWorkSize = 1160;
constexpr size_t kSessionBlockSize = 36;

// The session-open options record: 44 bytes of 32-bit fields.
struct ExternalOptionsRecord {
  int32_t anField[11] = {16, 44, 1, 1, 0, 0, 0, 0, 0, 0, 0};
};
static_assert(sizeof(ExternalOptionsRecord) == 44);

using PFN_ZQEInitEx = int32_t (*)(ExternalSessionRecord* session, ExternalOptionsRecord* options);
using PFN_ZQETerm = void (*)(ExternalSessionRecord* session);
using PFN_ZQEEmpile = int32_t (*)(ExternalSessionRecord* session, const void* value, int32_t kind);
using PFN_ZQEAppelle = int32_t (*)(ExternalSessionRecord* session, int32_t family,
                                   int32_t function, int32_t a, int32_t b);

// --- the runner's objects as the host sees them --------------------------------

// The runner object, pQueryProxy(1).
class ITestFactory {
 public:
  virtual int32_t AddRef() = 0;   // 0
  virtual int32_t Release() = 0;  // 1
  // 2: loads a list by name and keeps it; one reference for the caller.
  virtual IElementTest* piChargeListeTestParNom(const char16_t* name, CXError* error) = 0;
  // 3: reads the run parameters from the zone of that name.
  virtual void PrepareExecution(const char16_t* zone) = 0;
  // 4: runs the list of that name (or the one the parameters name) with the
  // host interface; 1 when it ran and ended.
  virtual int32_t bExecuteListe(const char16_t* name, IMainVM* vm, CXError* error) = 0;
  // 5: the running scenario's code writes an expected parameter.
  virtual int32_t nEcritParametreCourant(int32_t kind, int32_t index, int32_t sub,
                                         const CAny* value, CXError* error) = 0;
  // 6: the running scenario's code reports a value for the journal.
  virtual void RapporteValeurCourante(const char16_t* name, const char16_t* value) = 0;
  // 7: ends the lists kept started.
  virtual int32_t bFinExecution(IMainVM* vm) = 0;
  // 8: closes the journal: 1 when one was open and all of it was written.
  virtual int32_t nFermeJournal() = 0;
  // 9: fills the name table from the project's test lists (their names).
  virtual void ChargeTableNoms(const char16_t* const* lists, int32_t count) = 0;
  // 10: the application ended while a run was playing.
  virtual void SignaleFinInattendue() = 0;
  // 11: an error of the application's code at a line of it.
  virtual void SignaleErreur(const CXError* error, int32_t line) = 0;
  // 12 to 15: what the run parameters ask for.
  virtual int32_t bEnregistrementDemande() = 0;
  virtual int32_t bEnregistrementSansListeDemande() = 0;
  virtual int32_t bLectureDemandee() = 0;
  virtual int32_t bEnregistrementAvecListeDemande() = 0;
  // 16, 17: pauses after an input message and after a window message.
  virtual void PauseApresSaisie(int32_t message) = 0;
  virtual void PauseApresMessage(int32_t first_field, int32_t fifth_field) = 0;
  // 18: the application starts: 0 no list, 1 a list pre-loaded for the
  // run, 2 a list loaded and kept started.
  virtual int32_t nDemarrageApplication(IMainVM* vm, CXError* error) = 0;
  // 19: runs the first loaded list with its passes deferred.
  virtual int32_t bExecuteDiffere(IMainVM* vm, CXError* error) = 0;
  // 20: the deferred call ended: ends its scenario and every loaded list.
  virtual int32_t bFinExecuteDiffere(CXError* error) = 0;
  // 21: the scenario whose pass is deferred, or null.
  virtual IElementTest* piScenarioDiffere() = 0;
  // 22: a call on an element of the application.
  virtual void SignaleAppelElement(IElementHote* element) = 0;
  // 23: a window of the application closes.
  virtual void SignaleFermetureFenetre(IElementHote* window) = 0;

 protected:
  ~ITestFactory() = default;
};

// The call context of a library object.
struct LibraryContext {
  intptr_t nArgument1 = 0;
  intptr_t nArgument2 = 0;
};

// The library object, pQueryProxy(60).
class IZQLibrary {
 public:
  virtual int32_t nGetVersion() = 0;                                 // 0: 8
  virtual int32_t nGetValue() = 0;                                   // 1: 2
  virtual int32_t nGetModule() = 0;                                  // 2: 54
  virtual void vEmpty3() = 0;                                        // 3
  virtual void vEmpty4() = 0;                                        // 4
  virtual void vEmpty5() = 0;                                        // 5
  virtual void vRelease() = 0;                                       // 6: deletes the object
  virtual int32_t bNo() = 0;                                         // 7
  virtual CXError* pGetError() = 0;                                  // 8
  virtual int32_t bConnecte() = 0;                                   // 9
  virtual void Deconnecte() = 0;                                     // 10
  virtual int32_t bSetThreadCreateur(int32_t set) = 0;               // 11
  virtual LibraryContext* SetContexte(LibraryContext* context) = 0;  // 12
  virtual intptr_t AppelleDansContexte(LibraryContext* context) = 0; // 13
  virtual int32_t bExecuteDansContexte(LibraryContext* context) = 0; // 14
  virtual void vReleaseAvec(int32_t flags) = 0;                      // 15
  virtual void vEmpty16() = 0;                                       // 16
  virtual void vEmpty17() = 0;                                       // 17
  virtual ~IZQLibrary() = default;                                   // 18, 19
  virtual int32_t bConnecteVM() = 0;                                 // 20
  virtual void DeconnecteVM() = 0;                                   // 21
  virtual int32_t bNo2() = 0;                                        // 22
  virtual void vNotify() = 0;                                        // 23
  virtual void vEmpty24() = 0;                                       // 24
};

}  // namespace qg

#endif  // QG_SUPPORT_FRAME_TEST_RUNNER_ABI_H_
