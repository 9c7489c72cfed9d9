// Input decoders: one object per decoder type and decoder port, fed with the bytes of a port in
// a correction mode. The native-format decoders live above this layer; the table takes them
// from a hook when it is built (InDecs::native_).
#pragma once

#include "differential/nav_decoder.h"
#include "platform/hook.h"
#include "platform/ports/in_port.h"

class InDec {
 public:
  virtual ~InDec() = default;
  virtual void reset() = 0;
  virtual void process(const void* data, int len) = 0;
};

// A framed stream (RTCM 2, RTCM 3, CMR) through the kernel engine.
class NavInDec : public InDec {
 public:
  NavInDec() = default;
  NavInDec(NAV_Decoder_Kernel* kernel, int port) : dec_(kernel), port_(port) {}
  void reset() override;
  void process(const void* data, int len) override;

 private:
  NAV_Decoder dec_;
  int port_ = -1;
};

// "auto": the same bytes to the native-format, CMR, RTCM 2 and RTCM 3 decoders of the port, in
// that order; each keeps its own framing state.
class AutoInDec : public InDec {
 public:
  void setPort(int port) { port_ = port; }
  void reset() override;
  void process(const void* data, int len) override;

 private:
  int port_ = -1;
};

struct InDecs {
  enum Type : int {
    kRtcm = 0,
    kCmr = 1,
    kZrt = 2,
    kRtcm3 = 3,
    kGbas = 4,
    kSisnet = 5,
    kAuto = 6,
    kNone = 7,
    TYPE_NUM = 7,
  };
  static InDec* decs_[TYPE_NUM][InPorts::DEC_NUM];
  static const int type2mode_[TYPE_NUM];

  // Builds the table: every entry none, then the native-format decoder,
  // RTCM 2, RTCM 3, CMR, GBAS (the one GBAS decoder), SISNeT (the one SISNeT decoder) and auto
  // per port.
  static void init();
  static Type mode2type(int mode);
  // The native-format decoder of a decoder port (null: none).
  static Hook<InDec*(int decPort)> native_;
  // The decoder of a type and port; null for none and out of range.
  static InDec* get(int type, int port);
};
