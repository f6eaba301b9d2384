#include "browser/context_menu.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "browser/fake_callback.h"

namespace qg::web {
namespace {

class FakeModel : public IMenuModel {
 public:
  explicit FakeModel(std::vector<std::pair<int32_t, std::u16string>> items) : items_(std::move(items)) {}
  int32_t Count() override { return static_cast<int32_t>(items_.size()); }
  int32_t CommandIdAt(int32_t i) override { return items_[i].first; }
  std::u16string LabelAt(int32_t i) override { return items_[i].second; }
  void RemoveAt(int32_t i) override { items_.erase(items_.begin() + i); }
  std::vector<std::pair<int32_t, std::u16string>> items_;
};

class FakeRun : public IMenuRunCallback {
 public:
  void Continue(int32_t id, int32_t) override { log.push_back("continue " + std::to_string(id)); }
  void Cancel() override { log.push_back("cancel"); }
  std::vector<std::string> log;
};

FakeModel Suggestions() {
  return FakeModel({{201, u"cat"}, {202, u"cap"}, {-1, u""}, {300, u"Add"}, {301, u"Ignore"}});
}

TEST(ContextMenuTest, SpellMenuObject) {
  FakeModel model = Suggestions();
  auto run = std::make_shared<FakeRun>();
  auto* menu = new CIIMenuCorrecteurCEF(u"caz", 2, model, run);
  ASSERT_EQ(menu->nGetItemCount(), 4) << "separators are left out";
  EXPECT_EQ(std::u16string(menu->pszGetItemLabel(2)), u"Add");
  EXPECT_EQ(menu->pszGetItemLabel(4), nullptr);
  EXPECT_EQ(menu->pszGetItemLabel(-1), nullptr);
  EXPECT_FALSE(menu->bIsOtherItem(1));
  EXPECT_TRUE(menu->bIsOtherItem(2));
  menu->ChooseItem(4);  // the count itself: nothing
  EXPECT_TRUE(run->log.empty());
  menu->ChooseItem(1);
  menu->ChooseItem(0);  // continues once only
  menu->Release();
  EXPECT_EQ(run->log, (std::vector<std::string>{"continue 202"}));

  auto unchosen = std::make_shared<FakeRun>();
  (new CIIMenuCorrecteurCEF(u"caz", 2, model, unchosen))->Release();
  EXPECT_EQ(unchosen->log, (std::vector<std::string>{"cancel"}));
}

TEST(ContextMenuTest, BeforeMenuDropsEightItemsOnAMisspelledWord) {
  std::vector<std::pair<int32_t, std::u16string>> items;
  for (int i = 0; i < 10; ++i) items.push_back({i, u"x"});
  FakeModel model(items);
  OnBeforeContextMenu({}, model);
  EXPECT_EQ(model.Count(), 10);
  ContextMenuParams p;
  p.misspelled_word = u"caz";
  OnBeforeContextMenu(p, model);
  ASSERT_EQ(model.Count(), 2);
  EXPECT_EQ(model.CommandIdAt(0), 8);
}

TEST(ContextMenuTest, RunContextMenuAnswers) {
  struct Host : CCallbackFromKQMBrowserBase {
    int32_t AddRef() override { return 1; }
    int32_t Release() override { return 1; }
    int32_t nGetVersion() override { return version; }
    int32_t version = 17;
    bool bOnLinkContextMenu(const char16_t*) override { return link; }
    bool bOnContextMenu(int32_t, int32_t) override { return generic; }
    bool bOnSpellCheckMenu(int32_t, int32_t, IMenuCorrecteurCEF*) override { return spell; }
    bool link = true, generic = true, spell = true;
  };
  ContextMenuParams link;
  link.on_link = true;
  link.link_url = u"http://x/";
  ContextMenuParams spell;
  spell.misspelled_word = u"caz";
  spell.suggestion_count = 2;
  const struct {
    const char* name;
    const ContextMenuParams* params;
    int32_t version;
    bool link, generic, spell, handled;
  } cases[] = {
      {"link refused by the host", &link, 17, false, true, true, true},
      {"link allowed, generic shown", &link, 17, true, true, true, false},
      {"link allowed, generic refused", &link, 17, true, false, true, true},
      {"spell menu before version 17", &spell, 16, true, true, false, false},
      {"spell menu, host shows its own", &spell, 17, true, true, false, true},
      {"spell menu, the browser's", &spell, 17, true, true, true, false},
  };
  for (const auto& c : cases) {
    Host host;
    host.version = c.version;
    host.link = c.link;
    host.generic = c.generic;
    host.spell = c.spell;
    FakeModel model = Suggestions();
    EXPECT_EQ(RunContextMenu(*c.params, model, std::make_shared<FakeRun>(), &host), c.handled)
        << c.name;
  }
  FakeModel model = Suggestions();
  EXPECT_FALSE(RunContextMenu({}, model, nullptr, nullptr)) << "no host: the browser's menu";
}

TEST(ContextMenuTest, PageCoordinatesAreRangeChecked) {
  const struct {
    devtools::Json v;
    bool ok;
    int32_t x;
  } cases[] = {
      {12.7, true, 12},         {-3.5, true, -3},      {2147483647.0, true, 2147483647},
      {-2147483648.0, true, INT32_MIN}, {2147483648.0, false, 0}, {1e300, false, 0},
      {-1e300, false, 0},       {"5", false, 0},       {nullptr, false, 0},
      {devtools::Json(18446744073709551615ull), false, 0},
  };
  for (const auto& c : cases) {
    int32_t x = 0;
    EXPECT_EQ(MenuCoordinate(c.v, &x), c.ok) << c.v.dump();
    if (c.ok) {
      EXPECT_EQ(x, c.x) << c.v.dump();
    }
  }
}

}  // namespace
}  // namespace qg::web
