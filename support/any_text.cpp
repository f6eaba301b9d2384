// Date and time texts of CAny values, and the display text used by journals.
#include <algorithm>
#include <cstring>
#include <string>
#include <type_traits>

#include "support/any.h"
#include "support/any_holders.h"
#include "support/frame/execution_protocol.h"
#include "support/frame/module_frame.h"
#include "support/frame/module_services.h"
#include "support/platform/codepage.h"
#include "support/platform/text16.h"

namespace {

template <typename C>
size_t Len(const C* text) {
  if (text == nullptr) return 0;
  if constexpr (std::is_same_v<C, char16_t>) {
    return qg::StrLen16(text);
  } else {
    return std::strlen(text);
  }
}

// "yyyy-mm-dd" gives its eight digits; any other text is cut to 8.
template <typename C>
std::basic_string<C> TexteDate(const C* text) {
  size_t n = Len(text);
  if (n == 10 && text[4] == '-' && text[7] == '-') {
    std::basic_string<C> out(text, 4);
    out.append(text + 5, 2);
    out.append(text + 8, 2);
    return out;
  }
  if (n == 0) return std::basic_string<C>();
  return std::basic_string<C>(text, std::min<size_t>(n, 8));
}

bool Chiffre(char16_t c) { return c >= '0' && c <= '9'; }

// "hh:mm", "hh:mm:ss" and "hh:mm:ss.mmm" give their digits; any other text
// is taken as it is. The result is cut to 9 digits and padded with '0'.
template <typename C>
std::basic_string<C> TexteHeure(const C* text) {
  size_t n = Len(text);
  std::basic_string<C> out;
  if (n == 5 && text[2] == ':') {
    out = {text[0], text[1], text[3], text[4]};
  } else if (n == 8 && text[2] == ':' && text[5] == ':') {
    out = {text[0], text[1], text[3], text[4], text[6], text[7]};
  } else if (n >= 10 && text[2] == ':' && text[5] == ':' && text[8] == '.') {
    out = {text[0], text[1], text[3], text[4], text[6], text[7]};
    for (size_t i = 9; i < n && i < 12 && Chiffre(static_cast<char16_t>(text[i])); ++i) {
      out.push_back(text[i]);
    }
  } else if (n > 0) {
    out.assign(text, n);
  }
  if (out.size() > 9) out.resize(9);
  while (out.size() < 9) out.push_back(static_cast<C>('0'));
  return out;
}

template <typename C>
void SetChiffres(CAny* any, int code, const std::basic_string<C>& digits) {
  any->SetType(code);
  CAny_Intern* h = any->pclHolder();
  h->vnSetDepuis(digits.data(), static_cast<int>(digits.size() * sizeof(C)));
  h->m_wType &= qg::kAnySetterMask;
}

// --- display text ---------------------------------------------------------------

constexpr int32_t kMsgVrai = 25223;
constexpr int32_t kMsgFaux = 25209;
constexpr int32_t kMsgCode4 = 25206;
constexpr int32_t kMsgTab = 25221;
constexpr int32_t kMsgEsc = 25208;
constexpr int32_t kMsgCrLf = 25220;
constexpr int32_t kMsgEspaceInsecable = 25944;
constexpr char16_t kEspaceInsecable = 0x00A0;
// The rendered text stays within this many bytes.
constexpr size_t kRenduOctetsMax = 98;
// DSTRA and BIN show at most this many bytes.
constexpr int kOctetsMax = 100;

// The text of a numbered message, fetched afresh (host first, then the
// module's catalogue); empty when neither has it.
std::u16string TexteMessage(int32_t number) {
  char16_t buffer[256] = {};
  qg::MessageTextRequest request{};
  request.nSize = sizeof(request);
  request.nNumber = number;
  request.pszBuffer = buffer;
  request.nCapacity = 256;
  intptr_t n = qg::FrameCommandeComposante(qg::kCmdMessageText, reinterpret_cast<intptr_t>(&request));
  if (n <= 0) return std::u16string();
  buffer[255] = 0;
  return std::u16string(buffer, qg::StrNLen16(buffer, 255));
}

std::u16string Nombre(unsigned v) {
  std::u16string out;
  do {
    out.insert(out.begin(), static_cast<char16_t>(u'0' + v % 10));
    v /= 10;
  } while (v != 0);
  return out;
}

// "<" name ">", the name being a message text or, when the module has none,
// the character's number.
std::u16string Nom(int32_t message, char16_t c) {
  std::u16string name = TexteMessage(message);
  if (name.empty()) name = Nombre(c);
  return u"<" + name + u">";
}

// Renders control characters and U+00A0 by name; stops (cut) before a
// character whose rendering would pass kRenduOctetsMax bytes.
std::u16string Rendu(const std::u16string& text, bool* cut) {
  std::u16string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    std::u16string morceau;
    size_t consumed = 1;
    if (c == 13 && i + 1 < text.size() && text[i + 1] == 10) {
      morceau = Nom(kMsgCrLf, c);
      consumed = 2;
    } else if (c == 4) {
      morceau = Nom(kMsgCode4, c);
    } else if (c == 9) {
      morceau = Nom(kMsgTab, c);
    } else if (c == 27) {
      morceau = Nom(kMsgEsc, c);
    } else if (c < 32) {
      morceau = u"<" + Nombre(c) + u">";
    } else if (c == kEspaceInsecable) {
      morceau = Nom(kMsgEspaceInsecable, c);
    } else {
      morceau.assign(1, c);
    }
    if ((out.size() + morceau.size()) * sizeof(char16_t) > kRenduOctetsMax) {
      *cut = true;
      break;
    }
    out += morceau;
    i += consumed - 1;
  }
  return out;
}

// U+00A0 every three digits of the leading run of digits (after a sign),
// counted back from its end; nothing for an exponent form.
void Groupe(std::u16string* text) {
  for (char16_t c : *text) {
    if (c == u'e' || c == u'E') return;
  }
  size_t start = (!text->empty() && ((*text)[0] == u'-' || (*text)[0] == u'+')) ? 1 : 0;
  size_t end = start;
  while (end < text->size() && Chiffre((*text)[end])) ++end;
  for (size_t pos = end; pos > start + 3; pos -= 3) text->insert(pos - 3, 1, kEspaceInsecable);
}

bool EstTexte(int code) {
  return (code >= 16 && code <= 23) || code == 81 || code == 110 || code == 134;
}

}  // namespace

void CAny::SetDATEW(const char16_t* text) { SetChiffres(this, qg::kAnyDATEW, TexteDate(text)); }
void CAny::SetDATEA(const char* text) { SetChiffres(this, qg::kAnyDATEA, TexteDate(text)); }
void CAny::SetTIMEW(const char16_t* text) { SetChiffres(this, qg::kAnyTIMEW, TexteHeure(text)); }
void CAny::SetTIMEA(const char* text) { SetChiffres(this, qg::kAnyTIMEA, TexteHeure(text)); }

int CAny::nTexteAffichage(CXYString<char16_t>* out) const {
  const int code = nGetCode();
  const bool null = bEstNull();
  std::u16string text;
  bool cut = false;
  if (code == qg::kAnyBOOL) {
    int32_t v = 0;
    if (!null) nGetBOOL(&v);
    text = TexteMessage(v != 0 ? kMsgVrai : kMsgFaux);
    if (text.empty()) text = v != 0 ? u"1" : u"0";
    int status = out->nAffecteLongueur(text.data(), static_cast<int>(text.size()));
    return status >= qg::kHostErrorFirst ? status : qg::kAnyDisplayWhole;
  }
  if (null) {
    int status = out->nAffecte(u"Null");
    return status >= qg::kHostErrorFirst ? status : qg::kAnyDisplayWhole;
  }
  if (code == qg::kAnyDSTRW) {
    const char16_t* t = nullptr;
    nGetPCXSTR(&t);
    text = Rendu(t, &cut);
  } else if (code == qg::kAnyDSTRA || code == qg::kAnyBIN) {
    int size = 0;
    const void* data = nullptr;
    pclHolder()->vnGetTailleSansFin(&size);
    pclHolder()->vnGetTexte(&data);
    if (size > kOctetsMax) {
      size = kOctetsMax;
      cut = true;
    }
    std::u16string wide;
    if (size > 0) {
      const uint32_t cpu = qg::ResolveCodePage(0);
      qg::CodePageToUtf16(cpu, static_cast<const char*>(data), size, &wide);
    }
    text = Rendu(wide, &cut);
  } else if (code != qg::kAnyEmpty) {
    CXYString<char16_t> value;
    int status = nGetTexte(&value);
    if (status >= qg::kHostErrorFirst) return status;
    text.assign(value.pszGet(), static_cast<size_t>(value.nTaille()));
    if (code == qg::kAnyUI4 || code == qg::kAnyUI8 || code == qg::kAnyI4 || code == qg::kAnyI8 ||
        (code >= qg::kAnyCY && code <= qg::kAnyDECIMAL)) {
      Groupe(&text);
    }
  }
  if (EstTexte(code)) text = u"\"" + text + u"\"";
  int status = out->nAffecteLongueur(text.data(), static_cast<int>(text.size()));
  if (status >= qg::kHostErrorFirst) return status;
  return cut ? qg::kAnyDisplayCut : qg::kAnyDisplayWhole;
}
