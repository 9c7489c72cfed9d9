// QZSS L1S sub-metre augmentation messages as the SBAS decoders hand them on: each chunk of the
// input names a QZSS source, a receiver time and a position step and carries a 32-byte message of
// type 43 to 51 (the type bits forced into that range); a shorter last chunk is zero-filled.
// Every few messages the correction processor's generator reads what was published.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz_support.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/engine/pvt_engine.h"
#include "positioning/slas/slas_corr_generator.h"
#include "positioning/slas/slas_data_decoder.h"

namespace {
constexpr std::size_t kChunk = 4 + 32;
CorrData::CorrectionRequestType gRequest;
RTCMData::CorrectionRequestType gAnswer;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::enterRunDir("slas");
  fuzz::noteDeliberateExits();
  PVTEngineInstance.init_Object(&PVTDataInstance, nullptr);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::CurrentInput current(data, size);
  static std::uint32_t ms = 100000;
  static std::uint32_t tag = 0;
  for (std::size_t at = 0; at < size; at += kChunk) {
    const std::uint8_t* p = data + at;
    const std::size_t left = size - at;
    if (left < 4) break;
    // Sources of every QZSS index, also beyond the table.
    const SvIdType src{static_cast<std::uint8_t>(p[0] & 0x0F), kSysQzss, 0, static_cast<std::uint8_t>(p[0] & 0x0F)};
    ms = (ms + static_cast<std::uint32_t>(p[1]) * 500u + (p[3] & 0x80 ? 604000000u : 0u)) % 604800000u;
    tag += static_cast<std::uint32_t>(p[1]) * 500u + (p[3] & 0x40 ? 4000000000u : 0u);
    PosData::RcvTimeDataType t{};
    t.ulTimeTag = tag;
    t.qzss.ulMs = ms;
    t.qzss.uStatus[0] = (p[3] & 1) != 0 ? 0 : 1;
    PosData::PositionDataType pos{};
    pos.dX = -3950000.0 + p[2] * 2000.0;
    pos.dY = 3350000.0;
    pos.dZ = 3700000.0 - p[2] * 1000.0;
    pos.bValid = 1;
    std::uint8_t msg[32] = {};
    const std::size_t n = left - 4 < 32 ? left - 4 : 32;
    std::memcpy(msg, p + 4, n);
    const int type = 43 + (msg[1] >> 2) % 9;
    SlasDataDecoder::bsUsableSlasSource = (p[3] & 2) != 0 ? 0x7Fu : 0x5Bu;
    SlasDataDecoder::bCheckSlasStationHealth = (p[3] >> 2) & 1;
    get_SlasDataDecoder(t, src)->update(t, pos, src, type, msg);
    if ((p[3] & 0x30) == 0x30) {
      gRequest.rcvTime = t;
      gRequest.position = pos;
      gRequest.uCount = 4;
      const SvIdType sats[4] = {{6, kSysGps, 0, 6}, {1, kSysQzss, 0, 1}, {255, kSysGlonass, 0, 4}, {2, kSysBeidou, 0, 2}};
      for (int i = 0; i < 4; ++i) {
        gRequest.sat[i] = CorrData::RequestSatDataType{};
        gRequest.sat[i].svId = sats[i];
        gRequest.sat[i].dLos[2] = 1.0;
        gRequest.sat[i].fElevation = static_cast<float>(p[2] % 91);
        gRequest.sat[i].fObliquity = 1.0f;
      }
      gAnswer.pRequest = &gRequest;
      SlasCorrGeneratorInstance.update(&gAnswer);
    }
    if (n < 32) break;
  }
  return 0;
}
