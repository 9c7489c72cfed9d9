#include "differential/reoutput_seam.h"

#include "output/zr_std_msg.h"
#include "platform/ports/out_port.h"

namespace {
int portWrite(int portIndex, const void* data, int len) {
  if (portIndex < 0 || portIndex >= kIoPortCount || data == nullptr || len <= 0) return -1;
  return OutPorts::stream(portIndex).write(data, len, 0);
}

// One wrapped-data message ">>": the stream byte, then the frame, with the two-character
// checksum of the native format.
int wrappedWrite(int portIndex, int stream, const void* data, int len) {
  if (portIndex < 0 || portIndex >= kIoPortCount || data == nullptr || len <= 0 || stream < 0 || stream > 255)
    return -1;
  static thread_local char buf[ZRStdMsg::kHeader + 1 + 2048 + 4];
  if (len > 2048) return -1;
  ZRStdMsg m(buf, static_cast<int>(sizeof buf), ">>", ZrCheck::kCs8Hex);
  if (!m.put8(static_cast<std::uint8_t>(stream)) || !m.put(data, len)) return -1;
  return m.write(OutPorts::stream(portIndex));
}
}  // namespace

DecOutputSeam decOutputSeam{portWrite, wrappedWrite};
