#include "driver/core/support/random_bytes.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include "driver/core/support/hash_context.h"

namespace qg {
namespace {

bool KernelSource(void* buffer, size_t count) {
  uint8_t* p = static_cast<uint8_t*>(buffer);
  while (count > 0) {
    ssize_t got = getrandom(p, count, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += got;
    count -= size_t(got);
  }
  return true;
}

bool DeviceSource(void* buffer, size_t count) {
  int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  uint8_t* p = static_cast<uint8_t*>(buffer);
  bool ok = true;
  while (count > 0) {
    ssize_t got = read(fd, p, count);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      ok = false;
      break;
    }
    p += got;
    count -= size_t(got);
  }
  close(fd);
  return ok;
}

std::atomic<RandomSource> g_kernel{KernelSource};
std::atomic<RandomSource> g_device{DeviceSource};
std::atomic<uint64_t> g_counter{0};

}  // namespace

void FillRandomFromProcessState(void* buffer, size_t count) {
  // Process state; any change in one word changes the whole hash. The
  // counter alone makes every call's seed differ within the process.
  struct timespec mono = {};
  clock_gettime(CLOCK_MONOTONIC, &mono);
  const uint64_t seed[9] = {
      uint64_t(reinterpret_cast<uintptr_t>(&g_counter)),
      g_counter.fetch_add(1) + 1,
      uint64_t(reinterpret_cast<uintptr_t>(&errno)),
      uint64_t(reinterpret_cast<uintptr_t>(&FillRandomFromProcessState)),
      uint64_t(time(nullptr)),
      uint64_t(mono.tv_sec) * 1000000000u + uint64_t(mono.tv_nsec),
      uint64_t(clock()),
      uint64_t(getpid()),
      uint64_t(gettid()),
  };
  FillRandomFromSeed(seed, sizeof seed, buffer, count);
}

void FillRandomFromSeed(const void* seed, size_t seed_length, void* buffer, size_t count) {
  // Block i is the hash of (seed, i): no block can be computed from the
  // blocks before it without the seed.
  CNAHashContext hash;
  uint8_t block[32];
  uint8_t* out = static_cast<uint8_t*>(buffer);
  for (uint64_t index = 0; count > 0; ++index) {
    uint8_t index_bytes[8];
    for (int i = 0; i < 8; ++i) index_bytes[i] = uint8_t(index >> (8 * i));
    hash.Reset();
    hash.Update(seed, seed_length);
    hash.Update(index_bytes, sizeof index_bytes);
    hash.Final(block);
    size_t take = count < sizeof block ? count : sizeof block;
    std::memcpy(out, block, take);
    out += take;
    count -= take;
  }
}

bool bFillRandomBytes(void* buffer, size_t count) {
  if (count == 0) return true;
  if (buffer == nullptr) return false;
  if (g_kernel.load()(buffer, count)) return true;
  if (g_device.load()(buffer, count)) return true;
  FillRandomFromProcessState(buffer, count);
  return true;
}

void FillUuidV4(uint8_t uuid[16]) {
  bFillRandomBytes(uuid, 16);
  uuid[6] = uint8_t((uuid[6] & 0x0F) | 0x40);
  uuid[8] = uint8_t((uuid[8] & 0x3F) | 0x80);
}

void SetRandomSourcesForTest(RandomSource kernel, RandomSource device) {
  g_kernel.store(kernel != nullptr ? kernel : KernelSource);
  g_device.store(device != nullptr ? device : DeviceSource);
}

}  // namespace qg
