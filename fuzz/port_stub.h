// Ports made for a fuzz target: a port must exist for its mode handlers (the correction decoders'
// hand-over to task DECT, the native input) to be installed on it, as at the program's start. The
// device gives nothing; the target hands its bytes to the handler of the port's mode itself, in
// port-sized chunks, as the port's own feed does.
#pragma once

#include <cstddef>
#include <cstdint>

#include "differential/decoder_task.h"
#include "fuzz_support.h"
#include "platform/ports/in_port.h"

namespace fuzz {

class PortStub : public InPort {
 public:
  explicit PortStub(int index) : InPort(index) { InPorts::ports_[index] = this; }
  int read(void*, int, int) override { return 0; }
};

// Makes the port of a decoder port (once); call before decInitOnce, which installs the handlers.
inline void makeDecPort(InPorts::DecPortIndex decPort) {
  const int io = InPorts::dec2io_[decPort];
  if (InPorts::ports_[io] == nullptr) new PortStub(io);  // lives as long as the process
}

// The bytes of a port whose input mode is that of decoder `type`, through the mode's handler.
inline void feedDecPort(InDecs::Type type, InPorts::DecPortIndex decPort, const std::uint8_t* data, std::size_t size) {
  DiffHandler& h = DiffHandler::h_[type][decPort];
  inChunks(data, size, kPortChunk, [&h](const std::uint8_t* p, std::size_t n) { h.process(p, 0, static_cast<int>(n), false); });
}

// The port enters (true) or leaves the mode of decoder `type`: its decoder starts afresh.
inline void resetDecPort(InDecs::Type type, InPorts::DecPortIndex decPort, bool entering) {
  DiffHandler::h_[type][decPort].reset(entering);
}

}  // namespace fuzz
