// SHA-256 throughput of the driver's hash context against OpenSSL's, both
// measured in this run. Prints MB/s of each and the ratio ours / OpenSSL's
// per message size.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

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

// Console output plus a table of ratios at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration) continue;
      auto it = run.counters.find("bytes_per_second");
      if (it == run.counters.end()) continue;
      const std::string name = run.benchmark_name();
      const size_t slash = name.find('/');
      const long size = slash == std::string::npos ? 0 : std::stol(name.substr(slash + 1));
      double mb = it->second.value / 1e6;
      if (name.rfind("BM_Ours", 0) == 0) ours_[size] = mb;
      else theirs_[size] = mb;
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\nSHA-256 MB/s   size      ours   openssl   ratio\n");
    for (const auto& [size, mb] : ours_) {
      auto it = theirs_.find(size);
      if (it == theirs_.end()) continue;
      std::printf("%21ld %9.1f %9.1f %7.2f\n", size, mb, it->second, mb / it->second);
    }
  }

 private:
  std::map<long, double> ours_, theirs_;  // MB/s by message size
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
