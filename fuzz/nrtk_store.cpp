// Network RTK messages into the network RTK store: each input is a run of messages, each one a
// selector byte (its message number), a length byte and that many payload bytes after the
// number, framed with a right CRC. The store keeps its state from input to input, as on a port
// that stays in RTCM 3 mode; master 0 is its master from the start.
#include <algorithm>

#include "differential/base/cpd_meas_buf.h"
#include "differential/nrtk/rtcm_nrtk_decoder.h"
#include "rtcm3_frames.h"

namespace {
constexpr int kMsgs[] = {1014, 1015, 1016, 1017, 1030, 1031, 1032, 1037, 1038, 1039};

// The base decoder's network share alone, before the store.
struct ToStore final : Rtcm3CpdClient {
  RtcmNrtkCpdDecoder dec;
  void reset() override { dec.reset(); }
  void updateNrtkAux(const RTC3_NRTK_STATION& s) override { dec.updateAux(s); }
  void updateNrtkIono(const RTC3_NRTK_IONO& i) override { dec.updateIono(i); }
  void updateNrtkGeom(const RTC3_NRTK_GEO& g) override { dec.updateGeom(g); }
  void updateNrtkRes(const RTC3_NRTK_RES& r) override { dec.updateRes(r); }
  void updateNrtkPhysRefPos(const RTC3_NRTK_PHYS_REFPOS& p) override { dec.updatePhysRefPos(p); }
};
ToStore base;
Rtcm3CpdClient* table[1] = {&base};
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::rtcm3Start();
  cpdClientsInit();
  rtcmNrtkInit();
  base.dec.setBuf(pBaseMeasBuf);
  base.dec.updateRefPos(CpdCPos{1114104.5999, -4850729.7108, 3975521.4643}, 0);
  rtcm3Client[fuzz::kRtcm3Port].setBaseDecoders(table);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::CurrentInput current(data, size);
  std::vector<std::uint8_t> stream;
  for (std::size_t i = 0; i + 2 <= size;) {
    const int msg = kMsgs[data[i] % 10];
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
