// Base observations in the receiver's own native format. A base station of our own kind sends
// its epochs as a satellite list ("SI") followed by one message per observable ("rc" code range,
// "cp" phase, "2r"/"2p" ... relative to the first signal, Doppler, energy), framed by the epoch
// markers; the native input of each decoder port (but the GNSS board's) feeds its own decoder,
// which fills an epoch of the base buffer and releases it at the epoch's end.
//
// The decoder sits with the native-stream readers because it is a client of their message
// filter; what it fills belongs to the differential layer's base-epoch model.
#pragma once

#include <cstdint>

#include "differential/base/cpd_epoch_timing.h"
#include "differential/base/cpd_meas.h"
#include "gnss_link/native_msg_filter.h"

class CpdMeasBuf;

class ZrtCpdDecoder : public ZrtMsgClient {
 public:
  // Entries of an "SI" list that can carry a satellite. Entries past it give none and their
  // elements are skipped.
  static constexpr int kMaskBits = 128;
  // "none" values of the elements.
  static constexpr std::int32_t kNone32 = 2147483647;
  static constexpr std::int16_t kNone16 = 32767;
  static constexpr std::uint8_t kNone8 = 255;
  // Position states: none, from a base-information record of type 5, from any other position.
  enum State : std::int32_t { kNoPos = 0, kBasePos = 1, kOtherPos = 2 };

  // One row of the "SI" index map: index range, usable range, base (number = index - base),
  // system.
  struct UsiRow {
    int first, last, usableFirst, usableLast, base, sys;
  };
  static const UsiRow usiMap_[6];
  // The satellite an "SI" index stands for; id 0 (no satellite) outside the usable ranges.
  static CpdSv mapIndex(int index);

  explicit ZrtCpdDecoder(int port = -1);
  ~ZrtCpdDecoder() override;
  ZrtCpdDecoder(const ZrtCpdDecoder&) = delete;
  ZrtCpdDecoder& operator=(const ZrtCpdDecoder&) = delete;

  // Binds the decoder port and takes the base buffer (once it exists).
  void init(int port);
  // Registers the handlers of every message this decoder reads; false when the filter's tables
  // are full.
  bool setHandlers(ZrtMsgFilter& filter);

  void reset() override;
  void startOfEpoch(long time) override;
  void endOfEpoch(long time) override;

  int port() const { return port_; }
  int state() const { return state_; }
  int resets() const { return resets_; }
  int nSi() const { return nSi_; }
  int nAdded() const { return nAdded_; }
  long epochTime() const { return epochTime_; }
  const CpdRefPos& refPos() const { return refPos_; }
  // The epoch being filled; null between epochs.
  const CpdMeas* current() const { return cur_; }

 private:
  enum Kind : int { kRange = 0, kRelRange, kPhase, kDoppler, kEnergy };

  static bool h_time(ZrtMsgClient* client, const ZRFMessage& msg);
  static bool h_BI(ZrtMsgClient* client, const ZRFMessage& msg);
  static bool h_PO(ZrtMsgClient* client, const ZRFMessage& msg);
  static bool h_SI(ZrtMsgClient* client, const ZRFMessage& msg);
  static bool h_data(ZrtMsgClient* client, const ZRFMessage& msg);

  // The base-input port setting lets this port through. An epoch left open while it does not
  // is given back, so that the base buffer is free for the port that feeds it.
  bool admitted();
  void startEpoch(long t);
  void reclaimEpoch();
  void releaseEpoch();
  bool finishEpoch(CpdMeas& m);
  void baseInfo(const char* body, int len);
  void position(const char* body, int len);
  void satList(const char* body, int len);
  void decode(const char* body, int len, Kind kind, int slot);
  void decodeElement(Kind kind, int slot, CpdSvMeas& s, const char* p);
  bool maskBit(int i) const { return (svMask_[i >> 6] >> (i & 63)) & 1u; }
  void clearMask();

  CpdRefPos refPos_;
  std::int32_t state_ = kNoPos;
  ClientTimes times_;
  CpdMeasBuf* buf_ = nullptr;
  CpdMeas* cur_ = nullptr;
  std::uint64_t svMask_[kMaskBits / 64] = {};
  double spare_[2] = {0.0, 0.0};
  int nAdded_ = 0;
  int nSi_ = 0;
  int resets_ = 0;
  int port_;
  long epochTime_ = -1;
  // Position in the epoch of each added entry: a second list in one epoch, or an index twice in
  // a list, must not shift later elements onto other satellites.
  std::uint8_t svPos_[kMaskBits] = {};
};

// The decoder of a decoder port; null for the GNSS board's port and out of range.
ZrtCpdDecoder* zrtCpdDecoder(int decPort);
// Start-up, after the base buffer and the native inputs exist: one decoder per decoder port
// except the GNSS board's, bound to that port's native input.
void zrtCpdDecodersInit();
