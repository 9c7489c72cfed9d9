// Base observations in the native format: the input is a run of units, each one byte choosing
// the message (the base input's ids and the epoch markers), one byte of body length and that
// many body bytes; each unit is framed with a right checksum and handed, on the heap, to a
// native filter with the base decoder registered, so that every handler meets bodies of every
// length inside and outside epochs.
#include <cstddef>
#include <cstdint>

#include "differential/base/cpd_meas_buf.h"
#include "gnss_link/native_base_input.h"
#include "gnss_link/zrt_decoder.h"
#include "native_units.h"
#include "settings/rcv_settings.h"

namespace {
const char* const kIds[] = {"~~", "::", "||", "GT", "NT", "BI", "PO", "PV", "SI", "rc", "cp", "2r", "3r", "5r",
                            "lr", "2p", "3p", "5p", "lp", "DC", "D2", "D3", "D5", "Dl", "EC", "E2", "E3", "E5", "El"};

bool setUp(ZrtDecoder& dec, ZrtCpdDecoder& base) {
  RcvSet.refPort = -2;
  RcvSet.baseEpochInt = 1000;
  cpdClientsInit();
  base.init(0);
  base.setHandlers(dec.filter());
  // A rover epoch at whole seconds and a rover tracking the first satellite of every list row.
  CpdMeasTimes t;
  for (std::int32_t& x : t.time) x = 0;
  cpdSetTimesAndId(t, 0);
  CpdSvSet svs;
  for (int index : {1, 2, 3, 38, 45, 71, 120, 147, 193, 199, 211, 250}) svs.add(ZrtCpdDecoder::mapIndex(index));
  cpdRecentSvs_.set(svs);
  return true;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static ZrtDecoder dec;
  static ZrtCpdDecoder base;
  static const bool ready = setUp(dec, base);
  (void)ready;
  fuzz::feedNativeUnits(dec, kIds, data, size);
  return 0;
}
