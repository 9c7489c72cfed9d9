// The links to the GNSS board, dev/shm/a..h (port indexes 9-16). On the host each is a Unix
// stream socket where the board (or its simulator) listens: the program connects, and while a
// link is down it tries again at most every 100 ms. A read on a link that is down waits out its
// timeout and returns nothing; a write is dropped (and counted by the port).
#pragma once

#include <cstdint>

#include "platform/ports/in_port.h"
#include "platform/ports/out_port.h"

inline constexpr int kShmRetryMs = 100;

class ShmInPort : public InPort {
 public:
  explicit ShmInPort(int link) : InPort(IOP_SHM_A + link), link_(link) {}
  int read(void* buf, int max, int timeout) override;

 private:
  int link_;
};

class ShmOutPort : public OutPort {
 public:
  explicit ShmOutPort(int link) : OutPort(IOP_SHM_A + link), link_(link) {}

 protected:
  int devWrite(const void* data, int len, int timeout) override;

 private:
  int link_;
};

// Enters the eight links into InPorts::ports_ and OutPorts::ports_ (once); returns their count.
int shmPortsInitOnce();
// Starts the task that keeps the links connected ("SHMC"); false when it did not start.
bool shmProcInit(int priority);
// One connection round: connects the links that are down (when their retry time has come) and
// closes those whose peer has gone. The task runs it every 100 ms.
void shmCheckLinks();
