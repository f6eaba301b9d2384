// Stand-in of the application elements the test runner's language
// functions act on: plain fields, and a log of what was asked of them.
#ifndef QG_HOST_CORE_LANGUAGE_HOST_H_
#define QG_HOST_CORE_LANGUAGE_HOST_H_

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "host/core/external_execution.h"
#include "support/frame/language_abi.h"

namespace qghost {

class LanguageElement : public qg::IElementLangage {
 public:
  int32_t nType() override { return type; }
  const char16_t* pszNom() override { return name.c_str(); }
  qg::IElementLangage* piFenetre() override { return window != nullptr ? window : this; }
  int32_t bVisible() override { return visible ? 1 : 0; }
  int32_t bActif() override { return enabled ? 1 : 0; }
  int32_t nEtat() override { return state; }
  int32_t nNbItems() override { return has_items ? static_cast<int32_t>(items.size()) : -1; }
  int32_t bRectangleItem(int32_t item, int32_t rect[4]) override {
    auto it = rectangles.find(item);
    if (it == rectangles.end()) return 0;
    for (int i = 0; i < 4; ++i) rect[i] = it->second[i];
    return 1;
  }
  int32_t bSelectionne(int32_t kind, int32_t index, qg::IElementLangage* second) override {
    log.push_back("select " + std::to_string(kind) + " " + std::to_string(index) +
                  (second != nullptr ? " second" : ""));
    return answer ? 1 : 0;
  }
  int32_t bFixeTexte(const char16_t*, int32_t a, int32_t b) override {
    log.push_back("set text " + std::to_string(a) + " " + std::to_string(b));
    return answer ? 1 : 0;
  }
  int32_t bInsereTexte(const char16_t*, int32_t position) override {
    log.push_back("insert text " + std::to_string(position));
    return answer ? 1 : 0;
  }
  int32_t bSelectionneLigne(int32_t row) override {
    log.push_back("row " + std::to_string(row));
    return answer ? 1 : 0;
  }
  int32_t bSelectionneTexte(const char16_t*) override {
    log.push_back("select text");
    return answer ? 1 : 0;
  }
  int32_t bGlisse(const int32_t from[2], const int32_t to[2], int32_t, int32_t) override {
    log.push_back("drag " + std::to_string(from[0]) + "," + std::to_string(from[1]) + " " +
                  std::to_string(to[0]) + "," + std::to_string(to[1]));
    return answer ? 1 : 0;
  }
  // The host pushes the element's identifier for the next call.
  void Localise() override {
    External().Empile(nullptr, &identifier, 1);
  }
  int32_t bActionEmulateur(int32_t action) override {
    log.push_back("emulator " + std::to_string(action));
    return answer ? 1 : 0;
  }

  int32_t type = 1;
  std::u16string name;
  qg::IElementLangage* window = nullptr;
  bool visible = true, enabled = true;
  int32_t state = 0;
  bool has_items = false;
  std::vector<std::u16string> items;
  std::map<int32_t, std::vector<int32_t>> rectangles;  // item -> left, top, right, bottom
  bool answer = true;  // what the operations answer
  int32_t identifier = 7;
  std::vector<std::string> log;
};

}  // namespace qghost

#endif  // QG_HOST_CORE_LANGUAGE_HOST_H_
