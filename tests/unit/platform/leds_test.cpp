// The status LEDs seen on their GPIO stand-in files: the four actions over every colour, what is
// written when, the debug hold, forced refreshes, the satellite and position patterns, the fine
// flash, and tasks changing different LEDs at once. Each test starts from the program's own start:
// it runs in a process of its own (the LEDs are one state for the whole program).
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "platform/leds.h"
#include "unit/own_process.h"
#include "unit/platform/gpio_stand_in.h"
#include "unit/platform/temp_run_dir.h"

namespace {

using standin::gpioLevel;
using testproc::inOwnProcess;

constexpr int kLines[] = {kLedPosGreenLine, kLedPosRedLine, kLedRecGreenLine, kLedRecRedLine};

class Led : public TempRunDir {
 protected:
  void SetUp() override {
    TempRunDir::SetUp();
    ASSERT_TRUE(standin::layOutGpio(".", {kLedPosGreenLine, kLedPosRedLine, kLedRecGreenLine, kLedRecRedLine}));
  }
};

// The colour a LED shows on its lines (-1 bits count as dark).
int shown(int green, int red) { return (gpioLevel(".", green) == 1 ? 1 : 0) | (gpioLevel(".", red) == 1 ? 2 : 0); }
int posShown() { return shown(kLedPosGreenLine, kLedPosRedLine); }
int recShown() { return shown(kLedRecGreenLine, kLedRecRedLine); }

// Someone else writes every line: what the next pass of the LED task does not rewrite keeps it.
void scribble() {
  for (int line : kLines) standin::writeStandIn(standin::gpioPath(".", line, "value"), "x\n");
}
bool scribbled(int line) { return standin::gpioText(".", line, "value") == "x"; }

// What the LED state holds, written out by a forced refresh of every line.
void refreshAll() {
  scribble();
  forceAllLeds = 1;
  ledProc();
}

TEST_F(Led, ActionsOverEveryColour) {
  inOwnProcess([] {
    // Starting with the position LED green and the recording LED red; the action goes to the
    // position LED only.
    const struct {
      int action, color, expect;
    } rows[] = {
        {0, 0, 0}, {0, 1, 1},  {0, 2, 2}, {0, 3, 3},  // exactly the colour
        {1, 0, 1}, {1, 1, 1},  {1, 2, 3}, {1, 3, 3},  // lines on, others kept
        {2, 0, 1}, {2, 1, 0},  {2, 2, 1}, {2, 3, 0},  // lines off, others kept
        {3, 0, 1}, {3, 1, 0},  {3, 2, 3}, {3, 3, 2},  // lines flipped
        {4, 0, 1}, {4, 1, 1},  {4, 2, 1}, {4, 3, 1},  // not an action
        {7, 3, 1}, {-1, 3, 1},
    };
    for (const auto& r : rows) {
      leds(kLedPos, kLedGreen, kLedShow);
      leds(kLedRec, kLedRed, kLedShow);
      leds(kLedPos, r.color, r.action);
      EXPECT_EQ(posShown(), r.expect) << "action " << r.action << " colour " << r.color;
      EXPECT_EQ(recShown(), kLedRed) << "action " << r.action << " colour " << r.color;
      // The state the LEDs keep says the same as the lines: a refresh of every line writes it.
      refreshAll();
      EXPECT_EQ(posShown(), r.expect) << r.action << r.color;
      EXPECT_EQ(recShown(), kLedRed) << r.action << r.color;
    }
  });
}

TEST_F(Led, FirstCallExportsAllFourLinesAsOutputs) {
  inOwnProcess([] {
    leds(kLedRec, kLedGreen, kLedOn);
    for (int line : kLines) EXPECT_EQ(standin::gpioText(".", line, "direction"), "out") << line;
    EXPECT_EQ(posShown(), kLedOff);
    EXPECT_EQ(recShown(), kLedGreen);
  });
}

TEST_F(Led, WrittenAtOnceUntilTheTaskRunsThenByTheTask) {
  inOwnProcess([] {
    leds(kLedPos, kLedRed, kLedShow);
    EXPECT_EQ(posShown(), kLedRed);
    // Written already: the task's next pass has nothing left to write.
    scribble();
    ledProc();
    for (int line : kLines) EXPECT_TRUE(scribbled(line)) << line;
    forceAllLeds = 1;
    ledProc();

    ledProcInited = true;
    leds(kLedBoth, kLedGreen, kLedShow);
    EXPECT_EQ(posShown(), kLedRed);  // left to the task
    // The task writes exactly the lines that changed: both green lines and the position's red.
    standin::writeStandIn(standin::gpioPath(".", kLedRecRedLine, "value"), "x\n");
    ledProc();
    EXPECT_EQ(posShown(), kLedGreen);
    EXPECT_EQ(gpioLevel(".", kLedRecGreenLine), 1);
    EXPECT_TRUE(scribbled(kLedRecRedLine)) << "unchanged, so not written";
    // Nothing flagged any more.
    scribble();
    ledProc();
    for (int line : kLines) EXPECT_TRUE(scribbled(line)) << line;

    // The same call again changes nothing and flags nothing.
    leds(kLedBoth, kLedGreen, kLedShow);
    ledProc();
    for (int line : kLines) EXPECT_TRUE(scribbled(line)) << line;
  });
}

TEST_F(Led, DebugSelectorHoldsTheLines) {
  inOwnProcess([] {
    ledProcInited = true;
    leds(kLedPos, kLedRedGreen, kLedShow);
    ledTaskPass(kDbgLedsHold);
    EXPECT_EQ(posShown(), kLedOff);
    ledTaskPass(kDbgLedsHold + 1);
    EXPECT_EQ(posShown(), kLedRedGreen);
  });
}

TEST_F(Led, ForcedRefreshRewritesAllLinesAndCountsDown) {
  inOwnProcess([] {
    leds(kLedBoth, kLedGreen, kLedShow);
    // Someone else drove the lines.
    for (int line : {kLedPosGreenLine, kLedPosRedLine, kLedRecGreenLine, kLedRecRedLine})
      standin::writeStandIn(standin::gpioPath(".", line, "value"), "1\n");
    ledProc();
    EXPECT_EQ(posShown(), kLedRedGreen);  // nothing pending, nothing forced: left as it is
    forceAllLeds = 2;
    ledProc();
    EXPECT_EQ(posShown(), kLedGreen);
    EXPECT_EQ(recShown(), kLedGreen);
    EXPECT_EQ(forceAllLeds.load(), 1);
    forceAllLeds = -1;
    ledProc();
    EXPECT_EQ(forceAllLeds.load(), -1);
  });
}

TEST_F(Led, TasksDrivingDifferentLedsEndWithLinesEqualToTheMasks) {
  inOwnProcess([] {
    ledProcInited = true;
    std::atomic<bool> stop{false};
    std::thread writer([&] {
      while (!stop.load()) ledProc();
    });
    std::thread a([] {
      for (int i = 0; i < 3001; ++i) leds(kLedPos, i % 4, kLedShow);
    });
    std::thread b([] {
      for (int i = 0; i < 2002; ++i) leds(kLedRec, kLedRedGreen, kLedToggle);
    });
    a.join();
    b.join();
    stop = true;
    writer.join();
    ledProc();
    EXPECT_EQ(posShown(), 3000 % 4);
    EXPECT_EQ(recShown(), kLedOff);  // an even number of flips
    // The state kept says the same as the lines.
    refreshAll();
    EXPECT_EQ(posShown(), 3000 % 4);
    EXPECT_EQ(recShown(), kLedOff);
  });
}

TEST(SatLedColour, SatellitesBeyondOneClockPerSystem) {
  const struct {
    int n, m, color;
  } rows[] = {
      {7, 3, kLedRedGreen}, {6, 3, kLedRed}, {10, 3, kLedGreen}, {0, 0, kLedOff}, {2, 3, kLedOff},
      {3, 3, kLedRed},      {1, 1, kLedRed}, {4, 1, kLedRed},    {5, 1, kLedRedGreen}, {7, 1, kLedRedGreen},
      {8, 1, kLedGreen},    {11, 3, kLedGreen},
  };
  for (const auto& r : rows) EXPECT_EQ(satLedColor(r.n, r.m), r.color) << r.n << "," << r.m;
}

TEST_F(Led, PositionColourPerModeAndSolutionType) {
  const struct {
    bool valid;
    int solType, mode, color;
  } rows[] = {
      {false, 5, 0, kLedRed},     {true, 0, 0, kLedGreen},    {true, 0, -1, kLedGreen},
      {true, 1, 1, kLedRedGreen}, {true, 2, 1, kLedGreen},    {true, 1, 3, kLedRedGreen},
      {true, 2, 3, kLedGreen},    {true, 2, 4, kLedRedGreen}, {true, 3, 4, kLedGreen},
      {true, 3, 5, kLedRedGreen}, {true, 4, 5, kLedGreen},    {true, 9, 6, kLedOff},
      {true, 9, 7, kLedOff},      {false, 9, 7, kLedRed},
  };
  inOwnProcess([&] {
    SatLed::set(10, 2);  // a satellite colour, so 400-799 ms show the position colour
    for (const auto& r : rows) {
      PosLed::set(r.valid, r.solType, r.mode);
      PosLed::process(100500);
      EXPECT_EQ(posShown(), r.color) << r.valid << " " << r.solType << " " << r.mode;
    }
  });
}

TEST_F(Led, PatternOverTwoSeconds) {
  const struct {
    int satN, satM;  // -1: no satellite colour given
    bool valid;
    int mode;
    int expect[20];  // colour at 0, 100, ... 1900 ms
  } rows[] = {
      // satellites red, position green: 0-399 red, 400-799 green, 800-999 dark
      {6, 3, true, 0, {2, 2, 2, 2, 1, 1, 1, 1, 0, 0, 2, 2, 2, 2, 1, 1, 1, 1, 0, 0}},
      // no satellites and no position: a 100 ms red flash each second
      {0, 0, false, 0, {2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      // no satellites, position off (mode 6): the same flash
      {0, 0, true, 6, {2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      // no satellite colour yet: the position colour throughout the lit part
      {-1, 0, true, 1, {3, 3, 3, 3, 3, 3, 3, 3, 0, 0, 3, 3, 3, 3, 3, 3, 3, 3, 0, 0}},
      // satellites green, no position: green then red
      {10, 3, false, 0, {1, 1, 1, 1, 2, 2, 2, 2, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 0, 0}},
  };
  // Each row from the program's start.
  for (const auto& r : rows) {
    inOwnProcess([&] {
      if (r.satN >= 0) SatLed::set(r.satN, r.satM);
      PosLed::set(r.valid, r.mode == 1 ? 1 : 0, r.mode);
      for (int i = 0; i < 20; ++i) {
        PosLed::process(3000 + i * 100);
        EXPECT_EQ(posShown(), r.expect[i]) << "row sat " << r.satN << " mode " << r.mode << " at " << i * 100;
      }
    });
  }
}

TEST_F(Led, DisabledPatternWritesNothingAndRepaintsWhenEnabled) {
  inOwnProcess([] {
    SatLed::set(6, 3);
    PosLed::set(true, 0, 0);
    PosLed::process(0);
    EXPECT_EQ(posShown(), kLedRed);
    PosLed::enable(false);
    SatLed::enable(false);
    SatLed::set(10, 3);  // ignored while disabled
    leds(kLedPos, kLedGreen, kLedShow);
    PosLed::process(100);
    EXPECT_EQ(posShown(), kLedGreen);
    PosLed::enable(true);
    SatLed::enable(true);
    PosLed::process(200);
    EXPECT_EQ(posShown(), kLedRed);  // the same colour as before, written again
  });
}

TEST_F(Led, FineFlashShowsFourCyclesThenTheNormalPattern) {
  inOwnProcess([] {
    SatLed::set(6, 3);
    PosLed::set(true, 0, 0);
    PosLed::process(0);
    PosLed::setFineSeconds(2, kLedRedGreen);
    PosLed::set(false, 0, 0);  // ignored during the flash
    const int expect[] = {3, 0, 0, 0, 0, 3, 0, 0, 0, 0, 3, 0, 0, 0, 0, 3, 1, 1, 0, 0, 2, 2, 2, 2, 1};
    for (int i = 0; i < 25; ++i) {
      PosLed::process(5000 + i * 100);
      EXPECT_EQ(posShown(), expect[i]) << "at " << i * 100;
    }
    EXPECT_FALSE(PosLed::fineRunning());

    // One epoch a second (every call at a whole second, as at 1, 2 and 4 epochs a second): each
    // call after the first is two cycles on; the flash ends and the pattern comes back.
    PosLed::setFineSeconds(2, kLedRedGreen);
    const int slow[] = {3, 3, 3, 2};
    for (int i = 0; i < 4; ++i) {
      PosLed::process(10000 + i * 1000);
      EXPECT_EQ(posShown(), slow[i]) << "at " << i << " s";
    }
    EXPECT_FALSE(PosLed::fineRunning());

    // Stopping: colour 0 seconds ends it at once.
    PosLed::setFineSeconds(3, kLedRedGreen);
    PosLed::process(8000);
    EXPECT_EQ(posShown(), kLedRedGreen);
    PosLed::setFineSeconds(0, kLedGreen);
    PosLed::process(8100);
    EXPECT_EQ(posShown(), kLedRed);
  });
}

}  // namespace
