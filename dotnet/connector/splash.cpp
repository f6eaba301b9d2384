#include "dotnet/connector/splash.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace qgnet {
namespace {

class SteadyClock final : public SplashClock {
 public:
  int64_t nMaintenant() override {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
  void AttendJusque(int64_t when) override {
    // Short slices keep input flowing while waiting.
    int64_t now = nMaintenant();
    if (when > now) std::this_thread::sleep_for(std::chrono::milliseconds(std::min<int64_t>(when - now, 10)));
  }
};

}  // namespace

SplashClock& RealClock() {
  static SteadyClock clock;
  return clock;
}

CSplash::CSplash(SplashOptions options, std::unique_ptr<ISplashImage> image,
                 std::unique_ptr<ISplashWindow> window, SplashClock* clock)
    : m_options(std::move(options)),
      m_image(std::move(image)),
      m_window(std::move(window)),
      m_clock(clock != nullptr ? clock : &RealClock()) {}

void CSplash::Montre() {
  if (m_bMontre || m_image == nullptr) return;
  int32_t w = m_image->nLargeur(), h = m_image->nHauteur();
  if (w <= 0 || h <= 0) return;
  int32_t ax = 0, ay = 0, aw = 1024, ah = 768, dpi = 96;
  if (m_window != nullptr) {
    m_window->ZoneTravail(&ax, &ay, &aw, &ah);
    dpi = m_window->nDpi() > 0 ? m_window->nDpi() : 96;
  }
  // The window takes the image's size, scaled for the screen's DPI.
  m_nW = static_cast<int32_t>(static_cast<int64_t>(w) * dpi / 96);
  m_nH = static_cast<int32_t>(static_cast<int64_t>(h) * dpi / 96);
  if (m_options.bPleineZone) {
    m_nX = ax;
    m_nY = ay;
    m_nW = aw;
    m_nH = ah;
  } else if (m_options.bForme) {
    m_nX = 5;
    m_nY = 5;
  } else {
    m_nX = ax + (aw - m_nW) / 2;
    m_nY = ay + (ah - m_nH) / 2;
  }
  if (m_window != nullptr &&
      !m_window->bCree(m_nX, m_nY, m_nW, m_nH, "Application running...", pszClasse(),
                       m_options.bForme, m_options.bForme)) {
    m_window.reset();  // headless from here on
  }
  m_bMontre = true;
  if (m_options.bFondu) {
    m_bFondEntrant = true;
    Applique(0);
    Demarre(kTimerFondu, 50);
  } else if (!m_options.bTexte) {
    Demarre(kTimerAnimation, 25);
  }
  if (m_window != nullptr) {
    m_window->Decor(m_options);
    m_window->Montre();
    m_window->Peint(m_image.get());
  }
  if (m_options.bFondu && !bAttend(m_evFinEntree, kAttenteMax)) {
    // The fade-in did not end in time: full opacity at once.
    Arrete(kTimerFondu);
    m_bFondEntrant = false;
    Applique(100);
    m_evFin = m_evFinEntree = true;
  }
}

void CSplash::Ferme() {
  if (m_bFerme || m_bFermeture) return;
  m_bFermeture = true;
  if (m_bMontre) {
    if (m_options.bFondu) {
      bAttend(m_evFinEntree, kAttenteMax);
      m_evFin = false;
      m_bFondEntrant = false;
      Demarre(kTimerFondu, 50);
      if (m_window != nullptr) m_window->Montre();
      bAttend(m_evFin, kAttenteMax);
    } else if (!m_options.bTexte) {
      bAttend(m_evFin, kAttenteMax);
    }
  }
  m_timers.clear();
  m_image.reset();
  if (m_window != nullptr) m_window->Ferme();
  m_window.reset();
  m_bFerme = true;
}

void CSplash::Demarre(int32_t id, int64_t period) {
  Arrete(id);
  m_timers.push_back(Timer{id, period, m_clock->nMaintenant() + period});
}

void CSplash::Arrete(int32_t id) {
  m_timers.erase(std::remove_if(m_timers.begin(), m_timers.end(),
                                [id](const Timer& t) { return t.id == id; }),
                 m_timers.end());
}

void CSplash::Applique(int32_t percent) {
  m_nOpacite = percent;
  m_opacites.push_back(percent);
  if (m_window != nullptr) m_window->Opacite(std::clamp(percent, 0, 100));
}

void CSplash::Tick(int32_t id) {
  if (id == kTimerFondu) {
    if (m_bFondEntrant) {
      int32_t next = m_nOpacite + 20;
      if (next >= 100) {
        Arrete(kTimerFondu);
        m_bFondEntrant = false;
        Applique(100);
        m_evFin = m_evFinEntree = true;
      } else {
        Applique(next);
      }
    } else {
      // Fading out: ten points lower on screen, one lower still kept for
      // the next tick.
      int32_t shown = m_nOpacite - 10;
      if (shown <= 0) {
        Arrete(kTimerFondu);
        Applique(0);
        m_evFin = true;
      } else {
        Applique(shown);
        m_nOpacite = shown - 1;
      }
    }
  } else if (id == kTimerAnimation) {
    if (m_image != nullptr && m_image->bImageSuivante()) {
      if (m_window != nullptr) m_window->Peint(m_image.get());
    } else {
      Arrete(kTimerAnimation);
      m_evFin = true;
    }
  }
}

void CSplash::Entrees() {
  if (m_window == nullptr) return;
  for (SplashInput input = m_window->Entree(); input != SplashInput::kNone;
       input = m_window != nullptr ? m_window->Entree() : SplashInput::kNone) {
    bool closes = input == SplashInput::kClic || input == SplashInput::kEchap ||
                  input == SplashInput::kEspace;
    if (closes && !m_options.bTexte) {
      Ferme();
      return;
    }
  }
}

void CSplash::Pompe() {
  Entrees();
  int64_t now = m_clock->nMaintenant();
  // Each due timer fires once per pump.
  std::vector<int32_t> due;
  for (Timer& t : m_timers) {
    if (t.due <= now) {
      due.push_back(t.id);
      t.due = now + t.period;
    }
  }
  for (int32_t id : due) Tick(id);
}

bool CSplash::bAttend(const bool& event, int64_t limit) {
  int64_t deadline = m_clock->nMaintenant() + limit;
  for (;;) {
    Pompe();
    if (event) return true;
    if (m_bFerme) return false;  // closed meanwhile (by the user)
    int64_t now = m_clock->nMaintenant();
    if (now >= deadline) return false;
    int64_t next = deadline;
    for (const Timer& t : m_timers) next = std::min(next, t.due);
    m_clock->AttendJusque(std::max(next, now));
  }
}

}  // namespace qgnet
