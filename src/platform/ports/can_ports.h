// CAN ports dev/can/a..b (port indexes 41-42). The bytes of a CAN port come from and go to the
// CAN equipment through two hooks the CAN layer fills; until it does, reads wait out their
// timeout and return nothing and writes are dropped.
#pragma once

#include "platform/hook.h"
#include "platform/ports/in_port.h"
#include "platform/ports/out_port.h"

inline constexpr int kCanPorts = 2;

// The CAN layer's side: read up to `max` bytes of CAN port `can` (0 or 1) waiting at most
// `timeout` ticks (0 or less when nothing came), and write bytes (the count taken).
extern Hook<int(int can, void* buf, int max, int timeout)> canReadHook;
extern Hook<int(int can, const void* data, int len, int timeout)> canWriteHook;

class CanInPort : public InPort {
 public:
  explicit CanInPort(int can) : InPort(IOP_CAN_A + can), can_(can) {}
  int read(void* buf, int max, int timeout) override;

 private:
  int can_;
};

class CanOutPort : public OutPort {
 public:
  explicit CanOutPort(int can) : OutPort(IOP_CAN_A + can), can_(can) {}

 protected:
  int devWrite(const void* data, int len, int timeout) override;

 private:
  int can_;
};

// Enters both CAN ports into the port tables (once).
int canPortsInitOnce();
// Starts their input tasks (PIxT after the serial ones, priority 11 at start-up).
bool canInProcInit(int priority);
