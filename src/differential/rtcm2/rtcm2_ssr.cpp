// Decoders of the RTCM 2 state-space messages 38, 39 and 50 to 55. Every field is read with the
// decoder's word reader (position 0 is data word 1 bit 1) and must lie within the message's N
// data words: the satellite count comes from a mask, and a mask that asks for more values than
// the words hold drops the whole message before anything is stored.
#include "differential/rtcm2/rtcm2_ssr.h"

#include <bit>
#include <cmath>

#include "differential/rtcm2/rtcm2_decoder.h"
#include "navigation_data/sv_id.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/time_scales.h"

namespace Rtcm2Ssr {

namespace {
constexpr std::int64_t k5s = 5000;
constexpr std::int64_t kSnapBack = 2000;  // ms past a boundary still taken back to it
constexpr int kZCountHour = 6000;

// Signal slots of messages 53 and 54 per system index (rows for GPS, GLONASS and index 5; the
// other systems have none).
constexpr std::uint8_t N = kNoSlot;
constexpr std::uint8_t kCodeSlots[3][8] = {
    {0, 1, 2, 3, 4, N, N, N}, {0, 1, 3, 2, N, N, N, N}, {0, 0, N, 2, 2, N, N, N}};
constexpr std::uint8_t kPhaseSlots[3][8] = {
    {0, 2, 4, N, N, N, N, N}, {0, 2, 4, N, N, N, N, N}, {0, 2, 3, N, N, N, N, N}};

int slotRow(int sys) {
  if (sys == kSysGps) return 0;
  if (sys == kSysGlonass) return 1;
  if (sys == kSysBeidou) return 2;
  return -1;
}
}  // namespace

int systemOfField(int field) {
  constexpr int kSystems[5] = {kSysGps, kSysGlonass, kSysBeidou, kSysGalileo, kSysQzss};
  return field >= 0 && field < 5 ? kSystems[field] : -1;
}

std::uint8_t codeBiasSlot(int sys, int signal) {
  const int row = slotRow(sys);
  return row < 0 || signal < 0 || signal > 7 ? kNoSlot : kCodeSlots[row][signal];
}

std::uint8_t phaseBiasSlot(int sys, int signal) {
  const int row = slotRow(sys);
  return row < 0 || signal < 0 || signal > 7 ? kNoSlot : kPhaseSlots[row][signal];
}

std::int64_t snapTo5s(std::int64_t ms, int sys) {
  if (ms < 0) return -1;
  const std::int64_t past = ms % k5s;
  std::int64_t t = past > kSnapBack ? ms - past + k5s : ms - past;
  const std::int64_t cycle = static_cast<std::int64_t>(SYS_CYCLE_SEC[sys >= 0 && sys < SYS_NUM ? sys : 0]) * 1000;
  if (t >= cycle) t -= cycle;
  return t;
}

int foldZCount(int a, int b) {
  int d = ((a - b) % kZCountHour + kZCountHour) % kZCountHour;
  if (d >= kZCountHour / 2) d -= kZCountHour;
  return d;
}

bool partialInTime(int zPartial, int since, int zBase) { return foldZCount(zPartial, zBase) - since >= 0; }

double foldClockDiff(double d, double range) {
  if (d > range / 2) d -= range;
  if (d < -range / 2) d += range;
  return d;
}

double clockStepAddition(double d, double residual, double step, std::uint16_t marker, int source) {
  if (marker == kNoStep) return std::fabs(step) > kCommonStep ? d : 0.0;
  if (marker == source && std::fabs(step) <= kCommonStep) {
    // The engine follows this source's steps: only a satellite's own jump beyond the motion
    // common to the message is absorbed here; the common motion stays in the clock values.
    return std::fabs(residual) <= kSatStep ? 0.0 : residual;
  }
  return d;
}

double commonClockStep(const double* d, int n, double& smallest) {
  smallest = 0.0;
  if (n <= 0) return 0.0;
  smallest = d[0];
  for (int i = 1; i < n; ++i)
    if (std::fabs(d[i]) < std::fabs(smallest)) smallest = d[i];
  double sum = 0.0;
  for (int i = 0; i < n; ++i) sum += d[i] - smallest;
  return sum / n;
}

}  // namespace Rtcm2Ssr

namespace {

using namespace Rtcm2Ssr;
using TS = RTCMData::TSSatCorrectionType;
using Src = RTCMData::TSSourceStateDataType;

constexpr std::int64_t kWeekMs = 604800000;
constexpr std::int64_t kDayMs = 86400000;
constexpr int kMaxMaskSats = 32;

// The mask of a message whose first bit stands for satellite index 0, as bit i for index i.
std::uint32_t firstBitFirst(std::uint32_t raw, int width) {
  std::uint32_t m = 0;
  for (int i = 0; i < width; ++i)
    if ((raw >> (width - 1 - i) & 1u) != 0) m |= 1u << i;
  return m;
}

bool satIdOf(int sys, int index, SvIdType& id) {
  if (sys < 0 || sys >= SYS_NUM || index < 0 || index >= SYS_SAT_NUM[sys]) return false;
  return svIdFromSatNumber(sys, SYS_SAT_MIN[sys] + index, id);
}

std::uint32_t clockWrapMm(int sys) {
  if (sys == kSysGps) return RTCMData::kTSClockWrapGpsMm;
  if (sys == kSysGlonass) return RTCMData::kTSClockWrapGloMm;
  return 0;
}

// The source record keeps GPS time (its age is taken against GPS time): a GLONASS message time
// is carried over by its age on the GLONASS scale.
std::int64_t gpsTimeOf(int sys, std::int64_t t) {
  if (t < 0) return -1;
  if (sys != kSysGlonass) return t % kWeekMs;
  const long gps = TimeScales::now(tsGps);
  const long glo = TimeScales::now(tsGlonass);
  if (gps < 0 || glo < 0) return -1;
  std::int64_t age = ((glo % kDayMs - t) % kDayMs + kDayMs) % kDayMs;
  if (age >= kDayMs / 2) age -= kDayMs;
  return ((gps % kWeekMs - age) % kWeekMs + kWeekMs) % kWeekMs;
}

void emptyClock(TS& c, int buffer) {
  c.uClockId[buffer] = 65535;
  c.ulClockTime[buffer] = 0;
  c.ulClock[buffer] = 0;
}

// The record's clock of `buffer` is one this source can build on at `t`.
bool clockOfSource(const TS& c, int sys, std::int64_t t, int buffer, int source) {
  return c.is_ReadyClockCorr(sys, static_cast<int>(t), buffer) && c.uClockId[buffer] == source;
}

// Satellites of `sys` with a record that are not in `kept` lose the clock of `buffer`.
void emptyClocksOutside(RtcmTSSatCorrectionServerType& server, int sys, std::uint32_t kept, int buffer) {
  for (int i = 0; i < SYS_SAT_NUM[sys]; ++i) {
    if (i < kMaxMaskSats && (kept >> i & 1u) != 0) continue;
    SvIdType id;
    TS c;
    if (!satIdOf(sys, i, id) || server.Take(&id, &c) == 0) continue;
    emptyClock(c, buffer);
    server.Put(&id, &c);
  }
}

// The values of one checked message, stored by its kind. U and S read unsigned and signed fields
// with the decoder's word reader.
template <class U, class S>
struct Body {
  const U& u;
  const S& s;
  RtcmTSSatCorrectionServerType& server;
  RTCMData::TSSourceStateDataType& st;
  TS& c;
  int type, sys, first, per, avail;
  std::int64_t t;
  std::uint32_t mask;
  std::uint8_t slot;

  int now() const { return static_cast<int>(t); }

  void orbits() {
    const double posUnit[2] = {1.0 / 128, 1.0 / 32};
    int k = 0;
    for (int i = 0; i < kMaxMaskSats; ++i) {
      if ((mask >> i & 1u) == 0) continue;
      const int p = first + per * k++;
      int issue = 0, scale = 0;
      std::int32_t pos[3], rate[3];
      if (type == kOrbitGps) {
        issue = static_cast<int>(u(p, 8));
        scale = static_cast<int>(u(p + 8, 1));
        for (int j = 0; j < 3; ++j) pos[j] = s(p + 9 + 11 * j, 11), rate[j] = s(p + 42 + 6 * j, 6);
      } else {
        issue = static_cast<int>(u(p, 7));
        for (int j = 0; j < 3; ++j) pos[j] = s(p + 7 + 13 * j, 13), rate[j] = s(p + 46 + 6 * j, 6);
        scale = static_cast<int>(u(p + 64, 1));
      }
      SvIdType id;
      if (!satIdOf(sys, i, id)) continue;
      if (server.Take(&id, &c) == 0) c.init();
      // Another issue of ephemeris: the corrections of the old one stay usable as the previous set.
      if ((c.uReady & TS::kOrbitReady0) != 0 && c.iIssue[0] >= 0 && c.iIssue[0] != issue) {
        c.iIssue[1] = c.iIssue[0];
        c.ulOrbitTime[1] = c.ulOrbitTime[0];
        for (int j = 0; j < 3; ++j) c.fOrbit[1][j] = c.fOrbit[0][j], c.fOrbitRate[1][j] = c.fOrbitRate[0][j];
        c.set_ReadyOrbitCorr(1);
      }
      c.iIssue[0] = static_cast<std::int16_t>(issue);
      for (int j = 0; j < 3; ++j) {
        c.fOrbit[0][j] = static_cast<float>(pos[j] * posUnit[scale]);
        c.fOrbitRate[0][j] = static_cast<float>(rate[j] / 8192.0);
      }
      RTCMData::set_TimeTag(c.ulOrbitTime[0], now());
      c.set_ReadyOrbitCorr(0);
      server.Put(&id, &c);
    }
  }

  // The new values go to the buffer after the current one, which then becomes current.
  void clocks() {
    const int cur = st.aState[sys] & 1, other = cur ^ 1;
    const std::uint32_t wrap = clockWrapMm(sys);
    // Changes of the satellites whose current clock this source sent, then their common step.
    std::uint32_t value[kMaxMaskSats] = {};
    double d[kMaxMaskSats] = {};
    bool ready[kMaxMaskSats] = {};
    double readyD[kMaxMaskSats];
    int nReady = 0, k = 0;
    for (int i = 0; i < kMaxMaskSats; ++i) {
      if ((mask >> i & 1u) == 0) continue;
      value[i] = u(first + per * k++, per) % wrap;
      SvIdType id;
      if (!satIdOf(sys, i, id) || server.Take(&id, &c) == 0 || !clockOfSource(c, sys, t, cur, st.uId)) continue;
      d[i] = foldClockDiff((static_cast<double>(value[i]) - c.ulClock[cur]) * 0.001, wrap * 0.001);
      ready[i] = true;
      readyD[nReady++] = d[i];
    }
    double smallest = 0.0;
    const double step = commonClockStep(readyD, nReady, smallest);
    std::uint32_t stored = 0;
    for (int i = 0; i < kMaxMaskSats; ++i) {
      if ((mask >> i & 1u) == 0) continue;
      SvIdType id;
      if (!satIdOf(sys, i, id)) continue;
      if (server.Take(&id, &c) == 0) c.init();
      if (ready[i])
        c.fClockOffset += static_cast<float>(clockStepAddition(d[i], d[i] - smallest, step, c.uStepId, st.uId));
      c.ulClock[other] = value[i];
      RTCMData::set_TimeTag(c.ulClockTime[other], now());
      c.set_ReadyClockCorr(st.uId, other);
      if (server.Put(&id, &c) != 0) stored |= 1u << i;
    }
    swapClocks(stored, other);
  }

  // Differences to the current clocks of the base message's satellites.
  void partial(int zCount) {
    const int base = static_cast<int>(u(3, 6));
    const int since = static_cast<int>(u(9, 6));
    const std::uint32_t wrap = clockWrapMm(sys);
    if (st.aClockMsg[sys] == 0 || base != st.aClockMsg[sys] || (st.uBaseDecoded >> sys & 1u) == 0 || wrap == 0 ||
        !partialInTime(zCount, since, st.aClockZCount[sys]))
      return;
    const std::uint32_t baseMask = st.aClockMask[sys];
    if (first + per * std::popcount(baseMask) > avail) return;
    const int cur = st.aState[sys] & 1, other = cur ^ 1;
    std::uint32_t updated = 0;
    int k = 0;
    for (int i = 0; i < kMaxMaskSats; ++i) {
      if ((baseMask >> i & 1u) == 0) continue;
      const std::int32_t diff = s(first + per * k++, per);
      SvIdType id;
      // -256: the satellite's clock is invalid; it is emptied with those not updated.
      if (diff == -256 || !satIdOf(sys, i, id) || server.Take(&id, &c) == 0 || !clockOfSource(c, sys, t, cur, st.uId))
        continue;
      const std::int64_t v = (static_cast<std::int64_t>(c.ulClock[cur]) + diff) % wrap;
      c.ulClock[other] = static_cast<std::uint32_t>(v < 0 ? v + wrap : v);
      RTCMData::set_TimeTag(c.ulClockTime[other], now());
      c.set_ReadyClockCorr(st.uId, other);
      if (server.Put(&id, &c) != 0) updated |= 1u << i;
    }
    swapClocks(updated, other);
  }

  void swapClocks(std::uint32_t kept, int other) {
    emptyClocksOutside(server, sys, kept, other);
    st.aState[sys] = static_cast<std::uint8_t>(other);
    PVTDataInstance.rtcmTsSourceState.Put(&st);
  }

  // Values follow in the order of the mask as sent: its last bit, index 0, comes last.
  void biases() {
    int k = 0;
    for (int i = kMaxMaskSats - 1; i >= 0; --i) {
      if ((mask >> i & 1u) == 0) continue;
      const int p = first + per * k++;
      SvIdType id;
      if (!satIdOf(sys, i, id)) continue;
      if (server.Take(&id, &c) == 0) c.init();
      if (type == kCodeBias) {
        c.fCodeBias[slot] = static_cast<float>(s(p, 12) * 0.025);
        c.uCodeBiasMask = static_cast<std::uint8_t>(c.uCodeBiasMask | 1u << slot);
      } else {
        c.fPhaseBias[slot] = static_cast<float>(s(p, 11) * 0.001);
        c.uPhaseBiasMask = static_cast<std::uint8_t>(c.uPhaseBiasMask | 1u << slot);
      }
      server.Put(&id, &c);
    }
  }

  // Refines the last orbit message, when it came from the same station with the same Z-count.
  void refinement(int stationId, int zCount) {
    if ((st.uBaseDecoded & Src::kOrbitDecoded) == 0 || stationId != st.uOrbitStation || zCount != st.uOrbitZCount)
      return;
    const std::uint32_t orbitMask = st.ulOrbitMask;
    if (per * std::popcount(orbitMask) > avail) return;
    int k = 0;
    for (int i = 0; i < kMaxMaskSats; ++i) {
      if ((orbitMask >> i & 1u) == 0) continue;
      const int p = per * k++;
      SvIdType id;
      if (!satIdOf(sys, i, id) || server.Take(&id, &c) == 0 || !c.is_ReadyOrbitCorr(sys, now(), 0)) continue;
      for (int j = 0; j < 3; ++j) {
        c.fOrbit[0][j] += static_cast<float>((s(p + 3 * j, 3) + 0.5) / 1024.0);
        c.fOrbitRate[0][j] += static_cast<float>((s(p + 9 + 3 * j, 3) + 0.5) / 65536.0);
      }
      server.Put(&id, &c);
    }
  }
};

}  // namespace

void RTCM_Decoder::decodeStateSpace() {
  const int type = header.type;
  const int avail = dataBits();
  RTCMData::TSSourceStateDataType& st = TSSourceState;
  RtcmTSSatCorrectionServerType& server = PVTDataInstance.rtcmTsSatCorrection;
  const bool orbit = type == kOrbitGps || type == kOrbitGlonass;
  const bool clock = type == kClockGps || type == kClockGlonass;

  // Layout: system, source, mask (bit i for satellite index i; for 53 and 54 as sent, whose
  // last bit is index 0), the first value's position and the bits per satellite.
  int sys = -1, source = -1, first = 0, per = 0;
  std::uint32_t mask = 0;
  std::uint8_t slot = kNoSlot;
  switch (type) {
    case kOrbitGps:
      sys = kSysGps, first = 48, per = 60;
      if (avail >= first) mask = firstBitFirst(bits(16, 32), 32);
      break;
    case kOrbitGlonass:
      // Satellites follow one another without gaps: groups of eight 65-bit satellites would not
      // fit the 21 words said to hold them.
      sys = kSysGlonass, first = 32, per = 65;
      if (avail >= first) mask = firstBitFirst(bits(8, 24), 24);
      break;
    case kClockGps:
      sys = kSysGps, first = 40, per = 16;
      if (avail >= first) mask = firstBitFirst(bits(8, 32), 32);
      break;
    case kClockGlonass:
      sys = kSysGlonass, first = 48, per = 18;
      if (avail >= first) mask = firstBitFirst(bits(24, 24), 24);
      break;
    case kCodeBias:
    case kPhaseBias:
      if (avail < 8) return;
      source = static_cast<int>(bits(0, 2));
      sys = systemOfField(static_cast<int>(bits(2, 3)));
      slot = type == kCodeBias ? codeBiasSlot(sys, static_cast<int>(bits(5, 3)))
                               : phaseBiasSlot(sys, static_cast<int>(bits(5, 3)));
      if (sys < 0 || slot == kNoSlot) return;
      // Of the 35-bit field only the last 32 bits stand for satellites.
      first = type == kCodeBias ? 43 : 78, per = type == kCodeBias ? 12 : 15;
      if (avail >= first) mask = bits(11, 32);
      break;
    case kClockPartial:
      if (avail < 15) return;
      sys = systemOfField(static_cast<int>(bits(0, 3)));
      if (sys < 0) return;
      first = 15, per = 9;
      break;
    case kOrbitRefinement:
      if (st.uOrbitSystem >= SYS_NUM) return;
      sys = st.uOrbitSystem, first = 0, per = 18;
      break;
    default:
      return;
  }
  if (avail < first) return;
  if (orbit || clock) source = static_cast<int>(bits(2, 2));
  const bool maskInMessage = type != kClockPartial && type != kOrbitRefinement;
  if (maskInMessage && first + per * std::popcount(mask) > avail) return;

  // Head: the message time on its system's scale (orbit and clock on their 5 s epoch), the
  // source, and what later partials and refinements refer to.
  std::int64_t t = get_RefMsTime(sys, header.zCount);
  if (orbit || clock) t = snapTo5s(t, sys);
  if (source >= 0 && source != st.uId) {
    // A new source: what the old one left is no longer valid.
    const std::uint8_t disabled = st.bDisabled;
    st.init();
    st.bDisabled = disabled;
    st.uId = static_cast<std::uint16_t>(source);
    for (int s = 0; s < SYS_SAT_TOTAL; ++s) {
      SvIdType id;
      if (!svIdFromSatSlot(s, id) || server.Take(&id, &TSSatCorr) == 0) continue;
      TSSatCorr.init();
      server.Put(&id, &TSSatCorr);
    }
  }
  RTCMData::set_TimeTag(st.ulTime, static_cast<int>(gpsTimeOf(sys, t)));
  const std::uint8_t base = clock ? static_cast<std::uint8_t>(1u << sys) : orbit ? Src::kOrbitDecoded : 0;
  st.uBaseDecoded = static_cast<std::uint8_t>(t >= 0 ? st.uBaseDecoded | base : st.uBaseDecoded & ~base);
  if (clock) {
    st.aClockMsg[sys] = static_cast<std::uint8_t>(type);
    st.aClockMask[sys] = mask;
    st.aClockZCount[sys] = header.zCount;
  }
  if (orbit) {
    st.uOrbitSystem = static_cast<std::uint8_t>(sys);
    st.ulOrbitMask = mask;
    st.uOrbitZCount = header.zCount;
    st.uOrbitStation = header.stationId;
  }
  PVTDataInstance.rtcmTsSourceState.Put(&st);
  if (t < 0) return;
  const auto u = [this](int pos, int len) { return bits(pos, len); };
  const auto s = [this](int pos, int len) { return sbits(pos, len); };
  Body<decltype(u), decltype(s)> b{u, s, server, st, TSSatCorr, type, sys, first, per, avail, t, mask, slot};
  if (orbit)
    b.orbits();
  else if (clock)
    b.clocks();
  else if (type == kClockPartial)
    b.partial(header.zCount);
  else if (type == kCodeBias || type == kPhaseBias)
    b.biases();
  else
    b.refinement(header.stationId, header.zCount);
}
