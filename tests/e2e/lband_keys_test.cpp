// The L-band service's /par/terrastar/ keys on a serial port: each key set and printed, refusals
// with their codes, the stored keys across a restart, and the board's service-state record
// shown in the beams, the beam in use and the status.
#include "e2e/harness.h"

namespace e2e {
namespace {

using LbandKeys = Rx;

std::string erCode(int code, const char* text) {
  return frame("ER", "%s%{" + std::to_string(code) + ",," + text + "}");
}

TEST_F(LbandKeys, EveryKeySetAndPrintedAndStored) {
  ASSERT_NO_FATAL_FAILURE(start());
  const std::string s200(200, 's');
  const struct {
    const char* key;
    std::string value;
    std::string reply;  // "" taken
    const char* printed;  // null: not printed after
  } rows[] = {
      {"beam/usable", "{1,2,16}", "", "{1,2,16}"},
      {"beam/usable/2", "off", "", "off"},
      {"beam/userdef/mode", "on", "", "on"},
      {"beam/userdef/data", "{1545855000,2400,MINE,U,-15.5,1}", "", "{1545855000,2400,MINE,U,-15.5,1}"},
      {"beam/userdef/data", "{1545855000,2400,MINE,U,-15.5}", erCode(6, "2nd parameter missed"), nullptr},
      {"beam/userdef/data", "{1545855000,2400,MINE,U,-15.5,1,1}", erCode(6, "2nd parameter missed"), nullptr},
      {"beam/userdef/data", "{1545855000,2400,EIGHTCHR,U,-15.5,1}", erCode(5, "value out of range"), nullptr},
      {"beam/userdef/data", "{1524999999,2400,MINE,U,-15.5,1}", erCode(5, "value out of range"),
       "{1545855000,2400,MINE,U,-15.5,1}"},
      {"beam/scan/mode", "on", "", "on"},
      {"beam/scan/num", "4", "", "4"},
      {"beam/scan/num", "6", erCode(5, "value out of range"), "4"},
      {"beam/scan/timeout", "120", "", "120"},
      {"beam/scan/reset", "on", "", nullptr},
      {"beam/userbeam", "IOR", "", "IOR"},
      {"beam/userbeam", "TENLETTERS", erCode(5, "value out of range"), "IOR"},
      {"station/select/1", "ST1", "", "ST1"},
      {"station/select/2", s200, erCode(5, "value out of range"), "all"},
      {"debug/output/buffer", "on", "", "on"},
      {"debug/output/wadenv", "on", "", "on"},
      {"debug/output/wadiff", "on", "", "on"},
      {"debug/output/wadgeo", "on", "", "on"},
      {"debug/output/calls", "on", "", "on"},
      {"debug/time/mode", "on", "", "on"},
      {"debug/date/mode", "on", "", "on"},
      {"debug/time/value", "12h34m56s", "", "12h34m56s"},
      {"debug/time/value", "24h00m00s", erCode(5, "value out of range"), "12h34m56s"},
      {"debug/time/value", "12:00:00", erCode(7, "wrong 2nd parameter"), "12h34m56s"},
      {"debug/date/value", "24.12.2030", "", "24.12.2030"},
      {"beam/nokey", "1", erCode(3, "wrong 1st parameter"), nullptr},
  };
  for (const auto& r : rows) {
    const std::string got = ask(std::string("%s%set,/par/terrastar/") + r.key + "," + r.value);
    EXPECT_EQ(got, r.reply.empty() ? re("%s%") : r.reply) << r.key << " " << r.value;
    if (r.printed) {
      EXPECT_EQ(ask(std::string("print,/par/terrastar/") + r.key), re(r.printed)) << r.key << " " << r.value;
    }
  }
  const std::string tree = ask("print,/par/terrastar");
  ASSERT_EQ(tree.rfind("RE", 0), 0u) << tree;
  // the beam scanning mode is the receiver's L-band mode too
  EXPECT_EQ(ask("print,/par/lband/mode"), re("on"));
  restart();
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/terrastar"), tree);
  EXPECT_EQ(ask("print,/par/lband/mode"), re("on"));
}

// With a sky whose channel 90 tracks the beam of AORE (1545.855 MHz, number 60), the measurement
// processor asks the service state for that beam each epoch (nothing prints what it finds).
TEST_F(LbandKeys, TheBoardsRecordShowsBeamsAndStatus) {
  ASSERT_NO_FATAL_FAILURE(startSim({"--trst", "--nav", std::string(RX_SHARED_DIR) + "/testdata/nav/brdc1820.10n", "--sky",
                                    "--lband-chan", "60"}));
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_TRUE(waitUntil([&] { return ask("print,/par/terrastar/status/sync") == re("3"); }));
  const struct {
    const char* key;
    const char* printed;
  } rows[] = {
      {"beam/list/00", "{1545855000,1200,AORE,A,-15.5,1,35.5}"},
      {"beam/list/01", "{1545845000,2400,AORW,B,-54.0,1,12.0}"},
      {"beam/list/02", "{1545865000,600,IOR,C,64.5,1,}"},
      {"beam/curbeam", "AORW"},
      {"status/sync", "3"},
      {"status/quality", "2"},
  };
  for (const auto& r : rows) EXPECT_EQ(ask(std::string("print,/par/terrastar/") + r.key), re(r.printed)) << r.key;
  EXPECT_EQ(ask("print,/par/terrastar/beam/list/03").rfind("ER", 0), 0u);
  EXPECT_EQ(ask("%s%set,/par/terrastar/beam/scan/mode,on"), re("%s%"));
  EXPECT_EQ(ask("print,/par/terrastar/beam/scan/list"), re("{00={AORE,-15.5},01={AORW,-54.0},02={IOR,64.5}}"));
  stop();
  for (const char* complaint : {"$$ @@SatData: ERROR", "$$ @@SatData: WARNING", "ERROR: bad epoch"})
    EXPECT_EQ(out_.find(complaint), std::string::npos) << complaint << "\n" << out_;
}

TEST_F(LbandKeys, ARecordNamingSlot20IsSurvived) {
  ASSERT_NO_FATAL_FAILURE(startSim({"--trst-bad-slot"}));
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("%s%set,/par/terrastar/beam/scan/mode,on"), re("%s%"));
  ASSERT_TRUE(waitUntil([&] { return ask("print,/par/terrastar/status/sync") == re("3"); }));
  // the entry 20 is dropped; the rest of the list stands
  EXPECT_EQ(ask("print,/par/terrastar/beam/scan/list"), re("{00={AORW,-54.0}}"));
  EXPECT_EQ(ask("print,/par/terrastar/beam/curbeam"), re("AORW"));
  EXPECT_EQ(ask("print,/par/lband/mode").rfind("RE", 0), 0u);
}

}  // namespace
}  // namespace e2e
