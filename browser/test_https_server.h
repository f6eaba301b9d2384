// Test equipment: a loopback HTTPS server on a free port with a self-signed
// certificate made at start (for 127.0.0.1, so its only fault is the unknown
// issuer), answering every request with one page.
#ifndef QG_BROWSER_TEST_HTTPS_SERVER_H_
#define QG_BROWSER_TEST_HTTPS_SERVER_H_

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

namespace qg::web {

class TestHttpsServer {
 public:
  explicit TestHttpsServer(std::string body) : body_(std::move(body)) {
    key_ = EVP_EC_gen("P-256");
    cert_ = X509_new();
    X509_set_version(cert_, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert_), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert_), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert_), 86400);
    X509_set_pubkey(cert_, key_);
    X509_NAME* name = X509_get_subject_name(cert_);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
    X509_set_issuer_name(cert_, name);
    X509V3_CTX v3;
    X509V3_set_ctx_nodb(&v3);
    X509V3_set_ctx(&v3, cert_, cert_, nullptr, nullptr, 0);
    if (X509_EXTENSION* san =
            X509V3_EXT_conf_nid(nullptr, &v3, NID_subject_alt_name, "IP:127.0.0.1")) {
      X509_add_ext(cert_, san, -1);
      X509_EXTENSION_free(san);
    }
    X509_sign(cert_, key_, EVP_sha256());
    ctx_ = SSL_CTX_new(TLS_server_method());
    SSL_CTX_use_certificate(ctx_, cert_);
    SSL_CTX_use_PrivateKey(ctx_, key_);

    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    listen(fd_, 16);
    thread_ = std::thread([this] { Loop(); });
  }
  ~TestHttpsServer() {
    stop_ = true;
    thread_.join();
    close(fd_);
    SSL_CTX_free(ctx_);
    X509_free(cert_);
    EVP_PKEY_free(key_);
  }

  std::string Url(const std::string& path) const {
    return "https://127.0.0.1:" + std::to_string(port_) + path;
  }
  int Served() const { return served_; }

 private:
  void Loop() {
    while (!stop_) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      const int c = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (c < 0) continue;
      timeval tv{2, 0};
      setsockopt(c, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
      SSL* ssl = SSL_new(ctx_);
      SSL_set_fd(ssl, c);
      if (SSL_accept(ssl) == 1) {
        std::string request;
        char buf[4096];
        int n;
        while (request.find("\r\n\r\n") == std::string::npos &&
               (n = SSL_read(ssl, buf, sizeof buf)) > 0) {
          request.append(buf, n);
        }
        const std::string reply = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                                  std::to_string(body_.size()) + "\r\n\r\n" + body_;
        SSL_write(ssl, reply.data(), static_cast<int>(reply.size()));
        ++served_;
        SSL_shutdown(ssl);
      }
      SSL_free(ssl);
      close(c);
    }
  }

  std::string body_;
  EVP_PKEY* key_ = nullptr;
  X509* cert_ = nullptr;
  SSL_CTX* ctx_ = nullptr;
  int fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> served_{0};
  std::thread thread_;
};

}  // namespace qg::web

#endif  // QG_BROWSER_TEST_HTTPS_SERVER_H_
