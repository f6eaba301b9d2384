// An X client of the test equipment: makes the stand-in application's
// windows (with the element properties the recorder reads), moves the
// focus, remaps keys, and fakes input through XTest. Each call that
// changes the server ends with a round trip, so what it did has been
// processed when it returns.
#ifndef QG_HOST_X11_X_CLIENT_H_
#define QG_HOST_X11_X_CLIENT_H_

#include <cstdint>
#include <string>
#include <vector>

struct xcb_connection_t;

namespace qghost {

class XClient {
 public:
  XClient() = default;
  ~XClient();
  XClient(const XClient&) = delete;
  XClient& operator=(const XClient&) = delete;

  // Connects to $DISPLAY; false when it cannot or the server lacks XTest.
  bool Open();
  void Close();

  // A mapped window at a root point (parent 0: the root), with
  // "_QG_ELEMENT" = element and "_QG_ELEMENT_KIND" = kind when element is
  // not 0, and WM_TRANSIENT_FOR when owner is not 0. 0 on failure.
  uint32_t CreateWindow(int x, int y, int width, int height, uint32_t element, int32_t kind,
                        uint32_t parent = 0, uint32_t owner = 0);
  void DestroyWindow(uint32_t window);
  void Focus(uint32_t window);
  // The first keycode giving the keysym at level 0, 0 when none.
  uint8_t Keycode(uint32_t keysym);
  // Gives a keycode one keysym.
  bool Remap(uint8_t keycode, uint32_t keysym);
  void Key(uint8_t keycode, bool press);
  // Presses and releases the keys of a UTF-8 text: a character on a key's
  // second level (a capital, most punctuation) with Shift. When a
  // character is on no key, types nothing, names it in *missing (as
  // "U+XXXX") and answers false.
  bool Type(const std::string& text, std::string* missing = nullptr);
  void Motion(int x, int y);
  void Button(int button, bool press);
  void Click(int x, int y, int button = 1);
  // A round trip.
  void Sync();
  // A point of a window on the root; false when the window is gone.
  bool ToRoot(uint32_t window, int x, int y, int* root_x, int* root_y);

  // Input the windows of this client received (they select key and
  // button presses and releases).
  struct Input {
    int type = 0;  // 2 key press, 3 key release, 4 button press, 5 button release
    int detail = 0;  // keycode or button
    uint32_t window = 0;
    int x = 0, y = 0;  // in the window
    int state = 0;
  };
  std::vector<Input> PollInput();
  uint32_t root() const { return root_; }
  xcb_connection_t* connection() const { return c_; }

 private:
  xcb_connection_t* c_ = nullptr;
  uint32_t root_ = 0;
};

}  // namespace qghost

#endif  // QG_HOST_X11_X_CLIENT_H_
