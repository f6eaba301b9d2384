#include <gtest/gtest.h>

#include <string>

#include "errors/catalogue.h"
#include "errors/module_errors.h"
#include "errors/xerror.h"
#include "host/core/info_locale.h"
#include "support/ctstring.h"
#include "support/frame/module_services.h"

namespace {

std::u16string Dump(const CXError& error, uint32_t flags) {
  CTString out = error.StringDump(flags);
  return out.pszGet() != nullptr ? std::u16string(out.pszGet()) : std::u16string();
}

class XErrorDumpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Clear();
    qg::SetBuildIdentifier(u"30.0.67.0");
  }
  void TearDown() override {
    Clear();
    qg::SetBuildIdentifier(nullptr);
  }
  static void Clear() {
    qg::Services().pfnMessageText = nullptr;
    qg::Services().piInfoLocale = nullptr;
    qg::InstallModuleCatalogue(nullptr);
  }

  // A driver error with a location, items and two sub-errors.
  static void Fill(CXError& error) {
    error.SetUserError(gstErrorDefModule76, 19, u"CLIENT");
    error.AddDebugMessage(u"IEQGMARIA=6.7");
    error.AddInfo(EIT_LOGICALTABLENAME, u"CLIENT");
    error.AddInfo(EIT_NATIVECODE, 19);
    error.SetFichier(u"session.cpp", 120, 0, u"bOpen");
    CXError first(76), second(76);
    first.SetUserError(gstErrorDefModule76, 29);
    second.AddUserMessageText(u"second cause");
    second.nSetNiveau(2);
    error.AddSubError(&first);
    error.AddSubError(&second);
  }
};

TEST_F(XErrorDumpTest, GoldenDumpOfSmallTree) {
  _CXErrorModule76 error;
  Fill(error);
  const std::u16string expected =
      u"Location of the error:\r\n"
      u"File: session.cpp (bOpen), line 120\r\n"
      u"User error message:\r\n"
      u"Unknown file <CLIENT>.\r\n"
      u"No transaction is running.\r\n"
      u"Error identifier: 19\r\n"
      u"Level: error\r\n"
      u"Further code: 0\r\n"
      u"System error code: none\r\n"
      u"System error message: none\r\n"
      u"Error definitions: qg300maria (30.0.67.0 - QGMARIA)\r\n"
      u"Debug information:\r\n"
      u"IEQGMARIA=6.7\r\n"
      u"Further information:\r\n"
      u"EIT_LOGICALTABLENAME : <CLIENT>\r\n"
      u"EIT_NATIVECODE : <19>\r\n"
      u"\r\n----- Sub-error 0 -----\r\n\r\n"
      u"User error message:\r\n"
      u"No transaction is running.\r\n"
      u"Error identifier: 29\r\n"
      u"Level: error\r\n"
      u"Further code: 0\r\n"
      u"System error code: none\r\n"
      u"System error message: none\r\n"
      u"Error definitions: qg300maria (30.0.67.0 - QGMARIA)\r\n"
      u"Debug information: none\r\n"
      u"Further information: none"
      u"\r\n----- Sub-error 1 -----\r\n\r\n"
      u"User error message:\r\n"
      u"second cause\r\n"
      u"Error identifier: 0\r\n"
      u"Level: warning\r\n"
      u"Further code: 0\r\n"
      u"System error code: none\r\n"
      u"System error message: none\r\n"
      u"Error definitions: none\r\n"
      u"Debug information: none\r\n"
      u"Further information: none";
  EXPECT_EQ(Dump(error, 0xFFF), expected);
}

TEST_F(XErrorDumpTest, ModifiersLeaveOutEmptySectionsTitlesAndSeparators) {
  _CXErrorModule76 error;
  Fill(error);
  // The sign bit: empty sections and a zero further code vanish, sub-errors
  // are dumped with the same flags plus their user message.
  EXPECT_EQ(Dump(error, qg::kDumpAll),
            u"Location of the error:\r\n"
            u"File: session.cpp (bOpen), line 120\r\n"
            u"User error message:\r\n"
            u"Unknown file <CLIENT>.\r\n"
            u"No transaction is running.\r\n"
            u"Error identifier: 19\r\n"
            u"Level: error\r\n"
            u"Error definitions: qg300maria (30.0.67.0 - QGMARIA)\r\n"
            u"Debug information:\r\n"
            u"IEQGMARIA=6.7\r\n"
            u"Further information:\r\n"
            u"EIT_LOGICALTABLENAME : <CLIENT>\r\n"
            u"EIT_NATIVECODE : <19>\r\n"
            u"\r\n----- Sub-error 0 -----\r\n\r\n"
            u"User error message:\r\n"
            u"No transaction is running.\r\n"
            u"Error identifier: 29\r\n"
            u"Level: error\r\n"
            u"Error definitions: qg300maria (30.0.67.0 - QGMARIA)"
            u"\r\n----- Sub-error 1 -----\r\n\r\n"
            u"User error message:\r\n"
            u"second cause\r\n"
            u"Error identifier: 0\r\n"
            u"Level: warning");

  // No separators between sections, no information title; no user title.
  EXPECT_EQ(Dump(error, qg::kDumpUserMessage | qg::kDumpInfos | qg::kDumpNoSeparator |
                            qg::kDumpNoUserTitle),
            u"Unknown file <CLIENT>.\r\nNo transaction is running."
            u"EIT_LOGICALTABLENAME : <CLIENT>\r\nEIT_NATIVECODE : <19>");
  // Sub-errors alone still show each sub-error's user message.
  std::u16string subs = Dump(error, qg::kDumpSubErrors);
  EXPECT_EQ(subs,
            u"\r\n----- Sub-error 0 -----\r\n\r\nUser error message:\r\nNo transaction is running."
            u"\r\n----- Sub-error 1 -----\r\n\r\nUser error message:\r\nsecond cause");
  EXPECT_EQ(Dump(error, 0), u"");
}

TEST_F(XErrorDumpTest, LevelsMapToTheirMessages) {
  struct Case {
    int32_t level;
    const char16_t* text;
  } cases[] = {
      {1, u"Level: no error"},          {2, u"Level: warning"},
      {3, u"Level: error"},             {0x40000004, u"Level: error"},
      {0x40000008, u"Level: error"},    {65537, u"Level: host error (65537)"},
      {65542, u"Level: host error (65542)"}, {0x20001, u"Level: host error (131073)"},
      {65543, u"Level: unknown (65543)"}, {0, u"Level: unknown (0)"},
      {-4, u"Level: unknown (-4)"},
  };
  for (const Case& c : cases) {
    CXError error(76);
    error.nSetNiveau(c.level);
    EXPECT_EQ(Dump(error, qg::kDumpLevel), c.text) << c.level;
  }
}

TEST_F(XErrorDumpTest, InformationLinesByType) {
  CXError error(76);
  error.AddInfo(EIT_RECNUM, int64_t{5000000000});
  error.AddInfo(EIT_HLOCKTIME, int64_t{-2});
  error.AddInfo(EIT_PILEZQ, u"line1");
  error.AddInfo(EIT_DATEHEURE, u"20261210");
  error.AddInfo(EIT_BASECODE, -1);
  error.AddInfo(EIT_POINTER, static_cast<const void*>(&error));  // no line
  EXPECT_EQ(Dump(error, qg::kDumpInfos | qg::kDumpNoSeparator),
            u"EIT_RECNUM : <5000000000>\r\n"
            u"EIT_HLOCKTIME : <-2>\r\n"
            u"EIT_PILEZQ :\r\nline1\r\n"
            u"EIT_DATEHEURE : 20261210\r\n"
            u"EIT_BASECODE : <-1>");
  CXError none(76);
  EXPECT_EQ(Dump(none, qg::kDumpInfos), u"Further information: none");
  EXPECT_EQ(Dump(none, qg::kDumpInfos | qg::kDumpSkipEmpty), u"");
}

TEST_F(XErrorDumpTest, LocationAndFurtherValues) {
  CXError error(76);
  error.SetFichier(u"a.fic");  // no line number
  error.SetComplement(u"extra", 7);
  error.SetCodeComplementaire(42);
  error.SetSystemErrorText(5, u"Access is denied.");
  EXPECT_EQ(Dump(error, qg::kDumpWhere | qg::kDumpCode | qg::kDumpSystemCode |
                            qg::kDumpSystemMessage),
            u"Location of the error:\r\nFile: a.fic\r\nDetail: extra (7)\r\n"
            u"Further code: 42\r\nSystem error code: 5\r\n"
            u"System error message:\r\nAccess is denied.");
}

TEST_F(XErrorDumpTest, TitlesFollowTheCurrentLanguage) {
  qghost::InfoLocale locale;
  locale.SetLanguagePair(12, 1);
  qg::Services().piInfoLocale = &locale;
  CXError error(76);
  error.AddUserMessageText(u"x");
  EXPECT_EQ(Dump(error, qg::kDumpUserMessage), u"Message d'erreur utilisateur :\r\nx");
  locale.SetLanguagePair(10, 2);
  EXPECT_EQ(Dump(error, qg::kDumpUserMessage), u"Mensaje para el usuario:\r\nx");
}

}  // namespace
