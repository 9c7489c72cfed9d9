// The USB copy with the real program: the system's marker files and the copy tool's progress
// written under host/, the copy state and progress read back through /par/edisk, and the
// recording LED seen on its GPIO stand-in files.
#include <chrono>
#include <string>
#include <thread>

#include "e2e/harness.h"
#include "unit/platform/gpio_stand_in.h"

namespace e2e {
namespace {

using UsbStorage = Rx;

constexpr int kRecGreen = 130;
constexpr int kRecRed = 131;

TEST_F(UsbStorage, CopyBlinksTheRecordingLedAndEndsWithItsResult) {
  ASSERT_TRUE(standin::layOutGpio(dir_.path, {137, 136, kRecGreen, kRecRed}, "in", "0"));
  ASSERT_NO_FATAL_FAILURE(startSim());
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/edisk"), re("{state=0,err=0,pct=0,kbytes=0}"));
  EXPECT_EQ(ask("set,/par/edisk/state,2"), frame("ER", "%%{12,,read only}"));

  // A drive mounted: copying within one idle pass of the task.
  ASSERT_TRUE(dir_.write("host/var/run/edisk_mounted", ""));
  EXPECT_TRUE(waitUntil([&] { return ask("print,/par/edisk/state") == re("2"); }, 12000));

  // Both recording lines blink: each is seen lit and dark.
  bool seen[2][2] = {};
  EXPECT_TRUE(waitUntil([&] {
    for (int k = 0; k < 2; ++k) {
      const int level = standin::gpioLevel(dir_.path, k == 0 ? kRecGreen : kRecRed);
      if (level == 0 || level == 1) seen[k][level] = true;
    }
    return seen[0][0] && seen[0][1] && seen[1][0] && seen[1][1];
  })) << "green " << seen[0][0] << seen[0][1] << ", red " << seen[1][0] << seen[1][1];

  // The copy tool's progress past 2 GiB.
  ASSERT_TRUE(dir_.write("host/home/firm/ext-usbflash_progr", "\r  3,221,225,472  67%  10.00MB/s    0:05:00\r"));
  EXPECT_TRUE(waitUntil([&] { return ask("print,/par/edisk/kbytes") == re("3145728"); }));
  EXPECT_EQ(ask("print,/par/edisk/pct"), re("67"));

  // The copy fails with code 5: the state and the error, the recording lines dark.
  ASSERT_TRUE(dir_.write("host/var/run/edisk_finished", "-5\n"));
  EXPECT_TRUE(waitUntil([&] { return ask("print,/par/edisk/state") == re("-5"); }));
  EXPECT_EQ(ask("print,/par/edisk/err"), re("5"));
  EXPECT_TRUE(waitUntil([&] {
    return standin::gpioLevel(dir_.path, kRecGreen) == 0 && standin::gpioLevel(dir_.path, kRecRed) == 0;
  }));
  EXPECT_TRUE(rx_->running());
}

}  // namespace
}  // namespace e2e
