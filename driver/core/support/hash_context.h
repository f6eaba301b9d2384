// The secure hash family of FIPS 180-4 (SHA-1, SHA-256, SHA-384, SHA-512)
// and double SHA-256, in one reusable context. Not thread-safe: one context
// belongs to one caller at a time.
#ifndef QG_DRIVER_CORE_SUPPORT_HASH_CONTEXT_H_
#define QG_DRIVER_CORE_SUPPORT_HASH_CONTEXT_H_

#include <atomic>
#include <cstddef>
#include <cstdint>

class CNAHashContext {
 public:
  enum Variant : int32_t {
    kSha1 = 0,
    kSha256 = 1,
    kSha384 = 2,
    kSha512 = 3,
    kDoubleSha256 = 4,
  };
  static constexpr int kMaxDigestSize = 64;

  // Starts as SHA-256, reset.
  CNAHashContext();
  virtual ~CNAHashContext();
  CNAHashContext(const CNAHashContext&) = delete;
  CNAHashContext& operator=(const CNAHashContext&) = delete;

  // Reference count for contexts handed out on the heap: starts at 0;
  // Release deletes at 0.
  void AddRef() { m_nRefs.fetch_add(1); }
  int32_t Release();

  // Selects a variant and resets.
  void SetVariant(int32_t variant);
  int32_t nGetVariant() const { return m_nVariant; }

  // Loads the variant's initial hash value and zeroes the length; an unknown
  // variant only clears the updated flag.
  void Reset();
  void Update(const void* data, size_t n);
  // Writes nGetDigestSize() bytes. The context must be reset before reuse.
  void Final(uint8_t* digest);

  // 20, 32 (SHA-256 and double SHA-256), 48, or 64 (SHA-512 and unknown).
  int nGetDigestSize() const;
  // 128 for SHA-384 and SHA-512, else 64.
  int nGetBlockSize() const;
  bool bIsUpdated() const { return m_bUpdated; }

 private:
  bool bIsWide() const { return m_nVariant == kSha384 || m_nVariant == kSha512; }
  void Compress();  // one block from m_abyBlock

  std::atomic<int32_t> m_nRefs{0};
  bool m_bUpdated = false;
  int32_t m_nVariant = kSha256;
  uint32_t m_anState32[8] = {};
  uint64_t m_nBits = 0;          // message length in bits, 64-bit variants
  uint8_t m_abyBlock[128] = {};  // pending block
  size_t m_nPending = 0;         // bytes in m_abyBlock
  uint64_t m_anState64[8] = {};
  uint64_t m_nBitsHigh = 0;      // high half of the 128-bit length (wide variants)
};

#endif  // QG_DRIVER_CORE_SUPPORT_HASH_CONTEXT_H_
