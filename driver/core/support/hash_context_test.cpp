#include "driver/core/support/hash_context.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::string Hex(const uint8_t* p, size_t n) {
  static const char kDigits[] = "0123456789abcdef";
  std::string s;
  for (size_t i = 0; i < n; ++i) {
    s += kDigits[p[i] >> 4];
    s += kDigits[p[i] & 15];
  }
  return s;
}

std::string Digest(int variant, const std::string& message, const std::vector<size_t>& pieces = {}) {
  CNAHashContext ctx;
  ctx.SetVariant(variant);
  size_t at = 0;
  for (size_t piece : pieces) {
    if (at + piece > message.size()) break;
    ctx.Update(message.data() + at, piece);
    at += piece;
  }
  ctx.Update(message.data() + at, message.size() - at);
  uint8_t out[CNAHashContext::kMaxDigestSize];
  ctx.Final(out);
  return Hex(out, size_t(ctx.nGetDigestSize()));
}

TEST(HashContext, FipsExamples) {
  struct Case { int variant; const char* message; const char* digest; };
  const Case cases[] = {
      {CNAHashContext::kSha1, "", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
      {CNAHashContext::kSha1, "abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
      {CNAHashContext::kSha256, "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {CNAHashContext::kSha256, "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {CNAHashContext::kSha384, "",
       "38b060a751ac96384cd9327eb1b1e36a21fdb71114be07434c0cc7bf63f6e1da274edebfe76f65fbd51ad2f14898b95b"},
      {CNAHashContext::kSha384, "abc",
       "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baeca134c825a7"},
      {CNAHashContext::kSha512, "",
       "cf83e1357eefb8bdf1542850d66d8007d620e4050b5715dc83f4a921d36ce9ce47d0d13c5d85f2b0ff8318d2877eec2f"
       "63b931bd47417a81a538327af927da3e"},
      {CNAHashContext::kSha512, "abc",
       "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3feebbd"
       "454d4423643ce80e2a9ac94fa54ca49f"},
      // Two-block examples: the padding spills into a second block.
      {CNAHashContext::kSha256, "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {CNAHashContext::kSha1, "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
      {CNAHashContext::kSha512,
       "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrs"
       "mnopqrstnopqrstu",
       "8e959b75dae313da8cf4f72814fc143f8f7779c6eb9f7fa17299aeadb6889018501d289e4900f7e4331b99dec4b5433a"
       "c7d329eeb6dd26545e96e55b874be909"},
      // SHA-256 of the SHA-256 digest of "abc".
      {CNAHashContext::kDoubleSha256, "abc",
       "4f8b42c22dd3729b519ba6f68d2da7cc5b2d606d05daed5ad5128cc03e6c6358"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.digest, Digest(c.variant, c.message)) << c.variant << " '" << c.message << "'";
  }
}

TEST(HashContext, PiecewiseUpdatesMatchOneUpdate) {
  std::string message;
  for (int i = 0; i < 1000; ++i) message += char(i * 7 + 3);
  const std::vector<std::vector<size_t>> splits = {
      {1}, {63}, {64}, {65}, {1, 63, 64, 65}, {127, 1, 128, 129}, {0, 0, 5}};
  for (int variant = 0; variant <= 4; ++variant) {
    const std::string whole = Digest(variant, message);
    for (const auto& split : splits) EXPECT_EQ(whole, Digest(variant, message, split)) << variant;
  }
}

TEST(HashContext, VariantSizesResetAndReuse) {
  CNAHashContext ctx;
  EXPECT_EQ(CNAHashContext::kSha256, ctx.nGetVariant());
  EXPECT_FALSE(ctx.bIsUpdated());
  const int digest[] = {20, 32, 48, 64, 32, 64};
  const int block[] = {64, 64, 128, 128, 64, 64};
  for (int v = 0; v <= 5; ++v) {
    ctx.SetVariant(v);
    EXPECT_EQ(digest[v], ctx.nGetDigestSize());
    EXPECT_EQ(block[v], ctx.nGetBlockSize());
  }
  // Double SHA-256 stays variant 4 after final, and a reset context hashes
  // as a fresh one.
  ctx.SetVariant(CNAHashContext::kDoubleSha256);
  ctx.Update("junk", 4);
  EXPECT_TRUE(ctx.bIsUpdated());
  ctx.Reset();
  EXPECT_FALSE(ctx.bIsUpdated());
  ctx.Update("abc", 3);
  uint8_t out[64];
  ctx.Final(out);
  EXPECT_EQ(CNAHashContext::kDoubleSha256, ctx.nGetVariant());
  EXPECT_EQ(Digest(CNAHashContext::kDoubleSha256, "abc"), Hex(out, 32));
}

// Runs a command on a file and returns the first word of its output.
std::string RunTool(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[512];
  while (fgets(buffer, sizeof buffer, pipe) != nullptr) out += buffer;
  pclose(pipe);
  size_t end = out.find_first_of(" \n");
  return end == std::string::npos ? out : out.substr(0, end);
}

TEST(HashContext, RandomMessagesAgreeWithSystemTools) {
  char path[] = "/tmp/qg_hash_XXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  const std::string file = path;
  struct Tool { int variant; std::string command; };
  const Tool tools[] = {
      {CNAHashContext::kSha1, "sha1sum " + file},
      {CNAHashContext::kSha256, "sha256sum " + file},
      {CNAHashContext::kSha384, "sha384sum " + file},
      {CNAHashContext::kSha512, "sha512sum " + file},
      {CNAHashContext::kSha256, "openssl dgst -sha256 -r " + file},
      {CNAHashContext::kSha512, "openssl dgst -sha512 -r " + file},
      {CNAHashContext::kDoubleSha256,
       "openssl dgst -sha256 -binary " + file + " | openssl dgst -sha256 -r"},
  };
  std::mt19937 rng(20240611);
  // Lengths around every block and padding boundary, then random ones.
  std::vector<size_t> lengths = {55, 56, 63, 64, 111, 112, 119, 120, 127, 128, 129, 100000};
  for (int i = 0; i < 8; ++i) lengths.push_back(rng() % 5000);
  for (size_t length : lengths) {
    std::string message(length, '\0');
    for (char& c : message) c = char(rng());
    FILE* f = fopen(path, "wb");
    ASSERT_NE(nullptr, f);
    fwrite(message.data(), 1, message.size(), f);
    fclose(f);
    for (const Tool& tool : tools) {
      // Pieces of 65 bytes exercise the pending block on every length.
      std::vector<size_t> pieces(length / 65, 65);
      EXPECT_EQ(RunTool(tool.command), Digest(tool.variant, message, pieces))
          << tool.command << " length " << length;
    }
  }
  unlink(path);
}

TEST(HashContext, ReferenceCountDeletesAtZero) {
  CNAHashContext* ctx = new CNAHashContext;
  ctx->AddRef();
  ctx->AddRef();
  EXPECT_EQ(1, ctx->Release());
  EXPECT_EQ(0, ctx->Release());  // deleted; ASan reports a leak otherwise
}

}  // namespace
