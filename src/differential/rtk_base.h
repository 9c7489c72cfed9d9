// The RTK base record `bc`: the base station's position, antenna and source as the correction
// clients last received them (or as the user entered them). The clients of every correction
// format update it through these functions, which also hand the position and the antenna's
// L2-L1 offsets on to the base-epoch decoders and save the record as the base settings block.
//
// Output messages and the RTK side read the record from other tasks while the correction-decoder
// task rewrites it: they take whole copies through getRtkBase, never the global itself.
#pragma once

#include <cstdint>

#include "positioning/reference/reference_pos.h"
#include "settings/base_coord.h"

class RtcmCpdClient;
class CmrCpdClient;
class Rtcm3CpdClient;

namespace RtkBase {
// BASECOORD::offFlags
constexpr std::uint8_t kOffSet = 0x1, kOffValid = 0x2, kOffArp = 0x4;
// The L2 offsets are in the Earth-fixed axes of the base's frame (RTCM 2 message 22), not in
// east/north/up.
constexpr std::uint8_t kOffL2Xyz = 0x8;
// BASECOORD::valid
constexpr std::uint8_t kPosValid = 0x1;
// BASECOORD::recvFlags
constexpr std::uint8_t kReceived = 0x1, kAntIncluded = 0x2;
// BASECOORD::srcKind
enum Source : std::uint8_t { kRtcmRef = 0, kRtcmArp = 1, kCmr = 2, kRtcm3 = 3 };
// Antenna-offset kinds of updateAnt (the targets of ReferencePos::setAnt).
// kL2Xyz: the L2 offsets given in Earth-fixed axes.
enum AntKind : int { kL1 = 0, kL1Arp = 1, kL2 = 2, kThird = 3, kL2Xyz = 4 };
// L2-L1 offset types handed to the base decoders.
constexpr std::int32_t kOffsToArp = 1, kOffsToL1 = 2;
}  // namespace RtkBase

// The base decoders the record feeds: filled at start with each one that is built.
struct RtkBaseDecoders {
  RtcmCpdClient* rtcm2 = nullptr;
  CmrCpdClient* cmr = nullptr;
  Rtcm3CpdClient* rtcm3 = nullptr;
};
extern RtkBaseDecoders rtkBaseDecoders;

// The port may deliver base data (the base-data port setting is "any" or this port).
bool rtkBasePortGate(int port);
// The station may feed the base decoders: the station selected in the CMR decoder settings, or
// with none selected the configured base station or a chunk from the current base port.
bool rtkBaseStationGate(int stationId);

// A base record holding a received reference position (no antenna part).
BASECOORD rtkBaseFromRef(const ReferencePos::REFPOS_PAR& pos, int srcKind, int port, int stationId);

// Takes the position part of `rec` with its source flags (with `withAntenna` also the antenna
// part); under the station gate the position, brought to WGS 84 from the datum it names, goes to
// the base decoders. False (nothing changed) for a position that is not marked valid.
bool updateRtkBase(const BASECOORD& rec, bool withAntenna);
// Forgets base `base`: the ports' extended reference parameters, the record's flags and
// offsets, the received reference parameters, the base decoders' station data; saves.
void invalidateRtkBase(int base);
// Publishes position and antenna as the received reference parameters and saves the record.
bool saveRtkData();
void updateAntType(const char* desc, const char* serial, int setupId);
// The record's L2-minus-L1 phase-centre offset as east, north, up (m): offsets given in
// Earth-fixed axes are turned at the base position; false when a valid base is needed for that
// and there is none (the offsets stay as stored).
bool rtkBaseL2L1Enu(const BASECOORD& b, double enu[3]);
// Kinds 0 and 1: the L1 offsets (set, valid unless `notValid`, of the ARP for kind 1); kind 2:
// the L2 offsets, also handed to base `base`'s RTCM 2 and CMR decoders as an L2-L1 vector of
// the ARP (`toArp`) or of L1; kind 3: the third set.
void updateAnt(const float offsets[3], int kind, bool notValid, bool toArp, int base);
// A whole copy of the record; true when it holds a received base.
bool getRtkBase(BASECOORD& out);
