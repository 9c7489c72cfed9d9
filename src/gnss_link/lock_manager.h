// Lock manager: per satellite system and signal, which satellites the receiver may and should
// lock on (64-bit satellite masks kept in the receiver settings, bit n-1 for satellite n), the
// satellites known to carry modernised signals, the derived search masks and channel budget,
// and a few search controls.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

// ---- systems and signals

inline constexpr int kChanSys = 8;        // 0 GPS, 1 GLONASS (letters), 2 SBAS, 3 GLONASS CDMA,
                                          // 4 Galileo, 5 BeiDou, 6 QZSS, 7 NavIC
inline constexpr int kFATypes = 6;        // signals per system
inline constexpr int kLockEntries = kChanSys * kFATypes;  // entry = system * 6 + signal
extern const int chanSys[kChanSys + 1];   // the ninth entry is not used here
extern const int chanSysSats[kChanSys];   // satellites per system
// Low `chanSysSats` bits set.
std::uint64_t lockSysFullMask(int sys);
// True when the signal exists for the system as a lock entry (GLONASS signal 4 excluded).
bool lockSignalExists(int sys, int sig);
inline int lockEntry(int sys, int sig) { return sys * kFATypes + sig; }

// ---- the settings (over RcvSet.lockArea and RcvSet.lockExtArea)

// 64 bits as two 32-bit words, low word first: the areas are only 4-byte aligned.
struct LockMask64 {
  std::uint32_t lo, hi;
  std::uint64_t get() const { return (static_cast<std::uint64_t>(hi) << 32) | lo; }
  void set(std::uint64_t v) {
    lo = static_cast<std::uint32_t>(v);
    hi = static_cast<std::uint32_t>(v >> 32);
  }
};
static_assert(sizeof(LockMask64) == 8 && alignof(LockMask64) == 4);

enum LockSwitch : int {
  kSwPCode,  // P-code master switch
  kSwGpsP,
  kSwGloP,
  kSwCL2,    // L2 C/A-type code
  kSwL5,
  kSwE5a,
  kSwE5b,
  kSwE6,
  kSwGloL3,
  kSwLex,
  kLockSwitches
};

struct LockSettings {
  std::uint32_t magic;            // kLockSettingsMagic once the defaults were applied
  std::int32_t state;             // 1 settled, 2 select all, 3 or more select none, 0 off
  std::uint32_t sysEnable;        // bit per system
  std::int32_t budgetLimit;       // channels, 144..268
  std::uint8_t guideOverlap;      // 0: guided satellites leave the independent mask
  std::uint8_t sw[kLockSwitches];
  std::uint8_t spare0[5];
  LockMask64 sysMask[kChanSys];   // per-system satellite mask
  LockMask64 lock[kLockEntries];  // satellites to lock
  LockMask64 forced[kLockEntries];// companion 1
  std::uint8_t spare[160];
};
static_assert(sizeof(LockSettings) == 1024);

struct LockSettingsExt {
  LockMask64 comp2[kLockEntries];
  LockMask64 comp3[kLockEntries];
  LockMask64 guide[kLockEntries];
};
static_assert(sizeof(LockSettingsExt) == 1152);

inline constexpr std::uint32_t kLockSettingsMagic = 0x4C4F4B31;  // "LOK1"

LockSettings& lockSettings();
LockSettingsExt& lockSettingsExt();
// After the settings were loaded (or restored to factory): a record that never took its
// defaults takes them now; true when it did (the caller stores the settings).
bool lockSettingsAfterLoad();
// The same for the clock plan and the lock settings together (the settings' after-load step):
// what took its defaults is stored, and the lock manager recomputes on its next pass.
void chanSettingsAfterLoad();

// ---- lock codes and per-signal switches

void setLockCode(int code, int sys, int sig, std::uint64_t mask, std::uint64_t mask2);
void lmuLockPCode();
void lmuLockCL2Code();
void lmuLockL5Code();
void lmuLockGalE5A();
void lmuLockGalE5B();
void lmuLockGalE6();
void lmuLockGloL3();
void lmuLockLEX();
// The switch function of one switch.
void lmuLockApply(LockSwitch sw);

// ---- satellites carrying each signal; phase-3 masks; BeiDou compatibility

extern std::uint64_t sigSatTypes[kLockEntries];
void setGpsSatType(int prn, int type);
void setGloSatType(int slot, int type);

// Satellites of the modernised generations (bit n-1 for satellite n), as the almanacs tell them
// (the satellite data store keeps the rule): GPS III, every QZSS satellite, BeiDou-3. Written
// in the background task, read by the epoch's coders.
extern std::atomic<std::uint64_t> gpsPhase3, qzsPhase3, beiPhase3;
// Each stores its mask; GPS and QZSS take satellites out of their L1C entry (5) that are not in
// it; BeiDou sets its B2a and B1C entries (4, 5) to the mask less the GEO satellites.
void gpsPhase3Update(std::uint64_t mask);
void qzsPhase3Update(std::uint64_t mask);
void beiPhase3Update(std::uint64_t mask);
bool isBeiPhase3(int n);
bool isBeiDou37compat(int n);
bool isBeiDouMSMcompat(int n, int s);
bool ignoreCompat(int n, int s);

// ---- search

inline constexpr int kAntInputs = 2;
inline constexpr int kBudgetMin = 144;
inline constexpr int kBudgetMax = 268;

class LockMan {
 public:
  // State 2: every lock mask full; 3 and above: every lock mask empty; then state 1. Always
  // counts a change.
  static void updateLocking();
  // Recomputes the derived masks and the budget when the change counter moved; true when it did.
  static bool updateParams();
  static bool satSearch() { return updateParams(); }
  static void initLocking();
  static void setLockDefs();
  static int getMainAntInputIdx() { return mainAntInputIdx; }
  static std::uint8_t getAntInpMask() { return antInpMask; }

  // Derived, for the GNSS board and the channel set-up.
  static std::uint64_t indepMask[kLockEntries];
  static std::uint64_t guidedMask[kLockEntries];
  static std::uint64_t comp2Mask[kLockEntries];    // companion 2
  static std::uint64_t comp3OnlyMask[kLockEntries];// companion 3 and not companion 2
  static std::uint64_t forcedMask[kLockEntries];
  static int budget;
  static int seenState;
  static std::atomic<std::uint32_t> lockChangeCnt;
  static std::uint32_t lockSeenCnt;  // value of the last recomputation
  static int baseCount;
  static int divisor;

  static int mainAntInputIdx;
  static std::uint8_t antInpMask;
};

// Counts the lock entries that exist and the extra ones (all but signal 0) for the budget.
void lockingInitOnce();

inline constexpr int kSatQueue = 248;
// Queue entry: system << 16 | satellite << 8 | priority; 0 is an empty entry.
extern const std::array<std::uint32_t, kSatQueue> satQueueInit;

class SatLockMan {
 public:
  void Init();
  std::uint32_t queue[kSatQueue];
  int counter[2] = {8, 8};
  bool relock = false;
  // Generator state shared by every instance.
  static std::uint32_t rndState;
};
extern SatLockMan satLockMan[kAntInputs];

// Start-up of the whole lock manager: defaults where none were stored, counts, queues and the
// first parameter update.
void lockManInitOnce();
