// The board's RTK solution record: its 870 bytes on the wire (little-endian, no padding) and the
// record `solution` they are copied into. The wire offsets below are the one description of the
// layout; the reader walks them in order and each step is checked against the next offset, so
// a width changed here cannot shift the fields after it unnoticed.
#pragma once

#include <cstdint>

namespace SolRtkWire {
constexpr int kTimeTag = 0;        // u32: ms of the reference scale of the solution
constexpr int kState = 4;          // i32: 1..6 a solution (present when positive)
constexpr int kRover = 8;          // 3 x f64: rover position, Earth-centred, m
constexpr int kBase = 32;          // 3 x f64: base position, m
constexpr int kBaseline = 56;      // 3 x f64: rover minus base, m
constexpr int kVelocity = 80;      // 3 x f64: rover velocity, m/s
constexpr int kSpare104 = 104;     // 6 x u32
constexpr int kVelPresent = 128;   // u8: the velocity is filled
constexpr int kBaselineRate = 129; // 3 x f32: baseline rate, Earth-centred, m/s
constexpr int kHeadingVar = 141;   // f32: heading variance, m^2 across the baseline
constexpr int kSpare145 = 145;     // u32
constexpr int kSpare149 = 149;     // 18 x u32
constexpr int kSpare221 = 221;     // u8
constexpr int kSpare222 = 222;     // u8
constexpr int kSpare223 = 223;     // 16 x u32
constexpr int kSpare287 = 287;     // 3 x u32
constexpr int kSpare299 = 299;     // u8
constexpr int kUseWord = 300;      // u32: satellite-use word
constexpr int kHeadingAvail = 304; // u8
constexpr int kMode = 305;         // u8: position mode of the solution
constexpr int kStatus = 306;       // u8: status byte
constexpr int kSpare307 = 307;     // 4 x u32
constexpr int kSysGroups = 323;    // 7 x {4 x f32}: per system used, tracked, excluded, spare
constexpr int kCovariances = 435;  // 9 x {f64 position, f64 velocity}: both 3 x 3 row by row
constexpr int kCofactors = 579;    // 4 x {f32, 4 x f64}: spare value, cofactor row X, Y, Z, T
constexpr int kStations = 723;     // 4 x u16: station id, second station id, second value, spare
constexpr int kSpare731 = 731;     // u32
constexpr int kSpare735 = 735;     // u8
constexpr int kGroups736 = 736;    // 3 x {u32, u32, f32}
constexpr int kGroups772 = 772;    // 2 x {u8, 5 x f32, 7 x u32}
constexpr int kSize = 870;

static_assert(kState == kTimeTag + 4 && kRover == kState + 4 && kBase == kRover + 24 && kBaseline == kBase + 24 &&
              kVelocity == kBaseline + 24 && kSpare104 == kVelocity + 24 && kVelPresent == kSpare104 + 24);
static_assert(kBaselineRate == kVelPresent + 1 && kHeadingVar == kBaselineRate + 12 && kSpare145 == kHeadingVar + 4 &&
              kSpare149 == kSpare145 + 4 && kSpare221 == kSpare149 + 72 && kSpare222 == kSpare221 + 1 &&
              kSpare223 == kSpare222 + 1 && kSpare287 == kSpare223 + 64 && kSpare299 == kSpare287 + 12 &&
              kUseWord == kSpare299 + 1);
static_assert(kHeadingAvail == kUseWord + 4 && kMode == kHeadingAvail + 1 && kStatus == kMode + 1 &&
              kSpare307 == kStatus + 1 && kSysGroups == kSpare307 + 16 && kCovariances == kSysGroups + 7 * 16 &&
              kCofactors == kCovariances + 9 * 16 && kStations == kCofactors + 4 * 36);
static_assert(kSpare731 == kStations + 8 && kSpare735 == kSpare731 + 4 && kGroups736 == kSpare735 + 1 &&
              kGroups772 == kGroups736 + 3 * 12 && kSize == kGroups772 + 2 * 49);
}  // namespace SolRtkWire

// The record as stored: the per-system groups as four arrays of seven, both 3 x 3 matrices and
// the 4 x 4 cofactors as upper triangles row by row.
struct BoardSolRtkType {
  static constexpr int kWireSize = SolRtkWire::kSize;
  static constexpr std::uint16_t kNoStation = 65535;
  struct Group736 {
    std::uint32_t ulA, ulB;
    float fC;
  };
  struct Group772 {
    std::uint8_t uFlag;
    float fValue[5];
    std::uint32_t ulWord[7];
  };
  std::uint32_t ulTimeTag;
  std::int32_t lSolType;  // the state
  double dRover[3], dBase[3], dBaseline[3], dVel[3];
  std::uint32_t ulSpare104[6];
  std::uint8_t bVelPresent;
  float fBaselineRate[3];
  float fHeadingVar;
  std::uint32_t ulSpare145;
  std::uint32_t ulSpare149[18];
  std::uint8_t uSpare221, uSpare222;
  std::uint32_t ulSpare223[16];
  std::uint32_t ulSpare287[3];
  std::uint8_t uSpare299;
  std::uint32_t ulUseWord;
  std::uint8_t bHeadingAvailable;
  std::uint8_t uMode, uStatus;
  std::uint32_t ulSpare307[4];
  float fSys[4][7];       // [0] used, [1] tracked, [2] excluded, [3] spare; systems in SvSystem order
  double dPosCov[6];      // m^2
  double dVelCov[6];      // (m/s)^2
  float fCofSpare[4];
  double dCof[10];        // X Y Z T cofactors
  std::uint16_t uStation[2];  // kNoStation: none
  std::uint16_t uValue2;
  std::uint16_t uSpare729;
  std::uint32_t ulSpare731;
  std::uint8_t uSpare735;
  Group736 g736[3];
  Group772 g772[2];
};

class RawReader;
// Reads the record's bytes in wire order; false when a field did not start at its offset or
// the bytes ran short.
bool readSolRtk(RawReader& r, BoardSolRtkType& s);

struct RTK_SOL;
// The fields the output reads, into the output's view of the RTK solution. The per-satellite
// use entries are not part of the record.
void mapRtkSolution(const BoardSolRtkType& in, RTK_SOL& out);
