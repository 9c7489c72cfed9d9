#include "positioning/signal_tables.h"

#include "settings/rcv_settings.h"
#include "positioning/placeholders.h"

namespace {

constexpr std::uint32_t kL1 = 1575420000u;   // GPS L1, Galileo E1, SBAS L1, QZSS L1, BeiDou B1C
constexpr std::uint32_t kL2 = 1227600000u;   // GPS L2, QZSS L2
constexpr std::uint32_t kL5 = 1176450000u;   // GPS L5, Galileo E5a, SBAS L5, QZSS L5, B2a, NavIC L5
constexpr std::uint32_t kG1 = 1602000000u;   // GLONASS G1 (channel 0)
constexpr std::uint32_t kG2 = 1246000000u;   // GLONASS G2 (channel 0)
constexpr std::uint32_t kG3 = 1202025000u;   // GLONASS G3
constexpr std::uint32_t kE5b = 1207140000u;  // Galileo E5b, BeiDou B2I/B2b
constexpr std::uint32_t kE5 = 1191795000u;   // Galileo E5 AltBOC, BeiDou B2 (a+b)
constexpr std::uint32_t kE6 = 1278750000u;   // Galileo E6, QZSS L6
constexpr std::uint32_t kB1I = 1561098000u;  // BeiDou B1I
constexpr std::uint32_t kB3 = 1268520000u;   // BeiDou B3I
constexpr std::uint32_t kS = 2492028000u;    // NavIC S band

constexpr std::int16_t N = kNoSlot;

// Signals of a band without a slot of their own are carried, when a decoder asks for the
// band, by the slot of the band's main civil code: for GPS L2 that is the L2C slot, which
// takes 2S/2L from bases that send no 2X.
constexpr SysRinexSignalType kGps[25] = {
    {"", "1 ", 0, 0, 0, N, 0, {}, 0.0f, kL1},
    {"ca", "1C", 2, 1, 0, 0, 0, {}, 0.0f, kL1},
    {"l1c", "1S", 30, 0, 0, N, 0, {}, 0.0f, kL1},
    {"l1c", "1L", 31, 0, 0, N, 0, {}, 0.0f, kL1},
    {"l1c", "1X", 32, 3, 0, 5, 0, {}, -0.25f, kL1},
    {"p1", "1P", 3, 0, 0, N, 0, {}, 0.0f, kL1},
    {"p1", "1W", 4, 2, 0, 1, 0, {}, -0.25f, kL1},
    {"p1", "1Y", 0, 0, 0, N, 0, {}, 0.0f, kL1},
    {"p1", "1M", 0, 0, 0, N, 0, {}, 0.0f, kL1},
    {"p1", "1N", 0, 0, 0, N, 0, {}, 0.0f, kL1},
    {"", "2 ", 0, 0, 0, N, 3, {}, 0.0f, kL2},
    {"l2c", "2C", 8, 0, 0, N, 3, {}, 0.0f, kL2},
    {"", "2D", 0, 0, 0, N, 3, {}, 0.0f, kL2},
    {"l2c", "2S", 15, 0, 0, N, 3, {}, 0.0f, kL2},
    {"l2c", "2L", 16, 0, 0, N, 3, {}, 0.0f, kL2},
    {"l2c", "2X", 17, 4, 0, 3, 3, {}, 0.25f, kL2},
    {"p2", "2P", 9, 0, 0, N, 3, {}, 0.0f, kL2},
    {"p2", "2W", 10, 5, 0, 2, 3, {}, 0.0f, kL2},
    {"p2", "2Y", 0, 0, 0, N, 3, {}, 0.0f, kL2},
    {"p2", "2M", 0, 0, 0, N, 3, {}, 0.0f, kL2},
    {"p2", "2N", 0, 0, 0, N, 3, {}, 0.0f, kL2},
    {"", "5 ", 0, 0, 0, N, 4, {}, 0.0f, kL5},
    {"l5", "5I", 22, 0, 0, N, 4, {}, 0.0f, kL5},
    {"l5", "5Q", 23, 0, 0, N, 4, {}, 0.0f, kL5},
    {"l5", "5X", 24, 6, 0, 4, 4, {}, 0.25f, kL5},
};

// GLONASS FDMA rows carry the channel-0 frequency; get_SvRatedFrequency adds the channel.
// L3 3X keeps the receiver's id 14 (an id RTCM 10403.3 leaves reserved for GLONASS).
constexpr SysRinexSignalType kGlo[10] = {
    {"", "1 ", 0, 0, 0, N, 0, {}, 0.0f, kG1},
    {"ca", "1C", 2, 1, 0, 0, 0, {}, 0.0f, kG1},
    {"p1", "1P", 3, 2, 0, 1, 0, {}, -0.25f, kG1},
    {"", "2 ", 0, 0, 0, N, 3, {}, 0.0f, kG2},
    {"l2c", "2C", 8, 3, 0, 3, 3, {}, 0.25f, kG2},
    {"p2", "2P", 9, 4, 0, 2, 3, {}, 0.0f, kG2},
    {"", "3 ", 0, 0, 0, N, 4, {}, 0.0f, kG3},
    {"l3", "3I", 0, 0, 0, N, 4, {}, 0.0f, kG3},
    {"l3", "3Q", 0, 0, 0, N, 4, {}, 0.0f, kG3},
    {"l3", "3X", 14, 0, 0, 4, 4, {}, 0.25f, kG3},
};

constexpr SysRinexSignalType kGal[21] = {
    {"", "1 ", 0, 0, 0, N, 0, {}, 0.0f, kL1},
    {"e1", "1A", 3, 0, 0, N, 0, {}, 0.0f, kL1},
    {"e1", "1B", 4, 0, 0, N, 0, {}, 0.0f, kL1},
    {"e1", "1C", 2, 0, 0, N, 0, {}, 0.0f, kL1},
    {"e1", "1X", 5, 7, 0, 0, 0, {}, 0.5f, kL1},
    {"e1", "1Z", 6, 0, 0, N, 0, {}, 0.0f, kL1},
    {"", "5 ", 0, 0, 0, N, 4, {}, 0.0f, kL5},
    {"e5a", "5I", 22, 0, 0, N, 4, {}, 0.0f, kL5},
    {"e5a", "5Q", 23, 0, 0, N, 4, {}, 0.0f, kL5},
    {"e5a", "5X", 24, 1, 0, 4, 4, {}, 0.25f, kL5},
    {"", "7 ", 0, 0, 0, N, 2, {}, 0.0f, kE5b},
    {"e5b", "7I", 14, 0, 0, N, 2, {}, 0.0f, kE5b},
    {"e5b", "7Q", 15, 0, 0, N, 2, {}, 0.0f, kE5b},
    {"e5b", "7X", 16, 2, 0, 2, 2, {}, 0.25f, kE5b},
    {"", "8 ", 0, 0, 0, N, N, {}, 0.0f, kE5},
    {"", "6 ", 0, 0, 0, N, 3, {}, 0.0f, kE6},
    {"e6", "6A", 9, 0, 0, N, 3, {}, 0.0f, kE6},
    {"e6", "6B", 10, 0, 0, N, 3, {}, 0.0f, kE6},
    {"e6", "6C", 8, 0, 0, N, 3, {}, 0.0f, kE6},
    {"e6", "6X", 11, 5, 0, 3, 3, {}, 0.5f, kE6},
    {"e6", "6Z", 12, 0, 0, N, 3, {}, 0.0f, kE6},
};

constexpr SysRinexSignalType kSbs[6] = {
    {"", "1 ", 0, 0, 0, N, 0, {}, 0.0f, kL1},
    {"l1", "1C", 2, 1, 0, 0, 0, {}, 0.0f, kL1},
    {"", "5 ", 0, 0, 0, N, 4, {}, 0.0f, kL5},
    {"l5", "5I", 22, 0, 0, N, 4, {}, 0.0f, kL5},
    {"l5", "5Q", 23, 0, 0, N, 4, {}, 0.0f, kL5},
    {"l5", "5X", 24, 2, 0, 4, 4, {}, 0.25f, kL5},
};

constexpr SysRinexSignalType kQzs[17] = {
    {"", "1 ", 0, 0, 0, N, 0, {}, 0.0f, kL1},
    {"ca", "1C", 2, 1, 0, 0, 0, {}, 0.0f, kL1},
    {"l1c", "1S", 30, 0, 0, N, 0, {}, 0.0f, kL1},
    {"l1c", "1L", 31, 0, 0, N, 0, {}, 0.0f, kL1},
    {"l1c", "1X", 32, 3, 0, 5, 0, {}, -0.25f, kL1},
    {"", "2 ", 0, 0, 0, N, 3, {}, 0.0f, kL2},
    {"l2c", "2S", 15, 0, 0, N, 3, {}, 0.0f, kL2},
    {"l2c", "2L", 16, 0, 0, N, 3, {}, 0.0f, kL2},
    {"l2c", "2X", 17, 4, 0, 3, 3, {}, 0.25f, kL2},
    {"", "5 ", 0, 0, 0, N, 4, {}, 0.0f, kL5},
    {"l5", "5I", 22, 0, 0, N, 4, {}, 0.0f, kL5},
    {"l5", "5Q", 23, 0, 0, N, 4, {}, 0.0f, kL5},
    {"l5", "5X", 24, 6, 0, 4, 4, {}, 0.25f, kL5},
    {"", "6 ", 0, 0, 0, N, 2, {}, 0.0f, kE6},
    {"l6", "6S", 9, 0, 0, N, 2, {}, 0.0f, kE6},
    {"l6", "6L/6E", 10, 0, 0, N, 2, {}, 0.0f, kE6},
    {"l6", "6X/6Z", 11, 0, 0, 2, 2, {}, 0.0f, kE6},
};

// B2b 7Z keeps the receiver's id 27; 7D is 25 as in the standard's BeiDou table.
constexpr SysRinexSignalType kBds[25] = {
    {"", "1 ", 0, 0, 0, N, 5, {}, 0.0f, kL1},
    {"b12", "1C", 0, 0, 0, N, 5, {}, 0.0f, kL1},
    {"b1c", "1D", 30, 0, 0, N, 5, {}, 0.0f, kL1},
    {"b1c", "1P", 31, 0, 0, N, 5, {}, 0.0f, kL1},
    {"b1c", "1X", 32, 0, 0, 5, 5, {}, 0.25f, kL1},
    {"", "2 ", 0, 0, 0, N, 0, {}, 0.0f, kB1I},
    {"b1", "2I", 2, 1, 0, 0, 0, {}, 0.0f, kB1I},
    {"b1", "2Q", 3, 0, 0, N, 0, {}, 0.0f, kB1I},
    {"b1", "2X", 4, 0, 0, N, 0, {}, 0.0f, kB1I},
    {"", "5 ", 0, 0, 0, N, 4, {}, 0.0f, kL5},
    {"b2a", "5D", 22, 0, 0, N, 4, {}, 0.0f, kL5},
    {"b2a", "5P", 23, 0, 0, N, 4, {}, 0.0f, kL5},
    {"b2a", "5X", 24, 0, 0, 4, 4, {}, 0.25f, kL5},
    {"", "7 ", 0, 0, 0, N, 2, {}, 0.0f, kE5b},
    {"b2", "7I", 14, 2, 0, 2, 2, {}, 0.0f, kE5b},
    {"b2", "7Q", 15, 0, 0, N, 2, {}, 0.0f, kE5b},
    {"b2", "7X", 16, 0, 0, N, 2, {}, 0.0f, kE5b},
    {"b2b", "7D", 25, 0, 0, N, 2, {}, 0.0f, kE5b},
    {"b2b", "7P", 0, 0, 0, N, 2, {}, 0.0f, kE5b},
    {"b2b", "7Z", 27, 0, 0, 2, 2, {}, 0.25f, kE5b},
    {"", "8 ", 0, 0, 0, N, N, {}, 0.0f, kE5},
    {"", "6 ", 0, 0, 0, N, 3, {}, 0.0f, kB3},
    {"b3", "6I", 8, 5, 0, 3, 3, {}, 0.0f, kB3},
    {"b3", "6Q", 9, 0, 0, N, 3, {}, 0.0f, kB3},
    {"b3", "6X", 10, 0, 0, N, 3, {}, 0.0f, kB3},
};

constexpr SysRinexSignalType kIrn[2] = {
    {"s", "9A", 8, 1, 0, N, N, {}, 0.0f, kS},
    {"l5", "5A", 22, 2, 0, 4, 4, {}, 0.0f, kL5},
};

constexpr const SysRinexSignalType* kTables[kSignalSystems] = {kGps, kGlo, kGal, kSbs,
                                                               kQzs, kBds, kIrn};
constexpr int kRows[kSignalSystems] = {25, 10, 21, 6, 17, 25, 2};

struct IndexTables {
  std::uint8_t msm[kSignalSystems][kMsmSignalIds];
  std::uint8_t rtcm24Slot[kSignalSystems][kChanSlots];
  std::uint8_t rtcm24Signal[kSignalSystems][kBaseSlots];
  std::uint8_t slotSignal[kSignalSystems][kChanSlots][2];
};

constexpr IndexTables buildIndexTables() {
  IndexTables t{};
  for (int s = 0; s < kSignalSystems; ++s) {
    for (int m = 0; m < kMsmSignalIds; ++m) t.msm[s][m] = kNoRow;
    for (int c = 0; c < kChanSlots; ++c) {
      t.rtcm24Slot[s][c] = 0;
      t.slotSignal[s][c][0] = kNoRow;
      t.slotSignal[s][c][1] = kNoRow;
    }
    for (int b = 0; b < kBaseSlots; ++b) t.rtcm24Signal[s][b] = kNoRow;
    for (int r = 0; r < kRows[s]; ++r) {
      const SysRinexSignalType& row = kTables[s][r];
      if (row.msmId >= 1 && row.msmId <= kMsmSignalIds && t.msm[s][row.msmId - 1] == kNoRow) {
        t.msm[s][row.msmId - 1] = static_cast<std::uint8_t>(r);
      }
      if (row.chanSlot >= 0 && row.chanSlot < kChanSlots) {
        std::uint8_t(&pair)[2] = t.slotSignal[s][row.chanSlot];
        if (pair[0] == kNoRow) {
          pair[0] = static_cast<std::uint8_t>(r);
          t.rtcm24Slot[s][row.chanSlot] = row.baseSlot;
        } else if (pair[1] == kNoRow) {
          pair[1] = static_cast<std::uint8_t>(r);
        }
      }
      if (row.baseSlot >= 1 && row.baseSlot < kBaseSlots &&
          t.rtcm24Signal[s][row.baseSlot] == kNoRow) {
        t.rtcm24Signal[s][row.baseSlot] = static_cast<std::uint8_t>(row.chanSlot);
      }
    }
  }
  return t;
}

constinit IndexTables gIndex = buildIndexTables();

constexpr double kLight = 299792458.0;
constexpr double kHalfLight = 149896229.0;

bool validSystem(int system) { return system >= 0 && system < kSignalSystems; }

}  // namespace

const SysRinexSignalType* const SysRinexSignal[kSignalSystems] = {kGps, kGlo, kGal, kSbs,
                                                                  kQzs, kBds, kIrn};
const int SysRinexSignalNum[kSignalSystems] = {25, 10, 21, 6, 17, 25, 2};

std::uint8_t (&MsmSignalDataIndex)[kSignalSystems][kMsmSignalIds] = gIndex.msm;
std::uint8_t (&Rtcm24SlotIndex)[kSignalSystems][kChanSlots] = gIndex.rtcm24Slot;
std::uint8_t (&Rtcm24SignalIndex)[kSignalSystems][kBaseSlots] = gIndex.rtcm24Signal;
std::uint8_t (&SlotSignalDataIndex)[kSignalSystems][kChanSlots][2] = gIndex.slotSignal;

int DebugPhaseOffsetSys = -1;
int DebugPhaseOffsetSignal = 0;
float DebugPhaseOffset = 0.0f;

SignalTableLinks signalTableLinks;

void signalDataInitOnce() { gIndex = buildIndexTables(); }

int sysNav2Cdat(int system) {
  static constexpr int kOrder[kSignalSystems] = {0, 1, 3, 2, 5, 4, 6};
  return validSystem(system) ? kOrder[system] : -1;
}

int getMsmSignalIdx(int slot, int satellite, int system) {
  if (!validSystem(system) || slot < 0 || slot >= kChanSlots) return 0;
  std::uint8_t row = SlotSignalDataIndex[system][slot][0];
  if (system == 5 && slot == 2) {
    const std::uint8_t second = SlotSignalDataIndex[system][slot][1];
    if (second != kNoRow && signalTableLinks.isBeiPhase3(satellite)) row = second;
  }
  return row == kNoRow ? 0 : SysRinexSignal[system][row].msmId;
}

int getMsmSlotIdx(int msmId, int system, bool useBand, float& phaseOffset) {
  phaseOffset = 0.0f;
  // Both come from the wire in the RTCM 3 decoder: neither may index the table unchecked.
  if (!validSystem(system) || msmId < 1 || msmId > kMsmSignalIds) return -1;
  const std::uint8_t r = MsmSignalDataIndex[system][msmId - 1];
  if (r == kNoRow) return -1;
  const SysRinexSignalType& row = SysRinexSignal[system][r];
  int slot = row.chanSlot;
  if (slot == kNoSlot && useBand) slot = row.bandSlot;
  const double wavelength = kLight / static_cast<double>(row.frequency);
  double offset = wavelength * row.phaseOffset;
  if (system == DebugPhaseOffsetSys && msmId == DebugPhaseOffsetSignal) {
    offset += wavelength * DebugPhaseOffset;
  }
  phaseOffset = static_cast<float>(offset);
  return slot;
}

double getMsmCompatPhaseOffset(int slot, int satellite, int system, int kind) {
  if (system != 5) return 0.0;
  bool shift = false;
  if (kind == 0) {
    shift = signalTableLinks.isBeiDou37compat(satellite);
  } else if (kind < 0 || kind >= 3) {
    shift = signalTableLinks.isBeiDouMSMcompat(satellite, slot);
  }
  if (!shift) return 0.0;
  const double f = get_SvRatedFrequency(slot, system, satellite);
  // A slot without a signal has no wavelength to shift by.
  if (f <= 1.0) return 0.0;
  return kHalfLight / f;
}

int ignoreMsmCell(int slot, int satellite, int system) {
  if (system != 5 || satellite < 1) return 0;
  if (RcvSet.msmCompat != 5) return 0;
  return signalTableLinks.ignoreCompat(satellite, slot) ? 1 : 0;
}

std::uint64_t get_SlotMaskFromNavStreamMask(int system, std::uint8_t mask) {
  std::uint32_t slots = 0;
  std::uint32_t high = mask;
  auto take = [&](int bit, int slot) {
    if (mask & (1u << bit)) slots |= 1u << slot;
  };
  switch (system) {
    case 0:  // GPS
    case 4:  // QZSS
      take(0, 0);
      take(1, 3);
      take(2, 4);
      take(3, 5);
      high = static_cast<std::uint32_t>(mask) << 28;
      break;
    case 1:  // GLONASS
      take(0, 0);
      take(2, 3);
      take(1, 4);
      break;
    case 2:  // Galileo
      take(0, 0);
      take(2, 2);
      take(1, 4);
      break;
    case 3:  // SBAS
      slots = 1u;
      break;
    case 5:  // BeiDou
      take(0, 0);
      take(1, 2);
      take(6, 2);
      take(2, 3);
      take(5, 4);
      take(3, 5);
      break;
    case 6:  // NavIC
      take(0, 4);
      break;
    default:
      break;
  }
  return (static_cast<std::uint64_t>(high) << 32) | slots;
}

double get_SvRatedFrequency(int band, int system, int slot) {
  if (!validSystem(system) || band < 0 || band >= kChanSlots) return 1.0;
  if (system == 1 && band != 4) {
    const double f1 = 1.602e9 + (slot - 7) * 562500.0;
    return band <= 1 ? f1 : f1 * 7.0 / 9.0;
  }
  const std::uint8_t row = SlotSignalDataIndex[system][band][0];
  if (row == kNoRow) return 1.0;
  return static_cast<double>(SysRinexSignal[system][row].frequency);
}
