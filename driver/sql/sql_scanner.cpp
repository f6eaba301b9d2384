#include "driver/sql/sql_scanner.h"

#include "support/platform/text16.h"

namespace {

bool IsWordStart(char16_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'_' || c == u'$' ||
         c == u'@' || c >= 0x80;
}
bool IsWordChar(char16_t c) { return IsWordStart(c) || qg::IsDigit16(c); }

std::vector<std::u16string> SplitWords(const char16_t* keyword) {
  std::vector<std::u16string> words;
  std::u16string cur;
  for (const char16_t* p = keyword; p != nullptr && *p != 0; ++p) {
    if (qg::IsSpace16(*p)) {
      if (!cur.empty()) words.push_back(cur);
      cur.clear();
    } else {
      cur += qg::ToUpperAscii16(*p);
    }
  }
  if (!cur.empty()) words.push_back(cur);
  return words;
}

bool StartsWith(const char16_t* text, size_t n, size_t at, const std::u16string& what) {
  return !what.empty() && at + what.size() <= n &&
         std::char_traits<char16_t>::compare(text + at, what.data(), what.size()) == 0;
}

}  // namespace

CNASQLScanner::CNASQLScanner(const char16_t* openQuote, const char16_t* closeQuote,
                             bool bBackslashEscapes)
    : m_openQuote(openQuote != nullptr ? openQuote : u""),
      m_closeQuote(closeQuote != nullptr ? closeQuote : u""),
      m_bBackslash(bBackslashEscapes) {
  if (m_closeQuote.empty()) m_closeQuote = m_openQuote;
}

void CNASQLScanner::Scan(const char16_t* text, ptrdiff_t n) {
  m_tokens.clear();
  m_pText = text;
  m_nLength = text == nullptr ? 0 : n < 0 ? qg::StrLen16(text) : static_cast<size_t>(n);
  const char16_t* t = text;
  const size_t len = m_nLength;
  size_t i = 0;
  int32_t depth = 0;
  auto literalEnd = [&](size_t j, char16_t q) {
    ++j;
    while (j < len) {
      if (m_bBackslash && t[j] == u'\\') {
        j += 2;
        continue;
      }
      if (t[j] == q) {
        if (j + 1 < len && t[j + 1] == q) {
          j += 2;
          continue;
        }
        return j + 1;
      }
      ++j;
    }
    return len;
  };
  while (i < len) {
    const char16_t c = t[i];
    SqlToken tok{SqlTokenKind::kOther, static_cast<int32_t>(i), static_cast<int32_t>(i + 1), depth};
    size_t end = i + 1;
    if (qg::IsSpace16(c)) {
      while (end < len && qg::IsSpace16(t[end])) ++end;
      tok.kind = SqlTokenKind::kSpace;
    } else if (c == u'#' || (c == u'-' && i + 1 < len && t[i + 1] == u'-' &&
                             (i + 2 == len || qg::IsSpace16(t[i + 2])))) {
      while (end < len && t[end] != u'\n') ++end;
      tok.kind = SqlTokenKind::kComment;
    } else if (c == u'/' && i + 1 < len && t[i + 1] == u'*') {
      end = i + 2;
      while (end + 1 < len && !(t[end] == u'*' && t[end + 1] == u'/')) ++end;
      end = end + 1 < len ? end + 2 : len;
      tok.kind = SqlTokenKind::kComment;
    } else if (!m_openQuote.empty() && StartsWith(t, len, i, m_openQuote)) {
      // Quoted identifier: a doubled closing quote stays inside.
      end = i + m_openQuote.size();
      for (;;) {
        if (end >= len) {
          end = len;
          break;
        }
        if (StartsWith(t, len, end, m_closeQuote)) {
          if (StartsWith(t, len, end + m_closeQuote.size(), m_closeQuote)) {
            end += 2 * m_closeQuote.size();
            continue;
          }
          end += m_closeQuote.size();
          break;
        }
        ++end;
      }
      tok.kind = SqlTokenKind::kQuotedName;
    } else if (c == u'\'' || c == u'"') {
      end = literalEnd(i, c);
      tok.kind = SqlTokenKind::kLiteral;
    } else if (qg::IsDigit16(c) || (c == u'.' && i + 1 < len && qg::IsDigit16(t[i + 1]))) {
      while (end < len && (qg::IsDigit16(t[end]) || t[end] == u'.')) ++end;
      if (end < len && (t[end] == u'e' || t[end] == u'E')) {
        size_t k = end + 1;
        if (k < len && (t[k] == u'+' || t[k] == u'-')) ++k;
        if (k < len && qg::IsDigit16(t[k])) {
          end = k;
          while (end < len && qg::IsDigit16(t[end])) ++end;
        }
      }
      // 0x1F and 1e: letters glued to a number make it one word-like token.
      while (end < len && IsWordChar(t[end])) ++end;
      tok.kind = SqlTokenKind::kNumber;
    } else if (IsWordStart(c)) {
      while (end < len && IsWordChar(t[end])) ++end;
      // A character-set introducer glued to a literal: _utf8'...'.
      if (c == u'_' && end < len && (t[end] == u'\'' || t[end] == u'"') && end > i + 1) {
        end = literalEnd(end, t[end]);
        tok.kind = SqlTokenKind::kLiteral;
      } else {
        tok.kind = SqlTokenKind::kWord;
      }
    } else if (c == u'(') {
      tok.kind = SqlTokenKind::kOpen;
      ++depth;
    } else if (c == u')') {
      if (depth > 0) --depth;
      tok.nDepth = depth;
      tok.kind = SqlTokenKind::kClose;
    }
    tok.nEnd = static_cast<int32_t>(end);
    m_tokens.push_back(tok);
    i = end;
  }
}

size_t CNASQLScanner::nTokenAt(ptrdiff_t n) const {
  // Binary search on the start positions.
  size_t lo = 0;
  size_t hi = m_tokens.size();
  while (lo < hi) {
    size_t mid = (lo + hi) / 2;
    if (m_tokens[mid].nEnd <= n) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo;
}

ptrdiff_t CNASQLScanner::nNextSignificant(ptrdiff_t i) const {
  for (ptrdiff_t k = i + 1; k < static_cast<ptrdiff_t>(m_tokens.size()); ++k) {
    if (m_tokens[k].kind != SqlTokenKind::kSpace && m_tokens[k].kind != SqlTokenKind::kComment) return k;
  }
  return -1;
}

ptrdiff_t CNASQLScanner::nPrevSignificant(ptrdiff_t i) const {
  for (ptrdiff_t k = i - 1; k >= 0; --k) {
    if (m_tokens[k].kind != SqlTokenKind::kSpace && m_tokens[k].kind != SqlTokenKind::kComment) return k;
  }
  return -1;
}

bool CNASQLScanner::bIsWord(ptrdiff_t i, const char16_t* word) const {
  if (i < 0 || i >= static_cast<ptrdiff_t>(m_tokens.size())) return false;
  const SqlToken& tok = m_tokens[i];
  if (tok.kind != SqlTokenKind::kWord) return false;
  size_t n = static_cast<size_t>(tok.nEnd - tok.nStart);
  if (qg::StrLen16(word) != n) return false;
  for (size_t k = 0; k < n; ++k) {
    if (qg::ToUpperAscii16(m_pText[tok.nStart + k]) != word[k]) return false;
  }
  return true;
}

int32_t CNASQLScanner::nDepthAt(ptrdiff_t n) const {
  size_t k = nTokenAt(n);
  if (k >= m_tokens.size()) {
    // Past the end: the level after the last token.
    if (m_tokens.empty()) return 0;
    const SqlToken& last = m_tokens.back();
    return last.kind == SqlTokenKind::kOpen ? last.nDepth + 1 : last.nDepth;
  }
  const SqlToken& tok = m_tokens[k];
  if (tok.nStart > n && k > 0 && m_tokens[k - 1].kind == SqlTokenKind::kOpen) {
    return m_tokens[k - 1].nDepth + 1;
  }
  return tok.nDepth;
}

ptrdiff_t CNASQLScanner::nFindKeyword(const char16_t* keyword, ptrdiff_t nStart) const {
  std::vector<std::u16string> words = SplitWords(keyword);
  if (words.empty() || m_tokens.empty()) return -1;
  ptrdiff_t from = nStart < 0 || static_cast<size_t>(nStart) >= m_nLength
                       ? static_cast<ptrdiff_t>(m_nLength)
                       : nStart;
  const int32_t depth = nDepthAt(from);
  // The last token whose start is at or before `from`.
  ptrdiff_t k = static_cast<ptrdiff_t>(nTokenAt(from));
  if (k >= static_cast<ptrdiff_t>(m_tokens.size()) || m_tokens[k].nStart > from) --k;
  // A multi-word keyword may end after `from`: only its start counts.
  for (; k >= 0; --k) {
    const SqlToken& tok = m_tokens[k];
    if (tok.kind == SqlTokenKind::kOpen && tok.nDepth < depth) return -1;
    if (tok.nDepth != depth || tok.kind != SqlTokenKind::kWord) continue;
    // Try the keyword starting at k (forward match) so that "ORDER BY"
    // whose ORDER lies at or before `from` is found.
    ptrdiff_t j = k;
    bool ok = true;
    for (size_t w = 0; w < words.size() && ok; ++w) {
      if (j < 0 || !bIsWord(j, words[w].c_str())) ok = false;
      if (ok && w + 1 < words.size()) j = nNextSignificant(j);
    }
    if (ok) return tok.nStart;
  }
  return -1;
}

ptrdiff_t CNASQLScanner::nFindKeywordForward(const char16_t* keyword, ptrdiff_t nFrom) const {
  std::vector<std::u16string> words = SplitWords(keyword);
  if (words.empty() || m_tokens.empty()) return -1;
  if (nFrom < 0) nFrom = 0;
  const int32_t depth = nDepthAt(nFrom);
  for (size_t k = nTokenAt(nFrom); k < m_tokens.size(); ++k) {
    const SqlToken& tok = m_tokens[k];
    if (tok.kind == SqlTokenKind::kClose && tok.nDepth < depth) return -1;
    if (tok.nStart < nFrom || tok.nDepth != depth || tok.kind != SqlTokenKind::kWord) continue;
    ptrdiff_t j = static_cast<ptrdiff_t>(k);
    bool ok = true;
    for (size_t w = 0; w < words.size() && ok; ++w) {
      if (j < 0 || !bIsWord(j, words[w].c_str())) ok = false;
      if (ok && w + 1 < words.size()) j = nNextSignificant(j);
    }
    if (ok) return tok.nStart;
  }
  return -1;
}

ptrdiff_t NAFindKeyword(const char16_t* text, ptrdiff_t n, const char16_t* keyword,
                        ptrdiff_t nStart, const char16_t* openQuote, const char16_t* closeQuote) {
  CNASQLScanner scanner(openQuote, closeQuote);
  scanner.Scan(text, n);
  return scanner.nFindKeyword(keyword, nStart);
}

bool NAEndsWithLimitZero(const CNASQLScanner& s) {
  const auto& toks = s.Tokens();
  ptrdiff_t last = s.nPrevSignificant(static_cast<ptrdiff_t>(toks.size()));
  if (last < 0 || toks[last].kind != SqlTokenKind::kNumber || toks[last].nDepth != 0) return false;
  for (int32_t k = toks[last].nStart; k < toks[last].nEnd; ++k) {
    if (s.pszText()[k] != u'0') return false;
  }
  ptrdiff_t limit = s.nPrevSignificant(last);
  return limit > 0 && s.bIsWord(limit, u"LIMIT") && toks[limit].nDepth == 0;
}

bool NAIsSetStatement(const char16_t* text, ptrdiff_t n) {
  CNASQLScanner s;
  s.Scan(text, n);
  const auto& toks = s.Tokens();
  ptrdiff_t k = s.nNextSignificant(-1);
  if (!s.bIsWord(k, u"SET")) return false;
  if (k + 1 >= static_cast<ptrdiff_t>(toks.size()) || toks[k + 1].kind != SqlTokenKind::kSpace)
    return false;
  k = s.nNextSignificant(k);
  if (k < 0 || (toks[k].kind != SqlTokenKind::kWord && toks[k].kind != SqlTokenKind::kQuotedName))
    return false;
  k = s.nNextSignificant(k);
  if (k < 0 || toks[k].kind != SqlTokenKind::kOther || text[toks[k].nStart] != u'=') return false;
  k = s.nNextSignificant(k);
  if (k < 0 || (toks[k].kind != SqlTokenKind::kWord && toks[k].kind != SqlTokenKind::kNumber &&
                toks[k].kind != SqlTokenKind::kLiteral && toks[k].kind != SqlTokenKind::kQuotedName))
    return false;
  k = s.nNextSignificant(k);
  if (k >= 0 && toks[k].kind == SqlTokenKind::kOther && text[toks[k].nStart] == u';') {
    k = s.nNextSignificant(k);
  }
  return k < 0;
}

bool NAIsOneSqlExpression(const char16_t* text, const char16_t* open, const char16_t* close) {
  if (text == nullptr) return false;
  for (bool backslash : {true, false}) {
    CNASQLScanner scanner(open, close, backslash);
    // A trailing "0" shows where the text ended: an unterminated literal,
    // quoted name or comment swallows it.
    std::u16string probe = std::u16string(text) + u" 0";
    scanner.Scan(probe.c_str(), static_cast<ptrdiff_t>(probe.size()));
    const std::vector<SqlToken>& tokens = scanner.Tokens();
    std::vector<SqlToken> significant;
    for (const SqlToken& t : tokens) {
      if (t.kind == SqlTokenKind::kComment) return false;
      if (t.kind == SqlTokenKind::kOther && probe[static_cast<size_t>(t.nStart)] == u';') {
        return false;
      }
      if (t.kind != SqlTokenKind::kSpace) significant.push_back(t);
    }
    if (significant.empty() || significant.back().kind != SqlTokenKind::kNumber ||
        static_cast<size_t>(significant.back().nStart) != probe.size() - 1 ||
        significant.back().nDepth != 0) {
      return false;
    }
    significant.pop_back();
    size_t i = 0;
    auto at = [&](size_t k) { return probe[static_cast<size_t>(significant[k].nStart)]; };
    if (i < significant.size() && significant[i].kind == SqlTokenKind::kOther &&
        (at(i) == u'-' || at(i) == u'+')) {
      ++i;
    }
    if (i >= significant.size()) return false;
    const SqlToken& first = significant[i];
    if (first.kind == SqlTokenKind::kWord) {
      ++i;
      const size_t length = static_cast<size_t>(first.nEnd - first.nStart);
      const char16_t c = at(i - 1);
      const bool prefix = (length == 1 && (c == u'b' || c == u'B' || c == u'x' || c == u'X' ||
                                           c == u'n' || c == u'N')) ||
                          c == u'_';
      if (prefix && i < significant.size() && significant[i].kind == SqlTokenKind::kLiteral &&
          significant[i].nStart == first.nEnd) {
        ++i;
      }
    } else if (first.kind == SqlTokenKind::kLiteral || first.kind == SqlTokenKind::kNumber) {
      ++i;
      if (i < significant.size()) return false;
      continue;
    } else if (first.kind != SqlTokenKind::kOpen) {
      return false;
    }
    // At most one parenthesised group, closing at the end.
    if (i < significant.size()) {
      if (significant[i].kind != SqlTokenKind::kOpen || significant[i].nDepth != 0) return false;
      size_t k = i + 1;
      while (k < significant.size() &&
             !(significant[k].kind == SqlTokenKind::kClose && significant[k].nDepth == 0)) {
        ++k;
      }
      if (k + 1 != significant.size()) return false;
    }
  }
  return true;
}
