#include "driver/sql/sql_scan.h"

const char16_t* pszNASkipStatementPreamble(const char16_t* text) {
  if (text == nullptr) return nullptr;
  for (;;) {
    while (*text == u'\t' || *text == u'\n' || *text == u'\r' || *text == u' ') ++text;
    if (text[0] != u'-' || text[1] != u'-') return text;
    while (*text != 0 && *text != u'\n') ++text;
  }
}
