#include "network/tcpcl_suspend.h"

#include <atomic>

namespace {
std::atomic<bool> g_suspended{false};
std::atomic<TcpclSuspendFn> g_hook{nullptr};
}  // namespace

bool get_tcpcl_suspend() { return g_suspended.load(); }

void set_tcpcl_suspend(bool on) {
  if (g_suspended.exchange(on) == on) return;
  if (TcpclSuspendFn f = g_hook.load()) f(on);
}

void tcpclSetSuspendHook(TcpclSuspendFn fn) { g_hook.store(fn); }
