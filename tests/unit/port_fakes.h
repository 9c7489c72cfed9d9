// Stand-in devices for tests that drive the port model without a terminal or a socket.
#pragma once

#include <algorithm>
#include <deque>
#include <string>

#include "platform/ports/in_port.h"
#include "platform/ports/out_port.h"

namespace testports {

// An input device that delivers scripted chunks and then nothing. Entered in the port table
// unless asked not to, so that code looking ports up by index finds it.
class ScriptPort : public InPort {
 public:
  explicit ScriptPort(int index, bool enterInTable = true) : InPort(index), entered_(enterInTable) {
    if (entered_) InPorts::ports_[index] = this;
  }
  ~ScriptPort() override {
    if (entered_) InPorts::ports_[portIndex()] = nullptr;
  }
  std::deque<std::string> chunks;
  int read(void* buf, int max, int) override {
    if (chunks.empty()) return 0;
    std::string& c = chunks.front();
    const int n = std::min<int>(max, static_cast<int>(c.size()));
    c.copy(static_cast<char*>(buf), static_cast<std::size_t>(n));
    c.erase(0, static_cast<std::size_t>(n));
    if (c.empty()) chunks.pop_front();
    return n;
  }

 private:
  bool entered_;
};

// An output device that keeps everything written to it.
class CaptureOut : public OutPort {
 public:
  explicit CaptureOut(int index) : OutPort(index) { OutPorts::ports_[index] = this; }
  ~CaptureOut() override { OutPorts::ports_[portIndex()] = nullptr; }
  std::string data;

 protected:
  int devWrite(const void* d, int len, int) override {
    data.append(static_cast<const char*>(d), static_cast<std::size_t>(len));
    return len;
  }
};

// Puts a test's output port in the port table at `index`, where the program looks its ports up
// (the output manager writes stream n to entry n); null puts back what the entry held before.
inline void attachOut(int index, OutPort* port) {
  static OutPort* saved[IOP_NUM];
  static bool held[IOP_NUM];
  if (index < 0 || index >= IOP_NUM) return;
  OutPort*& slot = OutPorts::ports_[index];
  if (!held[index]) saved[index] = slot, held[index] = true;
  slot = port != nullptr ? port : saved[index];
  if (port == nullptr) held[index] = false;
}

}  // namespace testports
