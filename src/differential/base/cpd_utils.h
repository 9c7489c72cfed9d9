// Satellite and geometry services of the carrier-phase model, as the base decoders and the RTK
// engine shell call them: satellite position and clock from the satellite data store's orbit
// polynomials, issues of data, and the conversion from ECEF to geodetic (WGS 84).
//
// Times are seconds of the GPS-based cycle of the satellite's system: Galileo and QZSS run on
// GPS time, BeiDou's own time is 14 s behind (taken off here once), SBAS polynomials are kept in
// seconds of the day.
#pragma once

#include <cstdint>

#include "differential/base/cpd_meas.h"
#include "navigation_data/sv_id.h"

struct CpdCVel {
  double x = 0.0, y = 0.0, z = 0.0;  // ECEF, m/s
};

struct CpdGPos {
  double lat = 0.0, lon = 0.0, h = 0.0;  // rad, rad, m above the ellipsoid
};

class CpdUtils {
 public:
  static constexpr int kOk = 0;
  static constexpr int kNoData = 4;
  static constexpr int kAnyIod = -1;

  virtual ~CpdUtils() = default;
  // Position, velocity and clock (s) of the satellite at t; `iod` kAnyIod takes the store's
  // choice. Nothing is written on failure.
  virtual int svPos(const CpdSv& sv, double t, bool healthyOnly, CpdCPos& pos, CpdCVel& vel, double& clk,
                    int iod) = 0;
  virtual int getTimeCor(const CpdSv& sv, double t, int iod, double& corr) = 0;
  virtual int getIssue(const CpdSv& sv, int& iode, int& iodc, double t) = 0;
  virtual CpdGPos xyz2geo(const CpdCPos& pos) = 0;
};

class CpdUtilsImp final : public CpdUtils {
 public:
  int svPos(const CpdSv& sv, double t, bool healthyOnly, CpdCPos& pos, CpdCVel& vel, double& clk,
            int iod) override;
  int getTimeCor(const CpdSv& sv, double t, int iod, double& corr) override;
  int getIssue(const CpdSv& sv, int& iode, int& iodc, double t) override;
  CpdGPos xyz2geo(const CpdCPos& pos) override;
};

extern CpdUtilsImp CpdUtilsInstance;

namespace cpdutil {
constexpr double kBdsGpsOffset = 14.0;  // s: BeiDou time = GPS time - 14 s
constexpr double kDaySec = 86400.0;

// The satellite's index within its system (0-based), or -1 when the system or number is outside
// the model's table.
int svIndex(const CpdSv& sv);
// The store's signal-numbering identity of the satellite (no satellite-numbering part), or
// false when outside the table.
bool storeId(const CpdSv& sv, SvIdType& id);
// A GPS-based time (s) of the satellite's system onto the time its polynomials are kept in.
double polyTime(int sys, double t);
// Position (m), velocity (m/s) and clock (s) of the satellite at its own time t, with the issue
// of data of the entry used; false when the store has no usable entry or the record is alerted.
bool satState(const CpdSv& sv, double t, bool healthyOnly, int iod, double pos[3], double vel[3], double& clk,
              std::uint16_t& iodOut);
}  // namespace cpdutil
