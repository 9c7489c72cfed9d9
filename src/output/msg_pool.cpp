#include "output/msg_pool.h"

#include <cstring>

MsgPool msgPool;

namespace {
const char* const kGroupNames[MsgPool::kGroups] = {"zrt", "nmea", "rtcm", "cmr",
                                                   "binex", "misc", "rtcm3"};

bool nameOk(const char* name) {
  if (!name) return false;
  std::size_t n = std::strlen(name);
  if (n == 0 || n > static_cast<std::size_t>(MsgPool::kMaxName)) return false;
  // Characters that the message lists of "em" and "dm" use as punctuation cannot be names.
  return std::strpbrk(name, "{},:/ \t\r\n;#\"") == nullptr;
}
}  // namespace

bool MsgPool::add(MsgPool& pool, int group, const char* name, OutMsg* msg,
                  const MsgSchedParams* defSched) {
  return pool.add_(group, name, msg, defSched);
}

bool MsgPool::add_(int group, const char* name, OutMsg* msg, const MsgSchedParams* defSched) {
  if (n_ >= kMaxMsgs || !validGroup(group) || !msg || !nameOk(name)) return false;
  if (find(group, name) >= 0) return false;
  Entry& e = e_[n_];
  e.msg = msg;
  e.def = defSched;
  std::memset(e.name, 0, sizeof e.name);
  std::memcpy(e.name, name, std::strlen(name));  // nameOk bounds it by kMaxName
  e.group = static_cast<std::int8_t>(group);
  e.order = kOrderNormal;
  e.next = -1;
  if (first_[group] < 0) {
    first_[group] = n_;
  } else {
    e_[last_[group]].next = static_cast<std::int16_t>(n_);
  }
  last_[group] = n_;
  ++n_;
  return true;
}

const char* MsgPool::groupName(int group) { return validGroup(group) ? kGroupNames[group] : ""; }

int MsgPool::findGroup(const char* name, int len) {
  if (!name) return -1;
  std::size_t n = len < 0 ? std::strlen(name) : static_cast<std::size_t>(len);
  for (int g = 0; g < kGroups; ++g) {
    if (std::strlen(kGroupNames[g]) == n && std::strncmp(kGroupNames[g], name, n) == 0) return g;
  }
  return -1;
}

int MsgPool::find(int group, const char* name, int len) const {
  if (!validGroup(group) || !name) return -1;
  std::size_t n = len < 0 ? std::strlen(name) : static_cast<std::size_t>(len);
  if (n == 0 || n > static_cast<std::size_t>(kMaxName)) return -1;
  for (int i = first_[group]; i >= 0; i = e_[i].next) {
    if (std::strlen(e_[i].name) == n && std::strncmp(e_[i].name, name, n) == 0) return i;
  }
  return -1;
}

MsgSchedParams MsgPool::defParams(int index) const {
  if (valid(index) && e_[index].def) return *e_[index].def;
  return MsgSchedParams{0, 0, 0, 0};
}

void MsgPool::setOrder(int index, MsgOrder order) {
  if (valid(index)) e_[index].order = order;
}
