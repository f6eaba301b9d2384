// The splash window on an X display: an override-redirect top-level
// window (WM_CLASS "VantorObject"), its picture composed in a pixmap over
// the screen contents captured under it, opacity through
// _NET_WM_WINDOW_OPACITY (seen only under a compositing manager), the
// window shape through XShape.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/shape.h>
#include <X11/keysym.h>

#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "dotnet/connector/splash_image.h"

namespace qgnet {
namespace {

// Position of a channel mask's lowest bit and its width.
void Masque(unsigned long mask, int* shift, int* bits) {
  *shift = 0;
  *bits = 0;
  if (mask == 0) return;
  while ((mask & 1) == 0) {
    mask >>= 1;
    ++*shift;
  }
  while (mask & 1) {
    mask >>= 1;
    ++*bits;
  }
}

class FenetreX11 final : public ISplashWindow {
 public:
  explicit FenetreX11(Display* display) : m_display(display) {
    m_screen = DefaultScreen(display);
    m_visual = DefaultVisual(display, m_screen);
    m_depth = DefaultDepth(display, m_screen);
  }

  ~FenetreX11() override {
    Ferme();
    XCloseDisplay(m_display);
  }

  bool bCree(int32_t x, int32_t y, int32_t w, int32_t h, const char* title, const char* wm_class,
             bool shaped, bool topmost) override {
    if (w <= 0 || h <= 0 || m_visual->c_class != TrueColor) return false;
    m_w = w;
    m_h = h;
    Window root = RootWindow(m_display, m_screen);
    // The screen under the window, before it shows.
    m_fond = XGetImage(m_display, root, x, y, static_cast<unsigned>(w), static_cast<unsigned>(h),
                       AllPlanes, ZPixmap);
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.background_pixel = BlackPixel(m_display, m_screen);
    attributes.event_mask = ExposureMask | ButtonPressMask | KeyPressMask;
    m_window = XCreateWindow(m_display, root, x, y, static_cast<unsigned>(w),
                             static_cast<unsigned>(h), 0, m_depth, InputOutput, m_visual,
                             CWOverrideRedirect | CWBackPixel | CWEventMask, &attributes);
    if (m_window == 0) return false;
    XStoreName(m_display, m_window, title);
    XClassHint hint{};
    std::string name = "qg300net", klass = wm_class;
    hint.res_name = name.data();
    hint.res_class = klass.data();
    XSetClassHint(m_display, m_window, &hint);
    int event = 0, error = 0;
    if (shaped && XShapeQueryExtension(m_display, &event, &error)) {
      XRectangle all{0, 0, static_cast<unsigned short>(w), static_cast<unsigned short>(h)};
      XShapeCombineRectangles(m_display, m_window, ShapeBounding, 0, 0, &all, 1, ShapeSet,
                              Unsorted);
    }
    m_topmost = topmost;
    m_gc = XCreateGC(m_display, m_window, 0, nullptr);
    m_pixmap = XCreatePixmap(m_display, m_window, static_cast<unsigned>(w),
                             static_cast<unsigned>(h), static_cast<unsigned>(m_depth));
    XFlush(m_display);
    return true;
  }

  void Montre() override {
    if (m_window == 0) return;
    XMapRaised(m_display, m_window);
    if (m_topmost) XRaiseWindow(m_display, m_window);
    XSync(m_display, False);
  }

  void Opacite(int32_t percent) override {
    if (m_window == 0) return;
    Atom opacity = XInternAtom(m_display, "_NET_WM_WINDOW_OPACITY", False);
    unsigned long alpha = static_cast<unsigned long>(percent) * 255 / 100;
    unsigned long value = alpha * 0x01010101UL;
    XChangeProperty(m_display, m_window, opacity, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&value), 1);
    XFlush(m_display);
  }

  void Decor(const SplashOptions& options) override { m_options = options; }

  void Peint(ISplashImage* image) override {
    if (m_window == 0) return;
    m_image = image;
    // The picture is composed off screen, then copied in one transfer.
    if (m_fond != nullptr) {
      XPutImage(m_display, m_pixmap, m_gc, m_fond, 0, 0, 0, 0, static_cast<unsigned>(m_w),
                static_cast<unsigned>(m_h));
    }
    XSetForeground(m_display, m_gc, Pixel(m_options.nCouleurFond));
    XFillRectangle(m_display, m_pixmap, m_gc, 0, 0, static_cast<unsigned>(m_w),
                   static_cast<unsigned>(m_h));
    if (image != nullptr && image->pPixels() != nullptr) DessineImage(image);
    if (m_options.bTexte) {
      DessineTexte(m_options.titre, m_options.titre.texte);
      DessineTexte(m_options.texte, m_options.texte.texte);
      if (!m_options.version.texte.empty()) {
        DessineTexte(m_options.version, "Version " + m_options.version.texte);
      }
    }
    XCopyArea(m_display, m_pixmap, m_window, m_gc, 0, 0, static_cast<unsigned>(m_w),
              static_cast<unsigned>(m_h), 0, 0);
    XSync(m_display, False);
  }

  SplashInput Entree() override {
    while (m_window != 0 && XPending(m_display) > 0) {
      XEvent event;
      XNextEvent(m_display, &event);
      switch (event.type) {
        case Expose:
          if (event.xexpose.count == 0) {
            XCopyArea(m_display, m_pixmap, m_window, m_gc, 0, 0, static_cast<unsigned>(m_w),
                      static_cast<unsigned>(m_h), 0, 0);
          }
          break;
        case ButtonPress:
          return SplashInput::kClic;
        case KeyPress: {
          KeySym key = XLookupKeysym(&event.xkey, 0);
          if (key == XK_Escape) return SplashInput::kEchap;
          if (key == XK_space) return SplashInput::kEspace;
          return SplashInput::kAutre;
        }
        default:
          break;
      }
    }
    return SplashInput::kNone;
  }

  void Ferme() override {
    if (m_window == 0) return;
    if (m_fond != nullptr) XDestroyImage(m_fond);
    m_fond = nullptr;
    XFreePixmap(m_display, m_pixmap);
    XFreeGC(m_display, m_gc);
    XDestroyWindow(m_display, m_window);
    XSync(m_display, False);
    m_window = 0;
  }

  void ZoneTravail(int32_t* x, int32_t* y, int32_t* w, int32_t* h) override {
    *x = 0;
    *y = 0;
    *w = DisplayWidth(m_display, m_screen);
    *h = DisplayHeight(m_display, m_screen);
  }

  // Read once: pixels per inch across the screen, rounded.
  int32_t nDpi() override {
    if (m_dpi == 0) {
      int mm = DisplayWidthMM(m_display, m_screen);
      int px = DisplayWidth(m_display, m_screen);
      m_dpi = mm > 0 ? static_cast<int32_t>((px * 254L + mm * 5L) / (mm * 10L)) : 96;
    }
    return m_dpi;
  }

 private:
  // The image centred in a 568 x 302 box at the middle of the window,
  // drawn in its own size.
  void DessineImage(ISplashImage* image) {
    int iw = image->nLargeur(), ih = image->nHauteur();
    int bx = (m_w - 568) / 2, by = (m_h - 302) / 2;
    int x0 = bx + (568 - iw) / 2, y0 = by + (302 - ih) / 2;
    int rs, rb, gs, gb, bs, bb;
    Masque(m_visual->red_mask, &rs, &rb);
    Masque(m_visual->green_mask, &gs, &gb);
    Masque(m_visual->blue_mask, &bs, &bb);
    XImage* out = XCreateImage(m_display, m_visual, static_cast<unsigned>(m_depth), ZPixmap, 0,
                               nullptr, static_cast<unsigned>(iw), static_cast<unsigned>(ih), 32, 0);
    if (out == nullptr) return;
    out->data = static_cast<char*>(std::malloc(static_cast<size_t>(out->bytes_per_line) * ih));
    if (out->data == nullptr) {
      XDestroyImage(out);
      return;
    }
    const uint32_t* p = image->pPixels();
    for (int y = 0; y < ih; ++y) {
      for (int x = 0; x < iw; ++x) {
        uint32_t rgb = p[static_cast<size_t>(y) * iw + x];
        auto scale = [](uint32_t c, int bits) -> unsigned long {
          return bits >= 8 ? static_cast<unsigned long>(c) << (bits - 8) : c >> (8 - bits);
        };
        unsigned long pixel = (scale((rgb >> 16) & 0xFF, rb) << rs) |
                              (scale((rgb >> 8) & 0xFF, gb) << gs) | (scale(rgb & 0xFF, bb) << bs);
        XPutPixel(out, x, y, pixel);
      }
    }
    XPutImage(m_display, m_pixmap, m_gc, out, 0, 0, x0, y0, static_cast<unsigned>(iw),
              static_cast<unsigned>(ih));
    XDestroyImage(out);  // frees data
  }

  // A 0x00RRGGBB colour as a pixel of the visual.
  unsigned long Pixel(uint32_t rgb) {
    int rs, rb, gs, gb, bs, bb;
    Masque(m_visual->red_mask, &rs, &rb);
    Masque(m_visual->green_mask, &gs, &gb);
    Masque(m_visual->blue_mask, &bs, &bb);
    auto scale = [](uint32_t c, int bits) -> unsigned long {
      return bits >= 8 ? static_cast<unsigned long>(c) << (bits - 8) : c >> (8 - bits);
    };
    return (scale((rgb >> 16) & 0xFF, rb) << rs) | (scale((rgb >> 8) & 0xFF, gb) << gs) |
           (scale(rgb & 0xFF, bb) << bs);
  }

  // Latin-1 of a UTF-8 text for the core fonts ('?' beyond U+00FF).
  static std::string Latin1(const std::string& utf8) {
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
      unsigned char c = static_cast<unsigned char>(utf8[i]);
      uint32_t cp = c;
      size_t n = 1;
      if (c >= 0xC0 && c < 0xE0 && i + 1 < utf8.size()) {
        cp = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu);
        n = 2;
      } else if (c >= 0xE0) {
        n = c >= 0xF0 ? 4 : 3;
        cp = 0x100;
      }
      out.push_back(cp <= 0xFF ? static_cast<char>(cp) : '?');
      i += n;
    }
    return out;
  }

  // One text of text mode: a core font of the described height (points x
  // vertical dots per inch / 72) and weight, words wrapped inside the
  // rectangle from the scaled left and top to the client area's right
  // edge less 10 and bottom edge less 8 (scaled), right-aligned on demand.
  void DessineTexte(const SplashTexte& d, const std::string& text) {
    if (!d.bDecrit || text.empty()) return;
    int dpi_y = DisplayHeightMM(m_display, m_screen) > 0
                    ? static_cast<int>((DisplayHeight(m_display, m_screen) * 254L +
                                        DisplayHeightMM(m_display, m_screen) * 5L) /
                                       (DisplayHeightMM(m_display, m_screen) * 10L))
                    : 96;
    int pixels = (d.nPoints > 0 ? d.nPoints : 8) * dpi_y / 72;
    // "Arial" has no core font: Helvetica is its nearest, "fixed" the last
    // resort.
    std::string family = d.police.empty() || d.police == "Arial" ? "helvetica" : d.police;
    std::string weight = d.bGras ? "bold" : "medium";
    std::string names[] = {
        "-*-" + family + "-" + weight + "-r-*-*-" + std::to_string(pixels) + "-*-*-*-*-*-iso8859-1",
        "-*-helvetica-" + weight + "-r-*-*-" + std::to_string(pixels) + "-*-*-*-*-*-iso8859-1",
        "fixed"};
    XFontStruct* font = nullptr;
    for (const std::string& name : names) {
      if ((font = XLoadQueryFont(m_display, name.c_str())) != nullptr) break;
    }
    if (font == nullptr) return;
    int scale = nDpi();
    int left = d.nGauche * scale / 96, top = d.nHaut * scale / 96;
    int right = m_w - 10 * scale / 96, bottom = m_h - 8 * scale / 96;
    XSetFont(m_display, m_gc, font->fid);
    XSetForeground(m_display, m_gc, Pixel(d.nCouleur));
    std::string latin = Latin1(text);
    int line_height = font->ascent + font->descent;
    int y = top + font->ascent;
    size_t at = 0;
    while (at < latin.size() && y - font->ascent < bottom) {
      // The longest run of whole words that fits; a word longer than the
      // line is cut.
      size_t end = at, fit = at;
      while (end <= latin.size()) {
        size_t next = latin.find_first_of(" \n", end);
        if (next == std::string::npos) next = latin.size();
        int width = XTextWidth(font, latin.data() + at, static_cast<int>(next - at));
        if (width > right - left && fit > at) break;
        fit = next;
        if (next >= latin.size() || latin[next] == '\n') break;
        end = next + 1;
      }
      if (fit == at) fit = std::min(latin.size(), at + 1);
      int width = XTextWidth(font, latin.data() + at, static_cast<int>(fit - at));
      int x = d.bDroite ? right - width : left;
      XDrawString(m_display, m_pixmap, m_gc, x, y, latin.data() + at, static_cast<int>(fit - at));
      y += line_height;
      at = fit;
      while (at < latin.size() && (latin[at] == ' ' || latin[at] == '\n')) ++at;
    }
    XFreeFont(m_display, font);
  }

  Display* m_display;
  int m_screen = 0;
  Visual* m_visual = nullptr;
  int m_depth = 0;
  Window m_window = 0;
  Pixmap m_pixmap = 0;
  GC m_gc = nullptr;
  XImage* m_fond = nullptr;
  ISplashImage* m_image = nullptr;
  int32_t m_w = 0, m_h = 0;
  int32_t m_dpi = 0;
  bool m_topmost = false;
  SplashOptions m_options;
};

}  // namespace

std::unique_ptr<ISplashWindow> FenetreSplash() {
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || *name == '\0') return nullptr;
  Display* display = XOpenDisplay(name);
  if (display == nullptr) return nullptr;
  return std::make_unique<FenetreX11>(display);
}

}  // namespace qgnet
