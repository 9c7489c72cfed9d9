#include "platform/ports/can_ports.h"

#include <cstdio>

Hook<int(int can, void* buf, int max, int timeout)> canReadHook("platform", "canReadHook");
Hook<int(int can, const void* data, int len, int timeout)> canWriteHook("platform", "canWriteHook");

int CanInPort::read(void* buf, int max, int timeout) {
  if (canReadHook.filled()) return canReadHook(can_, buf, max, timeout);
  if (timeout > 0) Task::sleep(timeout);
  return 0;
}

int CanOutPort::devWrite(const void* data, int len, int timeout) { return canWriteHook(can_, data, len, timeout); }

int canPortsInitOnce() {
  static bool done = false;
  if (done) return kCanPorts;
  done = true;
  for (int c = 0; c < kCanPorts; ++c) {
    int idx = IOP_CAN_A + c;
    if (!InPorts::ports_[idx]) InPorts::ports_[idx] = new CanInPort(c);
    if (!OutPorts::ports_[idx]) OutPorts::ports_[idx] = new CanOutPort(c);
  }
  return kCanPorts;
}

bool canInProcInit(int priority) {
  static Task* tasks[kCanPorts] = {};
  bool ok = true;
  for (int c = 0; c < kCanPorts; ++c) {
    if (tasks[c] || !InPorts::ports_[IOP_CAN_A + c]) continue;
    char name[8];
    std::snprintf(name, sizeof name, "PI%cT", 'G' + c);
    tasks[c] = new Task(priority, InPort::taskProc, InPorts::ports_[IOP_CAN_A + c], name, 4096);
    tasks[c]->resume();
    ok = ok && tasks[c]->started();
  }
  return ok;
}
