// The wrapped-stream decoder: every action with every kind of target, reached through the native
// filter of a port, and the hand-over of commands to the parser.
#include "gnss_link/wrapped/azrt_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "differential/input_decoders.h"
#include "gnss_link/zrt_decoder.h"
#include "unit/gnss_link/wrapped/parser_stub.h"
#include "unit/gnss_link/wrapped/wrapped_frames.h"
#include "unit/gnss_link/native_test_util.h"
#include "unit/port_fakes.h"

namespace {

using testports::CaptureOut;
using testports::ScriptPort;
using ntest::Log;
using wraptest::Line;
using wraptest::wrap;

// Keeps what a correction decoder is fed.
class RecDec : public InDec {
 public:
  std::string fed;
  int resets = 0;
  void reset() override { ++resets; }
  void process(const void* d, int n) override { fed.append(static_cast<const char*>(d), static_cast<std::size_t>(n)); }
};

// The receiving port is dev/ser/a (index 5) in native mode; port 42 (dev/can/b) is the other port
// with both sides; port 0 (a log file) has an output only; 44 and 200 are no ports at all.
constexpr int kOwn = IOP_SER_A;
constexpr int kOther = IOP_CAN_B;
constexpr std::uint8_t kPlus = '+';

struct Where {
  std::string own, file, other;  // bytes written to the output of port 5, 0 and 42
  std::vector<Line> lines;       // commands handed to the parser
  std::string fed[4];            // fed to port 42's decoders of type RTCM 2, CMR, native, RTCM 3
};

struct ActionRow {
  const char* name;
  int mode;
  std::uint8_t target;
  int otherMode;  // input mode of port 42
  // Expected: where the payload "P" (stream id 'x' kept unless the mode strips it) ends up.
  enum Sink { kNothing, kLine, kOwnOut, kFileOut, kOtherOut, kRtcm, kCmr, kZrt, kRtcm3 } sink;
  int linePort = -1;
};

using S = ActionRow;
const ActionRow kActions[] = {
    // commands (action 1)
    {"command to +", 2, kPlus, InPort::M_CMD, S::kLine, kOwn},
    {"command to + stripped", 3, kPlus, InPort::M_CMD, S::kLine, kOwn},
    {"command to 0: no input side", 2, 0, InPort::M_CMD, S::kNothing},
    {"command to 42", 3, 42, InPort::M_CMD, S::kLine, kOther},
    {"command to 44", 2, 44, InPort::M_CMD, S::kNothing},
    {"command to 200", 3, 200, InPort::M_CMD, S::kNothing},
    // output (action 2)
    {"output to +", 4, kPlus, InPort::M_CMD, S::kOwnOut},
    {"output to 0", 5, 0, InPort::M_CMD, S::kFileOut},
    {"output to 42", 4, 42, InPort::M_CMD, S::kOtherOut},
    {"output to 44", 5, 44, InPort::M_CMD, S::kNothing},
    {"output to 200", 4, 200, InPort::M_CMD, S::kNothing},
    // native decoder (action 3): never the receiving port itself
    {"native decoder of +", 7, kPlus, InPort::M_ZRT, S::kNothing},
    {"native decoder of 0", 7, 0, InPort::M_ZRT, S::kNothing},
    {"native decoder of 42", 7, 42, InPort::M_ZRT, S::kZrt},
    {"native decoder of 42 in cmd mode", 7, 42, InPort::M_CMD, S::kNothing},
    {"native decoder of 44", 6, 44, InPort::M_ZRT, S::kNothing},
    {"native decoder of 200", 6, 200, InPort::M_ZRT, S::kNothing},
    // RTCM 2 decoder (action 4)
    {"RTCM 2 decoder of + (in native mode)", 9, kPlus, InPort::M_RTCM, S::kNothing},
    {"RTCM 2 decoder of 0", 9, 0, InPort::M_RTCM, S::kNothing},
    {"RTCM 2 decoder of 42", 8, 42, InPort::M_RTCM, S::kRtcm},
    {"RTCM 2 decoder of 42 in RTCM 3 mode", 8, 42, InPort::M_RTCM3, S::kNothing},
    {"RTCM 2 decoder of 44", 9, 44, InPort::M_RTCM, S::kNothing},
    {"RTCM 2 decoder of 200", 9, 200, InPort::M_RTCM, S::kNothing},
    // CMR decoder (action 5)
    {"CMR decoder of +", 11, kPlus, InPort::M_CMR, S::kNothing},
    {"CMR decoder of 0", 11, 0, InPort::M_CMR, S::kNothing},
    {"CMR decoder of 42", 10, 42, InPort::M_CMR, S::kCmr},
    {"CMR decoder of 42 in auto mode", 10, 42, InPort::M_AUTO, S::kNothing},
    {"CMR decoder of 44", 11, 44, InPort::M_CMR, S::kNothing},
    {"CMR decoder of 200", 11, 200, InPort::M_CMR, S::kNothing},
    // RTCM 3 decoder (action 6)
    {"RTCM 3 decoder of +", 13, kPlus, InPort::M_RTCM3, S::kNothing},
    {"RTCM 3 decoder of 0", 13, 0, InPort::M_RTCM3, S::kNothing},
    {"RTCM 3 decoder of 42", 13, 42, InPort::M_RTCM3, S::kRtcm3},
    {"RTCM 3 decoder of 42, id kept", 12, 42, InPort::M_RTCM3, S::kRtcm3},
    {"RTCM 3 decoder of 42 in cmd mode", 13, 42, InPort::M_CMD, S::kNothing},
    {"RTCM 3 decoder of 44", 13, 44, InPort::M_RTCM3, S::kNothing},
    {"RTCM 3 decoder of 200", 12, 200, InPort::M_RTCM3, S::kNothing},
    // off
    {"mode 0", 0, 42, InPort::M_CMD, S::kNothing},
    {"mode 1", 1, kPlus, InPort::M_CMD, S::kNothing},
};

// Foreign lines: modes 14, 15 command, 16, 17 output.
const ActionRow kForeign[] = {
    {"foreign command to +", 14, kPlus, InPort::M_CMD, S::kLine, kOwn},
    {"foreign command to 0", 15, 0, InPort::M_CMD, S::kNothing},
    {"foreign command to 42", 15, 42, InPort::M_CMD, S::kLine, kOther},
    {"foreign command to 44", 14, 44, InPort::M_CMD, S::kNothing},
    {"foreign command to 200", 14, 200, InPort::M_CMD, S::kNothing},
    {"foreign output to +", 16, kPlus, InPort::M_CMD, S::kOwnOut},
    {"foreign output to 0", 17, 0, InPort::M_CMD, S::kFileOut},
    {"foreign output to 42", 16, 42, InPort::M_CMD, S::kOtherOut},
    {"foreign output to 44", 17, 44, InPort::M_CMD, S::kNothing},
    {"foreign output to 200", 16, 200, InPort::M_CMD, S::kNothing},
};

class AzrtRoutes : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int t = 0; t < 4; ++t) InDecs::decs_[t][InPorts::io2dec_[kOther]] = &decs_[t];
    own_.setMode(InPort::M_ZRT);
    az_.init(kOwn, zd_.filter());
    zd_.parser().setForeignBounds(3, 1536);
  }
  void TearDown() override {
    for (int t = 0; t < 4; ++t) InDecs::decs_[t][InPorts::io2dec_[kOther]] = nullptr;
  }
  void route(int mode, std::uint8_t target) {
    az_.setParam(0, AzrtParams{-1, static_cast<std::uint8_t>(mode), target});
  }
  Where where() {
    Where w{ownOut_.data, fileOut_.data, otherOut_.data, parser_.drain(), {}};
    for (int t = 0; t < 4; ++t) w.fed[t] = decs_[t].fed;
    ownOut_.data.clear();
    fileOut_.data.clear();
    otherOut_.data.clear();
    for (RecDec& d : decs_) d.fed.clear();
    return w;
  }
  void check(const ActionRow& r, const std::string& payload) {
    const Where w = where();
    const std::string none;
    const std::vector<Line> lines =
        r.sink == S::kLine ? std::vector<Line>{{payload, r.linePort, InputParser::kDetached}} : std::vector<Line>{};
    EXPECT_EQ(w.lines, lines) << r.name;
    EXPECT_EQ(w.own, r.sink == S::kOwnOut ? payload : none) << r.name;
    EXPECT_EQ(w.file, r.sink == S::kFileOut ? payload : none) << r.name;
    EXPECT_EQ(w.other, r.sink == S::kOtherOut ? payload : none) << r.name;
    EXPECT_EQ(w.fed[InDecs::kRtcm], r.sink == S::kRtcm ? payload : none) << r.name;
    EXPECT_EQ(w.fed[InDecs::kCmr], r.sink == S::kCmr ? payload : none) << r.name;
    EXPECT_EQ(w.fed[InDecs::kZrt], r.sink == S::kZrt ? payload : none) << r.name;
    EXPECT_EQ(w.fed[InDecs::kRtcm3], r.sink == S::kRtcm3 ? payload : none) << r.name;
  }

  wraptest::ParserStub parser_;
  ScriptPort own_{kOwn};
  ScriptPort other_{kOther};
  CaptureOut ownOut_{kOwn}, fileOut_{IOP_FILE_A}, otherOut_{kOther};
  RecDec decs_[4];
  ZrtDecoder zd_;
  AzrtDecoder az_;
};

TEST_F(AzrtRoutes, WrappedActionsAndTargets) {
  for (const ActionRow& r : kActions) {
    route(r.mode, r.target);
    other_.setMode(r.otherMode);
    const std::string m = wrap('x', "print,/par/rcv/ver");
    zd_.process(m.data(), static_cast<int>(m.size()));
    check(r, (r.mode & 1) ? "print,/par/rcv/ver" : "xprint,/par/rcv/ver");
  }
}

TEST_F(AzrtRoutes, ForeignActionsAndTargets) {
  for (const ActionRow& r : kForeign) {
    route(r.mode, r.target);
    const std::string line = "!print,/par/rcv/ver\r\n";
    zd_.process(line.data(), static_cast<int>(line.size()));
    // A foreign run ends at its first CR or LF. A command loses it; output keeps it.
    const std::string body = (r.mode & 1) ? line.substr(1, line.size() - 2) : line.substr(0, line.size() - 1);
    check(r, r.sink == S::kLine ? body.substr(0, body.size() - 1) : body);
  }
}

TEST_F(AzrtRoutes, DefaultRoutingAcceptsAndDropsWrappedData) {
  const std::string m = wrap('R', "abc") + wrap('S', "") + wrap(char(0), "z");
  zd_.process(m.data(), static_cast<int>(m.size()));
  EXPECT_EQ(zd_.good(), 3u);  // accepted (the checksums are right) ...
  EXPECT_EQ(zd_.bad(), 0u);
  const Where w = where();  // ... and dropped
  EXPECT_TRUE(w.lines.empty() && w.own.empty() && w.other.empty() && w.fed[3].empty());
}

TEST_F(AzrtRoutes, StreamIdSelectsTheParameter) {
  az_.setParam(0, AzrtParams{'A', 5, 42});
  az_.setParam(1, AzrtParams{'B', 5, 0});
  az_.setParam(2, AzrtParams{-1, 5, '+'});
  const std::string m = wrap('A', "1") + wrap('B', "2") + wrap('C', "3") + wrap('A', "4");
  zd_.process(m.data(), static_cast<int>(m.size()));
  const Where w = where();
  EXPECT_EQ(w.other, "14");
  EXPECT_EQ(w.file, "2");
  EXPECT_EQ(w.own, "3");
}

TEST_F(AzrtRoutes, ShortBodiesAndEmptyPayloads) {
  route(5, kPlus);
  // Body of the checksum alone: ignored; id and checksum with the id stripped: nothing to write.
  std::string two = sim::frame(">>", "00", false);
  char hh[3];
  std::snprintf(hh, sizeof hh, "%02X", sim::checksum(two.substr(0, 5)));
  two.replace(5, 2, hh);
  const std::string m = two + wrap('x', "");
  zd_.process(m.data(), static_cast<int>(m.size()));
  EXPECT_EQ(zd_.bad(), 0u);
  EXPECT_EQ(where().own, "");
  route(2, kPlus);
  zd_.process(m.data(), static_cast<int>(m.size()));
  // The id alone is a command of one character.
  EXPECT_EQ(where().lines, (std::vector<Line>{{"x", kOwn, InputParser::kDetached}}));
}

TEST_F(AzrtRoutes, UnroutedForeignGoesToTheFurtherClientOrIsRefused) {
  Log log;
  ntest::Rec further(log, "F");
  const std::string line = "$GPXXX,1\r\n";
  zd_.process(line.data(), static_cast<int>(line.size()));
  EXPECT_TRUE(log.empty());
  az_.setFurther(&further);
  zd_.process(line.data(), static_cast<int>(line.size()));
  EXPECT_EQ(log, (Log{"foreign:$GPXXX,1<0D>:13"}));
  // A routed first byte does not reach the further client.
  az_.setParam(1, AzrtParams{'$', 16, '+'});
  zd_.process(line.data(), static_cast<int>(line.size()));
  EXPECT_EQ(log.size(), 1u);
  EXPECT_EQ(where().own, "$GPXXX,1\r");
  // The filter's reset reaches the further client.
  zd_.reset();
  EXPECT_EQ(log.back(), "unknownReset");
}

// command(): line ends dropped; empty and over-long texts ignored.
struct CommandRow {
  const char* name;
  std::string text;
  bool posted;
  std::string handed;
};

TEST_F(AzrtRoutes, CommandTextTable) {
  const std::string c1535(1535, 'c'), c1536(1536, 'c');
  const CommandRow rows[] = {
      {"plain", "print,/par/rcv/ver", true, "print,/par/rcv/ver"},
      {"CR LF dropped", "print\r\n", true, "print"},
      {"several line ends", "print\n\r\n\r", true, "print"},
      {"empty", "", false, ""},
      {"line ends only", "\r\n", false, ""},
      {"1535 characters", c1535, true, c1535},
      {"1535 characters and CR LF", c1535 + "\r\n", true, c1535},
      {"1536 characters", c1536, false, ""},
      {"1536 characters and CR LF", c1536 + "\r\n", false, ""},
  };
  for (const CommandRow& r : rows) {
    EXPECT_EQ(AzrtDecoder::command(r.text.data(), static_cast<int>(r.text.size()), 17), r.posted) << r.name;
    const std::vector<Line> lines =
        r.posted ? std::vector<Line>{{r.handed, 17, InputParser::kDetached}} : std::vector<Line>{};
    EXPECT_EQ(where().lines, lines) << r.name;
  }
}

}  // namespace
