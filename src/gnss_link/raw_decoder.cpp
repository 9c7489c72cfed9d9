#include "gnss_link/raw_decoder.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "differential/redirect.h"
#include "gnss_link/meas_proc.h"
#include "gnss_link/placeholders.h"
#include "gnss_link/raw_reader.h"
#include "gnss_link/raw_records.h"
#include "gnss_link/zrt_port_input.h"
#include "platform/ports/in_port.h"
#include "platform/rtos_time.h"
#include "positioning/chan_data.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/engine/pvt_engine.h"
#include "positioning/raw_nav_rings.h"

ZrtRawDecoder zrtRawDecoder;

namespace {

// Navigation-word bodies of this size or less carry nothing.
constexpr int kNavMinBody = 9;

ZrtRawDecoder* self(ZrtMsgClient* c) { return static_cast<ZrtRawDecoder*>(c); }
const std::uint8_t* ubody(const ZRFMessage& m) { return reinterpret_cast<const std::uint8_t*>(m.body()); }
// Data bytes of a message whose body ends in a one-byte checksum.
int dataLen(const ZRFMessage& m) { return m.len - 1; }

// Global satellite index of an "Rm" satellite number. The board numbers the satellites of its
// solution in one byte, range after range (below 38, 38-70, 71-119, 120-192, 193-210, 211 on);
// the native record table of "Rm" gives the offset that moves each range to where its block
// starts in the 16-bit global index (193, 300, 400, 500, 600). An exact table: no rounding.
std::uint16_t rmGlobalSat(std::uint8_t n) {
  if (n < 38) return n;
  if (n <= 70) return static_cast<std::uint16_t>(n + 155);
  if (n <= 119) return static_cast<std::uint16_t>(n + 229);
  if (n <= 192) return static_cast<std::uint16_t>(n + 280);
  if (n <= 210) return static_cast<std::uint16_t>(n + 307);
  return static_cast<std::uint16_t>(n + 389);
}

}  // namespace

ZrtRawDecoder::ZrtRawDecoder() : measReady_(nullptr) {}

void ZrtRawDecoder::reset() {
  epochTime_ = -1;
  timeOk_ = 0;
  epochError_ = 0;
  epochOpen_ = 0;
}

void ZrtRawDecoder::setMeasReady(MeasReady f) { measReady_ = f; }

void ZrtRawDecoder::setHandlers(ZrtMsgFilter& f) {
  f.setHandler("gd", this, &h_gd);
  f.setHandler("lD", this, &h_lD);
  f.setHandler("ED", this, &h_ED);
  f.setHandler("WD", this, &h_WD);
  f.setHandler("qd", this, &h_qd);
  f.setHandler("cd", this, &h_cd);
  f.setHandler("id", this, &h_id);
  f.setHandler("xd", this, &h_xd);
  f.setHandler("Rb", this, &h_Rb);
  f.setHandler("@@", this, &h_S2M);
  f.setHandler("DL", this, &h_DL);
  f.setHandler("gC", this, &h_gC);
  f.setHandler("g1", this, &h_g1);
  f.setHandler("g3", this, &h_g3);
  f.setHandler("g2", this, &h_g2);
  f.setHandler("gR", this, &h_gR);
  f.setHandler("Rm", this, &h_Rm);
  f.setHandler("Ri", this, &h_Ri);
  f.setHandler("Sp", this, &h_Sp);
  f.setHandler("sj", this, &h_sj);
  f.setHandler("IQ", this, &h_IQ);
}

bool zrtRawDecoderInit() {
  const int dec = InPorts::io2dec_[kBoardPort];
  ZrtPortInput* in = zrtPortInput(dec);
  if (!in) return false;
  zrtRawDecoder.setHandlers(in->decoder().filter());
  zrtRawDecoder.setMeasReady(signalMeasReady);
  return true;
}

// ---- Epoch frame -----------------------------------------------------------------------------

void ZrtRawDecoder::clearPositions() {
  BoardEpochPart& b = PVTDataInstance.epochData.GetPointer()->board;
  b.bSolAln = 0;
  solution.lSolType = 0;
  solution.bHeadingAvailable = 0;
  RcvOut.bSolPresent = 0;
  RcvOut.bRtkAvail = 0;
  RcvOut.bHeadingAvail = 0;
  RcvOut.sol.bOutPos = 0;
}

void ZrtRawDecoder::clearMeasurements() {
  BoardEpochPart& b = PVTDataInstance.epochData.GetPointer()->board;
  b.uMeasCount = 0;
  for (int ch = 0; ch < kBoardChannels; ++ch) {
    EpochChanEntryType& e = b.chan[ch];
    e.pChan = &Cdat[ch];
    e.uChannel = static_cast<std::uint8_t>(ch);
    e.uSatState = EpochChanEntryType::kStateEmpty;
    e.uNumber = EpochChanEntryType::kNumberEmpty;
    for (BoardSigMeasType& s : b.sig[ch]) s.bPresent = 0;
    Cdat[ch].initSlots();
  }
}

void ZrtRawDecoder::startOfEpoch(long time) {
  rtosGnssEpoch(static_cast<int>(time));
  clearPositions();
  clearMeasurements();
  epochTime_ = time;
  timeOk_ = 0;
  epochError_ = 0;
  epochOpen_ = 1;
}

void ZrtRawDecoder::endOfEpoch(long time) {
  // An end without its start (a repeated "::", or a "::" after a lost "~~") would run the chain
  // a second time on old data: it ends nothing.
  if (!epochOpen_) {
    std::fprintf(stderr, "$$ZrtRawDecoder: ERROR: bad epoch %ld\n", time);
    ++cnt_.badEpochs;
    return;
  }
  epochOpen_ = 0;
  if (time != epochTime_) {
    std::fprintf(stderr, "$$ZrtRawDecoder: ERROR: epoch start/end times mismatch: %ld/%ld\n", epochTime_, time);
    epochError_ = 1;
  }
  if (epochError_) {
    clearPositions();
    clearMeasurements();
  }
  if (timeOk_) {
    ++cnt_.chainRuns;
    if (measReady_) measReady_();
  } else {
    std::fprintf(stderr, "$$ZrtRawDecoder: ERROR: bad epoch %ld\n", time);
    ++cnt_.badEpochs;
  }
  epochTime_ = -1;
  timeOk_ = 0;
}

// ---- Navigation words ------------------------------------------------------------------------

bool ZrtRawDecoder::navWords(const ZRFMessage& m, WordSys sys) {
  if (m.len <= kNavMinBody) return true;
  RawReader r(ubody(m), dataLen(m));
  CorrData::GpsRawMessageType e{};
  e.uSv = r.u8();
  e.ulTime = r.u32();
  e.uKind = r.u8();
  e.uCount = r.u8();
  // The count must fit both the body and the ring's record.
  if (e.uCount > CorrData::kRawMessageWords || r.rest() < 4 * e.uCount + 1) {
    ++cnt_.navDropped;
    return true;
  }
  for (int i = 0; i < e.uCount; ++i) e.ulWords[i] = r.u32();
  e.iValid = static_cast<std::int8_t>(r.u8());
  switch (sys) {
    case WordSys::Gps: updateGpsRawData(e); break;
    case WordSys::Qzss: updateQzssRawData(e); break;
    case WordSys::Comp: updateCompRawData(e); break;
    case WordSys::Irnss: updateIrnssRawData(e); break;
  }
  return true;
}

bool ZrtRawDecoder::navBytes(const ZRFMessage& m, ByteSys sys) {
  if (m.len <= kNavMinBody) return true;
  RawReader r(ubody(m), dataLen(m));
  CorrData::GalRawMessageType e{};
  e.uSv = r.u8();
  e.ulTime = r.u32();
  e.uKind = r.u8();
  e.uCount = r.u8();
  if (e.uCount > CorrData::kRawMessageBytes || r.rest() < e.uCount + 1) {
    ++cnt_.navDropped;
    return true;
  }
  r.take(e.uData, e.uCount);
  e.iValid = static_cast<std::int8_t>(r.u8());
  switch (sys) {
    case ByteSys::Gal: updateGalRawData(e); break;
    case ByteSys::Waas: updateWaasRawData(e); break;
    case ByteSys::Lex: updateLexRawData(e); break;
  }
  return true;
}

bool ZrtRawDecoder::h_gd(ZrtMsgClient* c, const ZRFMessage& m) { return self(c)->navWords(m, WordSys::Gps); }
bool ZrtRawDecoder::h_qd(ZrtMsgClient* c, const ZRFMessage& m) { return self(c)->navWords(m, WordSys::Qzss); }
bool ZrtRawDecoder::h_cd(ZrtMsgClient* c, const ZRFMessage& m) { return self(c)->navWords(m, WordSys::Comp); }
bool ZrtRawDecoder::h_id(ZrtMsgClient* c, const ZRFMessage& m) { return self(c)->navWords(m, WordSys::Irnss); }
bool ZrtRawDecoder::h_ED(ZrtMsgClient* c, const ZRFMessage& m) { return self(c)->navBytes(m, ByteSys::Gal); }
bool ZrtRawDecoder::h_WD(ZrtMsgClient* c, const ZRFMessage& m) { return self(c)->navBytes(m, ByteSys::Waas); }
bool ZrtRawDecoder::h_xd(ZrtMsgClient* c, const ZRFMessage& m) { return self(c)->navBytes(m, ByteSys::Lex); }

bool ZrtRawDecoder::h_lD(ZrtMsgClient* c, const ZRFMessage& m) {
  ZrtRawDecoder* d = self(c);
  if (m.len <= kNavMinBody) return true;
  RawReader r(ubody(m), dataLen(m));
  CorrData::GloRawMessageType e{};
  e.uSv = r.u8();
  // The ring's readers take this byte as the frequency number.
  e.iFreq = static_cast<std::int8_t>(r.u8());
  e.ulTime = r.u32();
  e.uKind = r.u8();
  e.uCount = r.u8();
  // Kind 0 carries the FDMA strings, kind 1 the L3 strings, each to its own decoder. Other kinds
  // are refused here: a second signal's copy of the FDMA strings would reach the FDMA decoder
  // beside the first, whose string timing it was never fed before.
  if (e.uKind > RawNavKind::kGloL3) return true;
  if (e.iFreq < -7 || e.iFreq > 6) {
    ++d->cnt_.gloFreqRefused;
    return true;
  }
  if (e.uCount > CorrData::kRawMessageWords || r.rest() < 4 * e.uCount + 1) {
    ++d->cnt_.navDropped;
    return true;
  }
  for (int i = 0; i < e.uCount; ++i) e.ulWords[i] = r.u32();
  e.iValid = static_cast<std::int8_t>(r.u8());
  updateGloRawData(e);
  return true;
}

// ---- Other messages --------------------------------------------------------------------------

bool ZrtRawDecoder::h_Rb(ZrtMsgClient* c, const ZRFMessage& m) {
  ZrtRawDecoder* d = self(c);
  RawReader r(ubody(m), dataLen(m));
  TSRtcmMessageType e{};
  e.uLength = r.u16();
  e.uNumber = r.u16();
  if (!r.ok() || e.uLength > TSRtcmMessageType::kData || e.uLength > r.rest()) {
    ++d->cnt_.miscDropped;
    return true;
  }
  r.take(e.uData, e.uLength);
  Locker<Mutex> l(mutexTSRtcmMessage);
  TSRtcmMessageData[uTSRtcmMessageWriteIndex] = e;
  uTSRtcmMessageWriteIndex = uTSRtcmMessageWriteIndex + 1 >= kTSRtcmMessages ? 0 : uTSRtcmMessageWriteIndex + 1;
  return true;
}

bool ZrtRawDecoder::h_Rm(ZrtMsgClient* c, const ZRFMessage& m) {
  ZrtRawDecoder* d = self(c);
  RawReader r(ubody(m), dataLen(m));
  if (r.rest() < 13) {
    ++d->cnt_.miscDropped;
    return true;
  }
  RmDataType rm{};
  rm.u0 = r.u8();
  rm.u1 = r.u8();
  r.skip(1);
  rm.u3 = r.u8();
  rm.f4 = r.f32();
  rm.f8 = r.f32();
  rm.uCount = r.u8();
  if (rm.uCount > RmDataType::kMaxSats || rm.uCount > r.rest()) {
    ++d->cnt_.miscDropped;
    return true;
  }
  for (int i = 0; i < rm.uCount; ++i) rm.uSat[i] = rmGlobalSat(r.u8());
  rm.bReceived = 1;
  PVTDataInstance.epochData.GetPointer()->board.rm = rm;
  return true;
}

bool ZrtRawDecoder::h_Ri(ZrtMsgClient* c, const ZRFMessage& m) {
  if (m.len < 19) {
    ++self(c)->cnt_.miscDropped;
    return true;
  }
  RawReader r(ubody(m), dataLen(m));
  RiDataType& ri = PVTDataInstance.epochData.GetPointer()->board.ri;
  r.get(ri.fValue);
  ri.uWord = r.u16();
  ri.bReceived = 1;
  return true;
}

bool ZrtRawDecoder::h_Sp(ZrtMsgClient* c, const ZRFMessage& m) {
  ZrtRawDecoder* d = self(c);
  const int n = dataLen(m);
  if (n < 8) {
    ++d->cnt_.miscDropped;
    return true;
  }
  RawReader r(ubody(m), n);
  const std::uint32_t first = r.u32();
  const std::uint8_t name = r.u8();
  r.skip(1);
  const int count = static_cast<std::int16_t>(r.u16());
  // Index and count checked against the array and against the message.
  if (count < 0 || first > static_cast<std::uint32_t>(kSpectrumPoints) ||
      static_cast<std::uint32_t>(count) > kSpectrumPoints - first || 2 * count > r.rest()) {
    ++d->cnt_.miscDropped;
    return true;
  }
  for (int i = 0; i < count; ++i) spectrumOut.uSample[first + static_cast<std::uint32_t>(i)] = r.u16();
  if (count == 0 || (first != 0 && r.rest() > 0)) {
    constexpr int kHeader = 33;
    if (r.rest() < kHeader) {
      ++d->cnt_.miscDropped;
      return true;
    }
    SpectrumHeaderType& h = spectrumOut.header;
    r.all(h.ulStartFrq, h.ulStep, h.ulPoints, h.ulA, h.ulB, h.ulTimeTag, h.uBytes, h.uAntenna);
    h.uNameId = name;
    spectrumOut.bTakenByMaster = 1;
    ++spectrumOut.ulHeaders;
  }
  return true;
}

bool ZrtRawDecoder::h_sj(ZrtMsgClient* c, const ZRFMessage& m) {
  ZrtRawDecoder* d = self(c);
  const int n = dataLen(m);
  if (n < 9) {
    ++d->cnt_.miscDropped;
    return true;
  }
  RawReader r(ubody(m), n);
  const int sys = r.u8();
  const int band = r.u8();
  const int sats = (n - 6) / 2;  // the u32 tag closes the message
  if (sys >= SYS_NUM || band >= kSigLevelBands || sats > SYS_SAT_NUM[sys]) {
    ++d->cnt_.miscDropped;
    return true;
  }
  SignalLevelTables& t = sigLevels;
  for (int i = 0; i < sats; ++i) t.uLevel[sys][band][i] = r.u16();
  t.ulTag[sys][band] = RawReader(ubody(m) + n - 4, 4).u32();
  ++t.ulRound;
  t.ulLastRound[sys] = t.ulRound;
  for (int s = 0; s < SYS_NUM; ++s) {
    if (t.ulRound - t.ulLastRound[s] >= static_cast<std::uint32_t>(kSigLevelRoundsKept)) {
      std::memset(t.uLevel[s], 0, sizeof t.uLevel[s]);
      t.ulLastRound[s] = t.ulRound;
    }
  }
  return true;
}

bool ZrtRawDecoder::h_IQ(ZrtMsgClient* c, const ZRFMessage& m) {
  ZrtRawDecoder* d = self(c);
  RawReader r(ubody(m), dataLen(m));
  const std::uint8_t sys = r.u8(), slot = r.u8(), band = r.u8(), mode = r.u8();
  const int buf = mode >> 1;
  if (!r.ok() || buf >= kIqBuffers) {
    ++d->cnt_.miscDropped;
    return true;
  }
  IqBuffer& b = iqBuffers[buf];
  b.uSystem = sys;
  b.uSlot = slot;
  b.uBand = band;
  b.bPairs = mode & 1;
  while (r.rest() >= 2) {
    b.iSample[b.write] = static_cast<std::int16_t>(r.u16());
    b.write = b.write + 1 >= kIqSamples ? 0 : b.write + 1;
  }
  return true;
}

bool ZrtRawDecoder::h_DL(ZrtMsgClient*, const ZRFMessage& m) {
  // Two hex characters of checksum close the body.
  if (m.len >= 2) RedirMap::updateDl(m.body(), m.len - 2);
  return true;
}

bool ZrtRawDecoder::calib(const ZRFMessage& m, int system) {
  constexpr int kEntries = 15, kEntry = 9, kPairs = 2 * 4 * 2 * 2 + 2;
  const int need = kEntries * kEntry + (system == 0 ? kPairs : 0);
  RawReader r(ubody(m), dataLen(m));
  if (r.rest() < need) {
    ++cnt_.miscDropped;
    return true;
  }
  Locker<Mutex> lock(hwCalibMutex);
  HwCalib& h = hwCalib;
  for (int i = 0; i < kEntries; ++i) {
    const int band = static_cast<std::int8_t>(r.u8());
    const float a = r.f32(), b = r.f32();
    if (band < 0 || band >= HwCalib::kBands) {
      ++cnt_.miscDropped;
      continue;
    }
    HwCalib::Entry* dst[2] = {&h.common[band], system > 0 ? &h.bySystem[system][band] : nullptr};
    for (HwCalib::Entry* e : dst) {
      if (!e) continue;
      if (!std::isnan(a)) {
        e->fA = a;
        e->bSetA = 1;
      }
      if (!std::isnan(b)) {
        e->fB = b;
        e->bSetB = 1;
      }
    }
  }
  if (system == 0) {
    for (int g = 0; g < 2; ++g) {
      for (int k = 0; k < 4; ++k) {
        const auto x = static_cast<std::int16_t>(r.u16());
        const auto y = static_cast<std::int16_t>(r.u16());
        if (x == 0 && y == 0) continue;
        h.iPair[g][k][0] = x;
        h.iPair[g][k][1] = y;
        h.bPairSet[g][k] = 1;
      }
    }
    h.iFinal = static_cast<std::int16_t>(r.u16());
    h.bFinalSet = 1;
  }
  h.lTime = epochTime_;
  return true;
}

bool ZrtRawDecoder::h_gC(ZrtMsgClient* c, const ZRFMessage& m) { return self(c)->calib(m, 0); }
bool ZrtRawDecoder::h_g1(ZrtMsgClient* c, const ZRFMessage& m) { return self(c)->calib(m, 1); }
bool ZrtRawDecoder::h_g2(ZrtMsgClient* c, const ZRFMessage& m) { return self(c)->calib(m, 2); }
bool ZrtRawDecoder::h_g3(ZrtMsgClient* c, const ZRFMessage& m) { return self(c)->calib(m, 3); }

bool ZrtRawDecoder::h_gR(ZrtMsgClient* c, const ZRFMessage& m) {
  ZrtRawDecoder* d = self(c);
  RawReader r(ubody(m), dataLen(m));
  Locker<Mutex> lock(hwCalibMutex);
  HwCalib& h = hwCalib;
  while (r.rest() >= 6) {
    const int band = static_cast<std::int8_t>(r.u8());
    const int half = r.u8() != 0 ? 1 : 0;
    const float v = r.f32();
    if (band < 0 || band >= HwCalib::kBands) {
      ++d->cnt_.miscDropped;
      continue;
    }
    if (v != 0.0f) {
      h.fR[half][band] = -v;
      h.bRSet[half][band] = 1;
    }
  }
  h.lTime = d->epochTime_;
  return true;
}

bool ZrtRawDecoder::h_S2M(ZrtMsgClient* c, const ZRFMessage& m) {
  self(c)->s2m(ubody(m), m.len);
  return true;
}
