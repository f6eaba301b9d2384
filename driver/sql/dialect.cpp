#include "driver/sql/dialect.h"

#include "driver/sql/sql_scanner.h"
#include "support/platform/text16.h"

namespace nadialect {
namespace {

struct NameRule {
  int function;
  int kind;
  const char16_t* name;
};

constexpr NameRule kNames[] = {
    {7, 11, u"NVL"},         {8, 11, u"NVL"},
    {42, 1, u"SUBSTR"},      {42, 11, u"SUBSTR"},     {42, 13, u"SUBSTR"},    {42, 6, u"SUBSTRING"},
    {43, 1, u"SUBSTR"},      {43, 11, u"SUBSTR"},     {43, 13, u"SUBSTR"},    {43, 6, u"SUBSTRING"},
    {44, 1, u"SUBSTR"},      {44, 8, u"SUBSTR"},      {44, 11, u"SUBSTR"},    {44, 2, u"SUBSTRING"},
    {44, 4, u"SUBSTRING"},   {44, 6, u"SUBSTRING"},   {44, 7, u"SYSIBM.SUBSTR"},
    {45, 7, u"UCASE"},       {46, 7, u"LCASE"},
    {50, 2, u"SUBSTRING"},   {50, 4, u"SUBSTRING"},   {50, 6, u"SUBSTRING"},  {50, 7, u"SYSIBM.SUBSTR"},
    {51, 1, u"SUBSTR"},      {51, 11, u"SUBSTR"},     {51, 13, u"SUBSTR"},    {51, 7, u"SYSIBM.SUBSTR"},
    {52, 11, u"TRIM"},       {53, 11, u"TRIM"},
    {54, 2, u"LEN"},         {54, 4, u"CHAR_LENGTH"},
    {55, 1, u"LENGTH"},      {55, 7, u"LENGTH"},      {55, 8, u"LENGTH"},     {55, 11, u"LENGTH"},
    {55, 13, u"LENGTH"},
    {72, 1, u"CEIL"},
    {75, 1, u"SUBSTR"},      {76, 1, u"SUBSTR"},
    {77, 1, u"LENGTH"},      {78, 1, u"LENGTH"},      {79, 1, u"LENGTHB"},
    {89, 1, u"INSTR"},
    {92, 1, u"TO_CHAR"},     {92, 11, u"SUBSTR(HEX"},
};

bool ParseUnsigned(const char16_t* text, int32_t start, int32_t end, int64_t* out) {
  if (start >= end || end - start > 18) return false;
  int64_t v = 0;
  for (int32_t k = start; k < end; ++k) {
    if (!qg::IsDigit16(text[k])) return false;
    v = v * 10 + (text[k] - u'0');
  }
  *out = v;
  return true;
}

std::u16string Decimal(int64_t v) {
  std::string s = std::to_string(v);
  return std::u16string(s.begin(), s.end());
}

}  // namespace

const char16_t* pszMapFunctionName(int function, int kind) {
  for (const NameRule& r : kNames) {
    if (r.function == function && r.kind == kind) return r.name;
  }
  return nullptr;
}

std::u16string FunctionArgumentText(int function, int kind, int index, bool atEnd,
                                    const std::u16string& secondArgument) {
  if (index != 0) return {};
  if (!atEnd) {
    if (function == 52 && kind == 11) return u"LEADING FROM ";
    if (function == 53 && kind == 11) return u"TRAILING FROM ";
    return {};
  }
  if (function == 42 && (kind == 1 || kind == 6 || kind == 11 || kind == 13)) return u",1";
  if (function == 43 && (kind == 6 || kind == 11 || kind == 13) && !secondArgument.empty())
    return u",-(" + secondArgument + u")";
  if (function == 92 && kind == 1) return u",'FMXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXX'";
  if (function == 92 && kind == 11) return u"),3";
  return {};
}

bool bBeginsWithSelect(const std::u16string& text) {
  size_t i = 0;
  while (i < text.size() && qg::IsSpace16(text[i])) ++i;
  if (text.size() - i < 6 || qg::StrNICmpAscii16(text.c_str() + i, u"SELECT", 6) != 0) return false;
  const char16_t next = text.size() - i == 6 ? u' ' : text[i + 6];
  const char16_t lower = static_cast<char16_t>(next | 0x20);
  return !(qg::IsDigit16(next) || next == u'_' || (lower >= u'a' && lower <= u'z'));
}

bool bRewriteRowLimit(std::u16string& text, int kind, int64_t& limit, int64_t& offset,
                      const char16_t* openQuote, const char16_t* closeQuote) {
  if (!bBeginsWithSelect(text)) return false;
  CNASQLScanner s(openQuote, closeQuote);
  s.Scan(text.c_str(), static_cast<ptrdiff_t>(text.size()));
  const auto& toks = s.Tokens();
  if (kind >= 1 && kind <= 3) {
    ptrdiff_t at = s.nFindKeyword(u"LIMIT");
    if (at <= 0) return false;
    ptrdiff_t k = s.nNextSignificant(static_cast<ptrdiff_t>(s.nTokenAt(at)));
    int64_t count = 0;
    if (k < 0 || toks[k].kind != SqlTokenKind::kNumber ||
        !ParseUnsigned(text.c_str(), toks[k].nStart, toks[k].nEnd, &count)) {
      return false;  // no count: the LIMIT stays as written
    }
    ptrdiff_t m = s.nNextSignificant(k);
    if (m >= 0 && toks[m].kind == SqlTokenKind::kOther && text[toks[m].nStart] == u',') {
      ptrdiff_t second = s.nNextSignificant(m);
      int64_t rows = 0;
      if (second >= 0 && toks[second].kind == SqlTokenKind::kNumber &&
          ParseUnsigned(text.c_str(), toks[second].nStart, toks[second].nEnd, &rows) && rows > 0) {
        return false;
      }
    }
    size_t head = 0;
    while (head < text.size() && qg::IsSpace16(text[head])) ++head;
    head += 6;
    while (head < text.size() && qg::IsSpace16(text[head])) ++head;
    size_t tail = static_cast<size_t>(at);
    while (tail > head && qg::IsSpace16(text[tail - 1])) --tail;  // white space only
    text = u"SELECT TOP " + Decimal(count) + u" " + text.substr(head, tail - head);
    return true;
  }
  if (kind != 5 && kind != 6) return false;
  bool changed = false;
  // TOP n right after SELECT, as whole words.
  ptrdiff_t first = s.nNextSignificant(-1);
  ptrdiff_t top = s.nNextSignificant(first);
  if (text.size() > 11 && s.bIsWord(top, u"TOP")) {
    ptrdiff_t num = s.nNextSignificant(top);
    int64_t count = 0;
    if (num >= 0 && toks[num].kind == SqlTokenKind::kNumber &&
        ParseUnsigned(text.c_str(), toks[num].nStart, toks[num].nEnd, &count)) {
      text.erase(static_cast<size_t>(toks[top].nStart),
                 static_cast<size_t>(toks[num].nEnd - toks[top].nStart));
      limit = count;
      offset = -1;
      changed = true;
      s.Scan(text.c_str(), static_cast<ptrdiff_t>(text.size()));
    }
  }
  if (limit > 0 && !NAEndsWithLimitZero(s)) {
    text += u" LIMIT ";
    if (offset > 0) text += Decimal(offset) + u", ";
    text += Decimal(limit);
    changed = true;
  }
  return changed;
}

std::u16string EscapeClause(int kind, int version, char16_t escape, bool patternHasEscape,
                            bool escapeFollows, bool noBackslashEscapes) {
  if (kind == 3) return {};
  if (escape == 0) escape = u'\\';
  if (!patternHasEscape || escapeFollows) return {};
  if (escape != u'\\') {
    std::u16string c(1, escape);
    if (escape == u'\'') c += u'\'';
    return u" ESCAPE '" + c + u"'";
  }
  if (kind == 5) return noBackslashEscapes ? u" ESCAPE '\\'" : std::u16string();
  if ((kind == 6 && version < 9) || kind == 12) return u" ESCAPE '\\\\'";
  return u" ESCAPE '\\'";
}

std::u16string TranslatePatternKindThree(const std::u16string& pattern, char16_t escape) {
  if (escape == 0) escape = u'\\';
  // The six pattern texts: any text, any character, and the characters the
  // DBMS reads as pattern syntax taken as written.
  auto literal = [](char16_t c, std::u16string* out) {
    if (c == u'*' || c == u'?' || c == u'#' || c == u'[') {
      *out += u'[';
      *out += c;
      *out += u']';
    } else {
      *out += c;
    }
  };
  std::u16string out;
  out.reserve(pattern.size() + 8);
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char16_t c = pattern[i];
    if (c == escape && i + 1 < pattern.size()) {
      literal(pattern[++i], &out);
    } else if (c == u'%') {
      out += u'*';
    } else if (c == u'_') {
      out += u'?';
    } else {
      literal(c, &out);
    }
  }
  return out;
}

void FixPatternLiteral(int kind, std::u16string& literal) {
  if (kind != 2) return;
  std::u16string out;
  out.reserve(literal.size());
  for (char16_t c : literal) {
    if (c == u'[') {
      out += u"[[]";
    } else {
      out += c;
    }
  }
  literal.swap(out);
}

std::u16string IdentityQuery(int kind, int version, int hostType, bool next, bool quotedNames,
                             const std::u16string& column, const std::u16string& table) {
  if (!next) {
    if (kind == 2) return version < 8 ? u"SELECT @@IDENTITY" : u"SELECT SCOPE_IDENTITY()";
    if (kind == 11 && hostType == 28)
      return u"SELECT FIRST 1 DBINFO( 'sqlca.sqlerrd1' ) AS id FROM systables";
    if (kind == 11 && hostType == 1) return u"SELECT FIRST 1 DBINFO( 'SERIAL8' ) AS id FROM systables";
    // MariaDB keeps the identifier its last insert generated per
    // connection: the table's maximum may be another session's.
    if (kind == kKindMariaDB && (hostType == 1 || hostType == 28)) return u"SELECT LAST_INSERT_ID()";
  }
  std::u16string out = u"SELECT MAX(" + column + u")";
  if (next) out += u"+1";
  out += u" FROM " + table;
  if (!quotedNames && kind == 8) out += u" WITH (NOLOCK)";
  return out;
}

}  // namespace nadialect
