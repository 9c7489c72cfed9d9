// Decoded SBAS data as the SBAS message decoders publish it and the SBAS correction generators
// read it (RTCA DO-229 message types in the comments): per-satellite corrections, the ionosphere
// grid, MT10 degradation, MT27 service regions and the state of each source, for the L1 service
// and for DFMC. Every part carries a ready bit and a time tag; whether it may still be used is
// judged by its age against class-wide time-outs that follow the setup's SBAS operating mode.
#pragma once

#include <cstddef>
#include <cstdint>

#include "navigation_data/sv_id.h"
#include "positioning/data_servers/data_buffer_server.h"
#include "positioning/data_servers/pos_setup_types.h"

class PVTDataType;

namespace SBASData {

constexpr int kSbasSources = 12;
constexpr int kDfmcSources = 11;
constexpr int kIonoBands = 11;           // band slots 0..10
constexpr int kIonoBandPoints = 201;     // grid points 0..200 of a band
constexpr int kIonoPointsPerBlock = 15;  // grid points per block of the MT26 message
constexpr int kIonoBlocks = (kIonoBandPoints + kIonoPointsPerBlock - 1) / kIonoPointsPerBlock;
constexpr int kRegionServiceEntries = 80;
constexpr int kFastCorrTimeouts = 16;  // by the MT7 a_i index
constexpr std::uint8_t kNoSource = 31;

// Where the correction-processor setup keeps what the time-outs depend on.
// The SBAS operating mode has a word of its own: the word at 0 is the code-differential station
// mode and 344-351 the base offset of the code corrections from base observations, which a
// setting of the mode must not change.
constexpr std::size_t kSetupSbasModeOffset = 48;         // u32: 0 user-defined, 1 precision approach, 2..4
constexpr std::size_t kSetupSbasDataTimeoutOffset = 94;  // u16, s: U
constexpr std::size_t kSetupSbasIonoTimeoutOffset = 96;  // u16, s: I
// Wide-area source screening and smoothing not placed elsewhere in the setup.
constexpr std::size_t kSetupSbasAlmMaskOffset = 360;     // u32: SBAS indices whose almanac is looked at
constexpr std::size_t kSetupSbasHealthMaskOffset = 364;  // u32: SBAS indices whose almanac health is obeyed
constexpr std::size_t kSetupWdRangeSmoothOffset = 368;   // u16, s: range-correction smoothing, 0 none
constexpr std::size_t kSetupDfmcAllowDfrei15Offset = 370;  // u8: 1 lets a DFMC "do not use" satellite in at 10 m

// Bit 0 valid, bits 1..31 GPS milliseconds of week.
using TimeTag = std::uint32_t;

constexpr double kInvalidTagAge = 86410.0;  // s
// Reception offset subtracted from ages measured from reception: the tag marks the start of a
// message of one second plus its decoding delay.
constexpr double kReceptionDelay = 1.13;  // s
constexpr double kHalfWeek = 302400.0;    // s

// ms -1 clears the valid bit.
void set_TimeTag(TimeTag& tag, int ms);
inline void clear_TimeTag(TimeTag& tag) { tag &= ~1u; }
inline bool is_ValidTimeTag(TimeTag tag) { return (tag & 1u) != 0; }
// (now - tag) in seconds folded into -302400..302400, less kReceptionDelay from reception;
// kInvalidTagAge for an invalid tag.
double get_TimeTagAge(int nowMs, TimeTag tag, bool fromReception = true);
// (a - b) folded the same way; kInvalidTagAge when either is invalid.
double get_DeltaTimeTag(TimeTag a, TimeTag b);
// The tag is valid and its age from reception lies within -kReceptionDelay..timeout: a tag
// further ahead of the current time is data whose age wrapped past half a week.
bool is_FreshTimeTag(int nowMs, TimeTag tag, double timeout);

// Index a record keeps for the SBAS source that filled it (5 bits, kNoSource none).
std::uint8_t sourceIndexOf(const SvIdType& source);

// The SBAS operating mode of the setup; a mode outside 0..4 counts as 2 (en route to
// non-precision approach), the mode whose time-outs suit any use.
int get_SbasMode(const PosSetup::CorrProcessorSetupType& s);

// MT25 long-term correction of one satellite (two per message half).
struct LongCorrBlock {
  std::int16_t iDx, iDy, iDz;     // 0.125 m
  std::int16_t iDaf0;             // 2^-31 s
  std::uint8_t uVelocityCode;     // 1: the rates below are present
  std::uint8_t uIod;              // issue of data of the ephemeris
  std::int16_t iDdx, iDdy, iDdz;  // 2^-11 m/s
  std::int16_t iDaf1;             // 2^-39 s/s
  std::uint16_t uT0;              // 16 s
};
static_assert(sizeof(LongCorrBlock) == 20);
static_assert(offsetof(LongCorrBlock, iDdx) == 10 && offsetof(LongCorrBlock, uT0) == 18);

// MT28 clock-ephemeris covariance: scale exponent and the upper triangle of the Cholesky factor.
struct CovMatrixBlock {
  std::uint8_t uScaleExp;
  std::uint8_t uSpare;
  std::int16_t iE[10];  // E11 E12 E13 E14 E22 E23 E24 E33 E34 E44
};
static_assert(sizeof(CovMatrixBlock) == 22);

// Corrections of one satellite from one source.
struct SatCorrectionType {
  static constexpr std::uint16_t kUdre = 1u << 0;
  static constexpr std::uint16_t kFastCorr = 1u << 1;
  static constexpr std::uint16_t kRateCorr = 1u << 2;
  static constexpr std::uint16_t kDegrData = 1u << 3;  // MT7
  static constexpr std::uint16_t kLongCorr = 1u << 4;
  static constexpr std::uint16_t kPrevLong = 1u << 5;
  static constexpr std::uint16_t kMtrxData = 1u << 6;  // MT28
  static constexpr std::uint16_t kReadyMask = 0x7Fu;
  static constexpr int kSourceShift = 7;
  static constexpr std::uint8_t kNoIodf = 255;

  DataBufferHeaderType header;
  std::uint16_t uHeader;     // ready bits 0..6, source index bits 7..11
  std::uint8_t uUdrei;       // MT2-6 UDREI
  std::uint8_t uMt7Byte;     // a_i index low nibble, system latency (s) high nibble
  TimeTag ulUdreTime;
  TimeTag ulFastTime[2];     // current, previous fast correction
  TimeTag ulRateTime;
  TimeTag ulDegrTime;        // MT7
  TimeTag ulLongTime;
  TimeTag ulPrevLongTime;
  TimeTag ulMtrxTime;
  float fPrc;                // m, fast correction
  float fPrcInterval;        // s between the last two fast corrections
  float fRrc;                // m/s, range-rate correction
  std::uint8_t uIodf;
  // IODFs of the newer and the older fast correction the range-rate correction was formed from
  // (kNoIodf none): consecutive issues make its degradation 0.
  std::uint8_t uRateIodf[2];
  std::uint8_t uSpare;
  LongCorrBlock longCorr[2];  // current, previous
  CovMatrixBlock mtrx;
  std::uint16_t uSpare2;

  void init();
  std::uint8_t get_SourceIndex() const { return static_cast<std::uint8_t>((uHeader >> kSourceShift) & 0x1Fu); }
  int get_AiIndex() const { return uMt7Byte & 0x0F; }

  void set_ReadyUDREData(const SvIdType& source) { setReady(source, kUdre); }
  void set_ReadyFastCorr(const SvIdType& source) { setReady(source, kFastCorr); }
  void set_ReadyRateCorr(const SvIdType& source) { setReady(source, kRateCorr); }
  void set_ReadyDegrData(const SvIdType& source) { setReady(source, kDegrData); }
  void set_ReadyLongCorr(const SvIdType& source) { setReady(source, kLongCorr); }
  void set_ReadyPrevLong(const SvIdType& source) { setReady(source, kPrevLong); }
  void set_ReadyMtrxData(const SvIdType& source) { setReady(source, kMtrxData); }

  bool is_ReadyUDREData(int nowMs) const;
  bool is_ReadyFastCorr(int nowMs) const;
  bool is_ReadyRateCorr(int nowMs) const;
  bool is_ReadyDegrData(int nowMs) const;
  bool is_ReadyLongCorr(int nowMs) const;
  bool is_ReadyPrevLong(int nowMs) const;
  bool is_ReadyMtrxData(int nowMs) const;
  // The a_i time-out of the satellite while its MT7 data is fresh, else the last one.
  double get_FastCorrTimeoutOfSat(int nowMs) const;
  // Clears the ready bits of parts past their time-out; true when any was cleared. A tag cannot
  // tell data a whole week old from fresh data, so this runs every epoch.
  bool clear_ExpiredData(int nowMs);

  static void set_DataTimeout(const PosSetup::CorrProcessorSetupType* s);
  static double get_UDREDataTimeout() { return dUdreTimeout; }
  static double get_FastCorrTimeout(int ai) { return dFastTimeout[(ai >= 0 && ai < kFastCorrTimeouts) ? ai : 15]; }
  static double get_LongCorrTimeout() { return dCommDegrTimeout; }
  static double get_DegrDataTimeout() { return dCommDegrTimeout; }
  static double get_MtrxDataTimeout() { return dCommDegrTimeout; }
  static double get_PrnMaskTimeout() { return dPrnMaskTimeout; }

 private:
  void setReady(const SvIdType& source, std::uint16_t bit);
  static inline double dUdreTimeout = 18.0;
  static inline double dCommDegrTimeout = 360.0;
  static inline double dPrnMaskTimeout = 600.0;
  static inline double dFastTimeout[kFastCorrTimeouts] = {180, 180, 153, 135, 135, 117, 99, 81,
                                                          63,  45,  45,  27,  27,  27,  18, 18};
};
static_assert(offsetof(SatCorrectionType, ulUdreTime) == 12 && offsetof(SatCorrectionType, fPrc) == 44);
static_assert(offsetof(SatCorrectionType, uIodf) == 56 && offsetof(SatCorrectionType, uRateIodf) == 57);
static_assert(offsetof(SatCorrectionType, longCorr) == 60 && sizeof(SatCorrectionType) == 124);

// One grid point's ionosphere data: bit 0 grid mask ready (MT18), bit 1 correction ready
// (MT26), bits 2..5 GIVE indicator, bits 6..14 vertical delay, bits 15..19 source index; with
// the time tags of the mask and of the delay.
struct IonoCorrectionType {
  static constexpr std::uint32_t kGridReady = 1u << 0;
  static constexpr std::uint32_t kCorrReady = 1u << 1;
  static constexpr int kGiveShift = 2;
  static constexpr int kDelayShift = 6;
  static constexpr int kSourceShift = 15;
  static constexpr int kDoNotUseDelay = 511;  // 0.125 m units
  static constexpr int kNotMonitored = 15;    // GIVE indicator

  std::uint32_t ulBits;
  TimeTag ulGridTime;
  TimeTag ulCorrTime;

  void init() { ulBits = static_cast<std::uint32_t>(kNoSource) << kSourceShift; ulGridTime = ulCorrTime = 0; }
  std::uint8_t get_SourceIndex() const { return static_cast<std::uint8_t>((ulBits >> kSourceShift) & 0x1Fu); }
  int get_GIVEI() const { return static_cast<int>((ulBits >> kGiveShift) & 0xFu); }
  int get_Delay() const { return static_cast<int>((ulBits >> kDelayShift) & 0x1FFu); }
  void set_Correction(int delay, int givei);

  void set_ReadyGridData(const SvIdType& source) { setReady(source, kGridReady); }
  void set_ReadyIonoCorr(const SvIdType& source) { setReady(source, kCorrReady); }
  bool is_ReadyGridData(int nowMs) const;
  bool is_ReadyIonoCorr(int nowMs) const;
  bool clear_ExpiredData(int nowMs);

  static void set_DataTimeout(const PosSetup::CorrProcessorSetupType* s);
  static double get_GridDataTimeout() { return dGridTimeout; }
  static double get_IonoCorrTimeout() { return dIonoTimeout; }

 private:
  void setReady(const SvIdType& source, std::uint32_t bit);
  static inline double dGridTimeout = 1200.0;
  static inline double dIonoTimeout = 600.0;
};
static_assert(sizeof(IonoCorrectionType) == 12);

// One band's grid in a pool record. Each point keeps bits 0..14 of its correction in a word;
// the source index (bits 15..19) is kept once per block of points.
struct IonoBandDataType {
  DataBufferHeaderType header;
  std::uint16_t uPoint[kIonoBandPoints];
  std::int16_t iBlockWord[kIonoBlocks];
  std::uint8_t uBlockByte[kIonoBlocks];
  std::int16_t iIssue;
  TimeTag ulGridTime[kIonoBandPoints];
  TimeTag ulCorrTime[kIonoBandPoints];

  void init();
  void pack(int point, std::uint32_t correction);
  std::uint32_t unpack(int point) const;
};

// MT10 degradation parameters of one source, in SI units.
struct DegradationDataType {
  static constexpr std::uint8_t kReady = 1u << 0;

  std::uint8_t bReady;  // bit 0 ready, bits 1..5 source index
  std::uint8_t uRssUdre;
  std::uint8_t uRssIono;
  std::uint8_t uSpare;
  TimeTag ulTime;
  float fBrrc;         // m
  float fCltcLsb;      // m
  float fCltcV1;       // m/s
  float fIltcV1;       // s
  float fCltcV0;       // m
  float fIltcV0;       // s
  float fCgeoLsb;      // m
  float fCgeoV;        // m/s
  float fIgeo;         // s
  float fCer;          // m
  float fCionoStep;    // m
  float fIiono;        // s
  float fCionoRamp;    // m/s
  float fCcovariance;
  float fCltcV1Ratio;  // Cltc_v1 / Iltc_v1 (1/s), Cltc_v1 itself when Iltc_v1 is 0
  float fCgeoVRatio;   // Cgeo_v / Igeo, Cgeo_v itself when Igeo is 0

  void init();
  std::uint8_t get_SourceIndex() const { return static_cast<std::uint8_t>((bReady >> 1) & 0x1Fu); }
  void set_ReadyDegradData(const SvIdType& source);
  bool is_ReadyDegradData(int nowMs) const;
  bool clear_ExpiredData(int nowMs);

  static void set_DataTimeout(const PosSetup::CorrProcessorSetupType* s);
  static double get_DegradDataTimeout() { return dTimeout; }

 private:
  static inline double dTimeout = 360.0;
};
static_assert(offsetof(DegradationDataType, ulTime) == 4 && sizeof(DegradationDataType) == 72);

// One MT27 service region of a source.
struct RegionServiceDataType {
  static constexpr std::uint8_t kReady = 1u << 0;

  std::uint8_t bReady;  // bit 0 ready, bits 1..7 source index
  std::uint8_t uIods;
  std::uint8_t uMessages;    // MT27 messages of the set still missing
  std::uint8_t uMessage;     // this region's message within the set
  TimeTag ulTime;
  std::int8_t iLat1, iLat2;  // deg
  std::int16_t iLon1, iLon2; // deg
  std::uint8_t uShape;       // 0 triangle, 1 square
  std::uint8_t uPriority;
  std::uint8_t uDeltaUdreIn;   // indicators inside and outside the region
  std::uint8_t uDeltaUdreOut;

  void init();
  std::uint8_t get_SourceIndex() const { return static_cast<std::uint8_t>((bReady >> 1) & 0x7Fu); }
  void set_ReadyRegionData(const SvIdType& source);
  bool is_ReadyRegionData(int nowMs) const;
  bool clear_ExpiredData(int nowMs);

  static void set_DataTimeout(const PosSetup::CorrProcessorSetupType* s);
  static double get_RegionDataTimeout() { return dTimeout; }

 private:
  static inline double dTimeout = 86400.0;
};
static_assert(offsetof(RegionServiceDataType, iLat1) == 8 && sizeof(RegionServiceDataType) == 20);

// State of one SBAS source slot.
struct SourceStateDataType {
  static constexpr std::uint8_t kMaskValid = 1u << 0;
  static constexpr std::uint8_t kBand9 = 1u << 1;
  static constexpr std::uint8_t kBand10 = 1u << 2;
  static constexpr std::uint8_t kCovariance = 1u << 3;
  static constexpr std::uint8_t kService = 1u << 4;
  static constexpr std::uint8_t kTestMode = 1u << 5;

  std::uint8_t uPrn = 255;  // 255 none
  std::int8_t iProvider = -1;
  std::uint8_t uSystem = 255;
  std::uint8_t uFlags = 0;
  TimeTag ulTime = 0;       // last message
  std::uint32_t ulMessages = 0;
  std::uint32_t ulParityErrors = 0;
  TimeTag ulMaskTime = 0;
  std::uint32_t ulSatSet[SYS_NUM] = {};  // satellites the live PRN masks name, by system

  void init() { *this = SourceStateDataType{}; }
  bool is_Ready(int nowMs) const { return uPrn != 255 && is_FreshTimeTag(nowMs, ulTime, dTimeout); }
  static void set_SourceStateDataTimeout(float t) { dTimeout = t; }
  static double get_SourceStateDataTimeout() { return dTimeout; }

 private:
  static inline double dTimeout = 420.0;
};
static_assert(sizeof(SourceStateDataType) == 48 && offsetof(SourceStateDataType, ulSatSet) == 20);

// DFMC (L5) corrections of one satellite from one source: MT32 clock-ephemeris and MT35/36
// DFREI, MT32 covariance.
struct DFMC_CorrBlock {
  std::int32_t iDx, iDy, iDz;  // 0.0625 m
  std::int32_t iDb;            // 0.03125 m
  std::int16_t iDdx, iDdy, iDdz;  // 2^-11 m/s
  std::int16_t iDdb;           // 2^-12 m/s
  std::uint16_t uT0;           // 16 s
  std::uint16_t uIodn;
};
static_assert(sizeof(DFMC_CorrBlock) == 28);

struct DFMC_SatCorrectionType {
  static constexpr std::uint8_t kDfreDoNotUse = 1u << 0;  // DFREI 15
  static constexpr std::uint8_t kDfreFromCorr = 1u << 1;  // came with the MT32 corrections

  DataBufferHeaderType header;
  std::uint8_t uSource;      // 255 none
  std::uint8_t uReadyDfre;
  std::uint8_t uReadyCorr[2];
  std::uint8_t uReadyMtrx;
  std::uint8_t uDfrei;
  std::uint8_t uDfreFlags;
  std::uint8_t uSpare;
  TimeTag ulDfreTime;
  TimeTag ulCorrTime[2];
  TimeTag ulMtrxTime;
  DFMC_CorrBlock corr[2];    // current, previous issue
  CovMatrixBlock mtrx;       // MT32: E11 E12 E13 E14 E22 E23 E24 E33 E34 E44 as broadcast
  std::uint16_t uSpare2;
  float fRcorr;              // MT32 RCORR, 0..1

  void init();
  void set_ReadyDFREData(const SvIdType& source);
  void set_ReadyCorrData(const SvIdType& source, int block);
  void set_ReadyMtrxData(const SvIdType& source);
  bool is_ReadyDFREData(int nowMs) const;
  bool is_ReadyCorrData(int nowMs, int block) const;
  bool is_ReadyMtrxData(int nowMs) const;
  bool clear_ExpiredData(int nowMs);

  static void set_DataTimeout(const PosSetup::CorrProcessorSetupType* s);
  static double get_DFREDataTimeout() { return dDfreTimeout; }
  static double get_CorrDataTimeout() { return dCorrTimeout; }
  static double get_MtrxDataTimeout() { return dCorrTimeout; }
  static double get_PrnMaskTimeout() { return dPrnMaskTimeout; }

 private:
  void takeSource(const SvIdType& source);
  static inline double dDfreTimeout = 18.0;
  static inline double dCorrTimeout = 360.0;
  static inline double dPrnMaskTimeout = 600.0;
};
static_assert(offsetof(DFMC_SatCorrectionType, ulDfreTime) == 16 && sizeof(DFMC_SatCorrectionType) == 116);

// MT37 degradation parameters of one DFMC source.
struct DFMC_DegradationDataType {
  static constexpr int kBlocks = 5;       // constellation blocks kept, in the order broadcast
  static constexpr int kDfreEntries = 15; // sigma_DFRE by DFREI 0..14
  std::uint8_t uSource;     // 255 none
  std::uint8_t bReady;
  std::uint8_t uBlockFlags; // bit k: constellation block k holds data
  std::uint8_t uSpare;
  TimeTag ulTime;
  std::uint8_t uIvalid32;   // validity intervals as broadcast
  std::uint8_t uIvalid3940;
  std::uint8_t uIcorr[kBlocks];
  std::uint8_t uSpare2;
  float fCer;               // m
  float fCcovariance;
  float fCcorr[kBlocks];    // m
  float fRcorr[kBlocks];
  float fSigmaDfre[kDfreEntries];  // m

  void init();
  void set_ReadyDegradData(const SvIdType& source);
  bool is_ReadyDegradData(int nowMs) const;
  bool clear_ExpiredData(int nowMs);

  static void set_DataTimeout(const PosSetup::CorrProcessorSetupType* s);
  static double get_DegradDataTimeout() { return dTimeout; }

 private:
  static inline double dTimeout = 360.0;
};
static_assert(offsetof(DFMC_DegradationDataType, fCer) == 16 && sizeof(DFMC_DegradationDataType) == 124);

struct DFMC_SourceStateDataType {
  static constexpr std::uint8_t kMaskValid = 1u << 0;
  static constexpr std::uint8_t kTestMode = 1u << 1;

  std::uint8_t uPrn = 255;
  std::uint8_t uSystem = 255;
  std::uint8_t uFlags = 0;
  std::uint8_t uSpare = 0;
  TimeTag ulTime = 0;       // last message
  std::uint32_t ulMessages = 0;
  TimeTag ulMaskTime = 0;
  std::uint64_t ullSatSet[SYS_NUM] = {};  // satellites the live masks name, by system

  void init() { *this = DFMC_SourceStateDataType{}; }
  bool is_Ready(int nowMs) const { return uPrn != 255 && is_FreshTimeTag(nowMs, ulTime, dTimeout); }
  static void set_SourceStateDataTimeout(float t) { dTimeout = t; }
  static double get_SourceStateDataTimeout() { return dTimeout; }

 private:
  static inline double dTimeout = 420.0;
};
static_assert(sizeof(DFMC_SourceStateDataType) == 72 && offsetof(DFMC_SourceStateDataType, ullSatSet) == 16);

// Clears, in every SBAS and DFMC server of the store, the ready bits of parts past their
// time-outs, so that nothing returns to use when its tag comes round again a week later. Run
// once an epoch after the time-outs are set; 0 when the store is null.
int clear_ExpiredServers(PVTDataType* store, int nowMs);

}  // namespace SBASData
