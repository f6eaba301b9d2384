#include "testrunner/recorder/key_names.h"

#include <array>

namespace {

struct Table {
  std::array<std::u16string, 256> noms;
  Table() {
    const struct {
      uint32_t vk;
      const char16_t* nom;
    } nommees[] = {
        {8, u"{RA}"},       {9, u"{TAB}"},     {13, u"{ENTREE}"}, {19, u"{PAUSE}"},
        {20, u"{VERRMAJ}"}, {27, u"{ECHAP}"},  {33, u"{PGPREC}"}, {34, u"{PGSUIV}"},
        {35, u"{FIN}"},     {36, u"{ORIGINE}"}, {37, u"{GAUCHE}"}, {38, u"{HAUT}"},
        {39, u"{DROITE}"},  {40, u"{BAS}"},    {42, u"{IMPRECR}"}, {45, u"{INSER}"},
        {46, u"{SUPPR}"},   {47, u"{AIDE}"},   {144, u"{VERRNUM}"},
    };
    for (const auto& n : nommees) noms[n.vk] = n.nom;
    for (uint32_t vk = 65; vk <= 90; ++vk) noms[vk] = std::u16string(1, char16_t(vk - 65 + u'a'));
    for (uint32_t f = 1; f <= 24; ++f) {
      std::u16string name = u"{F";
      if (f >= 10) name += char16_t(u'0' + f / 10);
      name += char16_t(u'0' + f % 10);
      name += u'}';
      noms[111 + f] = name;
    }
  }
};

const Table& LaTable() {
  static const Table table;
  return table;
}

void AjouteUtf16(std::u16string& out, char32_t c) {
  if (c < 0x10000) {
    out += static_cast<char16_t>(c);
  } else {
    c -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (c >> 10));
    out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
  }
}

}  // namespace

const char16_t* pszNomToucheTable(uint32_t vk) {
  return vk < 256 ? LaTable().noms[vk].c_str() : u"";
}

std::u16string NomTouche(uint32_t vk, char32_t layout) {
  const char16_t* entry = pszNomToucheTable(vk);
  std::u16string name;
  if (entry[0] != u'{' && layout >= 0x20 && layout != 0x7F && layout <= 0x10FFFF &&
      !(layout >= 0xD800 && layout <= 0xDFFF)) {
    if (layout >= U'A' && layout <= U'Z') layout += U'a' - U'A';
    AjouteUtf16(name, layout);
    return name;
  }
  return entry;
}

uint32_t nToucheVirtuelle(uint32_t keysym) {
  if (keysym >= 'a' && keysym <= 'z') return keysym - 'a' + 65;
  if (keysym >= 'A' && keysym <= 'Z') return keysym;
  if (keysym >= '0' && keysym <= '9') return keysym;
  if (keysym >= 0xFFBE && keysym <= 0xFFD5) return keysym - 0xFFBE + 112;  // F1..F24
  if (keysym >= 0xFFB0 && keysym <= 0xFFB9) return keysym - 0xFFB0 + 96;   // keypad digits
  switch (keysym) {
    case 0x20: return 32;
    case 0xFF08: return 8;    // BackSpace
    case 0xFF09: return 9;    // Tab
    case 0xFE20: return 9;    // ISO_Left_Tab
    case 0xFF0D: return 13;   // Return
    case 0xFF8D: return 13;   // KP_Enter
    case 0xFF13: return 19;   // Pause
    case 0xFFE5: return 20;   // Caps_Lock
    case 0xFF1B: return 27;   // Escape
    case 0xFF55: return 33;   // Prior
    case 0xFF56: return 34;   // Next
    case 0xFF57: return 35;   // End
    case 0xFF50: return 36;   // Home
    case 0xFF51: return 37;   // Left
    case 0xFF52: return 38;   // Up
    case 0xFF53: return 39;   // Right
    case 0xFF54: return 40;   // Down
    case 0xFF61: return 42;   // Print
    case 0xFF63: return 45;   // Insert
    case 0xFFFF: return 46;   // Delete
    case 0xFF6A: return 47;   // Help
    case 0xFF7F: return 144;  // Num_Lock
    case 0xFFE1: case 0xFFE2: return 16;  // Shift
    case 0xFFE3: case 0xFFE4: return 17;  // Control
    case 0xFFE9: case 0xFFEA: return 18;  // Alt
    default: return 0;
  }
}
