#include "platform/nv_init.h"

#include <atomic>

#include "platform/file_nvm.h"
#include "platform/nv_pended_clear.h"

namespace {
std::atomic<NvAllocFn> g_slots[kNvSlotCount];
// This layer's own block is in its place from the start.
const bool g_own = (g_slots[kNvPendedClear].store(nvPendedClear_NvAlloc), true);
}  // namespace

void nvInitSet(NvAllocSlot slot, NvAllocFn fn) {
  if (slot >= 0 && slot < kNvSlotCount) g_slots[slot].store(fn);
}

void nvInitOnce() {
  FileNvmLoad();
  for (auto& s : g_slots) {
    if (NvAllocFn fn = s.load()) fn();
  }
  nvPendedClearRun();
}
