// The RTCM 3 client's gates: the reference-input port, the selected or configured station, and
// what passes without them (the status and the vendor text).
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "settings/rcv_settings.h"
#include "settings/rtcm_settings.h"
#include "differential/decoder_status.h"
#include "differential/received_stores.h"
#include "differential/rtcm3_client.h"

namespace {

struct Base : Rtcm3CpdDecoder {
  std::string log;
  void updateAntDesc(const char* d, int st) override { log += std::string("ant ") + d + " " + std::to_string(st) + ";"; }
  void updateFlags(std::uint8_t f) override { log += "flags " + std::to_string(f) + ";"; }
};

RTC3_ANT_DESC antDesc(int station, const char* desc) {
  RTC3_ANT_DESC a{};
  a.stationId = static_cast<std::uint16_t>(station);
  std::strcpy(a.desc, desc);
  a.descLen = static_cast<std::uint8_t>(std::strlen(desc));
  a.setupId = 3;
  return a;
}

TEST(Rtcm3Client, StationAndPortGates) {
  struct Case {
    const char* what;
    bool table;
    int refPort;
    int selected;  // station selection of the CMR decoder settings, -1 none
    int station;
    const char* base;  // what the base decoder got
  };
  // The configured base station is 100; the chunks come from decoder port 1, which is not the
  // base port (none is known yet).
  const Case cases[] = {
      {"no base decoder", false, -2, -1, 100, ""},
      {"configured station, any port", true, -2, -1, 100, "ant TRM 100;"},
      {"configured station, this port", true, 1, -1, 100, "ant TRM 100;"},
      {"another reference port", true, 2, -1, 100, ""},
      {"other station off the base port", true, -2, -1, 101, ""},
      {"selected station", true, -2, 101, 101, "ant TRM 101;"},
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
    cl.updateAntDesc(antDesc(c.station, "TRM"), 1);
    EXPECT_EQ(base.log, c.base) << c.what;
    TextMessage::Entry e[2];
    const int n = TxtMsg.getMessages(e);
    ASSERT_EQ(n, *c.base ? 1 : 0) << c.what;
    if (n == 1) {
      // Without a serial number the text's serial part stays empty.
      EXPECT_EQ(std::string(e[0].text), "ANT:TRM,SET:3,SER:") << c.what;
      EXPECT_EQ(e[0].type, TextMessage::kRtcm3AntDescr);
    }
  }
}

TEST(Rtcm3Client, StatusAndVendorTextPassEveryGate) {
  Rtcm3Client cl;  // no base decoder at all
  RcvSet.refPort = 9;
  TxtMsg.reset();
  RTC3_TEXT_MSG t{};
  t.stationId = 5;
  t.length = 4;
  std::strcpy(t.text, "base");
  cl.updateVendorText(t, 2);
  TextMessage::Entry e[2];
  ASSERT_EQ(TxtMsg.getMessages(e), 1);
  EXPECT_STREQ(e[0].text, "base");
  EXPECT_EQ(e[0].type, TextMessage::kRtcm3VendorText);
  EXPECT_EQ(e[0].port, 2);

  RTC3_DEC_STATUS st{};
  st.goodFrames = 12;
  st.badFrames = 1;
  st.latency = 250;
  st.epochPeriod.init();
  cl.updateStatus(st, 2);
  DecoderStatus::PortRecord r;
  ASSERT_TRUE(DecSt.get(2, r));
  EXPECT_EQ(r.mode, DecoderStatus::kRtcm3);
  EXPECT_EQ(r.streams[0].good, 12);
  EXPECT_EQ(r.streams[0].bad, 1);
  EXPECT_EQ(r.streams[0].latency, 250);
}

}  // namespace
