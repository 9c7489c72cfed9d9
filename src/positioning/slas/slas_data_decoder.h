// QZSS L1S sub-metre augmentation decoder (IS-QZSS-L1S, message types 47 to 51 in 250-bit
// SBAS-format messages): monitoring-station information (MT47), PRN masks (MT48), issues of data
// (MT49) and per-station code corrections (MT50). The messages of every QZSS source go into one
// store shared by the three decoders of the pool; after each message the stations are ranked by
// distance from the receiver and the corrections of the nearest one are published into one of
// three station slots of the SLAS data servers, where the SLAS correction generator reads them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "navigation_data/sv_id.h"
#include "positioning/data_servers/pos_data_types.h"
#include "positioning/data_servers/slas_data_types.h"

class PVTDataType;

namespace SlasDecUtility {
// Up to 32 bits at data position `pos` (1 = message bit 15), sign-extended when isSigned; 0 for
// a width outside 1..32 or a field reaching past the 212 data bits into the CRC.
std::int32_t extract_DataField(const std::uint8_t* msg, int pos, int nBits, bool isSigned);
}  // namespace SlasDecUtility

class SlasDataDecoder {
 public:
  static constexpr int kPoolSize = 3;
  static constexpr int kStations = 15;   // station codes 0..14
  static constexpr int kMasks = 4;       // mask numbers 0..3
  static constexpr int kIodSets = 4;     // issue-of-data sets 0..3
  static constexpr int kSlots = 23;      // satellites a mask names
  static constexpr int kMaxMt50Corrections = 14;  // 12-bit values from bit 35 within 212 data bits
  static constexpr int kReceptionDelayMs = 1130;
  static constexpr std::uint8_t kNoRank = 255;
  // Where the correction-processor setup keeps the decoder's settings.
  static constexpr std::size_t kSetupStationHealthOffset = 60;  // u8: 1 publishes healthy stations only
  static constexpr std::size_t kSetupUsableSourceOffset = 64;   // u32: bit per QZSS satellite index

  struct StationEntryType {
    SLASData::TimeTag ulTime;
    std::uint32_t ulDistance;  // m, whole metres
    std::int16_t iLat;         // 0.005 deg
    std::int16_t iLon;         // 0.005 deg east of 115 deg
    std::uint8_t uHeight;      // 50 m above -100 m
    std::uint8_t uCode;
    std::uint8_t bValid;
    double dPos[3];            // m, Earth-centred
  };
  struct PrnMaskType {
    SvIdType slot[kSlots];
    std::uint8_t uSlots;
    std::uint8_t bValid;
    SLASData::TimeTag ulTime;
  };
  struct IodSetType {
    std::uint8_t uIod[kSlots];
    std::uint32_t ulSlotSet;  // bit k: slot k
    std::uint8_t uMask;
    std::uint8_t bValid;
    SLASData::TimeTag ulTime;
  };
  struct CorrBlockType {
    std::int16_t iCorr[kSlots];  // 0.04 m
    std::uint32_t ulSlotSet;     // bit k: slot k holds a correction not yet published
    std::uint8_t uMask;
    std::uint8_t uCode;
    std::uint8_t uPending;       // corrections not yet published
    std::uint8_t bHealthy;
    std::uint8_t bValid;
    SLASData::TimeTag ulTime;
  };

  SlasDataDecoder();

  void init_Object(PVTDataType* store);
  // One message of `type` (its 32 bytes) from `source` with the receiver time and position; 0 when
  // the source is not usable or the receiver has no QZSS time, else 1.
  int update(const PosData::RcvTimeDataType& t, const PosData::PositionDataType& pos, const SvIdType& source,
             int type, const std::uint8_t* msg);
  // With reset: the published data cleared and the station order emptied. Always: every store
  // entry older than its time-out dropped.
  void check_ResetOfData(bool reset);
  void reset_StoredSlasData();

  const SvIdType& source() const { return source_; }
  std::uint32_t lastUse() const { return ulLastUse_; }
  int instance() const { return iInstance_; }

  static void update_SetupData();
  // Empties the message store and the station order (start-up and tests).
  static void clear_Store();

  static inline std::uint8_t bCheckSlasStationHealth = 0;
  static inline std::uint32_t bsUsableSlasSource = 0x7F;

  static StationEntryType StationData[kStations];
  static PrnMaskType PrnMaskData[kMasks];
  static IodSetType IodData[kIodSets];
  static CorrBlockType CorrData[kIodSets][kStations];
  static std::uint8_t uStationPriority[kStations];     // rank of each station, kNoRank none
  static std::uint8_t uSortedStationCode[kStations];   // station by rank
  static int iSortedStationNum;

 private:
  void decode_StationInfo(const std::uint8_t* msg);
  void decode_PrnMask(const std::uint8_t* msg);
  void decode_Iod(const std::uint8_t* msg);
  void decode_Corrections(const std::uint8_t* msg);
  void process_StationData();
  void process_CorrData();
  void publish_Block(int set, int code);

  PVTDataType* store_ = nullptr;
  int iInstance_;
  SvIdType source_ = EmptySvId;
  PosData::RcvTimeDataType time_{};
  PosData::PositionDataType pos_{};
  std::int32_t lTag_ = 0;  // message time tag, QZSS ms of week
  std::uint32_t ulLastUse_ = 0;
  SLASData::StationDataType station_;
  SLASData::SatCorrectionType corr_;
};

extern SlasDataDecoder SlasDataDecoderInstance[SlasDataDecoder::kPoolSize];

// The decoder bound to the source, else the first free one, else the one used least recently.
SlasDataDecoder* get_SlasDataDecoder(const PosData::RcvTimeDataType& t, const SvIdType& source);

// The road from the SBAS L1 decoders: SBAS decoder `sbasDecoder` hands on a QZSS message of type
// 43, 44 or 47 to 51 (the setup refreshed, the decoder of the source chosen); the SLAS decoder
// it used is remembered so that its reset can follow the SBAS decoder's change of source.
int SlasDataDecoder_handOn(int sbasDecoder, const PosData::RcvTimeDataType& t, const PosData::PositionDataType& pos,
                           const SvIdType& source, int type, const std::uint8_t* msg);
// SBAS decoder `sbasDecoder` took another source: the SLAS decoder it last used resets the store.
void SlasDataDecoder_resetFor(int sbasDecoder);
