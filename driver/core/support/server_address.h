// Splitting a server address into host and port.
#ifndef QG_DRIVER_CORE_SUPPORT_SERVER_ADDRESS_H_
#define QG_DRIVER_CORE_SUPPORT_SERVER_ADDRESS_H_

#include <cstddef>
#include <cstdint>

// Units of the host buffer: 1025 characters and the terminator.
constexpr size_t kNAHostCapacity = 1026;

// Splits "host", "host:port", "[v6]" or "[v6]:port", after leading blanks
// and tabs; a bare IPv6 literal ("::1", "fe80::1", eight groups) is a host
// without port. The host loses its brackets and its trailing blanks and is
// cut to 1025 characters; the port is 0 when none is given.
// Answers 1, or 0 (host empty, port 0) when a port is given that is not a
// decimal number in 1..65535, or when a '[' has no ']'.
int nSplitHostPort(const char16_t* text, char16_t* host, uint16_t* port);

#endif  // QG_DRIVER_CORE_SUPPORT_SERVER_ADDRESS_H_
