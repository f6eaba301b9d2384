// The gate of downloads. The browser saves every download under its guid in
// a private staging folder; the gate asks the browser object whose page
// started it (dispatch thread: it asks the host) and cancels it, or moves
// the finished file into the folder the host named, never over a file that
// is there. Downloads of frames that are not a browser object's main frame
// are refused.
#ifndef QG_BROWSER_DOWNLOAD_GATE_H_
#define QG_BROWSER_DOWNLOAD_GATE_H_

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "browser/engine.h"

namespace qg::web {

// The registry value (text) naming the host's download folder; without it
// no download is kept.
inline constexpr char16_t kDownloadFolderValue[] = u"DOWNLOAD_FOLDER";

// The longest name a download takes, in bytes: a folder holds names of 255
// bytes, and " (99)" may be added when the name is taken.
inline constexpr size_t kMaxDownloadName = 250;

// The file name a download may take: the last part of the suggested name,
// without control characters, a leading dot made "_", shortened to
// kMaxDownloadName bytes before its extension; "" when none is left.
std::string SafeDownloadName(const std::string& suggested);

// Moves the file `from` into `folder` as `name`, or as "name (n).ext" when
// that is taken (n up to 99); never replaces a file and never writes through
// a link. The path it took, or "" with errno set.
std::string MoveIntoFolder(const std::string& from, const std::string& folder,
                           const std::string& name);

class DownloadGate : public EventSink {
 public:
  // Installs the gate on a started engine (owned by it), downloads staged
  // in `staging` (a folder of this process only), and sends the download
  // settings without waiting: `done` gets the reply (refused: not ok).
  static void Install(const std::shared_ptr<Engine>& engine, const std::string& staging,
                      devtools::Connection::ReplyHandler done);

  void OnEvent(const devtools::Message& message) override;

 private:
  DownloadGate(std::weak_ptr<Engine> engine, std::string staging)
      : engine_(std::move(engine)), staging_(std::move(staging)) {}
  std::weak_ptr<Engine> engine_;
  const std::string staging_;
  std::mutex mu_;  // guards accepted_
  // Downloads let through, by guid: the folder and name they go to.
  std::map<std::string, std::pair<std::string, std::string>> accepted_;
};

}  // namespace qg::web

#endif  // QG_BROWSER_DOWNLOAD_GATE_H_
