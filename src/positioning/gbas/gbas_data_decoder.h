// GBAS message decoder: the pseudorange corrections (type 1), GBAS-related data with additional
// data block 1 (type 2) and final approach segment data (type 4) of one ground station, published
// into that decoder's GBAS servers. Two decoders serve at most two stations at a time.
#pragma once

#include <cstdint>

#include "positioning/data_servers/pos_data_types.h"

class PVTDataType;
class GbasDiffCorrectionServerType;
class GbasStationDataServerType;
class GbasStationAddBlockDataServerType;
class GbasFASDataServerType;
class GbasSourceStateDataServerType;

class GbasDataDecoder {
 public:
  static constexpr int kMaxMeasBlocks = 18;  // the most a type 1 message can hold
  static constexpr int kMaxFasBlocks = 5;
  static constexpr std::uint8_t kDo246BlockId = 170;
  static constexpr std::uint8_t kDo217BlockId = 153;

  GbasDataDecoder();
  GbasDataDecoder(const GbasDataDecoder&) = delete;
  GbasDataDecoder& operator=(const GbasDataDecoder&) = delete;

  // Binds the decoder's servers in `store` by its number.
  void init_Object(PVTDataType* store);
  // One message of `count` bytes (header to CRC, as received) from the station; 0 when the
  // receiver's GPS time is not valid (nothing is published), else 1.
  int update(const PosData::RcvTimeDataType& t, std::uint32_t gbasId, std::uint8_t blockId,
             const std::uint8_t* msg, int count);

  bool hasGbasId() const { return bHasId_ != 0; }
  std::uint32_t gbasId() const { return ulGbasId_; }
  std::uint8_t blockId() const { return uBlockId_; }
  bool hasType1() const { return bType1_ != 0; }
  std::uint32_t lastType1Time() const { return ulType1Time_; }
  int number() const { return number_; }

  // Decoders built so far.
  static int uNumberOfGbasSet;

 private:
  struct MeasBlock {
    std::uint8_t id, iod, sigma, spare;
    std::int16_t prc, rrc;
    std::int8_t b[4];
  };
  struct Type1Block {
    std::uint8_t bNew;
    std::uint8_t uMeasType, uEphDecorr, uSad;
    std::uint16_t uEphCrc;
    int count;
    std::uint32_t ulCorrTime;  // GPS ms of week
    MeasBlock meas[kMaxMeasBlocks];
  };
  struct Type2Block {
    std::uint8_t bNew, bAddBlock;
    std::uint8_t receivers, accuracy, continuity, sigmaVert, scaleHeight, sigmaN;
    std::int8_t refractivity;
    std::int16_t magVar;
    std::int32_t lat, lon, height;
    std::uint8_t add[6];
  };
  struct FasBlock {
    std::uint8_t opType, provider, runway, letter, apd, route, selector, tchUnits;
    std::uint8_t airport[4], pathId[4];
    std::int32_t lat, lon, dLat, dLon;
    std::uint16_t height, tch, gpa;
    std::uint8_t width, dLength, val, lal;
  };
  struct Type4Block {
    std::uint8_t bNew;
    int count;
    FasBlock fas[kMaxFasBlocks];
  };

  void decodeType1(const std::uint8_t* msg, int len, std::uint32_t gpsMs);
  void decodeType2(const std::uint8_t* msg, int len);
  void decodeType4(const std::uint8_t* msg, int len);
  void publishType1(std::uint32_t gpsMs);
  void publishType2(std::uint32_t gpsMs);
  void publishType4(std::uint32_t gpsMs);
  void publishSourceState();

  int number_;
  PosData::RcvTimeDataType rcvTime_{};
  std::uint8_t bHasId_ = 0;
  std::uint8_t uBlockId_ = 0;
  std::uint8_t bType1_ = 0;
  std::uint32_t ulGbasId_ = 0;
  std::uint32_t ulType1Time_ = 0;
  Type1Block type1_{};
  Type2Block type2_{};
  Type4Block type4_{};

  GbasDiffCorrectionServerType* pDiff_ = nullptr;
  GbasStationDataServerType* pStation_ = nullptr;
  GbasStationAddBlockDataServerType* pAdd_ = nullptr;
  GbasFASDataServerType* pFas_ = nullptr;
  GbasSourceStateDataServerType* pState_ = nullptr;
};

extern GbasDataDecoder GbasDataDecoderInstance[2];

// The decoder of a station: the one whose identifiers both match; else the first without a
// station; else the one whose last type 1 message is older (the first on a tie).
GbasDataDecoder* get_GbasDataDecoder(const PosData::RcvTimeDataType& t, std::uint8_t blockId, std::uint32_t gbasId);

// The GPS time of week (ms) of a modified Z-count (100 ms units within the 20-minute period)
// near the receiver's GPS time of week `rcvMs`: within +-10 minutes of it.
std::uint32_t gbasZCountTime(std::uint32_t zCount, std::uint32_t rcvMs);
