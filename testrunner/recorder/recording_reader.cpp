#include "testrunner/recorder/recording_reader.h"

#include <cstdio>

namespace {

uint32_t Lit32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void Ajoute32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>(v >> (8 * i));
}

}  // namespace

const char* pszFormatRecord(uint32_t type) {
  switch (type) {
    case 0: return "uuuuu";
    case 1: return "s";
    case 2: return "uuuuusu";
    case 5: return "u";
    case 6: return "ssh";
    case 8: return "";
    case 9: return "su";
    case 11: return "ususu";
    case 12: return "u";
    case 13: return "ub";
    case 14: return "uss";
    case 15: return "uu";
    case 16: return "b";
    case 17: return "uuuuuuuu";
    case 18: return "uuuuuu";
    case 19: return "b";
    case 20: return "";
    case 21: return "s";
    default: return nullptr;
  }
}

bool bLitEnregistrement(const uint8_t* bytes, size_t n, std::vector<RecordLu>* records,
                        size_t* bad) {
  records->clear();
  size_t at = 0;
  while (at < n) {
    const size_t start = at;
    auto fail = [&] {
      if (bad != nullptr) *bad = start;
      return false;
    };
    if (n - at < 4) return fail();
    RecordLu record;
    record.nType = Lit32(bytes + at);
    record.nPosition = start;
    at += 4;
    const char* format = pszFormatRecord(record.nType);
    if (format == nullptr) return fail();
    for (const char* f = format; *f != 0; ++f) {
      ChampEnregistrement field;
      if (*f == 'h') {
        if (n - at < 2) return fail();
        field.nGenre = ChampEnregistrement::kU16;
        field.nValeur = uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8;
        at += 2;
      } else {
        if (n - at < 4) return fail();
        const uint32_t v = Lit32(bytes + at);
        at += 4;
        if (*f == 'u') {
          field.nValeur = v;
        } else {
          if (n - at < v) return fail();
          field.nGenre = *f == 's' ? ChampEnregistrement::kTexte : ChampEnregistrement::kOctets;
          field.octets.assign(reinterpret_cast<const char*>(bytes + at), v);
          at += v;
        }
      }
      record.champs.push_back(std::move(field));
    }
    records->push_back(std::move(record));
  }
  return true;
}

std::string EcritEnregistrement(const std::vector<RecordLu>& records) {
  std::string out;
  for (const RecordLu& r : records) {
    Ajoute32(out, r.nType);
    for (const ChampEnregistrement& f : r.champs) {
      switch (f.nGenre) {
        case ChampEnregistrement::kU32: Ajoute32(out, f.nValeur); break;
        case ChampEnregistrement::kU16:
          out += static_cast<char>(f.nValeur);
          out += static_cast<char>(f.nValeur >> 8);
          break;
        case ChampEnregistrement::kTexte:
        case ChampEnregistrement::kOctets:
          Ajoute32(out, static_cast<uint32_t>(f.octets.size()));
          out += f.octets;
          break;
      }
    }
  }
  return out;
}

std::string DecritRecord(const RecordLu& record) {
  static const char* const kEvenement[] = {"message", "p1", "p2", "zero", "window"};
  const bool event = record.nType == 0 || record.nType == 2 || record.nType == 17 ||
                     record.nType == 18;
  std::string line = std::to_string(record.nType);
  char buffer[16];
  for (size_t i = 0; i < record.champs.size(); ++i) {
    const ChampEnregistrement& f = record.champs[i];
    line += ' ';
    if (event && i < 5) {
      line += kEvenement[i];
      line += '=';
    }
    switch (f.nGenre) {
      case ChampEnregistrement::kU32:
      case ChampEnregistrement::kU16:
        if (event && i == 2 && (record.nType == 2)) {
          std::snprintf(buffer, sizeof buffer, "0x%08X", f.nValeur);
          line += buffer;
        } else {
          line += std::to_string(static_cast<int32_t>(f.nValeur));
        }
        break;
      case ChampEnregistrement::kTexte:
        line += '"';
        for (unsigned char c : f.octets) {
          if (c == '"' || c == '\\') {
            line += '\\';
            line += static_cast<char>(c);
          } else if (c < 0x20 || c == 0x7F) {
            std::snprintf(buffer, sizeof buffer, "\\x%02X", c);
            line += buffer;
          } else {
            line += static_cast<char>(c);
          }
        }
        line += '"';
        break;
      case ChampEnregistrement::kOctets:
        line += '[';
        for (unsigned char c : f.octets) {
          std::snprintf(buffer, sizeof buffer, "%02X", c);
          line += buffer;
        }
        line += ']';
        break;
    }
  }
  return line;
}
