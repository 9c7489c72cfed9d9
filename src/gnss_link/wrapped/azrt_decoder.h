// The wrapped-stream decoder of a native-mode port: the wrapped-data message ">>", whose first
// body byte names a stream, goes by the port's routing parameters to the command parser, to an
// output port or to another port's correction decoder; foreign (non-native) lines on the port
// are routed the same way or handed to a further client (the transducer sentence reader).
#pragma once

#include <atomic>
#include <cstdint>

#include "gnss_link/native_msg_filter.h"
#include "gnss_link/wrapped/azrt_params.h"

class AzrtDecoder : public ZrtMsgClient {
 public:
  // Longest command text handed on; longer ones are dropped.
  static constexpr int kMaxCommand = 1535;

  AzrtDecoder();
  AzrtDecoder(const AzrtDecoder&) = delete;
  AzrtDecoder& operator=(const AzrtDecoder&) = delete;

  // Records the port (an IOPortIndex), binds ">>" in the port's filter and becomes its client
  // for what the filter does not know.
  void init(int port, ZrtMsgFilter& filter);
  // Takes the foreign data no parameter routes; null: such data is refused.
  void setFurther(ZrtUnknownMsgClient* further) { further_.store(further); }

  void setParam(int index, const AzrtParams& p);
  AzrtParamSet params() const;
  int port() const { return port_; }

  static bool sh_WRAPPED(ZrtMsgClient* client, const ZRFMessage& msg);
  // Hands a copy of the command with its source port to the command parser without waiting for
  // it; trailing CR and LF dropped, empty and over-long texts ignored. True when handed on.
  static bool command(const char* text, int len, int port);

  // The filter's client for foreign runs.
  class Foreign : public ZrtUnknownMsgClient {
   public:
    explicit Foreign(AzrtDecoder* owner) : owner_(owner) {}
    void unknownReset() override;
    bool foreign(const char* data, int len, int terminator) override;

   private:
    AzrtDecoder* owner_;
  };

 private:
  bool wrapped(const ZRFMessage& msg);
  bool foreign(const char* data, int len, int terminator);
  // Carries out the action of `p` on the data; false when the action has nowhere to go.
  bool route(const AzrtParams& p, const char* data, int len);

  std::atomic<std::uint32_t> params_[AzrtParamSet::kCount];
  int port_ = IOP_NULL;
  Foreign foreign_;
  std::atomic<ZrtUnknownMsgClient*> further_{nullptr};
};

struct AzrtDecoders {
  static AzrtDecoder decs_[InPorts::DEC_NUM];
};
