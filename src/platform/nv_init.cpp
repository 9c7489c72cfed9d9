#include "platform/nv_init.h"

#include "platform/file_nvm.h"
#include "platform/nv_block.h"
#include "platform/nv_pended_clear.h"

NvInitSlots nvInitSlots;

namespace {
// The hook of each slot in the order; null for this layer's own block.
Hook<void()>* slotHook(int slot) {
  NvInitSlots& s = nvInitSlots;
  Hook<void()>* const order[kNvSlotCount] = {
      &s.serdefs,     &s.netconf,       &s.wlanNv,        &s.ddnsConf,
      &s.ptpdConf,    &s.netconf1,      &s.spectrumNv,    &s.tcpclConf,
      &s.rcvclConf,   &s.wlanconf2init, &s.wlanconf3init, &s.tsIdNv,
      &s.calib,       &s.lbandMap,      &s.beaconMap,     nullptr /* kNvPendedClear */,
      &s.tsDecoderNv,
  };
  static_assert(kNvPendedClear == 15 && kNvSlotCount == 17);
  return slot >= 0 && slot < kNvSlotCount ? order[slot] : nullptr;
}
}  // namespace

void nvInitSet(NvAllocSlot slot, NvAllocFn fn) {
  if (Hook<void()>* h = slotHook(slot)) *h = fn;
}

namespace {
void allocSlots() {
  for (int slot = 0; slot < kNvSlotCount; ++slot) {
    if (slot == kNvPendedClear)
      nvPendedClear_NvAlloc();
    else
      (*slotHook(slot))();
  }
}
}  // namespace

void nvInitOnce() {
  FileNvmLoad();
  allocSlots();
  // The clear's own block has its place only after the slots before it, which read their
  // settings as they allocate: after a clear they are laid out and read again, so that no
  // setting read before it (the ports') outlives it in memory and is stored back.
  if (nvPendedClearRun()) {
    NvBlock::resetLayout();
    allocSlots();
  }
}
