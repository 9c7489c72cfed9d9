// Network RTK messages: the first byte picks the message number, the low half of the second and
// the rest are its payload after the number, framed
// with a right CRC; the client accepts everything for a base decoder that takes every record.
#include "rtcm3_frames.h"
#include "../tools/fixtures/null_clients.h"

namespace {
NullRtcm3CpdClient base;
Rtcm3CpdClient* table[1] = {&base};
constexpr int kMsgs[] = {1014, 1015, 1016, 1017, 1030, 1031, 1032, 1034, 1035, 1037, 1038, 1039};
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::rtcm3Start();
  rtcm3Client[fuzz::kRtcm3Port].setBaseDecoders(table);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::CurrentInput current(data, size);
  if (size < 2) return 0;
  const int msg = kMsgs[data[0] % 12];
  const std::size_t len = size - 2 < 1021 ? size - 2 : 1021;
  std::vector<std::uint8_t> f = {0xD3, static_cast<std::uint8_t>((len + 2) >> 8), static_cast<std::uint8_t>(len + 2),
                                 static_cast<std::uint8_t>(msg >> 4),
                                 static_cast<std::uint8_t>((msg & 15) << 4 | (data[1] & 15))};
  f.insert(f.end(), data + 2, data + 2 + len);
  f.insert(f.end(), {0, 0, 0});
  const std::vector<std::uint8_t> fixed = fuzz::rtcm3FixCrcs(f.data(), f.size());
  fuzz::rtcm3Feed(fixed.data(), fixed.size());
  return 0;
}
