// The power and file buttons fed poll by poll from GPIO stand-in lines: debounce, what each hold
// shows on the LEDs and asks for on release, the pending requests carried out, the power-up hold,
// the button/ keys through the command parser and across a restart, and presses racing the
// epoch's take of the pending requests.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "command/settings_commands.h"
#include "files/log_files.h"
#include "gnss_link/peripherals/button_keys.h"
#include "gnss_link/peripherals/buttons.h"
#include "output/msg_sched.h"
#include "platform/file_nvm.h"
#include "platform/leds.h"
#include "platform/nv_block.h"
#include "platform/nv_pended_clear.h"
#include "platform/ports/in_port.h"
#include "platform/ports/io_port_index.h"
#include "platform/ports/serial_driver.h"
#include "platform/shutdown.h"
#include "settings/port_settings.h"
#include "settings/nv_settings.h"
#include "settings/rcv_settings.h"
#include "unit/command/capture_port.h"
#include "unit/gnss_link/native_test_util.h"
#include "unit/platform/gpio_stand_in.h"
#include "unit/platform/leds_outside.h"
#include "unit/platform/temp_run_dir.h"

namespace {

using namespace ntest;
using standin::gpioLevel;

int shown(int green, int red) { return (gpioLevel(".", green) == 1 ? 1 : 0) | (gpioLevel(".", red) == 1 ? 2 : 0); }
int posShown() { return shown(kLedPosGreenLine, kLedPosRedLine); }
int recShown() { return shown(kLedRecGreenLine, kLedRecRedLine); }

class Buttons : public TempRunDir {
 protected:
  void SetUp() override {
    TempRunDir::SetUp();
    FileNvmLoad();
    nvPendedClear_NvAlloc();
    nv_readSettings();
    settingsCommandsInitOnce();
    registerButtonArea();
    ASSERT_TRUE(standin::layOutGpio(".", {kLedPosGreenLine, kLedPosRedLine, kLedRecGreenLine, kLedRecRedLine}));
    ASSERT_TRUE(standin::layOutGpio(".", {kPowerButtonLine, REC_BUT_PRT}, "in", "1"));
    standin::ledsDark();
    // The recording LED as the program wires it: green while recording.
    wpcLedHook = [](bool on) { leds(kLedRec, on ? kLedGreen : kLedOff, kLedShow); };
    PowerButton::clearPending();
    FileButton::takePending();
    FileButton::setAction(FileButton::kActionLed);
    FileButton::setLogRot(false);
    cfClose(-1);
    lrSetMode(false);
  }
  void TearDown() override {
    cfClose(-1);
    wpcLedHook = nullptr;
    standin::ledsDark();
    // A shutdown a test left pending would end the next test that runs an epoch.
    PowerButton::clearPending();
    FileButton::takePending();
    TempRunDir::TearDown();
  }
  static void line(int gpio, int level) {
    standin::writeStandIn(standin::gpioPath(".", gpio, "value"), std::to_string(level) + "\n");
  }
  // Pressed until the hold counter reads `counter` at the accepted release.
  static void hold(Button& b, int counter) {
    line(b.line(), 0);
    for (int i = 0; i < 3; ++i) b.process();  // accepted on the third poll, counter 0
    for (int i = 0; i < counter / 2 - 3; ++i) b.process();
    line(b.line(), 1);
    for (int i = 0; i < 3; ++i) b.process();
  }
  std::string run(const std::string& l) { return runLine(port_, l); }
  std::string value(const std::string& key) {
    const std::string got = run("print,/par/button/" + key);
    return got.size() > 7 && got.rfind("RE", 0) == 0 ? got.substr(5, got.size() - 7) : got;
  }
  CapturePort port_{IOP_TCP_A};
};

struct Recorder : Button {
  Recorder() : Button(5) {}
  void stateChanged(bool pressed, int holdTime) override { events.emplace_back(pressed, holdTime); }
  void whileHeld(int) override {}
  std::vector<std::pair<bool, int>> events;
};

TEST(ButtonDebounce, ChangesShorterThanThreePollsAreIgnored) {
  const struct {
    const char* levels;  // one poll per character
    std::vector<std::pair<bool, int>> events;
  } rows[] = {
      {"0111111", {}},                   // one-poll bounce
      {"0011111", {}},                   // two-poll bounce
      {"000", {{true, 6}}},              // accepted on the third equal poll
      {"0001000", {{true, 6}}},          // a bounce while held
      {"00011111", {{true, 6}, {false, 6}}},
      {"000" "1" "0" "111", {{true, 6}, {false, 10}}},
      {"x00011", {{true, 8}}},  // a read error counts as released
  };
  for (const auto& r : rows) {
    Recorder b;
    for (const char* p = r.levels; *p; ++p) b.poll(*p == 'x' ? -1 : *p - '0');
    EXPECT_EQ(b.events, r.events) << r.levels;
  }
}

TEST_F(Buttons, PowerReleaseByHoldTime) {
  const struct {
    int counter, mode;
    bool patterns;  // position patterns on after the release
  } rows[] = {
      {198, 0, true}, {200, kShutPowerOff, false}, {798, kShutPowerOff, false}, {800, kShutSleep, false},
      {1598, kShutSleep, false}, {1600, 0, true}, {2400, 0, true},
  };
  for (const auto& r : rows) {
    PowerButton::clearPending();
    PowerButton b;
    b.initSettings();
    ASSERT_TRUE(b.armed());
    hold(b, r.counter);
    EXPECT_EQ(PowerButton::pendingMode(), r.mode) << r.counter;
    EXPECT_EQ(PosLed::enabled(), r.patterns) << r.counter;
    EXPECT_EQ(SatLed::enabled(), r.patterns) << r.counter;
    EXPECT_EQ(posShown(), kLedOff) << r.counter;
    EXPECT_EQ(recShown(), kLedOff) << r.counter;
    EXPECT_EQ(forceAllLeds.load(), 3) << r.counter;
    EXPECT_EQ(b.armed(), r.mode == 0) << r.counter;
    forceAllLeds = -1;
  }
  // The edges themselves, handed over as accepted changes.
  const struct {
    int counter, mode;
  } edges[] = {{199, 0}, {200, 1}, {799, 1}, {800, 2}, {1599, 2}, {1600, 0}};
  for (const auto& e : edges) {
    PowerButton::clearPending();
    PowerButton b;
    b.initSettings();
    b.stateChanged(true, 0);
    b.stateChanged(false, e.counter);
    EXPECT_EQ(PowerButton::pendingMode(), e.mode) << e.counter;
  }
}

TEST_F(Buttons, PowerHoldShowsWhatAReleaseWouldDo) {
  const struct {
    int polls;  // after the press was accepted
    int color;
    bool patterns;
  } rows[] = {{1, kLedGreen, false},   {99, kLedGreen, false},      {100, kLedOff, false},
              {399, kLedOff, false},   {400, kLedRedGreen, false}, {799, kLedRedGreen, false},
              {800, kLedOff, true},    {900, kLedOff, true}};
  for (const auto& r : rows) {
    PowerButton b;
    b.initSettings();
    PosLed::enable(true);
    line(kPowerButtonLine, 0);
    for (int i = 0; i < 3 + r.polls; ++i) b.process();
    EXPECT_EQ(posShown(), r.color) << r.polls;
    EXPECT_EQ(recShown(), r.color) << r.polls;
    EXPECT_EQ(PosLed::enabled(), r.patterns) << r.polls;
    EXPECT_EQ(forceAllLeds.load(), r.polls > 800 ? 3 : -1) << r.polls;
    line(kPowerButtonLine, 1);
    for (int i = 0; i < 3; ++i) b.process();
    PowerButton::clearPending();
    forceAllLeds = -1;
  }
}

TEST_F(Buttons, PowerHeldAtStartIsNotArmed) {
  line(kPowerButtonLine, 0);
  PowerButton b;
  b.initSettings();
  EXPECT_TRUE(b.pressed());
  EXPECT_FALSE(b.armed());
  // Released and held for two seconds: nothing, as the button was held through the start.
  line(kPowerButtonLine, 1);
  for (int i = 0; i < 3; ++i) b.process();
  EXPECT_EQ(PowerButton::pendingMode(), 0);
  hold(b, 400);
  EXPECT_EQ(PowerButton::pendingMode(), kShutPowerOff);
  // A further press while a shutdown is pending is not armed.
  line(kPowerButtonLine, 0);
  for (int i = 0; i < 3; ++i) b.process();
  EXPECT_FALSE(b.armed());
}

TEST_F(Buttons, FileReleaseByHoldTime) {
  const struct {
    int counter, action;
    bool rot;
    int pending;
    bool dbg, fineStopped;
  } rows[] = {
      {49, FileButton::kActionLed, false, 0, true, true},
      {49, FileButton::kActionTcpcl, false, FileButton::kReqTcpclToggle, true, false},
      {49, FileButton::kActionDyn, false, 0, true, false},
      {50, FileButton::kActionLed, false, 2, false, false},
      {50, FileButton::kActionDyn, false, 34, false, false},
      {50, FileButton::kActionLed, true, 18, false, false},
      {199, FileButton::kActionTcpcl, false, 2, false, false},
      {200, FileButton::kActionLed, false, 1, false, false},
      {349, FileButton::kActionDyn, true, 1, false, false},
      {350, FileButton::kActionLed, false, 0, false, false},
      {600, FileButton::kActionTcpcl, false, 0, false, false},
  };
  for (const auto& r : rows) {
    FileButton::setAction(r.action);
    FileButton::setLogRot(r.rot);
    PosLed::setFineSeconds(5, kLedGreen);
    dbgOpenCloseRequest.exchange(false);
    FileButton b;
    b.stateChanged(true, 0);
    EXPECT_EQ(recShown(), kLedRedGreen) << r.counter;
    b.stateChanged(false, r.counter);
    EXPECT_EQ(FileButton::takePending(), r.pending) << r.counter << " action " << r.action;
    EXPECT_EQ(dbgOpenCloseRequest.exchange(false), r.dbg) << r.counter;
    EXPECT_EQ(PosLed::fineRunning(), !r.fineStopped) << r.counter;
    EXPECT_TRUE(b.armed());
  }
  // Polled from the line: 0.5 s starts a file.
  FileButton::setAction(FileButton::kActionLed);
  FileButton::setLogRot(false);
  FileButton b;
  b.openLine();
  hold(b, 100);
  EXPECT_EQ(FileButton::takePending(), FileButton::kReqLog);
}

TEST_F(Buttons, FileHoldShowsWhatAReleaseWouldDo) {
  const struct {
    int polls;
    bool recording;
    int color;
  } rows[] = {{1, false, kLedRedGreen}, {24, false, kLedRedGreen}, {25, false, kLedGreen}, {25, true, kLedOff},
              {99, false, kLedGreen},   {100, false, kLedRed},     {174, true, kLedRed}};
  for (const auto& r : rows) {
    if (r.recording) {
      ASSERT_TRUE(cfStartLogging("held", false, false));
    }
    FileButton b;
    b.openLine();
    line(REC_BUT_PRT, 0);
    for (int i = 0; i < 3 + r.polls; ++i) b.process();
    EXPECT_EQ(recShown(), r.color) << r.polls << " " << r.recording;
    line(REC_BUT_PRT, 1);
    for (int i = 0; i < 3; ++i) b.process();
    FileButton::takePending();
    cfClose(-1);
  }
}

// A press released at `counter` (hold counter units).
void release(int counter) {
  FileButton b;
  b.stateChanged(true, 0);
  b.stateChanged(false, counter);
}

TEST_F(Buttons, PendedFileRequestsAreCarriedOut) {
  ASSERT_TRUE(FileButton::setFileName("btnlog"));
  FileButton::setAction(FileButton::kActionDyn);
  release(100);
  FileButton::handlePended();
  ASSERT_TRUE(cfExists());
  EXPECT_TRUE(cfFileDynamic[0]);
  EXPECT_TRUE(exists(".gnss.log/btnlog"));
  release(100);
  FileButton::handlePended();
  EXPECT_FALSE(cfExists());
  // Nothing pending: nothing done.
  FileButton::handlePended();
  EXPECT_FALSE(cfExists());
  // Rotation instead of a file.
  FileButton::setLogRot(true);
  release(100);
  FileButton::handlePended();
  EXPECT_FALSE(cfExists());
  EXPECT_TRUE(lrGetMode());
  release(100);
  FileButton::handlePended();
  EXPECT_FALSE(lrGetMode());
  FileButton::setLogRot(false);
  // Without a name: an automatic one.
  ASSERT_TRUE(FileButton::setFileName(""));
  FileButton::setAction(FileButton::kActionLed);
  release(100);
  FileButton::handlePended();
  ASSERT_TRUE(cfExists());
  int logs = 0;
  for (const auto& e : std::filesystem::directory_iterator(".gnss.log")) logs += e.path().filename() != "btnlog";
  EXPECT_EQ(logs, 1) << "a file of its own beside btnlog";
  EXPECT_FALSE(cfFileDynamic[0]);
  cfClose(-1);

  // The TCP clients: a 2 s fine flash in their state's colour after each toggle.
  static bool suspended = false;
  buttonLinks.tcpclSuspended = [] { return suspended; };
  buttonLinks.tcpclSetSuspend = [](bool on) { suspended = on; };
  FileButton::setAction(FileButton::kActionTcpcl);
  release(10);
  FileButton::handlePended();
  EXPECT_TRUE(suspended);
  EXPECT_TRUE(PosLed::fineRunning());
  // Four half-second cycles in red, then the pattern.
  int red = 0;
  for (int i = 0; i < 20; ++i) {
    PosLed::process(i * 100);
    red += posShown() == kLedRed ? 1 : 0;
  }
  EXPECT_EQ(red, 4);
  EXPECT_FALSE(PosLed::fineRunning());
  release(10);
  FileButton::handlePended();
  EXPECT_FALSE(suspended);
  buttonLinks.tcpclSuspended = nullptr;
  buttonLinks.tcpclSetSuspend = nullptr;
}

TEST_F(Buttons, AutoModeQueuesLoggingAtStart) {
  const struct {
    int autoMode, action, rot, pending;
  } rows[] = {
      {0, 0, 0, 0},   {1, 0, 0, 66}, {2, 0, 0, 2}, {1, 1, 0, 98}, {2, 1, 0, 34},
      {1, 0, 1, 0},   {2, 1, 1, 0},  {2, 7, 0, 2},  // an action out of range is taken as led
  };
  for (const auto& r : rows) {
    RcvSet.fileButton.autoMode = static_cast<std::uint8_t>(r.autoMode);
    RcvSet.fileButton.action = static_cast<std::uint8_t>(r.action);
    RcvSet.fileButton.rotation = static_cast<std::uint8_t>(r.rot);
    FileButton b;
    b.initSettings();
    EXPECT_EQ(FileButton::takePending(), r.pending) << r.autoMode << r.action << r.rot;
  }
  EXPECT_EQ(FileButton::getAction(), FileButton::kActionLed);
  // A stored name the log store would refuse is dropped.
  std::strcpy(RcvSet.fileButton.name, ".hidden");
  FileButton b;
  b.initSettings();
  EXPECT_EQ(FileButton::getFileName(), nullptr);
}

int g_ticks = 0, g_pressedFor = 0;
int fakeLevel(const Button&) { return g_ticks < g_pressedFor ? 0 : 1; }
void fakeTick() { ++g_ticks; }

TEST_F(Buttons, PowerUpHoldClearsTheImageBetweenFiveAndTenSeconds) {
  const struct {
    int polls;
    bool clear;
    int ticks, color;
  } rows[] = {
      {0, false, 0, kLedOff},          {499, false, 499, kLedGreen},   {500, true, 500, kLedRedGreen},
      {999, true, 999, kLedRedGreen},  {1000, false, 1000, kLedRedGreen}, {5000, false, 1000, kLedRedGreen},
  };
  for (const auto& r : rows) {
    NvBlock::clearAll();
    standin::ledsDark();
    g_ticks = 0;
    g_pressedFor = r.polls;
    FileButton b;
    b.initSettings();
    FileButton::takePending();
    b.powerUpHold(fakeLevel, fakeTick);
    EXPECT_EQ(nvPendedClearIsPending(), r.clear) << r.polls;
    EXPECT_EQ(g_ticks, r.ticks) << r.polls;
    EXPECT_EQ(posShown(), r.color) << r.polls;
    EXPECT_TRUE(b.armed());
    EXPECT_EQ(FileButton::takePending(), FileButton::kReqTcpclShow) << r.polls;
  }
  // Between 5 and 10 s the LEDs blink: toggled every 0.2 s.
  standin::ledsDark();
  g_ticks = 0;
  g_pressedFor = 520;
  FileButton b;
  b.powerUpHold(fakeLevel, fakeTick);
  EXPECT_EQ(posShown(), kLedOff);
}

TEST_F(Buttons, KeysTakeRefuseAndSurviveARestart) {
  const struct {
    const char* line;
    const char* want;
    const char* key;
    const char* after;
  } rows[] = {
      {"fine,301", "ER5", "fine", "0"},
      {"fine,-1", "ER5", "fine", "0"},
      {"fine,300", "", "fine", "0"},
      {"fine,0", "", "fine", "0"},
      {"file,abcdefghijklmnopqrstu", "ER5", "file", ""},
      {"file,abcdefghijklmnopqrst", "", "file", "abcdefghijklmnopqrst"},
      {"file,.x", "ER5", "file", "abcdefghijklmnopqrst"},
      {"file,mylog", "", "file", "mylog"},
      {"action,dyn", "", "action", "dyn"},
      {"action,xyz", "ER7", "action", "dyn"},
      {"action,tcpcl", "", "action", "tcpcl"},
      {"auto,y", "", "auto", "on"},
      {"auto,maybe", "ER7", "auto", "on"},
      {"auto,always", "", "auto", "always"},
      {"auto,no", "", "auto", "off"},
      {"auto,yes", "", "auto", "on"},
      {"rot,on", "", "rot", "on"},
      {"rot,7", "ER7", "rot", "on"},
      {"dyn,dynamic", "", "dyn", "dynamic"},
      {"dyn,moving", "ER7", "dyn", "dynamic"},
      {"period,0.09", "ER5", nullptr, nullptr},
      {"period,100.1", "ER5", nullptr, nullptr},
      {"period,0.1234", "", nullptr, nullptr},
      {"nokey,1", "ER3", nullptr, nullptr},
  };
  for (const auto& r : rows) {
    const std::string want = r.want;
    RcvFileButton stored = RcvSet.fileButton;
    const std::string got = run("%s%set,/par/button/" + std::string(r.line));
    if (want.empty()) {
      EXPECT_EQ(got, replyFrame("%s%")) << r.line;
    } else {
      EXPECT_TRUE(got.rfind("ER", 0) == 0 && got.find("{" + want.substr(2) + ",") != std::string::npos)
          << r.line << ": " << got;
      EXPECT_EQ(std::memcmp(&stored, &RcvSet.fileButton, sizeof stored), 0) << r.line;
    }
    if (r.key) {
      EXPECT_EQ(value(r.key), r.after) << r.line;
    }
  }
  EXPECT_EQ(dsGetParams(msgPeriod1)[0], 125);  // 123.4 ms to a multiple of 5
  EXPECT_TRUE(PosLed::fineRunning() == false);
  const std::string all = value("");
  EXPECT_EQ(all, "{action=tcpcl,fine=0,auto=on,file=mylog,dyn=dynamic,rot=on}");
  // The next start reads them back.
  std::memset(&RcvSet, 0, sizeof RcvSet);
  const std::int32_t factory[4] = {1000, 0, 0, 0};
  dsSetParams(msgPeriod1, factory);
  cfSetDefDynamic(0);
  nv_readSettings();
  FileButton b;
  b.initSettings();
  buttonPeriodRestore();
  FileButton::takePending();
  EXPECT_EQ(value(""), all);
  EXPECT_EQ(dsGetParams(msgPeriod1)[0], 125);
}

TEST_F(Buttons, PressesRacingTheEpochsTakeAreNeverLost) {
  constexpr int kPresses = 3000;
  std::atomic<int> seen{0};
  std::atomic<bool> done{false};
  std::thread epoch([&] {
    while (!done.load()) {
      if (FileButton::takePending() & FileButton::kReqLog) seen.fetch_add(1);
    }
  });
  bool lost = false;
  std::thread presses([&] {
    FileButton b;
    for (int i = 0; i < kPresses && !lost; ++i) {
      b.stateChanged(true, 0);
      b.stateChanged(false, 60);
      // Each press must reach the epoch before the next one (otherwise they would merge).
      long spins = 0;
      while (seen.load() != i + 1 && ++spins < 50000000L) std::this_thread::yield();
      lost = seen.load() != i + 1;
    }
  });
  presses.join();
  done = true;
  epoch.join();
  EXPECT_FALSE(lost);
  EXPECT_EQ(seen.load(), kPresses);
}

}  // namespace

namespace {

TEST_F(Buttons, PortResetBringsPortABackToItsFactorySpeedAndMode) {
  serdefs_NvAlloc();
  if (!portSettingsSetRate(IOP_SER_A, 9600)) GTEST_SKIP() << "no serial port A on this host";
  portSettingsStoreMode(IOP_SER_A, InPort::M_NONE);
  InPorts::storeMode_ = portSettingsStoreMode;  // as start-up wires the ports to their settings
  release(250);
  FileButton::handlePended();
  InPorts::storeMode_ = nullptr;
  EXPECT_EQ(portSettingsRate(IOP_SER_A), rsBaudOfCode(kRsDefaultState));
  EXPECT_EQ(portSettingsMode(IOP_SER_A), InPort::factoryMode(IOP_SER_A));
}

TEST_F(Buttons, PendedShutdownEndsTheProgram) {
  ::testing::FLAGS_gtest_death_test_style = "threadsafe";
  const struct {
    int counter, code;
    const char* word;
  } rows[] = {{400, 128, "power_off"}, {1000, 128, "sleep"}};
  for (const auto& r : rows) {
    PowerButton::clearPending();
    PowerButton b;
    b.initSettings();
    b.stateChanged(true, 0);
    b.stateChanged(false, r.counter);
    EXPECT_EXIT(PowerButton::handlePended(), ::testing::ExitedWithCode(r.code), "") << r.counter;
    EXPECT_NE(::readFile("host/var/run/rxengine-request").find(r.word), std::string::npos) << r.counter;
  }
  // Nothing pending: nothing happens.
  PowerButton::clearPending();
  PowerButton::handlePended();
}

}  // namespace
