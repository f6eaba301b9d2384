#include "browser/download_gate.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "browser/app_callback.h"
#include "browser/cef_browser.h"
#include "browser/utf.h"

namespace qg::web {

using devtools::Json;

namespace {

std::string ReadDownloadFolder() { return ToUtf8(ReadBrowserRegistryText(kDownloadFolderValue)); }

// Copies `from` into a new file `to` (O_EXCL: never an existing file or a
// link); the new file is removed when the copy fails.
bool CopyExclusive(const std::string& from, const std::string& to) {
  const int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  const int out = open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (out < 0) {
    const int e = errno;
    close(in);
    errno = e;
    return false;
  }
  char buf[65536];
  bool ok = true;
  for (;;) {
    const ssize_t n = read(in, buf, sizeof buf);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    for (ssize_t off = 0; ok && off < n;) {
      const ssize_t w = write(out, buf + off, static_cast<size_t>(n - off));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) ok = false;
      else off += w;
    }
    if (!ok) break;
  }
  const int e = errno;
  close(in);
  ok = close(out) == 0 && ok;
  if (!ok) {
    unlink(to.c_str());
    errno = e;
  }
  return ok;
}

}  // namespace

std::string SafeDownloadName(const std::string& suggested) {
  std::string name = suggested.substr(suggested.find_last_of("/\\") + 1);
  std::string out;
  for (char c : name) {
    if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) out.push_back(c);
  }
  if (out == "." || out == "..") return "";
  if (!out.empty() && out[0] == '.') out[0] = '_';
  if (out.size() > kMaxDownloadName) {
    // A longer name would fail the save after the host agreed to it.
    const size_t dot = out.find_last_of('.');
    const bool has_ext = dot != std::string::npos && dot > 0 && out.size() - dot <= 16;
    const std::string ext = has_ext ? out.substr(dot) : "";
    size_t cut = kMaxDownloadName - ext.size();
    while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) --cut;
    out = out.substr(0, cut) + ext;
  }
  return out;
}

std::string MoveIntoFolder(const std::string& from, const std::string& folder,
                           const std::string& name) {
  const size_t dot = name.find_last_of('.');
  const bool has_ext = dot != std::string::npos && dot > 0;
  const std::string stem = has_ext ? name.substr(0, dot) : name;
  const std::string ext = has_ext ? name.substr(dot) : "";
  for (int n = 0; n < 100; ++n) {
    const std::string to =
        folder + "/" + (n == 0 ? name : stem + " (" + std::to_string(n) + ")" + ext);
    // RENAME_NOREPLACE: an existing file or link at `to` is left alone.
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return to;
    if (errno == EEXIST) continue;
    if (errno != EXDEV && errno != EINVAL) return "";
    if (CopyExclusive(from, to)) {
      unlink(from.c_str());
      return to;
    }
    if (errno != EEXIST) return "";
  }
  errno = EEXIST;
  return "";
}

void DownloadGate::Install(const std::shared_ptr<Engine>& engine, const std::string& staging,
                           devtools::Connection::ReplyHandler done) {
  std::shared_ptr<DownloadGate> gate(new DownloadGate(engine, staging));
  engine->AddRootSink(gate, /*owned=*/true);
  engine->Conn().CallAsync(
      "Browser.setDownloadBehavior",
      {{"behavior", "allowAndName"}, {"downloadPath", staging}, {"eventsEnabled", true}}, {},
      std::move(done));
}

void DownloadGate::OnEvent(const devtools::Message& m) {
  const Json& p = m.result;
  if (m.method == "Browser.downloadWillBegin") {
    std::shared_ptr<Engine> engine = engine_.lock();
    if (!engine) return;
    const std::string guid = p.value("guid", "");
    const std::string name = SafeDownloadName(p.value("suggestedFilename", ""));
    const std::string folder = ReadDownloadFolder();
    bool allow = false;
    if (!folder.empty() && !name.empty()) {
      if (std::shared_ptr<CIKQMBrowser> b = engine->FindTarget(p.value("frameId", ""))) {
        allow = b->bAllowDownload(p.value("url", ""), name);
      }
    }
    if (allow) {
      std::lock_guard<std::mutex> lock(mu_);
      accepted_[guid] = {folder, name};
    } else {
      engine->Conn().CallAsync("Browser.cancelDownload", {{"guid", guid}}, {}, nullptr);
    }
  } else if (m.method == "Browser.downloadProgress") {
    const std::string state = p.value("state", "");
    if (state != "completed" && state != "canceled") return;
    const std::string guid = p.value("guid", "");
    if (guid.empty() || guid.find('/') != std::string::npos || guid[0] == '.') return;
    std::pair<std::string, std::string> to;
    {
      std::lock_guard<std::mutex> lock(mu_);
      auto it = accepted_.find(guid);
      if (it != accepted_.end()) {
        to = std::move(it->second);
        accepted_.erase(it);
      }
    }
    const std::string staged = staging_ + "/" + guid;
    if (state == "completed" && !to.first.empty()) {
      const std::string path = MoveIntoFolder(staged, to.first, to.second);
      if (path.empty()) fprintf(stderr, "qg300web: download not saved in %s\n", to.first.c_str());
    }
    unlink(staged.c_str());  // a refused download finished before its cancel
  }
}

}  // namespace qg::web
