#include "testrunner/recorder/recorder.h"

// Input capture is not there yet: no recorder is ever created, so every
// runner operation does nothing.

int32_t CreeEnregistrementTest(int32_t, std::u16string&) { return 0; }
int32_t LibereEnregistrementTest() { return 0; }
CEnregistrementTest* pclEnregistrement() { return nullptr; }
IEnregistrementTest* piEnregistrement() { return nullptr; }

void EnregistreEntier(int32_t) {}
void EnregistreTexteEntier(const char16_t*, int32_t) {}
void EnregistreAppel(const char16_t*, int32_t, const char16_t*) {}
void EnregistreEntierEnregistrement(int32_t) {}
void EnregistreEntierValeur(int32_t, const CAny*) {}
void EnregistreDeuxTextes(const char16_t*, const char16_t*) {}
void EnregistreBoiteMessage(int32_t) {}
void EnregistreElement(const void*, size_t) {}
void EnregistreValeur(const CAny*) {}
void DebutSaisieTexte(const char16_t*) {}
void FinSaisieTexte(const char16_t*, uint16_t) {}
void SetContexteElement(const char16_t*, int32_t, void*) {}
void EffaceContexteElement() {}
