#include "testrunner/journal/journal_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <csignal>
#include <cstring>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <fstream>
#include <iterator>
#include <string>

#include "support/platform/clock.h"
#include "support/streams/temp_dir_fixture.h"
#include "testrunner/journal/journal_test_util.h"

namespace {

using qgtest::JournalUtf8;
using qgtest::XmlLint;

class JournalTest : public qgtest::TempDirTest {};

TEST_F(JournalTest, GoldenJournalByteForByte) {
  qg::FakeClock clock;
  clock.SetTickCount(0xFFFFFFF0u);  // signed: -16
  const std::string path = Path("sub/dir/golden.jnres");
  {
    CFichierJournalTest journal;
    ASSERT_TRUE(journal.bOuvre(qgtest::U16(path).c_str()));
    journal.Ecrit(kJListe, u"L");
    clock.AdvanceMs(20);
    journal.EcritDebutTest(u"S", u"G", u"L", 1, 2, 3, 0xFFFFFFFFFFFFFFFFull);
    journal.Ecrit(kJJeu, u"");
    journal.EcritEntier64(kJNum, 1);
    journal.EcritParam(u"p", u"a&b");
    journal.Ferme(kJJeu);
    PositionCode position;
    position.pszLibelle = u"Clic";
    position.nLigne = 12;
    position.nIdFichier = 0xAB;
    position.nIdTrt = 0x1F;
    position.nIdObjet = 0x0000000100000002ull;
    journal.EcritPosition(position, -1);
    journal.Ecrit(12345, u"lost");  // unknown code
    journal.EcritFinTest();
    journal.EcritInfoPlateforme(7, u"PC", -2, 3, 0x1FF);
    journal.Ferme(kJListe);
  }
  const std::u16string expected =
      u"<?xml version=\"1.0\" encoding=\"UTF-16LE\"?>\r\n<DOC>"
      u"\r\n<Liste>L\r\n<Tic>-16</Tic>"
      u"\r\n<Test>\r\n<Tic>4</Tic>\r\n<Nom>S</Nom>\r\n<NomGroupe>G</NomGroupe>"
      u"\r\n<NomListe>L</NomListe>\r\n<TestID>1</TestID>\r\n<GroupeID>2</GroupeID>"
      u"\r\n<ListeID>3</ListeID>\r\n<TestCRC>18446744073709551615</TestCRC>"
      u"\r\n<Jeu>\r\n<Num>1</Num>\r\n<Param>\r\n<Nom>p</Nom>\r\n<Valeur>a&amp;b</Valeur>"
      u"\r\n</Param>\r\n</Jeu>"
      u"\r\n<Position>\r\n<Libelle>Clic</Libelle>\r\n<Ligne>12</Ligne>"
      u"\r\n<IdFichier>000000ab</IdFichier>\r\n<IdTrt>0000001f</IdTrt>"
      u"\r\n<IdObjet>0000000100000002</IdObjet>\r\n</Position>"
      u"\r\n<Tac>4</Tac>\r\n</Test>"
      u"\r\n<InfoPlateforme>\r\n<HASH>7</HASH>\r\n<Nom>PC</Nom>\r\n<Type>-2</Type>"
      u"\r\n<TypeMateriel>3</TypeMateriel>\r\n<Orientation>255</Orientation>"
      u"\r\n</InfoPlateforme>"
      u"\r\n<Tac>4</Tac>\r\n</Liste>\r\n</DOC>";
  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(bytes.size(), expected.size() * 2);
  EXPECT_EQ(std::memcmp(bytes.data(), expected.data(), bytes.size()), 0) << JournalUtf8(path);
  EXPECT_EQ(bytes.substr(0, 96).size(), 96u);
  EXPECT_TRUE(XmlLint(path));
  EXPECT_EQ(qgtest::XPath(path, "string(/DOC/Liste/Test/Position/IdTrt)"), "0000001f");
}

TEST_F(JournalTest, EscapingTable) {
  const struct {
    std::u16string in;
    std::u16string out;
  } cases[] = {
      {u"a&<b>'\"", u"a&amp;&lt;b&gt;&apos;&quot;"},
      {u"&amp;", u"&amp;amp;"},
      {u"x\u0007y\tz\r\n", u"x y\tz\r\n"},
      {u"\uFFFE\uFFFD\uE000\uD7FF", u" \uFFFD\uE000\uD7FF"},
      {u"\U0001F600", u"  "},          // a surrogate pair: two spaces
      {std::u16string(1, u'\xD800') + u"a", u" a"},  // a lone surrogate
  };
  for (const auto& c : cases) EXPECT_EQ(EchappeTexteXML(c.in.c_str()), c.out);
  EXPECT_EQ(EchappeTexteXML(nullptr), u"");

  const std::string path = Path("escaped.jnres");
  {
    CFichierJournalTest journal;
    ASSERT_TRUE(journal.bOuvre(qgtest::U16(path).c_str()));
    journal.Ecrit(kJErreur, u"");
    for (const auto& c : cases) journal.Ecrit(kJLibelle, c.in.c_str());
    journal.Ferme(kJErreur);
  }
  EXPECT_TRUE(XmlLint(path));
  EXPECT_EQ(qgtest::XPath(path, "string(/DOC/Erreur/Libelle[1])"), "a&<b>'\"");
}

TEST_F(JournalTest, PathsThatCannotBeWrittenGiveNoJournal) {
  CFichierJournalTest journal;
  const std::u16string long_path = u"/tmp/" + std::u16string(256, u'x');  // 261 characters
  EXPECT_FALSE(journal.bOuvre(long_path.c_str()));
  EXPECT_FALSE(journal.bOuvre(nullptr));
  EXPECT_FALSE(journal.bOuvre(u""));
  EXPECT_FALSE(journal.bEstOuvert());
  // Writers on a closed journal do nothing.
  CFichierJournalTest closed;
  closed.Ecrit(kJListe, u"L");
  closed.Ferme(kJListe);
  EXPECT_FALSE(closed.bVide());
}

TEST_F(JournalTest, FailedWritesAreRemembered) {
  CFichierJournalTest journal;
  ASSERT_TRUE(journal.bOuvre(u"/dev/full"));
  journal.Ecrit(kJListe, u"L");
  journal.Ferme(kJListe);
  EXPECT_TRUE(journal.bEchecEcriture());
  EXPECT_FALSE(journal.bVide());
}

// Closing closes every element still open, last first, timed ones with
// their "Tac": a list left started ends a well-formed journal.
TEST_F(JournalTest, CloseEndsEveryOpenElement) {
  const std::string path = Path("open.jnres");
  CFichierJournalTest journal;
  ASSERT_TRUE(journal.bOuvre(qgtest::U16(path).c_str()));
  journal.Ecrit(kJListe, u"L");
  journal.Ecrit(kJGroupe, u"G");
  journal.Ecrit(kJTest, u"");
  journal.Ecrit(kJErreur, u"");
  journal.Ferme(kJErreur);
  journal.EcritFinTest();
  journal.Ecrit(kJJeu, u"");
  EXPECT_TRUE(journal.bFerme());
  EXPECT_FALSE(journal.bEstOuvert());
  EXPECT_FALSE(journal.bFerme());  // nothing open any more
  const std::string text = JournalUtf8(path);
  const size_t jeu = text.rfind("</Jeu>");
  ASSERT_NE(jeu, std::string::npos) << text;
  EXPECT_NE(text.find("</Groupe>\r\n<Tac>", jeu), std::string::npos) << text;
  EXPECT_EQ(text.substr(text.size() - 16), "</Liste>\r\n</DOC>");
  EXPECT_TRUE(XmlLint(path)) << text;
}

// Only the closing write fails (the file may not grow past its size
// before "</DOC>"): the close says so.
TEST_F(JournalTest, AFailedCloseIsReported) {
  const std::string path = Path("cut.jnres");
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    CFichierJournalTest journal;
    if (!journal.bOuvre(qgtest::U16(path).c_str())) _exit(2);
    journal.Ecrit(kJListe, u"L");
    if (!journal.bVide()) _exit(3);
    struct stat st {};
    stat(path.c_str(), &st);
    // Room for the "Tac" and "</Liste>", not for "</DOC>".
    const rlimit cut{static_cast<rlim_t>(st.st_size) + 60, RLIM_INFINITY};
    setrlimit(RLIMIT_FSIZE, &cut);
    _exit(journal.bFerme() ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_FALSE(XmlLint(path));
}

// One writer at a time: a second writer of the same path is refused and
// the first one's journal stays whole; once it is closed the path is free.
TEST_F(JournalTest, ASecondWriterIsRefused) {
  const std::string path = Path("shared.jnres");
  CFichierJournalTest first, second;
  ASSERT_TRUE(first.bOuvre(qgtest::U16(path).c_str()));
  first.Ecrit(kJListe, u"A");
  ASSERT_TRUE(first.bVide());
  EXPECT_FALSE(second.bOuvre(qgtest::U16(path).c_str()));
  EXPECT_EQ(second.nEchecOuverture(), CFichierJournalTest::kDejaEcrit);
  second.Ecrit(kJListe, u"B");
  EXPECT_FALSE(second.bFerme());
  EXPECT_TRUE(first.bFerme());
  EXPECT_TRUE(XmlLint(path));
  EXPECT_EQ(qgtest::XPath(path, "count(/DOC/Liste)"), "1");
  ASSERT_TRUE(second.bOuvre(qgtest::U16(path).c_str()));
  second.Ecrit(kJListe, u"B");
  EXPECT_TRUE(second.bFerme());
  EXPECT_NE(JournalUtf8(path).find("<Liste>B"), std::string::npos);
}

}  // namespace
