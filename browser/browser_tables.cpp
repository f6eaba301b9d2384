#include "browser/browser_tables.h"

#include <cmath>
#include <cstring>

namespace qg::web {

const char* MouseButtonName(int32_t button) {
  switch (button) {
    case 1: return "middle";
    case 2: return "right";
    default: return "left";
  }
}

const char* KeyEventType(int32_t kind) {
  switch (kind) {
    case 0: return "rawKeyDown";
    case 2: return "keyUp";
    case 3: return "char";
    default: return "keyDown";
  }
}

int ModifierBits(bool shift, bool control, bool alt) {
  return (alt ? 1 : 0) | (control ? 2 : 0) | (shift ? 8 : 0);
}

int PressedButtons(const stMouseBrowser& m) {
  return (m.bLeft ? 1 : 0) | (m.bRight ? 2 : 0) | (m.bMiddle ? 4 : 0);
}

bool CertificateAccepted(int32_t flags, int32_t code) {
  // These codes are kept as given: only -202 can be a network error code,
  // so bits 1, 2 and 5 never accept an error (they fail closed).
  return ((flags & 1) != 0 && (code == -202 || code == 128)) ||
         ((flags & 2) != 0 && (code == 1 || code == 16384)) ||
         ((flags & 4) != 0 && code == 2) || ((flags & 32) != 0 && code == 64);
}

int32_t NetErrorCode(const std::string& text) {
  if (text.empty()) return 0;
  static const struct {
    const char* name;
    int32_t code;
  } kTable[] = {
      {"ERR_IO_PENDING", -1},
      {"ERR_FAILED", -2},
      {"ERR_ABORTED", -3},
      {"ERR_INVALID_ARGUMENT", -4},
      {"ERR_FILE_NOT_FOUND", -6},
      {"ERR_TIMED_OUT", -7},
      {"ERR_ACCESS_DENIED", -10},
      {"ERR_BLOCKED_BY_CLIENT", -20},
      {"ERR_BLOCKED_BY_ADMINISTRATOR", -22},
      {"ERR_BLOCKED_BY_RESPONSE", -27},
      {"ERR_CONNECTION_CLOSED", -100},
      {"ERR_CONNECTION_RESET", -101},
      {"ERR_CONNECTION_REFUSED", -102},
      {"ERR_CONNECTION_ABORTED", -103},
      {"ERR_CONNECTION_FAILED", -104},
      {"ERR_NAME_NOT_RESOLVED", -105},
      {"ERR_INTERNET_DISCONNECTED", -106},
      {"ERR_SSL_PROTOCOL_ERROR", -107},
      {"ERR_ADDRESS_INVALID", -108},
      {"ERR_ADDRESS_UNREACHABLE", -109},
      {"ERR_CONNECTION_TIMED_OUT", -118},
      {"ERR_NAME_RESOLUTION_FAILED", -137},
      {"ERR_CERT_COMMON_NAME_INVALID", -200},
      {"ERR_CERT_DATE_INVALID", -201},
      {"ERR_CERT_AUTHORITY_INVALID", -202},
      {"ERR_CERT_INVALID", -207},
      {"ERR_INVALID_URL", -300},
      {"ERR_DISALLOWED_URL_SCHEME", -301},
      {"ERR_UNKNOWN_URL_SCHEME", -302},
      {"ERR_TOO_MANY_REDIRECTS", -310},
      {"ERR_UNSAFE_REDIRECT", -311},
      {"ERR_UNSAFE_PORT", -312},
      {"ERR_INVALID_RESPONSE", -320},
      {"ERR_EMPTY_RESPONSE", -324},
      {"ERR_HTTP_RESPONSE_CODE_FAILURE", -379},
  };
  std::string name = text;
  if (name.rfind("net::", 0) == 0) name = name.substr(5);
  for (const auto& e : kTable) {
    if (name == e.name) return e.code;
  }
  return -2;
}

double ZoomLevel(double percent) {
  if (percent <= 0) return 0.0;
  return std::log(percent / 100.0) / std::log(1.2);
}

double DeviceScale(double percent) { return percent <= 0 ? 1.0 : percent / 100.0; }

uint32_t ColorRefToArgb(int32_t colorref) {
  const uint32_t c = static_cast<uint32_t>(colorref);
  const uint32_t r = c & 0xFF, g = (c >> 8) & 0xFF, b = (c >> 16) & 0xFF;
  return 0xFF000000u | (r << 16) | (g << 8) | b;
}

int32_t ResourceKind(const std::string& t) {
  if (t == "Image") return 0;
  if (t == "Stylesheet") return 1;
  if (t == "Script") return 2;
  if (t == "XHR" || t == "Fetch") return 3;
  return 4;
}

EUnresponsive UnresponsiveAction(int reports, bool windowless, bool low_end_timeout,
                                 bool load_end_received, bool body_waiting, const char** reason) {
  if (reason != nullptr) *reason = nullptr;
  if (!windowless || !low_end_timeout) return EUnresponsive::kIgnore;
  const char* why = nullptr;
  if (reports > 1) {
    why = "m_nOnRenderProcessUnresponsive > 1";
  } else if (load_end_received) {
    why = "m_bOnLoadEndRecu = true";
  } else if (body_waiting) {
    why = "m_bEnAttenteRetJS = true";
  }
  if (reason != nullptr) *reason = why;
  return why != nullptr ? EUnresponsive::kWait : EUnresponsive::kRecreate;
}

}  // namespace qg::web
