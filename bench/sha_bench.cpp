// SHA-256 throughput of the driver's hash context against OpenSSL's, both
// measured in this run. Prints MB/s of each and the ratio ours / OpenSSL's
// per message size.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
#include "driver/core/support/hash_context.h"

namespace {

std::vector<uint8_t> Message(size_t n) {
  std::vector<uint8_t> m(n);
  for (size_t i = 0; i < n; ++i) m[i] = uint8_t(i * 131 + 7);
  return m;
}

void BM_Ours(benchmark::State& state) {
  const std::vector<uint8_t> m = Message(size_t(state.range(0)));
  CNAHashContext ctx;
  uint8_t out[32];
  for (auto _ : state) {
    ctx.Reset();
    ctx.Update(m.data(), m.size());
    ctx.Final(out);
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

void BM_OpenSSL(benchmark::State& state) {
  const std::vector<uint8_t> m = Message(size_t(state.range(0)));
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  const EVP_MD* md = EVP_sha256();
  uint8_t out[32];
  unsigned int len = 0;
  for (auto _ : state) {
    EVP_DigestInit_ex(ctx, md, nullptr);
    EVP_DigestUpdate(ctx, m.data(), m.size());
    EVP_DigestFinal_ex(ctx, out, &len);
    benchmark::DoNotOptimize(out);
  }
  EVP_MD_CTX_free(ctx);
  state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

BENCHMARK(BM_Ours)->Arg(64)->Arg(1024)->Arg(1 << 20);
BENCHMARK(BM_OpenSSL)->Arg(64)->Arg(1024)->Arg(1 << 20);

// MB/s of each and the ratio, by message size.
void PrintRatios(const qg::RatioReporter& r) {
  std::map<long, double> ours, theirs;  // MB/s by message size
  for (const auto& [name, run] : r.runs()) {
    auto it = run.counters.find("bytes_per_second");
    if (it == run.counters.end()) continue;
    const size_t slash = name.find('/');
    const long size = slash == std::string::npos ? 0 : std::stol(name.substr(slash + 1));
    (name.rfind("BM_Ours", 0) == 0 ? ours : theirs)[size] = it->second.value / 1e6;
  }
  std::printf("\nSHA-256 MB/s   size      ours   openssl   ratio\n");
  for (const auto& [size, mb] : ours) {
    auto it = theirs.find(size);
    if (it == theirs.end()) continue;
    std::printf("%21ld %9.1f %9.1f %7.2f\n", size, mb, it->second, mb / it->second);
  }
}

}  // namespace

int main(int argc, char** argv) { return qg::RunBenchmarks(argc, argv, PrintRatios); }
