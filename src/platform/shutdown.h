// Ending the receiver: power off, sleep until a wake-up time, reboot or restart the program.
// One shutdown runs at a time; the others wait for it (and so never return either).
#pragma once

#include <cstdint>

#include "platform/hook.h"

enum RcvShutdownMode : int {
  kShutPowerOff = 1,  // exit 128, "power_off" in the request file
  kShutSleep = 2,     // exit 128, "sleep": off until the wake-up time
  kShutReboot = 3,    // exit 127, "reboot"
  kShutRestart = 4,   // exit 0: the program is started again
};

// The system's request file, read by the scripts that run the program.
inline constexpr const char* kRequestFile = "/var/run/rxengine-request";
inline constexpr std::uint32_t kNoWakeup = 0xFFFFFFFFu;

struct ShutdownRequest {
  int mode;
  const char* message;     // text for the command that asked, or null
  std::uint32_t wakeup;    // wake-up time for kShutSleep, kNoWakeup when none
  bool clearImage;         // clear the whole settings image instead of saving the session
};

// The steps other layers add, run in this order before the settings image is stored.
enum ShutdownStep : int {
  kShutStepFilePush,  // suspend file push
  kShutStepLogFiles,  // close the log files
  kShutStepAnswer,    // answer the command that asked (message)
  kShutStepNetwork,   // network and Wi-Fi down
  kShutStepSession,   // save the session state (skipped when the image is cleared)
  kShutStepPower,     // hand the wake-up time to the power controller
  kShutStepCount
};
extern Hook<void(const ShutdownRequest& req)> rcvShutdownSteps[kShutStepCount];

// Shuts the receiver down; does not return. An unknown mode restarts the program.
[[noreturn]] void rcvShutdown(int mode, const char* message, std::uint32_t wakeup, bool clearImage);
// True once a shutdown has begun. It turns true before the image lock is taken for the last
// save, so a change made under that lock that did not see it is in what is stored, and one that
// sees it must be refused: nothing acknowledged after the stores copy can be kept.
bool rcvShutdownBegun();

// Stop by the host's service manager (SIGTERM) or from a terminal (SIGINT). Blocking them before
// the first task exists keeps them away from every task, so that they are taken only by
// rcvStopSignalWait, in an ordinary thread where the orderly stop may run. Child processes start
// with them unblocked.
void rcvStopSignalsBlock();
// Waits for SIGTERM or SIGINT and returns its number.
int rcvStopSignalWait();

// Exit code and request word of a mode (null word: no request).
int rcvShutdownExitCode(int mode);
const char* rcvShutdownRequestWord(int mode);
