// GPS and QZSS CNAV-2 decoder (L1C, IS-GPS-800): one object per tracked satellite turns
// 883-bit frames into the LNAV-shaped ephemeris record (data type 2 of the store), clock and
// ephemeris differential corrections and GPS-to-GNSS time offsets.
//
// A frame arrives as the 9-bit TOI, subframe 2 (600 bits) and subframe 3 (274 bits) back to
// back in 28 32-bit words, frame bit 1 at the MSB of the first word.
#pragma once

#include <cstdint>

#include "navigation_data/decoders/gps_cnav_common.h"

class GpsCNav2DataDecoderType {
 public:
  static constexpr int kPoolSize = 29;
  static constexpr int kFrameWords = 28;

  static GpsCNav2DataDecoderType* pDecoderPointer[kPoolSize];
  static std::uint8_t uNumOfSource;

  GpsCNav2DataDecoderType();
  GpsCNav2DataDecoderType(const GpsCNav2DataDecoderType&) = delete;
  GpsCNav2DataDecoderType& operator=(const GpsCNav2DataDecoderType&) = delete;

  void init_Object(SatelliteDataProcessor* store);

  // One frame of `sv` (GPS or QZSS) on signal number `signal`. Frames of another system, of an
  // index out of range, shorter than 28 words or with a time beyond the week are dropped.
  void update(const NavDecoderTime& time, SvIdType sv, std::uint8_t signal, const std::uint32_t* words,
              int numWords);
  void reset();

  SvIdType get_SvId() const { return sv_; }
  std::uint32_t get_TimeTag() const { return time_.ulTimeTag; }

  // Time of week (s) of a frame: 7200 s per ITOW count and 18 s per TOI count.
  static std::uint32_t frameTimeOfWeek(std::uint32_t itow, std::uint32_t toi) { return 7200 * itow + 18 * toi; }

 private:
  void decodeEphemeris(const std::uint32_t* w);
  void process_EphemerisData(std::uint32_t tow, std::uint8_t signalMask);
  void process_DiffCorrectionData(const std::uint32_t* w);
  void process_SystemTimeOffsetData(const std::uint32_t* w);

  SatelliteDataProcessor* store_ = nullptr;
  NavDecoderTime time_;
  SvIdType sv_ = EmptySvId;
  CnavEphRaw eph_{};
};

GpsCNav2DataDecoderType* get_GpsCNav2DataDecoder(const NavDecoderTime* time, const SvIdType* sv);

extern GpsCNav2DataDecoderType GpsCNav2DataDecoderPool[GpsCNav2DataDecoderType::kPoolSize];
