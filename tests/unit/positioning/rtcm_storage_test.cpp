// The RTCM correction stores' shared age limits and the RTCM interface settings' defaults.
#include <gtest/gtest.h>

#include "positioning/corrections/rtcm_storage.h"

namespace {

struct Store : RTCM_Storage {
  std::int32_t sel() const { return selection; }
  void pick(int s) { selection = s; }
};

TEST(RtcmStorage, AgeLimitIsSharedAndEveryConstructorRestoresIt) {
  Store a, b;
  EXPECT_EQ(a.getMaxAge(), 30);
  EXPECT_EQ(RTCM_Storage::getMaxIonoAge(), 300);
  a.setMaxAge(45);
  EXPECT_EQ(b.getMaxAge(), 45);  // one limit for all stores
  EXPECT_EQ(RtcmInt.getMaxAge(), 45);
  Store c;
  EXPECT_EQ(a.getMaxAge(), 30);
  EXPECT_EQ(c.sel(), -1);
  c.pick(3);
  c.init();
  EXPECT_EQ(c.sel(), -1);
}

TEST(RtcmStorage, InterfaceDefaultsAndPortRecords) {
  const RTCM_Int::RTCM_INT_SETTINGS& s = RtcmInt.getSettings();
  EXPECT_EQ(std::tuple(s.enable[0], s.enable[1], s.enable[2], s.inputPort, s.count, s.value, s.spare),
            std::tuple(1, 1, 1, -2, 6, 1000, 0));
  EXPECT_EQ(RtcmInt.portCount(), 22);
  for (int p = 0; p < RTCM_Int::kPorts; ++p)
    for (std::uint8_t sat : RtcmInt.port(p).sat) EXPECT_EQ(sat, 0xFF) << p;
  RTCM_Int::RTCM_INT_SETTINGS t = s;
  t.inputPort = 4;
  RtcmInt.setSettings(t);
  EXPECT_EQ(RtcmInt.getSettings().inputPort, 4);
}

}  // namespace
