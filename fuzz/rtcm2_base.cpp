// RTCM 2 messages taken as the receiver's base data: every RTK observable, station, antenna and
// offset message passes the port's client into the RTCM 2 base decoder and the RTK base record.
// The input is cut into messages whose type comes from a list of those the client acts on and
// whose header and data come from the input; each gets right parity and goes out as 6-of-8 bytes,
// so that the client and the base decoder see contents random bytes would never carry past the
// parity. The receiver's time and a rover epoch tracking every satellite are set, so that epochs
// open, fill and close. A target started with RX_FUZZ_WRITE_SEEDS=DIR writes its seeds there
// (three epochs of carrier phases and ranges, so that a phase goes on from the epoch before) and
// ends.
#include <string>
#include <utility>
#include <vector>

#include "differential/base/cpd_meas_buf.h"
#include "differential/nav_decoder.h"
#include "differential/rtcm2/rtcm2_client.h"
#include "base_epochs.h"
#include "fuzz_support.h"
#include "rtcm2_words.h"
#include "positioning/chan_data.h"
#include "positioning/gps_parity.h"
#include "settings/rcv_settings.h"
#include "settings/rtcm_settings.h"

namespace {

constexpr auto kPort = static_cast<InPorts::DecPortIndex>(InPorts::DEC_SER_A + 1);
constexpr std::uint32_t kTypes[] = {18, 19, 20, 21, 18, 19, 3, 22, 23, 24, 32, 37, 59, 16};

// 30-bit words to 6-of-8 bytes, the first bit of each six in the byte's lowest bit.
std::vector<std::uint8_t> messages(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint32_t> words;
  std::size_t at = 1;
  while (at + 6 <= size) {
    const std::uint8_t* h = data + at;
    const int n = h[1] & 31;
    const std::uint32_t type = kTypes[h[0] % (sizeof kTypes / sizeof kTypes[0])];
    words.push_back(0x66u << 16 | type << 10 | (static_cast<std::uint32_t>(h[2]) << 8 | h[3]) % 1024u);
    // Z-counts within the hour mostly, so that the RTK messages carry times the decoder takes.
    const std::uint32_t zCount = ((static_cast<std::uint32_t>(h[4]) << 8 | h[5]) & 0x1FFFu) % 6100u;
    words.push_back(zCount << 11 | (h[1] >> 5 & 7u) << 8 | static_cast<std::uint32_t>(n) << 3 | (h[3] >> 2 & 7u));
    at += 6;
    for (int i = 0; i < n; ++i, at += 3) {
      std::uint32_t d = 0;
      for (int k = 0; k < 3; ++k)
        d = d << 8 | (at + static_cast<std::size_t>(k) < size ? data[at + static_cast<std::size_t>(k)] : 0u);
      words.push_back(d);
    }
  }
  return fuzz::rtcm2Wire(std::move(words), data[0] >> 1 & 3u);
}

// One message in the target's own form: index into kTypes, word count and sequence number,
// station, Z-count, then the data words (24 bits each).
std::string unit(int typeIndex, int seq, unsigned zCount, const std::vector<std::uint32_t>& words) {
  std::string u = {static_cast<char>(typeIndex), static_cast<char>(words.size() | static_cast<unsigned>(seq) << 5), 0, 5,
                   static_cast<char>(zCount >> 8), static_cast<char>(zCount & 0xFF)};
  for (std::uint32_t w : words) u += {static_cast<char>(w >> 16), static_cast<char>(w >> 8), static_cast<char>(w)};
  return u;
}

// Carrier phases (18) and ranges (19) on L1 of GPS 3, 9 and 22 at three epochs 1.2 s apart; the
// phases of each epoch lie far from the last ones, as after a wrap of the count.
fuzz::NamedSeeds rtcm2BaseSeeds() {
  std::string s(1, '\0');
  const int svs[3] = {3, 9, 22};
  for (int e = 0; e < 3; ++e) {
    const unsigned z = 100u + 2u * static_cast<unsigned>(e);
    for (int type : {0, 1}) {
      std::vector<std::uint32_t> w = {0x000000};
      for (int k = 0; k < 3; ++k) {
        const std::uint32_t v = type == 0 ? 0x7F000000u * static_cast<std::uint32_t>(e) + 0x123456u * static_cast<std::uint32_t>(svs[k])
                                          : 1000000000u + 1000u * static_cast<unsigned>(svs[k]) + 60u * static_cast<unsigned>(e);
        w.push_back((k < 2 ? 1u << 23 : 0u) | static_cast<std::uint32_t>(svs[k]) << 16 | 7u << 13 | v >> 24);
        w.push_back(v & 0xFFFFFF);
      }
      s += unit(type, e, z, w);
    }
  }
  return {{"phase-epochs", s}};
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::writeSeedsIfAsked(rtcm2BaseSeeds);
  fuzz::enterRunDir("rtcm2_base");
  cpdClientsInit();
  rtcm2ClientsInit();
  fuzz::openBaseEpochs();
  RcvSet.refMsgChoice = 2;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::CurrentInput current(data, size);
  if (size == 0) return 0;
  static NAV_Decoder nav(&RtcmDec[kPort]);
  const std::vector<std::uint8_t> b = (data[0] & 1) != 0 ? std::vector<std::uint8_t>(data, data + size) : messages(data, size);
  fuzz::inChunks(b.data(), b.size(), fuzz::kPortChunk, [](const std::uint8_t* p, std::size_t n) {
    nav.putData(p, static_cast<int>(n), kPort);
  });
  return 0;
}
