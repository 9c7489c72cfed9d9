// The RTCM 3 client's gates: the reference-input port, the selected or configured station, and
// what passes without them (the status and the vendor text).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>

#include "differential/decoder_status.h"
#include "differential/received_stores.h"
#include "differential/rtcm3_client.h"
#include "settings/rcv_settings.h"
#include "settings/rtcm_settings.h"

namespace {

struct Base : Rtcm3CpdDecoder {
  std::string log;
  void updateAntDesc(const char* d, int st) override { log += std::string(d) + " " + std::to_string(st) + ";"; }
  void updateFlags(std::uint8_t f) override { log += "flags " + std::to_string(f) + ";"; }
};

TEST(Rtcm3Client, StationAndPortGates) {
  // Station selection of the CMR decoder settings (-1 none); what the base decoder got.
  struct Case { const char* what; bool table; int refPort, selected, station; const char* base; };
  // The configured base station is 100; the chunks come from decoder port 1, which is not the
  // base port (none is known yet).
  const Case cases[] = {
      {"no base decoder", false, -2, -1, 100, ""},
      {"configured station, any port", true, -2, -1, 100, "TRM 100;"},
      {"configured station, this port", true, 1, -1, 100, "TRM 100;"},
      {"another reference port", true, 2, -1, 100, ""},
      {"other station off the base port", true, -2, -1, 101, ""},
      {"selected station", true, -2, 101, 101, "TRM 101;"},
      {"selection excludes the configured one", true, -2, 101, 100, ""},
  };
  for (const Case& c : cases) {
    Base base;
    Rtcm3CpdDecoder* table[1] = {&base};
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
    if (n == 1) {  // without a serial number the text's serial part stays empty
      EXPECT_EQ(std::string(e[0].text), "ANT:TRM,SET:3,SER:") << c.what;
      EXPECT_EQ(e[0].type, TextMessage::kRtcm3AntDescr);
    }
  }
}

TEST(Rtcm3Client, StatusAndVendorTextPassEveryGate) {
  Rtcm3Client cl;  // no base decoder at all
  RcvSet.refPort = 9;
  TxtMsg.reset();
  RTC3_TEXT_MSG t{5, 4, "base"};
  cl.updateVendorText(t, 2);
  TextMessage::Entry e[2];
  ASSERT_EQ(TxtMsg.getMessages(e), 1);
  EXPECT_EQ(std::tuple(std::string(e[0].text), e[0].type, e[0].port), std::tuple("base", TextMessage::kRtcm3VendorText, 2));

  RTC3_DEC_STATUS st{};
  st.goodFrames = 12, st.badFrames = 1, st.latency = 250;
  st.epochPeriod.init();
  cl.updateStatus(st, 2);
  DecoderStatus::PortRecord r;
  ASSERT_TRUE(DecSt.get(2, r));
  const DecoderStatus::DataStream& s = r.streams[0];
  EXPECT_EQ(std::tuple(r.mode, s.good, s.bad, s.latency), std::tuple(DecoderStatus::kRtcm3, 12, 1, 250));
}

}  // namespace
