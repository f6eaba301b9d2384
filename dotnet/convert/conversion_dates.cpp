// Date and time texts, date-times and durations in the conversion engine.
// The calendar, the date-time's text forms and the duration's text form
// are those of dotnet/convert/datetime.h.
#include <cmath>

#include "dotnet/convert/conversion_common.h"
#include "dotnet/convert/datetime.h"

namespace qg {

namespace {

constexpr int32_t kJourLimite = 2994990;  // first day number that is never a date
constexpr double k2p63 = 9223372036854775808.0;

// One unit of a text of either width, read as UTF-16 (8-bit as 1252 would
// give for digits and punctuation: zero-extended).
char16_t Unite(const VueTexte& v, int i) {
  if (i < 0 || i >= v.n) return 0;
  return v.bLarge() ? v.psz16[i] : static_cast<char16_t>(static_cast<unsigned char>(v.psz8[i]));
}

// The decimal value of nLongueur units from nPosition, never reading past
// the text: blanks, a sign, then digits up to the first other unit. When
// the text ends inside the slice: 0, or with bComplete (and nPosition
// inside the text) the value times 10 per missing unit.
int Champ(const VueTexte& v, int nPosition, int nLongueur, bool bComplete) {
  if (v.n <= 0 || nPosition < 0 || nLongueur <= 0) return 0;
  int nManque = 0;
  if (v.n < nPosition + nLongueur) {
    if (!bComplete || nPosition >= v.n) return 0;
    nManque = nPosition + nLongueur - v.n;
    nLongueur = v.n - nPosition;
  }
  int i = nPosition;
  const int nFin = nPosition + nLongueur;
  while (i < nFin && (Unite(v, i) == u' ' || Unite(v, i) == u'\t')) ++i;
  bool bNegatif = false;
  if (i < nFin && (Unite(v, i) == u'+' || Unite(v, i) == u'-')) bNegatif = Unite(v, i++) == u'-';
  int64_t n = 0;
  for (; i < nFin && Unite(v, i) >= u'0' && Unite(v, i) <= u'9'; ++i) n = n * 10 + (Unite(v, i) - u'0');
  for (int k = 0; k < nManque; ++k) n *= 10;
  return static_cast<int>(bNegatif ? -n : n);
}

// A BIN value read as 8-bit text of its byte count or UTF-16 text of half.
VueTexte VueBinaire(const void* pSource, bool bLarge) {
  const CXYString<char>& s = Dyn<char>(pSource);
  VueTexte v;
  if (bLarge) {
    v.psz16 = reinterpret_cast<const char16_t*>(s.pGetData());
    v.n = s.nGetByteLength() / 2;
  } else {
    v.psz8 = s.pszGet();
    v.n = s.nGetByteLength();
  }
  return v;
}

// Writes at most nMax units of a text into a date or time destination, in
// the destination's width, and terminates.
void EcritTexteDate(void* pDestination, int d, const char16_t* p, int n) {
  const int nMax = bEstDateAouW(d) ? 8 : 9;
  if (n > nMax) n = nMax;
  if (d == kConvDATEW || d == kConvTIMEW) {
    auto* q = static_cast<char16_t*>(pDestination);
    for (int i = 0; i < n; ++i) q[i] = p[i];
    q[n] = 0;
  } else {
    auto* q = static_cast<char*>(pDestination);
    for (int i = 0; i < n; ++i) q[i] = static_cast<char>(p[i]);
    q[n] = 0;
  }
}

// A text into a date or time text: ISO separators dropped, then the first
// 8 (date) or 9 (time) units; nothing is validated.
int nTexteVersTexteDate(const VueTexte& v, void* pDestination, int d) {
  char16_t a[12];
  int n = 0;
  const bool bDate = bEstDateAouW(d);
  if (v.n == 10 && Unite(v, 4) == u'-' && Unite(v, 7) == u'-') {
    for (int i = 0; i < 10; ++i) {
      if (i != 4 && i != 7) a[n++] = Unite(v, i);
    }
  } else if (!bDate && v.n == 5 && Unite(v, 2) == u':') {
    a[n++] = Unite(v, 0), a[n++] = Unite(v, 1), a[n++] = Unite(v, 3), a[n++] = Unite(v, 4);
  } else if (!bDate && v.n >= 8 && Unite(v, 2) == u':' && Unite(v, 5) == u':' &&
             (v.n == 8 || (v.n >= 10 && Unite(v, 8) == u'.'))) {
    const int aiPos[6] = {0, 1, 3, 4, 6, 7};
    for (int i : aiPos) a[n++] = Unite(v, i);
    for (int i = 9; i < v.n && i < 12 && Unite(v, i) >= u'0' && Unite(v, i) <= u'9'; ++i) {
      a[n++] = Unite(v, i);
    }
  } else {
    const int nMax = bDate ? 8 : 9;
    for (int i = 0; i < v.n && i < nMax; ++i) a[n++] = Unite(v, i);
  }
  EcritTexteDate(pDestination, d, a, n);
  return kConvOk;
}

template <typename C>
void EcritTexteDateDepuis(const CDateTimeBase& dt, void* pDestination, int d) {
  C* p = static_cast<C*>(pDestination);
  if (bEstDateAouW(d)) {
    dt.EcritDate(p, 8);
  } else {
    dt.EcritHeure(p, 9);
  }
}

void EcritDateTime(void* pDestination, int d, const CDateTimeBase& dt) {
  if (d == kConvDATEW || d == kConvTIMEW) {
    EcritTexteDateDepuis<char16_t>(dt, pDestination, d);
  } else {
    EcritTexteDateDepuis<char>(dt, pDestination, d);
  }
}

int nEntierVersTexteDate(int32_t n, void* pDestination, int d) {
  CDateTimeBase dt;
  if (bEstDateAouW(d)) {
    int j = 0, m = 0, a = 0;
    if (n >= kJourLimite || !bJourVersDate(n, &j, &m, &a)) return kConvDateInvalide;
    dt.m_byJour = static_cast<uint8_t>(j);
    dt.m_byMois = static_cast<uint8_t>(m);
    dt.m_wAnnee = static_cast<uint16_t>(a);
  } else {
    if (n < 0) return kConvHeureNegative;
    const int nHeures = (n / 360000) % 24;
    const int nMinutes = (n / 6000) % 60;
    const int nSecondes = (n / 100) % 60;
    const int nCentiemes = n % 100;
    dt.m_nTemps = static_cast<uint32_t>(nHeures * 3600000 + nMinutes * 60000 + nSecondes * 1000 +
                                        nCentiemes * 10);
  }
  EcritDateTime(pDestination, d, dt);
  return kConvOk;
}

bool bFinFraction(char16_t c) {
  return c == 0 || c == u'+' || c == u'-' || c == u'Z' || c == 0xFF0B || c == 0xFF0D;
}

// The compact form YYYYMMDD[HHMMSS[mmm]].
void LitCompact(const VueTexte& v, CDateTimeBase* pdt) {
  pdt->m_wAnnee = static_cast<uint16_t>(Champ(v, 0, 4, false));
  pdt->m_byMois = static_cast<uint8_t>(Champ(v, 4, 2, false));
  pdt->m_byJour = static_cast<uint8_t>(Champ(v, 6, 2, false));
  if (v.n > 8) {
    pdt->m_nTemps = static_cast<uint32_t>(Champ(v, 8, 2, false) * 3600000 +
                                          Champ(v, 10, 2, false) * 60000 +
                                          Champ(v, 12, 2, false) * 1000 + Champ(v, 14, 3, true));
  }
}

}  // namespace

// The ISO form YYYY-MM-DD[(T| )HH:MM:SS[.f{1,3}]] (full-width dash, colon
// and stops accepted; a zone suffix ends the fraction and is not read), or
// the compact form. Fields are not validated.
void DateHeureDepuisISO(const VueTexte& v, CDateTimeBase* pdt) {
  pdt->InitDate();
  auto bTiret = [](char16_t c) { return c == u'-' || c == 0xFF0D; };
  auto bDeuxPoints = [](char16_t c) { return c == u':' || c == 0xFF1A; };
  if (v.n >= 10 && bTiret(Unite(v, 4)) && bTiret(Unite(v, 7))) {
    pdt->m_wAnnee = static_cast<uint16_t>(Champ(v, 0, 4, false));
    pdt->m_byMois = static_cast<uint8_t>(Champ(v, 5, 2, false));
    pdt->m_byJour = static_cast<uint8_t>(Champ(v, 8, 2, false));
    if (v.n == 10) return;
    const char16_t c = Unite(v, 10);
    if ((c == u'T' || c == u' ') && v.n >= 19 && bDeuxPoints(Unite(v, 13)) &&
        bDeuxPoints(Unite(v, 16))) {
      int nMilli = 0;
      const char16_t p = Unite(v, 19);
      if (p == u'.' || p == 0xFF0E || p == 0x3002) {
        if (bFinFraction(Unite(v, 21))) {
          nMilli = Champ(v, 20, 1, false) * 100;
        } else if (bFinFraction(Unite(v, 22))) {
          nMilli = Champ(v, 20, 2, false) * 10;
        } else if (bFinFraction(Unite(v, 23))) {
          nMilli = Champ(v, 20, 3, false);
        }
      }
      pdt->m_nTemps = static_cast<uint32_t>(Champ(v, 11, 2, false) * 3600000 +
                                            Champ(v, 14, 2, false) * 60000 +
                                            Champ(v, 17, 2, false) * 1000 + nMilli);
      return;
    }
    pdt->InitDate();
  }
  LitCompact(v, pdt);
}

int nDateTexteVersEntier(const VueTexte& v, int32_t* pn) {
  const int a = Champ(v, 0, 4, false);
  const int m = Champ(v, 4, 2, false);
  const int j = Champ(v, 6, 2, false);
  int32_t n = 0;
  if (!bDateVersJour(j, m, a, &n, true)) return kConvDateInvalide;
  *pn = n;
  return kConvOk;
}

int32_t nHeureTexteVersEntier(const VueTexte& v) {
  return Champ(v, 0, 2, false) * 360000 + Champ(v, 2, 2, false) * 6000 +
         Champ(v, 4, 2, false) * 100 + Champ(v, 6, 2, true);
}

namespace {

int nVersDateTime(const void* pSource, int s, void* pDestination, const ContexteConversion& ctx) {
  CDateTimeBase dt;
  switch (s) {
    case kConvI4:
      if (Lit<int32_t>(pSource) != 0) return kConvNonSupporte;
      break;  // the empty date-time
    case kConvDATETIME:
      dt = Lit<CDateTimeBase>(pSource);
      break;
    case kConvDATEA: case kConvDATEW: case kConvTIMEA: case kConvTIMEW: {
      if (ctx.nOptions & CONVERSION_GARDE_DATEHEURE) {
        dt = Lit<CDateTimeBase>(pDestination);
      } else {
        dt.InitMaintenant();
      }
      VueTexte v;
      bVueTexte(pSource, s, &v);
      if (bEstDateAouW(s)) {
        dt.m_wAnnee = static_cast<uint16_t>(Champ(v, 0, 4, false));
        dt.m_byMois = static_cast<uint8_t>(Champ(v, 4, 2, false));
        dt.m_byJour = static_cast<uint8_t>(Champ(v, 6, 2, false));
      } else {
        dt.m_nTemps = static_cast<uint32_t>(Champ(v, 0, 2, false) * 3600000 +
                                            Champ(v, 2, 2, false) * 60000 +
                                            Champ(v, 4, 2, false) * 1000 + Champ(v, 6, 3, true));
      }
      break;
    }
    case kConvBIN:
      dt.LitDateHeure(Dyn<char>(pSource));
      break;
    default: {
      VueTexte v;
      bVueTexte(pSource, s, &v);
      if (v.bLarge()) {
        DateHeureDepuisISO(v, &dt);
        break;
      }
      CTexte1252 t(v.psz8, v.n);
      if (t.p() == nullptr) return kConvMemoire;
      VueTexte w;
      w.psz16 = t.p();
      w.n = t.n();
      DateHeureDepuisISO(w, &dt);
      break;
    }
  }
  Ecrit<CDateTimeBase>(pDestination, dt);
  return kConvOk;
}

int nVersTexteDate(const void* pSource, int s, void* pDestination, int d) {
  if (s == kConvI4) return nEntierVersTexteDate(Lit<int32_t>(pSource), pDestination, d);
  if (s == kConvDATETIME) {
    EcritDateTime(pDestination, d, Lit<CDateTimeBase>(pSource));
    return kConvOk;
  }
  VueTexte v;
  if (s == kConvBIN) {
    v = VueBinaire(pSource, d == kConvDATEW || d == kConvTIMEW);
  } else {
    bVueTexte(pSource, s, &v);
  }
  return nTexteVersTexteDate(v, pDestination, d);
}

int nVersDuree(const void* pSource, int s, void* pDestination) {
  int64_t n = 0;
  switch (s) {
    case kConvUI4: n = Lit<uint32_t>(pSource); break;
    case kConvI4: n = Lit<int32_t>(pSource); break;
    case kConvUIX: n = LitUIX(pSource); break;
    case kConvI8: case kConvUI8: case kConvDUREE: n = Lit<int64_t>(pSource); break;
    case kConvR4: case kConvR8: {
      const double r = s == kConvR4 ? Lit<float>(pSource) : Lit<double>(pSource);
      // Bounds first: NaN and values beyond 64 bits give 0.
      if (!(r >= -k2p63 && r < k2p63)) {
        Ecrit<int64_t>(pDestination, 0);
        return kConvPerte;
      }
      n = static_cast<int64_t>(std::trunc(r));
      break;
    }
    case kConvBIN: {
      CDuree du;
      int st = du.nLitDuree(Dyn<char>(pSource));
      Ecrit<int64_t>(pDestination, du.m_nTotal);
      return st;
    }
    default: {
      VueTexte v;
      bVueTexte(pSource, s, &v);
      CDuree du;
      int st;
      if (v.bLarge()) {
        st = du.nLitDuree(v.psz16, v.n);
      } else {
        CTexte1252 t(v.psz8, v.n);
        if (t.p() == nullptr) return kConvMemoire;
        st = du.nLitDuree(t.p(), t.n());
      }
      if (st >= kConvMemoire) return st;
      Ecrit<int64_t>(pDestination, du.m_nTotal);
      return st;
    }
  }
  Ecrit<int64_t>(pDestination, n);
  return kConvOk;
}

}  // namespace

int nConvertitDate(const void* pSource, int s, void* pDestination, int d,
                   const ContexteConversion& ctx) {
  if (d == kConvDATETIME) return nVersDateTime(pSource, s, pDestination, ctx);
  if (bEstTexteDate(d)) return nVersTexteDate(pSource, s, pDestination, d);
  if (d == kConvDUREE) return nVersDuree(pSource, s, pDestination);
  if (s == kConvDATETIME) {
    const CDateTimeBase dt = Lit<CDateTimeBase>(pSource);
    if (d == kConvBIN) return dt.EcritDateHeure(Dyn<char>(pDestination));
    char a[18];
    dt.EcritDateHeure(a, 17);
    if (d == kConvDSTRA || d == kConvPSTRA) return nEcritTexte(pDestination, d, nullptr, a, 17, 0);
    char16_t aw[18];
    dt.EcritDateHeure(aw, 17);
    return nEcritTexte(pDestination, d, aw, nullptr, 17, 0);
  }
  if (s == kConvDUREE) {
    CDuree du;
    du.m_nTotal = Lit<int64_t>(pSource);
    if (d == kConvBIN) return du.EcritDuree(Dyn<char>(pDestination));
    if (d == kConvR4) {
      Ecrit<float>(pDestination, static_cast<float>(du.m_nTotal));
      return kConvOk;
    }
    if (d == kConvR8) {
      Ecrit<double>(pDestination, static_cast<double>(du.m_nTotal));
      return kConvOk;
    }
    if (bEstNombre(d)) return nEcritEntierSigne(pDestination, d, du.m_nTotal);
    char a[CDuree::kTailleTexte + 1];
    const int n = du.EcritDuree(a);
    if (d == kConvDSTRA || d == kConvPSTRA) return nEcritTexte(pDestination, d, nullptr, a, n, 0);
    char16_t aw[CDuree::kTailleTexte + 1];
    for (int i = 0; i <= n; ++i) aw[i] = static_cast<unsigned char>(a[i]);
    return nEcritTexte(pDestination, d, aw, nullptr, n, 0);
  }
  // A date or time text into an integer: the I4 narrowing rule.
  VueTexte v;
  bVueTexte(pSource, s, &v);
  int32_t n = 0;
  if (bEstDateAouW(s)) {
    int st = nDateTexteVersEntier(v, &n);
    if (st != kConvOk) return st;
  } else {
    n = nHeureTexteVersEntier(v);
  }
  return nEcritEntierSigne(pDestination, d, n);
}

}  // namespace qg
