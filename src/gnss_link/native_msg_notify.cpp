#include "gnss_link/native_msg_notify.h"

void ZrtMsgCommonNotify::init() {
  for (auto& s : slots_) s = nullptr;
}

void ZrtMsgCommonNotify::setNotify(ZrtMsgNotify* notify, int index) {
  if (index < 0 || index >= kSlots) return;
  slots_[index] = notify;
}

void ZrtMsgCommonNotify::notify(bool ok, const ZRFMessage& msg) {
  for (ZrtMsgNotify* s : slots_) {
    if (s) s->notify(ok, msg);
  }
}

void ZrtMsgCommonNotify::notifyReset() {
  for (ZrtMsgNotify* s : slots_) {
    if (s) s->notifyReset();
  }
}
