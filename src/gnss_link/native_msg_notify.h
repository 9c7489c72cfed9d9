// Observers of a native message filter: a pair that passes every notification on, and the one
// that answers the sender of almanac and UTC messages.
#pragma once

#include "gnss_link/native_msg_filter.h"

// Passes notify and notifyReset to each of its two slots that is set, in slot order.
class ZrtMsgCommonNotify : public ZrtMsgNotify {
 public:
  static constexpr int kSlots = 2;
  void init();
  // Indexes other than 0 and 1 are ignored; null empties the slot.
  void setNotify(ZrtMsgNotify* notify, int index);

  void notify(bool ok, const ZRFMessage& msg) override;
  void notifyReset() override;

 private:
  ZrtMsgNotify* slots_[kSlots] = {};
};

// Answers the sender of almanac and UTC messages ("UO", "NA", "GA") on the output of its own
// port: "RE" "%%" when the message was good, "ER" "%%{2,,wrong checksum}" when it was not.
class ZrtMsgAlmNotify : public ZrtMsgNotify {
 public:
  static constexpr int kWriteTimeout = 1000;
  explicit ZrtMsgAlmNotify(int port = -1) : port_(port) {}
  void setPort(int port) { port_ = port; }
  int port() const { return port_; }

  void notify(bool ok, const ZRFMessage& msg) override;
  void notifyReset() override {}

 private:
  int port_;
};
