// The CMR reader on hand-built frames: framing (STX, status, type, length, checksum, ETX), the
// observation, coordinate and description bodies, CMR+ pages, and random or cut input.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "cmr_test_util.h"
#include "differential/cmr/cmr_decoder.h"

namespace {

using namespace cmrtest;

struct Rig {
  Recorder rec;
  CmrStationTable table;
  CMR_Decoder kernel{&table};
  NAV_Decoder drv{&kernel};
  Rig() {
    table.init(&rec);
    table.roverSource = nullptr;
  }
  void feed(const Bytes& b) { drv.putData(b.data(), static_cast<int>(b.size()), InPorts::DEC_SER_A); }
  int good() const { return rec.statuses.empty() ? 0 : rec.statuses.back().slots[rec.statuses.back().slot].goodFrames; }
};

Bytes gpsFrame(int station = 5, int timeMs = 1000) {
  SatObs s{};
  s.prn = 7;
  s.code = 1234567;
  return frame(0x93, obsBody(3, station, 0, timeMs, {s}));
}

// ---- framing -----------------------------------------------------------------------------------

struct FrameRow {
  const char* name;
  std::uint8_t status, type;
  bool breakSum, breakEtx;
  int decoded;  // observation records delivered
};

TEST(CmrFraming, StatusTypeChecksumAndEtx) {
  const FrameRow rows[] = {
      {"cmr status 0", 0x00, 0x93, false, false, 1},
      {"cmr status 0x20 refused", 0x20, 0x93, false, false, 0},
      {"cmr bad checksum", 0x00, 0x93, true, false, 0},
      {"cmr missing etx", 0x00, 0x93, false, true, 0},
      {"other packet type", 0x00, 0x95, false, false, 0},
  };
  for (const FrameRow& r : rows) {
    Rig g;
    SatObs s{};
    s.prn = 3;
    Bytes f = frame(r.type, obsBody(3, 5, 0, 1000, {s}), r.status);
    if (r.breakSum) f[f.size() - 2] ^= 1;
    if (r.breakEtx) f.back() = 0x04;
    g.feed(f);
    EXPECT_EQ(static_cast<int>(g.rec.meas.size()), r.decoded) << r.name;
  }
}

TEST(CmrFraming, CmrPlusAcceptsStatus0x20) {
  for (std::uint8_t status : {0x00, 0x20}) {
    Rig g;
    Bytes f = frame(0x94, Bytes{4, 0, 0, 1, 2, 3}, status);
    g.feed(f);
    ASSERT_FALSE(g.rec.statuses.empty()) << int(status);
    const auto& st = g.rec.statuses.back();
    EXPECT_EQ(st.slots[st.slot].goodFrames, 1) << int(status);
    EXPECT_EQ(st.slots[st.slot].stationId, 4) << int(status);
  }
}

TEST(CmrFraming, BadFrameCountsAgainstAKnownStationOnly) {
  Rig g;
  g.feed(gpsFrame(5));
  Bytes bad = gpsFrame(5);
  bad[bad.size() - 2] ^= 0x10;
  g.feed(bad);
  Bytes stranger = gpsFrame(9);
  stranger[stranger.size() - 2] ^= 0x10;
  g.feed(stranger);
  EXPECT_EQ(g.table.slot(0).bad, 1);  // station 5's one bad frame
  EXPECT_EQ(g.table.slot(0).good, 1);
  for (int i = 1; i < 4; ++i) EXPECT_EQ(g.table.slot(i).id, CmrStationTable::kFree) << i;
}

// Lengths that cannot pass the ring are refused for both packet types; the next good frame
// still decodes and the port never waits for ever.
TEST(CmrFraming, OverlongLengthsRefused) {
  struct Row {
    std::uint8_t type;
    int len;
  } rows[] = {{0x93, 252}, {0x93, 255}, {0x94, 252}, {0x94, 254}, {0x94, 255}};
  for (const Row& r : rows) {
    Rig g;
    Bytes junk{0x02, 0x00, r.type, static_cast<std::uint8_t>(r.len), 0x21, 0x00};
    g.feed(junk);
    g.feed(gpsFrame());
    EXPECT_EQ(g.rec.meas.size(), 1u) << int(r.type) << " " << r.len;
  }
}

// A frame whose STX falls on the last two of the 64 bytes searched is kept.
TEST(CmrFraming, StartNearTheEndOfTheSearchWindowKept) {
  for (int lead : {61, 62, 63, 64, 65}) {
    Rig g;
    Bytes f(static_cast<std::size_t>(lead), 0x55);
    const Bytes fr = gpsFrame();
    // The frame's first bytes arrive with the filler, the rest later.
    f.insert(f.end(), fr.begin(), fr.begin() + 2);
    g.feed(f);
    g.feed(Bytes(fr.begin() + 2, fr.end()));
    EXPECT_EQ(g.rec.meas.size(), 1u) << lead;
  }
}

TEST(CmrFraming, FrameInsideARefusedOneIsFound) {
  Rig g;
  Bytes f = gpsFrame();
  // A false start whose length swallows the real frame's bytes.
  Bytes lead{0x02, 0x00, 0x93, 20, 0x61, 0x00};
  lead.insert(lead.end(), f.begin(), f.end());
  lead.insert(lead.end(), 20, 0x00);
  g.feed(lead);
  EXPECT_EQ(g.rec.meas.size(), 1u);
}

// Every cut of a valid frame decodes nothing until the frame is whole, and then once.
TEST(CmrFraming, TruncatedFramesWait) {
  const Bytes f = gpsFrame();
  for (std::size_t cut = 1; cut < f.size(); ++cut) {
    Rig g;
    g.feed(Bytes(f.begin(), f.begin() + static_cast<long>(cut)));
    EXPECT_TRUE(g.rec.meas.empty()) << cut;
    g.feed(Bytes(f.begin() + static_cast<long>(cut), f.end()));
    EXPECT_EQ(g.rec.meas.size(), 1u) << cut;
  }
}

TEST(CmrFraming, RandomBytesNeverStallTheRing) {
  std::mt19937 rng(74);
  for (int round = 0; round < 200; ++round) {
    Rig g;
    Bytes junk(static_cast<std::size_t>(rng() % 2000));
    for (auto& b : junk) b = static_cast<std::uint8_t>(rng() % 4 == 0 ? 0x02 : rng());
    g.feed(junk);
    EXPECT_LE(g.kernel.cb.getCount(), CMR_Decoder::kRingSize) << round;
    // A whole frame after any junk decodes; it may end a frame the junk began.
    g.feed(Bytes(300, 0x00));
    const std::size_t before = g.rec.meas.size();
    g.feed(gpsFrame());
    EXPECT_EQ(g.rec.meas.size(), before + 1) << round;
  }
}

// ---- observations -----------------------------------------------------------------------------

TEST(CmrObservations, FieldsFromThePublicLayout) {
  struct Row {
    const char* name;
    int version;
    SatObs s;
    int clockOffset;
    int wantPrn;
    double wantCode, wantPhase, wantSnr, wantClock;
    std::uint8_t wantFlags;
  };
  auto sat = [](int prn, bool p, bool ph, std::int64_t code, std::int64_t phase, int snr) {
    SatObs s{};
    s.prn = prn;
    s.pcode = p;
    s.phaseValid = ph;
    s.code = code;
    s.phase = phase;
    s.snr = snr;
    return s;
  };
  const Row rows[] = {
      {"prn 32 sent as 0", 3, sat(32, false, true, 8, 0, 0), 0, 32, 1.0, 0.0, 28.0, 0.0, 0x02},
      {"p code flag", 3, sat(5, true, true, 0xFFFFFF, 256, 15), 0, 5, 0xFFFFFF / 8.0, 1.0, 58.0, 0.0, 0x06},
      {"phase invalid", 3, sat(6, false, false, 16, -256, 1), 0, 6, 2.0, -1.0, 30.0, 0.0, 0x00},
      {"most negative phase", 3, sat(7, false, true, 0, -(1 << 19), 0), 0, 7, 0.0, -2048.0, 28.0, 0.0, 0x02},
      {"clock 500 ns steps", 3, sat(8, false, true, 0, 0, 0), 1000, 8, 0.0, 0.0, 28.0, 5e-4, 0x02},
      {"negative clock", 3, sat(8, false, true, 0, 0, 0), -2048, 8, 0.0, 0.0, 28.0, -2048 * 5e-7, 0x02},
      {"version 2 clock and snr", 2, sat(9, false, true, 0, 0, 7), 2, 9, 0.0, 0.0, 7.0, 1e-6 + 0.0005, 0x02},
  };
  for (const Row& r : rows) {
    Rig g;
    g.feed(frame(0x93, obsBody(r.version, 5, 0, 123456, {r.s}, r.clockOffset)));
    ASSERT_EQ(g.rec.meas.size(), 1u) << r.name;
    const CMR_MEAS& m = g.rec.meas[0];
    EXPECT_EQ(m.timeMs, 123456) << r.name;
    EXPECT_EQ(m.sys, 0) << r.name;
    ASSERT_EQ(m.count, 1) << r.name;
    EXPECT_EQ(m.sv[0].num, r.wantPrn) << r.name;
    EXPECT_DOUBLE_EQ(m.sv[0].l1Code, r.wantCode) << r.name;
    EXPECT_DOUBLE_EQ(m.sv[0].l1Phase, r.wantPhase) << r.name;
    EXPECT_FLOAT_EQ(m.sv[0].l1Energy, static_cast<float>(r.wantSnr)) << r.name;
    EXPECT_NEAR(m.clockOffset, r.wantClock, 1e-9) << r.name;
    EXPECT_EQ(m.sv[0].l1Flags, r.wantFlags) << r.name;
  }
}

TEST(CmrObservations, L2Block) {
  Rig g;
  SatObs s{};
  s.prn = 11;
  s.l2 = true;
  s.l2flags = 0x1F;
  s.l2range = -150;   // -1.50 m
  s.l2phase = 512;    // 2 cycles
  s.l2snr = 12;
  s.l2slip = 77;
  s.slip = 9;
  SatObs t{};
  t.prn = 12;
  t.l2 = true;
  t.l2flags = 0x12;  // code available, phase valid only
  g.feed(frame(0x93, obsBody(3, 5, 0, 0, {s, t})));
  ASSERT_EQ(g.rec.meas.size(), 1u);
  const CMR_MEAS& m = g.rec.meas[0];
  ASSERT_EQ(m.count, 2);
  EXPECT_EQ(m.sv[0].l1Flags & CMR_MEAS::kL2Present, CMR_MEAS::kL2Present);
  EXPECT_EQ(m.sv[0].l2Flags, 0xF8);
  EXPECT_DOUBLE_EQ(m.sv[0].l2Range, -1.5);
  EXPECT_DOUBLE_EQ(m.sv[0].l2Phase, 2.0);
  EXPECT_FLOAT_EQ(m.sv[0].l2Energy, 48.0f);
  EXPECT_EQ(m.sv[0].l2Slip, 77);
  EXPECT_EQ(m.sv[0].l1Slip, 9);
  EXPECT_EQ(m.sv[1].l2Flags, 0x90);
}

TEST(CmrObservations, GlonassTypeAndBadBodies) {
  struct Row {
    const char* name;
    int gloType;
    int frameType;
    int cutBytes;
    int timeMs;
    int wantRecords;
    int wantSys;
  } rows[] = {
      {"type 3 is glonass", 3, 3, 0, 0, 1, 1},
      {"type 0 is gps", 3, 0, 0, 0, 1, 0},
      {"configured type 5", 5, 5, 0, 0, 1, 1},
      {"type 3 not configured", 5, 3, 0, 0, 0, 0},
      {"type 4 not decoded", 3, 4, 0, 0, 0, 0},
      {"count beyond the frame", 3, 0, 1, 0, 0, 0},
      {"time beyond four minutes", 3, 0, 0, 240000, 0, 0},
  };
  for (const Row& r : rows) {
    Rig g;
    CMR_DEC_SETTINGS set = g.table.getSettings();
    set.gloType = static_cast<std::uint32_t>(r.gloType);
    g.table.setSettings(set);
    SatObs s{};
    s.prn = 2;
    Bytes body = obsBody(3, 5, r.frameType, r.timeMs, {s});
    body.resize(body.size() - static_cast<std::size_t>(r.cutBytes));
    g.feed(frame(0x93, body));
    ASSERT_EQ(static_cast<int>(g.rec.meas.size()), r.wantRecords) << r.name;
    if (r.wantRecords) {
      EXPECT_EQ(g.rec.meas[0].sys, r.wantSys) << r.name;
    }
  }
}

// ---- coordinates and description ----------------------------------------------------------------

TEST(CmrCoordinates, AxesAndOffsets) {
  struct Row {
    const char* name;
    std::int64_t mm[3];
    int off[3];
    double wantOff[3];
  } rows[] = {
      {"rtcm example station", {1114104600, -4850729700, 3975521500}, {8191, 0, 0}, {8.191, 0, 0}},
      {"negative offsets", {-3869297514, 3436571335, 3717369376}, {-8192, -1, 1}, {-8.192, -0.001, 0.001}},
      {"odd millimetres", {1, -1, -5}, {0, 100, -100}, {0, 0.1, -0.1}},
  };
  for (const Row& r : rows) {
    Rig g;
    Bits w;
    header(w, 3, 5, 1, 0, 0, 0, 0);
    coordBody(w, r.mm, r.off, 7);
    g.feed(frame(0x93, w.b));
    ASSERT_EQ(g.rec.coords.size(), 1u) << r.name;
    const CMR_REF_COORD& c = g.rec.coords[0];
    EXPECT_NEAR(c.x, r.mm[0] * 1e-3, 1e-9) << r.name;
    EXPECT_NEAR(c.y, r.mm[1] * 1e-3, 1e-9) << r.name;
    EXPECT_NEAR(c.z, r.mm[2] * 1e-3, 1e-9) << r.name;
    EXPECT_NEAR(c.antHeight, r.wantOff[0], 1e-6) << r.name;
    EXPECT_NEAR(c.east, r.wantOff[1], 1e-6) << r.name;
    EXPECT_NEAR(c.north, r.wantOff[2], 1e-6) << r.name;
    EXPECT_EQ(c.accuracy, 7) << r.name;
    EXPECT_EQ(c.antNum, -1) << r.name;
  }
}

TEST(CmrDescription, LengthByteThenNames) {
  const std::string longest(51, 'L');
  struct Row {
    const char* name;
    std::string s, c, l;
  } rows[] = {{"empty long name", "BASE", "COGO1", ""}, {"long name of 51", "ABCDEFGH", "C", longest}};
  for (const Row& r : rows) {
    Rig g;
    g.feed(frame(0x93, descBody(5, r.s, r.c, r.l)));
    ASSERT_EQ(g.rec.descs.size(), 1u) << r.name;
    const CMR_REF_DESC& d = g.rec.descs[0];
    EXPECT_EQ(std::string(d.shortName), std::string(8 - r.s.size(), ' ') + r.s) << r.name;
    EXPECT_EQ(std::string(d.cogo + 16 - r.c.size()), r.c) << r.name;
    EXPECT_EQ(std::string(d.longName), r.l) << r.name;
  }
}

// ---- CMR+ --------------------------------------------------------------------------------------

struct PlusRig : Rig {
  std::int64_t mm[3] = {-3869297514, 3436571335, 3717369376};
  int off[3] = {1500, -2, 3};
};

TEST(CmrPlus, PagesAssembleForBothCountForms) {
  for (bool countIsPages : {false, true}) {
    for (const std::string& l : {std::string(), std::string("Long station name"), std::string(51, 'x')}) {
      PlusRig g;
      CMR_DEC_SETTINGS set = g.table.getSettings();
      set.idxSet = countIsPages ? 1 : 0;
      g.table.setSettings(set);
      const Bytes rec = plusRecord(g.mm, g.off, 44, "STN", "CG", l);
      for (const Bytes& f : plusPages(6, rec, countIsPages)) g.feed(f);
      ASSERT_EQ(g.rec.coords.size(), 1u) << countIsPages << " " << l.size();
      EXPECT_NEAR(g.rec.coords[0].x, -3869297.514, 1e-9);
      EXPECT_NEAR(g.rec.coords[0].antHeight, 1.5, 1e-6);
      EXPECT_EQ(g.rec.coords[0].antNum, 44);
      ASSERT_EQ(g.rec.descs.size(), 1u);
      EXPECT_EQ(std::string(g.rec.descs[0].longName), l);
      // Sent again: delivered again, once.
      for (const Bytes& f : plusPages(6, rec, countIsPages)) g.feed(f);
      EXPECT_EQ(g.rec.coords.size(), 2u);
    }
  }
}

TEST(CmrPlus, PagesOutOfOrderAndWrongCountForm) {
  PlusRig g;
  const Bytes rec = plusRecord(g.mm, g.off, 1, "A", "B", "C");
  std::vector<Bytes> pages = plusPages(6, rec, false);
  std::reverse(pages.begin(), pages.end());
  for (const Bytes& f : pages) g.feed(f);
  EXPECT_EQ(g.rec.coords.size(), 1u);
  // The page count read as a highest index with the switch on: one page short, nothing yet.
  CMR_DEC_SETTINGS set = g.table.getSettings();
  set.idxSet = 1;
  g.table.setSettings(set);
  for (const Bytes& f : plusPages(6, rec, false)) g.feed(f);
  EXPECT_EQ(g.rec.coords.size(), 1u);
}

// Page numbers beyond the 15-page store and counts beyond it are dropped, never stored.
TEST(CmrPlus, PageNumbersBeyondTheStoreDropped) {
  struct Row {
    int page, highest;
  } rows[] = {{15, 15}, {16, 20}, {31, 31}, {32, 40}, {255, 255}, {3, 2}, {0, 15}};
  for (const Row& r : rows) {
    PlusRig g;
    g.feed(frame(0x94, Bytes{6, static_cast<std::uint8_t>(r.page), static_cast<std::uint8_t>(r.highest), 1, 2, 3, 4,
                             5, 6, 7}));
    const CmrStationTable::SlotState& s = g.table.slot(0);
    EXPECT_EQ(s.mask, 0u) << r.page << " " << r.highest;
    EXPECT_EQ(s.good, 1) << r.page;
  }
}

TEST(CmrPlus, MalformedRecordsDiscarded) {
  struct Row {
    const char* name;
    int at;
    std::uint8_t value;
  } rows[] = {
      {"first id", 0, 9}, {"first length", 1, 7}, {"second id", 6, 1}, {"second length", 7, 20}, {"third id", 27, 2},
      {"third longer than sent", 28, 120}, {"third too short for names", 28, 20},
  };
  for (const Row& r : rows) {
    PlusRig g;
    Bytes rec = plusRecord(g.mm, g.off, 1, "A", "B", "C");
    rec[static_cast<std::size_t>(r.at)] = r.value;
    for (const Bytes& f : plusPages(6, rec, false)) g.feed(f);
    EXPECT_TRUE(g.rec.coords.empty()) << r.name;
    EXPECT_TRUE(g.rec.descs.empty()) << r.name;
    EXPECT_EQ(g.table.slot(0).mask, 0u) << r.name;
  }
}

TEST(CmrPlus, CountChangeClearsThePages) {
  PlusRig g;
  const Bytes rec = plusRecord(g.mm, g.off, 1, "A", "B", "C");
  std::vector<Bytes> pages = plusPages(6, rec, false);
  g.feed(pages[0]);
  // A page claiming another count starts afresh.
  g.feed(frame(0x94, Bytes{6, 1, 9, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(g.table.slot(0).mask, 2u);
  for (std::size_t i = 1; i < pages.size(); ++i) g.feed(pages[i]);
  EXPECT_TRUE(g.rec.coords.empty());
  g.feed(pages[0]);
  EXPECT_EQ(g.rec.coords.size(), 1u);
}

// Random CMR+ pages of any number, count and length: nothing outside the page store is written
// (the sanitizer build watches) and every frame counts.
TEST(CmrPlus, RandomPages) {
  std::mt19937 rng(79);
  PlusRig g;
  for (int i = 0; i < 3000; ++i) {
    Bytes d(static_cast<std::size_t>(rng() % 12));
    for (auto& b : d) b = static_cast<std::uint8_t>(rng() % 3 ? rng() % 20 : rng());
    g.feed(frame(0x94, d, rng() % 2 ? 0x20 : 0x00));
  }
  int good = 0;
  for (int i = 0; i < 4; ++i) good += g.table.slot(i).good;
  EXPECT_GT(good, 0);
}

}  // namespace
