// RTCM 2 state-space messages (38, 39, 50 to 55) straight into one RTCM 2 decoder, with
// receiver time known or not. The input is cut into messages: a head of three bytes (type among
// the eight, length N, Z-count near the previous one so that partials and refinements meet their
// base, station) and N data words of three bytes; each is given right parity and sent as 6-of-8
// bytes. Masks, lengths and contents are the fuzzer's. A read outside the message words is
// caught by the sanitizers; an identity outside its system's range would end the process at the
// correction server (no deliberate exit is expected here).
#include <cstdlib>
#include <utility>
#include <vector>

#include "differential/rtcm2/rtcm2_decoder.h"
#include "fuzz_support.h"
#include "rtcm2_words.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/gps_parity.h"
#include "platform/rtos_time.h"
#include "positioning/time_scales.h"

namespace {

constexpr auto kPort = static_cast<InPorts::DecPortIndex>(InPorts::DEC_SER_A + 2);
constexpr int kTypes[8] = {38, 39, 50, 51, 52, 53, 54, 55};

// The scales published with their epoch stamped an hour ahead of the clock: the time scales
// advance no time from it, so every input reads its scales exactly as given.
void setTime(bool valid, std::int32_t gpsMs, std::int32_t gloMs) {
  RcvTimeScales::INT_SCALES s{};
  s.ms[0] = gpsMs, s.ms[1] = gloMs;
  s.flags[0] = s.flags[1] = valid ? RcvTimeScales::kTimeValid : 0;
  SysTime t;
  rtosTimeGet(t);
  t.sec += 3600;
  TimeScales::epoch(t, 1);
  TimeScales::endUpdate(s, 1);
}

std::vector<std::uint8_t> messages(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint32_t> words;
  std::size_t at = 1;
  std::uint32_t z = 1000;
  while (at + 3 <= size) {
    const std::uint8_t* h = data + at;
    const std::uint32_t type = static_cast<std::uint32_t>(kTypes[h[0] & 7]);
    const std::uint32_t station = h[0] >> 3 & 3u;
    const int n = h[1] & 31;
    z = (z + (h[2] & 15u)) % 6000u;
    words.push_back(0x66u << 16 | type << 10 | station);
    words.push_back(z << 11 | (h[1] >> 5 & 7u) << 8 | static_cast<std::uint32_t>(n) << 3);
    at += 3;
    for (int i = 0; i < n; ++i, at += 3) {
      std::uint32_t d = 0;
      for (std::size_t k = 0; k < 3; ++k) d = d << 8 | (at + k < size ? data[at + k] : 0u);
      words.push_back(d);
    }
  }
  return fuzz::rtcm2Wire(std::move(words), 0);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::enterRunDir("rtcm2_ssr");
  RtcmDec[kPort].initDecoder(nullptr);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::CurrentInput current(data, size);
  if (size == 0) return 0;
  // The first byte: receiver time known or not, and where in the hour and day it stands.
  const std::int32_t step = (data[0] >> 1) * 30000;
  setTime((data[0] & 1) != 0, 360000000 + step, (86400000 - 64 * 30000 + step) % 86400000);
  NAV_Decoder drv(&RtcmDec[kPort]);
  const std::vector<std::uint8_t> b = messages(data, size);
  fuzz::inChunks(b.data(), b.size(), fuzz::kPortChunk,
                 [&drv](const std::uint8_t* p, std::size_t n) { drv.putData(p, static_cast<int>(n), kPort); });
  RTCMData::TSSourceStateDataType st;
  PVTDataInstance.rtcmTsSourceState.Take(&st);
  for (int s = 0; s < SYS_NUM; ++s)
    if (st.aState[s] > 1) std::abort();
  if (st.uOrbitSystem != 255 && st.uOrbitSystem >= SYS_NUM) std::abort();
  return 0;
}
