// Random bytes for the driver: the kernel's generator first, then the
// random device, then a hash of process state, which always succeeds.
#ifndef QG_DRIVER_CORE_SUPPORT_RANDOM_BYTES_H_
#define QG_DRIVER_CORE_SUPPORT_RANDOM_BYTES_H_

#include <cstddef>
#include <cstdint>

namespace qg {

// Fills the whole buffer from the first source that succeeds. A count of 0
// succeeds without writing. Thread-safe.
bool bFillRandomBytes(void* buffer, size_t count);

// A source fills the whole buffer and answers true, or answers false.
using RandomSource = bool (*)(void* buffer, size_t count);

// Replaces the two system sources (null restores the system's) so that
// tests can make them fail. Not thread-safe against concurrent fills.
void SetRandomSourcesForTest(RandomSource kernel, RandomSource device);

// The last source: hashes a seed of process state (a counter each call
// moves, addresses, clocks, process and thread numbers) into 32-byte blocks.
void FillRandomFromProcessState(void* buffer, size_t count);

// Block i (32 bytes, the last one cut) is SHA-256 of the seed followed by i
// as 8 little-endian bytes.
void FillRandomFromSeed(const void* seed, size_t seed_length, void* buffer, size_t count);

// A random version-4 UUID (RFC 4122): 16 random bytes, the high nibble of
// byte 6 set to 4, the top two bits of byte 8 set to 10.
void FillUuidV4(uint8_t uuid[16]);

}  // namespace qg

#endif  // QG_DRIVER_CORE_SUPPORT_RANDOM_BYTES_H_
