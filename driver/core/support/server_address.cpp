#include "driver/core/support/server_address.h"

namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

bool IsHex(char16_t c) {
  return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// [begin, end) without trailing blanks is an IPv6 literal: hex groups of at
// most four digits between colons, at most one "::", at most seven colons,
// and either a "::" or exactly seven colons.
bool IsIpv6Literal(const char16_t* begin, const char16_t* end) {
  while (end > begin && IsBlank(end[-1])) --end;
  if (begin == end) return false;
  int colons = 0;
  int double_colons = 0;
  int group = 0;
  for (const char16_t* p = begin; p < end; ++p) {
    if (*p == u':') {
      ++colons;
      if (p + 1 < end && p[1] == u':') ++double_colons;
      group = 0;
    } else if (IsHex(*p)) {
      if (++group > 4) return false;
    } else {
      return false;
    }
  }
  // ":::" counts two double colons and is refused with them.
  return colons <= 7 && double_colons <= 1 && (double_colons == 1 || colons == 7);
}

void PutHost(const char16_t* begin, const char16_t* end, char16_t* host) {
  while (end > begin && IsBlank(end[-1])) --end;
  size_t n = 0;
  for (const char16_t* p = begin; p < end && n + 1 < kNAHostCapacity; ++p) host[n++] = *p;
  host[n] = 0;
}

// A decimal port in 1..65535, blanks around it allowed.
bool ParsePort(const char16_t* begin, const char16_t* end, uint16_t* port) {
  while (begin < end && IsBlank(*begin)) ++begin;
  while (end > begin && IsBlank(end[-1])) --end;
  if (begin == end) return false;
  uint32_t value = 0;
  for (const char16_t* p = begin; p < end; ++p) {
    if (*p < u'0' || *p > u'9') return false;
    value = value * 10 + uint32_t(*p - u'0');
    if (value > 65535) return false;
  }
  if (value == 0) return false;
  *port = uint16_t(value);
  return true;
}

// The length of a dotted IPv4 address (four decimal parts of 0..255) at
// `p`, or 0.
size_t Ipv4Length(const char16_t* p, const char16_t* end) {
  const char16_t* q = p;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (q == end || *q != u'.') return 0;
      ++q;
    }
    int digits = 0;
    int value = 0;
    while (q < end && *q >= u'0' && *q <= u'9' && digits < 4) {
      value = value * 10 + (*q - u'0');
      ++digits;
      ++q;
    }
    if (digits == 0 || digits > 3 || value > 255) return 0;
  }
  return size_t(q - p);
}

// Length of an IPv4-mapped prefix ("::ffff:", any case) followed by a
// dotted IPv4 address at `p`, or 0.
size_t MappedPrefixLength(const char16_t* p, const char16_t* end) {
  static const char16_t kPrefix[] = u"::ffff:";
  const char16_t* q = p;
  for (const char16_t* k = kPrefix; *k != 0; ++k, ++q) {
    if (q == end) return 0;
    char16_t c = *q >= u'A' && *q <= u'Z' ? char16_t(*q + 32) : *q;
    if (c != *k) return 0;
  }
  return Ipv4Length(q, end) != 0 ? size_t(q - p) : 0;
}

}  // namespace

int nSplitHostPort(const char16_t* text, char16_t* host, uint16_t* port) {
  char16_t scratch[kNAHostCapacity];
  uint16_t scratch_port = 0;
  if (host == nullptr) host = scratch;
  if (port == nullptr) port = &scratch_port;
  host[0] = 0;
  *port = 0;
  if (text == nullptr) return 1;
  while (IsBlank(*text)) ++text;
  const char16_t* end = text;
  while (*end != 0) ++end;
  // An IPv4-mapped IPv6 address is that IPv4 address (the client library
  // resolves the mapped form as no host at all).
  text += MappedPrefixLength(text, end);

  if (IsIpv6Literal(text, end)) {
    PutHost(text, end, host);
    return 1;
  }

  const char16_t* host_begin = text;
  const char16_t* host_end = nullptr;
  const char16_t* search_from = text;
  if (*text == u'[') {
    const char16_t* close = text + 1;
    while (close < end && *close != u']') ++close;
    if (close == end) return 0;
    host_begin = text + 1;
    host_begin += MappedPrefixLength(host_begin, close);
    host_end = close;
    search_from = close + 1;
  }
  const char16_t* colon = nullptr;
  for (const char16_t* p = search_from; p < end; ++p) {
    if (*p == u':') colon = p;
  }
  if (host_end == nullptr) host_end = colon != nullptr ? colon : end;
  if (colon != nullptr && !ParsePort(colon + 1, end, port)) {
    *port = 0;
    return 0;
  }
  PutHost(host_begin, host_end, host);
  return 1;
}
