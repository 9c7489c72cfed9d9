#include "differential/rtcm2/rtcm2_coder_msgs.h"

#include <cstdio>

#include "differential/rtcm2/rtcm2_coder.h"
#include "output/msg_pool.h"
#include "output/msg_set.h"
#include "output/out_msg.h"
#include "output/output_manager.h"

namespace {

class RtcmOutMsg : public OutMsg {
 public:
  void bind(int kind, RtcmStreamState* streams, const int* poolIndex) {
    kind_ = kind, streams_ = streams, poolIndex_ = poolIndex;
  }
  int planIndex() const override { return kind_; }
  // Every frame is new (its sequence number moves); one frame, no parts.
  long changeId() override { return 0; }
  bool outPart(OmStreamInfo&, int) override { return false; }

  void out(OmStreamInfo& si) override {
    if (si.stream < 0 || si.stream >= kOmStreams) return;
    si.writer.foreign();
    if (si.writer.room() < RTCM_Coder::kMaxOut) return;
    RtcmStreamState& st = streams_[si.stream];
    RtcmStreamState next = st;
    const int n = RtcmCod.buildMessage(kind_, reinterpret_cast<std::uint8_t*>(si.writer.ptr()), next.sequence,
                                       next.parity, si.port, pairDue(si.stream));
    if (n <= 0 || !si.writer.seekRel(n)) return;
    // A message the port could not take leaves the stream's chain where it was.
    if (si.write()) st = next;
  }

 private:
  // The RTK observables (and the corrections) go as one run when both halves are on the stream.
  bool pairDue(int stream) const {
    if (kind_ < kRtcmMsg18 || kind_ > kRtcmMsg21) return false;
    const MsgSet* set = omGetMsgSet(stream);
    const int other = poolIndex_[kind_ ^ 1];
    return set != nullptr && other >= 0 && set->isEnabled(other);
  }

  int kind_ = -1;
  RtcmStreamState* streams_ = nullptr;
  const int* poolIndex_ = nullptr;
};

// The messages and the per-stream chains they share.
struct RtcmOutput {
  RtcmOutMsg msgs[kRtcmMsgCount];
  int poolIndex[kRtcmMsgCount];
  RtcmStreamState streams[kOmStreams];
  RtcmOutput() {
    for (int k = 0; k < kRtcmMsgCount; ++k) {
      msgs[k].bind(k, streams, poolIndex);
      poolIndex[k] = -1;
    }
  }
};
RtcmOutput g_out;

}  // namespace

void rtcmmRegisterMsgs() {
  for (int k = 0; k < kRtcmMsgCount; ++k) {
    const int type = rtcmTypeOfKind[k];
    if (type == 0) continue;
    char name[MsgPool::kMaxName + 1];
    if (k == kRtcmMsgNull34) {
      std::snprintf(name, sizeof name, "null34");
    } else {
      std::snprintf(name, sizeof name, "%d", type);
    }
    if (msgPool.find(kGroupRtcm, name) >= 0) continue;
    // Station, antenna, text and ionosphere messages default to every 10 s, the rest every epoch.
    const bool slow = k == kRtcmMsg3 || k == kRtcmMsg15 || k == kRtcmMsg16 || (k >= kRtcmMsg22 && k <= kRtcmMsg24) ||
                      k == kRtcmMsg32 || k == kRtcmMsg36 || k == kRtcmMsg44;
    if (MsgPool::add(msgPool, kGroupRtcm, name, &g_out.msgs[k], slow ? &msgPeriod10 : nullptr))
      g_out.poolIndex[k] = msgPool.find(kGroupRtcm, name);
  }
}

