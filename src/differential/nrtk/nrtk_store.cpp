#include "differential/nrtk/nrtk_store.h"

#include <limits>

#include "differential/base/cpd_meas_buf.h"

// ---- ids and times --------------------------------------------------------------------------------

bool CpdNrtkMnsId::changeMaster(int id) {
  if (id == master) return false;
  master = static_cast<std::int16_t>(id);
  network = kNoNetwork;
  subnet = kNoSubnet;
  return true;
}

bool CpdNrtkMnsId::changeNetSub(int net, int sub) {
  if (!masterSet()) return false;
  if (net == network && sub == subnet) return false;
  network = static_cast<std::uint8_t>(net);
  subnet = static_cast<std::int8_t>(sub);
  return true;
}

CpdNrtkTimeTag CpdNrtkTimeTag::ofMs(std::int64_t ms) {
  if (ms < 0) return CpdNrtkTimeTag{};
  return CpdNrtkTimeTag{static_cast<std::int32_t>(ms % CpdEpochId::kHourMs)};
}

// ---- the auxiliary stations -----------------------------------------------------------------------

void CpdNrtkAuxEntry::free() {
  id = -1;
  time = CpdNrtkTimeTag{};
  vrsId = kNoVrs;
  vrsFlag = 0;
}

bool CpdNrtkAuxSet::changeMaster(int id) {
  if (!mns.changeMaster(id)) return false;
  masterPosValid = 0;
  return true;
}

void CpdNrtkAuxSet::setMasterPos(const CpdGPos& pos) {
  masterPos = pos;
  masterPosValid = 1;
}

CpdNrtkAuxEntry* CpdNrtkAuxSet::entryOf(int auxId) {
  if (auxId < 0) return nullptr;
  for (CpdNrtkAuxEntry& e : aux)
    if (e.id == auxId) return &e;
  return nullptr;
}

bool CpdNrtkAuxSet::corrReceived(const CpdNrtkMnsId& m, int auxId, CpdNrtkTimeTag time) {
  bool changed = false;
  if (mns.masterSet() && m.master == mns.master && time.valid() &&
      (m.network != mns.network || m.subnet != mns.subnet)) {
    // A network that spoke lately may still be heard: another one is believed only once the
    // current one has been quiet for the delay. Times of the hour are compared folded, so a
    // correction just after the hour's turn is not read as one from an hour before.
    const bool known = mns.network != CpdNrtkMnsId::kNoNetwork && lastCorr.valid();
    if (!known || CpdEpochId(time.ms) - CpdEpochId(lastCorr.ms) > netChangeDelayMs) {
      changed = mns.changeNetSub(m.network, m.subnet);
      if (changed) {
        for (CpdNrtkAuxEntry& e : aux) e.free();
        lastCorr = CpdNrtkTimeTag{};
      }
    }
  }
  // Only the current network's corrections keep it alive: were a refused network's corrections
  // counted too, a network that takes over without a pause would never be believed.
  if (m == mns && time.valid()) {
    lastCorr = time;
    if (CpdNrtkAuxEntry* e = entryOf(auxId)) e->time = time;
  }
  return changed;
}

std::int64_t CpdNrtkAuxSet::ageOf(const CpdNrtkAuxEntry& e) const {
  if (!e.time.valid() || !lastCorr.valid()) return std::numeric_limits<std::int64_t>::max();
  return CpdEpochId(lastCorr.ms) - CpdEpochId(e.time.ms);
}

bool CpdNrtkAuxSet::add(const CpdNrtkMnsId& m, int auxId, const CpdNrtkGeoOffs& offs, int& replacedId,
                        std::uint16_t vrsId, bool vrs) {
  replacedId = -1;
  if (m.network != mns.network || m.master != mns.master || auxId < 0) return false;
  if (CpdNrtkAuxEntry* e = entryOf(auxId)) {
    e->offs = offs;
    e->vrsId = vrsId;
    return false;
  }
  CpdNrtkAuxEntry* use = nullptr;
  for (CpdNrtkAuxEntry& e : aux) {
    if (e.id < 0) {
      use = &e;
      break;
    }
  }
  if (use == nullptr) {
    use = &aux[0];
    for (CpdNrtkAuxEntry& e : aux)
      if (ageOf(e) > ageOf(*use)) use = &e;
    replacedId = use->id;
  }
  use->free();
  use->id = auxId;
  use->offs = offs;
  use->vrsId = vrsId;
  use->vrsFlag = vrs ? 1 : 0;
  return true;
}

// ---- the best six ---------------------------------------------------------------------------------

int CpdNrtkBestAuxSet::operator()(int auxId) const {
  if (auxId < 0) return -1;
  for (int i = 0; i < kSize; ++i)
    if (id[i] == auxId) return i;
  return -1;
}

void CpdNrtkBestAuxSet::add(int auxId, int replacedId) {
  if (auxId < 0 || (*this)(auxId) >= 0) return;
  for (std::int32_t& p : id) {
    if (p < 0) {
      p = auxId;
      return;
    }
  }
  const int r = (*this)(replacedId);
  if (r >= 0) id[r] = auxId;
}

void CpdNrtkBestAuxSet::clear() {
  for (std::int32_t& p : id) p = -1;
}

// ---- correction epochs and their rings -------------------------------------------------------------

void CpdNrtkCorr::clear() {
  hdr = CpdNrtkCorrHeader{};
  svs.n = 0;
  res.n = 0;
}

CpdNrtkCorr* CpdNrtkCorrBufImp::doObtain() {
  CpdNrtkCorr* c = ring_.obtain();
  if (c != nullptr) writing_ = c;
  return c;
}

void CpdNrtkCorrBufImp::doRelease(CpdNrtkCorr* c) {
  if (c == nullptr || c != writing_) return;
  ring_.release(c);
  writing_ = nullptr;
}

void CpdNrtkCorrBufImp::doReclaim(CpdNrtkCorr* c) {
  if (c == nullptr || c != writing_) return;
  ring_.reclaim(c);
  writing_ = nullptr;
}

const CpdNrtkCorr* CpdNrtkCorrBufImp::doGet() { return ring_.get(); }

const CpdNrtkCorr* CpdNrtkCorrBufImp::doFind(const CpdNrtkMnsId& mns, int auxId, CpdNrtkTimeTag time) {
  return ring_.findIf([&](const CpdNrtkCorr& c) {
    return (time.ms < 0 || c.hdr.time == time) && (auxId == -1 || c.hdr.auxId == auxId) &&
           (mns.master == CpdNrtkMnsId::kAnyMaster || c.hdr.mns == mns);
  });
}

void CpdNrtkCorrBufImp::doUnlock(const CpdNrtkCorr* c) { ring_.unlock(c); }

void CpdNrtkCorrBufImp::doClear() {
  doReclaim(writing_);
  ring_.clear();
}

// ---- the program's store ----------------------------------------------------------------------------

CpdNrtk nrtk;
CpdNrtkCorrBufImp geomBuf[CpdNrtkBestAuxSet::kSize];
CpdNrtkCorrBufImp ionoBuf[CpdNrtkBestAuxSet::kSize];
CpdNrtkCorrBufImp resBuf[CpdNrtkBestAuxSet::kSize];

void rtcmNrtkInit() {
  for (int i = 0; i < CpdNrtkBestAuxSet::kSize; ++i) {
    nrtk.iono.set(i, &ionoBuf[i]);
    nrtk.geom.set(i, &geomBuf[i]);
    nrtk.res.set(i, &resBuf[i]);
  }
  if (pBaseMeasBuf == nullptr) return;
  if (CpdAux* a = pBaseMeasBuf->doObtainAux()) {
    a->nrtk = &nrtk;
    pBaseMeasBuf->doReleaseAux(a);
  }
}
