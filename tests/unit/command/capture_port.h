// An output port that keeps what is written to it, standing in for a serial port.
#pragma once

#include <string>

#include "command/input_parser.h"
#include "platform/ports/out_port.h"

class CapturePort : public OutPort {
 public:
  explicit CapturePort(int index) : OutPort(index) { OutPorts::ports_[index] = this; }
  ~CapturePort() override { OutPorts::ports_[portIndex()] = nullptr; }
  std::string take() {
    std::string s;
    s.swap(data_);
    return s;
  }

 protected:
  int devWrite(const void* data, int len, int) override {
    data_.append(static_cast<const char*>(data), static_cast<std::size_t>(len));
    return len;
  }

 private:
  std::string data_;
};

// Runs one command line as if it came from `port` and returns everything answered.
inline std::string runLine(CapturePort& port, const std::string& line) {
  Locker<Mutex> l(printMutex);
  setCurTerm(port.portIndex());
  newParse(line.data(), static_cast<int>(line.size()));
  return port.take();
}
