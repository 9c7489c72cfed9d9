#include "platform/nv_pended_clear.h"

#include <atomic>
#include <cstdint>
#include <cstdio>

#include "platform/file_nvm.h"
#include "platform/mono_clock.h"
#include "platform/nv_block.h"

namespace {
constexpr std::uint16_t kBlockId = 0x7C01;
constexpr std::uint32_t kPendingMark = 0x434C5221;  // any other value: no clear pending

struct PendedClearNv {
  std::uint32_t mark;
  std::uint32_t reserved;
};
static_assert(sizeof(PendedClearNv) == 8);

NvBlock g_block;
std::atomic<bool> g_clearedAtStart{false};
}  // namespace

void nvPendedClear_NvAlloc() { g_block.allocate(sizeof(PendedClearNv), kBlockId, true, true); }

bool nvPendedClearRequest() {
  PendedClearNv v{kPendingMark, 0};
  return g_block.update(&v, sizeof v, 0);
}

bool nvPendedClearIsPending() {
  PendedClearNv v{};
  return g_block.read(&v, sizeof v, 0) && v.mark == kPendingMark;
}

bool nvPendedClearRun() {
  if (!nvPendedClearIsPending()) return false;
  std::fprintf(stderr, "$$NV: clearing the settings image as requested\n");
  NvBlock::clearAll();
  g_clearedAtStart = true;
  return true;
}

void nvPendedClearOnRebootsReset() {
  if (!g_clearedAtStart.load()) return;
  if (FileNvmSave(MonoClock::ms(), true)) g_clearedAtStart = false;
}
