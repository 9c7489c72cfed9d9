#include "gnss_link/zrt_port_input.h"

#include "gnss_link/placeholders.h"

namespace {
static_assert(InDecs::kDecPorts == InPorts::DEC_NUM);
ZrtPortInput inputs[InPorts::DEC_NUM];
}  // namespace

ZrtPortInput::ZrtPortInput() {
  notify_.init();
  notify_.setNotify(&dec_, 0);
  notify_.setNotify(&alm_, 1);
  dec_.filter().setNotify(&notify_);
}

void ZrtPortInput::init(int port, int decPort) {
  port_ = port;
  alm_.setPort(port);
  dec_.setStatusSlot(decPort);
}

int ZrtPortInput::process(const std::uint8_t* buf, int off, int len, bool) {
  if (len <= 0) return 0;
  dec_.process(buf + off, len);
  return len;
}

void ZrtPortInput::reset(bool entering) {
  if (entering) dec_.reset();
}

ZrtPortInput* zrtPortInput(int decPort) {
  if (decPort < 0 || decPort >= InPorts::DEC_NUM) return nullptr;
  return &inputs[decPort];
}

bool zrtPortInputAttach(int port) {
  if (port < 0 || port >= IOP_NUM || !InPorts::ports_[port]) return false;
  const int dec = InPorts::io2dec_[port];
  ZrtPortInput* in = zrtPortInput(dec);
  if (!in) return false;
  in->init(port, dec);
  InDecs::decs_[dec] = &in->decoder();
  InPorts::ports_[port]->setHandler(InPort::M_ZRT, in);
  return true;
}

void zrtPortInputInit() {
  for (int dec = 0; dec < InPorts::DEC_NUM; ++dec) {
    InDecs::decs_[dec] = &inputs[dec].decoder();
    zrtPortInputAttach(InPorts::dec2io_[dec]);
  }
}
