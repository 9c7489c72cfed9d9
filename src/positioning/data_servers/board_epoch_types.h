// The GNSS board's share of the epoch record: its standalone solution, the per-channel
// satellite entries and states, the raw signal measurements and the reference-station blocks,
// as the raw record decoder receives them. Field meanings lie with the engine code that reads
// them; the decoder fixes their order and widths (names carry the byte offset in the record).
#pragma once

#include <cstdint>

#include "positioning/data_servers/pos_value_types.h"

struct ChanData;

namespace PosData {

// Blocks shared by the position data types (one value and two values: pos_value_types.h).
struct VelocityBlock {
  std::uint8_t uFlag[2];
  std::uint32_t ulWord[2];
  double dValue[3][2];
};
struct AccuracyBlock {
  std::uint8_t uFlag;
  std::uint32_t ulWord[6];
};
struct CovarianceBlock {
  std::uint8_t uFlag;
  std::uint32_t ulWord[10];
};
inline constexpr int kVelocityBlockWire = 58;
inline constexpr int kAccuracyBlockWire = 25;
inline constexpr int kCovarianceBlockWire = 41;

}  // namespace PosData

// The board's standalone solution (1453 bytes on the wire).
struct BoardSolAlnType {
  static constexpr int kWireSize = 1453;
  static constexpr int kPositionOffset = 88;
  static constexpr int kVelocityOffset = 136;
  struct SysBlock {
    std::uint8_t uByte[4];
    float fValue;
  };
  std::uint8_t u0, u1, uFlag2;
  std::uint32_t ul3, ul7;
  std::uint16_t u11[4];
  std::uint16_t u19;
  SysBlock sys21[7];
  std::uint8_t uFlag77[3];
  std::uint32_t ul80, ul84;
  std::uint32_t ulPos88[3][4];  // the position record
  PosData::VelocityBlock vel136[2];  // the velocity record starts at the first
  std::uint32_t ul252[3];
  std::uint8_t u264[7];
  PosData::TwoDataType tv271;
  PosData::OneDataType ov297;
  PosData::TwoDataType tv315;
  std::uint32_t ul341;
  PosData::OneDataType ov345;
  std::uint32_t ul363;
  PosData::OneDataType ov367[42];
  std::uint32_t ul1123[18];
  std::uint8_t uFlag1195;
  std::uint32_t ul1196[7];
  PosData::AccuracyBlock acc1224[2];
  PosData::CovarianceBlock cov1274[2];
  std::uint32_t ul1356[4];
  std::uint16_t u1372;
  std::uint8_t u1374, uFlag1375;
  std::uint32_t ul1376[8];
  std::uint16_t u1408;
  std::uint8_t uFlag1410;
  std::uint32_t ul1411[10];
  std::uint8_t u1451, uFlag1452;
};

// One channel's satellite entry of the epoch.
struct EpochChanEntryType {
  static constexpr std::uint8_t kStateEmpty = 4;
  static constexpr std::uint16_t kNumberEmpty = 65535;
  ChanData* pChan;        // the channel's record in Cdat
  std::uint8_t uChannel;  // 0..181
  std::uint8_t uSatState;  // 4: empty or not to be processed
  std::uint16_t uNumber;   // 65535: empty
  // From the satellite-data record.
  std::uint8_t uSatByte[4];  // system, satellite number, track code, spare
  std::uint8_t uState;       // as the board sent it (22: kind 4)
  std::uint8_t uSatByte6;
  float fSatValue;
  // From the channel-state record.
  std::uint8_t bInUse;
  std::uint8_t uCs2;
  std::uint16_t uCs3;
  std::uint8_t uCs5;
  std::uint32_t ulCs6;
  std::uint16_t uCs10, uCs12;
};

// One signal's raw measurement words.
struct BoardSigMeasType {
  std::uint8_t bPresent;
  std::uint8_t uSlotByte;  // as sent (the low 7 bits are the slot)
  std::uint8_t uExtra;     // words present in ulExtra (bit 0 flags bit 2, bit 1 flags bit 3)
  std::uint32_t ulFlags;
  std::uint32_t ulA[2];
  std::uint32_t ulM[8];
  std::uint32_t ulExtra[2];
  double dFreq;  // rated carrier frequency, Hz (1.0 for an unknown system)
};

// The "Rm" block: satellites of the reference network solution.
struct RmDataType {
  static constexpr int kMaxSats = 64;
  std::uint8_t bReceived;
  std::uint8_t u0, u1, u3;
  float f4, f8;
  std::uint8_t uCount;
  std::uint16_t uSat[kMaxSats];  // global satellite indexes
};

// The "Ri" reference block.
struct RiDataType {
  std::uint8_t bReceived;
  float fValue[4];
  std::uint16_t uWord;
};

inline constexpr int kBoardChannels = 182;
inline constexpr int kBoardSlots = 6;

struct BoardEpochPart {
  std::uint8_t bSolAln;  // the standalone solution arrived this epoch
  BoardSolAlnType solAln;
  std::uint16_t uMeasCount;  // signals stored this epoch
  EpochChanEntryType chan[kBoardChannels];
  BoardSigMeasType sig[kBoardChannels][kBoardSlots];
  RmDataType rm;
  RiDataType ri;
};
