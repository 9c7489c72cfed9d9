// GPIO lines on stand-in sysfs files under host/: export, direction and level, the polled value
// descriptor, one diagnostic per line, and the RS-232/RS-422 selection of ports C and D.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "platform/gpio.h"
#include "platform/gpio_port_select.h"
#include "platform/ports/serial_driver.h"
#include "unit/platform/gpio_stand_in.h"
#include "unit/own_process.h"
#include "unit/platform/temp_run_dir.h"

namespace {

using Gpio = TempRunDir;
using standin::gpioLevel;
using standin::gpioText;
using standin::layOutGpio;

TEST_F(Gpio, OutputAndInputLines) {
  const struct {
    int line, level;
    bool laidOut;
    int result;
    const char* direction;  // the file's text after the call
    int value;              // the level its value file shows after
  } rows[] = {
      {91, 1, true, 0, "out", 1}, {86, 0, true, 0, "out", 0}, {5, 7, true, 0, "out", 1},
      {12, 1, false, -1, "", -1},
  };
  ASSERT_TRUE(layOutGpio(".", {91, 86, 5}, "in", "0"));
  for (const auto& r : rows) {
    EXPECT_EQ(setPinOutEn(r.line, r.level), r.result) << r.line;
    EXPECT_EQ(gpioText(".", r.line, "direction"), r.direction) << r.line;
    EXPECT_EQ(gpioLevel(".", r.line), r.value) << r.line;
  }
  EXPECT_EQ(setPinInEn(91), 0);
  EXPECT_EQ(gpioText(".", 91, "direction"), "in");
  EXPECT_EQ(setPinInEn(12), -1);
}

// After a restart the lines are still exported and the kernel refuses a second export: that is
// no failure.
TEST_F(Gpio, LineAlreadyExportedIsNoError) {
  ASSERT_TRUE(layOutGpio(".", {88}));
  ASSERT_EQ(::unlink("host/sys/class/gpio/export"), 0);
  ASSERT_EQ(::mkdir("host/sys/class/gpio/export", 0755), 0);  // cannot be opened for writing
  EXPECT_EQ(setPinOutEn(88, 1), 0);
  EXPECT_EQ(setPinInEn(88), 0);
  EXPECT_EQ(gpioLevel(".", 88), 1);
}

TEST_F(Gpio, ExportWritesTheLineNumber) {
  ASSERT_TRUE(layOutGpio(".", {}));
  EXPECT_EQ(setPinOutEn(123, 1), -1);  // the stand-in kernel makes no line
  EXPECT_EQ(readFile("host/sys/class/gpio/export"), "123");
}

TEST_F(Gpio, LevelsAsThePolledFileShowsThem) {
  const struct {
    std::string content;
    int want;
  } rows[] = {{std::string("1\0", 2), 1}, {"0\n", 0}, {"", -1}, {"x", -1}};
  for (const auto& r : rows) {
    ASSERT_TRUE(standin::writeStandIn(standin::gpioPath(".", 20, "value"), r.content));
    const int fd = gpio_pinVal_getFD(20);
    ASSERT_GT(fd, 0);
    EXPECT_EQ(gpio_value_getByFD(fd), r.want) << "[" << r.content << "]";
    ::close(fd);
  }
  EXPECT_FALSE(gpio_value_set(21, 1));
  ASSERT_TRUE(layOutGpio(".", {21}));
  EXPECT_TRUE(gpio_value_set(21, 2));
  EXPECT_EQ(gpioLevel(".", 21), 1);
  EXPECT_TRUE(gpio_value_set(21, 0));
  EXPECT_EQ(gpioLevel(".", 21), 0);
}

TEST_F(Gpio, PolledDescriptorReadsFromTheStartEachTime) {
  EXPECT_EQ(gpio_value_getByFD(0), -1);
  EXPECT_EQ(gpio_value_getByFD(-1), -1);
  EXPECT_EQ(gpio_pinVal_getFD(33), -1);
  ASSERT_TRUE(layOutGpio(".", {33}, "in", "1"));
  const int fd = gpio_pinVal_getFD(33);
  ASSERT_GT(fd, 0);
  EXPECT_EQ(gpio_value_getByFD(fd), 1);
  EXPECT_EQ(gpio_value_getByFD(fd), 1);
  ASSERT_TRUE(gpio_value_set(33, 0));
  EXPECT_EQ(gpio_value_getByFD(fd), 0);
  ::close(fd);
}

// What was reported lives as long as the program: the test starts in a process of its own.
TEST_F(Gpio, OneDiagnosticPerLineAndKind) {
  testproc::inOwnProcess([] {
    ::testing::internal::CaptureStderr();
    for (int i = 0; i < 3; ++i) {
      setPinOutEn(7, 1);
      gpio_value_set(7, 1);
      gpio_pinVal_getFD(7);
      gpio_pinVal_getFD(8);
    }
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "[i]setPinOutEn(): ERROR: open for export\n"
              "[i]gpio_value_set(EXIT): ERROR: open host/sys/class/gpio/gpio7/value\n"
              "[i]gpio_value_get(EXIT): ERROR: open host/sys/class/gpio/gpio7/value\n"
              "[i]gpio_value_get(EXIT): ERROR: open host/sys/class/gpio/gpio8/value\n");
  });
}

TEST_F(Gpio, PortsCAndDSelectRs232) {
  ASSERT_TRUE(layOutGpio(".", {88, 86, 87, 83, 82, 4, 5}, "in", "0"));
  ASSERT_TRUE(rsSetPortType(2, true));
  ASSERT_TRUE(rsSetPortType(3, true));
  rsInitCDPorts();
  const struct {
    int line, level;
  } rows[] = {{88, 1}, {86, 0}, {87, 0}, {83, 0}, {82, 0}, {4, 1}, {5, 1}};
  for (const auto& r : rows) {
    EXPECT_EQ(gpioLevel(".", r.line), r.level) << r.line;
    EXPECT_EQ(gpioText(".", r.line, "direction"), "out") << r.line;
  }
}

}  // namespace
