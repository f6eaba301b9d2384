#include "dotnet/convert/normalise_nombre.h"

#include <string>

namespace {

constexpr size_t kTailleTravail = 80;   // characters of the work copy
constexpr size_t kMaxDeveloppe = 50;    // characters an expansion may produce

bool EstChiffre(char16_t c) { return c >= u'0' && c <= u'9'; }
bool EstSeparateur(char16_t c) { return c == u'.' || c == u','; }

void SupprimeEspaces(std::u16string& s) {
  const size_t nDebut = s.find_first_not_of(u' ');
  if (nDebut == std::u16string::npos) {
    s.clear();
    return;
  }
  s.erase(0, nDebut);
  s.erase(s.find_last_not_of(u' ') + 1);
}

void SupprimeCaractere(std::u16string& s, size_t nPos) { s.erase(nPos, 1); }
void InsereCaractere(std::u16string& s, size_t nPos, char16_t c) { s.insert(nPos < s.size() ? nPos : s.size(), 1, c); }

// First digit of the number (after a sign).
size_t DebutChiffres(const std::u16string& s) { return (!s.empty() && s[0] == u'-') ? 1 : 0; }

// Adds one to the decimal digits ending before nPos, carrying leftwards over
// non-digits; a carry out of the first digit inserts '1' in front of it.
void IncrementeChiffres(std::u16string& s, size_t nPos) {
  size_t i = nPos;
  size_t nPremier = std::u16string::npos;
  while (i > 0) {
    --i;
    if (!EstChiffre(s[i])) continue;
    nPremier = i;
    if (s[i] != u'9') {
      ++s[i];
      return;
    }
    s[i] = u'0';
  }
  if (nPremier == std::u16string::npos) nPremier = DebutChiffres(s);
  InsereCaractere(s, nPremier, u'1');
}

void Remplit(std::u16string& s, size_t nPos, size_t n, char16_t c) { s.insert(nPos, n, c); }

size_t PositionSeparateur(const std::u16string& s) {
  for (size_t i = 0; i < s.size(); ++i) {
    if (EstSeparateur(s[i])) return i;
  }
  return std::u16string::npos;
}

int ValeurExposant(const std::u16string& sExposant) {
  size_t i = 1;  // past the letter
  bool bNegatif = false;
  if (i < sExposant.size() && (sExposant[i] == u'+' || sExposant[i] == u'-')) bNegatif = sExposant[i++] == u'-';
  int n = 0;
  for (; i < sExposant.size() && EstChiffre(sExposant[i]); ++i) {
    if (n < 100000) n = n * 10 + (sExposant[i] - u'0');
  }
  return bNegatif ? -n : n;
}

// Moves the decimal separator by nExposant places; false when the result
// would take more than kMaxDeveloppe characters (s is then unchanged).
bool DeveloppeExposant(std::u16string& s, int nExposant) {
  std::u16string t = s;
  const size_t nDebut = DebutChiffres(t);
  size_t nPos = PositionSeparateur(t);
  if (nPos == std::u16string::npos) {
    nPos = nDebut;
    while (nPos < t.size() && EstChiffre(t[nPos])) ++nPos;
  } else {
    SupprimeCaractere(t, nPos);
  }
  for (; nExposant > 0; --nExposant) {
    ++nPos;
    if (nPos > t.size()) t.push_back(u'0');
    if (t.size() > kMaxDeveloppe) return false;
  }
  for (; nExposant < 0; ++nExposant) {
    if (nPos > nDebut) {
      --nPos;
    } else {
      InsereCaractere(t, nDebut, u'0');
    }
    if (t.size() > kMaxDeveloppe) return false;
  }
  if (nPos == nDebut) {
    InsereCaractere(t, nDebut, u'0');
    ++nPos;
  }
  if (nPos < t.size()) InsereCaractere(t, nPos, u'.');
  if (t.size() > kMaxDeveloppe) return false;
  s = t;
  return true;
}

// Keeps nChiffres digits from the first non-zero one; the next digit rounds
// and every later digit becomes '0'.
void GardeChiffresSignificatifs(std::u16string& s, int nChiffres) {
  size_t i = 0;
  while (i < s.size() && !(EstChiffre(s[i]) && s[i] != u'0')) ++i;
  int nGardes = 0;
  for (; i < s.size() && nGardes < nChiffres; ++i) {
    if (EstChiffre(s[i])) ++nGardes;
  }
  while (i < s.size() && !EstChiffre(s[i])) ++i;
  if (i >= s.size()) return;
  const bool bArrondit = s[i] >= u'5';
  for (size_t j = i; j < s.size(); ++j) {
    if (EstChiffre(s[j])) s[j] = u'0';
  }
  if (bArrondit) IncrementeChiffres(s, i);
}

void AppliqueDecimales(std::u16string& s, int nDecimales) {
  size_t nSep = PositionSeparateur(s);
  if (nDecimales < 0) {
    if (nSep == std::u16string::npos) return;
    while (s.size() > nSep + 1 && s.back() == u'0') s.pop_back();
    if (s.size() == nSep + 1) s.pop_back();
    return;
  }
  if (nSep == std::u16string::npos) {
    if (nDecimales > 0) {
      s.push_back(u'.');
      Remplit(s, s.size(), static_cast<size_t>(nDecimales), u'0');
    }
    return;
  }
  const size_t nFin = nSep + 1 + static_cast<size_t>(nDecimales);
  if (s.size() > nFin) {
    const bool bArrondit = EstChiffre(s[nFin]) && s[nFin] >= u'5';
    s.erase(nFin);
    if (bArrondit) IncrementeChiffres(s, s.size());
  } else {
    Remplit(s, s.size(), nFin - s.size(), u'0');
  }
  nSep = PositionSeparateur(s);
  if (nSep != std::u16string::npos && nSep + 1 == s.size()) s.pop_back();
}

bool SeulementZeros(const std::u16string& s) {
  for (char16_t c : s) {
    if (EstChiffre(c) && c != u'0') return false;
  }
  return true;
}

// false when padding would pass nMax characters.
bool Edite(std::u16string& s, size_t nMax, int nLargeur, int nDecimales, int nChiffres, int nCadrage,
           bool bDeveloppeExposant, bool bSupprimeZeros) {
  std::u16string sExposant;
  const size_t nE = s.find_first_of(u"Ee");
  if (nE != std::u16string::npos) {
    sExposant = s.substr(nE);
    sExposant[0] = u'e';
    s.erase(nE);
  }
  if (!s.empty() && s[0] == u'+') SupprimeCaractere(s, 0);

  if (!sExposant.empty() && bDeveloppeExposant) {
    if (DeveloppeExposant(s, ValeurExposant(sExposant))) {
      sExposant.clear();
      if (nLargeur >= 0 && s.size() > static_cast<size_t>(nLargeur)) s = u"*E*";
    }
  }
  if (s != u"*E*") {
    if (nChiffres > 0) GardeChiffresSignificatifs(s, nChiffres);
    AppliqueDecimales(s, nDecimales);
    if (!s.empty() && s[0] == u'-' && SeulementZeros(s)) SupprimeCaractere(s, 0);
    // Only the fraction loses its zeros, never the exponent.
    if (bSupprimeZeros && PositionSeparateur(s) != std::u16string::npos && s.find(u'.') != std::u16string::npos) {
      AppliqueDecimales(s, -1);
    }
    s += sExposant;
    if (nLargeur >= 0 && s.size() > static_cast<size_t>(nLargeur)) {
      s = u"*E*";
    } else if (nLargeur >= 0) {
      if (static_cast<size_t>(nLargeur) > nMax && (nCadrage == 0 || nCadrage == 1)) return false;
      const size_t nManque = static_cast<size_t>(nLargeur) - s.size();
      if (nCadrage == 1) Remplit(s, s.size(), nManque, u' ');
      if (nCadrage == 0) Remplit(s, 0, nManque, u' ');
    }
  }
  return true;
}

}  // namespace

bool NormaliseNombre(char16_t* psz, int nCapacite, int nLargeur, int nDecimales, int nChiffres,
                     int nCadrage, bool bDeveloppeExposant, bool bSupprimeZeros) {
  if (psz == nullptr || nCapacite <= 0) return false;
  if (nDecimales >= nCapacite) return false;  // could never fit
  size_t nLongueur = 0;
  while (psz[nLongueur] != 0) {
    if (++nLongueur > kTailleTravail) return false;
  }
  std::u16string s(psz, nLongueur);
  SupprimeEspaces(s);
  bool bChiffre = false;
  for (char16_t c : s) bChiffre |= EstChiffre(c);
  // Texts without digits ("inf", "nan") are only trimmed.
  const size_t nMax = static_cast<size_t>(nCapacite) - 1;
  if (bChiffre && !Edite(s, nMax, nLargeur, nDecimales, nChiffres, nCadrage, bDeveloppeExposant, bSupprimeZeros)) {
    return false;
  }
  if (s.size() + 1 > static_cast<size_t>(nCapacite)) return false;
  s.copy(psz, s.size());
  psz[s.size()] = 0;
  return true;
}
