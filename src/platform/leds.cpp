#include "platform/leds.h"

#include <algorithm>

#include "platform/gpio.h"
#include "platform/mcu_link.h"
#include "platform/rtos.h"

std::atomic<int> forceAllLeds{-1};
std::atomic<bool> ledProcInited{false};

namespace {

constexpr int kLines[2][2] = {{kLedPosGreenLine, kLedPosRedLine}, {kLedRecGreenLine, kLedRecRedLine}};
constexpr int kLedCount = 2;
constexpr std::uint32_t kAllChanged = 0x3u << 16;

// Several tasks change the LEDs while LEDT writes them: the state masks, the pending words and the
// writes are kept together under one lock, so a change made while the task writes is either
// written by that pass or left flagged for the next one, never dropped.
struct LedState {
  Mutex lock;
  std::uint16_t state[2] = {0xFFFF, 0xFFFF};  // portGStateLast, portRStateLast
  std::uint32_t pending[2] = {0xFFFF, 0xFFFF};
  bool exported = false;
};

LedState& st() {
  static LedState s;
  return s;
}

BinSem& ledSem() {
  static BinSem s;
  return s;
}

// Lock held.
void exportLines(LedState& s) {
  if (s.exported) return;
  s.exported = true;
  for (const auto& led : kLines)
    for (int line : led) setPinOutEn(line, 0);
}

// Lock held: applies the action to one line's state bit of one LED; true when it changed.
bool applyLine(LedState& s, int color, int led, bool inColor, LedsAction action) {
  const std::uint16_t bit = static_cast<std::uint16_t>(1u << led);
  const bool dark = (s.state[color] & bit) != 0;
  bool newDark = dark;
  switch (action) {
    case kLedShow: newDark = !inColor; break;
    case kLedOn: if (inColor) newDark = false; break;
    case kLedOffAct: if (inColor) newDark = true; break;
    case kLedToggle: if (inColor) newDark = !dark; break;
    default: return false;
  }
  if (newDark == dark) return false;
  s.state[color] = static_cast<std::uint16_t>(newDark ? s.state[color] | bit : s.state[color] & ~bit);
  s.pending[color] = (s.pending[color] & 0xFFFF0000u) | s.state[color] | (1u << (16 + led));
  return true;
}

// Lock held.
void writePending(LedState& s) {
  exportLines(s);
  int f = forceAllLeds.load();
  while (f > 0 && !forceAllLeds.compare_exchange_weak(f, f - 1)) {
  }
  if (f > 0) {
    s.pending[0] |= kAllChanged;
    s.pending[1] |= kAllChanged;
  }
  for (int color = 0; color < 2; ++color) {
    const std::uint32_t flags = s.pending[color] >> 16;
    if (flags == 0) continue;
    for (int led = 0; led < kLedCount; ++led) {
      if ((flags & (1u << led)) == 0) continue;
      gpio_value_set(kLines[led][color], (s.state[color] >> led & 1u) ? 0 : 1);
    }
    s.pending[color] &= 0xFFFFu;
  }
}

void* ledTask(void*) {
  ledProcInited.store(true);
  Task::sleep(10);
  for (;;) {
    ledTaskPass(boardDebugSelector());
    ledSem().wait();
  }
  return nullptr;
}

}  // namespace

void leds(Leds which, LedsColor color, LedsAction action) {
  if (action < kLedShow || action > kLedToggle) return;
  LedState& s = st();
  bool changed = false;
  {
    Locker<Mutex> l(s.lock);
    exportLines(s);
    for (int led = 0; led < kLedCount; ++led) {
      if ((which & (1 << led)) == 0) continue;
      changed |= applyLine(s, 0, led, (color & kLedGreen) != 0, action);
      changed |= applyLine(s, 1, led, (color & kLedRed) != 0, action);
    }
    if (changed && !ledProcInited.load()) writePending(s);
  }
  if (changed && ledProcInited.load()) ledSem().post();
}

void ledProc() {
  LedState& s = st();
  Locker<Mutex> l(s.lock);
  writePending(s);
}

void ledTaskPass(int debugSelector) {
  if (debugSelector != kDbgLedsHold) ledProc();
}

int ledProcInit(int priority) {
  static Task* task = nullptr;
  if (task == nullptr) task = new Task(priority, ledTask, nullptr, "LEDT", 1024);
  task->resume();
  return 1;
}

// ---- position pattern ---------------------------------------------------------------------------

namespace {
constexpr long kLedDayMs = 86400000;  // the epoch times process() takes are milliseconds of the day
}  // namespace

std::atomic<bool> PosLed::enabled_{true};
std::atomic<bool> PosLed::waiting_{false};
bool PosLed::blink_ = true;
int PosLed::lastColor_ = -1;
std::atomic<int> PosLed::posColor_{0};
std::atomic<int> PosLed::satColor_{0};
std::atomic<bool> PosLed::satColorSet_{false};
std::atomic<int> PosLed::fineCounter_{0};
std::atomic<int> PosLed::fineColor_{0};
long PosLed::fineShownMs_ = 0;
std::atomic<bool> SatLed::enabled_{true};

LedsColor posLedColor(bool valid, int solType, int posMode) {
  if (!valid) return kLedRed;
  if (posMode <= 0) return kLedGreen;
  // Mixed colour while the solution is short of what the mode aims at.
  int wanted = 0;
  if (posMode <= 3) {
    wanted = 2;
  } else if (posMode == 4) {
    wanted = 3;
  } else if (posMode == 5) {
    wanted = 4;
  } else {
    return kLedOff;
  }
  return solType < wanted ? kLedRedGreen : kLedGreen;
}

LedsColor satLedColor(int n, int m) {
  const int k = n - m + 1;  // satellites beyond one receiver clock per system
  if (n <= 0 || k <= 0) return kLedOff;
  if (k <= 4) return kLedRed;
  if (k <= 7) return kLedRedGreen;
  return kLedGreen;
}

void PosLed::set(bool valid, int solType, int posMode) {
  if (fineCounter_.load() > 0) return;
  waiting_.store(true);
  posColor_.store(posLedColor(valid, solType, posMode));
}

void PosLed::setFineSeconds(int seconds, LedsColor color) {
  fineColor_.store(color);
  // The flash starts at the next half-second boundary, so each cycle shows whole.
  if (seconds > 0) waiting_.store(true);
  fineCounter_.store(seconds > 0 ? seconds * 2 : 0);
}

void PosLed::setSatColor(LedsColor color) {
  satColor_.store(color);
  satColorSet_.store(true);
}

void PosLed::process(long ms) {
  int c = 0;
  if (fineCounter_.load() != 0) {
    const long t = ms % 500;
    // Epochs half a second or more apart (1, 2 and 4 a second) never meet the later phases of a
    // cycle, which would leave the flash, and the position colour with it, stuck for good: the
    // cycle shown that long ago is over, and so is every whole cycle after it.
    long since = ms - fineShownMs_;
    if (since < 0) since += kLedDayMs;
    if (!waiting_.load() && since >= 500) {
      waiting_.store(true);
      const int missed = static_cast<int>(std::min<long>(since / 500 - 1, fineCounter_.load()));
      fineCounter_.fetch_sub(missed);
    }
    if (waiting_.load()) {
      if (fineCounter_.load() < 1 || t > 24) return;
      fineCounter_.fetch_sub(1);
      waiting_.store(false);
      fineShownMs_ = ms;
      c = fineColor_.load();
    } else if (t <= 50) {
      return;
    } else if (t <= 100) {
      c = kLedOff;
    } else if (t <= 150) {
      c = fineColor_.load();
    } else {
      c = kLedOff;
      waiting_.store(true);
    }
  } else {
    const long s = ms % 1000;
    const int sat = satColor_.load();
    const int pos = posColor_.load();
    if (sat == kLedOff && (pos == kLedOff || pos == kLedRed)) {
      // No satellites and no position: a short red flash each second.
      c = blink_ && s >= 100 ? kLedOff : kLedRed;
    } else {
      c = satColorSet_.load() ? sat : pos;
      if (blink_ && s >= 800) {
        c = kLedOff;
      } else if (s >= 400) {
        c = pos;
      }
    }
  }
  if (!enabled_.load()) {
    lastColor_ = -1;
    return;
  }
  if (c == lastColor_) return;
  lastColor_ = c;
  leds(kLedPos, c, kLedShow);
}


void SatLed::set(int n, int m) {
  if (!enabled_.load()) return;
  PosLed::setSatColor(satLedColor(n, m));
}
