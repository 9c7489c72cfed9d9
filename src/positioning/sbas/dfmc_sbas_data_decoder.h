// Dual-frequency multi-constellation SBAS message decoder (L5, EUROCAE ED-259 message types 31
// to 37) for SBAS satellites and for QZSS L5S, whose 8-bit preamble and 2-bit code stand where
// the SBAS preamble and type are. One decoder per source, eleven in a pool: it keeps the four
// PRN masks by IODM, publishes per-satellite clock-ephemeris corrections with their covariance
// and DFREI, applies the DFREI changes of MT34, keeps the MT37 degradation parameters, and the
// state of its source. The masks are kept in the settings image, one block per SBAS satellite.
#pragma once

#include <cstdint>

#include "navigation_data/sv_id.h"
#include "positioning/data_servers/pos_data_types.h"
#include "positioning/data_servers/sbas_data_types.h"

class PVTDataType;
class SatelliteDataProcessor;

class DFMC_SbasDecUtility {
 public:
  static int extract_DFMCMessageType(const std::uint8_t* msg);      // bits 5 to 10
  static int extract_DFMCQzssPreamble(const std::uint8_t* msg);     // byte 0
  static int extract_DFMCQzssMessageType(const std::uint8_t* msg);  // bits 9 and 10
  // Message type by the 2-bit code, one table per QZSS L5S preamble.
  static const int iQzss2SbasMessage_x53[4];
  static const int iQzss2SbasMessage_x9A[4];
  static const int iQzss2SbasMessage_xC6[4];
  // The type a QZSS L5S message carries; -1 for a preamble of none of the tables.
  static int qzssMessageType(const std::uint8_t* msg);
  // Up to 32 bits at data position `pos` (1 = message bit 11), sign-extended when asked.
  static std::int32_t field(const std::uint8_t* msg, int pos, int nBits, bool isSigned = false);
};

class DFMC_SbasDataDecoder {
 public:
  struct AbstractDataType {
    // Data positions of the L5 messages against those of the L1 messages.
    static constexpr int dataOffset = -4;
  };

  static constexpr int kPoolSize = SBASData::kDfmcSources;
  static constexpr int kSlots = 92;        // mask slots
  static constexpr int kMaskBits = 214;
  static constexpr int kMaskWords = 7;     // the last word holds 22 bits at its top
  static constexpr int kMasks = 4;         // by IODM
  static constexpr int kDfreis = 7;        // DFREIs of an MT34
  static constexpr int kMt35Slots = 53;    // slots of MT35; MT36 holds the rest
  static constexpr int kStoredMasks = 28;  // settings blocks, one per SBAS satellite index
  static constexpr std::uint16_t kFirstMaskBlockId = 1280;
  static constexpr std::uint32_t kMaskBlockSize = 144;
  static constexpr int kReceptionDelayMs = 1130;
  static constexpr int kTestModeHoldMs = 60000;
  static constexpr std::uint8_t kNone = 255;
  // MT31, MT34, MT35 and MT36 end their data with the IODM (ED-259A: in MT34 and MT35 after two
  // reserved bits, in MT36 after the spare bits), the last two bits before the parity.
  static constexpr int kIodmPos = 215;

  struct PrnMaskType {
    std::uint8_t bNew;
    std::uint8_t uIodm;
    std::uint8_t uSlots;
    std::uint8_t uSpare;
    std::int32_t lTime;  // ms of week, -1 none
    std::uint32_t ulWord[kMaskWords];
    SvIdType slot[kSlots];
    std::uint64_t ullSatSet[SYS_NUM];
  };
  // One stored mask in its settings block (36 bytes, four per block, place = IODM).
  struct OneStoredPrnMaskType {
    std::uint8_t uIodm;   // 255 none
    std::uint8_t uSpare;
    std::uint16_t uWeek;  // GPS week of the time tag, 0 unknown
    std::uint32_t ulTime; // ms of week
    std::uint32_t ulWord[kMaskWords];
  };
  static_assert(sizeof(OneStoredPrnMaskType) == 36);
  static_assert(kMasks * sizeof(OneStoredPrnMaskType) == kMaskBlockSize);

  struct DfreChangeType {  // MT34
    std::uint8_t bNew;
    std::uint8_t uIodm;
    std::int32_t lTime;
    std::uint8_t uDfrei[kDfreis];
    std::uint8_t uDfreci[kSlots];
  };
  struct DfreType {  // MT35 and MT36, kept as received
    std::uint8_t bNew;
    std::uint8_t uIodm;
    std::uint8_t bMessage[2];  // MT35, MT36 held
    std::int32_t lTime;
    std::uint8_t uDfrei[kSlots];
  };
  struct CorrCovType {  // MT32, raw
    std::uint8_t bNew;
    std::uint8_t uSlot;
    std::uint16_t uIodn;
    std::int32_t lTime;
    std::int32_t iDx, iDy, iDz, iDb;
    std::int16_t iDdx, iDdy, iDdz, iDdb;
    std::uint16_t uT0;
    std::uint8_t uScaleExp;
    std::uint8_t uDfrei;
    std::uint8_t uRcorr;
    std::uint16_t uE[4];  // E11 E22 E33 E44
    std::int16_t iE[6];   // E12 E13 E14 E23 E24 E34
  };
  struct DegradType {  // MT37, raw
    std::uint8_t bNew;
    std::int32_t lTime;
    std::uint8_t uIvalid32, uIvalid3940, uCer, uCcovariance;
    std::uint8_t uIcorr[6], uCcorr[6], uRcorr[6];
    std::uint8_t uDfre[SBASData::DFMC_DegradationDataType::kDfreEntries];
  };

  DFMC_SbasDataDecoder();

  void init_Object(PVTDataType* store, SatelliteDataProcessor* satData);
  // Decodes one 32-byte message; 0 when the receiver time is not valid.
  int update(const PosData::RcvTimeDataType& t, const SvIdType& source, const std::uint8_t* msg);
  const SvIdType& source() const { return source_; }
  int instance() const { return iInstance_; }
  bool in_TestMode() const { return bTestMode_; }
  std::int32_t lastUpdate() const { return lLastUpdate_; }
  const PrnMaskType& mask(int iodm) const { return mask_[iodm & 3]; }
  const DfreChangeType& dfreChange() const { return dfreChg_; }
  const DfreType& dfre() const { return dfre_; }
  const CorrCovType& corrCov() const { return corr_; }

  static void allocate_NvRamData();

 private:
  void reset_Data();
  void reset_StoredData();
  void check_TestMode(int type);
  void check_ResetOfData(bool reset);
  void decode_PrnMask(const std::uint8_t* msg);
  void decode_CorrCov(const std::uint8_t* msg);
  void decode_DfreChange(const std::uint8_t* msg);
  void decode_Dfre(const std::uint8_t* msg, int which);
  void decode_Degradation(const std::uint8_t* msg);
  void process_PrnMask(int iodm);
  void process_DfreChange();
  void process_CorrCov();
  void process_Degradation();
  void update_SourceStateData(bool stamp);
  bool take_Sat(const SvIdType& sv, SBASData::DFMC_SatCorrectionType& r);
  void put_Sat(const SvIdType& sv, const SBASData::DFMC_SatCorrectionType& r);
  void store_Masks();
  void restore_NvRamPrnMask(int week);
  bool live(int iodm) const;
  double ageS(std::int32_t time) const;

  PVTDataType* store_ = nullptr;
  SatelliteDataProcessor* satData_ = nullptr;
  int iInstance_;
  SvIdType source_;
  PosData::RcvTimeDataType time_{};
  std::int32_t lTag_ = 0;  // message time tag, ms of week
  std::int32_t lLastUpdate_ = -1;
  std::int32_t lLastTestMsg_ = -1;
  bool bTestMode_ = false;
  PrnMaskType mask_[kMasks];
  DfreChangeType dfreChg_;
  DfreType dfre_;
  CorrCovType corr_;
  DegradType degr_;
};

extern DFMC_SbasDataDecoder DFMC_SbasDataDecoderInstance[DFMC_SbasDataDecoder::kPoolSize];

// The decoder bound to this source, else a free one, else the one whose last update is oldest.
DFMC_SbasDataDecoder* getDFMC_SbasDataDecoder(const PosData::RcvTimeDataType& t, const SvIdType& source);
