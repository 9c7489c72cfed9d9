// The L-band correction service on the main board: the beam table, the ordered beams the GNSS
// board tracks, beam scanning, selected stations, debug switches, the user-defined beam and the
// status the board reports. One global object, TSDecoder; its settings live in one stored block.
#pragma once

#include <cstddef>
#include <cstdint>

// One beam of the service (built-in table, the 16 slots, the user-defined beam).
struct TSBeam {
  std::int32_t frequency;  // Hz; 0 marks an empty slot
  std::int32_t rate;       // data rate, bit/s
  char name[8];            // NUL-terminated
  char id[8];              // NUL-terminated
  float longitude;         // of the beam's satellite, degrees east
  std::uint8_t enabled;
  std::uint8_t pad[3];
};
static_assert(sizeof(TSBeam) == 32);
static_assert(offsetof(TSBeam, rate) == 4 && offsetof(TSBeam, name) == 8 && offsetof(TSBeam, id) == 16);
static_assert(offsetof(TSBeam, longitude) == 24 && offsetof(TSBeam, enabled) == 28);

// The stored settings of the service (block 6543).
struct TSParametersNvBlock {
  static constexpr int kStationsLen = 200;
  static constexpr int kUserBeamLen = 10;
  char stations[2][kStationsLen];  // selected reference stations 1 and 2
  std::uint16_t scanTimeout;       // beam scanning timeout, s
  std::uint8_t scanNum;
  std::uint8_t scanMode;
  std::uint8_t reserved404;
  std::uint8_t debugOutput[5];     // buffer, wadenv, wadiff, wadgeo, calls
  std::uint8_t debugTimeMode;
  std::uint8_t debugDateMode;
  std::uint8_t unused412[4];
  std::int32_t debugYear, debugMonth, debugDay;
  std::uint8_t unused428[8];
  std::int32_t debugHours, debugMinutes, debugSeconds;
  // The usable-beam mask (low word, high word): kept here so that a set survives a restart; the
  // bytes were free in the block's layout.
  std::uint32_t usableMask[2];
  char userBeam[kUserBeamLen];
  std::uint8_t userDefMode;
  std::uint8_t unused467[5];
  std::uint32_t reserved472;
  std::uint32_t reserved476;
  TSBeam userDef;
};
static_assert(sizeof(TSParametersNvBlock) == 512);
static_assert(offsetof(TSParametersNvBlock, scanTimeout) == 400 && offsetof(TSParametersNvBlock, scanNum) == 402);
static_assert(offsetof(TSParametersNvBlock, scanMode) == 403 && offsetof(TSParametersNvBlock, debugOutput) == 405);
static_assert(offsetof(TSParametersNvBlock, debugTimeMode) == 410 && offsetof(TSParametersNvBlock, debugDateMode) == 411);
static_assert(offsetof(TSParametersNvBlock, debugYear) == 416 && offsetof(TSParametersNvBlock, debugDay) == 424);
static_assert(offsetof(TSParametersNvBlock, debugHours) == 436 && offsetof(TSParametersNvBlock, debugSeconds) == 444);
static_assert(offsetof(TSParametersNvBlock, usableMask) == 448 && offsetof(TSParametersNvBlock, userBeam) == 456);
static_assert(offsetof(TSParametersNvBlock, userDefMode) == 466 && offsetof(TSParametersNvBlock, reserved472) == 472);
static_assert(offsetof(TSParametersNvBlock, reserved476) == 476 && offsetof(TSParametersNvBlock, userDef) == 480);

// What the GNSS board reports in its service-state record, as the record reader hands it over.
struct TSBoardState {
  static constexpr int kSlots = 16;
  TSBeam beam[kSlots];
  float elevation[kSlots];  // degrees; below -90: not reported
  float azimuth[kSlots];
  std::uint8_t order[kSlots];  // slot indexes, first orderCount used
  int orderCount;
  int usedBeam;  // slot in use, -1 none
  std::uint8_t syncStatus;
  std::uint8_t qualityStatus;
  int decoderChannel;  // beam position (0..2) the board's decoder uses
};

// The built-in beams.
inline constexpr int kDefaultBeamCount = 7;
extern const TSBeam DefaultBeams[kDefaultBeamCount];

class TerrastarDataDecoder {
 public:
  static constexpr int kSlots = 16;
  static constexpr std::uint16_t kNvId = 6543;
  static constexpr int kDebugOutputs = 5;
  static constexpr int kUsableFirstBit = 1;
  static constexpr int kUsableLastBit = 16;
  // Longest name and id of the user-defined beam (the record's 8 bytes with their NUL).
  static constexpr int kBeamTextMax = 7;

  TerrastarDataDecoder();
  // The built-in beams into slots 0..6, beam numbers slot + 1, ordered list 0, 1.
  void init();

  // The stored block: allocated at layout time, read (factory values written when it is
  // invalid), written.
  bool allocateNvRam();
  void readNvRam();
  bool writeNvRam();
  void initNvParameters(bool scanMode);

  // ---- settings: every setter stores, counts the change and saves the block
  bool getBeamScanningMode() const { return par_.scanMode != 0; }
  void setBeamScanningMode(bool on);
  int getBeamScanningNum() const { return par_.scanNum; }
  void setBeamScanningNum(int n);
  int getBeamScanningTimeout() const { return par_.scanTimeout; }
  void setBeamScanningTimeout(int s);
  void resetBeamScanning() { scanRestart_ = 1; }
  bool scanRestartRequested() const { return scanRestart_ != 0; }
  bool getDebugOutput(int i) const { return i >= 0 && i < kDebugOutputs && par_.debugOutput[i] != 0; }
  void setDebugOutput(int i, bool on);
  bool getDebugTimeMode() const { return par_.debugTimeMode != 0; }
  void setDebugTimeMode(bool on);
  void getDebugTime(int& h, int& m, int& s) const;
  // Components below 0 are left as they are.
  void setDebugTime(int h, int m, int s);
  bool getDebugDateMode() const { return par_.debugDateMode != 0; }
  void setDebugDateMode(bool on);
  void getDebugDate(int& d, int& mo, int& y) const;
  void setDebugDate(int d, int mo, int y);
  const char* getUserBeamName() const { return par_.userBeam; }
  // False (nothing stored) for a text that does not fit the stored field.
  bool setUserBeamName(const char* name);
  bool getUserDefinedBeamMode() const { return par_.userDefMode != 0; }
  void setUserDefinedBeamMode(bool on);
  const TSBeam& getUserDefinedBeamData() const { return par_.userDef; }
  void setUserDefinedBeamData(const TSBeam& b);
  const char* getSelectedStations(int i) const { return par_.stations[i == 1 ? 1 : 0]; }
  bool setSelectedStations(int i, const char* text);
  std::uint64_t getUsableBeams() const;
  void setUsableBeams(std::uint64_t mask);
  unsigned changeCounter() const { return changes_; }

  // ---- beams
  // Slot 0..15: false for an empty slot, or a disabled one when onlyEnabled.
  bool getBeamInfo(int slot, bool onlyEnabled, TSBeam* beam, float* elevation = nullptr) const;
  const TSBeam& beamSlot(int slot) const { return beams_[slotOk(slot) ? slot : 0]; }
  float beamElevation(int slot) const { return slotOk(slot) ? elevation_[slot] : -100.0f; }
  int getOrderedBeamNum() const;
  bool getOrderedBeam(int i, const char** name, float* longitude, float* level) const;
  bool getOrderedBeamInfo(int i, bool onlyEnabled, TSBeam* beam, float* elevation = nullptr) const;
  bool getUsedBeamInfo(TSBeam* beam, float* elevation = nullptr) const;
  int usedBeam() const { return usedBeam_; }
  int getSyncStatus() const { return syncStatus_; }
  int getDataQualityStatus() const { return qualityStatus_; }
  int decoderChannel() const { return decoderChannel_; }
  // The best-placed slot of that frequency (elevation above 0): its number, elevation and
  // azimuth; false, and all three 0, when there is none.
  bool getBeamVisibleData(std::int64_t frequency, int& number, float& elevation, float& azimuth) const;

  // The board's service-state record. Ordered-list entries that name no slot (16 or more)
  // are dropped, the count is held to 16 and a beam in use outside the slots is none; false
  // when something had to be dropped.
  bool takeBoardState(const TSBoardState& s);

  const TSParametersNvBlock& parameters() const { return par_; }

 private:
  static bool slotOk(int slot) { return slot >= 0 && slot < kSlots; }
  void changed();

  TSBeam beams_[kSlots];
  float elevation_[kSlots];
  float azimuth_[kSlots];
  int number_[kSlots];
  std::uint8_t order_[kSlots];
  int orderCount_;
  int usedBeam_;
  std::uint8_t scanRestart_;
  std::uint8_t syncStatus_;
  std::uint8_t qualityStatus_;
  int decoderChannel_;
  unsigned changes_;
  TSParametersNvBlock par_;
};

extern TerrastarDataDecoder TSDecoder;

// The four reserved blocks of the service, in their places of the settings-image layout. Their
// contents are not used; they keep their ids and sizes so that the blocks after them stay put.
void ts_id_nv_NvAlloc();
void lband_map_nv_NvAlloc();
void beacon_map_nv_NvAlloc();
void ts_decoder_nv_NvAlloc();
