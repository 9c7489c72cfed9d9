#include "platform/ports/serial_ports.h"

#include <cstdint>
#include <cstdio>

#include "platform/ports/serial_driver.h"

namespace {
const int kIndexOfRs[kRsPortCount] = {IOP_SER_A, IOP_SER_B, IOP_SER_C, IOP_SER_D, IOP_USB_A, -1};
}  // namespace

int SerialInPort::read(void* buf, int max, int timeout) { return rsRead(rs_, buf, max, timeout, 0); }

int SerialOutPort::devWrite(const void* data, int len, int timeout) {
  return rsWrite(rs_, data, len, timeout, 0);
}

bool SerialOutPort::devFlush(int timeout) { return rsDrain(rs_, timeout); }

int rsPortOfIndex(int index) {
  for (int p = 0; p < kRsPortCount; ++p) {
    if (kIndexOfRs[p] == index && index >= 0) return p;
  }
  return -1;
}

int serialPortsInitOnce() {
  int open = rsInitOnce();
  for (int p = 0; p < kRsPortCount; ++p) {
    int idx = kIndexOfRs[p];
    if (idx < 0 || !rsIsOpen(p) || InPorts::ports_[idx]) continue;
    OutPorts::ports_[idx] = new SerialOutPort(idx, p);
    InPorts::ports_[idx] = new SerialInPort(idx, p);
  }
  return open;
}

bool serialInProcInit(int priority) {
  static Task* tasks[kRsPortCount] = {};
  bool ok = true;
  for (int p = 0; p < kRsPortCount; ++p) {
    int idx = kIndexOfRs[p];
    if (idx < 0 || !InPorts::ports_[idx] || tasks[p]) continue;
    char name[8];
    std::snprintf(name, sizeof name, "PI%cT", 'A' + p);
    tasks[p] = new Task(priority, InPort::taskProc, InPorts::ports_[idx], name, 4096);
    tasks[p]->resume();
    ok = ok && tasks[p]->started();
  }
  return ok;
}
