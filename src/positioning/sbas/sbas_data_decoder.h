// SBAS L1 message decoder (RTCA DO-229D): one decoder per SBAS source, twelve in a pool. It
// decodes the PRN masks (MT1), the fast corrections (MT2-5, MT0 used as MT2, the fast half of
// MT24), the UDREs (MT6), the fast-correction degradation factors (MT7), the long-term
// corrections (MT24, MT25) and their covariance (MT28), the ionospheric grid (MT18 masks, MT26
// delays), the degradation parameters (MT10) and the service regions (MT27); it derives the
// range-rate corrections, follows the test mode (MT0) and publishes per-satellite corrections,
// the grid, the regions and the source's state to the data servers. GEO navigation (MT9),
// almanacs (MT17) and network time (MT12) go to the satellite store. The PRN masks are kept in
// the settings image so that fast corrections apply at once after a restart.
#pragma once

#include <cstddef>
#include <cstdint>

#include "navigation_data/sv_id.h"
#include "platform/rtos.h"
#include "positioning/data_servers/pos_data_types.h"
#include "positioning/data_servers/sbas_data_types.h"

class PVTDataType;
class SatelliteDataProcessor;

class SbasDataDecoder {
 public:
  static constexpr int kPoolSize = SBASData::kSbasSources;
  static constexpr int kSlots = 51;          // PRN mask slots
  static constexpr int kMaskWords = 7;       // 210 mask bits
  static constexpr int kFastBlocks = 4;      // MT2..MT5
  static constexpr int kStackDepth = 4;      // earlier fast corrections per slot
  static constexpr int kStoredMasks = 29;    // settings blocks, one per SBAS index and SISNeT
  static constexpr std::uint16_t kFirstMaskBlockId = 256;
  static constexpr std::uint32_t kMaskBlockSize = 72;
  static constexpr int kReceptionDelayMs = 1130;
  static constexpr int kTestModeHoldMs = 60000;
  static constexpr std::uint8_t kNone = 255;
  // Where the correction-processor setup keeps the not-safety-of-life switch (u8).
  static constexpr std::size_t kSetupNotSafetyOfLifeOffset = 108;
  static constexpr int kIgpBands = SBASData::kIonoBands;
  static constexpr int kIgpPoints = SBASData::kIonoBandPoints;
  static constexpr int kDelayBlocks = 14;      // MT26 block ids 0..13
  static constexpr int kDelaysPerBlock = SBASData::kIonoPointsPerBlock;
  static constexpr int kServiceMessages = 8;   // MT27 message numbers 0..7
  static constexpr int kRegionsPerMessage = 5;
  static constexpr int kAlmanacEntries = 3;
  static constexpr int kLastNavSource = 27;    // MT9 from SBAS source indexes 0..27 only
  // A GEO's state: within this distance of this radius from the Earth's centre (m).
  static constexpr double kGeoRadius = 42150e3;
  static constexpr double kGeoRadiusTol = 10000e3;

  struct PrnMaskType {
    std::uint8_t bNew;
    std::uint8_t uIodp;
    std::uint8_t uSlots;
    std::uint8_t uSpare;
    std::int32_t lTime;  // ms of week, -1 none
    std::uint32_t ulWord[kMaskWords];
    SvIdType slot[kSlots];
    std::uint32_t ulSatSet[SYS_NUM];
  };
  struct IodpEntryType {
    std::uint8_t uIodp;  // 255 none
    std::uint8_t uMask;  // mask buffer it names
    std::int32_t lTime;
  };
  struct FastCorrDataType {
    std::uint8_t bNew;
    std::uint8_t uIodf;
    std::uint8_t uIodp;
    std::uint16_t uFresh;  // corrections not yet published, bit per correction
    std::int32_t lTime;
    std::int16_t iPrc[13];  // 0.125 m
    std::uint8_t uUdrei[13];
  };
  struct UDREDataType {
    std::uint8_t bNew;
    std::uint8_t uIodf;
    std::int32_t lTime;
    std::uint8_t uUdrei[13];
  };
  struct FastCorrDegradDataType {
    std::uint8_t bNew;
    std::uint8_t uLatency;
    std::uint8_t uIodp;
    std::int32_t lTime;
    std::uint8_t uAi[kSlots];
  };
  struct PRCStackForRRC {
    std::uint8_t uCount;
    struct {
      std::int32_t lTime;
      float fPrc;
      std::uint8_t uIodf;
    } e[kStackDepth];
  };
  struct IodiEntryType {
    std::uint8_t uIodi;  // 255 none
    std::uint8_t uSet;   // IGP mask set it names (only set 0 is kept)
    std::int32_t lTime;
  };
  // One band's IGP mask (MT18) with the bit number of each of its grid points in mask order.
  struct IgpMaskType {
    std::uint8_t bNew;
    std::uint8_t uBand;
    std::uint8_t uIodi;
    std::uint8_t uCount;  // set bits
    std::int32_t lTime;   // -1 none
    std::uint32_t ulWord[kMaskWords];
    std::uint8_t uBit[kIgpPoints];
  };
  // Long-term correction of one PRN mask slot (MT24, MT25), raw DO-229 units.
  struct LongTermCorrDataType {
    std::uint8_t bNew;
    std::uint8_t uVelocityCode;
    std::uint8_t uIodp;
    std::uint8_t uIode;
    std::int32_t lTime;
    std::int16_t iDx, iDy, iDz;     // 0.125 m
    std::int16_t iDaf0;             // 2^-31 s
    std::int16_t iDdx, iDdy, iDdz;  // 2^-11 m/s
    std::int16_t iDaf1;             // 2^-39 s/s
    std::uint16_t uT0;              // 16 s
  };
  // Clock-ephemeris covariance of one PRN mask slot (MT28).
  struct EphClockCovMatrixDataType {
    std::uint8_t bNew;
    std::uint8_t uIodp;
    std::uint8_t uScaleExp;
    std::int32_t lTime;
    std::int16_t iE[10];  // E11 E12 E13 E14 E22 E23 E24 E33 E34 E44
  };
  // One MT26 block: 15 grid points of a band in mask order.
  struct IonoDelayDataType {
    std::uint8_t bNew;
    std::uint8_t uBand;
    std::uint8_t uIodi;
    std::int32_t lTime;
    std::uint16_t uDelay[kDelaysPerBlock];  // 0.125 m
    std::uint8_t uGivei[kDelaysPerBlock];
  };
  // GEO navigation (MT9), raw.
  struct EphemerisDataType {
    std::uint8_t bNew;
    std::uint8_t uIodn;
    std::uint8_t uUra;
    std::int32_t lTime;
    std::uint16_t uT0;  // 16 s
    std::int32_t lPos[3];
    std::int32_t lVel[3];
    std::int16_t iAcc[3];
    std::int16_t iAf0;
    std::int8_t iAf1;
  };
  // Network time (MT12), raw.
  struct NetworkTimeDataType {
    std::uint8_t bNew;
    std::int32_t lTime;
    std::int32_t lA1;  // 2^-50 s/s
    std::int32_t lA0;  // 2^-30 s
    std::uint8_t uTot;  // 4096 s
    std::uint8_t uWnt;
    std::int8_t iDtLs;
    std::uint8_t uWnLsf;
    std::uint8_t uDn;
    std::int8_t iDtLsf;
    std::uint8_t uUtcStandard;
    std::uint32_t ulGpsTow;
    std::uint16_t uGpsWeek;
  };
  // Degradation parameters (MT10), raw, in message order.
  struct DegradParamDataType {
    enum Field { kBrrc, kCltcLsb, kCltcV1, kIltcV1, kCltcV0, kIltcV0, kCgeoLsb, kCgeoV, kIgeo, kCer, kCionoStep,
                 kIiono, kCionoRamp, kRssUdre, kRssIono, kCcovariance, kFields };
    std::uint8_t bNew;
    std::int32_t lTime;
    std::uint16_t uField[kFields];
  };
  // One GEO almanac entry (MT17), raw.
  struct AlmanacDataType {
    std::uint8_t bNew;
    std::uint8_t uDataId;
    std::uint8_t uPrn;
    std::uint8_t uHealth;
    std::int32_t lTime;
    std::int16_t iPos[3];
    std::int8_t iVel[3];
    std::uint16_t uT0;  // 64 s
  };
  // One service message (MT27).
  struct ServiceMessageDataType {
    std::uint8_t bNew;
    std::uint8_t uIods;
    std::uint8_t uMessages;  // of the set, 1..8
    std::uint8_t uNumber;    // 0..7
    std::uint8_t uRegions;
    std::uint8_t uPriority;
    std::uint8_t uDeltaUdreIn;
    std::uint8_t uDeltaUdreOut;
    std::int32_t lTime;  // -1 none
    struct {
      std::int8_t iLat1, iLat2;
      std::int16_t iLon1, iLon2;
      std::uint8_t uShape;
    } region[kRegionsPerMessage];
  };
  // What the network time message gives the satellite store: the GPS-layout UTC bytes first,
  // then the SBAS part.
  struct SbasUtcRecordType {
    std::uint32_t tot;  // s
    float A1;           // s/s
    double A0;          // s
    std::uint16_t WNt;
    std::uint16_t WN_LSF;
    std::uint8_t DN;
    std::int8_t dtLS;
    std::int8_t dtLSF;
    std::uint8_t uUtcStandard;
    std::uint32_t ulGpsTow;  // s
    std::uint16_t uGpsWeek;  // 10 bits as broadcast
    std::uint8_t uSpare[9];
    std::uint8_t cs;
  };
  static_assert(sizeof(SbasUtcRecordType) == 40 && offsetof(SbasUtcRecordType, A0) == 8);
  static_assert(offsetof(SbasUtcRecordType, dtLSF) == 22 && offsetof(SbasUtcRecordType, ulGpsTow) == 24);
  static_assert(offsetof(SbasUtcRecordType, uGpsWeek) == 28 && offsetof(SbasUtcRecordType, cs) == 39);
  // One stored mask buffer in its settings block (36 bytes, two per block).
  struct OneStoredPrnMaskType {
    std::uint8_t uIodp;   // 255 none
    std::uint8_t uSpare;
    std::uint16_t uWeek;  // GPS week of the time tag, 0 unknown
    std::uint32_t ulTime; // ms of week
    std::uint32_t ulWord[kMaskWords];
  };
  static_assert(sizeof(OneStoredPrnMaskType) == 36);

  SbasDataDecoder();

  void init_Object(PVTDataType* store, SatelliteDataProcessor* satData);
  // Decodes one 32-byte message; 0 when the receiver time is not valid or the message was dropped.
  int update(const PosData::RcvTimeDataType& t, const SvIdType& source, const std::uint8_t* msg);
  void reset_StoredSbasData();
  const SvIdType& source() const { return source_; }
  int instance() const { return iInstance_; }
  bool in_TestMode() const { return bTestMode_; }
  const PrnMaskType& mask(int i) const { return mask_[i & 1]; }
  const IodpEntryType& iodpEntry(int i) const { return iodp_[i & 1]; }
  std::int32_t lastUpdate() const { return lLastUpdate_; }
  const IodiEntryType& iodiEntry() const { return iodi_; }
  const IgpMaskType& igpMask(int band) const { return igp_[(band >= 0 && band < kIgpBands) ? band : 0]; }
  int regionHalf() const { return uRegionHalf_; }
  int currentIods() const { return uIods_; }

  // The IODP of entry i while younger than the PRN-mask time-out; an older entry is emptied.
  int get_IODx(int i);

  static void allocate_NvRamData();
  static void update_SetupData();
  static inline std::uint8_t bNotSafetyForLifeMode = 1;
  static inline int iApproachMode = 0;
  static Mutex poolMutex;  // serialises the pool's selection and update between tasks

 private:
  void reset_Data(bool keepMasks);
  void check_TestMode(int type, const std::uint8_t* msg, bool& reset);
  void check_ResetOfData(bool reset, bool sourceChanged);
  void decode_PrnMask(const std::uint8_t* msg);
  void decode_FastCorr(const std::uint8_t* msg, int block, int first, int count, int iodfPos, int iodpPos,
                       int prcPos, int udreiPos);
  void decode_UDRE(const std::uint8_t* msg);
  void decode_Degradation(const std::uint8_t* msg);
  void process_PrnMask(int i);
  void process_FastCorr();
  void process_UDRE();
  void process_Degradation();
  // Long-term corrections and covariance (sbas_data_decoder_lt.cpp).
  bool decode_LongTermHalf(const std::uint8_t* msg, int pos);
  void decode_Covariance(const std::uint8_t* msg);
  void process_LongTermCorr();
  void process_Covariance();
  bool glonass_LongTermIod(const SvIdType& slotSv, SvIdType& sv, std::uint8_t& iod) const;
  void publish_LongTerm(const SvIdType& sv, const SBASData::LongCorrBlock& b, std::int32_t time);
  // Ionospheric grid and service regions (sbas_data_decoder_iono.cpp).
  void decode_IgpMask(const std::uint8_t* msg);
  bool decode_IonoDelay(const std::uint8_t* msg);
  bool decode_ServiceMessage(const std::uint8_t* msg);
  void process_IgpMask(int band);
  void process_IonoDelay();
  void process_ServiceMessage();
  void init_RegionHalf(int half);
  bool live_Iodi();
  // GEO navigation, almanacs, network time, degradation parameters (sbas_data_decoder_geo.cpp).
  void decode_GeoNavigation(const std::uint8_t* msg);
  void decode_DegradParam(const std::uint8_t* msg);
  void decode_NetworkTime(const std::uint8_t* msg);
  void decode_Almanac(const std::uint8_t* msg);
  void process_DegradParam();
  void process_NetworkTime();
  void process_GeoNavigation();
  void process_Almanac();
  void age_Items();
  void update_SourceStateData(bool stamp);
  void compute_RangeRate(int slot, SBASData::SatCorrectionType& r, float prc, std::uint8_t iodf);
  void recompute_RangeRate(int slot, SBASData::SatCorrectionType& r);
  bool take_Sat(const SvIdType& sv, SBASData::SatCorrectionType& r);
  void put_Sat(const SvIdType& sv, const SBASData::SatCorrectionType& r);
  void store_Masks();
  void restore_NvRamPrnMask(int nowMs, int week);
  bool live(int entry, const PrnMaskType*& m);
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
  PrnMaskType mask_[2];
  IodpEntryType iodp_[2];
  FastCorrDataType fast_[kFastBlocks];
  UDREDataType udre_[kFastBlocks];
  FastCorrDegradDataType degr_;
  PRCStackForRRC stack_[kSlots];
  IodiEntryType iodi_;
  IgpMaskType igp_[kIgpBands];
  LongTermCorrDataType lt_[kSlots];
  EphClockCovMatrixDataType cov_[kSlots];
  IonoDelayDataType delay_[kDelayBlocks];
  EphemerisDataType geo_;
  NetworkTimeDataType net_;
  DegradParamDataType mt10_;
  AlmanacDataType alm_[kAlmanacEntries];
  ServiceMessageDataType svc_[kServiceMessages];
  std::uint8_t uIods_ = kNone;  // current IODS
  std::uint8_t uRegionHalf_ = 0;
  std::uint8_t uStateFlags_ = 0;
  std::uint32_t uGeoCheck_ = 0;  // check value of the last MT9's data bits  // band 9/10, covariance, service flags of the source state
};

extern SbasDataDecoder SbasDataDecoderInstance[SbasDataDecoder::kPoolSize];

// The decoder bound to this source, else a free one, else the one whose last update is oldest.
SbasDataDecoder* get_SbasDataDecoder(const PosData::RcvTimeDataType& t, const SvIdType& source);
