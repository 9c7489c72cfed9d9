#include "gnss_link/slave_tasks.h"

#include <cstdio>

#include "command/reply.h"
#include "command/values.h"
#include "gnss_link/board_link.h"
#include "output/zr_std_msg.h"

Mutex SlaveTasks::mutex_;
SlaveTasks::Entry SlaveTasks::table_[kMaxTasks];
int SlaveTasks::count_ = 0;

SlaveTasks::Entry* SlaveTasks::startUpdate() {
  mutex_.lock();
  return table_;
}

void SlaveTasks::endUpdate(int count) {
  count_ = count < 0 ? 0 : (count > kMaxTasks ? kMaxTasks : count);
  mutex_.unlock();
}

const SlaveTasks::Entry* SlaveTasks::startRead(int& count) {
  mutex_.lock();
  count = count_;
  return table_;
}

void SlaveTasks::endRead() { mutex_.unlock(); }

void printLoad(bool reset, const char* name, Reply* re, ZRStdMsg* msg) {
  (void)name;
  // Copied out so that the lock is not held while formatting or writing.
  SlaveTasks::Entry copy[SlaveTasks::kMaxTasks];
  int n = 0;
  const SlaveTasks::Entry* t = SlaveTasks::startRead(n);
  for (int i = 0; i < n; ++i) copy[i] = t[i];
  SlaveTasks::endRead();

  if (!msg) {
    if (re) {
      for (int i = 0; i < n; ++i) {
        char piece[80];
        std::snprintf(piece, sizeof piece, "%c{%.4s,%2d,%6d,%6d,%6d}%c", i == 0 ? '{' : ' ', copy[i].name,
                      copy[i].num, static_cast<int>(copy[i].cnt[0]), static_cast<int>(copy[i].cnt[1]),
                      static_cast<int>(copy[i].cnt[2]), i + 1 == n ? '}' : ',');
        reString(*re, piece);
      }
    }
  } else {
    for (int i = 0; i < n; ++i) {
      if (copy[i].num == 0) continue;
      msg->put(copy[i].name, 4);
      msg->put8(copy[i].num);
      msg->put(copy[i].cnt[0]);
      msg->put(copy[i].cnt[1]);
    }
  }
  if (reset) profilerReset();
}

void profilerReset() { m2sSend("set,load,0\n"); }
