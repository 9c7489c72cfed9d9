// Command lines typed on serial port A: the port's own line cutting (command mode) hands each
// line to the parser task, which runs it against every parameter area the program registers at
// start and answers on the port. Settings changed by one input stay for the next, as they do in
// the program.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/ports/in_port.h"
#include "platform/ports/out_port.h"
#include "program_start.h"

namespace {

// Serial port A as a device: reads give the input in port-sized pieces, writes vanish.
class FuzzIn : public InPort {
 public:
  FuzzIn() : InPort(IOP_SER_A) { InPorts::ports_[IOP_SER_A] = this; }
  const std::uint8_t* data = nullptr;
  std::size_t left = 0;
  int read(void* buf, int max, int) override {
    const std::size_t n = left < static_cast<std::size_t>(max) ? left : static_cast<std::size_t>(max);
    if (n == 0) return 0;
    std::memcpy(buf, data, n);
    data += n;
    left -= n;
    return static_cast<int>(n);
  }
};
class FuzzOut : public OutPort {
 public:
  FuzzOut() : OutPort(IOP_SER_A) { OutPorts::ports_[IOP_SER_A] = this; }

 protected:
  int devWrite(const void*, int len, int) override { return len; }
};

FuzzIn* g_in = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::startAsTheProgram("commands");
  static FuzzOut out;
  g_in = new FuzzIn;
  // The program's start-up task becomes the parser; here the parser gets a task of its own.
  static Task parser(10, parseProc, nullptr, "PARS", 10240);
  parser.resume();
  if (!parser.started()) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::CurrentInput current(data, size);
  // Back in command mode, as a user on another port would put it: an input that switched the
  // port to another mode would leave every later one unheard.
  g_in->setMode(InPort::M_CMD);
  g_in->data = data;
  g_in->left = size;
  // Reads until the port has been quiet for a millisecond; each line waits for the parser.
  g_in->task(1);
  // A line left without its terminator ends with the input, as a terminal user's would.
  static const std::uint8_t kEnd = '\n';
  g_in->data = &kEnd;
  g_in->left = 1;
  g_in->task(1);
  return 0;
}
