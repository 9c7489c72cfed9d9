// The coders' data source. The RTCM 2, RTCM 3 and CMR coders never reach into the receiver's
// data: each asks this interface for the epoch's base-station observations, the reference
// station, the receiver time and (RTCM 2) the code corrections and ionosphere data.
#pragma once

#include "platform/hook.h"
#include "positioning/base/base_data.h"

struct RCV_OUTPUT;

class NAV_Coder_Client {
 public:
  virtual ~NAV_Coder_Client() = default;
  // The epoch's RTK base data; true when it was built this epoch.
  virtual bool getRtkData(const NAVCOD_RTK_DATA** out) = 0;
  // The reference-station record in the GLONASS (PE-90) or GPS (WGS 84) datum, for a static or
  // a moving base. Always true; refPos tells a reference position was produced, arp that the
  // antenna-reference-point record was too (and is the one handed out).
  virtual bool getRefCoord(bool glonass, NAVCOD_REF_COORD** out, bool staticBase, bool& refPos, bool& arp) = 0;
  virtual bool getIonoCorData(const NAVCOD_IONO_DATA** out) = 0;
  // Receiver time of the GPS or GLONASS scale, ms; false (t unchanged) without a valid time.
  virtual bool getSysTime(bool glonass, long& t) = 0;
  virtual bool getDifCorData(const NAVCOD_DIF_DATA** out) = 0;
};

// The one implementation: hands out the receiver's global coding-data records.
class NAV_ClientCod : public NAV_Coder_Client {
 public:
  bool getRtkData(const NAVCOD_RTK_DATA** out) override;
  bool getRefCoord(bool glonass, NAVCOD_REF_COORD** out, bool staticBase, bool& refPos, bool& arp) override;
  bool getIonoCorData(const NAVCOD_IONO_DATA** out) override;
  bool getSysTime(bool glonass, long& t) override;
  bool getDifCorData(const NAVCOD_DIF_DATA** out) override;
};

extern NAV_ClientCod NavClc;

// The receiver output parameters of the main antenna (time, own position), kept by the GNSS
// link above this layer; null when none.
extern Hook<const RCV_OUTPUT*()> navClcRcvOutHook;
