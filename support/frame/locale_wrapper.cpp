#include "support/frame/locale_wrapper.h"

intptr_t CWrapperIInfoLocaleVersion4::vOp0(intptr_t a, intptr_t b) { return m_piInner->vOp0(a, b); }
int32_t CWrapperIInfoLocaleVersion4::nGetVersion() { return 4; }
int32_t CWrapperIInfoLocaleVersion4::nGetNumber() { return m_piInner->nGetNumber(); }
int32_t CWrapperIInfoLocaleVersion4::nGetCodePage() { return m_piInner->nGetCodePage(); }
intptr_t CWrapperIInfoLocaleVersion4::vOp4(intptr_t a, intptr_t b) { return m_piInner->vOp4(a, b); }

int32_t CWrapperIInfoLocaleVersion4::nCompareFlags(uint32_t flags, const char16_t* a, int32_t na,
                                                   const char16_t* b, int32_t nb) {
  return m_piInner->nCompareFlags(flags, a, na, b, nb);
}

intptr_t CWrapperIInfoLocaleVersion4::vOp6(intptr_t a, intptr_t b) { return m_piInner->vOp6(a, b); }

int32_t CWrapperIInfoLocaleVersion4::nCompare(uint32_t locale, uint32_t flags, const char16_t* a,
                                              int32_t na, const char16_t* b, int32_t nb) {
  return m_piInner->nCompare(locale, flags, a, na, b, nb);
}

intptr_t CWrapperIInfoLocaleVersion4::vOp8(intptr_t a, intptr_t b) { return m_piInner->vOp8(a, b); }
intptr_t CWrapperIInfoLocaleVersion4::vOp9(intptr_t a, intptr_t b) { return m_piInner->vOp9(a, b); }
intptr_t CWrapperIInfoLocaleVersion4::vOp10(intptr_t a, intptr_t b) { return m_piInner->vOp10(a, b); }

char16_t CWrapperIInfoLocaleVersion4::cMapChar(uint32_t locale, uint32_t flags, char16_t c) {
  return m_piInner->cMapChar(locale, flags, c);
}

intptr_t CWrapperIInfoLocaleVersion4::vOp12(intptr_t a, intptr_t b) { return m_piInner->vOp12(a, b); }

int32_t CWrapperIInfoLocaleVersion4::nMapText(uint32_t locale, uint32_t flags, const char16_t* src,
                                              int32_t n, char16_t* dst, int32_t ndst) {
  return m_piInner->nMapText(locale, flags, src, n, dst, ndst);
}

intptr_t CWrapperIInfoLocaleVersion4::vOp14(intptr_t a, intptr_t b) { return m_piInner->vOp14(a, b); }
intptr_t CWrapperIInfoLocaleVersion4::vOp15(intptr_t a, intptr_t b) { return m_piInner->vOp4(a, b); }
intptr_t CWrapperIInfoLocaleVersion4::vOp16(intptr_t a, intptr_t b) { return m_piInner->vOp16(a, b); }
intptr_t CWrapperIInfoLocaleVersion4::vOp17(intptr_t a, intptr_t b) { return m_piInner->vOp17(a, b); }
qg::IInfoLocale* CWrapperIInfoLocaleVersion4::piGetCollation() { return this; }
int32_t CWrapperIInfoLocaleVersion4::nGetLanguage() { return m_piInner->nGetLanguage(); }
intptr_t CWrapperIInfoLocaleVersion4::vOp20(intptr_t a, intptr_t b) { return m_piInner->vOp20(a, b); }

qg::LanguagePair CWrapperIInfoLocaleVersion4::GetLanguagePair() {
  return qg::LanguagePair{m_piInner->nGetLanguage(), 2};
}
