// Registry of every output message: up to 450 messages in seven groups, each under a name
// unique in its group. Registration happens once at start; the pool is then only read.
#pragma once

#include <cstdint>

#include "output/msg_sched.h"

class OutMsg;

enum MsgGroup : int {
  kGroupZrt = 0,
  kGroupNmea = 1,
  kGroupRtcm = 2,
  kGroupCmr = 3,
  kGroupBinex = 4,
  kGroupMisc = 5,
  kGroupRtcm3 = 6,
};

// Where a message goes among a stream's due messages of one epoch.
enum MsgOrder : std::uint8_t { kOrderFirst = 0, kOrderNormal = 1, kOrderLast = 2 };

class MsgPool {
 public:
  static constexpr int kMaxMsgs = 450;
  static constexpr int kGroups = 7;
  static constexpr int kMaxName = 8;

  // False when the pool is full, the group or name is not valid, the name is taken in the
  // group, or there is no message.
  static bool add(MsgPool& pool, int group, const char* name, OutMsg* msg,
                  const MsgSchedParams* defSched);

  static const char* groupName(int group);
  // Group by name ("zrt", "nmea", ...); -1 when unknown. `len` < 0: zero-terminated.
  static int findGroup(const char* name, int len = -1);

  // Pool index of a message; -1 when unknown.
  int find(int group, const char* name, int len = -1) const;
  int size() const { return n_; }
  int first(int group) const { return validGroup(group) ? first_[group] : -1; }
  // The following message of the same group; -1 after the last.
  int next(int index) const { return valid(index) ? e_[index].next : -1; }

  OutMsg* msg(int index) const { return valid(index) ? e_[index].msg : nullptr; }
  const char* name(int index) const { return valid(index) ? e_[index].name : ""; }
  int group(int index) const { return valid(index) ? e_[index].group : -1; }
  // The schedule an "em" without period gives; every epoch when registered without one.
  MsgSchedParams defParams(int index) const;
  MsgOrder order(int index) const { return valid(index) ? e_[index].order : kOrderNormal; }
  void setOrder(int index, MsgOrder order);
  bool valid(int index) const { return index >= 0 && index < n_; }

 private:
  static bool validGroup(int g) { return g >= 0 && g < kGroups; }
  bool add_(int group, const char* name, OutMsg* msg, const MsgSchedParams* defSched);

  struct Entry {
    OutMsg* msg;
    const MsgSchedParams* def;
    char name[kMaxName + 1];
    std::int8_t group;
    MsgOrder order;
    std::int16_t next;
  };
  Entry e_[kMaxMsgs] = {};
  int n_ = 0;
  int first_[kGroups] = {-1, -1, -1, -1, -1, -1, -1};
  int last_[kGroups] = {-1, -1, -1, -1, -1, -1, -1};
};

extern MsgPool msgPool;
