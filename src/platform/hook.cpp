#include "platform/hook.h"

#include <cstdio>
#include <cstring>

#include "platform/exit.h"

namespace {
constexpr int kMaxHooks = 256;

// Built on first use: hooks register from static constructors in any order of translation units.
struct Registry {
  HookInfo rows[kMaxHooks];
  std::atomic<int> count{0};
};
Registry& registry() {
  static Registry r;
  return r;
}
}  // namespace

void hookRegister(const HookInfo& info) {
  Registry& r = registry();
  const int n = r.count.load(std::memory_order_acquire);
  // More hooks than the table holds, or two hooks of one name, is a fault of the program itself.
  if (n >= kMaxHooks || hookFind(info.owner, info.name)) {
    std::fprintf(stderr, "$$HOOK: cannot register %s/%s\n", info.owner, info.name);
    rxExit(kExitTaskFailure);
  }
  r.rows[n] = info;
  r.count.store(n + 1, std::memory_order_release);
}

int hookCount() { return registry().count.load(std::memory_order_acquire); }

const HookInfo* hookAt(int i) { return i >= 0 && i < hookCount() ? &registry().rows[i] : nullptr; }

const HookInfo* hookFind(const char* owner, const char* name) {
  for (int i = 0; i < hookCount(); ++i) {
    const HookInfo& h = registry().rows[i];
    if (std::strcmp(h.owner, owner) == 0 && std::strcmp(h.name, name) == 0) return &h;
  }
  return nullptr;
}
