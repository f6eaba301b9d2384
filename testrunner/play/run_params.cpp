#include "testrunner/play/run_params.h"

#include "support/param_zone.h"

void CParamTest::Lit(const CTransBufferParam& zone) {
  bPresent = true;
  nEtat = zone.nNombre(kCleEtat, nEtat);
  clSelection = zone.Texte(kCleSelection, clSelection);
  clSortie = zone.Texte(kCleSortie, clSortie);
  clRepertoire = zone.Texte(kCleRepertoire, clRepertoire);
  clListe = zone.Texte(kCleListe, clListe);
  nValeur = zone.nNombre(kCleValeur, nValeur);
  clTexte = zone.Texte(kCleTexte, clTexte);
}
