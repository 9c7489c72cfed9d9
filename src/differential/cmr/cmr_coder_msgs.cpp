#include "differential/cmr/cmr_coder_msgs.h"

#include <cstdint>

#include "differential/cmr/cmr_coder.h"
#include "output/msg_pool.h"
#include "output/out_msg.h"
#include "output/output_manager.h"

namespace {

class CmrOutMsg : public OutMsg {
 public:
  void bind(int kind) { kind_ = kind; }
  int planIndex() const override { return kind_; }
  // One frame, no parts.
  long changeId() override { return 0; }
  bool outPart(OmStreamInfo&, int) override { return false; }

  void out(OmStreamInfo& si) override {
    si.writer.foreign();
    const int n = CmrCod.buildMessage(kind_, reinterpret_cast<std::uint8_t*>(si.writer.ptr()), si.writer.room());
    if (n <= 0 || !si.writer.seekRel(n)) return;
    si.write();
  }

 private:
  int kind_ = -1;
};

CmrOutMsg g_msgs[kCmrMsgCount];
const char* const kNames[kCmrMsgCount] = {"0", "10", "1", "2", "9"};

}  // namespace

void cmrmRegisterMsgs() {
  for (int k = 0; k < kCmrMsgCount; ++k) {
    if (msgPool.find(kGroupCmr, kNames[k]) >= 0) continue;
    g_msgs[k].bind(k);
    MsgPool::add(msgPool, kGroupCmr, kNames[k], &g_msgs[k], nullptr);
  }
}
