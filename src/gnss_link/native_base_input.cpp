#include "gnss_link/native_base_input.h"

#include <cstring>

#include "differential/base/cpd_meas_buf.h"
#include "differential/rtk_base.h"
#include "gnss_link/zrt_port_input.h"
#include "platform/ports/io_port_index.h"
#include "positioning/geodesy/dtm_list.h"
#include "positioning/geodesy/ell_math.h"
#include "positioning/reference/reference_pos.h"
#include "positioning/signal_tables.h"
#include "settings/base_coord.h"
#include "settings/rcv_settings.h"

namespace {

constexpr double kC = 299792458.0;  // m/s
constexpr int kAnyPort = -2;
constexpr std::uint8_t kBaseTypeStored = 5;  // base information that is the station's own position
constexpr int kPosTypes = 6;
constexpr int kBiMinLen = 28, kBiTypeAt = 26;
constexpr int kPoMinLen = 30, kPoTypeAt = 28;
constexpr int kTimeMinLen = 5;  // the 32-bit time and the checksum
// Relative range: slot 0 + 2e-7 s + value x 1e-11 s; phase: (slot-0 range + value x 2^-40 s) x f.
constexpr double kRelOffset = 2e-7, kRelStep = 1e-11;
constexpr double kPhaseStep = 1.0 / 1099511627776.0;  // 2^-40 s
constexpr double kDopplerStep = 1e-4;                 // Hz
// A frequency below this is the signal table's "no such signal".
constexpr double kMinCarrier = 1e6;

// Code range = value / D + K seconds, by system.
struct CodeScale {
  double d, k;
};
constexpr CodeScale kCodeScale[CpdSv::kSysNum] = {
    {1e11, 0.075}, {1e11, 0.075}, {5e10, 0.085}, {1e11, 0.125}, {5e10, 0.125}, {5e10, 0.105}, {5e10, 0.105},
};

constexpr int kElemSize[] = {4, 2, 4, 4, 1};

struct DataMsg {
  char id[3];
  int kind;  // ZrtCpdDecoder::Kind
  int slot;
};
// clang-format off
constexpr DataMsg kDataMsgs[] = {
    {"rc", 0, 0}, {"cp", 2, 0},
    {"2r", 1, 2}, {"3r", 1, 3}, {"5r", 1, 4}, {"lr", 1, 5},
    {"2p", 2, 2}, {"3p", 2, 3}, {"5p", 2, 4}, {"lp", 2, 5},
    {"DC", 3, 0}, {"D2", 3, 2}, {"D3", 3, 3}, {"D5", 3, 4}, {"Dl", 3, 5},
    {"EC", 4, 0}, {"E2", 4, 2}, {"E3", 4, 3}, {"E5", 4, 4}, {"El", 4, 5},
};
// clang-format on

std::uint64_t le(const char* p, int n) {
  std::uint64_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(p[i]);
  return v;
}
std::int32_t le32s(const char* p) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(le(p, 4))); }
double leDouble(const char* p) {
  const std::uint64_t w = le(p, 8);
  double d;
  std::memcpy(&d, &w, sizeof d);
  return d;
}
CpdCPos readPos(const char* body) { return CpdCPos{leDouble(body), leDouble(body + 8), leDouble(body + 16)}; }

ZrtCpdDecoder decoders[InPorts::DEC_NUM];
int boardDecPort() { return InPorts::io2dec_[kBoardPort]; }

}  // namespace

// The usable ranges reach past the index ranges of old: SBAS stops at PRN 147 (the base-epoch
// model has SBAS ids for 120-147 only, and 148-154 would take QZSS's ids), QZSS runs to PRN 199
// and BeiDou to C44. NavIC has code scalings but no index range: its satellites are not sent.
const ZrtCpdDecoder::UsiRow ZrtCpdDecoder::usiMap_[6] = {
    {1, 37, 1, 32, 0, CpdSv::kGps},          {38, 70, 38, 52, 45, CpdSv::kGlonass},
    {71, 119, 71, 106, 70, CpdSv::kGalileo}, {120, 154, 120, 147, 0, CpdSv::kSbas},
    {193, 199, 193, 199, 0, CpdSv::kQzss},   {211, 254, 211, 254, 210, CpdSv::kBeidou},
};

CpdSv ZrtCpdDecoder::mapIndex(int index) {
  for (const UsiRow& r : usiMap_) {
    if (index < r.first || index > r.last) continue;
    if (index < r.usableFirst || index > r.usableLast) break;
    return CpdSv::make(r.sys, index - r.base);
  }
  return CpdSv{};
}

ZrtCpdDecoder::ZrtCpdDecoder(int port) : port_(port) {}

ZrtCpdDecoder::~ZrtCpdDecoder() { reclaimEpoch(); }

void ZrtCpdDecoder::init(int port) {
  port_ = port;
  if (buf_ == nullptr) buf_ = cpdBufsBaseGet();
}

bool ZrtCpdDecoder::setHandlers(ZrtMsgFilter& f) {
  bool ok = f.setHandler("GT", this, &h_time) && f.setHandler("NT", this, &h_time) &&
            f.setHandler("BI", this, &h_BI) && f.setHandler("PO", this, &h_PO) && f.setHandler("PV", this, &h_PO) &&
            f.setHandler("SI", this, &h_SI);
  for (const DataMsg& m : kDataMsgs) ok = ok && f.setHandler(m.id, this, &h_data);
  return ok;
}

bool ZrtCpdDecoder::admitted() {
  const int ref = RcvSet.refPort;
  if (ref == kAnyPort || ref == port_) return true;
  reclaimEpoch();
  return false;
}

// ---- epoch cycle --------------------------------------------------------------------------------

void ZrtCpdDecoder::clearMask() {
  for (std::uint64_t& w : svMask_) w = 0;
}

void ZrtCpdDecoder::reclaimEpoch() {
  if (cur_ == nullptr) return;
  if (buf_ != nullptr) buf_->doReclaim(cur_);
  cur_ = nullptr;
}

void ZrtCpdDecoder::startEpoch(long t) {
  if (buf_ == nullptr) return;
  cur_ = buf_->doObtain();
  if (cur_ == nullptr) return;
  cur_->clear();
  cur_->decoder = kCpdOwnFormat;
  clearMask();
  spare_[0] = spare_[1] = 0.0;
  times_.reset();
  epochTime_ = t;
  etSetTimeDeltas(times_);
}

void ZrtCpdDecoder::startOfEpoch(long t) {
  if (!admitted()) return;
  reclaimEpoch();
  if (t >= 0) startEpoch(t);
}

void ZrtCpdDecoder::endOfEpoch(long t) {
  if (!admitted() || cur_ == nullptr) return;
  const std::int32_t interval = RcvSet.baseEpochInt;
  // An interval of 0 would divide by zero: no epoch falls on it.
  const bool onGrid = epochTime_ >= 0 && interval > 0 && epochTime_ % interval == 0;
  if (onGrid && (t < 0 || epochTime_ == t))
    releaseEpoch();
  else
    reclaimEpoch();
}

void ZrtCpdDecoder::releaseEpoch() {
  cpdCountsEpochClosed();
  CpdMeas* m = cur_;
  cur_ = nullptr;
  if (finishEpoch(*m)) {
    buf_->doRelease(m);
    if (CpdMeasBuf::Client* c = buf_->client()) c->process(*m);
  } else {
    buf_->doReclaim(m);
  }
}

bool ZrtCpdDecoder::finishEpoch(CpdMeas& m) {
  if (!etSetEpochId(times_, m)) {
    int sys = etGuessTimeSys(epochTime_);
    if (sys < 0) sys = CpdSv::kGps;
    if (!times_.update(sys, epochTime_) || !etSetEpochId(times_, m)) return false;
  }
  // Filled in seconds, kept in metres.
  for (int i = 0; i < m.n; ++i)
    for (CpdMeasSlot& s : m.sv[i].slot)
      if (s.flags & CpdMeasSlot::kRange) s.range *= kC;
  const std::uint8_t posType = m.refPos.posType;
  m.refPos = refPos_;
  m.refPos.posType = posType;
  m.stationId = 0;
  m.status = state_;
  m.type = CpdMeas::kObservations;
  return true;
}

void ZrtCpdDecoder::reset() {
  reclaimEpoch();
  // Only the port that may feed the base buffer empties it: another port entering the native
  // mode must not drop the base's epochs.
  const int ref = RcvSet.refPort;
  if (buf_ != nullptr && (ref == kAnyPort || ref == port_)) {
    if (CpdMeasBuf::Client* c = buf_->client()) c->reset();
    buf_->doClear();
  }
  buf_ = cpdBufsBaseGet();
  if (state_ != kBasePos) state_ = kNoPos;
  times_.reset();
  clearMask();
  spare_[0] = spare_[1] = 0.0;
  ++resets_;
  epochTime_ = -1;
}

// ---- handlers -----------------------------------------------------------------------------------

bool ZrtCpdDecoder::h_time(ZrtMsgClient* client, const ZRFMessage& msg) {
  auto* d = static_cast<ZrtCpdDecoder*>(client);
  if (!d->admitted() || d->cur_ == nullptr || msg.len < kTimeMinLen) return true;
  const long t = le32s(msg.body());
  const int sys = msg.id == ZRFMessage::makeId('N', 'T') ? CpdSv::kGlonass : CpdSv::kGps;
  if (t >= 0) d->times_.update(sys, t);
  return true;
}

bool ZrtCpdDecoder::h_BI(ZrtMsgClient* client, const ZRFMessage& msg) {
  auto* d = static_cast<ZrtCpdDecoder*>(client);
  if (d->admitted() && d->cur_ != nullptr && msg.len >= kBiMinLen) d->baseInfo(msg.body(), msg.len);
  return true;
}

bool ZrtCpdDecoder::h_PO(ZrtMsgClient* client, const ZRFMessage& msg) {
  auto* d = static_cast<ZrtCpdDecoder*>(client);
  if (d->admitted() && d->cur_ != nullptr && msg.len >= kPoMinLen) d->position(msg.body(), msg.len);
  return true;
}

bool ZrtCpdDecoder::h_SI(ZrtMsgClient* client, const ZRFMessage& msg) {
  auto* d = static_cast<ZrtCpdDecoder*>(client);
  if (d->admitted() && d->cur_ != nullptr) d->satList(msg.body(), msg.len);
  return true;
}

bool ZrtCpdDecoder::h_data(ZrtMsgClient* client, const ZRFMessage& msg) {
  auto* d = static_cast<ZrtCpdDecoder*>(client);
  if (!d->admitted() || d->cur_ == nullptr) return true;
  for (const DataMsg& m : kDataMsgs) {
    if (ZRFMessage::makeId(m.id[0], m.id[1]) != msg.id) continue;
    d->decode(msg.body(), msg.len, static_cast<Kind>(m.kind), m.slot);
    break;
  }
  return true;
}

void ZrtCpdDecoder::baseInfo(const char* body, int) {
  const CpdCPos p = readPos(body);
  if (static_cast<std::uint8_t>(body[kBiTypeAt]) != kBaseTypeStored) {
    state_ = kOtherPos;
    refPos_.set(p);
    return;
  }
  state_ = kBasePos;
  const double xyz[3] = {p.x, p.y, p.z};
  // Nothing far off the Earth's surface (a base without a position sends zeros) may become the
  // receiver's reference position or the stored base.
  if (!ReferencePos::checkXYZ(EllMath::wgs84(), xyz)) return;
  if (!RcvPosGPS.ellipsoidSet()) RcvPosGPS.setEllipsoid(EllMath::wgs84());
  bool unchanged = false;
  RcvPosGPS.setRefPos(ReferencePos::kCartesian, "W84", xyz, unchanged, static_cast<InPorts::DecPortIndex>(port_));
  bool stored = false;
  if (!RcvSet.bUseBaseEntered) {
    ReferencePos::REFPOS_PAR ref{};
    if (RcvPosGPS.getRefPos(&ref)) stored = updateRtkBase(rtkBaseFromRef(ref, RtkBase::kRtcmRef, port_, 0), false);
    saveRtkData();
  }
  // The base coordinates: the stored record once it holds this position or the user's own;
  // while the record is not available, the position just received.
  BASECOORD base{};
  getRtkBase(base);
  if ((stored || RcvSet.bUseBaseEntered) && (base.valid & RtkBase::kPosValid))
    refPos_.set(CpdCPos{base.xyz[0], base.xyz[1], base.xyz[2]});
  else if (!RcvSet.bUseBaseEntered)
    refPos_.set(p);
}

void ZrtCpdDecoder::position(const char* body, int) {
  if (state_ != kNoPos && state_ != kOtherPos) return;
  state_ = kOtherPos;
  refPos_.set(readPos(body));
  const std::uint8_t type = static_cast<std::uint8_t>(body[kPoTypeAt]);
  refPos_.posType = type < kPosTypes ? type : 0;
}

void ZrtCpdDecoder::satList(const char* body, int len) {
  nSi_ = len - 1;
  nAdded_ = 0;
  clearMask();
  for (int i = 0; i < nSi_ && i < kMaskBits; ++i) {
    const CpdSv sv = mapIndex(static_cast<unsigned char>(body[i]));
    if (sv.id == 0 || nAdded_ >= CpdMeas::kMaxSv || !cpdRecentSvs_.has(sv.id)) continue;
    CpdSvMeas* e = cur_->addSv(sv);
    if (e == nullptr) break;
    svMask_[i >> 6] |= std::uint64_t{1} << (i & 63);
    svPos_[i] = static_cast<std::uint8_t>(e - cur_->sv);
    ++nAdded_;
  }
}

void ZrtCpdDecoder::decode(const char* body, int len, Kind kind, int slot) {
  const int size = kElemSize[kind];
  if ((len - 1) / size != nSi_) {
    reclaimEpoch();
    return;
  }
  for (int i = 0; i < nSi_ && i < kMaskBits; ++i) {
    if (!maskBit(i) || svPos_[i] >= cur_->n) continue;
    decodeElement(kind, slot, cur_->sv[svPos_[i]], body + i * size);
  }
}

void ZrtCpdDecoder::decodeElement(Kind kind, int slot, CpdSvMeas& s, const char* p) {
  CpdMeasSlot& out = s.slot[slot];
  const CpdMeasSlot& first = s.slot[CpdSvMeas::kCA];
  const int sys = s.sv.sys;
  if (sys >= CpdSv::kSysNum) return;
  switch (kind) {
    case kRange: {
      const std::int32_t v = le32s(p);
      if (v == kNone32) return;
      out.range = v / kCodeScale[sys].d + kCodeScale[sys].k;
      out.flags |= CpdMeasSlot::kRange;
      return;
    }
    case kRelRange: {
      const auto v = static_cast<std::int16_t>(le(p, 2));
      if (v == kNone16 || !(first.flags & CpdMeasSlot::kRange)) return;
      out.range = first.range + kRelOffset + v * kRelStep;
      out.flags |= CpdMeasSlot::kRange;
      return;
    }
    case kPhase: {
      const std::int32_t v = le32s(p);
      if (v == kNone32 || !(first.flags & CpdMeasSlot::kRange)) return;
      const int chan = sys == CpdSv::kGlonass ? s.sv.num + 7 : 0;
      const double f = get_SvRatedFrequency(slotCpd2Cdat(slot), sys, chan);
      // A signal the system does not have has no carrier to count cycles of.
      if (f < kMinCarrier) return;
      out.phase = (first.range + v * kPhaseStep) * f;
      out.flags |= CpdMeasSlot::kPhase;
      cpdCountDecoded(sysNav2Cdat(sys), slot);
      return;
    }
    case kDoppler: {
      const std::int32_t v = le32s(p);
      if (v == kNone32) return;
      out.doppler = static_cast<float>(v * kDopplerStep);
      out.flags |= CpdMeasSlot::kDoppler;
      return;
    }
    case kEnergy: {
      const auto v = static_cast<std::uint8_t>(*p);
      if (v == kNone8) return;
      out.snr = v;
      out.flags |= CpdMeasSlot::kSnr;
      return;
    }
  }
}

// ---- one decoder per decoder port -----------------------------------------------------------------

ZrtCpdDecoder* zrtCpdDecoder(int decPort) {
  if (decPort < 0 || decPort >= InPorts::DEC_NUM || decPort == boardDecPort()) return nullptr;
  return &decoders[decPort];
}

void zrtCpdDecodersInit() {
  for (int dec = 0; dec < InPorts::DEC_NUM; ++dec) {
    ZrtCpdDecoder* d = zrtCpdDecoder(dec);
    ZrtPortInput* in = zrtPortInput(dec);
    if (d == nullptr || in == nullptr) continue;
    d->init(dec);
    d->setHandlers(in->decoder().filter());
  }
}
