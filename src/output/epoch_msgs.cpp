#include "output/epoch_msgs.h"

#include <cstdint>

#include "output/msg_pool.h"
#include "output/out_msg.h"
#include "output/output_manager.h"

namespace {

class EpochMarker : public OutMsg {
 public:
  explicit EpochMarker(const char* id) : id_(id) {}
  void out(OmStreamInfo& si) override {
    si.writer.reset(id_, ZrCheck::kCs8);
    si.writer.put(static_cast<std::uint32_t>(si.time));
    si.write();
  }
  // The marker of an epoch carries nothing but its time; it is no coder message and has no parts.
  long changeId() override { return 0; }
  bool outPart(OmStreamInfo&, int) override { return false; }
  int planIndex() const override { return -1; }

 private:
  const char* id_;
};

EpochMarker g_rt("~~");
EpochMarker g_et("::");

}  // namespace

void zrmEpochMsgsInit() {
  if (msgPool.find(kGroupZrt, "RT") < 0 && MsgPool::add(msgPool, kGroupZrt, "RT", &g_rt, &msgPeriod1)) {
    msgPool.setOrder(msgPool.find(kGroupZrt, "RT"), kOrderFirst);
  }
  if (msgPool.find(kGroupZrt, "ET") < 0 && MsgPool::add(msgPool, kGroupZrt, "ET", &g_et, &msgPeriod1)) {
    msgPool.setOrder(msgPool.find(kGroupZrt, "ET"), kOrderLast);
  }
}
