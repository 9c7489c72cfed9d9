#include "differential/nrtk/rtcm_nrtk_decoder.h"

#include <cmath>
#include <cstdio>

#include "platform/debug.h"
#include "settings/debug_selectors.h"

namespace {
constexpr double kPi = 3.14159265358979323846;
constexpr double kDegToRad = kPi / 180.0;
constexpr int kMaxStationId = 4095;  // 12 bits

// A message's satellite number as the store's satellite (GLONASS: its frequency channel); none
// (id 0) when the number is unknown.
CpdSv svOf(int sys, int satId) {
  const int num = cpdSvId(sys, satId);
  if (num == -100) return CpdSv{};
  return CpdSv::make(sys, num);
}

bool sameEpoch(const CpdNrtkCorrHeader& a, const CpdNrtkCorrHeader& b) {
  return a.time == b.time && a.auxId == b.auxId && a.mns == b.mns;
}

// A value given in `unit` steps back as its whole number of steps.
std::int64_t steps(double v, double unit) { return std::llround(v / unit); }

CpdNrtkCorrHeader headerOf(const RTC3_NRTK_HEADER& h) {
  CpdNrtkCorrHeader hdr;
  hdr.time = CpdNrtkTimeTag::ofMs(h.epochMs);
  hdr.auxId = h.auxId;
  hdr.mns.master = static_cast<std::int16_t>(h.masterId);
  hdr.mns.network = h.networkId;
  hdr.mns.subnet = static_cast<std::int8_t>(h.subnetId);
  return hdr;
}

int satsOf(const CpdNrtkCorr& c) { return c.svs.n + c.res.n; }
}  // namespace

void RtcmNrtkCpdDecoder::report(const char* what, CpdNrtk& n, const CpdNrtkSafePtrArray& rings,
                                const CpdNrtkCorrHeader& h, const Open& open) const {
  if (rtcm_dbi != kDebugNetwork) return;
  char state[64] = "dropped";
  CpdNrtkCorrBuf* ring = rings[n.best(h.auxId)];
  if (open.rec != nullptr && sameEpoch(open.rec->hdr, h)) {
    std::snprintf(state, sizeof state, "open, %d sats of %d messages", satsOf(*open.rec), open.rec->hdr.counter);
  } else if (ring != nullptr) {
    if (const CpdNrtkCorr* c = ring->doFind(h.mns, h.auxId, h.time)) {
      std::snprintf(state, sizeof state, "stored, %d sats of %d messages", satsOf(*c), c->hdr.counter);
      ring->doUnlock(c);
    }
  }
  long newest = -1;
  if (ring != nullptr) {
    if (const CpdNrtkCorr* c = ring->doGet()) {
      newest = c->hdr.time.ms;
      ring->doUnlock(c);
    }
  }
  debPrintfx(-1, "NRTK %s aux %d t %d: %s; newest %ld\n", what, h.auxId, h.time.ms, state, newest);
}

void RtcmNrtkCpdDecoder::Open::commit() {
  if (rec != nullptr) ring->doRelease(rec);
  rec = nullptr;
  ring = nullptr;
}

void RtcmNrtkCpdDecoder::Open::drop() {
  if (rec != nullptr) ring->doReclaim(rec);
  rec = nullptr;
  ring = nullptr;
}

// A reset with no epoch open keeps the epoch an earlier reset cut: a port that leaves its mode
// and comes back resets its decoders twice, and the rest of the cut epoch must still not be
// published as if it were whole.
void RtcmNrtkCpdDecoder::Open::forget() {
  if (rec != nullptr) lost = rec->hdr;
  drop();
}

bool RtcmNrtkCpdDecoder::Open::isLost(const CpdNrtkCorrHeader& h) {
  if (lost.auxId < 0) return false;
  if (sameEpoch(lost, h)) return true;
  lost = CpdNrtkCorrHeader{};
  return false;
}

CpdNrtk* RtcmNrtkCpdDecoder::obtain(CpdAux*& aux) {
  aux = buf_ != nullptr ? buf_->doObtainAux() : nullptr;
  if (aux == nullptr) return nullptr;
  if (aux->nrtk == nullptr) {
    buf_->doReleaseAux(aux);
    aux = nullptr;
    return nullptr;
  }
  return aux->nrtk;
}

void RtcmNrtkCpdDecoder::release(CpdAux* aux) { buf_->doReleaseAux(aux); }

CpdNrtkMnsId RtcmNrtkCpdDecoder::vrsMns(const CpdNrtk& n) const {
  CpdNrtkMnsId m;
  m.master = n.auxSet.mns.master;
  m.network = static_cast<std::uint8_t>(resNet_);
  m.subnet = resSub_;
  return m;
}

void RtcmNrtkCpdDecoder::updateRefPos(const CpdCPos& pos, int stationId) {
  CpdAux* aux = nullptr;
  CpdNrtk* n = obtain(aux);
  if (n == nullptr) return;
  if (n->auxSet.changeMaster(stationId)) n->auxSet.setMasterPos(CpdUtilsInstance.xyz2geo(pos));
  release(aux);
}

void RtcmNrtkCpdDecoder::updateAux(const RTC3_NRTK_STATION& s) {
  CpdAux* aux = nullptr;
  CpdNrtk* n = obtain(aux);
  if (n == nullptr) return;
  CpdNrtkMnsId m;
  m.master = static_cast<std::int16_t>(s.masterId);
  m.network = s.networkId;
  m.subnet = static_cast<std::int8_t>(s.subnetId);
  const CpdNrtkGeoOffs offs{s.dLat * kDegToRad, s.dLon * kDegToRad, s.dHgt};
  int replaced = -1;
  if (n->auxSet.add(m, s.auxId, offs, replaced, 0)) n->best.add(s.auxId, replaced);
  release(aux);
}

void RtcmNrtkCpdDecoder::diff(CpdNrtk& n, const RTC3_NRTK_HEADER& h, const DiffSat* sats, int count,
                              CpdNrtkSafePtrArray& rings, Open& open) {
  const CpdNrtkCorrHeader hdr = headerOf(h);
  if (n.auxSet.corrReceived(hdr.mns, h.auxId, hdr.time)) n.best.clear();
  // The rest of an epoch a reset cut would be published as if it were whole.
  if (open.isLost(hdr)) return;

  if (open.rec != nullptr && !sameEpoch(open.rec->hdr, hdr)) open.commit();
  const int pos = n.best(h.auxId);
  // A station that left the best six gives its ring back, else the ring would stay taken and
  // refuse every epoch of the station that now holds that place.
  if (pos < 0 || (open.rec != nullptr && open.ring != rings[pos])) open.drop();
  if (pos < 0) return;
  if (open.rec == nullptr) {
    CpdNrtkCorrBuf* ring = rings[pos];
    if (ring == nullptr) return;
    CpdNrtkCorr* rec = ring->doObtain();
    if (rec == nullptr) return;
    rec->clear();
    rec->hdr = hdr;
    open.rec = rec;
    open.ring = ring;
  }
  ++open.rec->hdr.counter;
  for (int i = 0; i < count; ++i) {
    const DiffSat& d = sats[i];
    const CpdSv sv = svOf(h.system, d.satId);
    if (sv.id == 0) continue;
    CpdNrtkSvCorr* e = open.rec->addSv(sv);
    if (e == nullptr) continue;  // 44 held: dropped
    e->ambStatus = static_cast<std::uint32_t>(d.ambStatus);
    e->nonSync = static_cast<std::uint8_t>(d.nonSync);
    e->iod = static_cast<std::uint8_t>(d.iod);
    e->corr = static_cast<std::int32_t>(steps(d.value, CpdNrtkSvCorr::kUnitM));
  }
  if (h.multiMsg == 0) open.commit();
}

void RtcmNrtkCpdDecoder::updateIono(const RTC3_NRTK_IONO& r) {
  CpdAux* aux = nullptr;
  CpdNrtk* n = obtain(aux);
  if (n == nullptr) return;
  DiffSat sats[kNrtkMaxDiffSats];
  const int count = r.hdr.satCount < kNrtkMaxDiffSats ? r.hdr.satCount : kNrtkMaxDiffSats;
  for (int i = 0; i < count; ++i) {
    const RTC3_NRTK_IONO::Sat& s = r.sat[i];
    sats[i] = DiffSat{s.satId, s.ambStatus, s.nonSync, 0, s.iono};
  }
  diff(*n, r.hdr, sats, count, n->iono, iono_);
  report(r.hdr.system == 0 ? "GPS iono" : "GLONASS iono", *n, n->iono, headerOf(r.hdr), iono_);
  release(aux);
}

void RtcmNrtkCpdDecoder::updateGeom(const RTC3_NRTK_GEO& r) {
  CpdAux* aux = nullptr;
  CpdNrtk* n = obtain(aux);
  if (n == nullptr) return;
  DiffSat sats[kNrtkMaxDiffSats];
  const int count = r.hdr.satCount < kNrtkMaxDiffSats ? r.hdr.satCount : kNrtkMaxDiffSats;
  for (int i = 0; i < count; ++i) {
    const RTC3_NRTK_GEO::Sat& s = r.sat[i];
    sats[i] = DiffSat{s.satId, s.ambStatus, s.nonSync, s.iod, s.geo};
  }
  diff(*n, r.hdr, sats, count, n->geom, geom_);
  report(r.hdr.system == 0 ? "GPS geometric" : "GLONASS geometric", *n, n->geom, headerOf(r.hdr), geom_);
  release(aux);
}

void RtcmNrtkCpdDecoder::updateRes(const RTC3_NRTK_RES& r) {
  CpdAux* aux = nullptr;
  CpdNrtk* n = obtain(aux);
  if (n == nullptr) return;
  if (r.stationId <= kMaxStationId) stationId_ = r.stationId;
  const CpdNrtkMnsId m = vrsMns(*n);
  const CpdNrtkTimeTag time = CpdNrtkTimeTag::ofMs(static_cast<std::int64_t>(r.epoch) * 1000);
  if (n->auxSet.corrReceived(m, stationId_, time)) n->best.clear();
  CpdNrtkCorrHeader hdr;
  hdr.time = time;
  hdr.auxId = stationId_;
  hdr.mns = m;
  const bool glonass = (r.flags & RTC3_NRTK_RES::kGlonass) != 0;
  const char* what = glonass ? "GLONASS residual" : "GPS residual";
  if (res_.rec == nullptr && res_.isLost(hdr)) {
    report(what, *n, n->res, hdr, res_);
    release(aux);
    return;
  }
  if (res_.rec == nullptr) {
    const int pos = n->best(stationId_);
    CpdNrtkCorrBuf* ring = n->res[pos];
    CpdNrtkCorr* rec = ring != nullptr ? ring->doObtain() : nullptr;
    if (rec == nullptr) {
      report(what, *n, n->res, hdr, res_);
      release(aux);
      return;
    }
    rec->clear();
    rec->hdr = hdr;
    res_.rec = rec;
    res_.ring = ring;
  }
  ++res_.rec->hdr.counter;
  const int count = r.satCount < kNrtkMaxResSats ? r.satCount : kNrtkMaxResSats;
  for (int i = 0; i < count; ++i) {
    const RTC3_NRTK_RES::Sat& s = r.sat[i];
    const CpdSv sv = svOf(glonass ? CpdSv::kGlonass : CpdSv::kGps, s.satId);
    if (sv.id == 0) continue;
    CpdNrtkResSv* e = res_.rec->addSvs(sv);
    if (e == nullptr) continue;
    const float v[5] = {s.soc, s.sod, s.soh, s.sic, s.sid};
    for (int k = 0; k < 5; ++k) e->par[k] = static_cast<std::uint32_t>(steps(v[k], CpdNrtkResSv::kUnit[k]));
  }
  // A GPS message completes its epoch; GLONASS residuals come in several messages.
  if (!glonass || ++gloResCount_ >= kGloResMessages) {
    res_.commit();
    gloResCount_ = 0;
  }
  report(what, *n, n->res, hdr, res_);
  release(aux);
}

void RtcmNrtkCpdDecoder::updatePhysRefPos(const RTC3_NRTK_PHYS_REFPOS& p) {
  CpdAux* aux = nullptr;
  CpdNrtk* n = obtain(aux);
  if (n == nullptr) return;
  const int phys = p.physId <= kMaxStationId ? p.physId : -1;
  const int nonPhys = p.nonPhysId <= kMaxStationId ? p.nonPhysId : -1;
  if (stationId_ < 0) {
    stationId_ = phys >= 0 ? phys : nonPhys;
    pairOther_ = phys >= 0 ? nonPhys : phys;
  } else if (stationId_ == phys || stationId_ == nonPhys) {
    pairCur_ = stationId_;
    pairOther_ = stationId_ == phys ? nonPhys : phys;
  } else {
    // Another pair than the station the residuals name: nothing to file under it.
    release(aux);
    return;
  }
  const CpdNrtkGeoOffs offs{p.x, p.y, p.z};
  const std::uint16_t vrsId = pairOther_ >= 0 ? static_cast<std::uint16_t>(pairOther_) : CpdNrtkAuxEntry::kNoVrs;
  int replaced = -1;
  if (n->auxSet.add(vrsMns(*n), stationId_, offs, replaced, vrsId, true)) n->best.add(stationId_, replaced);
  release(aux);
}

void RtcmNrtkCpdDecoder::reset() {
  CpdAux* aux = nullptr;
  CpdNrtk* n = obtain(aux);
  if (n != nullptr) {
    iono_.forget();
    geom_.forget();
    res_.forget();
    release(aux);
  } else {
    // No store to give them back to: only forget them.
    iono_ = Open{};
    geom_ = Open{};
    res_ = Open{};
  }
  // A half-counted GLONASS residual epoch must not let the next message commit a part epoch.
  gloResCount_ = 0;
  stationId_ = -1;
  pairOther_ = -1;
  pairCur_ = -1;
  resNet_ = -1;
  resSub_ = -1;
}
