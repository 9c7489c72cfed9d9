// The two two-colour status LEDs: the position LED (index 0) and the recording LED (index 1), each
// a green and a red GPIO line, lit at level 1. `leds` is the one entry every task uses to change
// them; the LED task LEDT writes the changed lines. PosLed and SatLed turn the solution state and
// the satellites in view into a once-a-second pattern on the position LED.
#pragma once

#include <atomic>
#include <cstdint>

using Leds = int;        // bit 0 position LED, bit 1 recording LED
using LedsColor = int;   // bit 0 green, bit 1 red
using LedsAction = int;  // see below

inline constexpr Leds kLedPos = 1;
inline constexpr Leds kLedRec = 2;
inline constexpr Leds kLedBoth = 3;
inline constexpr LedsColor kLedOff = 0;
inline constexpr LedsColor kLedGreen = 1;
inline constexpr LedsColor kLedRed = 2;
inline constexpr LedsColor kLedRedGreen = 3;
inline constexpr LedsAction kLedShow = 0;    // exactly the colour, the other line dark
inline constexpr LedsAction kLedOn = 1;      // the colour's lines on, the other kept
inline constexpr LedsAction kLedOffAct = 2;  // the colour's lines off, the other kept
inline constexpr LedsAction kLedToggle = 3;  // the colour's lines flipped

// GPIO lines: green, red of the position LED, then of the recording LED.
inline constexpr int kLedPosGreenLine = 137;
inline constexpr int kLedPosRedLine = 136;
inline constexpr int kLedRecGreenLine = 130;
inline constexpr int kLedRecRedLine = 131;

// With the debug selector at this value the LED task stops writing the lines.
inline constexpr int kDbgLedsHold = 58259;

// Forced refreshes still to do (each LED task pass re-writes all four lines); -1 holds.
extern std::atomic<int> forceAllLeds;
// The LED task runs: changes are left to it instead of being written at once.
extern std::atomic<bool> ledProcInited;

void leds(Leds which, LedsColor color, LedsAction action);
// Writes the lines whose state changed since the last write.
void ledProc();
// One pass of the LED task: ledProc unless the debug selector holds the lines.
void ledTaskPass(int debugSelector);
// Starts LEDT (once); 1.
int ledProcInit(int priority);

class PosLed {
 public:
  static void set(bool valid, int solType, int posMode);
  static void process(long ms);
  static void setFineSeconds(int seconds, LedsColor color);
  static void setSatColor(LedsColor color);
  static void enable(bool on) { enabled_.store(on); }
  static bool enabled() { return enabled_.load(); }
  static bool fineRunning() { return fineCounter_.load() > 0; }

 private:
  static std::atomic<bool> enabled_;
  static std::atomic<bool> waiting_;
  static bool blink_;
  static int lastColor_;
  static std::atomic<int> posColor_;
  static std::atomic<int> satColor_;
  static std::atomic<bool> satColorSet_;
  static std::atomic<int> fineCounter_;
  static std::atomic<int> fineColor_;
  static long fineShownMs_;  // epoch time (ms of the day) the flash's current cycle was shown
};

class SatLed {
 public:
  // n satellites with a measurement this epoch, m satellite systems among them.
  static void set(int n, int m);
  static void process(long) {}
  static void enable(bool on) { enabled_.store(on); }
  static bool enabled() { return enabled_.load(); }

 private:
  static std::atomic<bool> enabled_;
};

// Colour of the satellite pattern for n satellites of m systems (one receiver clock each).
LedsColor satLedColor(int n, int m);
// Colour of the position pattern.
LedsColor posLedColor(bool valid, int solType, int posMode);
