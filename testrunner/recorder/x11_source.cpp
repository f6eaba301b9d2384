#include "testrunner/recorder/x11_source.h"

#include <unistd.h>
#include <xcb/record.h>
#include <xcb/res.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "testrunner/recorder/key_names.h"
#include "testrunner/recorder/recorder.h"

namespace {

// Categories of the enable request's replies.
constexpr uint8_t kCategorieDuServeur = 0;

// Frees what xcb hands out.
struct Libere {
  void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Reponse = std::unique_ptr<T, Libere>;

uint16_t Lit16(const uint8_t* p) {
  uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}

class CSourceX11 final : public ISourceEntree {
 public:
  ~CSourceX11() override { Ferme(); }

  // Opens both connections and reads what the lookups need.
  bool bOuvre();

  int32_t nDemarre(IEnregistrementTest* recorder) override;
  void Arrete() override;
  int nDescripteur() override { return donnees_ != nullptr ? xcb_get_file_descriptor(donnees_) : -1; }
  int32_t nDraine() override;

  uint32_t nModificateurs() override { return modificateurs_; }
  uint32_t hFocus() override;
  uint32_t hFenetreSouris(int32_t x, int32_t y) override;
  bool bProcessusPropre(uint32_t window) override;
  bool bElementFenetre(uint32_t window, uint32_t* answer, int32_t* kind) override;
  uint32_t hParent(uint32_t window) override;
  bool bPointClient(uint32_t window, int32_t* x, int32_t* y) override;
  char32_t cCaractere(uint32_t param2) override;

 private:
  void Ferme();
  bool bChargeClavier();
  xcb_atom_t Atome(const char* name);
  bool bPropriete(xcb_window_t w, xcb_atom_t atom, xcb_atom_t type, uint32_t* value);
  void TraiteEvenementsConsultation();
  void TraiteDonnees(const uint8_t* data, size_t n);
  void LitDelaiDoubleClic();

  xcb_connection_t* donnees_ = nullptr;      // RECORD data only
  xcb_connection_t* consultation_ = nullptr; // lookups, the context, mapping events
  xcb_window_t racine_ = 0;
  xcb_record_context_t contexte_ = 0;
  bool actif_ = false;
  unsigned int sequence_ = 0;  // of the enable request
  IEnregistrementTest* recorder_ = nullptr;
  uint32_t modificateurs_ = 0;
  xcb_atom_t atome_element_ = 0, atome_type_ = 0;
  // The keysym of each keycode at level 0 of the first group: the
  // server's core keyboard mapping, which follows the XKB layout and is
  // read again when the server announces a new mapping.
  std::vector<uint32_t> niveau0_;
  CDetecteurDoubleClic double_clic_;
};

bool CSourceX11::bOuvre() {
  int screen = 0;
  consultation_ = xcb_connect(nullptr, &screen);
  if (xcb_connection_has_error(consultation_)) return false;
  donnees_ = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(donnees_)) return false;
  const xcb_setup_t* setup = xcb_get_setup(consultation_);
  xcb_screen_iterator_t it = xcb_setup_roots_iterator(setup);
  for (int i = 0; i < screen && it.rem > 0; ++i) xcb_screen_next(&it);
  if (it.rem == 0) return false;
  racine_ = it.data->root;
  const xcb_query_extension_reply_t* record = xcb_get_extension_data(consultation_, &xcb_record_id);
  const xcb_query_extension_reply_t* res = xcb_get_extension_data(consultation_, &xcb_res_id);
  if (record == nullptr || !record->present || res == nullptr || !res->present) return false;
  Reponse<xcb_res_query_version_reply_t> version(xcb_res_query_version_reply(
      consultation_, xcb_res_query_version(consultation_, 1, 2), nullptr));
  if (version == nullptr || (version->server_major == 1 && version->server_minor < 2)) {
    return false;  // no client ids before 1.2
  }
  Reponse<xcb_record_query_version_reply_t> rv(xcb_record_query_version_reply(
      donnees_, xcb_record_query_version(donnees_, 1, 13), nullptr));
  if (rv == nullptr) return false;
  atome_element_ = Atome("_QG_ELEMENT");
  atome_type_ = Atome("_QG_ELEMENT_KIND");
  if (atome_element_ == 0 || atome_type_ == 0) return false;
  LitDelaiDoubleClic();
  return bChargeClavier();
}

void CSourceX11::LitDelaiDoubleClic() {
  // The desktop's resources (RESOURCE_MANAGER on the root window): a
  // multiClickTime or doubleClickTime entry in milliseconds, else the
  // system's 500.
  Reponse<xcb_get_property_reply_t> r(xcb_get_property_reply(
      consultation_,
      xcb_get_property(consultation_, 0, racine_, XCB_ATOM_RESOURCE_MANAGER, XCB_ATOM_STRING, 0,
                       1 << 16),
      nullptr));
  if (r == nullptr || r->format != 8) return;
  const std::string text(static_cast<const char*>(xcb_get_property_value(r.get())),
                         static_cast<size_t>(xcb_get_property_value_length(r.get())));
  uint32_t delay = DelaiDoubleClicRessources(text);
  if (delay != 0) double_clic_.SetDelai(delay);
}

bool CSourceX11::bChargeClavier() {
  const xcb_setup_t* setup = xcb_get_setup(consultation_);
  const uint8_t first = setup->min_keycode, last = setup->max_keycode;
  Reponse<xcb_get_keyboard_mapping_reply_t> r(xcb_get_keyboard_mapping_reply(
      consultation_,
      xcb_get_keyboard_mapping(consultation_, first, static_cast<uint8_t>(last - first + 1)),
      nullptr));
  if (r == nullptr || r->keysyms_per_keycode == 0) return false;
  const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(r.get());
  const int n = xcb_get_keyboard_mapping_keysyms_length(r.get());
  niveau0_.assign(256, 0);
  for (int k = first; k <= last; ++k) {
    const int at = (k - first) * r->keysyms_per_keycode;
    if (at < n) niveau0_[k] = syms[at];
  }
  return true;
}

xcb_atom_t CSourceX11::Atome(const char* name) {
  Reponse<xcb_intern_atom_reply_t> r(xcb_intern_atom_reply(
      consultation_,
      xcb_intern_atom(consultation_, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr));
  return r != nullptr ? r->atom : 0;
}

int32_t CSourceX11::nDemarre(IEnregistrementTest* recorder) {
  recorder_ = recorder;
  contexte_ = xcb_generate_id(consultation_);
  xcb_record_client_spec_t all = XCB_RECORD_CS_ALL_CLIENTS;
  // Keyboard first.
  xcb_record_range_t keys = {};
  keys.device_events.first = XCB_KEY_PRESS;
  keys.device_events.last = XCB_KEY_RELEASE;
  Reponse<xcb_generic_error_t> error(xcb_request_check(
      consultation_,
      xcb_record_create_context_checked(consultation_, contexte_, 0, 1, 1, &all, &keys)));
  if (error != nullptr) {
    contexte_ = 0;
    return 0;
  }
  // Then the mouse: registering the clients again replaces their ranges,
  // so the keys come again with the mouse.
  xcb_record_range_t both[2] = {keys, {}};
  both[1].device_events.first = XCB_BUTTON_PRESS;
  both[1].device_events.last = XCB_MOTION_NOTIFY;
  error.reset(xcb_request_check(
      consultation_,
      xcb_record_register_clients_checked(consultation_, contexte_, 0, 1, 2, &all, both)));
  if (error != nullptr) return 1;
  const xcb_record_enable_context_cookie_t cookie = xcb_record_enable_context(donnees_, contexte_);
  sequence_ = cookie.sequence;
  // The first reply says the context is on: input from then on is
  // recorded, whichever connection makes it.
  xcb_generic_error_t* failure = nullptr;
  Reponse<xcb_record_enable_context_reply_t> first(
      xcb_record_enable_context_reply(donnees_, cookie, &failure));
  std::free(failure);
  if (first == nullptr) return 1;
  actif_ = true;
  return 2;
}

void CSourceX11::Arrete() {
  recorder_ = nullptr;
  if (contexte_ != 0 && consultation_ != nullptr) {
    // Disabling ends the enable request's replies; freeing the context
    // ends the recording.
    xcb_record_disable_context(consultation_, contexte_);
    xcb_record_free_context(consultation_, contexte_);
    Reponse<xcb_get_input_focus_reply_t> sync(
        xcb_get_input_focus_reply(consultation_, xcb_get_input_focus(consultation_), nullptr));
  }
  contexte_ = 0;
  actif_ = false;
}

void CSourceX11::Ferme() {
  Arrete();
  if (donnees_ != nullptr) xcb_disconnect(donnees_);
  if (consultation_ != nullptr) xcb_disconnect(consultation_);
  donnees_ = consultation_ = nullptr;
}

void CSourceX11::TraiteEvenementsConsultation() {
  bool reload = false;
  while (xcb_generic_event_t* e = xcb_poll_for_event(consultation_)) {
    if ((e->response_type & 0x7F) == XCB_MAPPING_NOTIFY &&
        reinterpret_cast<const xcb_mapping_notify_event_t*>(e)->request ==
            XCB_MAPPING_KEYBOARD) {
      reload = true;
    }
    std::free(e);
  }
  if (reload) bChargeClavier();
}

int32_t CSourceX11::nDraine() {
  if (!actif_ || recorder_ == nullptr) return 0;
  int32_t handled = 0;
  TraiteEvenementsConsultation();
  for (;;) {
    void* reply = nullptr;
    xcb_generic_error_t* error = nullptr;
    if (xcb_poll_for_reply(donnees_, sequence_, &reply, &error) == 0) break;
    std::free(error);
    if (reply == nullptr) break;
    Reponse<xcb_record_enable_context_reply_t> r(
        static_cast<xcb_record_enable_context_reply_t*>(reply));
    if (r->category == kCategorieDuServeur) {
      const int n = xcb_record_enable_context_data_length(r.get());
      const uint8_t* data = xcb_record_enable_context_data(r.get());
      TraiteEvenementsConsultation();
      for (int at = 0; at + 32 <= n; at += 32) {
        TraiteDonnees(data + at, 32);
        ++handled;
        if (recorder_ == nullptr) break;
      }
    }
  }
  return handled;
}

void CSourceX11::TraiteDonnees(const uint8_t* data, size_t) {
  const uint8_t type = data[0] & 0x7F;
  const uint8_t detail = data[1];
  const int16_t x = static_cast<int16_t>(Lit16(data + 20));
  const int16_t y = static_cast<int16_t>(Lit16(data + 22));
  const uint16_t state = Lit16(data + 28);
  modificateurs_ = ((state & XCB_MOD_MASK_SHIFT) != 0 ? kFlagShift : 0) |
                   ((state & XCB_MOD_MASK_CONTROL) != 0 ? kFlagCtrl : 0) |
                   ((state & XCB_MOD_MASK_1) != 0 ? kFlagAlt : 0);
  EvenementEntree e;
  switch (type) {
    case XCB_KEY_PRESS:
    case XCB_KEY_RELEASE: {
      const uint32_t keysym = detail < niveau0_.size() ? niveau0_[detail] : 0;
      e.nMessage = type == XCB_KEY_PRESS ? kMsgToucheEnfoncee : kMsgToucheRelachee;
      e.nParam1 = nToucheVirtuelle(keysym);
      e.nParam2 = 1u | uint32_t(detail) << 16 | (type == XCB_KEY_RELEASE ? 0xC0000000u : 0u);
      break;
    }
    case XCB_BUTTON_PRESS:
    case XCB_BUTTON_RELEASE: {
      const bool press = type == XCB_BUTTON_PRESS;
      switch (detail) {
        case 1: e.nMessage = press ? kMsgBoutonGaucheEnfonce : kMsgBoutonGaucheRelache; break;
        case 2: e.nMessage = press ? kMsgBoutonMilieuEnfonce : kMsgBoutonMilieuRelache; break;
        case 3: e.nMessage = press ? kMsgBoutonDroitEnfonce : kMsgBoutonDroitRelache; break;
        case 4: case 5: e.nMessage = press ? kMsgMolette : 0; break;
        case 6: case 7: e.nMessage = press ? kMsgMoletteHorizontale : 0; break;
        default: e.nMessage = 0; break;
      }
      if (e.nMessage == 0) return;
      // Server time in milliseconds, at byte 4 of the event.
      uint32_t time;
      std::memcpy(&time, data + 4, 4);
      if (press) e.nMessage = double_clic_.nMessage(e.nMessage, time, x, y);
      e.nParam1 = static_cast<uint32_t>(static_cast<int32_t>(x));
      e.nParam2 = static_cast<uint32_t>(static_cast<int32_t>(y));
      break;
    }
    case XCB_MOTION_NOTIFY:
      e.nMessage = kMsgSourisDeplacement;
      e.nParam1 = static_cast<uint32_t>(static_cast<int32_t>(x));
      e.nParam2 = static_cast<uint32_t>(static_cast<int32_t>(y));
      break;
    default:
      return;
  }
  recorder_->bTraiteMessage(e);
}

uint32_t CSourceX11::hFocus() {
  Reponse<xcb_get_input_focus_reply_t> r(
      xcb_get_input_focus_reply(consultation_, xcb_get_input_focus(consultation_), nullptr));
  if (r == nullptr) return 0;
  if (r->focus == XCB_NONE) return 0;
  if (r->focus == XCB_INPUT_FOCUS_POINTER_ROOT || r->focus == racine_) {
    // Focus follows the pointer.
    Reponse<xcb_query_pointer_reply_t> p(
        xcb_query_pointer_reply(consultation_, xcb_query_pointer(consultation_, racine_), nullptr));
    return p != nullptr ? hFenetreSouris(p->root_x, p->root_y) : 0;
  }
  return r->focus;
}

uint32_t CSourceX11::hFenetreSouris(int32_t x, int32_t y) {
  xcb_window_t w = racine_;
  for (int depth = 0; depth < 64; ++depth) {
    Reponse<xcb_translate_coordinates_reply_t> r(xcb_translate_coordinates_reply(
        consultation_,
        xcb_translate_coordinates(consultation_, racine_, w, static_cast<int16_t>(x),
                                  static_cast<int16_t>(y)),
        nullptr));
    if (r == nullptr) return 0;
    if (r->child == XCB_NONE) break;
    w = r->child;
  }
  return w == racine_ ? 0 : w;
}

bool CSourceX11::bProcessusPropre(uint32_t window) {
  xcb_res_client_id_spec_t asked = {window, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
  Reponse<xcb_res_query_client_ids_reply_t> r(xcb_res_query_client_ids_reply(
      consultation_, xcb_res_query_client_ids(consultation_, 1, &asked), nullptr));
  if (r == nullptr) return false;
  for (xcb_res_client_id_value_iterator_t it = xcb_res_query_client_ids_ids_iterator(r.get());
       it.rem > 0; xcb_res_client_id_value_next(&it)) {
    if ((it.data->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) == 0) continue;
    if (xcb_res_client_id_value_value_length(it.data) < 1) continue;
    const uint32_t pid = *xcb_res_client_id_value_value(it.data);
    return pid == static_cast<uint32_t>(getpid());
  }
  return false;
}

bool CSourceX11::bPropriete(xcb_window_t w, xcb_atom_t atom, xcb_atom_t type, uint32_t* value) {
  Reponse<xcb_get_property_reply_t> r(xcb_get_property_reply(
      consultation_, xcb_get_property(consultation_, 0, w, atom, type, 0, 1), nullptr));
  if (r == nullptr || r->type != type || r->format != 32 || xcb_get_property_value_length(r.get()) < 4) {
    return false;
  }
  std::memcpy(value, xcb_get_property_value(r.get()), 4);
  return true;
}

bool CSourceX11::bElementFenetre(uint32_t window, uint32_t* answer, int32_t* kind) {
  auto asks = [&](xcb_window_t w) {
    if (!bPropriete(w, atome_element_, XCB_ATOM_CARDINAL, answer)) return false;
    uint32_t raw = 0;
    *kind = bPropriete(w, atome_type_, XCB_ATOM_CARDINAL, &raw) ? static_cast<int32_t>(raw) : 0;
    return true;
  };
  std::vector<xcb_window_t> owners;
  xcb_window_t w = window;
  for (int depth = 0; depth < 64 && w != XCB_NONE && w != racine_; ++depth) {
    if (asks(w)) return true;
    uint32_t owner = 0;
    if (bPropriete(w, XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW, &owner) && owner != 0) {
      owners.push_back(owner);
    }
    w = hParent(w);
  }
  for (xcb_window_t owner : owners) {
    if (asks(owner)) return true;
  }
  return false;
}

uint32_t CSourceX11::hParent(uint32_t window) {
  Reponse<xcb_query_tree_reply_t> r(
      xcb_query_tree_reply(consultation_, xcb_query_tree(consultation_, window), nullptr));
  if (r == nullptr || r->parent == racine_) return 0;
  return r->parent;
}

bool CSourceX11::bPointClient(uint32_t window, int32_t* x, int32_t* y) {
  Reponse<xcb_translate_coordinates_reply_t> r(xcb_translate_coordinates_reply(
      consultation_,
      xcb_translate_coordinates(consultation_, racine_, window, static_cast<int16_t>(*x),
                                static_cast<int16_t>(*y)),
      nullptr));
  if (r == nullptr) return false;
  *x = r->dst_x;
  *y = r->dst_y;
  return true;
}

char32_t CSourceX11::cCaractere(uint32_t param2) {
  const uint32_t keycode = (param2 >> 16) & 0xFF;
  if (keycode >= niveau0_.size() || niveau0_[keycode] == 0) return 0;
  return xkb_keysym_to_utf32(niveau0_[keycode]);
}

}  // namespace

std::unique_ptr<ISourceEntree> NouvelleSourceX11() {
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || *display == 0) return nullptr;
  auto source = std::make_unique<CSourceX11>();
  if (!source->bOuvre()) return nullptr;
  return source;
}

uint32_t DelaiDoubleClicRessources(const std::string& resources) {
  uint32_t delay = 0;
  size_t start = 0;
  while (start < resources.size()) {
    size_t end = resources.find('\n', start);
    if (end == std::string::npos) end = resources.size();
    const std::string line = resources.substr(start, end - start);
    start = end + 1;
    const size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::string name = line.substr(0, colon);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.pop_back();
    auto ends = [&](const char* suffix) {
      const size_t n = std::strlen(suffix);
      return name.size() >= n && name.compare(name.size() - n, n, suffix) == 0;
    };
    if (!ends("multiClickTime") && !ends("doubleClickTime")) continue;
    const char* p = line.c_str() + colon + 1;
    while (*p == ' ' || *p == '\t') ++p;
    char* after = nullptr;
    const long v = std::strtol(p, &after, 10);
    if (after != p && v >= 1 && v <= 5000) delay = static_cast<uint32_t>(v);
  }
  return delay;
}
