// Context menus and spell checking: the spell-check menu object over a menu
// model, the rules that decide whether a menu shows, and the console
// commands that switch spell checking and its language.
#ifndef QG_BROWSER_CONTEXT_MENU_H_
#define QG_BROWSER_CONTEXT_MENU_H_

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "browser/devtools/message.h"
#include "browser/web_api.h"

namespace qg::web {

class CallbackRef;

// The menu of one context-menu request, in model order.
class IMenuModel {
 public:
  virtual ~IMenuModel() = default;
  virtual int32_t Count() = 0;
  virtual int32_t CommandIdAt(int32_t index) = 0;
  virtual std::u16string LabelAt(int32_t index) = 0;
  virtual void RemoveAt(int32_t index) = 0;
};

// Ends a context-menu request: one of the two, once.
class IMenuRunCallback {
 public:
  virtual ~IMenuRunCallback() = default;
  virtual void Continue(int32_t command_id, int32_t event_flags) = 0;
  virtual void Cancel() = 0;
};

struct ContextMenuParams {
  bool on_link = false;
  std::u16string link_url;
  std::u16string misspelled_word;
  int32_t suggestion_count = 0;
  int32_t x = 0, y = 0;
};

class CIIMenuCorrecteurCEF final : public IMenuCorrecteurCEF {
 public:
  CIIMenuCorrecteurCEF(std::u16string word, int32_t suggestions, IMenuModel& model,
                       std::shared_ptr<IMenuRunCallback> callback);

  int32_t AddRef() override { return ++refs_; }
  int32_t Release() override;
  int32_t nGetItemCount() override { return static_cast<int32_t>(labels_.size()); }
  const char16_t* pszGetItemLabel(int32_t index) override;
  bool bIsOtherItem(int32_t index) override { return index >= suggestions_; }
  void ChooseItem(int32_t index) override;

  const std::u16string& Word() const { return word_; }

 private:
  ~CIIMenuCorrecteurCEF();
  std::atomic<int32_t> refs_{1};
  std::u16string word_;
  std::vector<std::u16string> labels_;
  std::vector<int32_t> ids_;
  int32_t suggestions_;
  std::mutex mu_;
  std::shared_ptr<IMenuRunCallback> callback_;  // null once continued or cancelled
};

// Drops the first eight items when the click is on a misspelled word.
void OnBeforeContextMenu(const ContextMenuParams& params, IMenuModel& model);

// True when the module handled the menu (none is shown).
bool RunContextMenu(const ContextMenuParams& params, IMenuModel& model,
                    std::shared_ptr<IMenuRunCallback> callback, ICallbackFromKQMBrowser* host);

// A click coordinate sent by the page: a number within 32 bits, truncated;
// false for anything else.
bool MenuCoordinate(const devtools::Json& v, int32_t* out);

}  // namespace qg::web

#endif  // QG_BROWSER_CONTEXT_MENU_H_
