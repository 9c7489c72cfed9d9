// The base's descriptive settings (the antenna under /par/ant/, the CMR description under
// /par/cmr/base/) on a serial port: set, printed, kept across a restart, a kill after the periodic
// save and SIGTERM, refused values changing nothing; and on the air: RTCM 3 1006 and 1033
// (rtklib's convbin), RTCM 2 23 (gpsd's gpsdecode), 22 and 24 (the test's own word reader) and CMR
// 1 and 2 (the test's own frame reader) carry the antenna name, serial number, setup id and
// height and the station's description.
#include <csignal>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "e2e/cmr_frames.h"
#include "e2e/harness.h"
#include "e2e/nav_rinex.h"
#include "e2e/rtcm2_words.h"
#include "e2e/tools.h"

namespace e2e {
namespace {

class AntennaSettings : public Rx {};

TEST_F(AntennaSettings, SetPrintedAndKeptAcrossRestartKillAndTerm) {
  ASSERT_NO_FATAL_FAILURE(start());
  const std::string fresh = "{serial=,setup=0,name=,height=0.0000}";
  const std::string freshCmr = "{name=,cogo=,lname=,motion=unknown}";
  EXPECT_EQ(ask("print,/par/ant"), re(fresh));
  EXPECT_EQ(ask("print,/par/cmr/base"), re(freshCmr));
  const struct {
    std::string cmd;
    std::string reply;
  } sets[] = {
      {"set,/par/ant/serial,\"AB 1234/5\"", ""},
      {"set,/par/ant/setup,17", ""},
      // The database's own spelling: type, blanks to 16 characters, radome.
      {"set,/par/ant/name,\"TRM59800.00 SCIS\"", "{29,,not found}"},
      {"set,/par/ant/name,\"TRM59800.00     SCIS\"", ""},
      {"set,/par/ant/name,NOSUCHANT", "{29,,not found}"},
      {"set,/par/ant/height,1.2345", ""},
      {"set,/par/ant/height,6.5536", "{5,,value out of range}"},
      {"set,/par/ant/height,-0.1", "{5,,value out of range}"},
      {"set,/par/ant/setup,256", "{5,,value out of range}"},
      {"set,/par/ant/serial," + std::string(32, 'x'), "{5,,value out of range}"},
      {"set,/par/cmr/base/name,ROOF", ""},
      {"set,/par/cmr/base/name,ROOFTOPS9", "{5,,value out of range}"},
      {"set,/par/cmr/base/cogo,0123456789ABCDEF", ""},
      {"set,/par/cmr/base/lname," + std::string(52, 'n'), "{5,,value out of range}"},
      {"set,/par/cmr/base/lname,\"North roof, east pillar\"", ""},
      {"set,/par/cmr/base/motion,moving", "{7,,wrong 2nd parameter}"},
      {"set,/par/cmr/base/motion,static", ""},
  };
  for (const auto& r : sets) EXPECT_EQ(ask("%s%" + r.cmd), r.reply.empty() ? re("%s%") : frame("ER", "%s%" + r.reply)) << r.cmd;
  const std::string set = "{serial=AB 1234/5,setup=17,name=TRM59800.00     SCIS,height=1.2345}";
  const std::string setCmr = "{name=ROOF,cogo=0123456789ABCDEF,lname=North roof, east pillar,motion=static}";
  EXPECT_EQ(ask("print,/par/ant"), re(set));
  EXPECT_EQ(ask("print,/par/cmr/base"), re(setCmr));
  restart();
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/ant"), re(set));
  EXPECT_EQ(ask("print,/par/cmr/base"), re(setCmr));
  EXPECT_EQ(ask("%k%set,/par/ant/setup,200"), re("%k%"));
  EXPECT_EQ(ask("%k%set,/par/ant/height,0.5"), re("%k%"));
  EXPECT_EQ(ask("%k%set,/par/cmr/base/motion,kinematic"), re("%k%"));
  std::this_thread::sleep_for(std::chrono::seconds(11));
  ASSERT_TRUE(rx_->signal(SIGKILL));
  EXPECT_EQ(end(), -SIGKILL);
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/ant/setup"), re("200"));
  EXPECT_EQ(ask("print,/par/ant/height"), re("0.5000"));
  EXPECT_EQ(ask("print,/par/cmr/base/motion"), re("kinematic"));
  EXPECT_EQ(ask("%t%set,/par/ant/serial,"), re("%t%"));
  EXPECT_EQ(ask("%t%set,/par/ant/name,"), re("%t%"));
  EXPECT_EQ(ask("%t%set,/par/cmr/base/name,"), re("%t%"));
  ASSERT_TRUE(rx_->signal(SIGTERM));
  EXPECT_EQ(end(), 0);
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/ant"), re("{serial=,setup=200,name=,height=0.5000}"));
  EXPECT_EQ(ask("print,/par/cmr/base"), re("{name=,cogo=0123456789ABCDEF,lname=North roof, east pillar,motion=kinematic}"));
  EXPECT_EQ(ask("%i%init,/par/"), re("%i%"));
  EXPECT_EQ(ask("print,/par/ant"), re(fresh));
  EXPECT_EQ(ask("print,/par/cmr/base"), re(freshCmr));
}

// A field of `n` bits from bit `at` (0 the first bit of the first data word) of a frame's 24-bit
// data words.
long long wordBits(const std::vector<std::uint32_t>& w, int at, int n) {
  long long v = 0;
  for (int k = at; k < at + n; ++k) v = v << 1 | ((w.at(static_cast<std::size_t>(k / 24)) >> (23 - k % 24)) & 1u);
  return v;
}

TEST_F(AntennaSettings, StationMessagesCarryTheAntennaAndTheDescription) {
  const std::string nav = std::string(RX_SHARED_DIR) + "/testdata/nav/brdc1820.10n";
  ASSERT_NO_FATAL_FAILURE(startSim({"--nav", nav, "--sky"}));
  ASSERT_NO_FATAL_FAILURE(start());
  Port b(dir_.file("dev/ser/b")), c(dir_.file("dev/ser/c")), d(dir_.file("dev/ser/d"));
  ASSERT_TRUE(b.ok() && c.ok() && d.ok());
  // Station 22 (gpsdecode does not lock onto RTCM 2 of station 0), at the simulator's site.
  for (const char* cmd : {"set,/par/rtcm3/base/stid,22", "set,/par/pos/ref/known/geo,{50,10,300}",
                          "set,/par/ant/name,\"TRM59800.00     SCIS\"", "set,/par/ant/height,1.2345",
                          "set,/par/ant/serial,SN-0042", "set,/par/ant/setup,9", "set,/par/cmr/base/name,ROOF",
                          "set,/par/cmr/base/cogo,C0G0", "set,/par/cmr/base/lname,\"North roof\"",
                          "em,/dev/ser/b,rtcm3/{1006,1007,1008,1033,1077}:1", "em,/dev/ser/c,rtcm/{22,23,24}:1",
                          "em,/dev/ser/d,cmr/{1,2}:1"})
    ASSERT_EQ(ask(std::string("%e%") + cmd), re("%e%")) << cmd;
  // Until MSM carries observations (convbin writes a file with them only), at least 5 s.
  const auto msm = [&] {
    int n = 0;
    for (const std::string& f : rinex::rtcm3Frames(b.held)) n += rinex::rtcm3Type(f) == 1077;
    return n >= 2;
  };
  for (int s = 0; s < 200 && (s < 18 || !msm()); ++s)
    for (Port* p : {&b, &c, &d}) p->fill([](const std::string&) { return false; }, 100);
  const std::string name = "TRM59800.00     SCIS";

  // RTCM 3 1007 and 1008: gpsdecode's descriptor, setup id and (1008) serial number.
  std::string descriptors, rest;
  for (const std::string& f : rinex::rtcm3Frames(b.held))
    (rinex::rtcm3Type(f) == 1007 || rinex::rtcm3Type(f) == 1008 ? descriptors : rest) += f;
  std::map<int, int> seen;
  for (const std::string& l : gpsdecode(dir_, descriptors, "descriptors.rtcm3")) {
    const int type = static_cast<int>(jsonNumber(l, "type"));
    SCOPED_TRACE(l);
    EXPECT_EQ(jsonNumber(l, "station_id"), 22);
    EXPECT_EQ(jsonText(l, "desc"), name);
    EXPECT_EQ(jsonNumber(l, "setup_id"), 9);
    if (type == 1008) {
      EXPECT_EQ(jsonText(l, "serial"), "SN-0042");
    }
    ++seen[type];
  }
  EXPECT_GE(seen[1007], 2);
  EXPECT_GE(seen[1008], 2);

  // RTCM 3 (1006, 1033): convbin's RINEX header (of the stream without the two above, which
  // convbin would take the antenna from when they come last).
  ASSERT_TRUE(dir_.write("b.rtcm3", rest));
  runIn(dir_, "convbin -r rtcm3 -v 3.04 -od -o b.obs b.rtcm3");
  const std::string obs = dir_.read("b.obs");
  EXPECT_NE(obs.find("SN-0042             " + name + "                    ANT # / TYPE"), std::string::npos) << obs.substr(0, 1500);
  EXPECT_NE(obs.find("        1.2345        0.0000        0.0000                  ANTENNA: DELTA H/E/N"), std::string::npos);

  // RTCM 2: gpsdecode's 23; the heights of 22 (1/256 cm after a no-height flag) and 24 (0.1 mm
  // after the flag that announces it, word 7's last bit).
  int seen23 = 0;
  for (const std::string& l : gpsdecode(dir_, c.held, "c.rtcm2"))
    if (l.find("\"type\":23,") != std::string::npos)
      seen23 += l.find("\"sid\":\"9\",\"ad\":\"" + name + "\",\"as\":\"SN-0042\"") != std::string::npos;
  EXPECT_GE(seen23, 2);
  int bad = 0, seen22 = 0, seen24 = 0;
  for (const rtcm2words::Frame& f : rtcm2words::frames(c.held, bad)) {
    if (f.type == 22 && f.data.size() == 2) {
      EXPECT_EQ(wordBits(f.data, 29, 1), 0);
      EXPECT_EQ(wordBits(f.data, 30, 18), 31603);  // 1.2345 m
      ++seen22;
    }
    if (f.type == 24 && f.data.size() == 6) {
      EXPECT_EQ(wordBits(f.data, 119, 1), 1);
      EXPECT_EQ(wordBits(f.data, 120, 18), 12345);
      ++seen24;
    }
  }
  EXPECT_EQ(bad, 0);
  EXPECT_GE(seen22, 2);
  EXPECT_GE(seen24, 2);

  // CMR: type 1's height beside X (14 bits of mm after X's 34 bits), type 2's names (short name
  // right-aligned in 8 blanks, COGO code in 16 zeros, the long name and its zero).
  int seen1 = 0, seen2 = 0;
  for (const std::string& f : cmrFrames(d.held)) {
    const auto* u = reinterpret_cast<const unsigned char*>(f.data());
    if ((u[1] >> 5) == 1 && f.size() == 25) {
      EXPECT_EQ(((u[10] & 0x3F) << 8) | u[11], 1235);
      ++seen1;
    }
    if ((u[1] >> 5) == 2) {
      EXPECT_EQ(f.substr(7), std::string("    ROOF") + std::string(12, '\0') + "C0G0" + "North roof" + '\0');
      EXPECT_EQ(static_cast<std::size_t>(u[6]), f.size() - 7);
      ++seen2;
    }
  }
  EXPECT_GE(seen1, 2);
  EXPECT_GE(seen2, 2);
}

}  // namespace
}  // namespace e2e
