#include "testrunner/journal/journal_file.h"

#include <cstdio>
#include <iterator>
#include <vector>

#include "support/platform/clock.h"
#include "support/platform/text16.h"
#include "support/streams/disk_file.h"
#include "support/streams/file_functions.h"
#include "support/streams/path_functions.h"
#include "support/text_encoders.h"

namespace {

struct Element {
  int32_t code;
  const char16_t* name;
  bool container;
  bool timed;
};

constexpr Element kElements[] = {
    {0, u"Info", true, false},
    {1, u"Erreur", true, false},
    {10000, u"Liste", true, true},
    {10001, u"Groupe", true, true},
    {10002, u"Test", true, true},
    {10003, u"Nom", false, false},
    {10004, u"Tic", false, false},
    {10005, u"Tac", false, false},
    {10006, u"Machine", false, false},
    {10007, u"OS", false, false},
    {10008, u"Position", true, false},
    {10009, u"Libelle", false, false},
    {10010, u"IdTrt", false, false},
    {10011, u"IdObjet", false, false},
    {10012, u"NomObjet", false, false},
    {10013, u"Ligne", false, false},
    {10014, u"IdFichier", false, false},
    {10015, u"NomGroupe", false, false},
    {10016, u"NomListe", false, false},
    {10017, u"Jeu", true, false},
    {10018, u"Param", true, false},
    {10019, u"Nom", false, false},
    {10020, u"Valeur", false, false},
    {10021, u"Num", false, false},
    {10022, u"Configuration", true, true},
    {10023, u"IdConfiguration", false, false},
    {10024, u"IdPlateforme", false, false},
    {10025, u"Orientation", false, false},
    {10026, u"ListeID", false, false},
    {10027, u"GroupeID", false, false},
    {10028, u"TestID", false, false},
    {10029, u"TestCRC", false, false},
    {10030, u"InfoPassage", true, false},
    {10031, u"Date", false, false},
    {10032, u"QWIDConfiguration", false, false},
    {10033, u"NomApplication", false, false},
    {10034, u"VersionExe", false, false},
    {10035, u"InfoPlateforme", true, false},
    {10036, u"HASH", false, false},
    {10037, u"Nom", false, false},
    {10038, u"Type", false, false},
    {10039, u"TypeMateriel", false, false},
    {10040, u"Orientation", false, false},
    {10041, u"ImageFenetre", true, false},
    {10042, u"Buffer", false, false},
};

const Element* pElement(int32_t code) {
  if (code == 0 || code == 1) return &kElements[code];
  if (code < 10000 || code > 10042) return nullptr;
  return &kElements[code - 10000 + 2];
}

constexpr char16_t kDebut[] = u"<?xml version=\"1.0\" encoding=\"UTF-16LE\"?>\r\n<DOC>";
constexpr size_t kTamponMax = 32768;  // code units

std::u16string Ascii(const char* s) { return std::u16string(s, s + std::char_traits<char>::length(s)); }

std::u16string Decimal(int64_t v) {
  char b[32];
  std::snprintf(b, sizeof(b), "%lld", static_cast<long long>(v));
  return Ascii(b);
}

std::u16string DecimalNonSigne(uint64_t v) {
  char b[32];
  std::snprintf(b, sizeof(b), "%llu", static_cast<unsigned long long>(v));
  return Ascii(b);
}

}  // namespace

namespace {

// Appends the escaped text to out.
void EchappeDans(std::u16string& out, const char16_t* text) {
  if (text == nullptr) return;
  for (const char16_t* p = text; *p != 0; ++p) {
    const char16_t c = *p;
    switch (c) {
      case u'&': out += u"&amp;"; break;
      case u'<': out += u"&lt;"; break;
      case u'>': out += u"&gt;"; break;
      case u'\'': out += u"&apos;"; break;
      case u'"': out += u"&quot;"; break;
      default: {
        const bool kept = c == 9 || c == 10 || c == 13 || (c >= 32 && c <= 55295) ||
                          (c >= 57344 && c <= 65533);
        out += kept ? c : u' ';
      }
    }
  }
}

}  // namespace

std::u16string EchappeTexteXML(const char16_t* text) {
  std::u16string out;
  EchappeDans(out, text);
  return out;
}

CFichierJournalTest::CFichierJournalTest() = default;

CFichierJournalTest::~CFichierJournalTest() { bFerme(); }

bool CFichierJournalTest::bFerme() {
  if (m_pFichier == nullptr) return false;
  while (!m_tabOuverts.empty()) Ferme(m_tabOuverts.back());
  Ajoute(u"\r\n</DOC>", 8);
  const bool written = bVide();
  m_pFichier->Close();  // drops the lock
  m_pFichier.reset();
  return written;
}

bool CFichierJournalTest::bOuvre(const char16_t* path) {
  // A path of 261 characters or more would be cut: no journal.
  if (m_pFichier != nullptr) return false;
  m_nEchecOuverture = kCheminInvalide;
  if (path == nullptr || *path == 0 || qg::StrLen16(path) > 260) return false;
  m_nEchecOuverture = kCreationImpossible;
  char16_t directory[qg::kPathCapacity + 1];
  if (qg::StrLen16(path) < qg::kPathCapacity) {
    GetPathDirectory(path, directory);
    if (directory[0] != 0) bCreateDirectoryTree(directory);
  }
  // Opened without truncation: another writer's journal is only cut once
  // its lock is ours.
  auto file = std::make_unique<CDiskFile>();
  if (!file->bOpen(path, qg::GENERIC_READ | qg::GENERIC_WRITE, qg::FILE_SHARE_READ, qg::OPEN_ALWAYS,
                   qg::FILE_FLAG_SEQUENTIAL_SCAN, nullptr)) {
    return false;
  }
  if (!file->bLockRangeNoError(0, 1)) {
    m_nEchecOuverture = kDejaEcrit;
    return false;
  }
  // Devices (no size) are written as they are.
  if (file->nGetSize() != 0 && !file->bSetEndOfFile(0, 0)) return false;
  m_pFichier = std::move(file);
  m_nEchecOuverture = kAucunEchec;
  m_bEchec = false;
  m_clTampon.clear();
  m_tabOuverts.clear();
  Ajoute(kDebut, std::char_traits<char16_t>::length(kDebut));
  bVide();
  return true;
}

void CFichierJournalTest::Ajoute(const char16_t* text, size_t n) {
  if (m_pFichier == nullptr || m_bEchec) return;
  m_clTampon.append(text, n);
  if (m_clTampon.size() >= kTamponMax) bVide();
}

bool CFichierJournalTest::bVide() {
  if (m_pFichier == nullptr) return false;
  if (!m_bEchec && !m_clTampon.empty()) {
    // UTF-16 little-endian: the machine's own order.
    const size_t bytes = m_clTampon.size() * sizeof(char16_t);
    uint32_t written = 0;
    if (!m_pFichier->bWrite(m_clTampon.data(), static_cast<uint32_t>(bytes), &written) ||
        written != bytes) {
      m_bEchec = true;
    }
  }
  m_clTampon.clear();
  return !m_bEchec;
}

void CFichierJournalTest::Tick(int32_t code) {
  const std::u16string ticks = Decimal(static_cast<int32_t>(qg::TickCountMs()));
  Ecrit(code, ticks.c_str());
}

void CFichierJournalTest::Ecrit(int32_t code, const char16_t* text) {
  const Element* e = pElement(code);
  if (e == nullptr || m_pFichier == nullptr || m_bEchec) return;
  std::u16string& s = m_clTampon;
  s += u"\r\n<";
  s += e->name;
  s += u'>';
  EchappeDans(s, text);
  if (!e->container) {
    s += u"</";
    s += e->name;
    s += u'>';
  } else {
    m_tabOuverts.push_back(code);
  }
  if (s.size() >= kTamponMax) bVide();
  if (e->timed) Tick(kJTic);
}

void CFichierJournalTest::Ferme(int32_t code) {
  const Element* e = pElement(code);
  if (e == nullptr || m_pFichier == nullptr) return;
  if (e->container) {
    for (auto it = m_tabOuverts.rbegin(); it != m_tabOuverts.rend(); ++it) {
      if (*it == code) {
        m_tabOuverts.erase(std::next(it).base());
        break;
      }
    }
  }
  if (e->timed) Tick(kJTac);
  if (e->container) {
    std::u16string s = u"\r\n</";
    s += e->name;
    s += u'>';
    Ajoute(s);
  }
  if (e->timed) bVide();
}

void CFichierJournalTest::EcritEntier64(int32_t code, uint64_t value) {
  Ecrit(code, DecimalNonSigne(value).c_str());
}

void CFichierJournalTest::EcritDebutTest(const char16_t* name, const char16_t* group,
                                         const char16_t* list, uint64_t test_id,
                                         uint64_t group_id, uint64_t list_id, uint64_t check) {
  Ecrit(kJTest, u"");
  Ecrit(kJNom, name);
  Ecrit(kJNomGroupe, group);
  Ecrit(kJNomListe, list);
  EcritEntier64(kJTestID, test_id);
  EcritEntier64(kJGroupeID, group_id);
  EcritEntier64(kJListeID, list_id);
  EcritEntier64(kJTestCRC, check);
}

void CFichierJournalTest::EcritInfoPassage(uint64_t date, uint64_t configuration,
                                           const char16_t* application,
                                           const char16_t* version) {
  Ecrit(kJInfoPassage, u"");
  EcritEntier64(kJDate, date);
  EcritEntier64(kJQWIDConfiguration, configuration);
  Ecrit(kJNomApplication, application);
  Ecrit(kJVersionExe, version);
  Ferme(kJInfoPassage);
}

void CFichierJournalTest::EcritInfoPlateforme(uint64_t hash, const char16_t* name, int32_t type,
                                              int32_t hardware, int32_t orientation) {
  Ecrit(kJInfoPlateforme, u"");
  EcritEntier64(kJHASH, hash);
  Ecrit(kJNomPlateforme, name);
  Ecrit(kJType, Decimal(type).c_str());
  Ecrit(kJTypeMateriel, Decimal(hardware).c_str());
  Ecrit(kJOrientationPlateforme, Decimal(orientation & 0xFF).c_str());
  Ferme(kJInfoPlateforme);
}

void CFichierJournalTest::EcritParam(const char16_t* name, const char16_t* value) {
  Ecrit(kJParam, u"");
  Ecrit(kJNomParam, name);
  Ecrit(kJValeur, value);
  Ferme(kJParam);
}

void CFichierJournalTest::EcritPosition(const PositionCode& position, int32_t line) {
  Ecrit(kJPosition, u"");
  if (position.pszLibelle != nullptr) Ecrit(kJLibelle, position.pszLibelle);
  if (position.pszNomObjet != nullptr) Ecrit(kJNomObjet, position.pszNomObjet);
  if (line == -1) line = position.nLigne;
  if (line == 65535) {
    Ecrit(kJLigne, u"1");
  } else if (line != 0) {
    Ecrit(kJLigne, Decimal(line).c_str());
  }
  char b[32];
  if (position.nIdFichier != 0) {
    std::snprintf(b, sizeof(b), "%08x", position.nIdFichier);
    Ecrit(kJIdFichier, Ascii(b).c_str());
  }
  if (position.nIdTrt != -1) {
    std::snprintf(b, sizeof(b), "%08x", static_cast<uint32_t>(position.nIdTrt));
    Ecrit(kJIdTrt, Ascii(b).c_str());
  }
  if (position.nIdObjet != ~0ull) {
    std::snprintf(b, sizeof(b), "%08x%08x", static_cast<uint32_t>(position.nIdObjet >> 32),
                  static_cast<uint32_t>(position.nIdObjet));
    Ecrit(kJIdObjet, Ascii(b).c_str());
  }
  Ferme(kJPosition);
}

void CFichierJournalTest::EcritImage(const void* bytes, size_t size) {
  CEncodeBase85 encoder;
  const auto* p = static_cast<const uint8_t*>(bytes);
  const size_t n = encoder.vnEncode(p, size, 0, nullptr);
  std::vector<char> text(n + 1);
  encoder.vnEncode(p, size, 0, text.data());
  Ecrit(kJImageFenetre, u"");
  Ecrit(kJBuffer, std::u16string(text.data(), text.data() + n).c_str());
  Ferme(kJImageFenetre);
}
