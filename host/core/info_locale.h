// Stand-in for the host's locale interface (test equipment).
//
// InfoLocale answers version 5 and code page 1252. Comparison (operation 7
// and the flag-only operation 5) and mapping (operations 11 and 13) use one
// fold: flag 0x1 folds case, flag 0x2 removes diacritics (accented Latin-1
// letters become their base letter, combining marks U+0300..U+036F vanish).
// Two texts therefore compare equal under some flags exactly when their
// mappings under the same flags are equal. Order is by folded unit value.
//
// InfoLocaleV4 is an older host: operation 1 answers 4 and operation 19 the
// language; it has no operation 21 (calling it counts as a fault).
#ifndef QG_HOST_CORE_INFO_LOCALE_H_
#define QG_HOST_CORE_INFO_LOCALE_H_

#include <atomic>
#include <cstdint>

#include "support/frame/host_services.h"

namespace qghost {

class InfoLocale : public qg::IInfoLocale {
 public:
  InfoLocale();
  virtual ~InfoLocale();

  InfoLocale(const InfoLocale&) = delete;
  InfoLocale& operator=(const InfoLocale&) = delete;

  // qg::IInfoLocale.
  intptr_t vOp0(intptr_t a, intptr_t b) override;
  int32_t nGetVersion() override;                                   // 1
  int32_t nGetNumber() override;                                    // 2
  int32_t nGetCodePage() override;                                  // 3
  intptr_t vOp4(intptr_t a, intptr_t b) override;
  int32_t nCompareFlags(uint32_t flags, const char16_t* a, int32_t na,
                        const char16_t* b, int32_t nb) override;    // 5
  intptr_t vOp6(intptr_t a, intptr_t b) override;
  int32_t nCompare(uint32_t locale, uint32_t flags, const char16_t* a, int32_t na,
                   const char16_t* b, int32_t nb) override;         // 7
  intptr_t vOp8(intptr_t a, intptr_t b) override;
  intptr_t vOp9(intptr_t a, intptr_t b) override;
  intptr_t vOp10(intptr_t a, intptr_t b) override;
  char16_t cMapChar(uint32_t locale, uint32_t flags, char16_t c) override;  // 11
  intptr_t vOp12(intptr_t a, intptr_t b) override;
  int32_t nMapText(uint32_t locale, uint32_t flags, const char16_t* src, int32_t n,
                   char16_t* dst, int32_t ndst) override;           // 13
  intptr_t vOp14(intptr_t a, intptr_t b) override;
  intptr_t vOp15(intptr_t a, intptr_t b) override;
  intptr_t vOp16(intptr_t a, intptr_t b) override;
  intptr_t vOp17(intptr_t a, intptr_t b) override;
  qg::IInfoLocale* piGetCollation() override;                       // 18
  int32_t nGetLanguage() override;                                  // 19
  intptr_t vOp20(intptr_t a, intptr_t b) override;
  qg::LanguagePair GetLanguagePair() override;                      // 21

  // Configuration.
  void SetCodePage(int32_t code_page) { code_page_ = code_page; }
  void SetNumber(int32_t number) { number_ = number; }
  void SetLanguagePair(int32_t language, int32_t variant) {
    language_ = language;
    variant_ = variant;
  }

  // How many times operation `op` (0..21) was called.
  int nCalls(int op) const;
  // Calls of operations the modules must not use (placeholders, or 21 on a
  // version-4 host).
  int nFaults() const { return faults_.load(); }

  // The fold shared by comparison and mapping; 0 means the unit vanishes.
  static char16_t Fold(uint32_t flags, char16_t c);

 protected:
  void Count(int op);
  void CountFault() { faults_.fetch_add(1); }

  int32_t code_page_ = 1252;
  int32_t number_ = 0;
  int32_t language_ = 9;
  int32_t variant_ = 1;

 private:
  std::atomic<int> calls_[22];
  std::atomic<int> faults_{0};
};

class InfoLocaleV4 final : public InfoLocale {
 public:
  InfoLocaleV4();
  int32_t nGetVersion() override;        // 4
  int32_t nGetLanguage() override;       // 19
  qg::LanguagePair GetLanguagePair() override;  // absent on version 4: fault
};

}  // namespace qghost

#endif  // QG_HOST_CORE_INFO_LOCALE_H_
