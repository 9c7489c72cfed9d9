// RTCM 3 coordinate-transformation messages (1021-1027): a network's datum, its residual grids
// and its map projection, collected per system identification number into one set; a complete
// set becomes the received datum "GOT".
#pragma once

#include <cstdint>

#include "differential/nav_decoder.h"
#include "positioning/geodesy/ell_math.h"

// Bits of `received` and `announced`, one per further message of a set.
enum : std::uint16_t {
  kRtc3EllGrid = 1,    // 1023
  kRtc3PlaneGrid = 2,  // 1024
  kRtc3Prj1025 = 4,
  kRtc3Prj1026 = 8,
  kRtc3Prj1027 = 16,
};

// 1021 / 1022 as sent: angles in arc-seconds, lengths in metres, scale in ppm.
struct RTC3_TRANSF_PARAMS {
  char sourceName[32];
  char targetName[32];
  std::uint8_t sysId;
  std::uint8_t plate;
  std::uint8_t computation;
  std::uint8_t height;        // height indicator, passed to the datum
  std::uint16_t indicator;    // the 10-bit utilized-transformation-message field as sent
  std::uint8_t horQuality;
  std::uint8_t vertQuality;
  double latV, lonV, extLatV, extLonV;  // area of validity
  double dx, dy, dz;
  double r1, r2, r3;
  double ds;
  double xp, yp, zp;          // rotation point (1022)
  double aS, bS, aT, bT;      // source and target ellipsoid axes
};

// 1023 (rad-sized values in arc-seconds) or 1024 (metres); grid origin and spacing.
struct RTC3_RESIDUALS {
  std::uint8_t sysId;
  std::uint8_t horPresent;
  std::uint8_t heightPresent;
  std::uint8_t held;          // 1 once a grid was read into this record
  std::uint8_t horInterp;     // interpolation methods and grid quality indicators as sent
  std::uint8_t vertInterp;
  std::uint8_t horQuality;
  std::uint8_t vertQuality;
  double lat0, lon0;          // 1023: arc-seconds; 1024: northing, easting (m)
  double dLat, dLon;          // spacing, same units
  double mean[3];             // north, east (arc-seconds or m), height (m)
  double res[16][3];
};

// One projection message: the receiver's form (rad, m, factor) and the RTCM type.
struct RTC3_PROJECTION {
  std::uint8_t sysId;
  std::uint8_t rtcmType;
  std::uint8_t rectified;     // 1027
  std::uint8_t spare[5];
  EllMath::ANY_PRJ_PARAMS prm;
};

struct RTC3_COORD_TRANSF_PAR {
  std::uint8_t badekas;       // the parameters came from 1022
  std::uint8_t sysId;         // 255: no set
  std::int16_t stationId;     // -1: none
  std::uint16_t announced;    // further messages the set needs
  std::uint16_t received;     // further messages received for sysId
  std::uint8_t prjMsg;        // received bit of the projection kept below, 0 for none
  std::uint8_t spare[7];
  RTC3_TRANSF_PARAMS transf;
  RTC3_RESIDUALS ellGrid;
  RTC3_RESIDUALS planeGrid;
  RTC3_PROJECTION prj;
};

// RTCM projection type (index) to the receiver's projection type; 0 where none fits.
extern const std::int32_t Rtcm3PrjTypeToMapID[12];

class RTC3_CoordTransf {
 public:
  static RTC3_COORD_TRANSF_PAR Rtc3CoordTransData;

  // Readers of one message from `br` (positioned after the message number); false, with the
  // output not to be used, for a message cut short or a projection type outside the table.
  static bool readParams(int msgNum, BitReader& br, RTC3_TRANSF_PARAMS& out);
  static bool readResiduals(int msgNum, BitReader& br, RTC3_RESIDUALS& out);
  static bool readProjection(int msgNum, BitReader& br, RTC3_PROJECTION& out);

  // Reads one of 1021-1027 and adds it to the set; true when the message was whole.
  static bool apply(int msgNum, BitReader& br, int stationId);
  // Builds "GOT" from the complete set; false (nothing changed) for a source ellipsoid other
  // than GRS80 / WGS 84 or a target ellipsoid that is no ellipsoid.
  static bool storeGotTransData();
  // Residual grid of the set in the form the output corrects with.
  static void storeGotResidual(const RTC3_RESIDUALS& in, bool plane, DtmList::TRANSFORM_RESIDUALS* out);
  // Drops the received transformation: "GOT" becomes a copy of the current output datum.
  static void clearGotTransData();
};
