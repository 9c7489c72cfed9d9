// CMR and CMR+ bytes as they arrive on a port in mode "cmr". The first input byte chooses the
// road: odd, the bytes go to the port's kernel as they are, in port-sized chunks; even, the rest
// is cut into frames with a correct checksum (CMR observations, coordinates, descriptions of any
// type byte, and CMR+ pages of any number, count and length), so that every body reader sees
// every field value. Either way each chunk must leave the ring room for more: a ring that stays
// full would hold the port's CMR decoding for ever.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "differential/base/cpd_meas_buf.h"
#include "differential/cmr/cmr_client.h"
#include "differential/cmr/cmr_decoder.h"
#include "fuzz_support.h"

namespace {
CMR_Decoder* g_kernel = nullptr;
NAV_Decoder* g_drv = nullptr;

void feed(const std::uint8_t* d, std::size_t n) {
  g_drv->putData(d, static_cast<int>(n), static_cast<InPorts::DecPortIndex>(InPorts::DEC_SER_A + 1));
  if (g_kernel->getDataSize() <= 0) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::enterRunDir("cmr");
  fuzz::noteDeliberateExits();
  cpdClientsInit();
  cmrClientsInit();
  static CMR_Decoder kernel(&CmrDec);
  static NAV_Decoder drv(&kernel);
  g_kernel = &kernel;
  g_drv = &drv;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::CurrentInput current(data, size);
  if (size == 0) return 0;
  // Settings from the first byte: GLONASS type, CMR+ count form, nearest-station switch.
  CMR_DEC_SETTINGS s = CmrDec.getSettings();
  s.gloType = (data[0] >> 1) & 7;
  s.idxSet = (data[0] >> 4) & 1;
  s.nrsMode = (data[0] >> 5) & 1;
  s.inUse = (data[0] >> 6) == 3 ? 5 : -1;
  CmrDec.setSettings(s);
  if (data[0] & 1) {
    for (std::size_t off = 1; off < size; off += fuzz::kPortChunk) {
      const std::size_t n = size - off < fuzz::kPortChunk ? size - off : fuzz::kPortChunk;
      feed(data + off, n);
    }
    return 0;
  }
  // Frames: a byte of packet kind and length, then that many data bytes.
  std::size_t at = 1;
  std::vector<std::uint8_t> out(cmr::kMaxDataLen + cmr::kFrameExtra);
  while (at < size) {
    const std::uint8_t kind = data[at++];
    std::size_t n = kind & 0x7F;
    if (kind & 0x80) n = n % 11;  // CMR+ pages carry 3 to 10 bytes; any length still allowed
    if (n > size - at) n = size - at;
    const int len = cmr::writeFrame(kind & 0x80 ? cmr::kPacketCmrPlus : cmr::kPacketCmr, data + at, static_cast<int>(n),
                                    out.data(), static_cast<int>(out.size()));
    at += n;
    if (len > 0) feed(out.data(), static_cast<std::size_t>(len));
  }
  return 0;
}
