// A client of the RTCM 2 decoder that keeps everything it is handed, for the tests.
#pragma once

#include <vector>

#include "differential/nav_decoder.h"
#include "differential/rtcm2/rtcm2_decoder.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/engine/pvt_engine.h"
#include "settings/rtcm_settings.h"
#include "fixtures/null_clients.h"

namespace rtcm2test {

struct Recorder : NullRtcm2Client {
  int resets = 0;
  int lastPort = -1;
  std::vector<RTCM_DEC_STATUS> statuses;
  std::vector<RTCM_RTK_PHASE> phases;
  std::vector<RTCM_RTK_RANGE> ranges;
  std::vector<RTCM_RTK_DEL_PHASE> delPhases;
  std::vector<RTCM_RTK_DEL_RANGE> delRanges;
  std::vector<MSG_EXTREF_PARAMS> extRefs;
  std::vector<MSG_SPEC_MESSAGE> texts;
  std::vector<MSG_REF_PARAMS> refs;
  std::vector<MSG_ANT_TYPE> ants;
  std::vector<MSG_ARP_PAR> arps;
  std::vector<MSG_TS_COR> virts;
  std::vector<MSG_FKP_COR> fkps;
  std::vector<MSG_GNSS_OFFSET> offsets;
  // Called after every message with the decoder's header of it (set by the test).
  const RTCM_Decoder* dec = nullptr;
  std::vector<RTCM_MSG_HEADER> headers;
  void (*afterEach)(const RTCM_MSG_HEADER&) = nullptr;

  void reset() override { ++resets; }
  void updatePhase(const RTCM_RTK_PHASE& r, int p) override { phases.push_back(r), lastPort = p; }
  void updateRange(const RTCM_RTK_RANGE& r, int p) override { ranges.push_back(r), lastPort = p; }
  void updateDelPhase(const RTCM_RTK_DEL_PHASE& r, int p) override { delPhases.push_back(r), lastPort = p; }
  void updateDelRange(const RTCM_RTK_DEL_RANGE& r, int p) override { delRanges.push_back(r), lastPort = p; }
  void updateExtRefCoord(const MSG_EXTREF_PARAMS& r, int p) override { extRefs.push_back(r), lastPort = p; }
  void updateTextMessage(const MSG_SPEC_MESSAGE& r, int p) override { texts.push_back(r), lastPort = p; }
  void updateRefCoord(const MSG_REF_PARAMS& r, int p) override { refs.push_back(r), lastPort = p; }
  void updateAntDef(const MSG_ANT_TYPE& r, int p) override { ants.push_back(r), lastPort = p; }
  void updateArpPar(const MSG_ARP_PAR& r, int p) override { arps.push_back(r), lastPort = p; }
  void updateVirtCor(const MSG_TS_COR& r, int p) override { virts.push_back(r), lastPort = p; }
  void updateFKPCor(const MSG_FKP_COR& r, int p) override { fkps.push_back(r), lastPort = p; }
  void updateGnssOffset(const MSG_GNSS_OFFSET& r, int p) override { offsets.push_back(r), lastPort = p; }
  void updateStatus(RTCM_DEC_STATUS& s, int p) override {
    statuses.push_back(s);
    lastPort = p;
    if (dec != nullptr) {
      headers.push_back(dec->getHeader());
      if (afterEach != nullptr) afterEach(dec->getHeader());
    }
  }
  int delivered() const {
    return static_cast<int>(phases.size() + ranges.size() + delPhases.size() + delRanges.size() + extRefs.size() +
                            texts.size() + refs.size() + ants.size() + arps.size() + virts.size() + fkps.size() +
                            offsets.size());
  }
};

// A decoder and its byte driver made fresh, reporting to `client`: default RTCM settings, no
// correction source known, every source's correction records empty.
inline void freshDecoder(RTCM_Decoder& dec, NAV_Decoder& drv, Recorder& client) {
  rtcmSetDefaults(RtcmSet);
  client = Recorder{};
  client.dec = &dec;
  dec.initDecoder(&client);
  drv.state = 0;
  for (auto& e : RtcmSourceIdData) e = SourceIdEntry{0, kFreeSourceId};
  for (int s = 0; s < RTCMData::kRtcmSources; ++s) PVTDataInstance.rtcmSatCorrection[s].Init();
}

}  // namespace rtcm2test
