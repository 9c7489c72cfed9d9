#include "differential/base/cpd_meas.h"

#include <cstring>

#include "navigation_data/store/sat_data_store.h"
#include "positioning/data_servers/pos_setup_types.h"
#include "positioning/data_servers/pvt_data.h"

namespace {
// The id table: per system its first number, its count of numbers and what turns a number into
// the global id (NavIC's offset is taken modulo 256).
struct IdRange {
  int first;
  int count;
  int offset;
};
constexpr IdRange kIdTable[CpdSv::kSysNum] = {
    {1, 32, 0}, {-7, 15, 40}, {1, 36, 47}, {120, 28, -36}, {193, 7, -81}, {1, 63, 118}, {1, 14, -75 + 256},
};

template <class T>
T field(const PosSetup::SatProcessorSetupType& s, std::size_t off) {
  T v;
  std::memcpy(&v, s.aBytes + off, sizeof v);
  return v;
}
}  // namespace

std::uint8_t CpdSv::idOf(int sys, int num) {
  if (sys < 0 || sys >= kSysNum) return 0;
  const IdRange& r = kIdTable[sys];
  if (num < r.first || num >= r.first + r.count) return 0;
  return static_cast<std::uint8_t>((num + r.offset) & 0xFF);
}

CpdSv CpdSv::make(int sys, int num) {
  CpdSv s;
  s.sys = sys >= 0 && sys < kSysNum ? static_cast<std::uint8_t>(sys) : static_cast<std::uint8_t>(kNone);
  s.num = static_cast<std::int16_t>(num);
  s.id = idOf(sys, num);
  return s;
}

bool CpdSv::fromId(int id, CpdSv& out) {
  if (id < 1 || id > kMaxId) return false;
  for (int sys = 0; sys < kSysNum; ++sys) {
    const IdRange& r = kIdTable[sys];
    const int first = (r.first + r.offset) & 0xFF;
    if (id >= first && id < first + r.count) {
      out = make(sys, r.first + (id - first));
      return true;
    }
  }
  return false;
}

std::uint8_t sysCpd2Nav(int sys) { return sys >= 0 && sys < CpdSv::kSysNum ? static_cast<std::uint8_t>(sys) : 255; }
int slotCdat2Cpd(int slot) { return slot >= 0 && slot < CpdSvMeas::kSlotNum ? slot : CpdSvMeas::kSlotNum; }
int slotCpd2Cdat(int slot) { return slot >= 0 && slot < CpdSvMeas::kSlotNum ? slot : 255; }

int cpdSvId(int sys, int n) {
  if (sys < 0 || sys >= CpdSv::kSysNum || n < 1) return -100;
  const int si = SatDataProcessorInstance.get_SvIdx(sys, n - 1);
  if (si == kSvUnknown) return -100;
  return si + kIdTable[sys].first;
}

void CpdSvMeas::clear() {
  sv = CpdSv{};
  iod = kIodUnknown;
  elev = kElevUnknown;
  for (CpdMeasSlot& s : slot) s.flags = 0;
}

std::int32_t operator-(CpdEpochId a, CpdEpochId b) {
  std::int32_t d = a.v_ - b.v_;
  if (d < -CpdEpochId::kHourMs / 2) d += CpdEpochId::kHourMs;
  if (d > CpdEpochId::kHourMs / 2) d -= CpdEpochId::kHourMs;
  return d;
}

CpdEpochId operator+(CpdEpochId a, std::int64_t dt) {
  if (a.v_ == CpdEpochId::kNone) return a;
  // Any dt, however far below zero, lands within the hour.
  std::int64_t s = (static_cast<std::int64_t>(a.v_) + dt) % CpdEpochId::kHourMs;
  if (s < 0) s += CpdEpochId::kHourMs;
  return CpdEpochId(static_cast<std::int32_t>(s));
}

void CpdMeasTimes::reset() {
  for (std::int32_t& t : time) t = -1;
}

void CpdRefPos::set(const CpdCPos& p) {
  x = p.x;
  y = p.y;
  z = p.z;
  valid = 1;
  ++serial;
}

void CpdRefPos::reset() {
  valid = 0;
  ++serial;
}

void CpdAntOffs::set(std::int32_t t, const float off[3]) {
  type = t;
  for (int i = 0; i < 3; ++i) v[i] = off[i];
}

CpdMeas::CpdMeas() {
  for (CpdSvMeas& s : sv) s.clear();
  clear();
}

void CpdMeas::clear() {
  n = 0;
  type = kNoType;
  phaseAligned = 0;
  id = CpdEpochId();
  times.reset();
  refPos.reset();
  virtRefPos.reset();
  l2l1.type = CpdAntOffs::kNone;
  stationId = -1;
  decoder = -1;
  for (std::int32_t& r : timeResidual) r = 0;
  for (double& o : sysTimeOffset) o = 0.0;
  status = 0;
}

const CpdSvMeas* CpdMeas::find(const CpdSv& s) const {
  if (s.id < 1 || s.id > CpdSv::kMaxId) return end();
  const int e = svIndex[s.id - 1];
  if (e < n && sv[e].sv.id == s.id) return sv + e;
  return end();
}

CpdSvMeas* CpdMeas::find(const CpdSv& s) { return const_cast<CpdSvMeas*>(static_cast<const CpdMeas*>(this)->find(s)); }

CpdSvMeas* CpdMeas::addSv(const CpdSv& s) {
  // Id 0 is no satellite and nothing lies above 195: svIndex has no entry for either.
  if (s.id < 1 || s.id > CpdSv::kMaxId) return nullptr;
  CpdSvMeas* e = find(s);
  if (e != end()) return e;
  if (n >= kMaxSv) return nullptr;
  svIndex[s.id - 1] = static_cast<std::uint8_t>(n);
  e = sv + n;
  ++n;
  e->clear();
  e->sv = s;
  return e;
}

bool CpdMeas::reclaimSv(CpdSvMeas* e) {
  if (n <= 0 || e != sv + n - 1) return false;
  --n;
  return true;
}

void CpdSvInfo::reset() {
  PosSetup::SatProcessorSetupType setup;
  if (!PVTDataInstance.satProcessorSetup.Take(&setup)) return;
  reset(setup);
}

void CpdSvInfo::reset(const PosSetup::SatProcessorSetupType& setup) {
  const std::uint32_t sysUse = field<std::uint32_t>(setup, PosSetup::kSatSysUseOffset);
  const std::uint32_t gloChannels = field<std::uint32_t>(setup, PosSetup::kSatGloChannelOffset);
  for (int sys = 0; sys < CpdSv::kSysNum; ++sys) {
    const IdRange& r = kIdTable[sys];
    const std::uint64_t inUse = field<std::uint64_t>(setup, PosSetup::kSatInUseMaskOffset + 8 * sys);
    const int firstId = (r.first + r.offset) & 0xFF;
    for (int k = 0; k < r.count; ++k) {
      std::uint16_t& word = w[firstId + k];
      word = 0;
      if (sys == CpdSv::kGlonass) {
        // The mask knows satellites by orbital slot: the channel's satellite is the one the
        // ephemerides linked to it, when they did.
        if (((gloChannels >> k) & 1u) == 0) word = kGloChannel;
        const SvIdType id = SatDataProcessorInstance.get_EphSvId(kSysGlonass, k);
        if (id.sat < 64 && ((inUse >> id.sat) & 1u) == 0) word = kSvMasked;
      } else if (((inUse >> k) & 1u) == 0) {
        word = kSvMasked;
      }
      if (((sysUse >> sys) & 1u) == 0) word = kSysDisabled;
    }
  }
}

Cpd::Solution::Solution() {
  for (double& v : block9) v = 0.0;
  for (double& v : block6) v = 0.0;
  svInfo.reset();
}
