// The splash window shown while a .NET program starts the host: CObjet (a
// counted object), CFen (a window of the module's own framework) and
// CSplash (the start image, faded in and out or animated, closed when the
// host's start-up ends or when the user clicks or presses Escape or Space).
//
// Timers and waits run on an injectable clock; without a display the
// window is headless: the timers, events and closing run the same way and
// no window is drawn.
#ifndef QG_DOTNET_CONNECTOR_SPLASH_H_
#define QG_DOTNET_CONNECTOR_SPLASH_H_

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qgnet {

// Counted base: one reference at construction.
class CObjet {
 public:
  CObjet() = default;
  CObjet(const CObjet&) = delete;
  CObjet& operator=(const CObjet&) = delete;

  virtual ~CObjet() = default;
  virtual void vVide1() {}
  // Adds a reference and answers the member (filled by vVide6 on first use).
  virtual void* pGet() {
    if (m_pMembre == nullptr) vVide6();
    AddRef();
    return m_pMembre;
  }
  virtual int32_t AddRef() { return m_nRef.fetch_add(1) + 1; }
  // The count left; the object is deleted at 0.
  virtual int32_t Release() {
    int32_t left = m_nRef.fetch_sub(1) - 1;
    if (left == 0) delete this;
    return left;
  }
  virtual void vVide6() {}

 protected:
  std::atomic<int32_t> m_nRef{1};
  void* m_pMembre = nullptr;
};

// Milliseconds, and sleeping until a time; tests pass a fake one.
class SplashClock {
 public:
  virtual ~SplashClock() = default;
  virtual int64_t nMaintenant() = 0;
  // Sleeps until `when` or until an input event may be waiting.
  virtual void AttendJusque(int64_t when) = 0;
};
SplashClock& RealClock();

// The start image: its size, and frames for animation.
class ISplashImage {
 public:
  virtual ~ISplashImage() = default;
  virtual int32_t nLargeur() = 0;
  virtual int32_t nHauteur() = 0;
  // Advances to the next frame; false at the end of the animation.
  virtual bool bImageSuivante() = 0;
  // Pixels of the current frame, 0x00RRGGBB, row after row (may be null).
  virtual const uint32_t* pPixels() = 0;
};

// Input the window reports.
enum class SplashInput { kNone, kClic, kEchap, kEspace, kAutre };

struct SplashOptions;

// The window a splash draws in (an X11 window, or none when headless).
class ISplashWindow {
 public:
  virtual ~ISplashWindow() = default;
  // Creates the window at that place; false when it cannot.
  virtual bool bCree(int32_t x, int32_t y, int32_t w, int32_t h, const char* title,
                     const char* wm_class, bool shaped, bool topmost) = 0;
  virtual void Montre() = 0;
  virtual void Opacite(int32_t percent) = 0;
  // What every paint draws besides the image: the background colour and,
  // in text mode, the texts. Before the first paint.
  virtual void Decor(const SplashOptions& options) { (void)options; }
  // Draws the image (centred) and the texts.
  virtual void Peint(ISplashImage* image) = 0;
  // The next pending input, kNone when there is none.
  virtual SplashInput Entree() = 0;
  virtual void Ferme() = 0;
  // Screen: work area and horizontal dots per inch.
  virtual void ZoneTravail(int32_t* x, int32_t* y, int32_t* w, int32_t* h) = 0;
  virtual int32_t nDpi() = 0;
};

// One text of text mode and its description.
struct SplashTexte {
  std::string texte;               // UTF-8; empty draws nothing
  bool bDecrit = true;             // a text without a description draws nothing
  int32_t nPoints = 0;             // 0: 8 points
  bool bGras = false;              // weight 700, else 400
  std::string police;              // empty: "Arial"
  uint32_t nCouleur = 0xFFFFFF;    // 0x00RRGGBB, on a transparent background
  int32_t nGauche = 0, nHaut = 0;  // before DPI scaling
  bool bDroite = false;            // right-aligned
};

struct SplashOptions {
  bool bFondu = false;        // fade in and out
  bool bTexte = false;        // text mode
  bool bPleineZone = false;   // the whole work area
  bool bForme = false;        // shaped window at (5, 5)
  uint32_t nCouleurFond = 0;  // 0 = black
  SplashTexte titre, texte;
  SplashTexte version;        // drawn as "Version %s"
};

class CFen : public CObjet {
 public:
  virtual const char* pszClasse() const { return "VantorObject"; }
};

class CSplash final : public CFen {
 public:
  static constexpr int32_t kTimerFondu = 1;     // every 50 ms
  static constexpr int32_t kTimerAnimation = 2; // every 25 ms
  static constexpr int64_t kAttenteMax = 5000;

  // window may be null (headless); image may be null (nothing is shown).
  CSplash(SplashOptions options, std::unique_ptr<ISplashImage> image,
          std::unique_ptr<ISplashWindow> window, SplashClock* clock);

  // Shows the splash; in fade mode waits up to 5000 ms for the fade-in.
  void Montre();
  // Closes (at most once): fade-out or end of the animation, each wait at
  // most 5000 ms, then the window goes.
  void Ferme();
  // Waits up to `limit` ms for the event, running timers and input.
  bool bAttend(const bool& event, int64_t limit);
  // Runs due timers and pending input without waiting.
  void Pompe();

  bool bMontre() const { return m_bMontre; }
  bool bFerme() const { return m_bFerme; }
  int32_t nOpacite() const { return m_nOpacite; }
  int32_t nLargeur() const { return m_nW; }
  int32_t nHauteur() const { return m_nH; }
  int32_t nX() const { return m_nX; }
  int32_t nY() const { return m_nY; }
  // Every opacity applied, in order (tests).
  const std::vector<int32_t>& Opacites() const { return m_opacites; }

 private:
  struct Timer {
    int32_t id;
    int64_t period;
    int64_t due;
  };
  void Demarre(int32_t id, int64_t period);
  void Arrete(int32_t id);
  void Tick(int32_t id);
  void Applique(int32_t percent);
  void Entrees();

  SplashOptions m_options;
  std::unique_ptr<ISplashImage> m_image;
  std::unique_ptr<ISplashWindow> m_window;
  SplashClock* m_clock;
  std::vector<Timer> m_timers;
  bool m_bMontre = false;
  bool m_bFerme = false;
  bool m_bFermeture = false;
  bool m_bFondEntrant = false;
  bool m_evFin = false;        // end of fade or animation
  bool m_evFinEntree = false;  // end of fade-in
  int32_t m_nOpacite = 0;
  int32_t m_nX = 0, m_nY = 0, m_nW = 0, m_nH = 0;
  std::vector<int32_t> m_opacites;
};

}  // namespace qgnet

#endif  // QG_DOTNET_CONNECTOR_SPLASH_H_
