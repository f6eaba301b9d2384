// The table of text encodings the system knows: 44 constant rows and one
// default row. Each row ties a display label (which carries the Windows
// code page in parentheses), a GDI character-set value (-1 when the
// encoding has none) and the encoding's charset name, as iconv knows it.
#ifndef QG_SUPPORT_CODEPAGE_TABLE_H_
#define QG_SUPPORT_CODEPAGE_TABLE_H_

#include <cstddef>
#include <cstdint>

// Constant-initialised: usable from any static initialiser.
struct CEncodage {
  const char16_t* pszLibelle;  // display label, e.g. u"Latin (1252)"
  int32_t nCharset;            // GDI character-set value, -1 when none
  const char* pszNom;          // charset name
  const char* pszNom2;         // second name: differs only for Johab
};

extern const CEncodage Encodage_Systeme_Defaut;
extern const CEncodage Encodage_OEM;
extern const CEncodage Encodage_Latin_OEM;
extern const CEncodage Encodage_Cyrillique_OEM;
extern const CEncodage Encodage_Thai;
extern const CEncodage Encodage_Japonais;
extern const CEncodage Encodage_Chinois_GB2312;
extern const CEncodage Encodage_Coreen_Hangeul;
extern const CEncodage Encodage_Chinois_Big5;
extern const CEncodage Encodage_Latin_EBCDIC;
extern const CEncodage Encodage_UTF_16_LE;
extern const CEncodage Encodage_UTF_16_BE;
extern const CEncodage Encodage_Europe_Centrale;
extern const CEncodage Encodage_Cyrillique;
extern const CEncodage Encodage_Latin;
extern const CEncodage Encodage_Grec;
extern const CEncodage Encodage_Turc;
extern const CEncodage Encodage_Hebreu;
extern const CEncodage Encodage_Arabe;
extern const CEncodage Encodage_Balte;
extern const CEncodage Encodage_Vietnamien;
extern const CEncodage Encodage_Coreen_Johab;
extern const CEncodage Encodage_UTF_32_LE;
extern const CEncodage Encodage_UTF_32_BE;
extern const CEncodage Encodage_US_ASCII;
extern const CEncodage Encodage_Cyrillique_KOI8_R;
extern const CEncodage Encodage_Japonais_EUC;
extern const CEncodage Encodage_Chinois_X_CP20936;
extern const CEncodage Encodage_Latin_ISO_8859_1;
extern const CEncodage Encodage_Europe_Centrale_ISO_8859_2;
extern const CEncodage Encodage_Latin_ISO_8859_3;
extern const CEncodage Encodage_Balte_ISO_8859_4;
extern const CEncodage Encodage_Cyrillique_ISO_8859_5;
extern const CEncodage Encodage_Arabe_ISO_8859_6;
extern const CEncodage Encodage_Grec_ISO_8859_7;
extern const CEncodage Encodage_Hebreu_ISO_8859_8;
extern const CEncodage Encodage_Turc_ISO_8859_9;
extern const CEncodage Encodage_Estonian_ISO_8859_13;
extern const CEncodage Encodage_Latin_ISO_8859_15;
extern const CEncodage Encodage_Japonais_ISO_2022;
extern const CEncodage Encodage_Chinois_EUC;
extern const CEncodage Encodage_Coreen_EUC;
extern const CEncodage Encodage_Chinois_GB18030;
extern const CEncodage Encodage_UTF_8;
// The row that follows the 44: {"?", -1, "CP1252", "CP1252"}.
extern const CEncodage Encodage_Defaut;

namespace qg {

constexpr size_t kEncodageCount = 44;

// The 44 rows in table order, then the default row (index 44).
extern const CEncodage* const kEncodages[kEncodageCount + 1];

// The code page in the parentheses of a row's label ("ANSI (0)" gives 0),
// or -1 when the label carries none (the default row).
int32_t EncodageCodePage(const CEncodage& row);

// The row whose label carries code_page, or null.
const CEncodage* FindEncodageByCodePage(uint32_t code_page);

}  // namespace qg

#endif  // QG_SUPPORT_CODEPAGE_TABLE_H_
