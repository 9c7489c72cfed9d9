// The power controller and the GPIO lines with the real program: the tests' own controller on a
// pseudo-terminal linked as the controller's device, and GPIO stand-in files under host/. What the
// controller receives first, the version and command keys, and the lines the start-up drives.
#include <string>

#include "e2e/harness.h"
#include "unit/platform/gpio_stand_in.h"
#include "unit/platform/mcu_stand_in.h"

namespace e2e {
namespace {

using PowerMcu = Rx;
using standin::McuFrame;
using standin::McuStandIn;

bool refusedWith(const std::string& reply, int code) {
  return reply.rfind("ER", 0) == 0 && reply.find("{" + std::to_string(code) + ",") != std::string::npos;
}

// A frame carrying cmd, par1, par2 among those from `from` on.
bool gotFrame(standin::PtyMcu& mcu, std::size_t from, int cmd, int par1, int par2) {
  const std::vector<McuFrame> f = mcu.frames();
  for (std::size_t i = from; i < f.size(); ++i) {
    if (f[i][1] == cmd && f[i][2] == par1 && f[i][3] == par2) return true;
  }
  return false;
}

TEST_F(PowerMcu, StartUpFrameKeysAndLines) {
  // Every line the start-up drives, each laid out at the other level first.
  ASSERT_TRUE(standin::layOutGpio(dir_.path, {91, 88, 83, 82, 4, 5}, "in", "0"));
  ASSERT_TRUE(standin::layOutGpio(dir_.path, {86, 87, 150, 151}, "in", "1"));
  // The LED lines, and the buttons released.
  ASSERT_TRUE(standin::layOutGpio(dir_.path, {137, 136, 130, 131}, "in", "1"));
  ASSERT_TRUE(standin::layOutGpio(dir_.path, {32, 119}, "in", "1"));
  // The ADC channels and the thermal zone: with them the readings go on to the controller.
  for (int c = 0; c < 3; ++c) ASSERT_TRUE(dir_.write("host/sys/bus/iio/devices/iio:device0/in_voltage" + std::to_string(c) + "_raw", "2048\n"));
  ASSERT_TRUE(dir_.write("host/sys/class/thermal/thermal_zone0/temp", "45678\n"));
  standin::PtyMcu mcu(dir_.file("host/dev/vorla/prt/5"));
  ASSERT_TRUE(mcu.ok());
  mcu.with([](McuStandIn& c) { return c.version = 0x0A17; });
  ASSERT_NO_FATAL_FAILURE(startSim());
  ASSERT_NO_FATAL_FAILURE(start());

  // The start-up exchange: the first frame, then the version query.
  ASSERT_TRUE(waitUntil([&] { return mcu.frames().size() >= 2; }));
  EXPECT_EQ(mcu.frames()[0], (McuFrame{0x65, 0x0A, 0x03, 0x02}));
  EXPECT_EQ(ask("print,/par/mcu/pwr/ver/main"), re("0xA17"));
  EXPECT_EQ(ask("print,/par/mcu/pwr/ver"), re("{main=0xA17}"));

  // A mode-4 word: command 12 with 7 and 9, an answer of 4 bytes.
  std::size_t mark = mcu.frames().size();
  const std::uint32_t word = (4u << 28) | (12u << 16) | (7u << 8) | 9u;
  EXPECT_EQ(ask("%c%set,/par/mcu/pwr/cmd," + std::to_string(word)), re("%c%"));
  EXPECT_TRUE(gotFrame(mcu, mark, 12, 7, 9));
  // Mode 0 sends and takes whatever comes back.
  mark = mcu.frames().size();
  EXPECT_EQ(ask("%d%set,/par/mcu/pwr/cmd," + std::to_string((13u << 16) | (1u << 8) | 2u)), re("%d%"));
  EXPECT_TRUE(gotFrame(mcu, mark, 13, 1, 2));

  // A silent controller: the word that expects an answer is refused as not available.
  mcu.with([](McuStandIn& c) { return c.silent = true; });
  EXPECT_TRUE(refusedWith(ask("set,/par/mcu/pwr/cmd," + std::to_string(word)), 21));
  mcu.with([](McuStandIn& c) { return c.silent = false; });

  const struct {
    const char* line;
    int code;
  } refused[] = {
      {"print,/par/mcu/x", 3},          {"print,/par/mcu/pwr/cmd", 3},        {"set,/par/mcu/pwr/ver/main,1", 3},
      {"set,/par/mcu/pwr/cmd,-1", 5},   {"set,/par/mcu/pwr/cmd,2147483648", 5}, {"set,/par/mcu/pwr/cmd", 6},
      {"set,/par/mcu/pwr/cmd,abc", 7},  {"set,/par/mcu/x,1", 3},
  };
  for (const auto& r : refused) {
    const std::string got = ask(r.line);
    EXPECT_TRUE(refusedWith(got, r.code)) << r.line << ": " << got;
  }

  // The lines: 88 (transceivers on) and 91 (readings running) high, ports C and D on RS-232.
  const struct {
    int line, level;
  } lines[] = {{91, 1}, {88, 1}, {86, 0}, {87, 0}, {83, 0}, {82, 0}, {4, 1}, {5, 1}, {150, 0}, {151, 0}};
  for (const auto& l : lines) {
    EXPECT_TRUE(waitUntil([&] { return standin::gpioLevel(dir_.path, l.line) == l.level; })) << l.line;
    EXPECT_EQ(standin::gpioText(dir_.path, l.line, "direction"), "out") << l.line;
  }

  // The input-voltage reading of the readings task, command 10 with 1 and 0.
  EXPECT_TRUE(waitUntil([&] { return gotFrame(mcu, 0, 10, 1, 0); }));
  EXPECT_EQ(mcu.with([](McuStandIn& c) { return c.badFrames; }), 0);
  stop();
  EXPECT_EQ(out_.find("[i]"), std::string::npos) << out_;
  EXPECT_EQ(out_.find("$$initAdc"), std::string::npos) << out_;
}

// Without the controller's device and the GPIO files the program runs; each missing line is
// reported once, and the version is not available.
TEST_F(PowerMcu, AbsentHardwareReadsAsAbsent) {
  ASSERT_NO_FATAL_FAILURE(startSim());
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_TRUE(refusedWith(ask("print,/par/mcu/pwr/ver/main"), 21));
  EXPECT_TRUE(refusedWith(ask("set,/par/mcu/pwr/cmd,1"), 21));
  EXPECT_TRUE(rx_->waitOut("$$initAdc(EXIT) ERROR setPinOutEn() pin= 91\n"));
  EXPECT_EQ(ask("%r%print,/par/rcv/ver").rfind("RE", 0), 0u);
  stop();
  // Line 88 is driven twice at start (low, then high): one report.
  std::size_t n = 0;
  for (std::size_t at = 0; (at = out_.find("ERROR: open for export", at)) != std::string::npos; ++at) ++n;
  EXPECT_EQ(n, 16u) << out_;  // 88, 86, 87, 83, 82, 4, 5, 91, the LEDs' 137, 136, 130, 131, the buttons' 32, 119
                              // and the CAN transceivers' 150, 151
}

}  // namespace
}  // namespace e2e
