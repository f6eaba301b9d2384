// CQGBuffer: a growable byte buffer with one read/write position, used to
// build and parse serialised data: little-endian integers, string records,
// variant-value records and versioned blocks.
//
// Layout of a serialised buffer: a 12-byte file header (a block header),
// then the body. When the buffer is finished the body is compressed (LZW,
// compression mode 1 or 2) and then obfuscated (CCryptHomeMade, scrambling
// mode 1); the first access past the body offset undoes both.
//
// String record (integers little-endian):
//   FF CE 88 F1 | int32 L = n + 13 | n UTF-8 bytes, NUL | FE ED 98 E1
// The empty or null text is the single byte 00 instead. Any other bytes at
// a string read are taken as a legacy NUL-terminated code page 1252 text.
//
// Block header: int32 header size (>= 12, extra bytes skipped), int32 data
// version (or kind), int32 lowest reader version (or version). A block's
// body opens with an int32 size that counts itself.
//
// Every read is bounded by the used size and fails rather than reading past
// it; no size read from the data is trusted. Sizes are capped at
// kTailleMax so that offsets fit the 32-bit fields of the formats.
//
// Memory comes from the host's string-memory interface (raw blocks) when the
// module has one, else from the C runtime heap; each block is freed where it
// came from.
//
// One buffer is used by one thread at a time.
#ifndef QG_SUPPORT_QGBUFFER_H_
#define QG_SUPPORT_QGBUFFER_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "support/compressor.h"
#include "support/crypt_home_made.h"
#include "support/ctstring.h"
#include "support/frame/host_services.h"
#include "support/qg_unknown.h"
#include "support/xystring.h"

class CAny;
class CXFile;

// Maps a type number stored by older formats to today's type code: 258 to
// 2, 259 to 8, 260 to 18, 261 to 20, 65540 to 7; any other number is kept.
int32_t nConvertitTypeAncien(int32_t nType);

// A block a buffer handed over (CQGBuffer::CedeBloc): freed where it came
// from when the holder goes.
class CBlocCede {
 public:
  CBlocCede() = default;
  ~CBlocCede();
  CBlocCede(const CBlocCede&) = delete;
  CBlocCede& operator=(const CBlocCede&) = delete;
  const uint8_t* pGetDonnees() const { return m_p; }

 private:
  friend class CQGBuffer;
  uint8_t* m_p = nullptr;
  qg::IStringMemory* m_piHote = nullptr;  // null: the C heap
};

class CQGBuffer : public CQGUnknown {
 public:
  static constexpr uint32_t kMarqueDebut = 0xF188CEFF;  // bytes FF CE 88 F1
  static constexpr uint32_t kMarqueFin = 0xE198EDFE;    // bytes FE ED 98 E1
  static constexpr size_t kTailleEnteteChaine = 13;     // marks, length, NUL
  static constexpr size_t kTailleEnteteBloc = 12;
  static constexpr size_t kPasCroissance = 0x10000;
  static constexpr int32_t kVersionEntete = 4;
  // Largest used size (bytes).
  static constexpr size_t kTailleMax = 0x7FFFFFF0;

  // Results of nLitEnteteBloc.
  static constexpr int kEnteteOk = 0;
  static constexpr int kEnteteCourt = 1;     // fewer than 4 bytes for a field
  static constexpr int kEnteteInvalide = 2;  // size below 12, or nothing after it
  static constexpr int kEnteteTropRecent = -1;

  // nCryptage: 0 none, 1 CCryptHomeMade. nCompression: 0 none, 1 or 2 LZW.
  explicit CQGBuffer(int nCryptage = 0, int nCompression = 0);
  ~CQGBuffer() override;

  CQGBuffer(const CQGBuffer&) = delete;
  CQGBuffer& operator=(const CQGBuffer&) = delete;

  // Memory and helper objects, in slot order after the destructor and
  // Release. The block operations report failure by their result.
  virtual bool vbAlloue(size_t n);        // 2: a fresh zeroed block, used size n
  virtual bool vbRealloue(size_t n);      // 3: resizes; on failure the old block stays
  virtual void vLibere();                 // 4: frees the block, empties the buffer
  // 5: the compression output block, sized for the capacity. Finishing and
  // restoring size it for the body at hand and free it when done.
  virtual bool vbAlloueSortie();
  virtual void vLibereSortie();           // 6
  virtual void vCreeCompresseur();        // 7
  virtual void vDetruitCompresseur();     // 8
  virtual void vCreeCrypteur();           // 9: when the scrambling mode is 1
  virtual void vDetruitCrypteur();        // 10

  // Changes the modes of a buffer that is not finished; false otherwise.
  bool bSetModes(int nCryptage, int nCompression);
  int nGetCryptage() const { return m_nCryptage; }
  int nGetCompression() const { return m_nCompression; }

  // --- state ----------------------------------------------------------------
  const uint8_t* pGetDonnees() const { return m_pDebut; }
  size_t nTaille() const { return m_nTaille; }          // used size
  size_t nTailleAllouee() const { return m_nAlloue; }
  size_t nPosition() const { return m_nPosition; }
  size_t nRestant() const { return m_nTaille - m_nPosition; }
  size_t nDebutCorps() const { return m_nDebutCorps; }
  bool bEstFini() const { return m_bFini; }
  // Largest body a compressed body may restore to (bytes), so that a small
  // hostile body cannot make the reader claim and fill a huge block. By
  // default it follows from the bytes handed in (a file's, a value
  // record's): kExpansionDefaut times the compressed body, at least
  // kCorpsMaxPlancher. A caller that knows better sets it; 0 goes back to
  // the default. Never above what the coder can produce from the body.
  static constexpr size_t kExpansionDefaut = 256;
  static constexpr size_t kCorpsMaxPlancher = 16 << 20;
  void SetTailleCorpsMax(size_t n) { m_nCorpsMax = n; }
  static size_t nCorpsMaxParDefaut(size_t nCorpsCompresse);
  bool bEstCompresse() const { return m_bCompresse; }
  bool bEstBrouille() const { return m_bBrouille; }
  // Bit 1: the block came from the host; bit 2: the compression output
  // block did.
  uint32_t nOrigineMemoire() const {
    return (m_piHoteBloc != nullptr ? 1u : 0u) | (m_piHoteSortie != nullptr ? 2u : 0u);
  }

  // --- size and position ----------------------------------------------------
  // Sets the used size: above the capacity the block grows by the largest of
  // the missing bytes, the growth step and half the capacity (at most 1 MiB
  // once the capacity passes 2 MiB); up to the capacity only the used size
  // changes; shrinking by at least the growth step below the capacity
  // reallocates to n. 0 frees the block. When shrinking, a position at or
  // past the new size returns to 0. False when memory runs out (nothing
  // changed) or n is above kTailleMax.
  bool Redimensionne(size_t n);
  // Makes n bytes available at the position, growing the used size (new
  // bytes are zero). Unfinishes first when they reach the body.
  bool VerifieDisponible(size_t n);
  // Origin 0 from the start, 1 from the position, 2 from the end of the
  // data. A position past the used size grows the buffer to it (zero
  // bytes). Returns the new position, -1 (nothing moved) for a negative or
  // oversized target or when memory runs out.
  int64_t Seek(int64_t nOffset, int nOrigine);
  // Seek with origin 0 or 1.
  bool DeplaceEcriture(int64_t nOffset, int nMode);
  // Mode 0 from the start, 1 relative; clamped to [0, used size]. Returns
  // the used size.
  size_t DeplaceLecture(int64_t nOffset, int nMode);
  void Rembobine() { m_nPosition = 0; }
  // Hands the block over to `out` (which frees what it held first) without
  // moving its bytes: pointers into it stay valid as long as `out` holds
  // it. The buffer is left empty, as after vLibere. (The block is one this
  // class allocated: no subclass allocates its own.)
  void CedeBloc(CBlocCede* out);

  // --- raw and typed writes ---------------------------------------------------
  // Copies n bytes at the position, growing as needed, and advances. False
  // (nothing written) when memory runs out or a finished body cannot be
  // restored.
  bool Ecrit(const void* p, size_t n);
  bool EcritEntier16(int16_t n) { return EcritValeur(n); }
  bool EcritEntier(int32_t n) { return EcritValeur(n); }
  bool EcritEntier64(int64_t n) { return EcritValeur(n); }

  // --- raw and typed reads ----------------------------------------------------
  // Exactly n bytes; false (position unchanged) when fewer remain.
  bool Lit(void* p, size_t n);
  bool LitEntier16(int16_t& n) { return LitValeur(&n); }
  bool LitEntier(int32_t& n) { return LitValeur(&n); }
  bool LitEntier64(int64_t& n) { return LitValeur(&n); }
  // Copies min(4, bytes left) bytes and advances by that count; returns it.
  size_t nLitAuPlus4(void* p);

  // --- string records ---------------------------------------------------------
  bool EcritChaine(const char16_t* psz);
  // Reads a record, the single 00 byte (empty text) or a legacy 1252 text.
  // False (position and string unchanged) at the end of the data, for a
  // legacy text without NUL before the end, or when memory runs out.
  bool bLitChaine(CTString& s);
  bool bLitChaineXY(CXYString<char16_t>& s);
  // Advances over one string as bLitChaine would read it.
  bool bSauteChaine();

  // --- length fields ----------------------------------------------------------
  // Writes a 4-byte zero at the position; returns that position (-1 when
  // the write fails).
  int64_t nCommenceLongueur();
  // Writes at nDebut the byte count from nDebut to the position, leaving
  // the position where it is; returns the count, -1 for a bad nDebut.
  int64_t nTermineLongueur(int64_t nDebut);

  // --- block headers and blocks -------------------------------------------------
  // Writes a 12-byte block header: the data version, then the lowest
  // reader version able to read the block.
  bool EcritEnteteBloc(int32_t nVersion, int32_t nVersionLecteur);
  // Writes the file header at offset 0 and leaves the position after it;
  // the body, compressed and obfuscated on finishing, starts there.
  bool EcritEntete(int32_t nVersion, int32_t nVersionLecteur);
  // Reads a block header at the position; results kEntete*. -1 when the
  // third field is above nVersionMax. The fields are stored when the
  // pointers are given.
  int nLitEnteteBloc(int32_t nVersionMax, int32_t* pnVersion = nullptr,
                     int32_t* pnVersionLecteur = nullptr);
  // Rewinds and reads the file header (highest reader version 4). On bytes
  // copied in from a file, the body after the header is taken as finished
  // when a mode is on; the first access to it restores it.
  int nLitEntete(int32_t* pnVersion = nullptr, int32_t* pnVersionLecteur = nullptr);
  // Reads the size that opens a block and returns the offset where the
  // block ends; -1 when the size is cut short, below 4, or would end past
  // nFinEnglobante (by default the used size).
  int64_t pLitDebutBloc(int64_t nFinEnglobante = -1);
  // Moves to a block end given by pLitDebutBloc (clamped to the used size).
  void FinBloc(int64_t nFin);

  // --- variant records ----------------------------------------------------------
  // Type word, then for a non-empty value an int32 size and the bytes. On a
  // failed read the position is unchanged.
  bool EcritAny(const CAny& v);
  bool LitAny(CAny& v);

  // --- finishing ----------------------------------------------------------------
  // Compresses then obfuscates the body; false (nothing applied) on failure.
  bool bFinit();
  // Undoes both; false (still finished) for a damaged body.
  bool bDefinit();
  // Finishes the buffer, then writes the used bytes to the file's stream in
  // one write. False without a stream, when finishing fails or the stream
  // takes fewer bytes. Defined with the streams (qg_streams), which callers
  // of this operation link.
  bool bEcritDansFichier(CXFile& f);

 protected:
  // Restores the body when an access of n bytes at the position reaches it.
  bool bPrepareAcces(size_t n);

 private:
  // Typed values go as they lie in memory: the formats are little-endian,
  // like the machine. The short paths cover a plain body within the block.
  template <typename T>
  bool EcritValeur(T v) {
    if (!m_bFini && m_nAlloue - m_nPosition >= sizeof(T)) {
      std::memcpy(m_pDebut + m_nPosition, &v, sizeof(T));
      m_nPosition += sizeof(T);
      if (m_nPosition > m_nTaille) m_nTaille = m_nPosition;
      return true;
    }
    return Ecrit(&v, sizeof(T));
  }
  template <typename T>
  bool LitValeur(T* v) {
    if (!m_bFini && m_nTaille - m_nPosition >= sizeof(T)) {
      std::memcpy(v, m_pDebut + m_nPosition, sizeof(T));
      m_nPosition += sizeof(T);
      return true;
    }
    return Lit(v, sizeof(T));
  }

  // Room for n bytes at the position (body restored, used size grown);
  // null when memory runs out.
  uint8_t* pReserve(size_t n);
  bool bAgrandit(size_t nFin);  // used size >= nFin, new bytes zero
  // Locates the string at the position: its length in the data, and where
  // its text starts with how many bytes, in UTF-8 (record) or 1252.
  bool bLocaliseChaine(size_t* pnLongueur, size_t* pnTexte, size_t* pnOctets,
                       bool* pbUtf8);
  bool bDecompresseCorps();
  bool bAlloueSortie(size_t n);

  int m_nCryptage = 0;
  int m_nCompression = 0;
  uint8_t* m_pDebut = nullptr;
  size_t m_nPosition = 0;    // offset from m_pDebut, <= m_nTaille
  size_t m_nAlloue = 0;      // bytes
  size_t m_nTaille = 0;      // used bytes
  size_t m_nDebutCorps = 0;  // where the compressed / obfuscated body starts
  size_t m_nPas = kPasCroissance;
  uint8_t* m_pSortie = nullptr;  // compression output block
  size_t m_nSortie = 0;          // its size (bytes)
  size_t m_nCorpsMax = 0;  // restored body size refused above this; 0: by default
  std::unique_ptr<CCompresseur> m_pCompresseur;
  bool m_bFini = false;
  bool m_bBrouille = false;
  bool m_bCompresse = false;
  // False while the body's form is not known: after bytes were copied in
  // and before nLitEntete says how to take them.
  bool m_bEtatConnu = false;
  // The host allocator each block came from, null for the C heap.
  qg::IStringMemory* m_piHoteBloc = nullptr;
  qg::IStringMemory* m_piHoteSortie = nullptr;
  std::unique_ptr<CCryptHomeMade> m_pCrypteur;
};

// The buffer the test runner reads lists from: a copy of the given bytes,
// positioned at 0.
class CQGBufferMark : public CQGBuffer {
 public:
  explicit CQGBufferMark(int nCryptage = 0, int nCompression = 0)
      : CQGBuffer(nCryptage, nCompression) {}
  CQGBufferMark(const void* p, size_t n, int nCryptage = 0, int nCompression = 0);
  // Replaces the content with a copy of n bytes and rewinds; false when
  // memory runs out.
  bool bAttache(const void* p, size_t n);
};

#endif  // QG_SUPPORT_QGBUFFER_H_
