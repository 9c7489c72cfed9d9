// The "@@" container of the GNSS board and its records.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "differential/lband/omnistar_params.h"
#include "differential/lband/ts_decoder.h"
#include "gnss_link/board_link.h"
#include "gnss_link/peripherals/board_settings_funcs.h"
#include "gnss_link/peripherals/pps_event.h"
#include "gnss_link/placeholders.h"
#include "gnss_link/raw_decoder.h"
#include "gnss_link/raw_reader.h"
#include "gnss_link/raw_records.h"
#include "gnss_link/slave_tasks.h"
#include "platform/misc_par.h"
#include "platform/perif_readings.h"
#include "platform/rtos_time.h"
#include "positioning/chan_data.h"
#include "positioning/chan_satellite.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/engine/epoch_solution.h"
#include "positioning/signal_tables.h"
#include "positioning/time_scales.h"

namespace {

enum RecType : int {
  kPwr = 1,
  kSolAln = 4,
  kSolRtk = 5,
  kPps = 6,
  kSatData = 7,
  kTs = 8,
  kChanStates = 10,
  kSigMeas = 11,
  kTrst = 13,
  kEvent = 14,
  kTaskLoad = 15,
  kOnce = 16,
};

constexpr int kPwrLen = 50;
constexpr int kTsLen = 97;
constexpr int kOnceLen = 4;
constexpr int kChanStateEntry = 14;
constexpr int kSigMeasEntry = 46;  // without the optional words
constexpr int kTaskEntry = 17;
constexpr int kPpsEntry = 13;
constexpr int kEventEntry = 10;
constexpr long kDayMs = 86400000;
constexpr char kOnceOff[] = "dm,,zrt/@@once\n";
// Seconds from 1970 to 2000.
constexpr std::int64_t kUnix2000 = 946684800;

// The scale of a valid time whose date the steered clock cannot hold (a damaged record: the
// container has no checksum), or -1. Such a record is refused whole, so that no part of the
// epoch (scales, clock, RTC, outputs) takes a date the clock would wrap.
int scaleBeyondClock(const TimeScales::INT_SCALES& s, std::int64_t& t) {
  for (int k = 0; k < 2; ++k) {
    if (!(s.flags[k] & RcvTimeScales::kTimeValid)) continue;
    GREGORIAN_EPOCH g{};
    t = RcvTimeScales::times2data(k, s, true, 0, g);
    if (t > rtosClockMaxSec() - kUnix2000) return k;
  }
  return -1;
}

// miscPar entries of the 25 power readings, in record order.
constexpr int kPwrIndex[25] = {23, 24, 30, 51, 54, 57, 32, 90, 98, 42, 43, 44, 45,
                               46, 67, 68, 69, 79, 99, 93, 94, 95, 100, 101, 102};

BoardEpochPart& board() { return PVTDataInstance.epochData.GetPointer()->board; }

void get(RawReader& r, PosData::OneDataType& b) { r.all(b.uFlag, b.ulWord, b.dValue); }
void get(RawReader& r, PosData::TwoDataType& b) { r.all(b.uFlag, b.ulWord, b.dValue); }
void get(RawReader& r, PosData::VelocityBlock& b) {
  r.all(b.uFlag, b.ulWord);
  for (auto& pair : b.dValue) r.get(pair);
}
void get(RawReader& r, PosData::AccuracyBlock& b) { r.all(b.uFlag, b.ulWord); }
void get(RawReader& r, PosData::CovarianceBlock& b) { r.all(b.uFlag, b.ulWord); }
template <class T, int N>
void getBlocks(RawReader& r, T (&a)[N]) {
  for (T& b : a) get(r, b);
}

void readSolAln(RawReader& r, BoardSolAlnType& s) {
  r.all(s.u0, s.u1, s.uFlag2, s.ul3, s.ul7, s.u11, s.u19);
  for (auto& b : s.sys21) r.all(b.uByte, b.fValue);
  r.all(s.uFlag77, s.ul80, s.ul84);
  for (auto& row : s.ulPos88) r.get(row);
  getBlocks(r, s.vel136);
  r.all(s.ul252, s.u264);
  get(r, s.tv271);
  get(r, s.ov297);
  get(r, s.tv315);
  r.get(s.ul341);
  get(r, s.ov345);
  r.get(s.ul363);
  getBlocks(r, s.ov367);
  r.all(s.ul1123, s.uFlag1195, s.ul1196);
  getBlocks(r, s.acc1224);
  getBlocks(r, s.cov1274);
  r.all(s.ul1356, s.u1372, s.u1374, s.uFlag1375, s.ul1376, s.u1408, s.uFlag1410, s.ul1411, s.u1451, s.uFlag1452);
}

// One signal's words into its channel's signal record, which the epoch's chain reads: flags
// (the record's status bits; bits 2 and 3 only say which extra words follow), the code time
// (ulA, s x 2^40, 64 bits, low word first), the carrier phase (ulM[0..1], cycles x 2^16, signed
// 64 bits), the Doppler (ulM[2], Hz x 10^4, signed), the signal level (ulM[3], dB-Hz x 100)
// and the time the carrier has been followed (ulM[4], ms).
void storeSignal(int ch, int slot, const BoardSigMeasType& m) {
  if (ch < 0 || ch >= kCdatChannels || slot < 0 || slot >= kCdatSlots) return;
  if (Cdat[ch].sig(slot) == &SdatEmpty) ChanData::mapSlot(ch, slot, ch * kCdatSlots + slot);
  ChanSigData* s = Cdat[ch].sig(slot);
  if (s == nullptr || s == &SdatEmpty) return;
  const std::uint64_t code = m.ulA[0] | static_cast<std::uint64_t>(m.ulA[1]) << 32;
  const auto phase = static_cast<std::int64_t>(m.ulM[0] | static_cast<std::uint64_t>(m.ulM[1]) << 32);
  s->code = std::ldexp(static_cast<double>(code), -40);
  s->phase = std::ldexp(static_cast<double>(phase), -16);
  s->doppler = static_cast<std::int32_t>(m.ulM[2]) * 1e-4;
  s->cn0 = static_cast<float>(m.ulM[3] * 0.01);
  s->lockValue = static_cast<std::uint16_t>(m.ulM[4] > 0xFFFF ? 0xFFFF : m.ulM[4]);
  s->flags = static_cast<std::uint16_t>(m.ulFlags & 0xFFF3u);
  s->freq = m.dFreq;
}

// The nominal carrier of a signal slot of the channel's satellite: by the system of the signal the
// channel tracks and, for GLONASS, the satellite's frequency number k (-7..6), which the
// frequency table counts from 0; 1.0 for L-band and unknown codes.
double ratedFrequency(const EpochChanEntryType& c, int slot) {
  const std::uint8_t sys = chanSignalSystem(c.uSatByte[0]);
  if (sys == kSvUnknown) return 1.0;
  const int number = chanSatNumber(c.uSatByte[0], c.uSatByte[1]);
  return get_SvRatedFrequency(slot, sys, sys == kSysGlonass ? number - SYS_SI_MIN[kSysGlonass] : number);
}

bool lenIs(const char* name, int len, int want) {
  if (len == want) return true;
  std::fprintf(stderr, "$$ @@%s: ERROR: len=%d != %d\n", name, len, want);
  return false;
}

bool gotAll(const char* name, const RawReader& r, int len) {
  if (r.ok() && r.off() == len) return true;
  std::fprintf(stderr, "$$ @@%s: ERROR: got=%d != %d\n", name, r.off(), len);
  return false;
}


// The service-state record as the L-band service takes it (the field meanings are ours; the
// board simulator writes the same): per beam ulWord[0] frequency, ulWord[1] rate, uByte enabled,
// uA name, uB id, fValue[0..2] longitude, elevation, azimuth; uOrder[0..15] the ordered slots;
// uTail[0] their count, uTail[1] the slot in use (signed, -1 none), uTail[2] sync status,
// uTail[3] data-quality status, uTail[4] the decoder's beam position (signed).
void trstToBoardState(const TrstDataType& rec, TSBoardState& st) {
  static_assert(TrstDataType::kBeams == TSBoardState::kSlots);
  for (int i = 0; i < TSBoardState::kSlots; ++i) {
    const TrstDataType::Beam& b = rec.beam[i];
    TSBeam& o = st.beam[i];
    o = TSBeam{};
    o.frequency = static_cast<std::int32_t>(b.ulWord[0]);
    o.rate = static_cast<std::int32_t>(b.ulWord[1]);
    o.enabled = b.uByte;
    std::memcpy(o.name, b.uA, sizeof o.name);
    std::memcpy(o.id, b.uB, sizeof o.id);
    o.longitude = b.fValue[0];
    st.elevation[i] = b.fValue[1];
    st.azimuth[i] = b.fValue[2];
    st.order[i] = rec.uOrder[i];
  }
  st.orderCount = rec.uTail[0];
  st.usedBeam = static_cast<std::int8_t>(rec.uTail[1]);
  st.syncStatus = rec.uTail[2];
  st.qualityStatus = rec.uTail[3];
  st.decoderChannel = static_cast<std::int8_t>(rec.uTail[4]);
}

}  // namespace

void ZrtRawDecoder::s2m(const std::uint8_t* p, int len) {
  int off = 0;
  while (len - off >= 4) {
    const int type = p[off];
    int rl = p[off + 1] | p[off + 2] << 8;
    off += 3;
    const int rest = len - off;
    if (rl == 0) rl = rest;
    if (rl > rest) {
      ++cnt_.containerCut;
      return;
    }
    const std::uint8_t* r = p + off;
    off += rl;
    switch (type) {
      case kPwr: recPwr(r, rl); continue;
      case kTs: recTs(r, rl); continue;
      case kSolAln: recSolAln(r, rl); return;
      case kSolRtk: recSolRtk(r, rl); return;
      case kPps: recPps(r, rl); return;
      case kSatData: recSatData(r, rl); return;
      case kChanStates: recChanStates(r, rl); return;
      case kSigMeas: recSigMeas(r, rl); return;
      case kTrst: recTrst(r, rl); return;
      case kEvent: recEvent(r, rl); return;
      case kTaskLoad: recTaskLoad(r, rl); return;
      case kOnce: recOnce(r, rl); return;
      default: continue;
    }
  }
}

void ZrtRawDecoder::recPwr(const std::uint8_t* p, int len) {
  if (!lenIs("Pwr", len, kPwrLen)) {
    ++cnt_.recRefused;
    return;
  }
  RawReader r(p, len);
  for (int idx : kPwrIndex) miscPar[idx].store(static_cast<float>(static_cast<std::int16_t>(r.u16()) * 0.01));
  setValidPwrMeas(1);
}

void ZrtRawDecoder::recSolAln(const std::uint8_t* p, int len) {
  if (!lenIs("SolAln", len, BoardSolAlnType::kWireSize)) {
    ++cnt_.recRefused;
    return;
  }
  RawReader r(p, len);
  BoardEpochPart& b = board();
  readSolAln(r, b.solAln);
  if (!gotAll("SolAln", r, len)) {
    ++cnt_.recRefused;
    return;
  }
  b.bSolAln = 1;
  // The receiver's current position and velocity for the position engine's other readers (the
  // correction processor above all), invalid ones too: a solution lost is a position lost.
  const PosData::PositionDataType pos = solutionPosition(b.solAln);
  const PosData::VelocityDataType vel = solutionVelocity(b.solAln);
  PVTDataInstance.position.Put(&pos);
  PVTDataInstance.velocity.Put(&vel);
}

void ZrtRawDecoder::recSolRtk(const std::uint8_t* p, int len) {
  if (!lenIs("SolRtk", len, BoardSolRtkType::kWireSize)) {
    ++cnt_.recRefused;
    return;
  }
  RawReader r(p, len);
  BoardSolRtkType s{};
  const bool placed = readSolRtk(r, s);
  if (!gotAll("SolRtk", r, len) || !placed) {
    ++cnt_.recRefused;
    return;
  }
  solution = s;
}

void ZrtRawDecoder::recPps(const std::uint8_t* p, int len) {
  if (len < 1 + kPpsEntry || p[0] > 1) {
    ++cnt_.recRefused;
    return;
  }
  RawReader r(p + 1, len - 1);
  while (r.rest() >= kPpsEntry) {
    PpsTagType t{};
    r.all(t.fA, t.fB, t.ulTime, t.uByte);
    pps[p[0]].ring().append(t);
  }
}

void ZrtRawDecoder::recEvent(const std::uint8_t* p, int len) {
  if (len < 1 + kEventEntry || p[0] > 1) {
    ++cnt_.recRefused;
    return;
  }
  RawReader r(p + 1, len - 1);
  while (r.rest() >= kEventEntry) {
    EventTagType t{};
    r.all(t.ulA, t.ulB, t.uByte, t.bLocked);
    ev[p[0]].ring().append(t);
    ev[p[0]].takeLockByte(t.bLocked);
  }
}

// The board's SatData entry is kSatDataSize bytes, of which the first kSatDataFields are read
// here; the size the board states (recSize) is the stride. A smaller entry cannot be the
// board's: decoding stops. A larger one is a newer board's: its surplus is skipped.
void ZrtRawDecoder::recSatData(const std::uint8_t* p, int len) {
  RawReader r(p, len);
  const int recSize = r.u8();
  const int count = r.u8();
  if (!r.ok()) {
    ++cnt_.recRefused;
    return;
  }
  if (recSize < kSatDataSize) {
    std::fprintf(stderr, "$$ @@SatData: ERROR: recSize=%d actualSize=%d\n", recSize, kSatDataSize);
    ++cnt_.recRefused;
    return;
  }
  if (recSize > kSatDataSize && !satDataWarned_) {
    std::fprintf(stderr, "$$ @@SatData: WARNING: rest=%d > 0\n", recSize - kSatDataSize);
    satDataWarned_ = 1;
  }
  BoardEpochPart& b = board();
  for (int i = 0; i < count; ++i) {
    if (r.rest() < recSize) {
      std::fprintf(stderr, "$$ @@SatData: ERROR: offs=%d len=%d after [%d] of %d\n", r.off(), len, i, count);
      ++cnt_.recRefused;
      return;
    }
    RawReader e(r.here(), recSize);
    r.skip(recSize);
    const int ch = e.u8();
    if (ch >= kBoardChannels) {
      ++cnt_.chanRefused;
      continue;
    }
    EpochChanEntryType& c = b.chan[ch];
    e.all(c.uSatByte, c.uState, c.uSatByte6, c.uNumber, c.fSatValue);
    // 22: the satellite is of kind 4, not to be processed.
    c.uSatState = c.uState == 22 ? EpochChanEntryType::kStateEmpty : c.uState;
    c.pChan = &Cdat[ch];
    Cdat[ch].sysCode = c.uSatByte[0];
    Cdat[ch].svNum = static_cast<std::int16_t>(chanSatNumber(c.uSatByte[0], c.uSatByte[1]));
    Cdat[ch].trackCode = c.uSatByte[2];
  }
  if (r.off() != len) std::fprintf(stderr, "$$ @@SatData: ERROR: got=%d != %d\n", r.off(), len);
}

void ZrtRawDecoder::recTs(const std::uint8_t* p, int len) {
  timeOk_ = 0;
  if (!lenIs("ts", len, kTsLen)) {
    ++cnt_.recRefused;
    return;
  }
  RawReader r(p, len);
  TimeScales::INT_SCALES& s = TimeScales::startUpdate();
  s.rcvTime = static_cast<std::int64_t>(r.u64());
  r.all(s.upTime, s.board[0], s.board[1], s.corrSum);
  for (int k = 0; k < 2; ++k) {
    r.all(s.corrPhase[k], s.ms[k], s.weekDay[k], s.cycle[k], s.sysUtc[k], s.leapMoment[k], s.labelA[k], s.labelB[k],
          s.flags[k]);
  }
  const unsigned ref = r.u8();
  if (!gotAll("ts", r, len)) {
    ++cnt_.recRefused;
    return;
  }
  if (ref > 1) {
    std::fprintf(stderr, "$$ @@ts: ERROR: bad reference system for time: %u\n", ref);
    ++cnt_.recRefused;
    return;
  }
  // The board names its reference scale in every record, matched to the epoch or not.
  RcvTimeScales::rcvRefTime = static_cast<int>(ref);
  const long ts = static_cast<long>(s.ms[ref]) % kDayMs;
  if (ts != epochTime_) {
    std::fprintf(stderr, "$$ @@ts: ERROR: time mismatch ts=%ld epoch=%ld\n", ts, epochTime_);
    ++cnt_.recRefused;
    return;
  }
  std::int64_t t = 0;
  if (const int k = scaleBeyondClock(s, t); k >= 0) {
    // Said once for a run of such records.
    if (!tsBeyondSaid_)
      std::fprintf(stderr, "$$ @@ts: ERROR: %s date %lld s after 2000 is beyond the system clock\n",
                   k == 0 ? "GPS" : "GLONASS", static_cast<long long>(t));
    tsBeyondSaid_ = 1;
    ++cnt_.recRefused;
    return;
  }
  tsBeyondSaid_ = 0;
  TimeScales::endUpdate(s, static_cast<int>(epochTime_));
  timeOk_ = 1;
}

void ZrtRawDecoder::recChanStates(const std::uint8_t* p, int len) {
  RawReader r(p, len);
  r.u8();
  const int count = r.u8();
  const bool clear = r.u8() != 0;
  if (!r.ok()) {
    ++cnt_.recRefused;
    return;
  }
  BoardEpochPart& b = board();
  if (clear) {
    for (int ch = 0; ch < kBoardChannels; ++ch) {
      b.chan[ch].bInUse = 0;
      Cdat[ch].bDataPresent = 0;
    }
  }
  for (int i = 0; i < count; ++i) {
    if (r.rest() < kChanStateEntry) {
      ++cnt_.recRefused;
      return;
    }
    const int ch = r.u8();
    if (ch >= kBoardChannels) {
      r.skip(kChanStateEntry - 1);
      ++cnt_.chanRefused;
      continue;
    }
    EpochChanEntryType& c = b.chan[ch];
    r.all(c.bInUse, c.uCs2, c.uCs3, c.uCs5, c.ulCs6, c.uCs10, c.uCs12);
    Cdat[ch].bDataPresent = c.bInUse;
  }
}

void ZrtRawDecoder::recSigMeas(const std::uint8_t* p, int len) {
  RawReader r(p, len);
  r.u8();
  const int count = r.u8();
  BoardEpochPart& b = board();
  for (int i = 0; i < count; ++i) {
    // Entries have a size of their own: each must end inside the record.
    if (r.rest() < kSigMeasEntry) {
      ++cnt_.recRefused;
      return;
    }
    BoardSigMeasType m{};
    m.uSlotByte = r.u8();
    const int ch = r.u8();
    r.all(m.ulFlags, m.ulA, m.ulM);
    const int extra = ((m.ulFlags >> 2) & 1) + ((m.ulFlags >> 3) & 1);
    if (r.rest() < 4 * extra) {
      ++cnt_.recRefused;
      return;
    }
    int k = 0;
    if (m.ulFlags & 4) {
      m.ulExtra[k++] = r.u32();
      m.uExtra |= 1;
    }
    if (m.ulFlags & 8) {
      m.ulExtra[k] = r.u32();
      m.uExtra |= 2;
    }
    const int slot = m.uSlotByte & 0x7F;
    if (ch >= kBoardChannels || slot >= kBoardSlots) {
      ++cnt_.chanRefused;
      continue;
    }
    m.dFreq = ratedFrequency(b.chan[ch], slot);
    m.bPresent = 1;
    b.sig[ch][slot] = m;
    storeSignal(ch, slot, m);
    ++b.uMeasCount;
  }
}

void ZrtRawDecoder::recTrst(const std::uint8_t* p, int len) {
  if (!lenIs("TrstData", len, TrstDataType::kWireSize)) {
    ++cnt_.recRefused;
    return;
  }
  static TrstDataType rec;
  RawReader r(p, len);
  for (TrstDataType::Beam& b : rec.beam) {
    r.all(b.ulWord, b.uByte, b.uA, b.uB, b.fValue);
    b.dConverted = static_cast<std::int32_t>(r.u32()) * 1e-3;
  }
  r.all(rec.uOrder, rec.uTail);
  static TSBoardState st;
  trstToBoardState(rec, st);
  TSDecoder.takeBoardState(st);
  strOmniCfg.decoderChannel = st.decoderChannel;
  omniStarComputeParams();
}

void ZrtRawDecoder::recTaskLoad(const std::uint8_t* p, int len) {
  const int n = len >= 1 ? p[0] : -1;
  if (n < 0 || n > SlaveTasks::kMaxTasks || len != 1 + kTaskEntry * n) {
    ++cnt_.recRefused;
    return;
  }
  RawReader r(p + 1, len - 1);
  SlaveTasks::Entry* t = SlaveTasks::startUpdate();
  for (int i = 0; i < n; ++i) {
    r.take(t[i].name, 4);
    t[i].name[4] = 0;
    r.all(t[i].num, t[i].cnt);
  }
  SlaveTasks::endUpdate(n);
}

void ZrtRawDecoder::recOnce(const std::uint8_t* p, int len) {
  if (len != kOnceLen) {
    ++cnt_.recRefused;
    return;
  }
  RawReader r(p, len);
  const std::uint8_t rev = r.u8();
  const std::uint16_t serial = r.u16();
  const std::uint8_t useNt = r.u8();
  placeholder::RfConf_setNtRev(rev);
  placeholder::RfConf_setNtSerNum(serial);
  setUseNT(useNt);
  // The board repeats the record until told not to.
  m2sSend(kOnceOff);
}
