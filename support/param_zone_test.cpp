#include "support/param_zone.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace {

std::u16string U16(const std::string& s) { return std::u16string(s.begin(), s.end()); }

bool bExiste(const std::u16string& name) {
  const int fd = shm_open(("/" + std::string(name.begin(), name.end())).c_str(), O_RDONLY, 0);
  if (fd < 0) return false;
  close(fd);
  return true;
}

ContenuZone Contenu() {
  ContenuZone zone;
  zone.tab[2].push_back(ParamTexte(kCleSelection, u"G1.S1"));
  return zone;
}

// A zone lives as long as anyone holds it, and goes with its last holder
// whichever of creator and user that is.
TEST(ParamZone, GoesWithItsLastHolder) {
  const std::u16string base = U16("qg_zone_last_" + std::to_string(getpid()) + "_");
  {
    auto creator = std::make_unique<CTransBufferParam>();
    ASSERT_TRUE(creator->bCree(base.c_str(), Contenu()));
    const std::u16string name = creator->clNom();
    CTransBufferParam user;
    ASSERT_TRUE(user.bOuvre(name.c_str()));
    creator.reset();
    EXPECT_TRUE(bExiste(name));  // the user still holds it
    CTransBufferParam late;
    EXPECT_TRUE(late.bOuvre(name.c_str()));
    EXPECT_EQ(late.Texte(kCleSelection), u"G1.S1");
    late.Libere();
    EXPECT_TRUE(bExiste(name));
    user.Libere();
    EXPECT_FALSE(bExiste(name));
  }
  {
    CTransBufferParam creator;
    ASSERT_TRUE(creator.bCree(base.c_str(), Contenu()));
    const std::u16string name = creator.clNom();
    creator.Libere();
    EXPECT_FALSE(bExiste(name));
  }
}

// A holder that dies without letting go (a crash, a signal) leaves its
// zone without holder: the next zone made from the base removes it.
TEST(ParamZone, ZonesOfDeadHoldersAreRemoved) {
  const std::u16string base = U16("qg_zone_dead_" + std::to_string(getpid()) + "_");
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    auto* zone = new CTransBufferParam;  // never destroyed
    _exit(zone->bCree(base.c_str(), Contenu()) ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ASSERT_TRUE(bExiste(base));
  // A held zone of the same base stays.
  CTransBufferParam held;
  ASSERT_TRUE(held.bOuvre(base.c_str()));
  CTransBufferParam next;
  ASSERT_TRUE(next.bCree(base.c_str(), Contenu()));
  EXPECT_EQ(next.clNom(), base + u"0");
  held.Libere();  // the last holder of the dead one's zone
  EXPECT_FALSE(bExiste(base));

  const pid_t second = fork();
  ASSERT_GE(second, 0);
  if (second == 0) {
    auto* zone = new CTransBufferParam;
    _exit(zone->bCree(base.c_str(), Contenu()) && zone->clNom() == base ? 0 : 1);
  }
  ASSERT_EQ(waitpid(second, &status, 0), second);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ASSERT_TRUE(bExiste(base));
  CTransBufferParam after;
  ASSERT_TRUE(after.bCree(base.c_str(), Contenu()));
  EXPECT_EQ(after.clNom(), base);  // the orphan is gone, its name free
  next.Libere();
  after.Libere();
  EXPECT_FALSE(bExiste(base));
  EXPECT_FALSE(bExiste(base + u"0"));
}

}  // namespace
