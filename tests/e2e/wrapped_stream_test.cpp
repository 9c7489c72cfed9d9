// A port in native mode carrying wrapped streams: commands wrapped in it are answered on the
// port (one that takes the port out of native mode included), and an RTCM 3 recording wrapped
// by the board simulator's own writer reaches another port's relay link to the board unchanged.
#include "e2e/harness.h"
#include "unit/gnss_link/wrapped/wrapped_frames.h"

namespace e2e {
namespace {

using WrappedStreamRoad = Rx;
using wraptest::wrap;

TEST_F(WrappedStreamRoad, WrappedCommandsAreAnsweredOnThePortWithoutHanging) {
  ASSERT_NO_FATAL_FAILURE(startSim());
  ASSERT_NO_FATAL_FAILURE(start());
  Port serB(dir_.file("dev/ser/b"));
  ASSERT_TRUE(serB.ok());
  EXPECT_EQ(serB.ask("%1%print,/par/dev/ser/a/wrap/0"), re("%1%{-1,1,+}"));
  EXPECT_EQ(serB.ask("%2%set,/par/dev/ser/a/wrap/0,{-1,3,+}"), re("%2%"));
  EXPECT_EQ(ask("%3%set,/par/dev/ser/a/imode,zrt"), re("%3%"));
  ASSERT_TRUE(port_->sendRaw(wrap('C', "%7%print,/par/dev/ser/a/imode")));
  EXPECT_EQ(port_->next(), re("%7%zrt"));
  // The command takes its own port out of native mode: the decoder's reset must not wait on
  // the decoding that handed the command over.
  ASSERT_TRUE(port_->sendRaw(wrap('C', "%8%set,/par/cur/term/imode,cmd")));
  EXPECT_EQ(port_->next(), re("%8%"));
  EXPECT_EQ(ask("%9%print,/par/dev/ser/a/imode"), re("%9%cmd"));
  EXPECT_EQ(serB.ask("%b%print,/par/dev/ser/a/imode"), re("%b%cmd"));
  // The routing is kept over a restart.
  restart();
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("%c%print,/par/dev/ser/a/wrap"), re("%c%{0={-1,3,+},1={-1,1,+},2={-1,1,+}}"));
  EXPECT_EQ(ask("%d%set,/par/dev/ser/a/wrap/1,{300,3,+}"), frame("ER", "%d%{5,,value out of range}"));
  // The factory settings route nothing.
  EXPECT_EQ(ask("%e%init,/par/"), re("%e%"));
  EXPECT_EQ(ask("%f%print,/par/dev/ser/a/wrap"), re("%f%{0={-1,1,+},1={-1,1,+},2={-1,1,+}}"));
}

TEST_F(WrappedStreamRoad, Rtcm3RecordingReachesTheOtherPortsRelayByteForByte) {
  const std::string rec = readFile(std::string(RX_SHARED_DIR) + "/testdata/rtcm3/uscl00chl0.rtcm3");
  ASSERT_EQ(rec.size(), 4606u);
  const std::string wrapped = wraptest::wrapAll('R', rec, 1000);
  ASSERT_NO_FATAL_FAILURE(startSim({"--relay", dir_.file("relay.")}));
  ASSERT_NO_FATAL_FAILURE(start());
  Port serB(dir_.file("dev/ser/b"));
  ASSERT_TRUE(serB.ok());
  const std::size_t mark = transcript().size();
  EXPECT_EQ(serB.ask("%1%set,/par/dev/ser/c/imode,rtcm3"), re("%1%"));
  EXPECT_TRUE(boardGets("set,dev/shm/d/imode,rtcm3\n", mark));
  ASSERT_TRUE(waitUntil([&] { return dir_.exists("relay.d.up"); }));
  EXPECT_EQ(serB.ask("%2%set,/par/dev/ser/a/wrap/0,{82,13,dev/ser/c}"), re("%2%"));
  EXPECT_EQ(serB.ask("%3%set,/par/dev/ser/a/wrap/1,{67,3,+}"), re("%3%"));
  EXPECT_EQ(ask("%4%set,/par/dev/ser/a/imode,zrt"), re("%4%"));

  ASSERT_TRUE(port_->sendRaw(wrapped));
  EXPECT_TRUE(fileReaches("relay.d", rec.size()));
  EXPECT_TRUE(dir_.read("relay.d") == rec) << dir_.read("relay.d").size();

  // dev/ser/c takes commands: the stream has no decoder there.
  EXPECT_EQ(serB.ask("%5%set,/par/dev/ser/c/imode,cmd"), re("%5%"));
  ASSERT_TRUE(port_->sendRaw(wrapped + wrap('C', "%6%print,/par/dev/ser/c/imode")));
  EXPECT_EQ(port_->next(), re("%6%cmd"));
  // Routed to the own-format decoder of the port it came on: dropped, never read again.
  EXPECT_EQ(serB.ask("%7%set,/par/dev/ser/c/imode,rtcm3"), re("%7%"));
  EXPECT_EQ(serB.ask("%8%set,/par/dev/ser/a/wrap/0,{82,7,+}"), re("%8%"));
  ASSERT_TRUE(port_->sendRaw(wrapped + wrap('C', "%9%print,/par/dev/ser/a/wrap/0")));
  EXPECT_EQ(port_->next(), re("%9%{82,7,+}"));
  // A wrapped command of 1536 characters gets no answer; the next one does.
  std::string longCmd = "%L%print,/par/rcv/ver#";
  longCmd.resize(1536, 'x');
  ASSERT_TRUE(port_->sendRaw(wrap('C', longCmd) + wrap('C', "%a%print,/par/dev/ser/a/imode")));
  EXPECT_EQ(port_->next(), re("%a%zrt"));
  // Back to dev/ser/c: only the streams sent while it decoded RTCM 3 have reached its relay.
  EXPECT_EQ(serB.ask("%b%set,/par/dev/ser/a/wrap/0,{82,13,dev/ser/c}"), re("%b%"));
  ASSERT_TRUE(port_->sendRaw(wrapped));
  EXPECT_TRUE(fileReaches("relay.d", 2 * rec.size()));
  EXPECT_TRUE(dir_.read("relay.d") == rec + rec) << dir_.read("relay.d").size();
  EXPECT_TRUE(rx_->running());
}

// An NMEA sentence: "$", the body, "*", the XOR of the body in two hexadecimal digits, CR LF.
std::string nmea(const std::string& body) {
  unsigned x = 0;
  for (unsigned char c : body) x ^= c;
  char ck[4];
  std::snprintf(ck, sizeof ck, "%02X", x);
  return "$" + body + "*" + ck + "\r\n";
}

// Transducer sentences of meteorological and tilt sensors mixed into a native stream: each is
// taken as a line of its own, good or bad, and the almanac record behind it is still worked and
// answered. With a routing parameter for foreign lines of "$", they go out of another port
// instead.
TEST_F(WrappedStreamRoad, TransducerSentencesAmongNativeRecordsLeaveTheRecordsWhole) {
  ASSERT_NO_FATAL_FAILURE(startSim());
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("%1%set,/par/dev/ser/b/imode,zrt"), re("%1%"));
  Port serB(dir_.file("dev/ser/b"));
  ASSERT_TRUE(serB.ok());
  const std::string ga = withCk("GA", std::string(1, '\x02') + std::string(45, '\0'));
  const std::string lines[] = {
      nmea("WIXDR,C,21.5,C,TEMP,P,1.013,B,BARO"),        // meteo: temperature and pressure
      nmea("YXXDR,H,45.0,P,HUM,P,101325,P,BARO"),         // humidity, pressure in pascal
      nmea("PASHS,XDR,A,1.5,D,N,A,-250,M,E,C,20.0,C,T"),  // proprietary tilt with its temperature
      nmea("PASHQ,XDR"),                                  // the query form, ignored
      "$WIXDR,C,21.5,C,TEMP*00\r\n",                     // wrong checksum
      nmea("WIXDR,C,,C,TEMP"),                            // no number
      nmea("WIXDR,C,21.5,C"),                             // a quadruplet cut short
      "$WIXDR,C,21.5,C,TEMP\n",                           // no checksum at all
  };
  std::string held;
  for (const std::string& l : lines) {
    SCOPED_TRACE(l);
    ASSERT_TRUE(serB.sendRaw(l + ga));
    ASSERT_TRUE(serB.fill([](const std::string& h) { return h.find("RE002%%") != std::string::npos; })) << serB.held;
    serB.held.clear();
  }
  // Routed: the lines of "$" leave dev/ser/c as they came, up to the first character that
  // ends them.
  EXPECT_EQ(ask("%2%set,/par/dev/ser/b/wrap/0,{36,16,dev/ser/c}"), re("%2%"));
  Port serC(dir_.file("dev/ser/c"));
  ASSERT_TRUE(serC.ok());
  EXPECT_EQ(serC.ask("%3%set,/par/cur/term/imode,none"), re("%3%"));
  ASSERT_TRUE(serB.sendRaw(lines[0] + ga));
  EXPECT_TRUE(serB.fill([](const std::string& h) { return h.find("RE002%%") != std::string::npos; })) << serB.held;
  const std::string routed = lines[0].substr(0, lines[0].size() - 1);
  EXPECT_TRUE(serC.fill([&](const std::string& h) { return h.find(routed) != std::string::npos; })) << serC.held;
  EXPECT_TRUE(rx_->running());
}

}  // namespace
}  // namespace e2e
