// GoogleTest environment: one private Xvfb server for a test binary,
// exported through DISPLAY and XAUTHORITY. Tests that need it call
// XvfbEnvironment::Ready() and skip when it is false.
#ifndef QG_HOST_X11_XVFB_ENVIRONMENT_H_
#define QG_HOST_X11_XVFB_ENVIRONMENT_H_

#include <gtest/gtest.h>

#include <string>

#include "host/x11/xvfb_server.h"

namespace qghost {

class XvfbEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (Server().Start(&Why())) {
      Server().Export();
    } else {
      std::fprintf(stderr, "no X server for the X11 tests: %s\n", Why().c_str());
    }
  }
  void TearDown() override { Server().Stop(); }

  static bool Ready() { return Server().running(); }
  static XvfbServer& Server() {
    static XvfbServer server;
    return server;
  }
  static std::string& Why() {
    static std::string why;
    return why;
  }
};

}  // namespace qghost

#endif  // QG_HOST_X11_XVFB_ENVIRONMENT_H_
