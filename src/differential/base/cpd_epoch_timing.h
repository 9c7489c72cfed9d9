// Timing of a base epoch: its messages arrive time-tagged each in its own system's time, and a
// base decoder keeps one ClientTimes to tell whether a message still belongs to the epoch being
// filled. At the epoch's end it gets an id in the rover's reference time system so that base and
// rover epochs pair up by id.
#pragma once

#include <cstdint>

#include "differential/base/cpd_meas.h"

class ClientTimes {
 public:
  static constexpr int kPairs = CpdSv::kSysNum * (CpdSv::kSysNum - 1) / 2;  // 21
  static constexpr std::int32_t kUnknown = 0x7fffffff;

  // Per system the epoch time in ms within the hour; -1 not known.
  CpdEpochId time[CpdSv::kSysNum];
  // Per unordered pair (a < b, at a + b(b-1)/2) the expected time[b] - time[a]; kUnknown.
  std::int32_t deltaT[kPairs];

  ClientTimes() { reset(); }
  void reset();

  bool isSet(int sys) const;
  // time[a] - time[b] is expected to be d.
  void setDeltaT(int a, int b, std::int32_t d);
  // The expected time[a] - time[b]; false when not known (or a == b, or out of range).
  bool expected(int a, int b, std::int32_t& d) const;
  // A message of `sys` at t (ms, any range): true when it fits the epoch. A time already set is
  // compared and kept; else it is stored whether or not it fits the other systems' times.
  bool update(int sys, long t);
  bool resetAndUpdate(int sys, long t);
  // At least one time set and no two set times disagree with a known difference.
  bool ok() const;
  // Fills out[s] for each unknown in[s] from the first known time with a known difference.
  bool calcUnknownTimesOnce(CpdEpochId out[], const CpdEpochId in[]) const;
  void calcUnknownTimes();
};

// At an epoch's start: the differences the rover's last epoch shows between GLONASS and the
// other systems, and 0 between every two systems of GPS time.
void etSetTimeDeltas(ClientTimes& ct);
// At an epoch's end: its id in the rover's reference system and the receiver's time; false when
// either cannot be had (the epoch is then given back).
bool etSetEpochId(ClientTimes& ct, CpdMeas& meas);
// The system whose rover epoch time lies nearest t (ms), when within 5 s; else -1.
int etGuessTimeSys(long t);
