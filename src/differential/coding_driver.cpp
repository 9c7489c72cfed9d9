#include "differential/coding_driver.h"

#include "differential/cmr/cmr_coder.h"
#include "differential/cmr/cmr_decoder.h"
#include "differential/rtcm2/rtcm2_client.h"
#include "differential/rtcm2/rtcm2_coder.h"
#include "differential/rtcm3/rtcm3_coder.h"
#include "differential/rtcm3/rtcm3_out_msgs.h"
#include "output/output_manager.h"
#include "positioning/base/base_data.h"
#include "settings/rtcm_settings.h"

namespace {
constexpr int kRtcm2Plan = kRtcmMsgCount;
constexpr int kCmrPlan = 5;
constexpr int kRtcm3Plan = kRtc3MsgCount;
}  // namespace

bool diffStationIdFits(int group, int id) {
  if (group == MsgPool::findGroup("rtcm")) return id <= RTCM_Coder::kMaxStationId;
  if (group == MsgPool::findGroup("cmr")) return id <= CMR_Coder::kMaxStationId;
  return true;
}

bool diffEnableCheck(int group) {
  if (group == MsgPool::findGroup("rtcm")) return diffStationIdFits(group, RtcmCod.settings().stationId);
  if (group == MsgPool::findGroup("cmr")) return diffStationIdFits(group, CmrCod.settings().stationId);
  return true;
}

bool diffStationIdFitsStreams(int id) {
  for (const char* name : {"rtcm", "cmr"}) {
    const int g = MsgPool::findGroup(name);
    if (!diffStationIdFits(g, id) && omGroupEnabled(g)) return false;
  }
  return true;
}

void diffInitCoding() {
  bool plan2[kRtcm2Plan];
  iRtcmOutput = 0;
  rtcmmMakeOut(plan2, kRtcm2Plan);
  if (rtcmMode == 1) iRtcmOutput = RtcmCod.initCoding(plan2);

  bool planCmr[kCmrPlan];
  iCmrOutput = 0;
  if (cmrmMakeOut(planCmr, kCmrPlan)) iCmrOutput = CmrCod.initCoding(planCmr);

  iRtcm3Output = 0;
  for (int stream = 0; stream < kOmStreams; ++stream) {
    bool plan3[kRtcm3Plan];
    if (rtcm3mMakeOut(stream, plan3, kRtcm3Plan))
      if (Rtcm3Cod.initCoding(plan3, omStreamToPort(static_cast<OmStream>(stream)))) iRtcm3Output |= BaseOutput::kRtk;
  }
}

void baseMakeCoding() {
  if (rtcmMode == 1) RtcmCod.makeCoding();
  CmrCod.makeCoding();
}

void prepareCoding(long, int stream) {
  bool plan3[kRtcm3Plan];
  if (rtcm3mMakeOut(stream, plan3, kRtcm3Plan))
    Rtcm3Cod.initCoding(plan3, omStreamToPort(static_cast<OmStream>(stream)));
  Rtcm3Cod.makeCoding();
}

void diffRtcmSettingsGather(RTCM_SETTINGS& s) {
  s.rtcmCod = RtcmCod.settings();
  s.rtcm3Cod = Rtcm3Cod.settings();
  s.cmrCod = CmrCod.settings();
}

void diffRtcmSettingsApply(RTCM_SETTINGS& s) {
  rtcm2SetEpochModes(rtcm2EpochModes(s));
  RtcmCod.setSettings(s.rtcmCod);
  Rtcm3Cod.setSettings(s.rtcm3Cod);
  CmrDec.setSettings(s.cmrDec);
  CmrCod.setSettings(s.cmrCod);
}
