#include "dotnet/connector/net_module.h"

#include <atomic>

#include "support/frame/module_frame.h"

namespace qgnet {
namespace {

std::atomic<int> g_state{0};
std::atomic<bool> g_host_going_away{false};

}  // namespace

void CDLLExecutionNet::vTerminate() { HostGoingAway(); }

CBaseExecutionDLL* NewExecutionNet() { return new (std::nothrow) CDLLExecutionNet(); }

void gInitModule() {
  int expected = 0;
  g_state.compare_exchange_strong(expected, 1);
}

void gTermModule() {
  int expected = 1;
  if (!g_state.compare_exchange_strong(expected, 2)) return;
  try {
    qg::TermExecutionObject();
  } catch (...) {
  }
}

void HostGoingAway() { g_host_going_away.store(true); }
bool bHostGoingAway() { return g_host_going_away.load(); }

}  // namespace qgnet
