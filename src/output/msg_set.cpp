#include "output/msg_set.h"

bool MsgSet::enable(int poolIndex, const MsgSchedParams& params) {
  if (poolIndex < 0 || poolIndex >= MsgPool::kMaxMsgs) return false;
  MsgSetEntry& e = e_[poolIndex];
  if (!e.enabled) ++n_;
  e.params = params;
  e.lastSlot = kNoSlot;
  e.lastChange = 0;
  e.enabled = 1;
  e.due = 0;
  e.changeKnown = 0;
  return true;
}

bool MsgSet::disable(int poolIndex) {
  if (!isEnabled(poolIndex)) return false;
  e_[poolIndex] = MsgSetEntry{};
  --n_;
  return true;
}

void MsgSet::clear() {
  for (auto& e : e_) e = MsgSetEntry{};
  n_ = 0;
}
