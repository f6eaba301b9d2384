#include "testrunner/recorder/direct_source.h"

namespace {

class CSourceDirecte final : public ISourceEntree {
 public:
  int32_t nDemarre(IEnregistrementTest*) override {
    std::lock_guard<std::mutex> lock(e_.mutex);
    return e_.nDemarrage;
  }
  void Arrete() override {}
  uint32_t nModificateurs() override {
    std::lock_guard<std::mutex> lock(e_.mutex);
    return e_.nModificateurs;
  }
  uint32_t hFocus() override {
    std::lock_guard<std::mutex> lock(e_.mutex);
    return e_.hFocus;
  }
  uint32_t hFenetreSouris(int32_t, int32_t) override {
    std::lock_guard<std::mutex> lock(e_.mutex);
    return e_.hAvantPlan;
  }
  bool bProcessusPropre(uint32_t window) override {
    std::lock_guard<std::mutex> lock(e_.mutex);
    auto it = e_.fenetres.find(window);
    return it != e_.fenetres.end() && it->second.bPropre;
  }
  bool bElementFenetre(uint32_t window, uint32_t* answer, int32_t* kind) override {
    std::lock_guard<std::mutex> lock(e_.mutex);
    // The window, then its parents, then the owners met on the way.
    std::vector<uint32_t> owners;
    for (uint32_t w = window, n = 0; w != 0 && n < 64; ++n) {
      auto it = e_.fenetres.find(w);
      if (it == e_.fenetres.end()) break;
      if (it->second.bRepond) {
        *answer = it->second.nReponse;
        *kind = it->second.nType;
        return true;
      }
      if (it->second.hProprietaire != 0) owners.push_back(it->second.hProprietaire);
      w = it->second.hParent;
    }
    for (uint32_t owner : owners) {
      auto it = e_.fenetres.find(owner);
      if (it != e_.fenetres.end() && it->second.bRepond) {
        *answer = it->second.nReponse;
        *kind = it->second.nType;
        return true;
      }
    }
    return false;
  }
  uint32_t hParent(uint32_t window) override {
    std::lock_guard<std::mutex> lock(e_.mutex);
    auto it = e_.fenetres.find(window);
    return it != e_.fenetres.end() ? it->second.hParent : 0;
  }
  bool bPointClient(uint32_t window, int32_t* x, int32_t* y) override {
    std::lock_guard<std::mutex> lock(e_.mutex);
    auto it = e_.fenetres.find(window);
    if (it == e_.fenetres.end()) return false;
    *x -= it->second.x;
    *y -= it->second.y;
    return true;
  }
  char32_t cCaractere(uint32_t param2) override {
    std::lock_guard<std::mutex> lock(e_.mutex);
    auto it = e_.clavier.find((param2 >> 16) & 0xFF);
    return it != e_.clavier.end() ? it->second : 0;
  }

 private:
  EtatSourceDirecte& e_ = EtatDirect();
};

}  // namespace

void EtatSourceDirecte::Vide() {
  std::lock_guard<std::mutex> lock(mutex);
  fenetres.clear();
  clavier.clear();
  hFocus = hAvantPlan = nModificateurs = 0;
  nDemarrage = 2;
}

EtatSourceDirecte& EtatDirect() {
  static EtatSourceDirecte state;
  return state;
}

std::unique_ptr<ISourceEntree> NouvelleSourceDirecte() {
  return std::make_unique<CSourceDirecte>();
}
