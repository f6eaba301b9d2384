// The result journal: one XML file, UTF-16 little-endian without byte-order
// mark. It opens with the declaration and "<DOC>", every element starts
// with CR LF, and "</DOC>" closes it. Container elements stay open until
// Ferme; timed ones get "Tic" when opened and "Tac" when closed, each the
// 32-bit tick count in signed decimal.
//
// Output is buffered and written when a list, group or test closes, when
// the buffer fills and at close. A failed write does not stop the caller:
// it is remembered (bEchecEcriture) and later output is dropped; bFerme
// reports it.
//
// One writer at a time: the file is locked (byte 0, exclusive) for the
// writer's life, before it is truncated, so a second writer of the same
// path fails to open and leaves the first one's journal whole.
#ifndef QG_TESTRUNNER_JOURNAL_JOURNAL_FILE_H_
#define QG_TESTRUNNER_JOURNAL_JOURNAL_FILE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CDiskFile;

// Element codes.
enum CodeJournal : int32_t {
  kJInfo = 0,
  kJErreur = 1,
  kJListe = 10000,
  kJGroupe = 10001,
  kJTest = 10002,
  kJNom = 10003,
  kJTic = 10004,
  kJTac = 10005,
  kJMachine = 10006,
  kJOS = 10007,
  kJPosition = 10008,
  kJLibelle = 10009,
  kJIdTrt = 10010,
  kJIdObjet = 10011,
  kJNomObjet = 10012,
  kJLigne = 10013,
  kJIdFichier = 10014,
  kJNomGroupe = 10015,
  kJNomListe = 10016,
  kJJeu = 10017,
  kJParam = 10018,
  kJNomParam = 10019,
  kJValeur = 10020,
  kJNum = 10021,
  kJConfiguration = 10022,
  kJIdConfiguration = 10023,
  kJIdPlateforme = 10024,
  kJOrientation = 10025,
  kJListeID = 10026,
  kJGroupeID = 10027,
  kJTestID = 10028,
  kJTestCRC = 10029,
  kJInfoPassage = 10030,
  kJDate = 10031,
  kJQWIDConfiguration = 10032,
  kJNomApplication = 10033,
  kJVersionExe = 10034,
  kJInfoPlateforme = 10035,
  kJHASH = 10036,
  kJNomPlateforme = 10037,
  kJType = 10038,
  kJTypeMateriel = 10039,
  kJOrientationPlateforme = 10040,
  kJImageFenetre = 10041,
  kJBuffer = 10042,
};

// The items of a code position the host describes.
struct PositionCode {
  const char16_t* pszLibelle = nullptr;   // item 1
  const char16_t* pszNomObjet = nullptr;  // item 4
  int32_t nLigne = 0;                     // item 3
  uint32_t nIdFichier = 0;                // item 5 (0: none)
  int32_t nIdTrt = -1;                    // item 6 (-1: none)
  uint64_t nIdObjet = ~0ull;              // item 7 (all ones: none)
};

// Escapes &, <, >, ' and " (in that order) and turns every code unit that
// is not 9, 10, 13, 32..55295 or 57344..65533 into a space.
std::u16string EchappeTexteXML(const char16_t* text);

class CFichierJournalTest {
 public:
  CFichierJournalTest();
  // bFerme, its result lost.
  ~CFichierJournalTest();
  CFichierJournalTest(const CFichierJournalTest&) = delete;
  CFichierJournalTest& operator=(const CFichierJournalTest&) = delete;

  // Creates the path's directory when missing, then the file, locks it,
  // truncates it and writes the declaration and "<DOC>". False: no file;
  // nEchecOuverture then tells why.
  bool bOuvre(const char16_t* path);
  bool bEstOuvert() const { return m_pFichier != nullptr; }
  enum EchecOuverture { kAucunEchec = 0, kCheminInvalide, kCreationImpossible, kDejaEcrit };
  EchecOuverture nEchecOuverture() const { return m_nEchecOuverture; }

  // Closes every element still open (last first), writes "</DOC>" and
  // closes the file. True when the whole journal reached the file. False
  // too when no journal was open.
  bool bFerme();

  // An unknown code writes nothing.
  void Ecrit(int32_t code, const char16_t* text);
  void Ferme(int32_t code);
  void EcritEntier64(int32_t code, uint64_t value);

  void EcritDebutTest(const char16_t* name, const char16_t* group, const char16_t* list,
                      uint64_t test_id, uint64_t group_id, uint64_t list_id, uint64_t check);
  void EcritFinTest() { Ferme(kJTest); }
  void EcritInfoPassage(uint64_t date, uint64_t configuration, const char16_t* application,
                        const char16_t* version);
  void EcritInfoPlateforme(uint64_t hash, const char16_t* name, int32_t type,
                           int32_t hardware, int32_t orientation);
  void EcritParam(const char16_t* name, const char16_t* value);
  // The position items; a given line of -1 takes the item's line.
  void EcritPosition(const PositionCode& position, int32_t line);
  // "ImageFenetre" holding "Buffer" with the Ascii85 text of the bytes.
  void EcritImage(const void* bytes, size_t size);

  // Writes the buffered output; false when a write failed (now or before).
  bool bVide();
  bool bEchecEcriture() const { return m_bEchec; }

 private:
  void Ajoute(const char16_t* text, size_t n);
  void Ajoute(const std::u16string& s) { Ajoute(s.data(), s.size()); }
  void Tick(int32_t code);

  std::unique_ptr<CDiskFile> m_pFichier;
  std::u16string m_clTampon;
  bool m_bEchec = false;
  EchecOuverture m_nEchecOuverture = kAucunEchec;
  // Codes of the container elements written and not closed yet, in order.
  std::vector<int32_t> m_tabOuverts;
};

#endif  // QG_TESTRUNNER_JOURNAL_JOURNAL_FILE_H_
