#include "platform/ports/can_ports.h"

#include <atomic>
#include <cstdio>

namespace {
std::atomic<const CanSeam*> g_seam{nullptr};
}  // namespace

void canSetSeam(const CanSeam* seam) { g_seam.store(seam); }

int CanInPort::read(void* buf, int max, int timeout) {
  const CanSeam* s = g_seam.load();
  if (s && s->read) return s->read(can_, buf, max, timeout);
  if (timeout > 0) Task::sleep(timeout);
  return 0;
}

int CanOutPort::devWrite(const void* data, int len, int timeout) {
  const CanSeam* s = g_seam.load();
  if (s && s->write) return s->write(can_, data, len, timeout);
  return 0;
}

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
