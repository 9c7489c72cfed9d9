#include "gnss_link/zrt_port_input.h"

#include "gnss_link/sensor/nmea_decoder.h"
#include "gnss_link/wrapped/azrt_decoder.h"
#include "gnss_link/zrt_alm_decoder.h"

namespace {
ZrtPortInput inputs[InPorts::DEC_NUM];
ZrtInDec inDecs[InPorts::DEC_NUM];
NmeaDecoder nmeaDecoders[InPorts::DEC_NUM];
// Foreign runs offered to the wrapped-stream decoder: from 3 bytes (a short command) up to the
// longest command line.
constexpr int kForeignMin = 3;
constexpr int kForeignMax = 1536;
}  // namespace

void ZrtInDec::reset() {
  if (in_ != nullptr) in_->reset(true);
}

void ZrtInDec::process(const void* data, int len) {
  if (in_ != nullptr && len > 0) in_->decoder().process(data, len);
}

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

InDec* zrtInDec(int decPort) {
  if (decPort < 0 || decPort >= InPorts::DEC_NUM) return nullptr;
  return &inDecs[decPort];
}

bool zrtPortInputAttach(int port) {
  if (port < 0 || port >= IOP_NUM || !InPorts::ports_[port]) return false;
  const int dec = InPorts::io2dec_[port];
  ZrtPortInput* in = zrtPortInput(dec);
  if (!in) return false;
  in->init(port, dec);
  InPorts::ports_[port]->setHandler(InPort::M_ZRT, in);
  return true;
}

void zrtPortInputInit() {
  for (int dec = 0; dec < InPorts::DEC_NUM; ++dec) {
    const int port = InPorts::dec2io_[dec];
    inputs[dec].init(port, dec);
    inDecs[dec].bind(&inputs[dec]);
    // Navigation records from outside on every native input; on the board links the raw decoder
    // then takes the calibration messages itself.
    zrtAlmDecoder(dec)->setHandlers(inputs[dec].decoder().filter());
    // Wrapped streams and foreign lines (transducer sentences among them) of the port.
    inputs[dec].decoder().parser().setForeignBounds(kForeignMin, kForeignMax);
    AzrtDecoders::decs_[dec].init(port, inputs[dec].decoder().filter());
    AzrtDecoders::decs_[dec].setFurther(&nmeaDecoders[dec]);
    if (iopIsBoardLink(port)) zrtPortInputAttach(port);
  }
}
