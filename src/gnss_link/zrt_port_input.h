// The native input of the ports: a port in input mode "zrt" hands its bytes to the
// ZrtDecoder of its decoder port, read the same way as the GNSS board's link. Almanac and UTC
// messages are answered on the same port.
#pragma once

#include <cstdint>

#include "differential/input_decoders.h"
#include "gnss_link/native_msg_notify.h"
#include "gnss_link/zrt_decoder.h"
#include "platform/ports/in_port.h"

class ZrtPortInput : public InPortHandler {
 public:
  ZrtPortInput();
  // Binds the input to its port and decoder port; the decoder publishes in that port's slot.
  void init(int port, int decPort);

  int process(const std::uint8_t* buf, int off, int len, bool mustTake) override;
  // Entering the mode starts the stream afresh: parser, clients and statistics.
  void reset(bool entering) override;

  ZrtDecoder& decoder() { return dec_; }
  int port() const { return port_; }

 private:
  ZrtDecoder dec_;
  ZrtMsgAlmNotify alm_;
  ZrtMsgCommonNotify notify_;
  int port_ = -1;
};

// The native input as the correction-decoder task's decoder of type "zrt" for its port.
class ZrtInDec : public InDec {
 public:
  void bind(ZrtPortInput* in) { in_ = in; }
  void reset() override;
  void process(const void* data, int len) override;

 private:
  ZrtPortInput* in_ = nullptr;
};

// The input of a decoder port; null out of range.
ZrtPortInput* zrtPortInput(int decPort);
// Installs the native input as the "zrt" handler of `port` itself if it exists and has a decoder
// port; false otherwise.
bool zrtPortInputAttach(int port);
// The native input of a decoder port as the correction decoders' table sees it (InDecs), where
// a port in "zrt" mode reaches it through task DECT; null out of range.
InDec* zrtInDec(int decPort);
// Binds every decoder port's native input to its port; the links to the GNSS board, which have
// no correction decoders, get it as their own "zrt" handler. Runs after the ports are made.
void zrtPortInputInit();
