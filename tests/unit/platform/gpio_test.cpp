// GPIO lines on stand-in sysfs files under host/: export, direction and level, the polled value
// descriptor, one diagnostic per line, and the RS-232/RS-422 selection of ports C and D.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "platform/debug.h"
#include "platform/gpio.h"
#include "platform/gpio_port_select.h"
#include "platform/ports/serial_driver.h"
#include "unit/platform/gpio_stand_in.h"
#include "unit/platform/temp_run_dir.h"

namespace {

// Each test starts with no failure reported yet.
class Gpio : public TempRunDir {
 protected:
  void SetUp() override {
    TempRunDir::SetUp();
    gpioForgetReports();
  }
};
using standin::gpioLevel;
using standin::gpioText;
using standin::layOutGpio;

std::string g_said;
void catchDebug(const char* text, int len) { g_said.append(text, static_cast<std::size_t>(len)); }

TEST_F(Gpio, InitWorksOnBankThreePinFive) {
  ASSERT_TRUE(layOutGpio(".", {101}));
  EXPECT_EQ(gpio_init(3, 5, 1), 101);
  EXPECT_EQ(gpioText(".", 101, "direction"), "out");
  EXPECT_EQ(gpio_direction_get(101), 1);
  // Back to an input.
  EXPECT_EQ(gpio_init(3, 5, 0), 101);
  EXPECT_EQ(gpioText(".", 101, "direction"), "in");
  EXPECT_EQ(gpio_direction_get(101), 0);
}

TEST_F(Gpio, InitRefusesWhatCannotBeExportedOrTurned) {
  // No export file and no line.
  EXPECT_EQ(gpio_init(0, 7, 1), -1);
  // Export file but the kernel made no line (absent hardware).
  ASSERT_TRUE(layOutGpio(".", {}));
  EXPECT_EQ(gpio_init(0, 7, 1), -1);
  // The export file is not needed for a line already exported.
  ASSERT_TRUE(standin::writeStandIn(standin::gpioPath(".", 40, "direction"), "out\n"));
  EXPECT_EQ(gpio_init(1, 8, 1), 40);
}

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
    EXPECT_EQ(gpio_value_get(r.line), r.value) << r.line;
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
  EXPECT_EQ(gpio_init(2, 24, 1), 88);
  EXPECT_EQ(gpioLevel(".", 88), 1);
}

TEST_F(Gpio, ExportWritesTheLineNumber) {
  ASSERT_TRUE(layOutGpio(".", {}));
  EXPECT_EQ(setPinOutEn(123, 1), -1);  // the stand-in kernel makes no line
  EXPECT_EQ(readFile("host/sys/class/gpio/export"), "123");
}

TEST_F(Gpio, LevelsAndDirectionsAsTheFilesShowThem) {
  const struct {
    const char* leaf;
    std::string content;
    int want;
  } rows[] = {
      {"value", std::string("1\0", 2), 1}, {"value", "0\n", 0}, {"value", "", -1},    {"value", "x", -1},
      {"direction", "out\n", 1},           {"direction", std::string("in\0", 3), 0}, {"direction", "high\n", -1},
      {"direction", "", -1},
  };
  for (const auto& r : rows) {
    ASSERT_TRUE(standin::writeStandIn(standin::gpioPath(".", 20, r.leaf), r.content));
    const int got = std::string(r.leaf) == "value" ? gpio_value_get(20) : gpio_direction_get(20);
    EXPECT_EQ(got, r.want) << r.leaf << " [" << r.content << "]";
  }
  EXPECT_EQ(gpio_value_get(21), -1);
  EXPECT_EQ(gpio_direction_get(21), -1);
  EXPECT_FALSE(gpio_value_set(21, 1));
  EXPECT_EQ(gpio_direction_set(21, 1), -1);
  ASSERT_TRUE(layOutGpio(".", {21}));
  EXPECT_TRUE(gpio_value_set(21, 2));
  EXPECT_EQ(gpio_value_get(21), 1);
  EXPECT_TRUE(gpio_value_set(21, 0));
  EXPECT_EQ(gpio_value_get(21), 0);
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

TEST_F(Gpio, OneDiagnosticPerLineAndKind) {
  g_said.clear();
  debSetSink(catchDebug);
  for (int i = 0; i < 3; ++i) {
    setPinOutEn(7, 1);
    gpio_value_get(7);
    gpio_value_get(8);
  }
  debSetSink(nullptr);
  EXPECT_EQ(g_said,
            "[i]setPinOutEn(): ERROR: open for export\n"
            "[i]gpio_value_get(EXIT): ERROR: open host/sys/class/gpio/gpio7/value\n"
            "[i]gpio_value_get(EXIT): ERROR: open host/sys/class/gpio/gpio8/value\n");
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
  EXPECT_FALSE(rsIsRs422(2));
  EXPECT_FALSE(rsIsRs422(3));
}

}  // namespace
