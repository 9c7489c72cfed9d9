#include "differential/base/cpd_epoch_timing.h"

#include <cstdlib>

#include "differential/base/cpd_meas_buf.h"
#include "positioning/time_scales.h"

namespace {
constexpr int kSys = CpdSv::kSysNum;
constexpr int kGlo = CpdSv::kGlonass;
constexpr long kGuessWindowMs = 5000;

int pairPos(int lo, int hi) { return lo + hi * (hi - 1) / 2; }
bool validSys(int s) { return s >= 0 && s < kSys; }

// A time of any range as an id: its ms within the hour, -1 for a negative (unknown) time.
CpdEpochId hourMs(long t) {
  if (t < 0) return CpdEpochId();
  return CpdEpochId(static_cast<std::int32_t>(t % CpdEpochId::kHourMs));
}
}  // namespace

void ClientTimes::reset() {
  for (CpdEpochId& t : time) t = CpdEpochId();
  for (std::int32_t& d : deltaT) d = kUnknown;
}

bool ClientTimes::isSet(int sys) const { return validSys(sys) && time[sys].isSet(); }

void ClientTimes::setDeltaT(int a, int b, std::int32_t d) {
  if (!validSys(a) || !validSys(b) || a == b) return;
  if (a > b)
    deltaT[pairPos(b, a)] = d;
  else
    deltaT[pairPos(a, b)] = -d;
}

bool ClientTimes::expected(int a, int b, std::int32_t& d) const {
  if (!validSys(a) || !validSys(b) || a == b) return false;
  const std::int32_t v = a > b ? deltaT[pairPos(b, a)] : deltaT[pairPos(a, b)];
  if (v == kUnknown) return false;
  d = a > b ? v : -v;
  return true;
}

bool ClientTimes::update(int sys, long t) {
  if (!validSys(sys)) return false;
  const CpdEpochId cand = hourMs(t);
  if (time[sys].isSet()) return cand == time[sys];
  bool fits = cand.isSet();
  for (int k = 0; k < kSys && fits; ++k) {
    std::int32_t d;
    if (k == sys || !time[k].isSet() || !expected(sys, k, d)) continue;
    if (cand - time[k] != d) fits = false;
  }
  time[sys] = cand;
  return fits;
}

bool ClientTimes::resetAndUpdate(int sys, long t) {
  reset();
  return update(sys, t);
}

bool ClientTimes::ok() const {
  bool any = false;
  for (int a = 0; a < kSys; ++a) {
    if (!time[a].isSet()) continue;
    any = true;
    for (int b = a + 1; b < kSys; ++b) {
      std::int32_t d;
      if (time[b].isSet() && expected(a, b, d) && time[a] - time[b] != d) return false;
    }
  }
  return any;
}

bool ClientTimes::calcUnknownTimesOnce(CpdEpochId out[], const CpdEpochId in[]) const {
  bool any = false;
  for (int s = 0; s < kSys; ++s) {
    if (in[s].isSet()) continue;
    for (int k = 0; k < kSys; ++k) {
      std::int32_t d;
      if (k == s || !in[k].isSet() || !expected(s, k, d)) continue;
      out[s] = in[k] + d;
      any = true;
      break;
    }
  }
  return any;
}

void ClientTimes::calcUnknownTimes() {
  for (;;) {
    CpdEpochId copy[kSys];
    for (int s = 0; s < kSys; ++s) copy[s] = time[s];
    if (!calcUnknownTimesOnce(time, copy)) return;
  }
}

void etSetTimeDeltas(ClientTimes& ct) {
  CpdMeasTimes rover;
  if (cpdGetTimesAndId(rover, nullptr) && rover.time[kGlo] != -1) {
    const CpdEpochId glo = hourMs(rover.time[kGlo]);
    for (int s = 0; s < kSys; ++s) {
      if (rover.time[s] == -1) continue;
      ct.setDeltaT(s, kGlo, hourMs(rover.time[s]) - glo);
    }
  }
  // Every system but GLONASS keeps GPS time (the decoders bring BeiDou onto it).
  for (int a = 0; a < kSys; ++a)
    for (int b = a + 1; b < kSys; ++b)
      if (a != kGlo && b != kGlo) ct.setDeltaT(a, b, 0);
}

bool etSetEpochId(ClientTimes& ct, CpdMeas& meas) {
  if (!ct.ok()) return false;
  CpdMeasTimes rover;
  CpdEpochId id;
  if (!cpdGetTimesAndId(rover, &id)) return false;
  int ref = -1;
  for (int s = 0; s < kSys && ref < 0; ++s)
    if (rover.time[s] != -1 && hourMs(rover.time[s]) == id) ref = s;
  if (ref < 0) return false;
  if (!ct.isSet(ref)) {
    ct.calcUnknownTimes();
    if (!ct.isSet(ref)) return false;
  }
  meas.id = ct.time[ref];
  const long now = TimeScales::now(ref == kGlo ? tsGlonass : tsGps);
  meas.rcvTime = now < 0 ? -1 : static_cast<std::int32_t>(now % CpdEpochId::kHourMs);
  return true;
}

int etGuessTimeSys(long t) {
  CpdMeasTimes rover;
  if (!cpdGetTimesAndId(rover, nullptr)) return -1;
  // A negative t is taken within the hour like any other.
  long tm = t % CpdEpochId::kHourMs;
  if (tm < 0) tm += CpdEpochId::kHourMs;
  const CpdEpochId at(static_cast<std::int32_t>(tm));
  int best = -1;
  long bestD = 0;
  for (int s = 0; s < kSys; ++s) {
    if (rover.time[s] == -1) continue;
    const CpdEpochId rt = hourMs(rover.time[s]);
    if (!rt.isSet()) continue;
    const long d = std::labs(static_cast<long>(rt - at));
    if (best < 0 || d < bestD) {
      best = s;
      bestD = d;
    }
  }
  return best >= 0 && bestD < kGuessWindowMs ? best : -1;
}
