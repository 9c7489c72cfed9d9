// The messages enabled on one output stream, each with its schedule, indexed like the pool.
#pragma once

#include <cstdint>

#include "output/msg_pool.h"
#include "output/msg_sched.h"

struct MsgSetEntry {
  MsgSchedParams params;
  std::int32_t lastSlot;  // period slot of the last check, kNoSlot before the first
  long lastChange;        // content identifier last written ("on change")
  std::uint8_t enabled;
  std::uint8_t due;        // marked by the preparation, cleared by the output
  std::uint8_t changeKnown;
};

class MsgSet {
 public:
  static constexpr std::int32_t kNoSlot = INT32_MIN;

  // Walks the entries of one group in pool order.
  class GroupIter {
   public:
    GroupIter(const MsgSet& set, int group) : set_(set), next_(msgPool.first(group)) {}
    // Moves to the next entry of the group; false after the last.
    bool next() {
      cur_ = next_;
      if (cur_ < 0) return false;
      next_ = msgPool.next(cur_);
      return true;
    }
    int poolIndex() const { return cur_; }
    bool enabled() const { return set_.isEnabled(cur_); }
    bool due() const { return enabled() && set_.entry(cur_).due; }

   private:
    const MsgSet& set_;
    int cur_ = -1;
    int next_;
  };

  GroupIter group(int g) const { return GroupIter(*this, g); }

  // Enables (or re-schedules) a pool message; false for an index outside the pool.
  bool enable(int poolIndex, const MsgSchedParams& params);
  bool disable(int poolIndex);
  void clear();
  bool isEnabled(int poolIndex) const {
    return poolIndex >= 0 && poolIndex < MsgPool::kMaxMsgs && e_[poolIndex].enabled;
  }
  bool empty() const { return n_ == 0; }
  int count() const { return n_; }
  const MsgSetEntry& entry(int poolIndex) const { return e_[poolIndex]; }
  MsgSetEntry& entry(int poolIndex) { return e_[poolIndex]; }

 private:
  MsgSetEntry e_[MsgPool::kMaxMsgs] = {};
  int n_ = 0;
};
