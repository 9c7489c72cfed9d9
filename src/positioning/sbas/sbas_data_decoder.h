// SBAS L1 message decoder (RTCA DO-229D): one decoder per SBAS source, twelve in a pool. This
// part decodes the PRN masks (MT1), the fast corrections (MT2-5, MT0 used as MT2, the fast half
// of MT24), the UDREs (MT6) and the fast-correction degradation factors (MT7), derives the
// range-rate corrections, follows the test mode (MT0) and publishes per-satellite corrections and
// the source's state to the data servers. The PRN masks are kept in the settings image so that
// fast corrections apply at once after a restart.
#pragma once

#include <cstdint>

#include "navigation_data/sv_id.h"
#include "platform/rtos.h"
#include "positioning/data_servers/pos_data_types.h"
#include "positioning/data_servers/sbas_data_types.h"

class NvBlock;
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

  // The IODP of entry i while younger than the PRN-mask time-out; an older entry is emptied.
  int get_IODx(int i);

  static void allocate_NvRamData();
  static const NvBlock& maskBlock(int i);
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
};

extern SbasDataDecoder SbasDataDecoderInstance[SbasDataDecoder::kPoolSize];

// The decoder bound to this source, else a free one, else the one whose last update is oldest.
SbasDataDecoder* get_SbasDataDecoder(const PosData::RcvTimeDataType& t, const SvIdType& source);
