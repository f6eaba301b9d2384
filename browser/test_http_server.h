// Test equipment: a loopback HTTP/1.0 server on a free port, answering each
// path from a table and recording the requests it saw.
#ifndef QG_BROWSER_TEST_HTTP_SERVER_H_
#define QG_BROWSER_TEST_HTTP_SERVER_H_

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qg::web {

class TestHttpServer {
 public:
  struct Response {
    std::string type = "text/html";
    std::string body = {};
    std::string extra_headers = {};  // lines ending in \r\n
    int status = 200;
  };

  TestHttpServer() {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    listen(fd_, 64);
    thread_ = std::thread([this] { Loop(); });
  }
  ~TestHttpServer() {
    stop_ = true;
    thread_.join();
    close(fd_);
  }

  int Port() const { return port_; }
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  void Set(const std::string& path, Response r) {
    std::lock_guard<std::mutex> lock(mu_);
    routes_[path] = std::move(r);
  }
  // The raw request heads seen for a path.
  std::vector<std::string> Requests(const std::string& path) {
    std::lock_guard<std::mutex> lock(mu_);
    return seen_[path];
  }

 private:
  void Loop() {
    while (!stop_) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      int c = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (c < 0) continue;
      std::string head;
      char buf[4096];
      while (head.find("\r\n\r\n") == std::string::npos) {
        pollfd q{c, POLLIN, 0};
        if (poll(&q, 1, 2000) <= 0) break;
        ssize_t n = read(c, buf, sizeof buf);
        if (n <= 0) break;
        head.append(buf, n);
      }
      const size_t sp1 = head.find(' '), sp2 = head.find(' ', sp1 + 1);
      std::string path = sp1 == std::string::npos ? "" : head.substr(sp1 + 1, sp2 - sp1 - 1);
      Response r;
      bool found;
      {
        std::lock_guard<std::mutex> lock(mu_);
        seen_[path].push_back(head);
        auto it = routes_.find(path);
        found = it != routes_.end();
        if (found) r = it->second;
      }
      if (!found) r = {"text/plain", "not found", "", 404};
      std::string out = "HTTP/1.0 " + std::to_string(r.status) + " X\r\nContent-Type: " + r.type +
                        "\r\nContent-Length: " + std::to_string(r.body.size()) + "\r\n" +
                        r.extra_headers + "Connection: close\r\n\r\n" + r.body;
      size_t off = 0;
      while (off < out.size()) {
        ssize_t n = send(c, out.data() + off, out.size() - off, MSG_NOSIGNAL);
        if (n <= 0) break;
        off += n;
      }
      close(c);
    }
  }

  int fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::mutex mu_;
  std::map<std::string, Response> routes_;
  std::map<std::string, std::vector<std::string>> seen_;
  std::thread thread_;
};

}  // namespace qg::web

#endif  // QG_BROWSER_TEST_HTTP_SERVER_H_
