// The shared-memory zone through which a launcher hands the run parameters
// to the runner: a 16-bit field, then three arrays, each an i32 count and
// that many entries (i32 key or type word, i32 size, that many bytes):
// values for the list (type words: low 16 bits a type code, 256 null,
// 1024 the second flag), an array kept unused, and the keyed parameters
// (texts as UTF-16, numbers as i32). Little-endian, fields unaligned.
//
// Zones are POSIX shared-memory objects that live as long as a user holds
// them, creator or not: each holder keeps the object open with a shared
// lock on its first byte, and the one that finds itself the last holder
// when it lets go unlinks the name. A zone whose holders all died (a crash,
// a signal) holds no lock any more: creating a zone from the same base
// unlinks such leftovers first.
#ifndef QG_SUPPORT_PARAM_ZONE_H_
#define QG_SUPPORT_PARAM_ZONE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct CBufferParam {
  int32_t nCle = 0;  // key, or type word
  std::vector<uint8_t> octets;
};

struct ContenuZone {
  uint16_t nEntete = 0;
  std::vector<CBufferParam> tab[3];
};

// Reads a zone's bytes; false when a count or size runs past them.
bool bLitZone(const uint8_t* bytes, size_t size, ContenuZone* out);
// The bytes of a zone.
std::vector<uint8_t> EcritZone(const ContenuZone& zone);

// Keyed parameters.
enum CleParam : int32_t {
  kCleEtat = 1,        // run state (1 playback, 2 recording)
  kCleSelection = 3,   // scenario selection text
  kCleSortie = 5,      // recording file or journal path
  kCleRepertoire = 6,  // test base directory
  kCleListe = 9,       // list to load
  kCleValeur = 10,     // run value
  kCleTexte = 11,
};

// A keyed entry holding a UTF-16 text or an i32.
CBufferParam ParamTexte(int32_t key, const std::u16string& text);
CBufferParam ParamNombre(int32_t key, int32_t value);

class CTransBufferParam {
 public:
  CTransBufferParam() = default;
  ~CTransBufferParam();
  CTransBufferParam(const CTransBufferParam&) = delete;
  CTransBufferParam& operator=(const CTransBufferParam&) = delete;

  // Maps an existing zone, reads it and holds it; false when it is missing
  // or does not read. A zone held before is let go first.
  bool bOuvre(const char16_t* name);
  // Creates a zone holding `zone` under the first free name from `base`
  // and holds it; zones of that base left by dead holders are unlinked.
  bool bCree(const char16_t* base, const ContenuZone& zone);
  // Lets the zone go; the last holder unlinks it.
  void Libere();
  // `base` when no zone of that name exists, else base0, base1, ...
  static std::u16string ChoisitNomLibre(const char16_t* base);

  const std::u16string& clNom() const { return m_clNom; }
  const ContenuZone& clContenu() const { return m_clContenu; }
  const CBufferParam* pclCherche(int32_t key) const;
  // A keyed text (trailing NULs dropped); the default when absent.
  std::u16string Texte(int32_t key, const std::u16string& defaut = u"") const;
  int32_t nNombre(int32_t key, int32_t defaut) const;

 private:
  std::u16string m_clNom;
  int m_nFd = -1;  // open with a shared lock on byte 0 while held
  ContenuZone m_clContenu;
};

#endif  // QG_SUPPORT_PARAM_ZONE_H_
