// Numbers in "/par/base/" texts: each is taken only when the field it goes to can hold it.
#include "differential/rtcm3_base_params.h"

#include <cstring>
#include <string>

#include "rtcm3_test_util.h"

namespace {

using namespace rtcm3test;

struct Row {
  const char* text;
  bool taken;
};

// The edges of each field: int32 for the modem values and the acceleration flag, float for the
// voltage and the float groups, finite doubles for latitude, longitude and height; the counters
// are 32 and 16 bits in either signed or unsigned form.
const Row kRows[] = {
    {"/par/base/moving={accel={1,2,3,1e10},curpos=,alert=}", false},
    {"/par/base/moving={accel={1,2,3,nan},curpos=,alert=}", false},
    {"/par/base/moving={accel={1,2,3,inf},curpos=,alert=}", false},
    {"/par/base/moving={accel={1,2,3,-inf},curpos=,alert=}", false},
    {"/par/base/moving={accel={1,2,3,2147483647},curpos=,alert=}", true},
    {"/par/base/moving={accel={1,2,3,2147483647.9},curpos=,alert=}", true},
    {"/par/base/moving={accel={1,2,3,2147483648},curpos=,alert=}", false},
    {"/par/base/moving={accel={1,2,3,-2147483648.9},curpos=,alert=}", true},
    {"/par/base/moving={accel={1,2,3,-2147483649},curpos=,alert=}", false},
    {"/par/base/moving={accel={nan,2,3,1},curpos=,alert=}", false},
    {"/par/base/moving={accel={3.4e38,-3.4e38,0,1},curpos=,alert=}", true},
    {"/par/base/moving={accel={3.5e38,2,3,1},curpos=,alert=}", false},
    {"/par/base/moving={accel={1,-1e39,3,1},curpos=,alert=}", false},
    {"/par/base/moving={accel=,curpos={1e300,-1e300,0,1},alert=}", true},
    {"/par/base/moving={accel=,curpos={nan,2,3,4},alert=}", false},
    {"/par/base/moving={accel=,curpos={1,inf,3,4},alert=}", false},
    {"/par/base/moving={accel=,curpos={1,2,-inf,4},alert=}", false},
    {"/par/base/moving={accel=,curpos={1,2,3,1e39},alert=}", false},
    {"/par/base/moving={accel=,curpos=,alert={1,2,3,infinity}}", false},
    {"/par/base/moving={accel=,curpos=,alert={1e10,2,3,-1e38}}", true},
    {"/par/base/moving={accel=,curpos=,alert={0x1p200,2,3,4}}", false},
    {"/par/base/modem={power=2147483647,tempc=-2147483648,volt=12.5,id=1,id2=2}", true},
    {"/par/base/modem={power=2147483648,tempc=1,volt=1,id=1,id2=1}", false},
    {"/par/base/modem={power=1,tempc=-2147483649,volt=1,id=1,id2=1}", false},
    {"/par/base/modem={power=1,tempc=1,volt=1,id=99999999999,id2=1}", false},
    {"/par/base/modem={power=1,tempc=1,volt=1,id=1,id2=-99999999999}", false},
    {"/par/base/modem={power=1,tempc=1,volt=nan,id=1,id2=1}", false},
    {"/par/base/modem={power=1,tempc=1,volt=inf,id=1,id2=1}", false},
    {"/par/base/modem={power=1,tempc=1,volt=1e39,id=1,id2=1}", false},
    {"/par/base/modem={power=unknown,tempc=unknown,volt=unknown,id=unknown,id2=unknown}", true},
    {"/par/base/msgnum={4294967295,65535,65535}", true},
    {"/par/base/msgnum={-2147483648,-32768,-32768}", true},
    {"/par/base/msgnum={4294967296,1,1}", false},
    {"/par/base/msgnum={-2147483649,1,1}", false},
    {"/par/base/msgnum={1,65536,1}", false},
    {"/par/base/msgnum={1,1,-32769}", false},
    {"/par/base/msgnum={1,1,99999999999999999999}", false},
};

TEST(BaseParamNumbers, OutOfRangeRefusesTheText) {
  for (const Row& r : kRows) {
    rtc3BaseMoving = RTC3_BASE_MOVING{};
    rtc3BaseModem = RTC3_BASE_MODEM{};
    rtc3BaseMsgNum = RTC3_BASE_MSGNUM{};
    EXPECT_EQ(rtc3ParseBaseParam(r.text, static_cast<int>(std::strlen(r.text)), 0), r.taken) << r.text;
    // A refused text leaves every record as it was.
    if (!r.taken) {
      EXPECT_EQ(rtc3BaseMoving.valid + rtc3BaseModem.valid + rtc3BaseMsgNum.valid, 0) << r.text;
    }
  }
}

TEST(BaseParamNumbers, EdgeValuesAreKeptExactly) {
  const std::string t = "/par/base/moving={accel={1,2,3,-2147483648.9},curpos=,alert=}";
  ASSERT_TRUE(rtc3ParseBaseParam(t.c_str(), static_cast<int>(t.size()), 0));
  EXPECT_EQ(rtc3BaseMoving.accelFlag, INT32_MIN);
  const std::string m = "/par/base/msgnum={4294967295,65535,65535}";
  ASSERT_TRUE(rtc3ParseBaseParam(m.c_str(), static_cast<int>(m.size()), 0));
  EXPECT_EQ(std::tuple(rtc3BaseMsgNum.a, rtc3BaseMsgNum.b, rtc3BaseMsgNum.c), std::tuple(4294967295u, 65535, 65535));
}

// The frame the fuzzer found: a 1029 with a valid CRC whose acceleration flag is 1e10.
TEST(BaseParamNumbers, FoundFrameFailsItsMessage) {
  const Bytes frame = readFile(std::string(RX_SHARED_DIR) + "/testdata/fuzz/rtcm3-1029-moving-huge-value.rtcm3");
  ASSERT_EQ(frame.size(), 67u);
  RecordingClient client;
  RTC3_Decoder& dec = Rtcm3Dec[0];
  dec.initDecoder(&client);
  NAV_Decoder drv{&dec};
  rtc3BaseMoving = RTC3_BASE_MOVING{};
  drv.putData(frame.data(), static_cast<int>(frame.size()), static_cast<InPorts::DecPortIndex>(0));
  ASSERT_EQ(client.statuses.size(), 1u);
  EXPECT_EQ(std::tuple(client.statuses[0].msgNum, client.statuses[0].goodFrames), std::tuple(1029, 1));
  EXPECT_LT(client.statuses[0].quality, 100.0f);
  EXPECT_EQ(rtc3BaseMoving.valid, 0);
}

}  // namespace
