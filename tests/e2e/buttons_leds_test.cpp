// The LEDs and buttons with the real program on GPIO stand-in files: the LED lines driven after
// start, the file button starting and closing a log file (the recording LED following), the
// button/ keys across a restart, and a power-button hold powering the receiver off.
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "e2e/harness.h"
#include "unit/platform/gpio_stand_in.h"

namespace e2e {
namespace {

using ButtonsLeds = Rx;

constexpr int kLedLines[] = {137, 136, 130, 131};

void press(const std::string& dir, int line, int ms) {
  standin::writeStandIn(standin::gpioPath(dir, line, "value"), "0\n");
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  standin::writeStandIn(standin::gpioPath(dir, line, "value"), "1\n");
}

int logFiles(const std::string& dir) {
  std::error_code ec;
  int n = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir + "/.gnss.log", ec)) n += e.is_regular_file() ? 1 : 0;
  return n;
}

TEST_F(ButtonsLeds, LinesButtonsKeysAndPowerOff) {
  ASSERT_TRUE(standin::layOutGpio(dir_.path, {137, 136, 130, 131}, "in", "1"));
  ASSERT_TRUE(standin::layOutGpio(dir_.path, {32, 119}, "in", "1"));
  ASSERT_NO_FATAL_FAILURE(startSim());
  ASSERT_NO_FATAL_FAILURE(start());
  for (int line : kLedLines) {
    EXPECT_TRUE(waitUntil([&] { return standin::gpioText(dir_.path, line, "direction") == "out"; })) << line;
  }
  // Not recording: the recording LED dark.
  EXPECT_TRUE(waitUntil([&] { return standin::gpioLevel(dir_.path, 130) == 0 && standin::gpioLevel(dir_.path, 131) == 0; }));

  // Keys, kept across a restart.
  EXPECT_EQ(ask("%a%set,/par/button/action,dyn"), re("%a%"));
  EXPECT_EQ(ask("%b%set,/par/button/file,e2elog"), re("%b%"));
  EXPECT_EQ(ask("%c%set,/par/button/rot,off"), re("%c%"));
  EXPECT_EQ(ask("%d%set,/par/button/action,led"), re("%d%"));
  const std::string before = ask("print,/par/button");
  EXPECT_NE(before.find("file=e2elog"), std::string::npos) << before;
  restart();
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/button"), before);

  // The file button held 0.6 s: logging starts, the recording LED turns green.
  EXPECT_EQ(logFiles(dir_.path), 0);
  press(dir_.path, 119, 600);
  EXPECT_TRUE(waitUntil([&] { return logFiles(dir_.path) == 1; }));
  EXPECT_TRUE(dir_.exists(".gnss.log/e2elog"));
  EXPECT_TRUE(waitUntil([&] { return standin::gpioLevel(dir_.path, 130) == 1 && standin::gpioLevel(dir_.path, 131) == 0; }));
  // Again: the file is closed and the LED goes dark.
  press(dir_.path, 119, 600);
  EXPECT_TRUE(waitUntil([&] { return standin::gpioLevel(dir_.path, 130) == 0 && standin::gpioLevel(dir_.path, 131) == 0; }));

  // The power button held 2.5 s: powered off.
  press(dir_.path, 32, 2500);
  EXPECT_EQ(end(), 128);
  EXPECT_NE(dir_.read("host/var/run/rxengine-request").find("power_off"), std::string::npos);
}

}  // namespace
}  // namespace e2e
