// The board readings pass on stand-in IIO and thermal files under host/ and the tests' own power
// controller: volts from raw counts (3.3 V over 4096 counts, times the divider), the CPU
// temperature on pass after pass, the input voltage and its checksum, the five-second gate across
// the wrap of the microsecond count (an injected clock), and the valid flag.
#include <gtest/gtest.h>

#include <deque>
#include <string>

#include "platform/mcu_link.h"
#include "platform/misc_par.h"
#include "platform/perif_readings.h"
#include "unit/platform/mcu_stand_in.h"
#include "unit/own_process.h"
#include "unit/platform/temp_run_dir.h"

namespace {

class StandInIo : public McuIo {
 public:
  int write(const std::uint8_t* d, int n, int) override {
    if (n == 4) {
      const std::string a = ctl.answer(standin::McuFrame{d[0], d[1], d[2], d[3]});
      in.insert(in.end(), a.begin(), a.end());
    }
    return n;
  }
  int read(std::uint8_t* buf, int n, int) override {
    int k = 0;
    for (; k < n && !in.empty(); ++k) {
      buf[k] = in.front();
      in.pop_front();
    }
    return k;
  }
  bool setRunState(unsigned) override { return true; }
  void sleep(int) override {}
  standin::McuStandIn ctl;
  std::deque<std::uint8_t> in;
};

std::uint32_t g_now = 0;
std::uint32_t fakeClock() { return g_now; }

constexpr float kUntouched = -99.0f;
const int kWritten[] = {11, 27, 31, 92, 15, 21};

// The readings keep their temperature file open and say each failure once for the life of the
// program: every test runs in a process of its own.
class Readings : public TempRunDir {
 protected:
  void SetUp() override {
    TempRunDir::SetUp();
    for (int i : kWritten) miscPar[i].store(kUntouched);
    g_now = 1000;
  }
  static void adc(int channel, const std::string& text) {
    writeFile("host/sys/bus/iio/devices/iio:device0/in_voltage" + std::to_string(channel) + "_raw", text);
  }
  static void temp(const std::string& text) { writeFile("host/sys/class/thermal/thermal_zone0/temp", text); }
  // The next pass, five seconds on.
  bool pass() {
    g_now += 5000000;
    return reader.pass();
  }
  StandInIo io;
  MCU_c8051f330 mcu{io};
  PerifReader reader{mcu, fakeClock};
};

// Volts the way the board's documents give them: counts x 3.3 / 4096 x the divider.
double volts(int raw, double divider) { return raw * 3.3 / 4096.0 * divider; }

TEST_F(Readings, AdcChannelsGiveVolts) {
  testproc::inOwnProcess([&] {
    const struct {
      int raw[3];
    } rows[] = {{{4096, 4096, 4096}}, {{0, 1, 2}}, {{2482, 2234, 1117}}, {{1241, 4095, 2048}}};
    temp("40000\n");
    for (const auto& r : rows) {
      for (int c = 0; c < 3; ++c) adc(c, std::to_string(r.raw[c]) + "\n");
      ASSERT_TRUE(pass());
      EXPECT_FLOAT_EQ(miscPar[11].load(), static_cast<float>(volts(r.raw[0], 2.0))) << r.raw[0];
      EXPECT_FLOAT_EQ(miscPar[27].load(), static_cast<float>(volts(r.raw[1], 1.0))) << r.raw[1];
      EXPECT_FLOAT_EQ(miscPar[31].load(), static_cast<float>(volts(r.raw[2], 1.0))) << r.raw[2];
    }
    adc(0, "4096\n");
    ASSERT_TRUE(pass());
    EXPECT_FLOAT_EQ(miscPar[11].load(), 6.6f);
  });
}

TEST_F(Readings, RawValueFiles) {
  testproc::inOwnProcess([&] {
    const struct {
      const char* content;  // null: no file
      int want;
    } rows[] = {{"1234\n", 1234}, {"0", 0}, {" 17\n", 17}, {"", -2}, {"abc\n", -2}, {nullptr, -1}};
    for (const auto& r : rows) {
      std::remove("host/sys/bus/iio/devices/iio:device0/in_voltage5_raw");
      if (r.content) adc(5, r.content);
      EXPECT_EQ(getADCValSys(0, 5), r.want) << (r.content ? r.content : "(none)");
    }
    EXPECT_EQ(getADCValSys(3, 0), -1);
  });
}

TEST_F(Readings, MissingIioFileEndsThePassAfterTheTemperature) {
  testproc::inOwnProcess([&] {
    temp("51250\n");
    ASSERT_TRUE(pass());
    EXPECT_FLOAT_EQ(miscPar[92].load(), 51.25f);
    for (int i : {11, 27, 31, 15, 21}) EXPECT_EQ(miscPar[i].load(), kUntouched) << i;
    EXPECT_TRUE(io.ctl.frames.empty());  // the controller is not asked
  });
}

TEST_F(Readings, MissingSecondChannelKeepsTheFirst) {
  testproc::inOwnProcess([&] {
    temp("51250\n");
    adc(0, "2048\n");
    adc(2, "2048\n");
    ASSERT_TRUE(pass());
    EXPECT_FLOAT_EQ(miscPar[11].load(), 3.3f);
    EXPECT_EQ(miscPar[27].load(), kUntouched);
    EXPECT_EQ(miscPar[31].load(), kUntouched);
    EXPECT_TRUE(io.ctl.frames.empty());
  });
}

// The temperature file stays open between passes; each pass reads it from its start.
TEST_F(Readings, TemperatureOnPassAfterPass) {
  testproc::inOwnProcess([&] {
    temp("45678\n");
    for (int i = 0; i < 3; ++i) {
      ASSERT_TRUE(pass());
      EXPECT_FLOAT_EQ(miscPar[92].load(), 45.678f) << "pass " << i;
    }
    temp("-5000\n");  // the kernel gives a new reading in the same file
    ASSERT_TRUE(pass());
    EXPECT_FLOAT_EQ(miscPar[92].load(), -5.0f);
  });
}

TEST_F(Readings, TemperatureFailures) {
  testproc::inOwnProcess([&] {
    const struct {
      const char* content;  // null: no file
      bool ok;
      int value;
    } rows[] = {{"45678\n", true, 45678},  {"", false, 0},           {"12345678901\n", false, 0},
                {"1234567890", true, 1234567890}, {nullptr, false, 0}, {"0\n", true, 0}};
    for (const auto& r : rows) {
      std::remove("host/sys/class/thermal/thermal_zone0/temp");
      if (r.content) temp(r.content);
      int v = -1;
      EXPECT_EQ(getThermoCpu(v), r.ok) << (r.content ? r.content : "(none)");
      EXPECT_EQ(v, r.value) << (r.content ? r.content : "(none)");
      // A failed read closes the file, so the next row's file is opened afresh; a good one keeps
      // it open: start the next row from a closed file as well.
      if (r.ok) {
        temp("");
        getThermoCpu(v);
      }
    }
    // A pass without the thermal zone stores 0.
    miscPar[92].store(33.0f);
    std::remove("host/sys/class/thermal/thermal_zone0/temp");
    ASSERT_TRUE(pass());
    EXPECT_EQ(miscPar[92].load(), 0.0f);
  });
}

TEST_F(Readings, InputVoltageFromTheController) {
  testproc::inOwnProcess([&] {
    temp("40000\n");
    for (int c = 0; c < 3; ++c) adc(c, "100\n");
    const struct {
      const char* name;
      std::uint16_t raw;
      bool wrongSum, silent;
      double want;  // volts in 15 and 21 after the pass
    } rows[] = {
        {"743 counts", 743, false, false, 12.00374},
        {"wrong sum: previous kept", 800, true, false, 12.00374},
        {"silent: previous kept", 900, false, true, 12.00374},
        {"1000 counts", 1000, false, false, 16.155774},
        {"0 counts", 0, false, false, 0.0},
        {"65535 counts", 65535, false, false, 1058.7686},
    };
    for (const auto& r : rows) {
      io.ctl.inputRaw = r.raw;
      io.ctl.wrongSum = r.wrongSum;
      io.ctl.silent = r.silent;
      ASSERT_TRUE(pass()) << r.name;
      EXPECT_NEAR(miscPar[15].load(), r.want, r.want * 1e-6 + 1e-6) << r.name;
      EXPECT_NEAR(miscPar[21].load(), r.want, r.want * 1e-6 + 1e-6) << r.name;
      const standin::McuFrame f = io.ctl.frames.back();
      EXPECT_EQ(f[1], 10) << r.name;
      EXPECT_EQ(f[2], 1) << r.name;
      EXPECT_EQ(f[3], 0) << r.name;
    }
  });
}

TEST_F(Readings, GateOfFourAndAHalfSecondsAcrossTheWrap) {
  testproc::inOwnProcess([&] {
    temp("40000\n");
    const struct {
      std::uint32_t first, next;
      bool ranAgain;
    } rows[] = {
        {1000, 1000 + 4500000, false},
        {1000, 1000 + 4500001, true},
        {1000, 1000 + 100, false},
        {0xFFF00000u, 0xFFF00000u + 4500001u, true},   // across the wrap: 3451425
        {0xFFF00000u, 0xFFF00000u + 4000000u, false},  // across the wrap: 2951424
        {0xFFFFFFFFu, 4499999u, false},
        {0xFFFFFFFFu, 4500000u, true},
        {4000000u, 0xFFFFFFF0u, true},  // a long way on
    };
    for (const auto& r : rows) {
      PerifReader rd(mcu, fakeClock);
      g_now = r.first;
      EXPECT_TRUE(rd.pass()) << "the first pass always runs";
      g_now = r.next;
      EXPECT_EQ(rd.pass(), r.ranAgain) << r.first << " -> " << r.next;
    }
  });
}

}  // namespace
