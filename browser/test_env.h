// Test helpers: scoped environment variables, a private registry root and
// temporary folder per test process.
#ifndef QG_BROWSER_TEST_ENV_H_
#define QG_BROWSER_TEST_ENV_H_

#include <stdlib.h>

#include <optional>
#include <string>

namespace qg::web {

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old;
    setenv(name, value, 1);
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_.c_str(), old_->c_str(), 1);
    } else {
      unsetenv(name_.c_str());
    }
  }

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// Points the registry store at an empty folder of this process, once.
inline void UsePrivateRegistry() {
  static const bool done = [] {
    char dir[] = "/tmp/qg-web-registry-XXXXXX";
    if (mkdtemp(dir) != nullptr) setenv("QG_REGISTRY_ROOT", dir, 1);
    return true;
  }();
  (void)done;
}

}  // namespace qg::web

#endif  // QG_BROWSER_TEST_ENV_H_
