// The board simulator's broadcast of a RINEX 4 day (every system and message type) through the
// program's road: its messages, read by the layout of the raw record decoder ("gd", "qd", "cd",
// "id": satellite, time, kind, count, words; "lD": slot, frequency number, time, kind, count,
// words; "ED": satellite, time, kind, count, bytes), go into the rings, the engine's dispatch
// hands them to the decoders, and every satellite broadcast has its ephemeris of each message
// type in the satellite data store with the file's toe and orbit size. What the e2e tests read
// back through RTCM 3 and convbin rests on this.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>
#include <string>
#include <tuple>

#include "../../../tools/gnss_board_sim/sim_broadcast.h"
#include "navigation_data/orbits/beidou_eph.h"
#include "navigation_data/orbits/galileo_eph.h"
#include "navigation_data/orbits/glonass_eph.h"
#include "navigation_data/orbits/gps_records.h"
#include "navigation_data/decoders/glonass_nav_decoder.h"
#include "navigation_data/orbits/navic_eph.h"
#include "navigation_data/store/sat_data_store.h"
#include "positioning/engine/pvt_engine.h"
#include "positioning/sat_data_task.h"
#include "unit/positioning/sim_road_util.h"
#include "unit/own_process.h"

namespace {

using namespace simroad;

struct Stored {
  std::uint32_t toe;
  double sqrtA;
};

// The store's last record of a satellite's data type: toe and the square root of its semi-major
// axis (GLONASS: tb and the radius of its state vector's position).
bool stored(int sys, int si, int dataType, Stored& out) {
  const ExtEphRecord* r = SatDataProcessorInstance.get_EphLastData(sys, si, dataType);
  if (r == nullptr) return false;
  if (sys == kSysGlonass) {
    const auto* g = reinterpret_cast<const ZRT_EPH_GLN*>(r->native);
    out = {g->tb, std::sqrt(std::hypot(g->pos[0], g->pos[1], g->pos[2]))};
  } else if (sys == kSysGalileo) {
    const auto* g = reinterpret_cast<const ZRT_EPH_GAL*>(r->native);
    out = {g->toe, g->sqrtA};
  } else if (sys == kSysBeidou) {
    const auto* g = reinterpret_cast<const ZRT_EPH_CMP*>(r->native);
    out = {g->toe, g->sqrtA};
  } else if (sys == kSysNavic) {
    const auto* g = reinterpret_cast<const ZRT_EPH_IRS*>(r->native);
    out = {g->toe, g->sqrtA};
  } else {
    const auto* g = reinterpret_cast<const ZRT_EPH_GPS*>(r->native);
    out = {g->toe, g->sqrtA};
  }
  return true;
}

// The decoders' shared sets and the store's records of the tests before have no way back: in a process of its own.
TEST(SimBroadcastRoad, EverySystemAndMessageTypeReachesTheStore) {
  testproc::inOwnProcess([] {
    sim::LnavBroadcast gps;
    sim::MultiBroadcast multi;
    ASSERT_TRUE(multi.load(kFile, gps));
    PVTEngineInstance.init_Object(&PVTDataInstance, &SatDataProcessorInstance);
    navDecoderLinks.b2bSource = [] { return 3; };
    // Hong Kong sees every system; 10:00 UTC on the file's day, three minutes.
    const sim::Site site{22.3, 114.2, 50};
    const std::int64_t first = sim::civilSeconds(2023, 3, 12, 10, 0, 18);
    // A store without the ephemerides of earlier tests.
    {
      SatDataEpoch clear;
      clear.time = satDataTimeFrom(scalesAt(first * 1000));
      clear.clearAllEph = true;
      SatDataProcessorInstance.update(clear);
    }
    Heard heard;
    for (std::int64_t gps = first; gps < first + 180; ++gps) {
      epoch(gps * 1000);
      intoRings(multi.epoch(gps, static_cast<std::uint32_t>((gps % 86400) * 1000), site), heard);
      PVTEngineInstance.update_RawNavDataFromBoardDec();
    }
    const std::int64_t last = first + 180;
    SatDataEpoch ep;
    ep.time = satDataTimeFrom(scalesAt(last * 1000));
    SatDataProcessorInstance.update(ep);
    navDecoderLinks.b2bSource = nullptr;

    // (message, kind) -> system, store data type, RINEX system and record type.
    struct Row {
      const char* msg;
      int kind;
      int sys, dataType;
      char rinexSys;
      const char* type;
    };
    const Row rows[] = {
        {"qd", 0, kSysQzss, 0, 'J', "LNAV"},    {"gd", 1, kSysGps, 1, 'G', "CNAV"},  {"qd", 1, kSysQzss, 1, 'J', "CNAV"},
        {"gd", 3, kSysGps, 2, 'G', "CNAV"},     {"qd", 3, kSysQzss, 2, 'J', "CNV2"}, {"lD", 0, kSysGlonass, 0, 'R', "FDMA"},
        {"lD", 1, kSysGlonass, 1, 'R', "FDMA"},
        {"ED", 0, kSysGalileo, 0, 'E', "INAV"}, {"ED", 1, kSysGalileo, 1, 'E', "FNAV"}, {"cd", 0, kSysBeidou, 0, 'C', "D1"},
        {"cd", 0x80, kSysBeidou, 0, 'C', "D2"}, {"cd", 3, kSysBeidou, 1, 'C', "CNV1"}, {"cd", 5, kSysBeidou, 1, 'C', "CNV2"},
        {"id", 0, kSysNavic, 0, 'I', "LNAV"},
    };
    for (const Row& row : rows) {
      const auto& sats = heard[{row.msg, row.kind}];
      EXPECT_GE(sats.size(), 2u) << row.msg << " kind " << row.kind;
      // The D2 decoders are five, one per correction source: of more GEOs in view (Hong Kong sees
      // seven) those whose pages keep finding a decoder get through.
      const bool pooled = row.kind == 0x80 && sats.size() > 5;
      int missing = 0;
      for (int n : sats) {
        // GLONASS messages name the frequency number; the rest the satellite's number.
        int si = n - SYS_SI_MIN[row.sys];
        int prn = row.sys == kSysQzss ? n - 192 : n;
        if (row.sys == kSysGlonass) {
          si = n + 7;
          prn = -1;
          for (const sim::Rnx4Eph* r : multi.currentAll('R', "FDMA", last))
            if (static_cast<int>(r->at(10)) == n && multi.inView('R', r->prn, last, site)) prn = r->prn;
        }
        const std::string what = std::string(row.msg) + " kind " + std::to_string(row.kind) + " " + row.rinexSys +
                                 std::to_string(prn);
        Stored s{};
        if (!stored(row.sys, si, row.dataType, s)) {
          if (!pooled) ADD_FAILURE() << what << ": not in the store";
          ++missing;
          continue;
        }
        // The record of the file whose toe the store holds: the one current now or, for a satellite
        // that changed its data set within the last two minutes, one before (a data set goes on
        // the air where a frame begins, and a decoder may wait for a new issue's repetition).
        const sim::Rnx4Eph* r = nullptr;
        for (std::int64_t at : {last, last - 60, last - 120}) {
          const sim::Rnx4Eph* c = multi.current(row.rinexSys, prn, row.type, at);
          ASSERT_NE(c, nullptr) << what;
          // A GPS or QZSS CNAV record lists top where the others list toe: its toe is its epoch.
          const bool cnav = row.rinexSys != 'C' && (std::string(row.type) == "CNAV" || std::string(row.type) == "CNV2");
          const std::int64_t toe = row.sys == kSysGlonass ? (c->epochGps - 18 + 10800) % 86400
                                   : cnav                 ? c->epochGps % 604800
                                                          : static_cast<std::int64_t>(c->at(11));
          if (r == nullptr && static_cast<std::int64_t>(s.toe) == toe) r = c;
        }
        if (r == nullptr) {
          // A GEO whose pages found no decoder keeps what an earlier road left.
          if (!pooled) ADD_FAILURE() << what << ": toe " << s.toe << " of no record transmitted in the last two minutes";
          ++missing;
          continue;
        }
        if (row.sys == kSysGlonass) {
          EXPECT_NEAR(s.sqrtA, std::sqrt(std::hypot(r->at(3), r->at(7), r->at(11))), 1e-6) << what;
        } else {
          EXPECT_NEAR(s.sqrtA, r->at(10), 1e-6) << what;
        }
      }
      if (pooled) {
        EXPECT_LE(missing, static_cast<int>(sats.size()) - 3) << "D2";
      }
    }
  });
}

}  // namespace
