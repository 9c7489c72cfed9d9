// RTCM 2 bytes as they arrive on a port in mode "rtcm", through task DECT's own work (relay to
// the board, 6-of-8 filter, framing, parity, message decoders, correction servers). Inputs whose
// first byte is odd are taken as is; the others are cut into messages of a type, length and
// header from the input, given right parity and sent as 6-of-8 bytes, so that the message
// decoders see lengths and fields that random bytes would almost never carry past the parity.
#include <utility>
#include <vector>

#include "differential/base/cpd_meas_buf.h"
#include "differential/decoder_task.h"
#include "differential/rtcm2/rtcm2_client.h"
#include "differential/rtcm2/rtcm2_decoder.h"
#include "fuzz_support.h"
#include "rtcm2_words.h"
#include "positioning/gps_parity.h"
#include "settings/rcv_settings.h"
#include "settings/rtcm_settings.h"

namespace {

constexpr auto kPort = static_cast<InPorts::DecPortIndex>(InPorts::DEC_SER_A + 1);

// 30-bit words to 6-of-8 bytes, the first bit of each six in the byte's lowest bit.
std::vector<std::uint8_t> messages(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint32_t> words;
  std::size_t at = 1;
  while (at + 6 <= size) {
    const std::uint8_t* h = data + at;
    const int n = h[1] & 31;
    const std::uint32_t type = h[0] & 63u;
    words.push_back(0x66u << 16 | type << 10 | (static_cast<std::uint32_t>(h[2]) << 8 | h[3]) % 1024u);
    const std::uint32_t zCount = (static_cast<std::uint32_t>(h[4]) << 8 | h[5]) & 0x1FFFu;
    words.push_back(zCount << 11 | (h[1] >> 5 & 7u) << 8 | static_cast<std::uint32_t>(n) << 3 | (h[3] >> 2 & 7u));
    at += 6;
    for (int i = 0; i < n; ++i, at += 3) {
      std::uint32_t d = 0;
      for (int k = 0; k < 3; ++k) d = d << 8 | (at + static_cast<std::size_t>(k) < size ? data[at + static_cast<std::size_t>(k)] : 0u);
      words.push_back(d);
    }
  }
  return fuzz::rtcm2Wire(std::move(words), data[0] >> 1 & 3u);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::enterRunDir("rtcm2");
  fuzz::noteDeliberateExits();
  // The port's client and the base decoder behind it, as the program's start-up binds them; the
  // base may come from any port.
  cpdClientsInit();
  rtcm2ClientsInit();
  RcvSet.refPort = -2;
  RtcmSet.cmrDec.inUse = -1;
  decInitOnce();
  decProcess(InDecs::kRtcm, kPort, nullptr, 0);
  // The port is the base's, as a mode change to rtcm makes it.
  cpdBufsModeChange(InPorts::dec2io_[kPort], InPort::M_CMD, InPort::M_RTCM);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::CurrentInput current(data, size);
  if (size == 0) return 0;
  const bool built = (data[0] & 1) == 0;
  if (built) {
    // The stream goes on from the last input: a message it left open would take the first words
    // of these as its own. Words of zeros (31 of them, more than a message holds) close it first.
    static const std::vector<std::uint8_t> kFlush(5 * 31 + 1, 0x40);
    decProcess(InDecs::kRtcm, kPort, kFlush.data(), static_cast<int>(kFlush.size()));
  }
  const std::vector<std::uint8_t> b = built ? messages(data, size) : std::vector<std::uint8_t>(data, data + size);
  fuzz::inChunks(b.data(), b.size(), fuzz::kPortChunk, [](const std::uint8_t* p, std::size_t n) {
    decProcess(InDecs::kRtcm, kPort, p, static_cast<int>(n));
  });
  return 0;
}
