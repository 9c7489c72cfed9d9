// The receiver's CMR station table: four slots, the station filter (selected, any, nearest),
// the settings' RTK-reset rule and the status it files.
#include <gtest/gtest.h>

#include "cmr_test_util.h"
#include "differential/cmr/cmr_decoder.h"
#include "differential/decoder_status.h"

namespace {

using namespace cmrtest;

// The rover position a table reads at each frame, while `on`.
struct Rover {
  static inline bool on = false;
  static inline double xyz[3] = {};
  static bool read(double out[3]) {
    if (on) out[0] = xyz[0], out[1] = xyz[1], out[2] = xyz[2];
    return on;
  }
};

struct Table {
  Recorder rec;
  CmrStationTable t;
  Table() {
    t.init(&rec);
    Rover::on = false;
    t.roverSource = Rover::read;  // the rover position comes from the rows
  }
  // The rover at `pos`, read by every frame from now on (until roverOff).
  void rover(const double pos[3]) {
    Rover::xyz[0] = pos[0], Rover::xyz[1] = pos[1], Rover::xyz[2] = pos[2];
    Rover::on = true;
  }
  void roverOff() { Rover::on = false; }
  void put(const Bytes& d, std::uint32_t now, std::uint8_t packet = 0x93) {
    t.onFrame(packet, d.data(), static_cast<int>(d.size()), 0, now);
  }
  void obs(int station, std::uint32_t now) {
    SatObs s{};
    s.prn = 1;
    put(obsBody(3, station, 0, 0, {s}), now);
  }
  void coord(int station, const std::int64_t mm[3], std::uint32_t now) {
    Bits w;
    header(w, 3, station, 1, 0, 0, 0, 0);
    const int off[3] = {0, 0, 0};
    coordBody(w, mm, off, 0);
    put(w.b, now);
  }
  void settings(int inUse, bool nrs, int cnt = 10, float lim = 25.0f) {
    CMR_DEC_SETTINGS s = t.getSettings();
    s.inUse = static_cast<std::int16_t>(inUse);
    s.nrsMode = nrs ? 1 : 0;
    s.nrsCnt = static_cast<std::uint16_t>(cnt);
    s.nrsLim = lim;
    t.setSettings(s);
  }
  int slotOf(int sentId) const {
    for (int i = 0; i < 4; ++i)
      if (t.slot(i).id == sentId) return i;
    return -1;
  }
};

TEST(CmrStations, FifthStationTakesTheSlotHeardLongestAgo) {
  Table g;
  for (int id = 1; id <= 4; ++id) g.obs(id, 1000000 + static_cast<std::uint32_t>(id));
  g.obs(2, 1000010);  // station 2 heard again: station 1 is now the oldest
  g.obs(5, 1000011);
  EXPECT_EQ(g.slotOf(1), -1);
  EXPECT_EQ(g.slotOf(5), 0);
  EXPECT_EQ(g.t.slot(0).good, 1);  // a fresh slot
  g.obs(6, 1000012);
  EXPECT_EQ(g.slotOf(3), -1);
  EXPECT_EQ(g.slotOf(6), 2);
  EXPECT_EQ(g.slotOf(2), 1);
  EXPECT_EQ(g.t.slot(1).good, 2);
}

TEST(CmrStations, SelectedStationFilter) {
  struct Row {
    const char* name;
    int inUse;
    int sent;
    bool delivered;
  } rows[] = {
      {"any station", -1, 7, true},   {"selected station", 7, 7, true}, {"other station", 7, 8, false},
      {"id 0 is 32", 32, 0, true},    {"id 0 is not 0", 0, 0, false},   {"beyond 32", 100, 4, false},
  };
  for (const Row& r : rows) {
    Table g;
    g.settings(r.inUse, false);
    g.obs(r.sent, 1000000);
    EXPECT_EQ(g.rec.meas.size(), r.delivered ? 1u : 0u) << r.name;
    // Filtered or not, the station's frame counts.
    EXPECT_EQ(g.t.slot(g.slotOf(r.sent)).good, 1) << r.name;
  }
}

TEST(CmrStations, SettingsResetRule) {
  struct Row {
    const char* name;
    int from;
    int to;
    bool nrs;
    int resets;
  } rows[] = {
      {"any to fixed, nearest off", -1, 5, false, 1},
      {"fixed to any, nearest off", 5, -1, false, 0},
      {"fixed to any, nearest on", 5, -1, true, 1},
      {"fixed to another", 5, 6, false, 1},
      {"unchanged", 5, 5, false, 0},
      {"any to the nearest station", -1, 9, true, 0},
      {"any to a station not the nearest", -1, 10, true, 1},
  };
  const std::int64_t mm[3] = {1114104600, -4850729700, 3975521500};
  for (const Row& r : rows) {
    Table g;
    // Station 9 becomes the nearest station first (one station, ten confirmations).
    g.settings(-1, true, 1);
    const double rover[3] = {1114104.6, -4850729.7, 3975521.5};
    g.rover(rover);
    g.coord(9, mm, 1000000);
    g.obs(9, 1000000);
    ASSERT_EQ(g.t.nearestId(), 9) << r.name;
    g.rec.rtkResets = 0;
    g.settings(r.from, r.nrs, 1);
    // Pages waiting in a store (decoded under any station) are dropped with a reset.
    g.put(Bytes{9, 0, 3, 1, 6, 0, 0, 0, 0, 0}, 1000001, 0x94);
    const int before = g.rec.rtkResets;
    g.settings(r.to, r.nrs, 1);
    EXPECT_EQ(g.rec.rtkResets - before, r.resets) << r.name;
    if (r.from == -1) {
      EXPECT_EQ(g.t.slot(g.slotOf(9)).mask, r.resets ? 0u : 1u) << r.name;
    }
  }
}

// Station A at 1000 m from the rover, B nearer; slots scanned in order A, B.
TEST(CmrStations, NearestStationAfterConfirmationsWithMargin) {
  struct Row {
    const char* name;
    double bDistance;
    int cnt;
    std::uint32_t roverAge;
    int wantNearest;
    int frames;
  } rows[] = {
      {"30 m nearer", 970.0, 10, 0, 2, 10},
      {"not yet confirmed", 970.0, 10, 0, -1, 9},
      {"20 m nearer, within the margin", 980.0, 10, 0, -1, 30},
      {"confirmation count 3", 970.0, 3, 0, 2, 3},
      {"rover position 599 s old", 970.0, 10, 599, 2, 10},
      {"rover position 600 s old", 970.0, 10, 600, -1, 10},
  };
  const double rover[3] = {-3869297.514, 3436571.335, 3717369.376};
  for (const Row& r : rows) {
    Table g;
    g.settings(-1, true, r.cnt);
    const std::uint32_t t0 = 2000000;
    // Offsets along z only: distances are the offsets.
    const std::int64_t a[3] = {-3869297514, 3436571335, 3717369376 + 1000000};
    const std::int64_t b[3] = {-3869297514, 3436571335,
                               3717369376 - static_cast<std::int64_t>(r.bDistance * 1000)};
    // The rover position as a frame of station 1 read it, roverAge seconds before the rest.
    g.rover(rover);
    g.coord(1, a, t0 - r.roverAge);
    g.roverOff();
    g.coord(1, a, t0);
    g.coord(2, b, t0);
    for (int i = 0; i < r.frames; ++i) g.obs(2, t0);
    EXPECT_EQ(g.t.nearestId(), r.wantNearest) << r.name;
    EXPECT_EQ(g.rec.rtkResets, r.wantNearest == -1 ? 0 : 1) << r.name;
    // Observations reach the client only from the nearest station; the location frames of both
    // feed the choice but reach it only from the nearest.
    EXPECT_EQ(g.rec.meas.size(), r.wantNearest == 2 ? 1u : 0u) << r.name;
    EXPECT_TRUE(g.rec.coords.empty()) << r.name;
  }
}

TEST(CmrStations, StationsNotHeardFor30sLeaveTheChoice) {
  Table g;
  g.settings(-1, true, 1);
  const double rover[3] = {-3869297.514, 3436571.335, 3717369.376};
  const std::uint32_t t0 = 2000000;
  g.rover(rover);
  const std::int64_t a[3] = {-3869297514, 3436571335, 3717369376 + 100000};
  g.coord(1, a, t0);
  g.obs(1, t0);
  EXPECT_EQ(g.t.nearestId(), 1);
  // Station 1 silent for 31 s: its position is dropped, station 3 is the only one left.
  const std::int64_t c[3] = {-3869297514, 3436571335, 3717369376 + 500000};
  g.coord(3, c, t0 + 31);
  g.obs(3, t0 + 31);
  EXPECT_EQ(g.t.nearestId(), 3);
  EXPECT_EQ(g.t.slot(g.slotOf(1)).pos[2], 0.0f);
}

TEST(CmrStations, StatusShowsTheSelectedStation) {
  struct Row {
    const char* name;
    int inUse;
    int wantShownId;
  } rows[] = {{"any: the last heard", -1, 3}, {"selected station", 2, 2}, {"selected, never heard", 7, 7}};
  for (const Row& r : rows) {
    Table g;
    g.settings(r.inUse, false);
    g.obs(1, 1000000);
    g.obs(2, 1000001);
    g.obs(3, 1000002);
    ASSERT_FALSE(g.rec.statuses.empty()) << r.name;
    const CMR_DEC_STATUS& st = g.rec.statuses.back();
    EXPECT_EQ(st.slots[st.slot].stationId, r.wantShownId) << r.name;
  }
}

TEST(CmrStations, DecoderStatusFilesFourStreams) {
  CMR_DEC_STATUS st{};
  st.slot = 2;
  for (int i = 0; i < 4; ++i) {
    st.slots[i].goodFrames = 10 + i;
    st.slots[i].badFrames = i;
    st.slots[i].stationId = i == 3 ? 255 : i + 1;
    st.slots[i].quality = 50.0f + static_cast<float>(i);
    st.slots[i].latency = i == 0 ? -1 : 100 * i;
    st.slots[i].epochPeriod.init();
  }
  st.slots[1].epochPeriod.period = 1000;
  st.slots[1].epochPeriod.sys = 1;
  DecSt.putStatus(3, st);
  DecoderStatus::PortRecord r;
  ASSERT_TRUE(DecSt.get(3, r));
  EXPECT_EQ(r.mode, DecoderStatus::kCmr);
  EXPECT_EQ(r.multi, 1);
  EXPECT_EQ(r.selStream, 2);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(r.streams[i].good, 10 + i) << i;
    EXPECT_EQ(r.streams[i].bad, i) << i;
    EXPECT_EQ(r.streams[i].station, i == 3 ? 255 : i + 1) << i;
    EXPECT_FLOAT_EQ(r.streams[i].quality, 50.0f + static_cast<float>(i)) << i;
  }
  EXPECT_EQ(r.streams[1].period[1], 1000);
  EXPECT_EQ(st.slots[1].epochPeriod.period, -1);  // filed once
  DecSt.delStatus(3, DecoderStatus::kNone);
}

}  // namespace
