#include "support/codepage_table.h"

#define QG_ROW(object, label, charset, name, name2) \
  constexpr CEncodage object = {label, charset, name, name2}

// Labels are the system's display texts and stay as they are ("LAtin").
QG_ROW(Encodage_Systeme_Defaut, u"ANSI (0)", 127, "CP1252", "CP1252");
QG_ROW(Encodage_OEM, u"OEM (437)", -1, "CP437", "CP437");
QG_ROW(Encodage_Latin_OEM, u"Latin OEM (850)", -1, "CP850", "CP850");
QG_ROW(Encodage_Cyrillique_OEM, u"Cyrillic OEM (866)", -1, "CP866", "CP866");
QG_ROW(Encodage_Thai, u"Thai (874)", 222, "CP874", "CP874");
QG_ROW(Encodage_Japonais, u"Japanese Shift-JIS (932)", 128, "CP932", "CP932");
QG_ROW(Encodage_Chinois_GB2312, u"Chinese GB2312 (936)", 134, "CP936", "CP936");
QG_ROW(Encodage_Coreen_Hangeul, u"Korean Hangul (949)", 129, "CP949", "CP949");
QG_ROW(Encodage_Chinois_Big5, u"Chinese Big5 (950)", 136, "CP950", "CP950");
QG_ROW(Encodage_Latin_EBCDIC, u"Latin EBCDIC (1047)", -1, "IBM1047", "IBM1047");
QG_ROW(Encodage_UTF_16_LE, u"UTF-16 LE (1200)", -1, "UTF-16LE", "UTF-16LE");
QG_ROW(Encodage_UTF_16_BE, u"UTF-16 BE (1201)", -1, "UTF-16BE", "UTF-16BE");
QG_ROW(Encodage_Europe_Centrale, u"Central European (1250)", 238, "CP1250", "CP1250");
QG_ROW(Encodage_Cyrillique, u"Cyrillic (1251)", 204, "CP1251", "CP1251");
QG_ROW(Encodage_Latin, u"Latin (1252)", 0, "CP1252", "CP1252");
QG_ROW(Encodage_Grec, u"Greek (1253)", 161, "CP1253", "CP1253");
QG_ROW(Encodage_Turc, u"Turkish (1254)", 162, "CP1254", "CP1254");
QG_ROW(Encodage_Hebreu, u"Hebrew (1255)", 177, "CP1255", "CP1255");
QG_ROW(Encodage_Arabe, u"Arabic (1256)", 178, "CP1256", "CP1256");
QG_ROW(Encodage_Balte, u"Baltic (1257)", 186, "CP1257", "CP1257");
QG_ROW(Encodage_Vietnamien, u"Vietnamese (1258)", 163, "CP1258", "CP1258");
QG_ROW(Encodage_Coreen_Johab, u"Korean Johab (1361)", 130, "CP1361", "JOHAB");
QG_ROW(Encodage_UTF_32_LE, u"UTF-32 LE (12000)", -1, "UTF-32LE", "UTF-32LE");
QG_ROW(Encodage_UTF_32_BE, u"UTF-32 BE (12001)", -1, "UTF-32BE", "UTF-32BE");
QG_ROW(Encodage_US_ASCII, u"US-ASCII (20127)", -1, "US-ASCII", "US-ASCII");
QG_ROW(Encodage_Cyrillique_KOI8_R, u"Cyrillic KOI8-R (20866)", -1, "KOI8-R", "KOI8-R");
QG_ROW(Encodage_Japonais_EUC, u"Japanese EUC (20932)", -1, "EUC-JP", "EUC-JP");
QG_ROW(Encodage_Chinois_X_CP20936, u"Chinese x-cp20936 (20936)", -1, "GB2312", "GB2312");
QG_ROW(Encodage_Latin_ISO_8859_1, u"Latin ISO 8859-1 (28591)", -1, "ISO-8859-1", "ISO-8859-1");
QG_ROW(Encodage_Europe_Centrale_ISO_8859_2, u"Central European ISO 8859-2 (28592)", -1,
       "ISO-8859-2", "ISO-8859-2");
QG_ROW(Encodage_Latin_ISO_8859_3, u"Latin ISO 8859-3 (28593)", -1, "ISO-8859-3", "ISO-8859-3");
QG_ROW(Encodage_Balte_ISO_8859_4, u"Baltic ISO 8859-4 (28594)", -1, "ISO-8859-4", "ISO-8859-4");
QG_ROW(Encodage_Cyrillique_ISO_8859_5, u"Cyrillic ISO 8859-5 (28595)", -1, "ISO-8859-5",
       "ISO-8859-5");
QG_ROW(Encodage_Arabe_ISO_8859_6, u"Arabic ISO 8859-6 (28596)", -1, "ISO-8859-6", "ISO-8859-6");
QG_ROW(Encodage_Grec_ISO_8859_7, u"Greek ISO 8859-7 (28597)", -1, "ISO-8859-7", "ISO-8859-7");
QG_ROW(Encodage_Hebreu_ISO_8859_8, u"Hebrew ISO 8859-8 (28598)", -1, "ISO-8859-8", "ISO-8859-8");
QG_ROW(Encodage_Turc_ISO_8859_9, u"Turkish ISO 8859-9 (28599)", -1, "ISO-8859-9", "ISO-8859-9");
QG_ROW(Encodage_Estonian_ISO_8859_13, u"Estonian ISO 8859-13 (28603)", -1, "ISO-8859-13",
       "ISO-8859-13");
QG_ROW(Encodage_Latin_ISO_8859_15, u"LAtin ISO 8859-15 (28605)", -1, "ISO-8859-15",
       "ISO-8859-15");
QG_ROW(Encodage_Japonais_ISO_2022, u"Japanese ISO 2022 (50220)", -1, "ISO-2022-JP",
       "ISO-2022-JP");
QG_ROW(Encodage_Chinois_EUC, u"Chinese EUC (51936)", -1, "EUC-CN", "EUC-CN");
QG_ROW(Encodage_Coreen_EUC, u"Korean EUC (51949)", -1, "EUC-KR", "EUC-KR");
QG_ROW(Encodage_Chinois_GB18030, u"Chinese GB18030 (54936)", -1, "GB18030", "GB18030");
QG_ROW(Encodage_UTF_8, u"UTF-8 (65001)", 65001, "UTF-8", "UTF-8");
QG_ROW(Encodage_Defaut, u"?", -1, "CP1252", "CP1252");

#undef QG_ROW

namespace qg {

const CEncodage* const kEncodages[kEncodageCount + 1] = {
    &Encodage_Systeme_Defaut,
    &Encodage_OEM,
    &Encodage_Latin_OEM,
    &Encodage_Cyrillique_OEM,
    &Encodage_Thai,
    &Encodage_Japonais,
    &Encodage_Chinois_GB2312,
    &Encodage_Coreen_Hangeul,
    &Encodage_Chinois_Big5,
    &Encodage_Latin_EBCDIC,
    &Encodage_UTF_16_LE,
    &Encodage_UTF_16_BE,
    &Encodage_Europe_Centrale,
    &Encodage_Cyrillique,
    &Encodage_Latin,
    &Encodage_Grec,
    &Encodage_Turc,
    &Encodage_Hebreu,
    &Encodage_Arabe,
    &Encodage_Balte,
    &Encodage_Vietnamien,
    &Encodage_Coreen_Johab,
    &Encodage_UTF_32_LE,
    &Encodage_UTF_32_BE,
    &Encodage_US_ASCII,
    &Encodage_Cyrillique_KOI8_R,
    &Encodage_Japonais_EUC,
    &Encodage_Chinois_X_CP20936,
    &Encodage_Latin_ISO_8859_1,
    &Encodage_Europe_Centrale_ISO_8859_2,
    &Encodage_Latin_ISO_8859_3,
    &Encodage_Balte_ISO_8859_4,
    &Encodage_Cyrillique_ISO_8859_5,
    &Encodage_Arabe_ISO_8859_6,
    &Encodage_Grec_ISO_8859_7,
    &Encodage_Hebreu_ISO_8859_8,
    &Encodage_Turc_ISO_8859_9,
    &Encodage_Estonian_ISO_8859_13,
    &Encodage_Latin_ISO_8859_15,
    &Encodage_Japonais_ISO_2022,
    &Encodage_Chinois_EUC,
    &Encodage_Coreen_EUC,
    &Encodage_Chinois_GB18030,
    &Encodage_UTF_8,
    &Encodage_Defaut,
};

int32_t EncodageCodePage(const CEncodage& row) {
  const char16_t* open = nullptr;
  for (const char16_t* p = row.pszLibelle; *p != 0; ++p) {
    if (*p == u'(') open = p;
  }
  if (open == nullptr) return -1;
  int32_t value = 0;
  const char16_t* p = open + 1;
  if (*p < u'0' || *p > u'9') return -1;
  for (; *p >= u'0' && *p <= u'9'; ++p) value = value * 10 + (*p - u'0');
  return *p == u')' ? value : -1;
}

const CEncodage* FindEncodageByCodePage(uint32_t code_page) {
  for (size_t i = 0; i < kEncodageCount; ++i) {
    if (EncodageCodePage(*kEncodages[i]) == static_cast<int64_t>(code_page)) {
      return kEncodages[i];
    }
  }
  return nullptr;
}

}  // namespace qg
