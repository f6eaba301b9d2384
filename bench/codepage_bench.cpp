// The code-page layer against raw iconv on the same texts. The iconv
// reference keeps one descriptor open and resets it per conversion, as a
// caller with its own descriptor would. After the usual table, prints for
// each case the ratio of the layer's time to iconv's, both measured in this
// run (below 1.0: the layer is faster). 1252 and 65001 go through the
// layer's own codecs, the other code pages through its cached iconv.
#include <benchmark/benchmark.h>

#include <iconv.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
#include "support/platform/codepage.h"

namespace {

struct Case {
  std::string name;
  uint32_t code_page;
  const char* charset;
  bool decode;             // bytes to UTF-16, else UTF-16 to bytes
  std::u16string text;     // the UTF-16 side
  std::string bytes;       // the same text in the code page
};

std::u16string Repeat(const std::u16string& unit, size_t units) {
  std::u16string s;
  while (s.size() < units) s += unit;
  s.resize(units);
  return s;
}

std::vector<Case> MakeCases() {
  struct Source {
    const char* label;
    uint32_t code_page;
    const char* charset;
    std::u16string sample;
  };
  const Source sources[] = {
      {"1252", 1252, "CP1252", u"Caf\u00e9 cr\u00e8me \u20AC 12,50 \u2013 na\u00efve "},
      {"1250", 1250, "CP1250", u"P\u0159\u00edli\u0161 \u017elu\u0165ou\u010dk\u00fd k\u016f\u0148 "},
      {"932", 932, "CP932", u"\u65E5\u672C\u8A9E\u306E\u30C6\u30AD\u30B9\u30C8 abc "},
      {"65001", 65001, "UTF-8", u"Caf\u00e9 \u65E5\u672C \u0416\u0438\u0437\u043D\u044C "},
  };
  std::vector<Case> cases;
  for (const Source& s : sources) {
    for (size_t units : {64u, 4096u}) {
      std::u16string text = Repeat(s.sample, units);
      int n = qg::WideToMultiByte(s.code_page, text.data(), static_cast<int>(text.size()),
                                  nullptr, 0);
      std::string bytes(static_cast<size_t>(n), '\0');
      qg::WideToMultiByte(s.code_page, text.data(), static_cast<int>(text.size()),
                          bytes.data(), n);
      for (bool decode : {true, false}) {
        std::string name = std::string(decode ? "decode" : "encode") + "/" + s.label + "/" +
                           std::to_string(units);
        cases.push_back({name, s.code_page, s.charset, decode, text, bytes});
      }
    }
  }
  return cases;
}

const std::vector<Case>& Cases() {
  static const std::vector<Case> cases = MakeCases();
  return cases;
}

void Iconv(benchmark::State& state, const Case& c) {
  iconv_t cd = c.decode ? iconv_open("UTF-16LE", c.charset) : iconv_open(c.charset, "UTF-16LE");
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    state.SkipWithError("iconv_open failed");
    return;
  }
  std::vector<char> out(c.bytes.size() * 2 + c.text.size() * 4 + 16);
  const char* src = c.decode ? c.bytes.data() : reinterpret_cast<const char*>(c.text.data());
  size_t src_len = c.decode ? c.bytes.size() : c.text.size() * 2;
  for (auto _ : state) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(src);
    size_t in_left = src_len;
    char* op = out.data();
    size_t out_left = out.size();
    benchmark::DoNotOptimize(iconv(cd, &in, &in_left, &op, &out_left));
    benchmark::ClobberMemory();
  }
  iconv_close(cd);
}

void Layer(benchmark::State& state, const Case& c) {
  std::vector<char16_t> wide(c.bytes.size() + 16);
  std::vector<char> narrow(c.text.size() * 4 + 16);
  for (auto _ : state) {
    int n;
    if (c.decode) {
      n = qg::MultiByteToWide(c.code_page, c.bytes.data(), static_cast<int>(c.bytes.size()),
                              wide.data(), static_cast<int>(wide.size()));
    } else {
      n = qg::WideToMultiByte(c.code_page, c.text.data(), static_cast<int>(c.text.size()),
                              narrow.data(), static_cast<int>(narrow.size()));
    }
    benchmark::DoNotOptimize(n);
    benchmark::ClobberMemory();
  }
}

void PrintRatios(const qg::RatioReporter& r) {
  std::printf("\nratio of the code-page layer to raw iconv (same run, lower is faster)\n");
  for (const Case& c : Cases()) {
    double ratio;
    if (!r.Ratio("qg/" + c.name, "iconv/" + c.name, &ratio)) continue;
    std::printf("  %-20s %5.2f\n", c.name.c_str(), ratio);
  }
}

}  // namespace

int main(int argc, char** argv) {
  for (const Case& c : Cases()) {
    benchmark::RegisterBenchmark(("iconv/" + c.name).c_str(), Iconv, c);
    benchmark::RegisterBenchmark(("qg/" + c.name).c_str(), Layer, c);
  }
  return qg::RunBenchmarks(argc, argv, PrintRatios);
}
