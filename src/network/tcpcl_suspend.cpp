#include "network/tcpcl_suspend.h"

#include <atomic>

Hook<void(bool suspend)> tcpclSuspendHook("network", "tcpclSuspendHook");

namespace {
std::atomic<bool> g_suspended{false};
}  // namespace

bool get_tcpcl_suspend() { return g_suspended.load(); }

void set_tcpcl_suspend(bool on) {
  if (g_suspended.exchange(on) == on) return;
  tcpclSuspendHook(on);
}
