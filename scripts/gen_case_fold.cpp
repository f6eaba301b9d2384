// Prints the table of support/platform/case_fold.cpp: the simple case
// folding of every BMP code point that folds to another one, as runs
// {first, last, delta, step} (first, first + step, ... last fold to
// c + delta). Not part of the build; run by hand when the table is renewed:
//   g++ scripts/gen_case_fold.cpp -licuuc -o /tmp/gen && /tmp/gen
#include <unicode/uchar.h>

#include <cstdio>
#include <vector>

int main() {
  struct Run {
    unsigned first, last;
    int delta;
    unsigned step;
  };
  std::vector<Run> runs;
  for (unsigned c = 0; c < 0x10000; ++c) {
    if (c >= 0xD800 && c < 0xE000) continue;
    const unsigned f = static_cast<unsigned>(u_foldCase(static_cast<UChar32>(c), U_FOLD_CASE_DEFAULT));
    if (f == c || f > 0xFFFF) continue;
    const int delta = static_cast<int>(f) - static_cast<int>(c);
    if (!runs.empty() && runs.back().delta == delta) {
      Run& r = runs.back();
      const unsigned gap = c - r.last;
      if (r.first == r.last && (gap == 1 || gap == 2)) {
        r.step = gap;
        r.last = c;
        continue;
      }
      if (r.first != r.last && gap == r.step) {
        r.last = c;
        continue;
      }
    }
    runs.push_back({c, c, delta, 1});
  }
  std::printf("// Unicode %s\n", U_UNICODE_VERSION);
  for (const Run& r : runs) {
    std::printf("    {0x%04X, 0x%04X, %d, %u},\n", r.first, r.last, r.delta, r.step);
  }
  return 0;
}
