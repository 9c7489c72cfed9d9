// The position engine's wiring: it knows the data store, the satellite data store and the
// processors and engines, and runs the three roads of the positioning layer. The per-epoch road
// (update) turns the epoch record the raw record decoder filled into the receiver-time record,
// the used-satellite list and the navigation solution; the housekeeping road (background task)
// feeds the raw navigation messages of the rings to their decoders and runs the once-a-second
// satellite-data and correction steps; the start-up road runs them once before the tasks.
#pragma once

#include <atomic>
#include <cstdint>

#include "navigation_data/sv_id.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/engine/nav_sol.h"
#include "positioning/raw_nav_rings.h"

struct ChanData;
class SatelliteDataProcessor;
class SatelliteMeasurementProcessor;
class KFKEngine;
class SatelliteCorrectionProcessor;
// Components of the engine not built yet; their pointers stay null and are skipped.
class LMSEngine;

// ---- Receiver time ------------------------------------------------------------------------

// The receiver-time record of an epoch: every system's time from the GPS and GLONASS times.
void fill_RcvTimeData(const NavTask::NAV_EPOCH& e, PosData::RcvTimeDataType& r);

// ---- Raw messages -------------------------------------------------------------------------

// Packs n words that each carry 32 - k data bits in their low bits densely into n words, first
// bit at the most significant bit of the first word; the unused tail of the last word is 0.
// k is 0..31.
void repack_Buffer(int n, int k, const std::uint32_t* in, std::uint32_t* out);

// GPS and QZSS CNAV and CNAV-2 messages go to their decoders while this is set (a positioning
// settings command may clear it).
extern std::atomic<std::uint8_t> bDebugGpsCnavDatdec;
// GPS and QZSS LNAV subframes dropped for a word that failed its parity check.
extern std::atomic<std::uint32_t> lnavParityDrops;

// Ring-entry kinds of the raw-message dispatch.
namespace RawNavKind {
constexpr int kGpsLnav = 0, kGpsCnavL2 = 1, kGpsCnavL5 = 2, kGpsCnav2 = 3;
constexpr int kGloL3 = 1;
constexpr int kBdsD1D2Max = 2, kBdsCnav1 = 3, kBdsNone = 4, kBdsCnav2 = 5, kBdsCnav2b = 6;
constexpr std::uint8_t kBdsD2Bit = 0x80, kBdsB2bBit = 0x40, kBdsKindMask = 0x3F;
constexpr int kIrnssL5 = 0;
constexpr int kSbasL1 = 0;
}  // namespace RawNavKind

// First PRN of the QZSS satellites that send SBAS messages (L1S) on the SBAS ring.
constexpr int kFirstQzssSbasPrn = 183;

// ---- Correction sources -------------------------------------------------------------------

// One remembered correction source: the last time it was seen and its id (kFreeSourceId: free).
struct SourceIdEntry {
  std::uint32_t ulTime;
  std::uint16_t uId;
};
constexpr std::uint16_t kFreeSourceId = 65535;
constexpr int kRtcmSourceEntries = 5;
constexpr int kSlasSourceEntries = 3;
constexpr int kRtcmTSSourceEntries = 3;
extern SourceIdEntry RtcmSourceIdData[kRtcmSourceEntries];
extern SourceIdEntry SlasSourceIdData[kSlasSourceEntries];
extern SourceIdEntry RtcmTSSourceIdData[kRtcmTSSourceEntries];
// The table index (0..4 RTCM, 0..2 SLAS) a correction source's records go to at `time`.
int get_RtcmSourceIndex(std::uint32_t time, std::uint16_t id);
int get_SlasSourceIndex(std::uint32_t time, std::uint16_t id);

// Service provider of each SBAS satellite (index = PRN - 120), as the SBAS correction selection
// groups them; -1 (all ones) is reserved for "unknown" at run time.
constexpr int kSbasProviderEntries = 28;
extern std::uint32_t uSbasProviderAssignment[kSbasProviderEntries];

// ---- The engine ---------------------------------------------------------------------------

class PVTEngine {
 public:
  static constexpr int kRings = 8;  // GPS, GLONASS, Galileo, SBAS, QZSS, BeiDou, NavIC, spare
  static constexpr int kChannels = 91;

  constexpr PVTEngine() = default;
  PVTEngine(const PVTEngine&) = delete;
  PVTEngine& operator=(const PVTEngine&) = delete;

  // Points the engine at the store and the satellite data store, initialises the decoders and
  // clears the source tables, the epoch record's solution flags, the ring readers and the flag.
  void init_Object(PVTDataType* store, SatelliteDataProcessor* satData);

  // Per-epoch road: returns the NAV_SOL status.
  int update(long intervalMs, bool full, NavTask::NAV_SOL* sol, ChanData* chan);
  void input_EpochData(ChanData* chan, NavTask::NAV_SOL* sol, PVTEngineEpochDataType* e, long intervalMs);
  void output_SolutionData(PVTEngineEpochDataType* e, bool full);
  void set_RcvTimeData(const NavTask::NAV_EPOCH& e, PosData::RcvTimeDataType& r);

  // Housekeeping road.
  void update_RawNavDataFromBoardDec();
  void update_RawNavDataFromZrtDec() { update_RawNavDataFromBoardDec(); }
  void update_SatDataTask();
  void update_SatCorrTask();

  // One message to the decoder of its satellite; 1 when a decoder took it, 0 when dropped. `f`
  // is the signal level (dB-Hz) of the channel tracking the satellite, 0 when none does; the
  // LNAV, GLONASS, BeiDou D1/D2 and NavIC decoders weigh a ghost satellite by it.
  int update_GpsDataTask(const std::uint32_t* words, int count, const SvIdType* sv, int kind, float f);
  int update_GloDataTask(const std::uint32_t* words, int count, const SvIdType* sv, int kind, float f);
  int update_GalDataTask(const std::uint8_t* bytes, int count, const SvIdType* sv, int kind, float f);
  int update_SbasDataTask(const std::uint8_t* bytes, int count, const SvIdType* sv, int task, float f);
  int update_CompDataTask(const std::uint32_t* words, int count, const SvIdType* sv, int kind, float f);
  int update_IrnssDataTask(const std::uint32_t* words, int count, const SvIdType* sv, int kind, float f);

  void allocate_NvRamData();
  // The settings commands that drop every stored ephemeris / almanac: the settings-image copies
  // at once, the store's records at its next step.
  void clear_NvRamEphemerisData();
  void clear_NvRamAlmanacData();
  void input_PositionData(const NavTask::NAV_POS& pos);

  // Start-up road: the receiver-time record from the time scales, then one satellite-data and
  // correction step.
  void pvtTasksInitOnce();

  // The in-epoch corrections flag: the correction step runs in the epoch rather than once a
  // second; the once-a-second step clears it (a handshake), so whoever sets it renews it.
  void set_InEpochCorrections() { bInEpochCorrections.store(1); }
  bool inEpochCorrections() const { return bInEpochCorrections.load() != 0; }

  // Entries each ring reader lost to the writer.
  std::uint32_t ringOverruns(int ring) const { return ring >= 0 && ring < kRings ? readers[ring].ulOverruns : 0; }

  std::uint32_t ulUnused[2] = {};
  RcvTimeDataServerType* pRcvTime = nullptr;
  PVTDataType* pStore = nullptr;
  UsedSatelliteListServerType* pUsedSatList = nullptr;
  SatProcessorSetupServerType* pSatSetup = nullptr;
  std::uint32_t ulUnused2 = 0;
  SatelliteDataProcessor* pSatData = nullptr;
  SatelliteCorrectionProcessor* pCorr = nullptr;
  SatelliteMeasurementProcessor* pMeas = nullptr;
  LMSEngine* pLms = nullptr;
  KFKEngine* pKfk = nullptr;
  std::uint32_t ulUnused3 = 0;
  RawNavReader readers[kRings] = {};
  std::atomic<std::uint8_t> bInEpochCorrections{0};

 private:
  bool currentTime(PosData::RcvTimeDataType& t);
};

extern PVTEngine PVTEngineInstance;
