#include "differential/input_decoders.h"

#include "differential/cmr/cmr_decoder.h"
#include "differential/gbas_decoder.h"
#include "differential/rtcm2/rtcm2_decoder.h"
#include "differential/rtcm3_decoder.h"
#include "differential/sisnet_decoder.h"

InDec* InDecs::decs_[InDecs::TYPE_NUM][InPorts::DEC_NUM] = {};
Hook<InDec*(int decPort)> InDecs::native_("differential", "InDecs::native_");
const int InDecs::type2mode_[InDecs::TYPE_NUM] = {
    InPort::M_RTCM, InPort::M_CMR, InPort::M_ZRT, InPort::M_RTCM3, InPort::M_GBAS, InPort::M_SISNET, InPort::M_AUTO,
};

namespace {
NavInDec rtcm3InDecs[InPorts::DEC_NUM];
NavInDec rtcm2InDecs[InPorts::DEC_NUM];
NavInDec cmrInDecs[InPorts::DEC_NUM];
GbasInDec gbasInDecs[InPorts::DEC_NUM];
SisnetInDec sisnetInDecs[InPorts::DEC_NUM];
AutoInDec autoInDecs[InPorts::DEC_NUM];
bool validPort(int port) { return port >= 0 && port < InPorts::DEC_NUM; }
}  // namespace

void NavInDec::reset() { dec_.reset(); }

void NavInDec::process(const void* data, int len) {
  if (dec_.kernel == nullptr) return;
  dec_.putData(static_cast<const unsigned char*>(data), len, static_cast<InPorts::DecPortIndex>(port_));
}

void AutoInDec::reset() {
  for (int t : {InDecs::kZrt, InDecs::kCmr, InDecs::kRtcm, InDecs::kRtcm3})
    if (InDec* d = InDecs::get(t, port_)) d->reset();
}

void AutoInDec::process(const void* data, int len) {
  for (int t : {InDecs::kZrt, InDecs::kCmr, InDecs::kRtcm, InDecs::kRtcm3})
    if (InDec* d = InDecs::get(t, port_)) d->process(data, len);
}

void InDecs::init() {
  for (int p = 0; p < InPorts::DEC_NUM; ++p) {
    for (int t = 0; t < TYPE_NUM; ++t) decs_[t][p] = nullptr;
    // RTCM 2 and CMR: one framing kernel per decoder port (a kernel keeps one ring and one
    // framing state); CMR's share the receiver's one CMR station table.
    rtcm2InDecs[p] = NavInDec(&RtcmDec[p], p);
    decs_[kRtcm][p] = &rtcm2InDecs[p];
    cmrInDecs[p] = NavInDec(&CmrDecKernels[p], p);
    decs_[kCmr][p] = &cmrInDecs[p];
    rtcm3InDecs[p] = NavInDec(&Rtcm3Dec[p], p);
    decs_[kRtcm3][p] = &rtcm3InDecs[p];
    gbasInDecs[p] = GbasInDec(&GbasDecoderInstance, p);
    decs_[kGbas][p] = &gbasInDecs[p];
    sisnetInDecs[p] = SisnetInDec(&SisnetDataDecoderInstance, p);
    decs_[kSisnet][p] = &sisnetInDecs[p];
    if (InDec* n = native_(p)) decs_[kZrt][p] = n;
    autoInDecs[p].setPort(p);
    decs_[kAuto][p] = &autoInDecs[p];
  }
}

InDecs::Type InDecs::mode2type(int mode) {
  for (int t = 0; t < TYPE_NUM; ++t)
    if (type2mode_[t] == mode) return static_cast<Type>(t);
  return kNone;
}

InDec* InDecs::get(int type, int port) {
  if (type < 0 || type >= TYPE_NUM || !validPort(port)) return nullptr;
  return decs_[type][port];
}
