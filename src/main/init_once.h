// The start-up sequence: initOnce's ordered steps and the table of tasks it starts last.
#pragma once

#include <cstdint>

// One named step of initOnce; a step without a function is a place kept for a later layer.
struct InitStep {
  const char* name;
  void (*fn)();
};

// One task starter: the ...ProcInit function, its priority, and the bit it stands for in one of
// the two failure masks.
struct TaskStarter {
  const char* name;
  bool (*start)(int priority);
  int priority;
  int mask;  // 0 or 1
  std::uint32_t bit;
};

// Runs the steps in order, then starts the tasks. When a task fails to start it prints
// "initOnce(): ERROR %x %x" with the two masks and exits with 123 when a clear of the settings
// image is pending, else 0.
void initOnce();

// Runs after initOnce in Init, before the ready banner.
void initAfterOnce();

// Starts the tasks of `table`; on failure reports and exits as initOnce does.
void startTasks(const TaskStarter* table, int n);
