#include "gnss_link/lock_manager.h"

#include <array>
#include <cstddef>
#include <cstring>

#include "settings/nv_settings.h"
#include "settings/rcv_settings.h"
#include "gnss_link/freq_plan.h"

static_assert(sizeof(LockSettings) <= sizeof(RCV_SETTINGS::lockArea), "lock settings exceed their area");
static_assert(sizeof(LockSettingsExt) <= sizeof(RCV_SETTINGS::lockExtArea), "lock masks exceed their area");
static_assert(offsetof(RCV_SETTINGS, lockArea) % alignof(LockSettings) == 0);
static_assert(offsetof(RCV_SETTINGS, lockExtArea) % alignof(LockSettingsExt) == 0);

namespace {

constexpr int kSats[kChanSys] = {32, 15, 35, 30, 36, 63, 7, 14};
constexpr int kGps = 0, kGlo = 1, kSbas = 2, kGloCdma = 3, kGal = 4, kBds = 5, kQzss = 6, kNavic = 7;

// Signals that exist per system, as lock entries.
constexpr bool kSignalExists[kChanSys][kFATypes] = {
    {true, true, true, true, true, true},       // GPS: C/A, P1, P2, L2C, L5, L1C
    {true, true, true, true, false, false},     // GLONASS letters (CDMA L3 is system 3)
    {true, false, false, false, true, false},   // SBAS: L1, L5
    {false, false, false, false, true, false},  // GLONASS CDMA: L3
    {true, false, true, true, true, false},     // Galileo: E1, E5b, E6, E5a
    {true, false, true, true, true, true},      // BeiDou: B1I, B2, B3I, B2a, B1C
    {true, false, true, true, true, true},      // QZSS: C/A, LEX, L2C, L5, L1C
    {false, false, false, false, true, false},  // NavIC: L5
};

constexpr std::uint64_t kSbasL5Mask = 0x46185A588ULL;
constexpr std::uint64_t kSbasL5Mask2 = 25470336;
constexpr std::uint64_t kAll = ~std::uint64_t{0};

constexpr std::array<std::uint32_t, kSatQueue> buildQueue() {
  std::array<std::uint32_t, kSatQueue> q{};
  int at = 0;
  // GPS and GLONASS first (priority 0), then the others (priority 1); 16 entries stay empty.
  constexpr int kOrder[kChanSys] = {kGps, kGlo, kGal, kBds, kSbas, kGloCdma, kQzss, kNavic};
  for (int sys : kOrder) {
    const std::uint32_t prio = (sys == kGps || sys == kGlo) ? 0 : 1;
    for (int sat = 1; sat <= kSats[sys]; ++sat) {
      q[at++] = static_cast<std::uint32_t>(sys) << 16 | static_cast<std::uint32_t>(sat) << 8 | prio;
    }
  }
  return q;
}

std::uint32_t xorshift(std::uint32_t& x) {
  x ^= x << 13;
  x ^= x >> 17;
  x ^= x << 5;
  return x;
}

void setBit(std::uint64_t& m, int bit, bool on) {
  const std::uint64_t b = std::uint64_t{1} << bit;
  m = on ? (m | b) : (m & ~b);
}

std::uint64_t lockAt(int k) { return lockSettings().lock[k].get(); }

}  // namespace

const int chanSys[kChanSys + 1] = {0, 1, 2, 3, 4, 5, 6, 7, 3};
const int chanSysSats[kChanSys] = {32, 15, 35, 30, 36, 63, 7, 14};
const std::array<std::uint32_t, kSatQueue> satQueueInit = buildQueue();

std::uint64_t lockSysFullMask(int sys) {
  if (sys < 0 || sys >= kChanSys) return 0;
  const int n = kSats[sys];
  return n >= 64 ? kAll : (std::uint64_t{1} << n) - 1;
}

bool lockSignalExists(int sys, int sig) {
  return sys >= 0 && sys < kChanSys && sig >= 0 && sig < kFATypes && kSignalExists[sys][sig];
}

LockSettings& lockSettings() { return *reinterpret_cast<LockSettings*>(RcvSet.lockArea); }
LockSettingsExt& lockSettingsExt() { return *reinterpret_cast<LockSettingsExt*>(RcvSet.lockExtArea); }

bool lockSettingsAfterLoad() {
  if (lockSettings().magic == kLockSettingsMagic) return false;
  LockMan::setLockDefs();
  return true;
}

void chanSettingsAfterLoad() {
  const bool clock = clockSettingsAfterLoad();
  const bool lock = lockSettingsAfterLoad();
  if (clock || lock) nv_writeRcvSettings();
  LockMan::updateLocking();
}

// ---- lock codes

void setLockCode(int code, int sys, int sig, std::uint64_t mask, std::uint64_t mask2) {
  if (sys < 0 || sys >= kChanSys || sig < 0 || sig >= kFATypes) return;
  const int k = lockEntry(sys, sig);
  LockSettings& s = lockSettings();
  LockSettingsExt& x = lockSettingsExt();
  if (code == 0) {
    s.lock[k].set(0);
    return;
  }
  const std::uint64_t full = lockSysFullMask(sys);
  s.lock[k].set(mask & full);
  switch (code) {
    case 1:
      s.forced[k].set(0);
      x.comp2[k].set(mask2);
      x.comp3[k].set(0);
      break;
    case 2:
      s.forced[k].set(full);
      x.comp2[k].set(mask2);
      x.comp3[k].set(0);
      break;
    case 3:
      x.comp3[k].set(full);
      x.comp2[k].set(0);
      break;
    case 4:
      x.comp2[k].set(full);
      x.comp3[k].set(0);
      break;
    default: break;
  }
}

namespace {
int swCode(LockSwitch sw) { return lockSettings().sw[sw] != 0 ? 1 : 0; }
}  // namespace

void lmuLockPCode() {
  const bool master = lockSettings().sw[kSwPCode] != 0;
  const int gps = master ? swCode(kSwGpsP) : 0;
  const int glo = master ? swCode(kSwGloP) : 0;
  setLockCode(gps, kGps, 1, kAll, 0);
  setLockCode(gps, kGps, 2, kAll, 0);
  setLockCode(glo, kGlo, 1, kAll, 0);
  setLockCode(glo, kGlo, 2, kAll, 0);
}

void lmuLockCL2Code() {
  const int c = swCode(kSwCL2);
  setLockCode(c, kGps, 3, kAll, 0);
  setLockCode(c, kGlo, 3, kAll, 0);
  setLockCode(c, kQzss, 3, kAll, 0);
}

void lmuLockL5Code() {
  const int c = swCode(kSwL5);
  setLockCode(c, kGps, 4, kAll, 0);
  setLockCode(c, kSbas, 4, kSbasL5Mask, kSbasL5Mask2);
  setLockCode(c, kQzss, 4, kAll, 0);
}

void lmuLockGalE5A() { setLockCode(swCode(kSwE5a), kGal, 4, kAll, 0); }
void lmuLockGalE5B() { setLockCode(swCode(kSwE5b), kGal, 2, kAll, 0); }
void lmuLockGalE6() { setLockCode(swCode(kSwE6), kGal, 3, kAll, 0); }
void lmuLockGloL3() { setLockCode(swCode(kSwGloL3), kGloCdma, 4, kAll, 0); }
void lmuLockLEX() { setLockCode(swCode(kSwLex), kQzss, 2, kAll, 0); }

void lmuLockApply(LockSwitch sw) {
  switch (sw) {
    case kSwPCode:
    case kSwGpsP:
    case kSwGloP: lmuLockPCode(); break;
    case kSwCL2: lmuLockCL2Code(); break;
    case kSwL5: lmuLockL5Code(); break;
    case kSwE5a: lmuLockGalE5A(); break;
    case kSwE5b: lmuLockGalE5B(); break;
    case kSwE6: lmuLockGalE6(); break;
    case kSwGloL3: lmuLockGloL3(); break;
    case kSwLex: lmuLockLEX(); break;
    default: break;
  }
}

// ---- satellite types and phase-3 masks

std::uint64_t sigSatTypes[kLockEntries] = {
    kAll, kAll, kAll, kAll, kAll, kAll, kAll, kAll, kAll, kAll, kAll, kAll, kAll, kAll, kAll, kAll,
    kAll, kAll, kAll, kAll, kAll, kAll, kAll, kAll, kAll, kAll, kAll, kAll, kAll, kAll, kAll, kAll,
    kAll, kAll, kAll, kAll, kAll, kAll, kAll, kAll, kAll, kAll, kAll, kAll, kAll, kAll, kAll, kAll,
};
std::atomic<std::uint64_t> gpsPhase3{0}, qzsPhase3{0}, beiPhase3{0};

void setGpsSatType(int prn, int type) {
  if (prn < 1 || prn > kSats[kGps]) return;
  const int bit = prn - 1;
  setBit(sigSatTypes[lockEntry(kGps, 3)], bit, type >= 2);
  setBit(sigSatTypes[lockEntry(kGps, 4)], bit, type >= 3);
  setBit(sigSatTypes[lockEntry(kGps, 5)], bit, type >= 4 && ((gpsPhase3.load() >> bit) & 1));
}

void setGloSatType(int slot, int type) {
  if (slot < 1 || slot > 64) return;
  setBit(sigSatTypes[lockEntry(kGlo, 4)], slot - 1, type >= 2);
}

void gpsPhase3Update(std::uint64_t mask) {
  gpsPhase3 = mask;
  sigSatTypes[lockEntry(kGps, 5)] &= mask;
}

void qzsPhase3Update(std::uint64_t mask) {
  qzsPhase3 = mask;
  sigSatTypes[lockEntry(kQzss, 5)] &= mask;
}

void beiPhase3Update(std::uint64_t mask) {
  beiPhase3 = mask;
  // The GEO satellites (1..5 and above 58) carry neither B2a nor B1C.
  const std::uint64_t m = mask & ~std::uint64_t{0x1F} & ((std::uint64_t{1} << 58) - 1);
  sigSatTypes[lockEntry(kBds, 4)] = m;
  sigSatTypes[lockEntry(kBds, 5)] = m;
}

bool isBeiPhase3(int n) { return n >= 1 && n <= 64 && ((beiPhase3.load() >> (n - 1)) & 1) != 0; }

bool isBeiDou37compat(int n) { return n < 6 || n > 58; }

bool isBeiDouMSMcompat(int n, int s) {
  const bool mid = n >= 6 && n <= 58;
  switch (s) {
    case 0:
    case 3: return mid;
    case 2: return mid && !isBeiPhase3(n);
    default: return false;
  }
}

bool ignoreCompat(int n, int s) { return n < 6 || n > 58 || (s == 2 && isBeiPhase3(n)); }

// ---- LockMan

std::uint64_t LockMan::indepMask[kLockEntries];
std::uint64_t LockMan::guidedMask[kLockEntries];
std::uint64_t LockMan::comp2Mask[kLockEntries];
std::uint64_t LockMan::comp3OnlyMask[kLockEntries];
std::uint64_t LockMan::forcedMask[kLockEntries];
int LockMan::budget = 0;
int LockMan::seenState = 0;
std::atomic<std::uint32_t> LockMan::lockChangeCnt{0};
std::uint32_t LockMan::lockSeenCnt = 0xFFFFFFFFu;
int LockMan::baseCount = 0;
int LockMan::divisor = 1;
int LockMan::mainAntInputIdx = 0;
std::uint8_t LockMan::antInpMask = 3;

void LockMan::updateLocking() {
  LockSettings& s = lockSettings();
  if (s.state >= 2) {
    for (int sys = 0; sys < kChanSys; ++sys) {
      for (int g = 0; g < kFATypes; ++g) s.lock[lockEntry(sys, g)].set(s.state == 2 ? lockSysFullMask(sys) : 0);
    }
    s.state = 1;
  }
  ++lockChangeCnt;
}

bool LockMan::updateParams() {
  const std::uint32_t cnt = lockChangeCnt.load();
  if (cnt == lockSeenCnt) return false;
  const LockSettings& s = lockSettings();
  const LockSettingsExt& x = lockSettingsExt();
  lockSeenCnt = cnt;
  seenState = s.state;
  for (int k = 0; k < kLockEntries; ++k) {
    comp2Mask[k] = x.comp2[k].get();
    comp3OnlyMask[k] = x.comp3[k].get() & ~comp2Mask[k];
    forcedMask[k] = s.forced[k].get();
  }
  int count = 0;
  for (int sys = 0; sys < kChanSys; ++sys) {
    const bool on = seenState != 0 && ((s.sysEnable >> sys) & 1) != 0;
    const std::uint64_t sat = on ? s.sysMask[sys].get() : 0;
    for (int g = 0; g < kFATypes; ++g) {
      const int k = lockEntry(sys, g);
      std::uint64_t indep = lockSignalExists(sys, g) ? (sat & lockAt(k)) : 0;
      const bool unguided = g == 0 || sys == kBds || sys == kNavic || (sys & ~2) == kBds;
      const std::uint64_t guided = unguided ? 0 : (indep & x.guide[k].get());
      if (s.guideOverlap == 0) indep &= ~guided;
      indepMask[k] = indep;
      guidedMask[k] = guided;
      if (indep != 0) ++count;
    }
  }
  if (seenState == 0) {
    budget = 0;
  } else {
    int b = kBudgetMin + (count - baseCount) * (kBudgetMax - kBudgetMin) / (divisor > 0 ? divisor : 1);
    if (b < kBudgetMin) b = kBudgetMin;
    if (b > kBudgetMax) b = kBudgetMax;
    int limit = s.budgetLimit;
    if (limit < kBudgetMin) limit = kBudgetMin;
    if (b > limit) b = limit;
    budget = b;
  }
  return true;
}

void LockMan::initLocking() {
  static bool first = true;
  if (first) {
    first = false;
    updateParams();
  } else {
    updateLocking();
  }
}

void LockMan::setLockDefs() {
  LockSettings& s = lockSettings();
  LockSettingsExt& x = lockSettingsExt();
  std::memset(&s, 0, sizeof s);
  std::memset(&x, 0, sizeof x);
  s.state = 1;
  for (int sys = 0; sys < kChanSys; ++sys) {
    s.sysMask[sys].set(kAll);
    for (int g = 0; g < kFATypes; ++g) {
      s.lock[lockEntry(sys, g)].set(lockSignalExists(sys, g) ? lockSysFullMask(sys) : 0);
    }
  }
  s.sysEnable = 51;  // GPS, GLONASS, Galileo, BeiDou
  x.comp2[lockEntry(kSbas, 4)].set(kSbasL5Mask2);
  s.lock[lockEntry(kSbas, 4)].set(kSbasL5Mask);
  s.sysMask[kGps].set(0xFFFFFFFFULL);
  s.sysMask[kQzss].set(71);
  s.sysMask[kSbas].set(0x47FFFFFFFULL);
  s.budgetLimit = kBudgetMax;
  s.sw[kSwE5a] = 1;
  s.sw[kSwE5b] = 1;
  s.sw[kSwE6] = 0;
  s.sw[kSwGloL3] = 1;
  s.sw[kSwPCode] = 1;
  s.sw[kSwGpsP] = 1;
  s.sw[kSwGloP] = 1;
  s.sw[kSwCL2] = 1;
  s.sw[kSwL5] = 1;
  s.sw[kSwLex] = 0;
  s.magic = kLockSettingsMagic;
  lmuLockPCode();
  lmuLockCL2Code();
  lmuLockL5Code();
  lmuLockGalE5A();
  lmuLockGalE5B();
  lmuLockGalE6();
  lmuLockGloL3();
  lmuLockLEX();
  ++lockChangeCnt;
}

void lockingInitOnce() {
  int exist = 0, extra = 0;
  for (int sys = 0; sys < kChanSys; ++sys) {
    for (int g = 0; g < kFATypes; ++g) {
      if (!lockSignalExists(sys, g)) continue;
      ++exist;
      if (g != 0) ++extra;
    }
  }
  LockMan::baseCount = exist - extra;
  LockMan::divisor = extra > 0 ? extra : 1;
}

// ---- SatLockMan

std::uint32_t SatLockMan::rndState = 2463534242u;
SatLockMan satLockMan[kAntInputs];

void SatLockMan::Init() {
  for (int i = 0; i < kSatQueue; ++i) queue[i] = satQueueInit[static_cast<std::size_t>(i)];
  for (int n = 0; n < 2480; ++n) {
    const std::uint32_t a = xorshift(rndState) / 17388531u;
    const std::uint32_t b = xorshift(rndState) / 17388531u;
    if (a >= static_cast<std::uint32_t>(kSatQueue) || b >= static_cast<std::uint32_t>(kSatQueue)) continue;
    const std::uint32_t t = queue[a];
    queue[a] = queue[b];
    queue[b] = t;
  }
  counter[0] = counter[1] = 8;
  relock = false;
}

void lockManInitOnce() {
  lockSettingsAfterLoad();
  lockingInitOnce();
  for (SatLockMan& m : satLockMan) m.Init();
  LockMan::initLocking();
}
