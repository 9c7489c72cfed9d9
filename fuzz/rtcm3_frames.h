// An RTCM 3 stream on a port in input mode "rtcm3" (or "auto"), handed by the port to its mode's
// handler and so through task DECT's own work (relay to the board, framing, CRC-24Q, message
// decoders, the program's client and decoder status).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include <cstring>

#include "differential/decoder_task.h"
#include "differential/rtcm3_client.h"
#include "differential/rtcm3_decoder.h"
#include "differential/rtcm3_transform.h"
#include "fuzz_support.h"
#include "gnss_link/zrt_port_input.h"
#include "main/hooks.h"
#include "platform/crc.h"
#include "port_stub.h"
#include "positioning/geodesy/datum_in_use.h"
#include "positioning/output_grid.h"
#include "settings/nav_settings.h"
#include "settings/rcv_settings.h"

namespace fuzz {

// Serial port B.
constexpr auto kRtcm3Port = static_cast<InPorts::DecPortIndex>(InPorts::DEC_SER_A + 1);

// An input may open with the user's settings: two bytes no frame starts with (a preamble with its
// reserved bits set), then one byte of settings, in force for that input alone; an input without
// them runs under the factory settings. Each bit is a setting as its key gives it:
enum Rtcm3Setting : unsigned {
  kSetGotDatum = 1,     // the output datum is the received one ("GOT"): a whole set takes it over
  kSetGotGrid = 2,      // the output grid is the received projection (grid system 4)
  kSetDropGot = 4,      // the received transformation is dropped before the stream (the base clean-up)
  kSetReoutput = 8,     // every frame is output again on serial port A ...
  kSetReoutputRaw = 16, // ... as it came, not wrapped
  kSetDecimation = 32,  // observations output again once a second only
  kSetAutoMode = 64,    // the port is in mode "auto": every decoder of the port reads the bytes
};
constexpr std::uint8_t kSettingsMark[2] = {0xD3, 0xFF};

namespace rtcm3detail {
struct Factory {
  std::uint8_t datum[NavTask::kDatumBytes];
  RTC3_DEC_SETTINGS dec;
};
inline Factory& factory() {
  static Factory f{};
  return f;
}
inline InDecs::Type& portMode() {
  static InDecs::Type t = InDecs::kRtcm3;
  return t;
}
inline unsigned& gridNow() {
  static unsigned g = 0;
  return g;
}
}  // namespace rtcm3detail

inline void rtcm3Start() {
  enterRunDir("rtcm3");
  noteDeliberateExits();
  makeDecPort(kRtcm3Port);
  rtcm3ClientsInit();
  decInitOnce();
  rtcm3detail::Factory& f = rtcm3detail::factory();
  std::memcpy(f.datum, NavSet.datum, sizeof f.datum);
  f.dec = RTC3_Decoder::getSettings();
  // The port enters the mode once; its decoder then keeps its state for as long as the port
  // stays in it, across every input.
  resetDecPort(InDecs::kRtcm3, kRtcm3Port, true);
}

// The stream of an input after its settings (see Rtcm3Setting), which are made live here.
struct Rtcm3Stream {
  const std::uint8_t* data;
  std::size_t size;
};
inline Rtcm3Stream rtcm3Settings(const std::uint8_t* data, std::size_t size) {
  unsigned set = 0;
  if (size >= 3 && data[0] == kSettingsMark[0] && data[1] == kSettingsMark[1]) {
    set = data[2];
    data += 3;
    size -= 3;
  }
  const rtcm3detail::Factory& f = rtcm3detail::factory();
  if (set & kSetDropGot) RTC3_CoordTransf::clearGotTransData();
  if (set & kSetGotDatum)
    assignDatum("GOT", reinterpret_cast<NavTask::DATUM_IN_USE*>(NavSet.datum));
  else
    std::memcpy(NavSet.datum, f.datum, sizeof f.datum);
  if ((set & kSetGotGrid) != rtcm3detail::gridNow()) {
    outGridPair((set & kSetGotGrid) ? OutGrid::kReceived : OutGrid::kNone, RcvSet.grid.mapId, RcvSet.grid.gridSys);
    outputGridApply();
    rtcm3detail::gridNow() = set & kSetGotGrid;
  }
  RTC3_DEC_SETTINGS dec = f.dec;
  if (set & kSetReoutput) dec.outPort = IOP_SER_A;
  if (set & kSetReoutputRaw) dec.wrapStream = -1;
  if (set & kSetDecimation) dec.decimation = 1000;
  RTC3_Decoder::setSettings(dec);
  // A change of mode resets the decoders of the mode left and of the mode entered.
  const InDecs::Type mode = (set & kSetAutoMode) ? InDecs::kAuto : InDecs::kRtcm3;
  if (mode != rtcm3detail::portMode()) {
    resetDecPort(rtcm3detail::portMode(), kRtcm3Port, false);
    resetDecPort(mode, kRtcm3Port, true);
    rtcm3detail::portMode() = mode;
  }
  return {data, size};
}

// The native input of the ports, which a port in mode "auto" reads too, wired as at start
// (before rtcm3Start, which builds the decoders' table).
inline void rtcm3WithNativeInput() {
  wireDifferential();
  zrtPortInputInit();
}

inline void rtcm3Feed(const std::uint8_t* data, std::size_t size) {
  feedDecPort(rtcm3detail::portMode(), kRtcm3Port, data, size);
}

// Every frame that fits gets its right CRC-24Q, so that the message decoders see what a random
// byte string would almost never carry past the check.
inline std::vector<std::uint8_t> rtcm3FixCrcs(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> b(data, data + size);
  for (std::size_t i = 0; i + 6 <= b.size();) {
    if (b[i] != 0xD3) {
      ++i;
      continue;
    }
    const std::size_t len = (static_cast<std::size_t>(b[i + 1] & 3) << 8) | b[i + 2];
    if (i + 3 + len + 3 > b.size()) break;
    b[i + 1] &= 3;  // the six reserved bits are zero in a frame the decoder takes
    const std::uint32_t crc = crc24q(0, &b[i], static_cast<std::uint32_t>((3 + len) * 8));
    b[i + 3 + len] = static_cast<std::uint8_t>(crc >> 16);
    b[i + 4 + len] = static_cast<std::uint8_t>(crc >> 8);
    b[i + 5 + len] = static_cast<std::uint8_t>(crc);
    i += 3 + len + 3;
  }
  return b;
}

}  // namespace fuzz
