// A private Xvfb server: a display number chosen by the server itself
// (-displayfd), no TCP, a cookie file written here (one FamilyWild
// MIT-MAGIC-COOKIE-1 entry), its own temporary folder /tmp/qg_xvfb_<pid>_*.
// The server gets SIGTERM when the thread that started it dies, so a
// crashed test leaves no server behind; its folder goes at the next start.
#ifndef QG_HOST_X11_XVFB_SERVER_H_
#define QG_HOST_X11_XVFB_SERVER_H_

#include <sys/types.h>

#include <string>

namespace qghost {

class XvfbServer {
 public:
  XvfbServer() = default;
  ~XvfbServer() { Stop(); }
  XvfbServer(const XvfbServer&) = delete;
  XvfbServer& operator=(const XvfbServer&) = delete;

  // Starts the server and waits (at most 60 s) for its display number.
  // False with the reason when Xvfb is missing or does not start.
  bool Start(std::string* why);
  // Stops the server and removes its folder.
  void Stop();
  bool running() const { return pid_ > 0; }
  const std::string& display() const { return display_; }      // ":N"
  const std::string& authority() const { return authority_; }  // the cookie file
  // Points DISPLAY and XAUTHORITY of this process at the server.
  void Export() const;

 private:
  pid_t pid_ = -1;
  std::string folder_, display_, authority_;
};

}  // namespace qghost

#endif  // QG_HOST_X11_XVFB_SERVER_H_
