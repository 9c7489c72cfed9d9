// CMR and CMR+ input. Each decoder port has its own framing kernel (CMR_Decoder: ring, frame
// search, checksum); every checked frame goes to the one station table of the receiver
// (CmrStationTable, global CmrDec), which follows up to four base stations by their ids, picks
// which of them reaches the client (a selected one, any, or the one nearest to the rover),
// assembles the CMR+ station pages and decodes observations, coordinates and descriptions.
// Everything runs in the correction-decoder task; only the settings come from the parser.
#pragma once

#include <cstdint>

#include "differential/cmr/cmr_frame.h"
#include "differential/nav_decoder.h"
#include "platform/rtos.h"
#include "positioning/leaky_filter.h"
#include "settings/rtcm_settings.h"

struct CMR_HEADER {
  std::uint8_t length;     // data length of the frame
  std::uint8_t version;    // 3 bits
  std::uint8_t stationId;  // 0..31 as sent
  std::uint8_t type;       // 0..7, 100 for CMR+
};

// One observation frame (types 0 and the GLONASS type).
struct CMR_MEAS {
  static constexpr int kMaxSv = 31;  // 5-bit count
  // L1 flag bits.
  static constexpr std::uint8_t kL2Present = 0x01, kL1PhaseValid = 0x02, kL1PCode = 0x04;
  // L2 flag bits: range usable when both kL2CodeAvail and kL2CodeValid are set.
  static constexpr std::uint8_t kL2CodeAvail = 0x80, kL2WCode = 0x40, kL2CodeValid = 0x20, kL2PhaseValid = 0x10,
                                kL2PhaseFull = 0x08;
  struct Sv {
    std::uint8_t num;      // 1..32 (GLONASS: slot number)
    std::uint8_t l1Flags;
    std::uint8_t l2Flags;
    std::uint8_t l1Slip;
    std::uint8_t l2Slip;
    std::uint8_t pad[3];
    float l1Energy;  // dB-Hz
    float l2Energy;
    double l1Code;   // L1 cycles within one light-millisecond
    double l1Phase;  // L1 carrier minus L1 code, L1 cycles
    double l2Range;  // L2 code minus L1 code, m
    double l2Phase;  // L2 carrier minus L1 code, L2 cycles
  };
  static_assert(sizeof(Sv) == 48);

  std::int32_t timeMs;        // ms modulo 240,000
  float clockOffset;          // s
  std::uint8_t count;         // satellites in sv
  std::uint8_t energies;      // 1: energies present
  std::uint8_t sys;           // 0 GPS, 1 GLONASS
  std::uint8_t stationId;     // as sent
  std::uint8_t version;
  std::uint8_t clockBits;     // clock-bias validity
  std::uint8_t pad[2];
  Sv sv[kMaxSv];
};

struct CMR_REF_COORD {
  double x, y, z;         // ECEF, m
  float antHeight;        // m
  float east, north;      // antenna offsets, m
  std::uint8_t accuracy;  // position accuracy code (4 bits)
  std::uint8_t stationId;
  std::int16_t antNum;    // the station's antenna number (CMR+ station record), -1 unknown
};

struct CMR_REF_DESC {
  static constexpr int kLongMax = 223;
  std::uint8_t length;      // bytes of names received
  char shortName[9];        // 8 characters, zero-terminated
  char cogo[17];            // 16 characters, zero-terminated
  char longName[kLongMax + 1];
};

// The status of the four station slots and the one to show.
struct CMR_DEC_STATUS {
  struct Slot {
    std::int32_t badFrames;
    std::int32_t goodFrames;
    std::int32_t stationId;  // 255 free
    std::int32_t lastTime;   // monotonic s of the last good frame
    std::int32_t lastObsTime;
    float quality;           // percent
    std::int32_t latency;    // ms, -1 unknown
    NAV_Decoder_Kernel::EPOCH_PERIOD epochPeriod;
  };
  static_assert(sizeof(Slot) == 72);
  std::int32_t slot;  // index of the slot to show
  Slot slots[4];
};

class CMR_Decoder_Client {
 public:
  virtual ~CMR_Decoder_Client() = default;
  virtual void reset() = 0;
  virtual void updateRtkData(const CMR_MEAS&, int) = 0;
  virtual void updateRefCoord(const CMR_REF_COORD&, int) = 0;
  virtual void updateRefDesc(const CMR_HEADER&, const CMR_REF_DESC&, int) = 0;
  virtual void updateStatus(CMR_DEC_STATUS&, int) = 0;
  virtual void resetRTK() = 0;
};

// Internal message types after mapping.
constexpr int kCmrTypeGlonassObs = 101;
constexpr int kCmrTypePlus = 100;

// The receiver's time (ms of week or day) and a message time modulo 240,000 ms: the message's
// full time, within two minutes of the receiver's.
long cmrFullTime(long rcvMs, long msgMs);

class CmrStationTable {
 public:
  static constexpr int kSlots = 4;
  static constexpr int kPages = 15;
  static constexpr int kStoreBytes = kPages * cmr::kPageBytes;  // 105
  static constexpr std::uint8_t kFree = 255;
  static constexpr std::uint32_t kHeardSec = 30;
  static constexpr std::uint32_t kRoverMaxAgeSec = 600;

  struct SlotState {
    std::int32_t bad = 0, good = 0;
    std::uint8_t id = kFree;
    std::uint32_t lastTime = 0, lastObsTime = 0;
    float quality = 100.0f;
    long latency = -1;
    NAV_Decoder_Kernel::EPOCH_PERIOD period{};
    LeakyFilter rate;
    float pos[3] = {0, 0, 0};
    int nearCount = 0;
    // CMR+ page assembly.
    std::uint32_t mask = 0;
    int pages = 0;
    int filled = 0;
    std::uint8_t store[kStoreBytes] = {};
  };

  CmrStationTable();
  // Empties every slot and the CMR+ stores and binds the client (null: none).
  void init(CMR_Decoder_Client* c);
  void init() { init(client_); }
  // init, then the client's reset.
  void reset();
  void setSettings(const CMR_DEC_SETTINGS& s);
  // The stored settings at start: taken as they are, nothing to reset.
  void loadSettings(const CMR_DEC_SETTINGS& s);
  CMR_DEC_SETTINGS getSettings() const;

  // A checked frame of port `port` at monotonic second `now`: `packet` 0x93 or 0x94, `data` its
  // `len` data bytes.
  void onFrame(std::uint8_t packet, const std::uint8_t* data, int len, int port, std::uint32_t now);
  // A frame that failed its checksum or ETX, claiming station `id`.
  void onBadFrame(std::uint8_t id, int port, std::uint32_t now);

  // The nearest-station choice (decoder task only); the nearest station's id afterwards (-1
  // none).
  int selectNearest(std::uint32_t now);
  int nearestId() const { return nearest_; }
  const SlotState& slot(int i) const { return slots_[i]; }
  void fillStatus(CMR_DEC_STATUS& st, int show) const;

  // Where each frame takes the rover's current position from (false: none new); the position
  // engine's published solution unless replaced.
  bool (*roverSource)(double xyz[3]) = positionEngineRover;
  static bool positionEngineRover(double xyz[3]);

 private:
  int slotFor(std::uint8_t id, std::uint32_t now);
  void clearSlot(SlotState& s, std::uint8_t id);
  void clearPlusStores();
  int slotToShow(std::uint32_t now);
  void refreshRoverPos(std::uint32_t now);
  bool decodeObs(const CMR_HEADER& h, const std::uint8_t* d, int len, bool glonass, CMR_MEAS& m) const;
  void decodePlus(SlotState& s, const CMR_HEADER& h, const std::uint8_t* d, int len, int port, bool deliver);
  void deliverCoord(SlotState& s, const CMR_REF_COORD& c, int port, bool deliver);
  void feedRate(SlotState& s, double x);

  mutable Mutex mutex_;
  CMR_Decoder_Client* client_ = nullptr;
  CMR_DEC_SETTINGS set_{};
  SlotState slots_[kSlots];
  int lastApplied_ = -1;
  double rover_[3] = {0, 0, 0};
  std::uint32_t roverTime_ = 0;
  bool roverSet_ = false;
  int nearest_ = -1;
};

// The station id a header byte carries: 0 stands for 32.
inline int cmrStationId(std::uint8_t sent) { return sent == 0 ? 32 : sent; }

// Body decoders, shared by CMR frames and the CMR+ station record: 19 bytes of coordinates and
// offsets; names of `n` bytes (short name 8, COGO code 16, long name up to its zero).
void cmrDecodeCoord(const std::uint8_t* b, CMR_REF_COORD& c);
bool cmrDecodeNames(const std::uint8_t* b, int n, CMR_REF_DESC& d);

// The framing kernel of one decoder port.
class CMR_Decoder : public NAV_Decoder_Kernel {
 public:
  static constexpr int kRingSize = 256;
  static constexpr int kLookAhead = 64;

  explicit CMR_Decoder(CmrStationTable* table = nullptr);
  void reset() override;
  int getDataSize() override;
  void putData(const unsigned char* bytes, int len, InPorts::DecPortIndex port) override;
  int stateSynchro() override;
  int stateCollecting() override;
  int stateDecoding() override;

  CycleBuffer cb;
  CmrStationTable* table;
  std::uint8_t status = 0, packet = 0, length = 0, stationId = 0;
  bool framed = false;
  std::uint8_t frame[cmr::kMaxDataLen + 3] = {};  // data, checksum, ETX
  int port = -1;
};

extern CmrStationTable CmrDec;
// The CMR display switch: a diagnostic line per frame, CMR+ page and nearest-station step.
extern bool bDispCmr;
extern CMR_Decoder CmrDecKernels[InPorts::DEC_NUM];
