#include "testrunner/recorder/recording_file.h"

#include <algorithm>
#include <cstring>

#include "support/any.h"
#include "support/platform/codepage.h"
#include "support/qgbuffer.h"
#include "support/streams/memory_stream.h"
#include "support/streams/xfile.h"

namespace {

constexpr size_t kTamponMax = 64 * 1024;
constexpr uint32_t kUtf8 = 65001;

}  // namespace

void CRecordEnregistrement::Ajoute(const char* bytes, size_t n) {
  if (!m_bGrand && m_n + n <= sizeof m_local) {
    std::memcpy(m_local + m_n, bytes, n);
    m_n += n;
    return;
  }
  if (!m_bGrand) {
    m_grand.assign(m_local, m_n);
    m_bGrand = true;
  }
  m_grand.append(bytes, n);
}

void CRecordEnregistrement::U32(uint32_t v) {
  const char b[4] = {static_cast<char>(v), static_cast<char>(v >> 8),
                     static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
  Ajoute(b, 4);
}

void CRecordEnregistrement::U16(uint16_t v) {
  const char b[2] = {static_cast<char>(v), static_cast<char>(v >> 8)};
  Ajoute(b, 2);
}

void CRecordEnregistrement::Texte(const char16_t* text) {
  // Short ASCII texts (key names, most control names) directly.
  char ascii[64];
  size_t n = 0;
  const char16_t* p = text;
  for (; p != nullptr && *p != 0 && *p < 0x80 && n < sizeof ascii; ++p) {
    ascii[n++] = static_cast<char>(*p);
  }
  if (p == nullptr || *p == 0) {
    Octets(ascii, n);
    return;
  }
  std::string utf8;
  qg::Utf16ToCodePage(kUtf8, text, -1, &utf8);
  Octets(utf8.data(), utf8.size());
}

void CRecordEnregistrement::Octets(const void* bytes, size_t n) {
  U32(static_cast<uint32_t>(n));
  if (n != 0) Ajoute(static_cast<const char*>(bytes), n);
}

void CRecordEnregistrement::Evenement(const EvenementEntree& e) {
  U32(e.nMessage);
  U32(e.nParam1);
  U32(e.nParam2);
  U32(e.nZero);
  U32(e.hFenetre);
}

bool CRecordEnregistrement::Valeur(const CAny& value) {
  CQGBuffer buffer;
  if (!buffer.EcritAny(value)) return false;
  Octets(buffer.pGetDonnees(), buffer.nTaille());
  return true;
}

CFichierEnregistrement::CFichierEnregistrement() = default;

CFichierEnregistrement::~CFichierEnregistrement() { Ferme(); }

bool CFichierEnregistrement::bOuvre(const char16_t* path) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_pFichier != nullptr) return false;
  auto file = std::make_unique<CXFile>();
  const bool memory = path == nullptr || *path == 0;
  bool ok;
  if (memory) {
    file->SetStream(new CMemoryStream());  // the file object holds the only reference
    ok = file->bOpen(u"", qg::GENERIC_READ | qg::GENERIC_WRITE,
                     qg::FILE_SHARE_READ | qg::FILE_SHARE_WRITE, qg::CREATE_ALWAYS, 0);
  } else {
    ok = file->bOpen(path, qg::GENERIC_READ | qg::GENERIC_WRITE, qg::FILE_SHARE_READ,
                     qg::CREATE_ALWAYS, qg::FILE_FLAG_SEQUENTIAL_SCAN);
  }
  if (!ok) return false;
  m_pFichier = std::move(file);
  m_bMemoire = memory;
  m_bEchec = false;
  m_tampon.clear();
  return true;
}

bool CFichierEnregistrement::bEcrit(const CRecordEnregistrement& record) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_pFichier == nullptr || m_bEchec) return false;
  m_tampon += record.octets();
  if (m_tampon.size() >= kTamponMax) return bVideVerrouille();
  return true;
}

bool CFichierEnregistrement::bVideVerrouille() {
  if (m_pFichier == nullptr || m_bEchec) return false;
  size_t done = 0;
  while (done < m_tampon.size()) {
    const uint32_t n = static_cast<uint32_t>(std::min<size_t>(m_tampon.size() - done, 1u << 30));
    uint32_t written = 0;
    if (!m_pFichier->bWrite(m_tampon.data() + done, n, &written) || written != n) {
      m_bEchec = true;
      break;
    }
    done += n;
  }
  m_tampon.clear();
  return !m_bEchec;
}

bool CFichierEnregistrement::bVide() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return bVideVerrouille();
}

bool CFichierEnregistrement::bRelit(std::vector<uint8_t>* out) {
  std::lock_guard<std::mutex> lock(m_mutex);
  out->clear();
  if (!bVideVerrouille()) return false;
  const int64_t size = m_pFichier->nGetSize();
  if (size < 0 || size > static_cast<int64_t>(UINT32_MAX)) return false;
  out->resize(static_cast<size_t>(size));
  // Read from 0, then back to the end where the writing goes on.
  const int64_t position = m_pFichier->nGetPosition();
  uint32_t read = 0;
  bool ok = size == 0 || (m_pFichier->bSeek(0, qg::FILE_BEGIN) &&
                          m_pFichier->bRead(out->data(), static_cast<uint32_t>(size), &read) &&
                          read == size);
  if (!m_pFichier->bSeek(position, qg::FILE_BEGIN)) m_bEchec = true;
  if (!ok) out->clear();
  return ok;
}

void CFichierEnregistrement::Ferme() {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_pFichier == nullptr) return;
  bVideVerrouille();
  m_pFichier->Close();
  m_pFichier.reset();
}
