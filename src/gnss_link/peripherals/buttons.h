// The power button and the file (record) button. The fast task FSTP polls both every 10 ms,
// debounces them and counts how long each is held (200 counter units are one second); the LEDs
// show during a hold what a release would do. What must run in the main flow (shutdown, log
// files, the port reset) is flagged here and carried out by handlePended once per epoch.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/hook.h"

inline constexpr int kPowerButtonLine = 32;
inline constexpr int REC_BUT_PRT = 119;

// The TCP clients' suspension (kept by the network layer).
struct ButtonLinks {
  Hook<bool()> tcpclSuspended{"gnss_link", "buttonLinks.tcpclSuspended"};
  Hook<void(bool on)> tcpclSetSuspend{"gnss_link", "buttonLinks.tcpclSetSuspend"};
};
extern ButtonLinks buttonLinks;

class Button {
 public:
  explicit Button(int line) : line_(line) {}
  virtual ~Button() = default;
  // The accepted change: pressed or released, and the counter at that moment.
  virtual void stateChanged(bool pressed, int holdTime) = 0;

  // One poll of a line that reads `level` (0 pressed, anything else, a read error too, released).
  void poll(int level);
  // One poll of the button's own line.
  void process();
  bool pressed() const { return state_; }
  bool armed() const { return armed_; }
  int line() const { return line_; }
  // The line as an input, its value file kept open; false when it cannot be opened.
  bool openLine();
  void closeLine();
  int readLevel() const;

 protected:
  // Each poll while the accepted state is pressed and the button armed.
  virtual void whileHeld(int holdTime) = 0;
  void setArmed(bool a) { armed_ = a; }
  void setHold(int h) { hold_ = h; }
  void takeLineState();

 private:
  int line_;
  int fd_ = -1;
  int hold_ = 0;
  int debounce_ = 0;
  bool state_ = false;
  bool raw_ = false;
  bool armed_ = false;
};

class PowerButton : public Button {
 public:
  PowerButton() : Button(kPowerButtonLine) {}
  void stateChanged(bool pressed, int holdTime) override;
  // The line opened; accepted state from it, armed only when it does not read pressed.
  void initSettings();
  // Carries out a pending shutdown (does not return then).
  static void handlePended();
  // The pending shutdown's mode (1 power off, 2 off until the next session), 0 when none.
  static int pendingMode() { return pendedShutDown.load() ? pendedShutDownMode.load() : 0; }
  static void clearPending() { pendedShutDown = false; }

  static std::atomic<bool> pendedShutDown;
  static std::atomic<int> pendedShutDownMode;

 protected:
  void whileHeld(int holdTime) override;
};

class FileButton : public Button {
 public:
  enum : int { kActionLed = 0, kActionDyn = 1, kActionTcpcl = 2 };
  // Pending requests.
  enum : std::uint8_t {
    kReqPortReset = 1,
    kReqLog = 2,
    kReqTcpclToggle = 4,
    kReqTcpclShow = 8,
    kReqRotation = 16,
    kReqDynamic = 32,
    kReqAuto = 64,
  };
  static constexpr int kMaxName = 20;

  FileButton() : Button(REC_BUT_PRT) {}
  void stateChanged(bool pressed, int holdTime) override;
  // Settings loaded, the line opened, and the start of logging queued for the auto mode.
  void initSettings();
  // The hold at power-up, `readLevel` polled once per `tick` (10 ms): 5-10 s asks for a clear
  // of the whole settings image at the next start. Ends armed with request 8 pending.
  void powerUpHold(int (*readLevel)(const Button&), void (*tick)());
  static void handlePended();

  static bool setAction(int action);
  static int getAction() { return action_.load(); }
  static bool setAuto(int mode);
  static int getAuto();
  static bool setLogRot(bool on);
  static bool getLogRot() { return logRot_.load(); }
  // Empty or null clears the name; otherwise at most 20 characters the log store accepts.
  static bool setFileName(const char* name);
  // The name, or null when none.
  static const char* getFileName();
  static std::uint8_t pending() { return pended_.load(); }
  // The pending requests, taken and cleared in one step.
  static std::uint8_t takePending() { return pended_.exchange(0); }

 protected:
  void whileHeld(int holdTime) override;

 private:
  static std::atomic<int> action_;
  static std::atomic<bool> logRot_;
  static std::atomic<std::uint8_t> pended_;
  static std::atomic<bool> inited_;
};

extern PowerButton powerButton;
extern FileButton fileButton;

// Starts FSTP (once); true.
bool fastProcInit(int priority);
// Passes of FSTP so far.
std::uint32_t fastProcPasses();
// The button lines opened and the power-up hold watched (start-up, before the tasks).
void buttonsInitOnce();
