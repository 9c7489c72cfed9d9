// The GNSS board's own task load, as its latest report gave it; shown as a reply or packed into
// a native message, and the board's profiler can be reset.
#pragma once

#include <cstdint>

#include "platform/rtos.h"

class Reply;
class ZRStdMsg;

class SlaveTasks {
 public:
  static constexpr int kMaxTasks = 64;
  // One task as the board reports it: {name 4 bytes, u8, u32, u32, u32} on the wire.
  struct Entry {
    char name[5];  // terminated here, not on the wire
    std::uint8_t num;
    std::uint32_t cnt[3];
  };

  // Locks the table and returns it for writing; endUpdate sets the count (at most kMaxTasks)
  // and unlocks.
  static Entry* startUpdate();
  static void endUpdate(int count);
  // Locks the table and gives its count; endRead unlocks.
  static const Entry* startRead(int& count);
  static void endRead();

 private:
  static Mutex mutex_;
  static Entry table_[kMaxTasks];
  static int count_;
};

// With no message writer, appends the table to the reply as "{name,num,c0,c1,c2} ..."; with
// one, packs each task whose number is not 0 as its name, number and first two counters. When
// `reset` is set the board's profiler is then reset.
void printLoad(bool reset, const char* name, Reply* re, ZRStdMsg* msg);
// Sends the board "set,load,0\n".
void profilerReset();
