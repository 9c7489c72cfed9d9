// Shared by the simulator road tests: the board's time scales and epochs handed to the engine,
// and the simulator's navigation messages put into the raw rings by the raw record decoder's
// layout ("gd", "qd", "cd", "id": satellite, time, kind, count, words; "lD": slot, frequency
// number, time, kind, count, words; "ED", "xd": satellite, time, kind, count, bytes).
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>

#include "navigation_data/store/sat_data_store.h"
#include "positioning/engine/pvt_engine.h"
#include "positioning/sat_data_task.h"

namespace simroad {

constexpr std::int64_t kWeekMs = 604800000, kDayMs = 86400000;
inline const std::string kFile = std::string(RX_SHARED_DIR) + "/testdata/nav/BRD400DLR_S_20230710000_01D_MN.rnx.gz";

// The board's time scales at GPS millisecond `gpsMs` since 1980.
inline RcvTimeScales::INT_SCALES scalesAt(std::int64_t gpsMs) {
  RcvTimeScales::INT_SCALES s{};
  const std::int64_t week = gpsMs / kWeekMs;
  s.ms[0] = static_cast<std::int32_t>(gpsMs % kWeekMs);
  s.weekDay[0] = static_cast<std::int32_t>(week % 1024);
  s.cycle[0] = static_cast<std::int32_t>(week / 1024);
  const std::int64_t moscow = gpsMs - 18000 + 3 * 3600000;
  s.ms[1] = static_cast<std::int32_t>(moscow % kDayMs);
  s.weekDay[1] = static_cast<std::int32_t>((moscow / kDayMs - 5839) % 1461);
  s.flags[0] = s.flags[1] = RcvTimeScales::kTimeValid;
  s.rcvTime = static_cast<std::uint32_t>(gpsMs % kWeekMs);
  return s;
}

// The receiver's epoch at GPS millisecond `gpsMs`, handed to the engine.
inline void epoch(std::int64_t gpsMs) {
  const RcvTimeScales::INT_SCALES s = scalesAt(gpsMs);
  NavTask::NAV_SOL sol;
  NavTask::fill_NavEpoch(s, sol.epoch);
  sol.epoch.timeTag = static_cast<std::uint32_t>(gpsMs % kWeekMs);
  PVTEngineInstance.update(100, true, &sol, nullptr);
}

inline std::uint32_t le32(const std::string& s, std::size_t at) {
  std::uint32_t v = 0;
  for (std::size_t i = 4; i-- > 0;) v = v << 8 | static_cast<unsigned char>(s[at + i]);
  return v;
}

// The satellites of each (message, kind) the stream carried.
using Heard = std::map<std::pair<std::string, int>, std::set<int>>;

// The messages of `msgs` into the rings, each by the raw decoder's layout.
inline void intoRings(const std::string& msgs, Heard& heard) {
  for (std::size_t p = 0; p + 5 <= msgs.size();) {
    const std::string id = msgs.substr(p, 2);
    const std::size_t len = std::stoul(msgs.substr(p + 2, 3), nullptr, 16);
    const std::string body = msgs.substr(p + 5, len - 1);  // without the checksum
    p += 5 + len;
    if (id == "lD") {
      CorrData::GloRawMessageType e{};
      e.uSv = static_cast<std::uint8_t>(body[0]);
      e.iFreq = static_cast<std::int8_t>(body[1]);
      e.uKind = static_cast<std::uint8_t>(body[6]);
      e.uCount = static_cast<std::uint8_t>(body[7]);
      for (int k = 0; k < e.uCount; ++k) e.ulWords[k] = le32(body, 8 + 4 * static_cast<std::size_t>(k));
      GloRawMessageData.append(e);
      heard[{id, e.uKind}].insert(e.iFreq);
      continue;
    }
    const int kind = static_cast<unsigned char>(body[5]), n = static_cast<unsigned char>(body[6]);
    heard[{id, kind}].insert(static_cast<unsigned char>(body[0]));
    if (id == "ED" || id == "xd") {
      CorrData::GalRawMessageType e{};
      e.uSv = static_cast<std::uint8_t>(body[0]);
      e.uKind = static_cast<std::uint8_t>(kind);
      e.uCount = static_cast<std::uint8_t>(n);
      for (int k = 0; k < n; ++k) e.uData[k] = static_cast<std::uint8_t>(body[7 + static_cast<std::size_t>(k)]);
      if (id == "ED") GalRawMessageData.append(e);
      else LexRawMessageData.append(e);
      continue;
    }
    CorrData::GpsRawMessageType e{};
    e.uSv = static_cast<std::uint8_t>(body[0]);
    e.uKind = static_cast<std::uint8_t>(kind);
    e.uCount = static_cast<std::uint8_t>(n);
    for (int k = 0; k < n; ++k) e.ulWords[k] = le32(body, 7 + 4 * static_cast<std::size_t>(k));
    if (id == "gd") GpsRawMessageData.append(e);
    if (id == "qd") QzssRawMessageData.append(e);
    if (id == "cd") CompRawMessageData.append(e);
    if (id == "id") IrnssRawMessageData.append(e);
  }
}

}  // namespace simroad
