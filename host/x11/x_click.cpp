#include "host/x11/x_click.h"

#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>

#include "host/x11/x_client.h"

namespace qghost {

bool ClickInWindow(uint32_t window, int32_t x, int32_t y) {
  static std::mutex mu;
  static std::unique_ptr<XClient> client;  // guarded by mu
  static std::string display;               // the one client is connected to
  const char* now = std::getenv("DISPLAY");
  if (now == nullptr || *now == 0 || window == 0) return false;
  std::lock_guard<std::mutex> lock(mu);
  if (client == nullptr || display != now) {
    client = std::make_unique<XClient>();
    if (!client->Open()) {
      client.reset();
      return false;
    }
    display = now;
  }
  int root_x = 0, root_y = 0;
  const bool found = client->ToRoot(window, x, y, &root_x, &root_y);
  if (found) client->Click(root_x, root_y);
  client->PollInput();  // drops the error of a window that is not there
  return found;
}

}  // namespace qghost
