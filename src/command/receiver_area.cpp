// The receiver area /par/rcv/: who the receiver is, and the keys that end it.
//   ver     firmware version (print)      model   receiver type (print)
//   id      receiver ID (print)           sn      serial number (print)
//   host    host name (print)
//   reboot  set to "yes": reboot the receiver
//   restart set to "yes": restart the program
//   power   prints "on"; set to "off": power the receiver off
#include <atomic>

#include "command/input_parser.h"
#include "command/param_engine.h"
#include "command/result_codes.h"
#include "command/values.h"
#include "platform/identity.h"
#include "platform/shutdown.h"

namespace {

// Set by a command that ends the program: its answer goes out in the shutdown's answer step.
std::atomic<bool> g_asked{false};

int shutdownIf(bool go, int mode) {
  if (!go) return CMD_OK;
  g_asked = true;
  rcvShutdown(mode, nullptr, kNoWakeup, false);
}

int rcvcSet(const char* p, const ZRNamedNode* v) {
  bool yes = false;
  if (strcmpA(p, "reboot") || strcmpA(p, "restart")) {
    if (int rc = setBool(v, yes)) return rc;
    return shutdownIf(yes, strcmpA(p, "reboot") ? kShutReboot : kShutRestart);
  }
  if (strcmpA(p, "power")) {
    int on = 1;
    if (int rc = setEnum(v, on, "off,on")) return rc;
    return shutdownIf(on == 0, kShutPowerOff);
  }
  if (strcmpA(p, "ver") || strcmpA(p, "model") || strcmpA(p, "id") || strcmpA(p, "sn") ||
      strcmpA(p, "host"))
    return CMD_READ_ONLY;
  return CMD_WRONG_1ST;
}

int rcvcPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "ver")) rc = reString(re, vernum);
  if (strcmpA(p, "model")) rc = reString(re, igsRcvName);
  if (strcmpA(p, "id")) rc = reString(re, rcvId);
  if (strcmpA(p, "sn")) rc = reString(re, sernum);
  if (strcmpA(p, "host")) rc = reString(re, rcvHostName);
  if (strcmpA(p, "power")) rc = reBool(re, true);
  return rc;
}

}  // namespace

void cmdAnswerShutdown(const ShutdownRequest&) {
  if (g_asked) cmdAnswerNow(CMD_OK);
}

void registerReceiverArea() { parRegisterArea("rcv", rcvcSet, rcvcPrint); }
