// One reference position (a base station's, the receiver's own, or an antenna reference point)
// in Cartesian and geodetic form on a given ellipsoid, with its station name, the decoder port
// it came from and the antenna offsets. The differential coders and decoders keep their
// reference positions in such records; the position averaging publishes into eight of them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/ports/in_port.h"
#include "positioning/geodesy/ell_math.h"

class ReferencePos {
 public:
  enum eCoordType : int { kGeodetic = 0, kCartesian = 1 };
  // Antenna-offset targets of setAnt.
  enum tAntPar : int { kAntL1 = 0, kAntL1Arp = 1, kAntL2 = 2, kAntThird = 3 };

  struct REFPOS_PAR {
    double x, y, z;        // m
    double lat, lon, hgt;  // rad, rad, m
    char name[32];
  };
  static_assert(sizeof(REFPOS_PAR) == 80);
  struct ANT_PAR {
    float offsets[9];       // L1, L2 and a third set of offsets, m
    std::uint8_t flags[2];  // [0] bit 0 L1 set, bit 1 L1 valid, bit 2 L2 valid, bit 3 ARP
    std::uint8_t pad[2];
  };
  static_assert(sizeof(ANT_PAR) == 40);
  static constexpr std::uint8_t kL1Set = 0x1, kL1Valid = 0x2, kL2Valid = 0x4, kArp = 0x8;

  // Stores the coordinates of `type`, derives the other form on the stored ellipsoid, copies the
  // name (null: empty) and the port. `unchanged` ends true when no coordinate differs from the
  // stored one. False (nothing stored) without an ellipsoid or for another type.
  bool setRefPos(int type, const char* name, const double coords[3], bool& unchanged,
                 InPorts::DecPortIndex port);
  // Geodetic (0) or Cartesian (1) coordinates; false without a valid position, without an
  // ellipsoid, or for another type.
  bool getRefPos(int type, double out[3]) const;
  bool getRefPos(REFPOS_PAR* out) const;
  // The point lies within +-20 km of the ellipsoid's surface.
  static bool checkXYZ(const EllMath::ELL_EXTPAR& ell, const double xyz[3]);
  void setEllipsoid(const EllMath::ELL_EXTPAR& ell);
  void setAnt(const float offsets[3], int kind, bool notValid, bool flag);

  bool valid() const { return (flags_ & kValid) != 0; }
  // The position stays, marked not valid until a base position message sets it again.
  void clearValid() { flags_ = static_cast<std::uint8_t>(flags_ & ~kValid); }
  bool nonZero() const { return (flags_ & kNonZero) != 0; }
  bool ellipsoidSet() const { return ellSet_ != 0; }
  InPorts::DecPortIndex port() const { return port_; }
  const ANT_PAR& ant() const { return ant_; }
  // Which kind of message the position came from (0 user, 1 RTCM 2 ARP, 2 CMR, 3 RTCM 3) and
  // the sending station.
  void setSource(int kind, int stationId) {
    source_ = static_cast<std::uint8_t>(kind);
    stationId_ = static_cast<std::uint16_t>(stationId);
  }
  int source() const { return source_; }
  int stationId() const { return stationId_; }

 private:
  static constexpr std::uint8_t kValid = 0x1, kNonZero = 0x2;
  EllMath::ELL_EXTPAR ell_{};
  REFPOS_PAR pos_{};
  InPorts::DecPortIndex port_ = InPorts::DEC_SER_A;
  std::uint8_t flags_ = 0;
  ANT_PAR ant_{};
  std::uint8_t ellSet_ = 0;
  std::uint8_t source_ = 0;
  std::uint16_t stationId_ = 0;
};

static_assert(offsetof(ReferencePos::REFPOS_PAR, lat) == 24 && offsetof(ReferencePos::REFPOS_PAR, name) == 48);
static_assert(offsetof(ReferencePos::ANT_PAR, flags) == 36);

// The receiver's reference positions as the base decoders received them: GPS frame (datum
// "W84") and GLONASS frame ("P90").
extern ReferencePos RcvPosGPS, RcvPosGLN;
