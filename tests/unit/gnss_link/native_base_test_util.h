// A base station in the native format on a decoder port: the port in "zrt" mode, the base
// buffer with a client that keeps every released epoch, the rover record and satellites the
// test chooses. Messages come from the simulator's own writer.
#pragma once

#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

#include "../../../tools/gnss_board_sim/sim_base_obs.h"
#include "differential/base/cpd_meas_buf.h"
#include "differential/rtk_base.h"
#include "gnss_link/native_base_input.h"
#include "gnss_link/zrt_port_input.h"
#include "positioning/reference/reference_pos.h"
#include "settings/base_coord.h"
#include "settings/rcv_settings.h"
#include "unit/port_fakes.h"

namespace nbtest {

struct Released : CpdMeasBuf::Client {
  std::vector<CpdMeas> epochs;
  int resets = 0;
  void process(const CpdMeas& m) override { epochs.push_back(m); }
  void reset() override { ++resets; }
};

inline void noLines(const char*, int, int, bool) {}

// One receiver with its base buffer and the native decoders of every decoder port; `port` is
// in "zrt" mode.
class BaseRig {
 public:
  explicit BaseRig(int port = IOP_TCP_A) : released(client()), port_(port), in_(port) {
    CmdHandler::setSink(noLines);
    released = Released{};
    baseMeasBufClient = &released;
    RcvSet.refPort = -2;
    RcvSet.baseEpochInt = 1000;
    RcvSet.bUseBaseEntered = 0;
    // No base known yet: neither entered, nor received by any decoder.
    bc = BASECOORD{};
    RcvPosGPS = ReferencePos{};
    RcvPosGLN = ReferencePos{};
    cpdClientsInit();
    invalidateRtkBase(0);
    // The port's decoder as built: the base position a stream gave it outlives the stream's
    // reset by design, so a test before this one would leave its own.
    ZrtCpdDecoder* d = zrtCpdDecoder(InPorts::io2dec_[port]);
    d->~ZrtCpdDecoder();
    new (d) ZrtCpdDecoder();
    zrtPortInputInit();
    zrtCpdDecodersInit();
    EXPECT_TRUE(zrtPortInputAttach(port));
    EXPECT_TRUE(in_.setMode(InPort::M_ZRT));
  }
  int decPort() const { return InPorts::io2dec_[port_]; }
  ZrtCpdDecoder& decoder() { return *zrtCpdDecoder(decPort()); }

  // Bytes through the port, in pieces of `piece` bytes.
  void feed(const std::string& s, std::size_t piece = 1000) {
    for (std::size_t i = 0; i < s.size(); i += piece) in_.chunks.push_back(s.substr(i, piece));
    while (!in_.chunks.empty()) in_.task(20);
  }

  // The rover's last epoch: every system at `gpsMs` but GLONASS at `gloMs` (-1 unknown); its id
  // the GPS time's, or the GLONASS time's when `gpsMs` is -1.
  static void rover(long gpsMs, long gloMs) {
    CpdMeasTimes t;
    for (int s = 0; s < CpdSv::kSysNum; ++s) t.time[s] = static_cast<std::int32_t>(gpsMs);
    t.time[CpdSv::kGlonass] = static_cast<std::int32_t>(gloMs);
    const long ref = gpsMs >= 0 ? gpsMs : gloMs;
    cpdSetTimesAndId(t, CpdEpochId(static_cast<std::int32_t>(ref % CpdEpochId::kHourMs)));
  }
  // The satellites the rover tracks.
  static void tracks(const std::vector<CpdSv>& svs) {
    CpdSvSet set;
    for (const CpdSv& s : svs) set.add(s);
    cpdRecentSvs_.set(set);
  }

  // The base buffer keeps its client for good: one for the whole process.
  static Released& client() {
    static Released r;
    return r;
  }
  Released& released;
  // The buffer is built once, with the client named at that moment, by whichever test of the
  // executable comes first: name this one before any runs.
  static inline const bool clientNamed = (baseMeasBufClient = &client(), true);

 private:
  int port_;
  testports::ScriptPort in_;
};

}  // namespace nbtest
