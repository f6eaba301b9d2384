// The library's LZW coder against zlib at level 1 on the same inputs, both
// measured in this run. After the usual table, prints per input the MB/s of
// compression and decompression (of the uncompressed size) and the
// compressed size as a share of the input, for each coder.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
#include "support/lzw_compressor.h"

namespace {

using Bytes = std::vector<uint8_t>;

uint32_t Next(uint64_t& s) {
  s ^= s << 13;
  s ^= s >> 7;
  s ^= s << 17;
  return static_cast<uint32_t>(s >> 16);
}

// Words drawn from a vocabulary of 2000, with punctuation and line breaks.
Bytes Text(size_t n) {
  uint64_t s = 1;
  std::vector<std::string> words;
  for (int w = 0; w < 2000; ++w) {
    std::string word;
    for (uint32_t k = 2 + Next(s) % 9; k > 0; --k) word += 'a' + Next(s) % 26;
    words.push_back(word);
  }
  Bytes out;
  while (out.size() < n) {
    const std::string& w = words[Next(s) % words.size()];
    out.insert(out.end(), w.begin(), w.end());
    const uint32_t p = Next(s) % 16;
    out.push_back(p == 0 ? '.' : p == 1 ? '\n' : ' ');
  }
  out.resize(n);
  return out;
}

// Serialised records: counters, small enums, tags and short names.
Bytes Records(size_t n) {
  uint64_t s = 2;
  Bytes out;
  for (uint32_t i = 0; out.size() < n; ++i) {
    const uint32_t v[4] = {i, Next(s) % 8, 0xF188CEFFu, Next(s) % 1000};
    for (uint32_t x : v) {
      for (int b = 0; b < 32; b += 8) out.push_back(static_cast<uint8_t>(x >> b));
    }
    const char* names[] = {"Scenario", "JeuDeTest", "Groupe", "Parametre"};
    const char* name = names[Next(s) % 4];
    out.insert(out.end(), name, name + std::strlen(name) + 1);
  }
  out.resize(n);
  return out;
}

struct Input {
  const char* name;
  Bytes data;
};

const std::vector<Input>& Inputs() {
  static const std::vector<Input> inputs = {
      {"text 4MB", Text(4 << 20)},
      {"records 4MB", Records(4 << 20)},
  };
  return inputs;
}

Bytes LzwCompress(const Bytes& in) {
  CZLWCompresseur coder;
  Bytes out(coder.vnTailleSortieMax(in.size()));
  coder.SetEntree(in.data(), in.size());
  coder.SetSortie(out.data(), out.size());
  out.resize(coder.vnCompresse());
  return out;
}

Bytes ZlibCompress(const Bytes& in) {
  uLongf n = compressBound(in.size());
  Bytes out(n);
  compress2(out.data(), &n, in.data(), in.size(), 1);
  out.resize(n);
  return out;
}

void Finish(benchmark::State& state, size_t in, size_t packed) {
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(in));
  state.counters["size"] = double(packed) / double(in);
  state.SetLabel(Inputs()[state.range(0)].name);
}

void BM_LzwCompress(benchmark::State& state) {
  const Bytes& in = Inputs()[state.range(0)].data;
  CZLWCompresseur coder;
  Bytes out(coder.vnTailleSortieMax(in.size()));
  size_t n = 0;
  for (auto _ : state) {
    coder.SetEntree(in.data(), in.size());
    coder.SetSortie(out.data(), out.size());
    n = coder.vnCompresse();
    benchmark::DoNotOptimize(out.data());
  }
  Finish(state, in.size(), n);
}

void BM_LzwDecompress(benchmark::State& state) {
  const Bytes& in = Inputs()[state.range(0)].data;
  const Bytes block = LzwCompress(in);
  CZLWCompresseur coder;
  Bytes out(in.size());
  for (auto _ : state) {
    coder.SetEntree(block.data(), block.size());
    coder.SetSortie(out.data(), out.size());
    if (coder.vnDecompresse() != int64_t(in.size())) state.SkipWithError("decode");
    benchmark::DoNotOptimize(out.data());
  }
  Finish(state, in.size(), block.size());
}

void BM_ZlibCompress(benchmark::State& state) {
  const Bytes& in = Inputs()[state.range(0)].data;
  Bytes out(compressBound(in.size()));
  uLongf n = 0;
  for (auto _ : state) {
    n = out.size();
    compress2(out.data(), &n, in.data(), in.size(), 1);
    benchmark::DoNotOptimize(out.data());
  }
  Finish(state, in.size(), n);
}

void BM_ZlibDecompress(benchmark::State& state) {
  const Bytes& in = Inputs()[state.range(0)].data;
  const Bytes block = ZlibCompress(in);
  Bytes out(in.size());
  for (auto _ : state) {
    uLongf n = out.size();
    if (uncompress(out.data(), &n, block.data(), block.size()) != Z_OK) {
      state.SkipWithError("decode");
    }
    benchmark::DoNotOptimize(out.data());
  }
  Finish(state, in.size(), block.size());
}

BENCHMARK(BM_LzwCompress)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibCompress)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LzwDecompress)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibDecompress)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);

// A table comparing the two coders per input; a figure is 0 for a case
// that did not run.
void PrintFigures(const qg::RatioReporter& r) {
  std::printf("\n%-12s %-6s %10s %10s %8s\n", "input", "coder", "comp MB/s",
              "dec MB/s", "size");
  for (size_t input = 0; input < Inputs().size(); ++input) {
    const std::string arg = "/" + std::to_string(input);
    const std::string lzw_c = "BM_LzwCompress" + arg, lzw_d = "BM_LzwDecompress" + arg;
    const std::string zlib_c = "BM_ZlibCompress" + arg, zlib_d = "BM_ZlibDecompress" + arg;
    if (!r.Ran(lzw_c) && !r.Ran(lzw_d) && !r.Ran(zlib_c) && !r.Ran(zlib_d)) continue;
    auto mbs = [&r](const std::string& run) { return r.Counter(run, "bytes_per_second") / 1e6; };
    const double lzw_size = r.Counter(lzw_c, "size");  // compressed / input
    const double zlib_size = r.Counter(zlib_c, "size");
    const char* name = Inputs()[input].name;
    std::printf("%-12s %-6s %10.1f %10.1f %7.1f%%\n", name, "lzw", mbs(lzw_c),
                mbs(lzw_d), 100 * lzw_size);
    std::printf("%-12s %-6s %10.1f %10.1f %7.1f%%\n", name, "zlib-1", mbs(zlib_c),
                mbs(zlib_d), 100 * zlib_size);
    std::printf("%-12s %-6s %10.2f %10.2f %8.2f\n", name, "ratio",
                mbs(lzw_c) / mbs(zlib_c), mbs(lzw_d) / mbs(zlib_d), lzw_size / zlib_size);
  }
}

}  // namespace

int main(int argc, char** argv) { return qg::RunBenchmarks(argc, argv, PrintFigures); }
