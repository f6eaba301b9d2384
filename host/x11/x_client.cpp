#include "host/x11/x_client.h"

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <vector>

namespace qghost {

namespace {

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
  xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(
      c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
  const xcb_atom_t atom = r != nullptr ? r->atom : 0;
  std::free(r);
  return atom;
}

}  // namespace

XClient::~XClient() { Close(); }

bool XClient::Open() {
  Close();
  int screen = 0;
  c_ = xcb_connect(nullptr, &screen);
  if (xcb_connection_has_error(c_)) {
    Close();
    return false;
  }
  xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c_));
  for (int i = 0; i < screen && it.rem > 0; ++i) xcb_screen_next(&it);
  if (it.rem == 0) {
    Close();
    return false;
  }
  root_ = it.data->root;
  const xcb_query_extension_reply_t* xtest = xcb_get_extension_data(c_, &xcb_test_id);
  if (xtest == nullptr || !xtest->present) {
    Close();
    return false;
  }
  return true;
}

void XClient::Close() {
  if (c_ != nullptr) xcb_disconnect(c_);
  c_ = nullptr;
}

void XClient::Sync() {
  if (c_ == nullptr) return;
  std::free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr));
}

uint32_t XClient::CreateWindow(int x, int y, int width, int height, uint32_t element,
                               int32_t kind, uint32_t parent, uint32_t owner) {
  if (c_ == nullptr) return 0;
  const xcb_window_t w = xcb_generate_id(c_);
  const uint32_t values[] = {1, XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_KEY_RELEASE |
                                    XCB_EVENT_MASK_BUTTON_PRESS |
                                    XCB_EVENT_MASK_BUTTON_RELEASE};
  xcb_generic_error_t* error = xcb_request_check(
      c_, xcb_create_window_checked(c_, XCB_COPY_FROM_PARENT, w, parent != 0 ? parent : root_,
                                    static_cast<int16_t>(x), static_cast<int16_t>(y),
                                    static_cast<uint16_t>(width), static_cast<uint16_t>(height),
                                    0, XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT,
                                    XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values));
  if (error != nullptr) {
    std::free(error);
    return 0;
  }
  if (element != 0) {
    const uint32_t k = static_cast<uint32_t>(kind);
    xcb_change_property(c_, XCB_PROP_MODE_REPLACE, w, Atom(c_, "_QG_ELEMENT"), XCB_ATOM_CARDINAL,
                        32, 1, &element);
    xcb_change_property(c_, XCB_PROP_MODE_REPLACE, w, Atom(c_, "_QG_ELEMENT_KIND"),
                        XCB_ATOM_CARDINAL, 32, 1, &k);
  }
  if (owner != 0) {
    xcb_change_property(c_, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_TRANSIENT_FOR,
                        XCB_ATOM_WINDOW, 32, 1, &owner);
  }
  xcb_map_window(c_, w);
  Sync();
  return w;
}

void XClient::DestroyWindow(uint32_t window) {
  if (c_ == nullptr) return;
  xcb_destroy_window(c_, window);
  Sync();
}

void XClient::Focus(uint32_t window) {
  if (c_ == nullptr) return;
  xcb_set_input_focus(c_, XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
  Sync();
}

uint8_t XClient::Keycode(uint32_t keysym) {
  if (c_ == nullptr) return 0;
  const xcb_setup_t* setup = xcb_get_setup(c_);
  const uint8_t first = setup->min_keycode, last = setup->max_keycode;
  xcb_get_keyboard_mapping_reply_t* r = xcb_get_keyboard_mapping_reply(
      c_, xcb_get_keyboard_mapping(c_, first, static_cast<uint8_t>(last - first + 1)), nullptr);
  if (r == nullptr) return 0;
  const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(r);
  const int per = r->keysyms_per_keycode;
  uint8_t found = 0;
  for (int k = 0; per > 0 && k <= last - first && found == 0; ++k) {
    if (syms[k * per] == keysym) found = static_cast<uint8_t>(first + k);
  }
  std::free(r);
  return found;
}

bool XClient::Remap(uint8_t keycode, uint32_t keysym) {
  if (c_ == nullptr) return false;
  const xcb_keysym_t syms[2] = {keysym, keysym};
  xcb_generic_error_t* error = xcb_request_check(
      c_, xcb_change_keyboard_mapping_checked(c_, 1, keycode, 2, syms));
  std::free(error);
  Sync();
  return error == nullptr;
}

void XClient::Key(uint8_t keycode, bool press) {
  if (c_ == nullptr) return;
  xcb_test_fake_input(c_, press ? XCB_KEY_PRESS : XCB_KEY_RELEASE, keycode, XCB_CURRENT_TIME,
                      XCB_NONE, 0, 0, 0);
  Sync();
}

namespace {

// The code points of a UTF-8 text; a byte that starts no whole sequence
// stands for itself as U+FFFD.
std::vector<uint32_t> CodePoints(const std::string& text) {
  std::vector<uint32_t> out;
  for (size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    const int n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    uint32_t cp = n == 1 ? b : n == 2 ? (b & 0x1Fu) : n == 3 ? (b & 0x0Fu) : (b & 0x07u);
    bool whole = n > 0 && i + static_cast<size_t>(n) <= text.size();
    for (int k = 1; whole && k < n; ++k) {
      const auto c = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
      whole = (c >> 6) == 2;
      cp = (cp << 6) | (c & 0x3Fu);
    }
    out.push_back(whole ? cp : 0xFFFD);
    i += whole ? static_cast<size_t>(n) : 1;
  }
  return out;
}

}  // namespace

bool XClient::Type(const std::string& text, std::string* missing) {
  if (c_ == nullptr) return false;
  const xcb_setup_t* setup = xcb_get_setup(c_);
  const uint8_t first = setup->min_keycode, last = setup->max_keycode;
  xcb_get_keyboard_mapping_reply_t* r = xcb_get_keyboard_mapping_reply(
      c_, xcb_get_keyboard_mapping(c_, first, static_cast<uint8_t>(last - first + 1)), nullptr);
  if (r == nullptr) return false;
  const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(r);
  const int per = r->keysyms_per_keycode;
  // Each character's key and whether it takes Shift, all found first.
  struct Press {
    uint8_t code;
    bool shift;
  };
  std::vector<Press> presses;
  bool ok = true;
  for (uint32_t cp : CodePoints(text)) {
    // Latin-1 keysyms are the code points; the others are 0x01000000 + it.
    const uint32_t keysym = cp < 0x100 ? cp : 0x01000000u | cp;
    const bool capital = cp >= 'A' && cp <= 'Z';
    Press press{0, false};
    for (int k = 0; per > 0 && k <= last - first && press.code == 0; ++k) {
      const xcb_keysym_t* at = syms + k * per;
      // A capital letter's key holds the lower-case keysym at level 0.
      if (capital && at[0] == cp - 'A' + 'a') {
        press = {static_cast<uint8_t>(first + k), true};
      } else if (at[0] == keysym) {
        press = {static_cast<uint8_t>(first + k), false};
      } else if (per > 1 && at[1] == keysym) {
        press = {static_cast<uint8_t>(first + k), true};
      }
    }
    if (press.code == 0) {
      if (missing != nullptr && ok) {
        char name[16];
        std::snprintf(name, sizeof(name), "U+%04X", cp);
        *missing = name;
      }
      ok = false;
    }
    presses.push_back(press);
  }
  std::free(r);
  if (!ok) return false;
  const uint8_t shift = Keycode(0xFFE1);
  for (const Press& p : presses) {
    if (p.shift) Key(shift, true);
    Key(p.code, true);
    Key(p.code, false);
    if (p.shift) Key(shift, false);
  }
  return true;
}

void XClient::Motion(int x, int y) {
  if (c_ == nullptr) return;
  xcb_test_fake_input(c_, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root_, static_cast<int16_t>(x),
                      static_cast<int16_t>(y), 0);
  Sync();
}

void XClient::Button(int button, bool press) {
  if (c_ == nullptr) return;
  xcb_test_fake_input(c_, press ? XCB_BUTTON_PRESS : XCB_BUTTON_RELEASE,
                      static_cast<uint8_t>(button), XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
  Sync();
}

bool XClient::ToRoot(uint32_t window, int x, int y, int* root_x, int* root_y) {
  if (c_ == nullptr) return false;
  xcb_translate_coordinates_reply_t* r = xcb_translate_coordinates_reply(
      c_,
      xcb_translate_coordinates(c_, window, root_, static_cast<int16_t>(x),
                                static_cast<int16_t>(y)),
      nullptr);
  if (r == nullptr) return false;
  *root_x = r->dst_x;
  *root_y = r->dst_y;
  std::free(r);
  return true;
}

std::vector<XClient::Input> XClient::PollInput() {
  std::vector<Input> out;
  if (c_ == nullptr) return out;
  Sync();
  while (xcb_generic_event_t* e = xcb_poll_for_event(c_)) {
    const int type = e->response_type & 0x7F;
    if (type >= XCB_KEY_PRESS && type <= XCB_BUTTON_RELEASE) {
      // Key and button events share one layout.
      const auto* k = reinterpret_cast<const xcb_key_press_event_t*>(e);
      Input in;
      in.type = type;
      in.detail = k->detail;
      in.window = k->event;
      in.x = k->event_x;
      in.y = k->event_y;
      in.state = k->state;
      out.push_back(in);
    }
    std::free(e);
  }
  return out;
}

void XClient::Click(int x, int y, int button) {
  Motion(x, y);
  Button(button, true);
  Button(button, false);
}

}  // namespace qghost
