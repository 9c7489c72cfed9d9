#include "gnss_link/zrt_port_input.h"

#include <gtest/gtest.h>

#include "differential/decoder_status.h"
#include "differential/decoder_task.h"
#include "unit/gnss_link/native_test_util.h"
#include "unit/port_fakes.h"

using namespace ntest;
using testports::CaptureOut;
using testports::ScriptPort;

namespace {

void noLines(const char*, int, int, bool) {}

TEST(ZrtPortInput, BytesReachTheDecoderOfTheDecoderPort) {
  CmdHandler::setSink(noLines);
  ScriptPort port(IOP_TCP_A);
  CaptureOut out(IOP_TCP_A);
  ASSERT_TRUE(zrtPortInputAttach(IOP_TCP_A));
  const int dec = InPorts::io2dec_[IOP_TCP_A];
  ZrtDecoder* d = &zrtPortInput(dec)->decoder();
  // The port's filter lives as long as the program: so do the test's client and its log.
  static Log log;
  static Rec a(log, "A");
  log.clear();
  d->filter().setHandler("GT", &a, &Rec::handler);
  port.chunks = {frame("GT", "1") + "\r\n"};  // in command mode the decoder sees nothing
  port.task(20);
  ASSERT_TRUE(port.setMode(InPort::M_ZRT));
  const std::string gt = frame("GT", "2");
  const std::string s = epochStart(5) + gt + frameBad("UO", "u") + "\r\n" + epochEnd(5);
  port.chunks = {s.substr(0, 3), s.substr(3, 9), s.substr(12)};
  port.task(20);
  // Entering the mode reset the decoder's clients first.
  EXPECT_EQ(log, (Log{"reset:A", "start:A:5", "msg:A:GT:" + show(gt.data() + 5, 2), "end:A:5"}));
  EXPECT_EQ(d->good(), 3u);
  EXPECT_EQ(d->bad(), 1u);
  DecoderStatus::PortRecord st;
  ASSERT_TRUE(DecSt.get(dec, st));  // published in the decoder status as the native mode
  EXPECT_EQ(st.mode, DecoderStatus::kZrt);
  EXPECT_EQ(st.streams[0].good, 3);
  EXPECT_EQ(st.streams[0].bad, 1);
  EXPECT_EQ(out.data, "ER015%%{2,,wrong checksum}\r\n");
  // Entering the mode again starts the stream afresh.
  ASSERT_TRUE(port.setMode(InPort::M_CMD));
  ASSERT_TRUE(port.setMode(InPort::M_ZRT));
  EXPECT_EQ(d->good() + d->bad(), 0u);
}

// Outside the board links, "zrt" bytes reach the native input through the correction-decoder task.
TEST(ZrtPortInput, CorrectionRoadReachesTheNativeInput) {
  CmdHandler::setSink(noLines);
  ScriptPort port(IOP_SER_C);
  CaptureOut out(IOP_SER_C);
  InDecs::native_ = zrtInDec;
  zrtPortInputInit();
  decInitOnce();
  ASSERT_TRUE(decProcInit(13));
  static Log log;
  static Rec a(log, "A");
  log.clear();
  ZrtMsgFilter& filter = zrtPortInput(InPorts::io2dec_[IOP_SER_C])->decoder().filter();
  filter.setHandler("GT", &a, &Rec::handler);
  ASSERT_TRUE(port.setMode(InPort::M_ZRT));
  const std::string gt = frame("GT", "7");
  port.chunks = {gt.substr(0, 4), gt.substr(4) + frame("UO", "utc")};
  port.task(20);
  EXPECT_EQ(log, (Log{"reset:A", "msg:A:GT:" + show(gt.data() + 5, 2)}));
  EXPECT_EQ(out.data, "RE002%%\r\n");  // the almanac answer still goes back on the port
}

}  // namespace
