// CFichierEnregistrement: the recording file, a sequence of records over a
// CXFile (a disk file, or a memory stream when no path is given). Every
// record opens with a 32-bit type; integers are 32-bit little-endian; a text
// is a 32-bit byte length and its UTF-8 bytes, without terminator.
//
// Records are built whole (CRecordEnregistrement) and appended under one
// lock, so records written by several threads never interleave. Bytes are
// kept in a buffer and reach the stream when it fills, at read-back and at
// close.
#ifndef QG_TESTRUNNER_RECORDER_RECORDING_FILE_H_
#define QG_TESTRUNNER_RECORDER_RECORDING_FILE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "testrunner/recorder/recorder.h"

class CAny;
class CXFile;

// Record types.
enum TypeRecordEnregistrement : uint32_t {
  kRecEvenement = 0,
  kRecControle = 1,
  kRecClavier = 2,
  kRecEntier = 5,
  kRecSaisie = 6,
  kRecDebut = 8,
  kRecTexteEntier = 9,
  kRecAppel = 11,
  kRecEntierEnregistrement = 12,
  kRecEntierValeur = 13,
  kRecDeuxTextes = 14,
  kRecBoiteMessage = 15,
  kRecElement = 16,
  kRecSourisPoint = 17,
  kRecSouris = 18,
  kRecValeur = 19,
  kRecContinuation = 20,
  kRecSaisieOccupee = 21,
};

// One record being built.
class CRecordEnregistrement {
 public:
  explicit CRecordEnregistrement(uint32_t type) { U32(type); }
  void U32(uint32_t v);
  void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
  void U16(uint16_t v);
  // The UTF-8 of a UTF-16 text (null: empty) after its byte length.
  void Texte(const char16_t* text);
  void Texte(const std::u16string& text) { Texte(text.c_str()); }
  // A byte count and the bytes.
  void Octets(const void* bytes, size_t n);
  // The five fields of an input event.
  void Evenement(const EvenementEntree& e);
  // A value serialised as CQGBuffer::EcritAny writes it, after its size;
  // false when the value does not serialise (nothing added).
  bool Valeur(const CAny& value);
  std::string_view octets() const {
    return m_bGrand ? std::string_view(m_grand) : std::string_view(m_local, m_n);
  }

 private:
  void Ajoute(const char* bytes, size_t n);

  // Most records fit here; longer ones move to m_grand.
  char m_local[120];
  size_t m_n = 0;
  bool m_bGrand = false;
  std::string m_grand;
};

class CFichierEnregistrement {
 public:
  CFichierEnregistrement();
  ~CFichierEnregistrement();  // writes what is buffered and closes
  CFichierEnregistrement(const CFichierEnregistrement&) = delete;
  CFichierEnregistrement& operator=(const CFichierEnregistrement&) = delete;

  // An empty or null path: a memory stream (read-write, shared read and
  // write, always created); otherwise the file at the path (read-write,
  // shared for reading, always created, sequential). False when it cannot
  // be created.
  bool bOuvre(const char16_t* path);
  // The file object the records go to; null before a successful open.
  CXFile* pclGetFichier() const { return m_pFichier.get(); }
  bool bEstMemoire() const { return m_bMemoire; }

  // Appends a whole record; false when the stream failed (from then on
  // nothing more is written).
  bool bEcrit(const CRecordEnregistrement& record);
  // Writes what is buffered to the stream.
  bool bVide();
  // The whole recording from offset 0.
  bool bRelit(std::vector<uint8_t>* out);
  // Writes what is buffered and closes; a second call does nothing.
  void Ferme();

 private:
  bool bVideVerrouille();

  std::mutex m_mutex;  // guards everything below
  std::unique_ptr<CXFile> m_pFichier;
  bool m_bMemoire = false;
  bool m_bEchec = false;
  std::string m_tampon;
};

#endif  // QG_TESTRUNNER_RECORDER_RECORDING_FILE_H_
