// GPS and QZSS CNAV decoder (L2C and L5, IS-GPS-200 section 30): one object per tracked
// satellite turns 300-bit messages into the LNAV-shaped ephemeris record (data type 1 of the
// store), clock and ephemeris differential corrections and GPS-to-GNSS time offsets.
//
// A message arrives in ten 32-bit words, message bit 1 at the MSB of the first word.
#pragma once

#include <cstdint>

#include "navigation_data/decoders/gps_cnav_common.h"

class GpsCNavDataDecoderType {
 public:
  static constexpr int kPoolSize = 24;
  static constexpr int kMessageWords = 10;

  static GpsCNavDataDecoderType* pDecoderPointer[kPoolSize];
  static std::uint8_t uNumOfSource;

  GpsCNavDataDecoderType();
  GpsCNavDataDecoderType(const GpsCNavDataDecoderType&) = delete;
  GpsCNavDataDecoderType& operator=(const GpsCNavDataDecoderType&) = delete;

  void init_Object(SatelliteDataProcessor* store);

  // One message of `sv` (GPS or QZSS) on signal number `signal`. Units of another system, of an
  // index out of range, shorter than ten words, with a time beyond the week or of an unknown
  // type are dropped.
  void update(const NavDecoderTime& time, SvIdType sv, std::uint8_t signal, const std::uint32_t* words,
              int numWords);
  void reset();

  SvIdType get_SvId() const { return sv_; }
  std::uint32_t get_TimeTag() const { return time_.ulTimeTag; }

 private:
  struct EphBlock {
    CnavEphRaw f;
    bool arrived[4];        // type 10, type 11, clock, group delays
    std::uint16_t toe11;    // toe of type 11
    std::uint32_t tow10;    // s of week from the type-10 TOW count
    std::uint8_t signalMask;
    bool check();           // complete and consistent; clears itself when inconsistent
    void reset();
  };
  struct DcBlock {
    bool cdcArrived, edcArrived;
    bool lastEdc;  // the part that came last
    std::uint16_t cdcTopD, cdcTod, edcTopD, edcTod;
    int nCdc, nEdc;
    CnavCdcPacket cdc[6];
    CnavEdcPacket edc[2];
  };
  struct OffsetBlock {
    bool arrived;
    CnavGgtoRaw g;
  };

  void decodeEph10(const std::uint32_t* w, std::uint32_t tow);
  void decodeEph11(const std::uint32_t* w);
  void decodeClock(const std::uint32_t* w);
  void decodeGroupDelays(const std::uint32_t* w);
  void decodeCdcList(const std::uint32_t* w);
  void decodeEdcList(const std::uint32_t* w);
  void decodeDc34(const std::uint32_t* w);
  void decodeOffset(const std::uint32_t* w);
  void process_EphemerisData();
  void process_DiffCorrectionData();
  void process_SystemTimeOffsetData();

  SatelliteDataProcessor* store_ = nullptr;
  NavDecoderTime time_;
  SvIdType sv_ = EmptySvId;
  EphBlock eph_{};
  DcBlock dc_{};
  OffsetBlock offset_{};
};

GpsCNavDataDecoderType* get_GpsCNavDataDecoder(const NavDecoderTime* time, const SvIdType* sv);

extern GpsCNavDataDecoderType GpsCNavDataDecoderPool[GpsCNavDataDecoderType::kPoolSize];
