// The CMR output messages on the epoch road: the output manager marks what is due, the coding
// driver arms the coder, each stream's messages write the coder's frames; the port's bytes are
// checked by the test's own frame reader.
#include "differential/cmr/cmr_coder_msgs.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "differential/cmr/cmr_coder.h"
#include "differential/coding_driver.h"
#include "positioning/rcv_output.h"
#include "settings/nv_settings.h"
#include "unit/output/output_fakes.h"

namespace {

RCV_OUTPUT g_rcv;

void epoch(long gpsMs) {
  g_rcv.epoch.gpsMs = gpsMs;
  g_rcv.epoch.gpsValid = NavTask::NAV_EPOCH::kTimeValid;
  const long t = gpsMs % 86400000;
  omPrepare(t);
  diffInitCoding();
  baseMakeCoding();
  omOutput(t);
}

// Whole frames of a port's bytes (STX, status 0, type, length, data, checksum, ETX); `bad` counts
// bytes that start no valid frame.
struct Frame {
  int type;
  std::vector<std::uint8_t> data;
};
std::vector<Frame> frames(const std::string& bytes, int& bad) {
  std::vector<Frame> out;
  bad = 0;
  const auto* b = reinterpret_cast<const std::uint8_t*>(bytes.data());
  const std::size_t n = bytes.size();
  for (std::size_t i = 0; i < n;) {
    if (i + 6 > n || b[i] != 0x02 || b[i + 1] != 0 || i + 6 + b[i + 3] > n) {
      ++bad, ++i;
      continue;
    }
    const int len = b[i + 3];
    unsigned sum = b[i + 1] + b[i + 2] + b[i + 3];
    for (int k = 0; k < len; ++k) sum += b[i + 4 + k];
    if ((sum & 0xFF) != b[i + 4 + len] || b[i + 5 + len] != 0x03) {
      ++bad, ++i;
      continue;
    }
    out.push_back({b[i + 2], std::vector<std::uint8_t>(b + i + 4, b + i + 4 + len)});
    i += 6 + static_cast<std::size_t>(len);
  }
  return out;
}

TEST(CmrOutputMessages, NamesInKindOrderAndPlanByKind) {
  cmrmRegisterMsgs();
  cmrmRegisterMsgs();  // again: nothing added twice
  struct Row {
    const char* name;
    int kind;
  } rows[] = {{"0", kCmrMsgGps}, {"10", kCmrMsgGlonass}, {"1", kCmrMsgRefCoord}, {"2", kCmrMsgDesc}, {"9", kCmrMsgPlus}};
  static FakePort port;
  testports::attachOut(7, &port);
  int count = 0, last = -1;
  for (int i = msgPool.first(kGroupCmr); i >= 0; i = msgPool.next(i)) {
    ++count;
    EXPECT_EQ(msgPool.msg(i)->planIndex(), last + 1) << "registered in kind order";
    last = msgPool.msg(i)->planIndex();
  }
  EXPECT_EQ(count, 5);
  for (const Row& r : rows) {
    const int index = msgPool.find(kGroupCmr, r.name);
    ASSERT_GE(index, 0) << r.name;
    EXPECT_EQ(msgPool.msg(index)->planIndex(), r.kind) << r.name;
    ASSERT_EQ(omEnableMsgs(7, (std::string("cmr/") + r.name + ":1").c_str()), OmListResult::kOk) << r.name;
    omPrepare(1000);
    bool plan[kCmrMsgCount];
    EXPECT_TRUE(cmrmMakeOut(plan, kCmrMsgCount)) << r.name;
    for (int k = 0; k < kCmrMsgCount; ++k) EXPECT_EQ(plan[k], k == r.kind) << r.name << " flag " << k;
    omOutput(1000);
    omDisableMsgs(7, nullptr);
  }
  testports::attachOut(7, nullptr);
}

TEST(CmrOutputMessages, DescriptionEverySecondUntilDisabled) {
  cmrmRegisterMsgs();
  navClcRcvOutHook = [] { return static_cast<const RCV_OUTPUT*>(&g_rcv); };
  rtcmSettingsSetApplyHook(diffRtcmSettingsApply);
  rtcmSettingsSetGatherHook(diffRtcmSettingsGather);
  RTCM_SETTINGS s = RtcmSet;
  std::strcpy(s.cmrCod.shortName, "BASE");
  std::strcpy(s.cmrCod.longName, "north pier");
  diffRtcmSettingsApply(s);
  nv_writeRefIdSettings(29);  // no settings file here: only the coders take it
  EXPECT_EQ(CmrCod.settings().stationId, 29);
  static FakePort b;
  testports::attachOut(1, &b);
  ASSERT_EQ(omEnableMsgs(1, "cmr/2:1"), OmListResult::kOk);
  const long start = 5 * 86400000L + 1000;
  for (int sec = 0; sec < 5; ++sec) epoch(start + 1000L * sec);
  int bad = 0;
  const std::vector<Frame> f = frames(b.bytes, bad);
  EXPECT_EQ(bad, 0);
  ASSERT_EQ(f.size(), 5u);
  for (std::size_t i = 0; i < f.size(); ++i) {
    EXPECT_EQ(f[i].type, 0x93);
    ASSERT_EQ(f[i].data.size(), 32u + 10u);
    EXPECT_EQ(f[i].data[0], 0x60 | 29);
    EXPECT_EQ(f[i].data[1] >> 5, 2);
    const long t = (f[i].data[2] << 10 | f[i].data[3] << 2 | f[i].data[4] >> 6);
    EXPECT_EQ(t, (start + 1000L * static_cast<long>(i)) % 240000);
    EXPECT_EQ(std::string(f[i].data.begin() + 7, f[i].data.begin() + 15), "    BASE");
  }
  EXPECT_EQ(iCmrOutput, 0) << "no observation message: no RTK data needed";
  omDisableMsgs(1, "cmr");
  const std::size_t before = b.bytes.size();
  epoch(start + 20000);
  EXPECT_EQ(b.bytes.size(), before);
  testports::attachOut(1, nullptr);
}

}  // namespace
