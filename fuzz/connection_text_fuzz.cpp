// Host texts a connection reads: the extended information (key=value pairs)
// and the names it quotes. Arbitrary UTF-16 input; a quoted name must be
// exactly one identifier (its closing quotes doubled inside), whatever the
// name held, and a removed pair never leaves a longer text.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "driver/core/connection.h"

namespace {

void Verifie(bool b) {
  if (!b) __builtin_trap();
}

class Connection final : public CNAConnection {
 public:
  Connection() : CNAConnection(nullptr) {
    m_nDbmsKind = 5;
    m_strOpenQuote = u"`";
    m_strCloseQuote = u"`";
  }
  bool bOpen(CNAError*, int32_t) override { return false; }
  bool bIsOpen() override { return false; }
  bool bClose(CNAError*) override { return true; }
  CNAConnection* pclCreate(INACopyContext*, intptr_t, intptr_t) override { return nullptr; }
};

bool IsOneIdentifier(const std::u16string& q) {
  if (q.size() < 2 || q.front() != u'`' || q.back() != u'`') return false;
  for (size_t i = 1; i + 1 < q.size(); ++i) {
    if (q[i] == u'`') {
      if (i + 2 >= q.size() || q[i + 1] != u'`') return false;
      ++i;
    }
  }
  return true;
}

const char16_t* const kKeys[] = {u"QG Cache Size", u"SSL CA", u"Unix Socket", u"Server Port",
                                 u"Initial Catalog"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const char16_t* key = kKeys[data[0] % 5];
  std::u16string text((size - 1) / 2, u'\0');
  std::memcpy(text.data(), data + 1, text.size() * 2);
  std::u16string terminated(text.c_str());  // up to the first zero unit

  CTString info(terminated.c_str());
  CTString value;
  size_t before = terminated.size();
  bool found = CNAConnection::bGetInfoFromText(info, key, &value, true);
  size_t after = std::char_traits<char16_t>::length(info.pszGet());
  Verifie(after <= before);
  Verifie(found || after == before);

  Connection connection;
  CTString quoted;
  Verifie(connection.bQuoteName(nullptr, terminated.c_str(), &quoted));
  Verifie(IsOneIdentifier(std::u16string(quoted.pszGet())));
  CTString qualified;
  Verifie(connection.bQuoteQualifiedName(nullptr, terminated.c_str(), &qualified));
  return 0;
}
