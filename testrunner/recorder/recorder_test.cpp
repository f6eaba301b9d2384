#include "testrunner/recorder/recorder.h"

#include <gtest/gtest.h>

TEST(Recorder, OperationsWithoutRecorderDoNothing) {
  EXPECT_EQ(pclEnregistrement(), nullptr);
  EnregistreEntier(1);
  EnregistreTexteEntier(u"a", 2);
  EnregistreAppel(u"a", 1, u"b");
  EnregistreBoiteMessage(4);
  DebutSaisieTexte(u"F.Saisie");
  FinSaisieTexte(u"x", 0);
  EXPECT_EQ(pclEnregistrement(), nullptr);
  EXPECT_EQ(LibereEnregistrementTest(), 0);
}
