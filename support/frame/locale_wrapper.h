// Presents a version-4 host locale interface as the current version: the
// version operation answers 4 and the language pair is {language, 2}.
#ifndef QG_SUPPORT_FRAME_LOCALE_WRAPPER_H_
#define QG_SUPPORT_FRAME_LOCALE_WRAPPER_H_

#include <cstdint>

#include "support/frame/host_services.h"

class CWrapperIInfoLocaleVersion4 final : public qg::IInfoLocale {
 public:
  CWrapperIInfoLocaleVersion4() = default;
  CWrapperIInfoLocaleVersion4(const CWrapperIInfoLocaleVersion4&) = delete;
  CWrapperIInfoLocaleVersion4& operator=(const CWrapperIInfoLocaleVersion4&) = delete;

  // The interface every operation forwards to; the wrapper does not own it.
  void SetInner(qg::IInfoLocale* inner) { m_piInner = inner; }
  qg::IInfoLocale* piGetInner() const { return m_piInner; }

  intptr_t vOp0(intptr_t a, intptr_t b) override;
  int32_t nGetVersion() override;  // 4
  int32_t nGetNumber() override;
  int32_t nGetCodePage() override;
  intptr_t vOp4(intptr_t a, intptr_t b) override;
  int32_t nCompareFlags(uint32_t flags, const char16_t* a, int32_t na,
                        const char16_t* b, int32_t nb) override;
  intptr_t vOp6(intptr_t a, intptr_t b) override;
  int32_t nCompare(uint32_t locale, uint32_t flags, const char16_t* a, int32_t na,
                   const char16_t* b, int32_t nb) override;
  intptr_t vOp8(intptr_t a, intptr_t b) override;
  intptr_t vOp9(intptr_t a, intptr_t b) override;
  intptr_t vOp10(intptr_t a, intptr_t b) override;
  char16_t cMapChar(uint32_t locale, uint32_t flags, char16_t c) override;
  intptr_t vOp12(intptr_t a, intptr_t b) override;
  int32_t nMapText(uint32_t locale, uint32_t flags, const char16_t* src, int32_t n,
                   char16_t* dst, int32_t ndst) override;
  intptr_t vOp14(intptr_t a, intptr_t b) override;
  intptr_t vOp15(intptr_t a, intptr_t b) override;  // inner operation 4
  intptr_t vOp16(intptr_t a, intptr_t b) override;
  intptr_t vOp17(intptr_t a, intptr_t b) override;
  qg::IInfoLocale* piGetCollation() override;       // the wrapper itself
  int32_t nGetLanguage() override;
  intptr_t vOp20(intptr_t a, intptr_t b) override;
  qg::LanguagePair GetLanguagePair() override;      // {inner operation 19, 2}

 private:
  qg::IInfoLocale* m_piInner = nullptr;
};

#endif  // QG_SUPPORT_FRAME_LOCALE_WRAPPER_H_
