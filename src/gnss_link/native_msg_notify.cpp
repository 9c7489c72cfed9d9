#include "gnss_link/native_msg_notify.h"

#include <cstring>

#include "command/reply.h"
#include "platform/ports/out_port.h"

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

void ZrtMsgAlmNotify::notify(bool ok, const ZRFMessage& msg) {
  if (msg.id != ZRFMessage::makeId('U', 'O') && msg.id != ZRFMessage::makeId('N', 'A') &&
      msg.id != ZRFMessage::makeId('G', 'A')) {
    return;
  }
  static constexpr char kGood[] = "%%";
  static constexpr char kBad[] = "%%{2,,wrong checksum}";
  char out[sizeof kBad + 8];
  const int n = ok ? replyFrame(out, sizeof out, "RE", kGood, static_cast<int>(std::strlen(kGood)))
                   : replyFrame(out, sizeof out, "ER", kBad, static_cast<int>(std::strlen(kBad)));
  if (n > 0) OutPorts::stream(port_).write(out, n, kWriteTimeout);
}
