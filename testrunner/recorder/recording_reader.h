// Reads a recording file back into its records, and writes records back
// into bytes: reading then writing gives the same bytes. A cut record, a
// length past the end or an unknown record type stops the reading.
#ifndef QG_TESTRUNNER_RECORDER_RECORDING_READER_H_
#define QG_TESTRUNNER_RECORDER_RECORDING_READER_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct ChampEnregistrement {
  enum Genre : uint8_t { kU32, kU16, kTexte, kOctets };
  Genre nGenre = kU32;
  uint32_t nValeur = 0;  // kU32, kU16
  std::string octets;    // kTexte (UTF-8), kOctets
};

struct RecordLu {
  uint32_t nType = 0;
  size_t nPosition = 0;  // offset of the record in the file
  std::vector<ChampEnregistrement> champs;
};

// The layout of a record type after its type word: 'u' a 32-bit integer,
// 'h' a 16-bit one, 's' a text, 'b' a size and bytes; null for an unknown
// type.
const char* pszFormatRecord(uint32_t type);

// True when all `n` bytes read as whole records; false at the first bad
// record (`records` holds those before it, `*bad` its offset).
bool bLitEnregistrement(const uint8_t* bytes, size_t n, std::vector<RecordLu>* records,
                        size_t* bad);

std::string EcritEnregistrement(const std::vector<RecordLu>& records);

// One line of text for a record: its type, its fields (texts in quotes,
// bytes in hex) and the names of the input-event fields.
std::string DecritRecord(const RecordLu& record);

#endif  // QG_TESTRUNNER_RECORDER_RECORDING_READER_H_
