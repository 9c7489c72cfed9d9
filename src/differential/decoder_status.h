// Reception status of every decoder port: frames accepted and rejected, quality, the last good
// message, the station, the data's latency and the epoch period per satellite system. Written
// by the decoders' clients, read by output messages in other tasks.
#pragma once

#include <cstdint>

#include "differential/nav_decoder.h"
#include "differential/seq_buffer.h"
#include "platform/rtos.h"

struct RTC3_DEC_STATUS;
struct RTCM_DEC_STATUS;
struct CMR_DEC_STATUS;

class DecoderStatus {
 public:
  enum tDecMode : std::int32_t {
    kRtcm = 0,
    kCmr = 1,
    kZrt = 2,
    kRtcm3 = 3,
    kGbas = 4,
    kSisnet = 5,
    kNone = 8,
  };

  struct DataStream {
    std::int32_t good;
    std::int32_t bad;
    float quality;          // percent of good frames
    std::int32_t lastTime;  // monotonic seconds of the last good message
    std::int32_t station;
    std::int32_t latency;    // ms, -1 unknown
    std::int32_t period[7];  // ms per satellite system, -1 unknown
  };
  static_assert(sizeof(DataStream) == 52);

  struct PortRecord {
    DataStream streams[4];
    std::int32_t mode;
    std::int32_t port;
    std::uint8_t multi;
    std::uint8_t pad[3];
    std::int32_t selStream;
  };
  static_assert(sizeof(PortRecord) == 224);

  DecoderStatus();

  void delStatus(int port, int mode);
  void setDecMode(int port, int mode) { delStatus(port, mode); }
  // Files an RTCM 3 decoder's status as stream 0 (mode 3). A pending epoch period is filed into
  // its system's slot and marked filed (-1) in `st`.
  void putStatus(int port, RTC3_DEC_STATUS& st);
  // Files an RTCM 2 decoder's status as stream 0 (mode 0): messages as good, sequence gaps as
  // bad; a pending epoch period is filed as for RTCM 3.
  void putStatus(int port, RTCM_DEC_STATUS& st);
  // Files the CMR station table's four stations as streams 0-3 (mode 1), with `multi` set and
  // `selStream` the station to show; pending epoch periods as above.
  void putStatus(int port, CMR_DEC_STATUS& st);
  // Copies a whole stream 0 (the native-format decoder's status).
  void putStatus(int port, const DataStream& s, int mode);

  // A consistent copy of a port's record as readers see it; false for a port out of range.
  bool get(int port, PortRecord& out) const;
  // Changes by two with every write of the port's record.
  std::uint32_t sequence(int port) const;

 private:
  template <class F>
  void update(int port, F&& change);

  // The writers' own latest copy of each record, so that every publication carries all that
  // was filed before, whichever half it lands in.
  PortRecord master_[InPorts::DEC_NUM];
  SeqBuffer<PortRecord> pub_[InPorts::DEC_NUM];
  Mutex writers_;
};

extern DecoderStatus DecSt;

// Latency of a message whose time tag is `time` (ms; of the GLONASS day for sys 1, else of the
// GPS week, BeiDou 14 s behind): now minus the tag within one minute. Unchanged when either is
// unknown.
void decUtilsGetLatency(long time, int sys, long& latency);
// Files the interval from the previous epoch of `sys` into `p`; times are taken within the hour.
void decUtilsGetEpochPeriod(long time, int sys, NAV_Decoder_Kernel::EPOCH_PERIOD& p);
