#include "differential/received_stores.h"
#include "rtcm3_test_util.h"
#include "differential/rtcm3_client.h"
#include "differential/base/cpd_meas_buf.h"
#include "settings/rcv_settings.h"
#include "settings/rtcm_settings.h"
#include "fixtures/null_clients.h"

#include <cstdio>

namespace {

std::vector<std::string> held(const TextMessage& t) {
  TextMessage::Entry e[2];
  std::vector<std::string> v;
  for (int i = 0, n = t.getMessages(e); i < n; ++i) v.emplace_back(e[i].text);
  return v;
}

// Texts keep 128 characters (a terminator ends them), the store the last two; its counter wraps after 31999.
TEST(TextMessage, KeepsTheLastTwoOf128CharactersAndCounts) {
  TextMessage t;
  const std::string a(128, 'a'), b(128, 'b');
  struct Step { std::string text; std::vector<std::string> held; };
  const Step steps[] = {
      {std::string(200, 'a'), {a}}, {b, {a, b}}, {std::string("abc\0def", 7), {b, "abc"}}, {"two", {"abc", "two"}}};
  for (const Step& s : steps) {
    t.putMessage(s.text.data(), static_cast<int>(s.text.size()), 3, 17, TextMessage::kRtcm3VendorText);
    EXPECT_EQ(held(t), s.held) << s.text.size();
  }
  TextMessage::Contents c;
  t.reset();
  t.get(c);
  EXPECT_EQ(std::tuple(held(t).size(), c.counter), std::tuple(0u, 0));
  for (int i = 1; i <= 32001; ++i) {
    t.putMessage("x", 1, 0, 0, TextMessage::kRtcmText);
    t.get(c);
    ASSERT_EQ(c.counter, i % 32000) << i;
  }
}

// The change counter of the reference parameters: a record whose station name, X, Y, Z and first
// three antenna values equal the current one's leaves it; any of those changing, or any record
// while the store is not valid, counts one, 31999 + 1 giving 0.
TEST(RefParMessage, ChangesCountOnlyWhatReadersCompare) {
  RefParMessage m;
  ReferencePos::REFPOS_PAR pos{};
  ReferencePos::ANT_PAR ant{};
  std::snprintf(pos.name, sizeof pos.name, "BASE");
  pos.x = 4018282.5, pos.y = 744744.6, pos.z = 4880847.7;
  const struct {
    const char* name;
    void (*change)(ReferencePos::REFPOS_PAR&, ReferencePos::ANT_PAR&);
    bool invalidateFirst;
    int counted;
  } rows[] = {
      {"the first record", [](ReferencePos::REFPOS_PAR&, ReferencePos::ANT_PAR&) {}, false, 1},
      {"the same again", [](ReferencePos::REFPOS_PAR&, ReferencePos::ANT_PAR&) {}, false, 0},
      {"another name", [](ReferencePos::REFPOS_PAR& p, ReferencePos::ANT_PAR&) { p.name[0] = 'C'; }, false, 1},
      {"X", [](ReferencePos::REFPOS_PAR& p, ReferencePos::ANT_PAR&) { p.x += 0.001; }, false, 1},
      {"Y", [](ReferencePos::REFPOS_PAR& p, ReferencePos::ANT_PAR&) { p.y -= 0.001; }, false, 1},
      {"Z", [](ReferencePos::REFPOS_PAR& p, ReferencePos::ANT_PAR&) { p.z += 1.0; }, false, 1},
      {"antenna height", [](ReferencePos::REFPOS_PAR&, ReferencePos::ANT_PAR& a) { a.offsets[2] = 1.5f; }, false, 1},
      {"first offset", [](ReferencePos::REFPOS_PAR&, ReferencePos::ANT_PAR& a) { a.offsets[0] = 0.1f; }, false, 1},
      {"second offset", [](ReferencePos::REFPOS_PAR&, ReferencePos::ANT_PAR& a) { a.offsets[1] = 0.2f; }, false, 1},
      {"L2 offsets are not compared", [](ReferencePos::REFPOS_PAR&, ReferencePos::ANT_PAR& a) { a.offsets[3] = 0.3f; }, false, 0},
      {"third offsets are not compared", [](ReferencePos::REFPOS_PAR&, ReferencePos::ANT_PAR& a) { a.offsets[8] = 0.4f; }, false, 0},
      {"flags are not compared", [](ReferencePos::REFPOS_PAR&, ReferencePos::ANT_PAR& a) { a.flags[0] = 7; }, false, 0},
      {"geodetic form is not compared", [](ReferencePos::REFPOS_PAR& p, ReferencePos::ANT_PAR&) { p.lat = 0.9; }, false, 0},
      {"the same after invalidation", [](ReferencePos::REFPOS_PAR&, ReferencePos::ANT_PAR&) {}, true, 1},
  };
  int want = 0;
  for (const auto& r : rows) {
    r.change(pos, ant);
    if (r.invalidateFirst) m.invalidate();
    m.putPar(pos, ant);
    want += r.counted;
    EXPECT_EQ(m.getChanges(), want) << r.name;
  }
  // Wrap: 31999 changes on, then 0.
  for (int i = want; i < 31999; ++i) {
    pos.x += 1.0;
    m.putPar(pos, ant);
  }
  EXPECT_EQ(m.getChanges(), 31999);
  pos.x += 1.0;
  m.putPar(pos, ant);
  EXPECT_EQ(m.getChanges(), 0);
}

struct Base : NullRtcm3CpdClient {
  std::string log;
  void updateAntDesc(const char* d, int st) override { log += std::string(d) + " " + std::to_string(st) + ";"; }
  void updateFlags(std::uint8_t f) override { log += "flags " + std::to_string(f) + ";"; }
};

TEST(Rtcm3Client, StationAndPortGates) {
  // The configured base station is 100, selected: the CMR decoder settings' (-1 none); data from decoder port 1.
  struct Case { const char* what; bool table; int refPort, selected, station; const char* base; };
  const Case cases[] = {
      {"no base decoder", false, -2, -1, 100, ""},
      {"configured station, any port", true, -2, -1, 100, "TRM 100;"},
      {"configured station, this port", true, 1, -1, 100, "TRM 100;"},
      {"another reference port", true, 2, -1, 100, ""},
      {"other station off the base port", true, -2, -1, 101, ""},
      {"selected station", true, -2, 101, 101, "TRM 101;"},
      {"selection excludes the configured one", true, -2, 101, 100, ""},
  };
  // The chunk comes from decoder port 1 while port 0 is the base port.
  basePort_.store(0);
  cpdBufsSetBasePort(static_cast<InPorts::DecPortIndex>(1));
  for (const Case& c : cases) {
    Base base;
    Rtcm3CpdClient* table[1] = {&base};
    Rtcm3Client cl;
    if (c.table) cl.setBaseDecoders(table);
    RcvSet.refPort = static_cast<std::int16_t>(c.refPort);
    RcvSet.baseStationId = 100;
    RtcmSet.cmrDec.inUse = static_cast<std::int16_t>(c.selected);
    TxtMsg.reset();
    const RTC3_ANT_DESC a{static_cast<std::uint16_t>(c.station), 3, 0, 0, 3, "TRM", "", {}};
    cl.updateAntDesc(a, 1);
    EXPECT_EQ(base.log, c.base) << c.what;
    TextMessage::Entry e[2];
    const int n = TxtMsg.getMessages(e);
    ASSERT_EQ(n, *c.base ? 1 : 0) << c.what;
    if (n == 1) { EXPECT_EQ(std::tuple(std::string(e[0].text), e[0].type), std::tuple("ANT:TRM,SET:3,SER:", TextMessage::kRtcm3AntDescr)); }
  }
  // Another station on the base port, and outside any chunk: its data is the base's.
  for (int cur : {1, -1}) {
    basePort_.store(1);
    if (cur < 0) cpdBufsClearBasePort();
    Base base;
    Rtcm3CpdClient* table[1] = {&base};
    Rtcm3Client cl;
    cl.setBaseDecoders(table);
    RcvSet.refPort = -2;
    RtcmSet.cmrDec.inUse = -1;
    const RTC3_ANT_DESC a{101, 3, 0, 0, 3, "TRM", "", {}};
    cl.updateAntDesc(a, 1);
    EXPECT_EQ(base.log, "TRM 101;") << cur;
  }
}

}  // namespace
