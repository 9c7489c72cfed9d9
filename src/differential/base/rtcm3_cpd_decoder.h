// The RTCM 3 base-epoch decoder: the legacy RTK observations (1001-1004 GPS, 1009-1012 GLONASS)
// and the multiple signal messages of an RTCM 3 base become base epochs in the base buffer, and
// every usable code measurement also becomes a code correction for the position engine, whatever
// becomes of the epoch. It keeps the station's position, antenna and receiver descriptions and
// GLONASS code-phase biases, and hands network-RTK records to the network-RTK decoder it holds.
//
// Ranges a base sends without their whole light-milliseconds (1001/1003, 1009/1011, MSM1-3) are
// completed from the satellite's geometry at the station (restoreMeas); a satellite that cannot
// be completed is left out rather than published or corrected with a range cut short.
#pragma once

#include <cstdint>

#include "differential/base/cpd_epoch_timing.h"
#include "differential/base/cpd_meas_buf.h"
#include "differential/base/cpd_utils.h"
#include "differential/nrtk/rtcm_nrtk_decoder.h"
#include "differential/placeholders.h"
#include "differential/rtcm3_client.h"
#include "platform/hook.h"

// The GLONASS code-phase biases of the current base station.
struct CpdGloBias {
  static constexpr int kValues = 4;
  float bias[kValues];     // m: L1 C/A, L1 P, L2 C/A, L2 P
  std::int32_t stationId;  // the full 12-bit id (stations 0 and 256 differ); -1 none
  std::uint8_t mask;       // values received: 8 L1 C/A, 4 L1 P, 2 L2 C/A, 1 L2 P
  std::uint8_t pad[3];

  void clear();
};
static_assert(sizeof(CpdGloBias) == 24);
// Written by the RTCM 3 base decoder under the base buffer's auxiliary-record lock.
extern CpdGloBias curCpdGloBias;

class Rtcm3CpdDecoder final : public Rtcm3CpdClient, public CpdBaseDecoder {
 public:
  static constexpr double kC = 299792458.0;          // m/s
  static constexpr double kLightMs = 299792.458;     // m: one light-millisecond
  static constexpr double kGloLegacyL = 599584.916;  // m: the GLONASS legacy range modulus
  static constexpr int kNotRestored = -1;

  explicit Rtcm3CpdDecoder(CpdMeasBuf* buf, CpdUtils& utils = CpdUtilsInstance);

  void update(const RTC3_OBS& obs) override;
  void updateMSM(const RTC3_OBS& obs) override;
  void updateFlags(std::uint8_t f) override { flags_ = f; }
  void updateRefPos(const CpdCPos& pos, int stationId) override;
  void updateAntDesc(const char* name, int stationId) override;
  void updateRcvDesc(const char* type, const char* version, const char* serial, int stationId) override;
  void updateGloBias(const RTC3_GLO_BIAS& bias, int stationId) override;
  void reset() override;
  void invalidateRefPos() override;
  void invalidateOtherInfo() override;
  void updateNrtkAux(const RTC3_NRTK_STATION& s) override { nrtk_.updateAux(s); }
  void updateNrtkIono(const RTC3_NRTK_IONO& i) override { nrtk_.updateIono(i); }
  void updateNrtkGeom(const RTC3_NRTK_GEO& g) override { nrtk_.updateGeom(g); }
  void updateNrtkRes(const RTC3_NRTK_RES& r) override { nrtk_.updateRes(r); }
  void updateNrtkPhysRefPos(const RTC3_NRTK_PHYS_REFPOS& p) override { nrtk_.updatePhysRefPos(p); }

  // Completes one satellite's ranges, given modulo one light-millisecond (legacy GLONASS: two),
  // from its geometric range at the station at `timeMs` (ms of the system's own cycle, BeiDou on
  // GPS time). Legacy mode: the slots hold the L1 range, L2 = L1 range + the L2-L1 difference and
  // the raw phase-range differences (m); MSM mode: ranges in m, phases in cycles. Returns the
  // whole light-milliseconds added, kNotRestored without orbit, clock or station.
  static int restoreMeas(CpdSvMeas& m, long timeMs, const CpdRefPos& ref, bool msm, CpdUtils& utils);
  // The wrap guard: the integer count of `modulus` in `geometric`, moved by one where the
  // geometric remainder and the measured value lie on opposite sides of a wrap.
  static int wholeModuli(double geometric, double measured, double modulus);
  // A BeiDou message time onto GPS time: the difference to the receiver's GPS time is folded
  // into half a week either way, and 14 s are added only when it lies nearer 14 s than 0.
  static long bdsOntoGps(long bdsMs, long rcvGpsMs);

  const CpdRefPos& refPos() const { return refPos_; }
  int stationId() const { return stationId_; }
  bool antKnown() const { return antKnown_ != 0; }
  std::uint8_t flags() const { return flags_; }
  int resets() const { return resets_; }
  bool epochOpen() const { return cur_ != nullptr; }
  const ClientTimes& times() const { return times_; }

 private:
  bool prepare(const RTC3_OBS& obs, int& sys, long& time) const;
  bool prepareMsm(const RTC3_OBS& obs, int& sys, long& time) const;
  void nextEpochByTime(int sys, long time);
  void startEpoch(int sys, long time);
  void fillBuffer(const RTC3_OBS& obs, int sys, long time, CpdMeas* meas);
  void fillMsmBuffer(const RTC3_OBS& obs, int sys, long time, CpdMeas* meas);
  // One completed satellite into the epoch being filled, when the rover tracks it.
  static void keep(CpdMeas* meas, const CpdSvMeas& m);
  bool phaseAligned() const;
  void releaseEpoch();
  bool finishEpoch(CpdMeas& meas);

  CpdRefPos refPos_;
  ClientTimes times_;
  CpdMeasBuf* buf_;
  CpdMeas* cur_ = nullptr;
  int resets_ = 0;
  int stationId_ = -1;
  std::uint8_t antKnown_ = 0;
  std::uint8_t prevSync_ = 0;
  std::uint8_t flags_ = 0;
  std::uint8_t brand_ = 0;  // the base receiver's brand from its receiver-type text, 0 unknown
  RtcmNrtkCpdDecoder nrtk_;
  CpdUtils& utils_;
};

// The program's RTCM 3 base decoder on the base buffer; null until rtcm3CpdClientInit.
// The base receiver's make is judged with the receiver's GLONASS calibration, a layer above;
// src/main fills these. Empty, the make reads as unknown and its phases as not aligned.
struct BaseBrandLinks {
  Hook<int(const char* rcvType)> identify{"differential", "baseBrandLinks.identify"};
  Hook<void(int brand)> setDetected{"differential", "baseBrandLinks.setDetected"};
  Hook<bool(int brand)> phasesAligned{"differential", "baseBrandLinks.phasesAligned"};
};
extern BaseBrandLinks baseBrandLinks;

extern Rtcm3CpdDecoder* rtcm3CpdClient;
// Builds it once on the base buffer, enters it in the base-decoder table and binds it to every
// port's RTCM 3 client.
void rtcm3CpdClientInit();
