#include "gnss_link/peripherals/buttons.h"

#include <unistd.h>

#include <cstring>

#include "files/file_store.h"
#include "files/log_files.h"
#include "files/session.h"
#include "gnss_link/peripherals/button_keys.h"
#include "platform/file_nvm.h"
#include "platform/gpio.h"
#include "platform/leds.h"
#include "platform/mono_clock.h"
#include "platform/nv_pended_clear.h"
#include "platform/ports/in_port.h"
#include "platform/ports/io_port_index.h"
#include "platform/ports/serial_driver.h"
#include "platform/rtos.h"
#include "platform/shutdown.h"
#include "settings/nv_settings.h"
#include "settings/port_settings.h"
#include "settings/rcv_settings.h"

ButtonLinks buttonLinks;
PowerButton powerButton;
FileButton fileButton;

std::atomic<bool> PowerButton::pendedShutDown{false};
std::atomic<int> PowerButton::pendedShutDownMode{0};
std::atomic<int> FileButton::action_{FileButton::kActionLed};
std::atomic<bool> FileButton::logRot_{false};
std::atomic<std::uint8_t> FileButton::pended_{0};
std::atomic<bool> FileButton::inited_{false};

namespace {

// Hold counter units: 2 per 10 ms poll, 200 a second.
constexpr int kPowerGreenEnd = 200;
constexpr int kPowerDarkEnd = 800;
constexpr int kPowerHoldEnd = 1600;
constexpr int kFileActionEnd = 50;
constexpr int kFileLogEnd = 200;
constexpr int kFileHoldEnd = 350;
// Power-up hold, in polls of 10 ms.
constexpr int kUpHoldClear = 500;
constexpr int kUpHoldEnd = 1000;
constexpr int kUpHoldBlink = 20;

// The LED task re-writes all lines a few times once a hold no longer drives them.
void restoreForcing() {
  int held = -1;
  forceAllLeds.compare_exchange_strong(held, 3);
}

void patterns(bool on) {
  PosLed::enable(on);
  SatLed::enable(on);
}

// Serial port A back to its factory speed and input settings, both stored. The image file is
// written at once rather than by the next periodic save: a user who reset a port he could not
// reach often powers the receiver off next, and must find the port as the reset left it.
void portAReset() {
  portSettingsSetRate(IOP_SER_A, rsBaudOfCode(kRsDefaultState & 0xFFu));
  InPort::nvDefaults(IOP_SER_A);
  if (InPort* p = InPorts::ports_[IOP_SER_A]) p->nvRestore();
  FileNvmSave(MonoClock::ms(), true);
}

Mutex& settingsLock() {
  static Mutex m;
  return m;
}

BinSem& fastSem() {
  static BinSem s;
  return s;
}

void* fastTask(void*) {
  for (;;) {
    powerButton.process();
    fileButton.process();
    wpcCheckBlink();
    fastSem().wait(1);
  }
  return nullptr;
}

}  // namespace

// ---- debounce ------------------------------------------------------------------------------------

void Button::poll(int level) {
  const bool raw = level == 0;
  hold_ += 2;
  if (raw != raw_) {
    raw_ = raw;
    debounce_ = 2;
  } else if (debounce_ > 0 && --debounce_ == 0 && raw != state_) {
    state_ = raw;
    const int held = hold_;
    hold_ = 0;
    stateChanged(raw, held);
  }
  if (state_ && armed_) whileHeld(hold_);
}

void Button::process() { poll(readLevel()); }

bool Button::openLine() {
  closeLine();
  setPinInEn(line_);
  fd_ = gpio_pinVal_getFD(line_);
  return fd_ >= 0;
}

void Button::closeLine() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

int Button::readLevel() const { return gpio_value_getByFD(fd_); }

void Button::takeLineState() {
  state_ = raw_ = readLevel() == 0;
  debounce_ = 0;
  hold_ = 0;
}

// ---- power button --------------------------------------------------------------------------------

void PowerButton::initSettings() {
  openLine();
  takeLineState();
  setArmed(!pressed());
}

void PowerButton::whileHeld(int c) {
  if (c > kPowerHoldEnd) {
    restoreForcing();
    return;
  }
  forceAllLeds = -1;
  if (c < kPowerGreenEnd) {
    leds(kLedBoth, kLedGreen, kLedShow);
  } else if (c < kPowerDarkEnd) {
    leds(kLedBoth, kLedOff, kLedShow);
  } else if (c < kPowerHoldEnd) {
    leds(kLedBoth, kLedRedGreen, kLedShow);
  } else {
    leds(kLedBoth, kLedOff, kLedShow);
    patterns(true);
  }
}

void PowerButton::stateChanged(bool pressed, int c) {
  if (pressed) {
    patterns(false);
    setArmed(!pendedShutDown.load());
    return;
  }
  if (c < kPowerHoldEnd && armed()) {
    leds(kLedBoth, kLedOff, kLedShow);
    if (c >= kPowerDarkEnd) {
      pendedShutDownMode = kShutSleep;
      pendedShutDown = true;
    } else if (c >= kPowerGreenEnd) {
      pendedShutDownMode = kShutPowerOff;
      pendedShutDown = true;
    } else {
      patterns(true);
    }
  } else if (armed()) {
    // Held to the end: nothing is asked. The release is seen a few polls after the line went
    // up, so the hold may never have shown its end; the patterns come back here in any case.
    leds(kLedBoth, kLedOff, kLedShow);
    patterns(true);
  }
  restoreForcing();
  setArmed(!pendedShutDown.load());
}

void PowerButton::handlePended() {
  if (!pendedShutDown.load()) return;
  const int mode = pendedShutDownMode.load();
  std::uint32_t wakeup = kNoWakeup;
  std::uint32_t next = 0;
  if (mode == kShutSleep && Session::nextTime(next)) wakeup = next;
  rcvShutdown(mode, nullptr, wakeup, false);
}

// ---- file button ---------------------------------------------------------------------------------

void FileButton::whileHeld(int c) {
  if (c > kFileHoldEnd) return;
  if (c >= kFileActionEnd && c < kFileLogEnd) {
    // What a release would do: the inverse of the recording state.
    wpcLedsByInvertStatus();
  } else if (c >= kFileLogEnd && c < kFileHoldEnd) {
    leds(kLedRec, kLedRed, kLedShow);
  } else if (c == kFileHoldEnd) {
    pcfEnableLights(true);
  }
}

void FileButton::stateChanged(bool pressed, int c) {
  if (pressed) {
    pcfEnableLights(false);
    leds(kLedRec, kLedRedGreen, kLedShow);
    setArmed(true);
    return;
  }
  if (c < kFileHoldEnd && armed()) {
    if (c >= kFileLogEnd) {
      pended_.fetch_or(kReqPortReset);
    } else if (c >= kFileActionEnd) {
      wpcClearBits(5);
      const int a = action_.load();
      pended_.fetch_or(logRot_.load() ? kReqLog | kReqRotation : a == kActionDyn ? kReqLog | kReqDynamic : kReqLog);
    } else {
      wpcClearBits(4);
      dbgOpenCloseFile();
      switch (action_.load()) {
        case kActionLed: PosLed::setFineSeconds(0, kLedGreen); break;
        case kActionDyn: cfChangeDynamic(); break;
        default: pended_.fetch_or(kReqTcpclToggle); break;
      }
    }
    pcfEnableLights(true);
  }
  setArmed(true);
}

void FileButton::initSettings() {
  int autoMode = 0;
  {
    Locker<Mutex> l(settingsLock());
    RcvFileButton& fb = RcvSet.fileButton;
    if (fb.action > kActionTcpcl) fb.action = kActionLed;
    fb.name[kMaxName] = 0;
    if (fb.name[0] != 0 && !pcfCheckName(fb.name)) std::memset(fb.name, 0, sizeof fb.name);
    action_ = fb.action;
    logRot_ = fb.rotation != 0;
    autoMode = fb.autoMode;
    cfSetDefDynamic(fb.defDynamic);
  }
  openLine();
  if (!logRot_.load() && autoMode != 0) {
    std::uint8_t req = kReqLog;
    if (action_.load() == kActionDyn) req |= kReqDynamic;
    if (autoMode == 1) req |= kReqAuto;
    pended_.fetch_or(req);
  }
}

void FileButton::powerUpHold(int (*level)(const Button&), void (*tick)()) {
  int polls = -1;
  if (level(*this) == 0) {
    leds(kLedBoth, kLedGreen, kLedShow);
    polls = 0;
    // Past 10 s nothing more can happen: a line stuck low must not hold the start-up.
    while (polls < kUpHoldEnd && level(*this) == 0) {
      tick();
      ++polls;
      if (polls == kUpHoldClear || polls == kUpHoldEnd) {
        leds(kLedBoth, kLedRedGreen, kLedShow);
      } else if (polls > kUpHoldClear && polls % kUpHoldBlink == 0) {
        leds(kLedBoth, kLedRedGreen, kLedToggle);
      }
    }
    if (polls >= kUpHoldClear && polls < kUpHoldEnd) nvPendedClearRequest();
  }
  takeLineState();
  // Still held: a later release counts as a long hold, so it starts nothing.
  if (pressed()) setHold(2 * kUpHoldEnd);
  setArmed(true);
  inited_ = true;
  pended_.fetch_or(kReqTcpclShow);
}

void FileButton::handlePended() {
  // Taken and cleared in one step: a press flagged meanwhile waits for the next epoch.
  const std::uint8_t req = takePending();
  if (req == 0) return;
  if (req & kReqPortReset) {
    portAReset();
  }
  if (req & kReqLog) {
    if (req & kReqRotation) {
      lrSetMode(!lrGetMode());
    } else if (cfExists()) {
      cfClose(-1);
    } else {
      cfStartLogging(getFileName(), (req & kReqDynamic) != 0, (req & kReqAuto) != 0);
    }
  }
  if ((req & (kReqTcpclToggle | kReqTcpclShow)) != 0 && action_.load() == kActionTcpcl) {
    if (req & kReqTcpclToggle) buttonLinks.tcpclSetSuspend(!buttonLinks.tcpclSuspended());
    PosLed::setFineSeconds(2, buttonLinks.tcpclSuspended() ? kLedRed : kLedGreen);
  }
}

bool FileButton::setAction(int action) {
  if (action < kActionLed || action > kActionTcpcl) return false;
  Locker<Mutex> l(settingsLock());
  action_ = action;
  RcvSet.fileButton.action = static_cast<std::uint8_t>(action);
  return nv_writeRcvSettings();
}

bool FileButton::setAuto(int mode) {
  if (mode < 0 || mode > 2) return false;
  Locker<Mutex> l(settingsLock());
  RcvSet.fileButton.autoMode = static_cast<std::uint8_t>(mode);
  return nv_writeRcvSettings();
}

int FileButton::getAuto() { return RcvSet.fileButton.autoMode; }

bool FileButton::setLogRot(bool on) {
  Locker<Mutex> l(settingsLock());
  logRot_ = on;
  RcvSet.fileButton.rotation = on ? 1 : 0;
  return nv_writeRcvSettings();
}

bool FileButton::setFileName(const char* name) {
  const bool clear = name == nullptr || name[0] == 0;
  if (!clear && (std::strlen(name) > static_cast<std::size_t>(kMaxName) || !pcfCheckName(name))) return false;
  Locker<Mutex> l(settingsLock());
  std::memset(RcvSet.fileButton.name, 0, sizeof RcvSet.fileButton.name);
  if (!clear) std::memcpy(RcvSet.fileButton.name, name, std::strlen(name));
  return nv_writeRcvSettings();
}

const char* FileButton::getFileName() { return RcvSet.fileButton.name[0] != 0 ? RcvSet.fileButton.name : nullptr; }

// ---- task ------------------------------------------------------------------------------------------

bool fastProcInit(int priority) {
  static Task* task = nullptr;
  if (task == nullptr) task = new Task(priority, fastTask, nullptr, "FSTP", 4096);
  task->resume();
  return true;
}


void buttonsInitOnce() {
  powerButton.initSettings();
  fileButton.initSettings();
  buttonPeriodRestore();
  fileButton.powerUpHold([](const Button& b) { return b.readLevel(); }, [] { Task::sleep(1); });
}
