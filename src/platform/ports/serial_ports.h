// The serial and USB ports in the port tables, and their input tasks.
#pragma once

#include "platform/ports/in_port.h"
#include "platform/ports/out_port.h"

class SerialInPort : public InPort {
 public:
  SerialInPort(int index, int rsPort) : InPort(index), rs_(rsPort) {}
  int read(void* buf, int max, int timeout) override;

 private:
  int rs_;
};

class SerialOutPort : public OutPort {
 public:
  SerialOutPort(int index, int rsPort) : OutPort(index), rs_(rsPort) {}

 protected:
  int devWrite(const void* data, int len, int timeout) override;
  bool devFlush(int timeout) override;

 private:
  int rs_;
};

// Serial port number of a port index; -1 for a port that is not a serial one.
int rsPortOfIndex(int index);

// Opens the serial and USB devices (rsInitOnce) and enters their objects into
// InPorts::ports_ and OutPorts::ports_, each input port in its stored mode.
int serialPortsInitOnce();
// Starts the input tasks PIxT of the serial and USB ports; false when one failed.
bool serialInProcInit(int priority);
