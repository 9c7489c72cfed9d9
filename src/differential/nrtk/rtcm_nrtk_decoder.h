// Applies the decoded RTCM 3 network records (auxiliary stations, ionospheric, geometric and
// residual correction differences, the physical station behind a virtual one, the master's
// position) to the network RTK store. The RTCM 3 base decoder owns it and calls it for each such
// record, in the correction-decoder task; every call holds the base buffer's auxiliary record,
// which serialises it against the RTK side's readers.
#pragma once

#include <cstdint>

#include "differential/base/cpd_meas_buf.h"
#include "differential/nrtk/nrtk_store.h"
#include "differential/rtcm3/rtcm3_nrtk.h"

class RtcmNrtkCpdDecoder {
 public:
  explicit RtcmNrtkCpdDecoder(CpdMeasBuf* buf = nullptr) : buf_(buf) {}
  void setBuf(CpdMeasBuf* buf) { buf_ = buf; }
  CpdMeasBuf* buffer() const { return buf_; }

  // The master station's position (ECEF) and id; a new master takes its geodetic position.
  void updateRefPos(const CpdCPos& pos, int stationId);
  void updateAux(const RTC3_NRTK_STATION& s);
  void updateIono(const RTC3_NRTK_IONO& r);
  void updateGeom(const RTC3_NRTK_GEO& r);
  void updateRes(const RTC3_NRTK_RES& r);
  void updatePhysRefPos(const RTC3_NRTK_PHYS_REFPOS& p);
  // Every open epoch is given back unpublished; the station ids are forgotten.
  void reset();

  // The station the residuals are filed under and the other id of its physical / non-physical
  // pair (-1: none); the pair's own id once both halves were seen.
  int stationId() const { return stationId_; }
  int pairOther() const { return pairOther_; }
  int pairCur() const { return pairCur_; }

  // GLONASS residual messages whose epoch is committed with the last of them.
  static constexpr int kGloResMessages = 3;
  // The RTCM debug selector of the network messages: each ionospheric, geometric and residual
  // message is followed by one line of what the store made of its epoch.
  static constexpr int kDebugNetwork = 59;

 private:
  // An epoch being filled and the ring it belongs to; `lost` names the epoch a reset gave back
  // (auxiliary id -1: none), whose remaining messages are dropped too.
  struct Open {
    CpdNrtkCorr* rec = nullptr;
    CpdNrtkCorrBuf* ring = nullptr;
    CpdNrtkCorrHeader lost;
    void commit();
    void drop();
    void forget();  // at a reset: given back, and its epoch remembered as lost
    bool isLost(const CpdNrtkCorrHeader& h);
  };
  // One satellite's values as an ionospheric or geometric message gives them.
  struct DiffSat {
    int satId;
    int ambStatus, nonSync, iod;
    float value;  // m
  };

  CpdNrtk* obtain(CpdAux*& aux);
  void release(CpdAux* aux);
  void diff(CpdNrtk& n, const RTC3_NRTK_HEADER& h, const DiffSat* sats, int count, CpdNrtkSafePtrArray& rings,
            Open& open);
  CpdNrtkMnsId vrsMns(const CpdNrtk& n) const;
  // "NRTK <what> aux <id> t <ms>: open | stored, <n> sats of <m> messages | dropped; newest <ms>"
  // under the network debug selector: the epoch of `h` as the station's ring holds it now.
  void report(const char* what, CpdNrtk& n, const CpdNrtkSafePtrArray& rings, const CpdNrtkCorrHeader& h,
              const Open& open) const;

  std::int32_t stationId_ = -1;
  std::int32_t pairOther_ = -1;  // the other id of a physical / non-physical pair
  std::int32_t pairCur_ = -1;
  std::int8_t resNet_ = -1;  // network and subnetwork of virtual-station residuals
  std::int8_t resSub_ = -1;
  CpdMeasBuf* buf_ = nullptr;
  Open iono_;
  Open geom_;
  Open res_;

  // Process-wide: GLONASS residual messages since the last residual commit.
  static inline int gloResCount_ = 0;
};
