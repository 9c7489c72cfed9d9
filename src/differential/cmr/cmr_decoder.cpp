#include "differential/cmr/cmr_decoder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "differential/decoder_status.h"
#include "platform/mono_clock.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/time_scales.h"

CmrStationTable CmrDec;
CMR_Decoder CmrDecKernels[InPorts::DEC_NUM];

bool bDispCmr = false;

namespace {
using Lock = Locker<Mutex>;

void countUp(std::int32_t& c) { c = c >= 999999 ? 1 : c + 1; }

// Most-significant-bit-first fields of a byte area whose length the caller has checked.
std::uint32_t bits(const std::uint8_t* p, int pos, int n) {
  std::uint32_t v = 0;
  for (int i = pos; i < pos + n; ++i) v = v << 1 | ((p[i >> 3] >> (7 - (i & 7))) & 1u);
  return v;
}
std::int32_t sbits(const std::uint8_t* p, int pos, int n) {
  const std::uint32_t v = bits(p, pos, n);
  if (n < 32 && (v & (1u << (n - 1)))) return static_cast<std::int32_t>(v) - static_cast<std::int32_t>(1u << n);
  return static_cast<std::int32_t>(v);
}

// One clock-offset step of the header: 500 ns; versions up to 2 carried it 0.5 ms off.
constexpr double kClockStep = 5e-7;
constexpr double kOldVersionClock = 0.0005;

float dist(const float a[3], const double b[3]) {
  const double dx = a[0] - b[0], dy = a[1] - b[1], dz = a[2] - b[2];
  return static_cast<float>(std::sqrt(dx * dx + dy * dy + dz * dz));
}
}  // namespace

long cmrFullTime(long rcvMs, long msgMs) {
  const long block = cmr::kTimeModMs;
  long t = block * (rcvMs / block) + msgMs;
  const long d = rcvMs % block - msgMs;
  if (d > block / 2 - 1) t += block;
  if (d < -block / 2) t -= block;
  return t;
}

void cmrDecodeCoord(const std::uint8_t* b, CMR_REF_COORD& c) {
  double* axis[3] = {&c.x, &c.y, &c.z};
  float* off[3] = {&c.antHeight, &c.east, &c.north};
  for (int k = 0; k < 3; ++k) {
    const int at = 48 * k;
    const std::int64_t mm = static_cast<std::int64_t>(sbits(b, at, 32)) * 4 + bits(b, at + 32, 2);
    *axis[k] = static_cast<double>(mm) * 0.001;
    *off[k] = static_cast<float>(sbits(b, at + 34, 14)) * 0.001f;
  }
  c.accuracy = static_cast<std::uint8_t>(b[18] >> 4);
}

bool cmrDecodeNames(const std::uint8_t* b, int n, CMR_REF_DESC& d) {
  if (n < cmr::kDescNames) return false;
  d.length = static_cast<std::uint8_t>(std::min(n, 255));
  std::memcpy(d.shortName, b, 8);
  d.shortName[8] = 0;
  std::memcpy(d.cogo, b + 8, 16);
  d.cogo[16] = 0;
  int k = 0;
  for (int i = cmr::kDescNames; i < n && k < CMR_REF_DESC::kLongMax && b[i] != 0; ++i) d.longName[k++] = static_cast<char>(b[i]);
  d.longName[k] = 0;
  return true;
}

// ---- station table ------------------------------------------------------------------------------

CmrStationTable::CmrStationTable() {
  set_.gloType = 3;
  set_.inUse = -1;
  set_.nrsCnt = 10;
  set_.nrsLim = 25.0f;
  init(nullptr);
}

void CmrStationTable::clearSlot(SlotState& s, std::uint8_t id) {
  s = SlotState{};
  s.id = id;
  s.period.init();
  s.rate.setLength(20);
  int n = 0;
  s.rate.update(1.0, n);
}

void CmrStationTable::init(CMR_Decoder_Client* c) {
  Lock l(mutex_);
  client_ = c;
  for (SlotState& s : slots_) clearSlot(s, kFree);
  nearest_ = -1;
}

void CmrStationTable::reset() {
  init();
  if (client_ != nullptr) client_->reset();
}

void CmrStationTable::clearPlusStores() {
  for (SlotState& s : slots_) {
    s.mask = 0;
    s.pages = 0;
    s.filled = 0;
  }
}

void CmrStationTable::setSettings(const CMR_DEC_SETTINGS& s) {
  Lock l(mutex_);
  set_ = s;
  const int now = s.inUse;
  if (now == lastApplied_) return;
  const bool keep = (now == -1 && !s.nrsMode) || (lastApplied_ == -1 && s.nrsMode && now == nearest_);
  if (!keep) {
    clearPlusStores();
    if (client_ != nullptr) client_->resetRTK();
  }
  lastApplied_ = now;
}

void CmrStationTable::loadSettings(const CMR_DEC_SETTINGS& s) {
  Lock l(mutex_);
  set_ = s;
  lastApplied_ = s.inUse;
}

CMR_DEC_SETTINGS CmrStationTable::getSettings() const {
  Lock l(mutex_);
  return set_;
}

int CmrStationTable::slotFor(std::uint8_t id, std::uint32_t now) {
  int oldest = 0;
  std::uint32_t age = 0;
  for (int i = 0; i < kSlots; ++i) {
    if (slots_[i].id == id) return i;
    const std::uint32_t a = now - slots_[i].lastTime;
    if (i == 0 || a > age) {
      age = a;
      oldest = i;
    }
  }
  clearSlot(slots_[oldest], id);
  return oldest;
}

void CmrStationTable::feedRate(SlotState& s, double x) {
  int n = 0;
  s.quality = static_cast<float>(100.0 * s.rate.update(x, n));
}

bool CmrStationTable::positionEngineRover(double xyz[3]) {
  PosData::PositionDataType p;
  if (PVTDataInstance.position.Take(&p) == 0 || p.bValid == 0) return false;
  xyz[0] = p.dX;
  xyz[1] = p.dY;
  xyz[2] = p.dZ;
  return true;
}

void CmrStationTable::refreshRoverPos(std::uint32_t now) {
  if (roverSource == nullptr || !roverSource(rover_)) return;
  roverTime_ = now;
  roverSet_ = true;
}

int CmrStationTable::selectNearest(std::uint32_t now) {
  if (!roverSet_ || now - roverTime_ >= kRoverMaxAgeSec) {
    nearest_ = -1;
    return nearest_;
  }
  double minD = 1e10, prevD = 5e10;
  int cand = -1;
  for (int i = 0; i < kSlots; ++i) {
    SlotState& s = slots_[i];
    if (s.id == kFree || now - s.lastTime > kHeardSec) {
      s.pos[0] = s.pos[1] = s.pos[2] = 0.0f;
      s.nearCount = 0;
      continue;
    }
    const double d = dist(s.pos, rover_);
    if (bDispCmr) std::printf("NRS dist: %i %g %g\r\n", cmrStationId(s.id), d, minD);
    if (d < minD) {
      prevD = minD;
      minD = d;
      cand = i;
    }
  }
  if (cand < 0) return nearest_;
  SlotState& c = slots_[cand];
  ++c.nearCount;
  if (bDispCmr) std::printf("NRS cnt: %i\r\n", c.nearCount);
  if (c.nearCount < set_.nrsCnt) return nearest_;
  bool othersRunning = false;
  for (int i = 0; i < kSlots; ++i) othersRunning = othersRunning || (i != cand && slots_[i].nearCount != 0);
  const int id = cmrStationId(c.id);
  if (std::fabs(minD - prevD) > set_.nrsLim && id != nearest_ && !othersRunning) {
    if (bDispCmr) std::printf("NRS res: %i %i\r\n", nearest_, id);
    nearest_ = id;
    if (client_ != nullptr) client_->resetRTK();
  }
  for (SlotState& s : slots_) s.nearCount = 0;
  return nearest_;
}

int CmrStationTable::slotToShow(std::uint32_t now) {
  const int want = set_.inUse != -1 ? set_.inUse : nearest_;
  if (want >= 1 && want <= 32) {
    for (int i = 0; i < kSlots; ++i)
      if (slots_[i].id != kFree && cmrStationId(slots_[i].id) == want) return i;
    return slotFor(static_cast<std::uint8_t>(want & 31), now);
  }
  int best = 0;
  for (int i = 1; i < kSlots; ++i)
    if (slots_[i].lastTime > slots_[best].lastTime) best = i;
  return best;
}

void CmrStationTable::fillStatus(CMR_DEC_STATUS& st, int show) const {
  st.slot = show;
  for (int i = 0; i < kSlots; ++i) {
    const SlotState& s = slots_[i];
    CMR_DEC_STATUS::Slot& o = st.slots[i];
    o.badFrames = s.bad;
    o.goodFrames = s.good;
    o.stationId = s.id;
    o.lastTime = static_cast<std::int32_t>(s.lastTime);
    o.lastObsTime = static_cast<std::int32_t>(s.lastObsTime);
    o.quality = s.quality;
    o.latency = static_cast<std::int32_t>(s.latency);
    o.epochPeriod = s.period;
  }
}

void CmrStationTable::onBadFrame(std::uint8_t id, int port, std::uint32_t now) {
  Lock l(mutex_);
  // A frame that failed its check tells nothing reliable about its station: it counts against a
  // station already followed, and never takes a slot from one.
  for (SlotState& s : slots_) {
    if (s.id != id) continue;
    countUp(s.bad);
    feedRate(s, 0.0);
  }
  if (client_ == nullptr) return;
  CMR_DEC_STATUS st;
  fillStatus(st, slotToShow(now));
  client_->updateStatus(st, port);
  // The status's periods are filed once.
  for (int i = 0; i < kSlots; ++i) slots_[i].period.period = st.slots[i].epochPeriod.period;
}

bool CmrStationTable::decodeObs(const CMR_HEADER& h, const std::uint8_t* d, int len, bool glonass,
                                CMR_MEAS& m) const {
  if (len < cmr::kHeaderLen) return false;
  const cmr::Header hd = cmr::unpackHeader(d);
  if (hd.timeMs >= static_cast<std::uint32_t>(cmr::kTimeModMs)) return false;
  m.timeMs = static_cast<std::int32_t>(hd.timeMs);
  m.clockOffset = static_cast<float>(hd.clockOffset * kClockStep + (h.version <= 2 ? kOldVersionClock : 0.0));
  m.clockBits = hd.clockBits;
  m.sys = glonass ? 1 : 0;
  m.stationId = h.stationId;
  m.version = h.version;
  m.energies = 1;
  m.count = 0;
  int at = cmr::kHeaderLen;
  for (int i = 0; i < hd.low5; ++i) {
    if (at + cmr::kL1Block > len) return false;
    const std::uint8_t* p = d + at;
    CMR_MEAS::Sv& s = m.sv[i];
    s = CMR_MEAS::Sv{};
    const int id = p[0] >> 3;
    s.num = static_cast<std::uint8_t>(id == 0 ? 32 : id);
    s.l1Flags = static_cast<std::uint8_t>(p[0] & 7);
    s.l1Code = bits(p, 8, 24) * 0.125;
    s.l1Phase = sbits(p, 32, 20) / 256.0;
    const int snr = static_cast<int>(bits(p, 52, 4));
    s.l1Energy = static_cast<float>(h.version >= 3 ? 28 + 2 * snr : snr);
    s.l1Slip = p[7];
    at += cmr::kL1Block;
    if (s.l1Flags & CMR_MEAS::kL2Present) {
      if (at + cmr::kL2Block > len) return false;
      const std::uint8_t* q = d + at;
      s.l2Flags = static_cast<std::uint8_t>(q[0] & 0xF8);
      s.l2Range = sbits(q, 8, 16) * 0.01;
      s.l2Phase = sbits(q, 24, 20) / 256.0;
      const int snr2 = static_cast<int>(bits(q, 44, 4));
      s.l2Energy = static_cast<float>(h.version >= 3 ? 4 * snr2 : snr2);
      s.l2Slip = q[6];
      at += cmr::kL2Block;
    }
    m.count = static_cast<std::uint8_t>(i + 1);
  }
  return true;
}

void CmrStationTable::deliverCoord(SlotState& s, const CMR_REF_COORD& c, int port, bool deliver) {
  s.pos[0] = static_cast<float>(c.x);
  s.pos[1] = static_cast<float>(c.y);
  s.pos[2] = static_cast<float>(c.z);
  if (deliver && client_ != nullptr) client_->updateRefCoord(c, port);
}

void CmrStationTable::decodePlus(SlotState& s, const CMR_HEADER& h, const std::uint8_t* d, int len, int port,
                                 bool deliver) {
  if (len < cmr::kPageHeader) return;
  const int page = d[1];
  const int count = set_.idxSet ? d[2] : d[2] + 1;
  // Pages beyond the store, or beyond the count they claim, are dropped: they would be written
  // past the page store and shift past the page mask.
  if (page >= kPages || count < 1 || count > kPages || page >= count) return;
  if (count != s.pages) {
    s.mask = 0;
    s.filled = 0;
    s.pages = count;
  }
  const int n = std::min(len - cmr::kPageHeader, cmr::kPageBytes);
  std::memcpy(s.store + page * cmr::kPageBytes, d + cmr::kPageHeader, static_cast<std::size_t>(n));
  s.mask |= 1u << page;
  s.filled = std::max(s.filled, page * cmr::kPageBytes + n);
  if (bDispCmr) std::printf("+IDX: %i %i %i %lx\r\n", h.stationId, page, count, static_cast<unsigned long>(s.mask));
  const std::uint32_t all = (1u << count) - 1;
  if ((s.mask & all) != all) return;
  s.mask = 0;
  const std::uint8_t* b = s.store;
  const int descAt = cmr::kPlusInfoLen + cmr::kPlusCoordLen;  // 27
  const int descLen = b[descAt + 1];
  const bool valid = s.filled >= descAt + 2 && b[0] == cmr::kPlusInfoId && b[1] == cmr::kPlusInfoLen &&
                     b[cmr::kPlusInfoLen] == cmr::kPlusCoordId && b[cmr::kPlusInfoLen + 1] == cmr::kPlusCoordLen &&
                     b[descAt] == cmr::kPlusDescId && descLen >= 2 + cmr::kDescNames &&
                     descAt + descLen <= s.filled;
  s.filled = 0;
  if (!valid) return;
  CMR_REF_COORD c{};
  cmrDecodeCoord(b + cmr::kPlusInfoLen + 2, c);
  c.stationId = h.stationId;
  c.antNum = b[5];
  deliverCoord(s, c, port, deliver);
  CMR_REF_DESC desc{};
  if (cmrDecodeNames(b + descAt + 2, descLen - 2, desc) && deliver && client_ != nullptr)
    client_->updateRefDesc(h, desc, port);
  if (bDispCmr) std::printf("+END\r\n");
}

void CmrStationTable::onFrame(std::uint8_t packet, const std::uint8_t* d, int len, int port, std::uint32_t now) {
  Lock l(mutex_);
  refreshRoverPos(now);
  const bool plus = packet == cmr::kPacketCmrPlus;
  CMR_HEADER h{};
  h.length = static_cast<std::uint8_t>(len);
  h.stationId = static_cast<std::uint8_t>(len > 0 ? d[0] & 31 : 0);
  h.version = static_cast<std::uint8_t>(!plus && len > 0 ? d[0] >> 5 : 0);
  h.type = static_cast<std::uint8_t>(plus ? kCmrTypePlus : len > 1 ? d[1] >> 5 : 7);
  SlotState& s = slots_[slotFor(h.stationId, now)];
  countUp(s.good);
  int type = h.type;
  if (!plus && static_cast<std::uint32_t>(type) == set_.gloType) type = kCmrTypeGlonassObs;
  if (bDispCmr) std::printf("HCMR: %i %i %i %i\r\n", type, h.stationId, h.version, len);
  const int id = cmrStationId(h.stationId);
  const bool obs = type == cmr::kTypeGps || type == kCmrTypeGlonassObs;
  bool decode = true, deliver = true;
  if (set_.inUse != -1) {
    decode = deliver = id == set_.inUse;
  } else if (set_.nrsMode) {
    if (obs) selectNearest(now);
    deliver = id == nearest_;
    if (obs) decode = deliver;
  }
  bool ok = true;
  if (decode) {
    if (obs) {
      static CMR_MEAS m;  // one decoder task; too large for its stack
      const bool glo = type == kCmrTypeGlonassObs;
      ok = decodeObs(h, d, len, glo, m);
      if (ok) {
        if (deliver && client_ != nullptr) client_->updateRtkData(m, port);
        const int sys = glo ? 1 : 0;
        const long rcv = TimeScales::now(glo ? tsGlonass : tsGps);
        if (rcv >= 0) {
          long t = cmrFullTime(rcv, m.timeMs);
          if (t < 0) t += glo ? 86400000L : 604800000L;
          decUtilsGetLatency(t, sys, s.latency);
          decUtilsGetEpochPeriod(t, sys, s.period);
        }
      }
    } else if (type == cmr::kTypeRefCoord) {
      ok = len >= cmr::kHeaderLen + cmr::kRefCoordBody;
      if (ok) {
        CMR_REF_COORD c{};
        cmrDecodeCoord(d + cmr::kHeaderLen, c);
        c.stationId = h.stationId;
        c.antNum = -1;
        deliverCoord(s, c, port, deliver);
      }
    } else if (type == cmr::kTypeDesc) {
      // A length byte, then the names: as many as it counts and the frame holds.
      CMR_REF_DESC desc{};
      ok = len > cmr::kHeaderLen &&
           cmrDecodeNames(d + cmr::kHeaderLen + 1, std::min<int>(d[cmr::kHeaderLen], len - cmr::kHeaderLen - 1), desc);
      if (ok && deliver && client_ != nullptr) client_->updateRefDesc(h, desc, port);
    } else if (type == kCmrTypePlus) {
      decodePlus(s, h, d, len, port, deliver);
    }
  }
  feedRate(s, ok ? 1.0 : 0.0);
  s.lastTime = now;
  if (obs) s.lastObsTime = now;
  if (client_ == nullptr) return;
  CMR_DEC_STATUS st;
  fillStatus(st, slotToShow(now));
  client_->updateStatus(st, port);
  for (int i = 0; i < kSlots; ++i) slots_[i].period.period = st.slots[i].epochPeriod.period;
}

// ---- framing kernel -----------------------------------------------------------------------------

CMR_Decoder::CMR_Decoder(CmrStationTable* t) : cb(kRingSize), table(t != nullptr ? t : &CmrDec) {}

void CMR_Decoder::reset() {
  cb.clean();
  framed = false;
  table->reset();
}

int CMR_Decoder::getDataSize() { return cb.getFree(); }

void CMR_Decoder::putData(const unsigned char* bytes, int len, InPorts::DecPortIndex p) {
  port = p;
  cb.put(bytes, len);
}

int CMR_Decoder::stateSynchro() {
  framed = false;
  if (cb.count < cmr::kFrameExtra) return kWaitData;
  std::uint8_t look[kLookAhead];
  const int n = cb.see(look, kLookAhead);
  int s = -1;
  for (int i = 0; i + 2 < n && s < 0; ++i) {
    if (look[i] != cmr::kStx) continue;
    const bool cmrStart = look[i + 1] == 0 && look[i + 2] == cmr::kPacketCmr;
    const bool plusStart =
        (look[i + 1] == 0 || look[i + 1] == cmr::kStatusCmrPlusAlt) && look[i + 2] == cmr::kPacketCmrPlus;
    if (cmrStart || plusStart) s = i;
  }
  if (s < 0) {
    // The last two bytes may be the start of a frame whose type has not come yet.
    cb.erase(n - 2);
    return kSynchro;
  }
  if (s + cmr::kFrameExtra > n) {
    cb.erase(s);
    return kSynchro;
  }
  if (look[s + 3] > cmr::kMaxDataLen) {
    // A frame this long cannot fit the ring: its collection would wait for ever.
    cb.erase(s + 1);
    return kSynchro;
  }
  status = look[s + 1];
  packet = look[s + 2];
  length = look[s + 3];
  stationId = static_cast<std::uint8_t>(look[s + 4] & 31);
  cb.erase(s + 3);
  framed = true;
  return kCollecting;
}

int CMR_Decoder::stateCollecting() {
  if (!framed) return kSynchro;
  const int need = length + 3;
  if (cb.count < need) return kWaitData;
  std::uint8_t buf[cmr::kMaxDataLen + 3];
  cb.see(buf, need);
  const bool good = cmr::checksum(status, packet, buf + 1, length) == buf[length + 1] && buf[length + 2] == cmr::kEtx;
  if (good) {
    std::memcpy(frame, buf + 1, length);
    cb.erase(need);
    return kDecoding;
  }
  // Searching again from the length byte: a frame may start inside the refused one.
  framed = false;
  table->onBadFrame(stationId, port, MonoClock::sec());
  return kSynchro;
}

int CMR_Decoder::stateDecoding() {
  if (!framed) return kSynchro;
  framed = false;
  table->onFrame(packet, frame, length, port, MonoClock::sec());
  return kSynchro;
}
