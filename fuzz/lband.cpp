// The GNSS board's L-band service-state record ("@@" type 13) through the native input and the
// raw decoder into the service's beams and the demodulator parameters. The first byte picks the
// beam scanning mode, the oscillator and the record's length (whole or cut); the rest is the
// record's body.
#include <string>

#include "differential/lband/omnistar_params.h"
#include "differential/lband/ts_decoder.h"
#include "native_stream.h"

namespace {
constexpr std::size_t kRecord = 862;
bool g_osc10 = false;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::nativeStart("lband", false);
  lbandLinks.isOsc10Mhz = [] { return g_osc10; };
  TSDecoder.init();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::CurrentInput current(data, size);
  if (size < 1) return 0;
  const std::uint8_t mode = data[0];
  g_osc10 = (mode & 2) != 0;
  omniStarInitOnXce();
  omniStarSpecChan = 4;
  omniStarSpecBand = 18;
  omniStarInitParams();
  if (TSDecoder.getBeamScanningMode() != ((mode & 1) != 0)) TSDecoder.setBeamScanningMode((mode & 1) != 0);
  // Whole records mostly; now and then one cut short or too long, which the reader refuses.
  std::size_t len = kRecord;
  if ((mode & 0xF0) == 0xF0) len = size - 1;
  std::string body(1, '\x0D');
  body += static_cast<char>(len & 0xFF);
  body += static_cast<char>(len >> 8);
  std::string rec(reinterpret_cast<const char*>(data + 1), size - 1 < len ? size - 1 : len);
  rec.resize(len, '\0');
  body += rec;
  if (body.size() > 0xFFF) return 0;
  char head[6];
  std::snprintf(head, sizeof head, "@@%03X", static_cast<unsigned>(body.size()));
  const std::string msg = head + body;
  fuzz::nativeFeed(reinterpret_cast<const std::uint8_t*>(msg.data()), msg.size());
  return 0;
}
