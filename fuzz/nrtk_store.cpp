// Network RTK messages through the RTCM 3 base decoder into the network RTK store: each input is a
// run of messages, each one a selector byte (its message number), a length byte and that many
// payload bytes after the number, framed with a right CRC. The store keeps its state from input
// to input, as on a port that stays in RTCM 3 mode; station 0 is its master from the start, and a
// station position (1005) at a place on the Earth's surface makes its station the master.
#include <algorithm>

#include "differential/base/cpd_meas_buf.h"
#include "differential/base/rtcm3_cpd_decoder.h"
#include "differential/nrtk/nrtk_store.h"
#include "rtcm3_frames.h"
#include "settings/rcv_settings.h"
#include "settings/rtcm_settings.h"

namespace {
constexpr int kMsgs[] = {1014, 1015, 1016, 1017, 1030, 1031, 1032, 1037, 1038, 1039, 1005};
constexpr int kMsgCount = sizeof kMsgs / sizeof kMsgs[0];
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  cpdClientsInit();
  rtcmNrtkInit();
  fuzz::rtcm3Start();
  RcvSet.refPort = -2;
  RtcmSet.cmrDec.inUse = -1;
  rtcm3CpdClient->updateRefPos(CpdCPos{1114104.5999, -4850729.7108, 3975521.4643}, 0);
  // The port is the base's, as a mode change to rtcm3 makes it: its stations are taken.
  cpdBufsModeChange(InPorts::dec2io_[fuzz::kRtcm3Port], InPort::M_CMD, InPort::M_RTCM3);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::CurrentInput current(data, size);
  std::vector<std::uint8_t> stream;
  for (std::size_t i = 0; i + 2 <= size;) {
    const int msg = kMsgs[data[i] % kMsgCount];
    const std::size_t len = std::min<std::size_t>(data[i + 1], size - i - 2);
    const std::uint8_t* p = data + i + 2;
    const std::size_t n = len + 2;
    stream.insert(stream.end(), {0xD3, static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n),
                                 static_cast<std::uint8_t>(msg >> 4),
                                 static_cast<std::uint8_t>((msg & 15) << 4 | (len > 0 ? p[0] & 15 : 0))});
    stream.insert(stream.end(), p, p + len);
    stream.insert(stream.end(), {0, 0, 0});
    i += 2 + len;
  }
  const std::vector<std::uint8_t> fixed = fuzz::rtcm3FixCrcs(stream.data(), stream.size());
  fuzz::rtcm3Feed(fixed.data(), fixed.size());
  return 0;
}
