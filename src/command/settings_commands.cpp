#include "command/settings_commands.h"

#include <cstdio>
#include <cstring>

#include "command/can_keys.h"
#include "command/cmd_hooks.h"
#include "command/input_parser.h"
#include "command/param_engine.h"
#include "command/result_codes.h"
#include "settings/nv_settings.h"
#include "settings/port_settings.h"
#include "command/values.h"
#include "platform/ports/in_port.h"
#include "platform/ports/serial_driver.h"
#include "platform/ports/serial_ports.h"

HookList<void(), kMaxAreaRegistrars> cmdAreaRegistrars("command", "cmdAreaRegistrars");
Hook<int(const char* path, const ZRNamedNode* value)> cmdToSlaveHook("command", "cmdToSlaveHook");
Hook<int(const char* path, const ZRNamedNode* value)> cmdToSlaveCheckHook("command", "cmdToSlaveCheckHook");
Hook<void(const char* path)> cmdParamChangedHook("command", "cmdParamChangedHook");
Hook<void()> cmdM2sDefaultsHook("command", "cmdM2sDefaultsHook");
HookList<void()> cmdInitDefaultsHooks("command", "cmdInitDefaultsHooks");
Hook<void(int decPort, int mode)> cmdDecModeHook("command", "cmdDecModeHook");

namespace {

// "cmd,echo,zrt,..." in mode order.
char g_modeWords[128];

const char* modeWords() {
  if (!g_modeWords[0]) {
    std::size_t at = 0;
    for (int m = 0; m < InPort::MODE_NUM; ++m) {
      int n = std::snprintf(g_modeWords + at, sizeof g_modeWords - at, "%s%s", m ? "," : "", InPort::modeNames_[m]);
      if (n > 0) at += static_cast<std::size_t>(n);
    }
  }
  return g_modeWords;
}

bool isDecoderMode(int mode) {
  switch (mode) {
    case InPort::M_ZRT:
    case InPort::M_RTCM:
    case InPort::M_RTCM3:
    case InPort::M_CMR:
    case InPort::M_GBAS:
    case InPort::M_SISNET:
    case InPort::M_AUTO: return true;
    default: return false;
  }
}

// Ports that take input: those with a decoder port.
bool hasInput(int port) { return port >= 0 && port < IOP_NULL && InPorts::io2dec_[port] >= 0; }

bool isSerial(int port) { return port >= IOP_SER_A && port <= IOP_SER_D; }

int currentMode(int port) {
  if (InPort* p = InPorts::ports_[port]) return p->mode();
  return portSettingsMode(port);
}

struct Family {
  const char* name;
  int first;
  int count;
};
const Family kFamilies[] = {{"ser", IOP_SER_A, 4},     {"shm", IOP_SHM_A, kBoardLinkCount}, {"tcp", IOP_TCP_A, 5},
                            {"tcpcl", IOP_TCPCL_A, 2}, {"usb", IOP_USB_A, 1},               {"can", IOP_CAN_A, 2}};

// Port and family being printed (the parser runs one command at a time).
int g_port = IOP_NULL;
const Family* g_family = nullptr;

int setRate(int port, const ZRNamedNode* v) {
  int baud = 0;
  if (int rc = setInt(v, baud, 1, 100000000)) return rc;
  if (rsCodeOfBaud(baud) < 0) return CMD_OUT_OF_RANGE;
  return portSettingsSetRate(port, baud) ? CMD_OK : CMD_OUT_OF_RANGE;
}

int setPortKey(int port, const char* key, const ZRNamedNode* v) {
  if (!hasInput(port)) return CMD_WRONG_1ST;
  if (std::strcmp(key, "imode") == 0) {
    int mode = currentMode(port);
    if (int rc = setEnum(v, mode, modeWords())) return rc;
    return cmdSetPortMode(port, mode);
  }
  if (std::strcmp(key, "rate") == 0 && isSerial(port)) return setRate(port, v);
  return CMD_WRONG_1ST;
}

// "ser/b/imode" below dev/: the port and its key.
int devcSet(const char* p, const ZRNamedNode* v) {
  if (int rc = canKeysSet(p, v); rc != CMD_WRONG_1ST) return rc;
  const char* slash = std::strrchr(p, '/');
  if (!slash) return CMD_WRONG_1ST;
  char name[32];
  int n = std::snprintf(name, sizeof name, "dev/%.*s", static_cast<int>(slash - p), p);
  if (n <= 0 || n >= static_cast<int>(sizeof name)) return CMD_WRONG_1ST;
  int port = iopFind(name);
  if (port >= IOP_NULL) return CMD_WRONG_1ST;
  return setPortKey(port, slash + 1, v);
}

int curcSet(const char* p, const ZRNamedNode* v) {
  if (std::strcmp(p, "term/imode") != 0) return CMD_WRONG_1ST;
  return setPortKey(curTermNum(), "imode", v);
}

int portKeysPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "imode")) rc = reEnum(re, currentMode(g_port), modeWords());
  if (isSerial(g_port) && strcmpA(p, "rate")) rc = reLong(re, portSettingsRate(g_port));
  if (g_port == IOP_CAN_A || g_port == IOP_CAN_B) {
    if (int r = canKeysPrint(g_port - IOP_CAN_A, p, re); r != CMD_WRONG_1ST) rc = r;
  }
  return rc;
}

int familyPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  const Family* f = g_family;
  for (int i = 0; i < f->count; ++i) {
    const char letter[2] = {static_cast<char>('a' + i), 0};
    if (const char* r = strncmpA(p, letter)) {
      g_port = f->first + i;
      rc = reSub(portKeysPrint, r, re);
    }
  }
  return rc;
}

int devcPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  for (const Family& f : kFamilies) {
    if (const char* r = strncmpA(p, f.name)) {
      g_family = &f;
      rc = reSub(familyPrint, r, re);
    }
  }
  return rc;
}

int termPrint(const char* p, Reply& re) {
  g_port = curTermNum();
  if (!hasInput(g_port)) return CMD_WRONG_1ST;
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "imode")) rc = reEnum(re, currentMode(g_port), modeWords());
  return rc;
}

int curcPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (const char* r = strncmpA(p, "term")) rc = reSub(termPrint, r, re);
  return rc;
}

int lbandcSet(const char* p, const ZRNamedNode* v) {
  if (std::strcmp(p, "mode") != 0) return CMD_WRONG_1ST;
  bool on = RcvSet.lbandMode != 0;
  if (int rc = setBool(v, on)) return rc;
  if (int rc = rcvSettingsHooks.lbandSetMode(on)) return rc;
  RcvSet.lbandMode = on ? 1 : 0;
  return CMD_OK;
}

int lbandcPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "mode")) rc = reBool(re, RcvSet.lbandMode != 0);
  return rc;
}

constexpr const char* kCpuWords = "0,1,2,3,4,auto";

int cpucSet(const char* p, const ZRNamedNode* v) {
  if (std::strcmp(p, "num") != 0) return CMD_WRONG_1ST;
  int n = RcvSet.cpuNum;
  if (int rc = setEnum(v, n, kCpuWords)) return rc;
  if (int rc = rcvSettingsHooks.cpuSetNum(n)) return rc;
  RcvSet.cpuNum = static_cast<std::uint8_t>(n);
  return CMD_OK;
}

int cpucPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "num")) rc = reEnum(re, RcvSet.cpuNum, kCpuWords);
  return rc;
}

// "init,/par/" (the target with or without its last slash); no other target is known.
int initVerb(const char* body, int len, int, char* text, int textSize) {
  if (textSize > 0) text[0] = 0;
  int b = 0;
  while (b < len && body[b] != ',') ++b;
  if (b >= len) return CMD_1ST_MISSED;
  ++b;
  int e = b;
  while (e < len && body[e] != ',') ++e;
  while (b < e && body[b] == ' ') ++b;
  while (e > b && (body[e - 1] == ' ' || body[e - 1] == '/')) --e;
  if (e == b) return CMD_1ST_MISSED;
  if (e - b != 4 || std::strncmp(body + b, "/par", 4) != 0) return CMD_WRONG_1ST;
  nv_defaultSettings();
  // Each port goes back to its factory mode as a set would take it there, so that the
  // followers of its mode (relays, decoder status) hear of the change.
  for (int port = 0; port < IOP_NULL; ++port) {
    if (hasInput(port)) cmdSetPortMode(port, InPort::factoryMode(port));
  }
  portSettingsDefaults();
  canKeysDefaults();
  cmdInitDefaultsHooks();
  cmdM2sDefaultsHook();
  cmdParamChangedHook("");
  return CMD_OK;
}

}  // namespace

int cmdSetPortMode(int port, int mode) {
  if (!hasInput(port) || mode < 0 || mode >= InPort::MODE_NUM) return CMD_WRONG_1ST;
  int old = currentMode(port);
  if (InPort* p = InPorts::ports_[port]) {
    p->setMode(mode);
    portSettingsStoreMode(port, mode);
  } else {
    // A port whose device is not open yet: its stored mode is its mode, and its followers still
    // hear of the change.
    if (old != mode) InPorts::beforeModeChange_(port, mode);
    portSettingsStoreMode(port, mode);
    if (old != mode) InPorts::afterModeChange_(port, mode);
  }
  if (old != mode) cmdDecModeHook(InPorts::io2dec_[port], isDecoderMode(mode) ? mode : 8);
  return CMD_OK;
}

void cmdStoreSettings() {
  nv_writeRcvSettings();
  nv_writeNavSettings();
  nv_writeRtcmSettings();
}

int cmdAfterSet(const char* path, const ZRNamedNode* value) {
  cmdStoreSettings();
  const int rc = cmdToSlaveHook(path, value);
  cmdParamChangedHook(path);
  return rc;
}

void cmdSetToSlaveHook(CmdToSlaveFn fn) { cmdToSlaveHook = fn; }
void cmdSetParamChangedHook(ParamChangedFn fn) { cmdParamChangedHook = fn; }
void cmdSetM2sDefaultsHook(M2sDefaultsFn fn) { cmdM2sDefaultsHook = fn; }
void cmdSetDecModeHook(SetDecModeFn fn) { cmdDecModeHook = fn; }

bool cmdInitDefaultsAdd(InitDefaultsFn fn) { return cmdInitDefaultsHooks.add(fn); }

void settingsCommandsInitOnce() {
  static bool done = false;
  if (done) return;
  done = true;
  modeWords();
  parRegisterArea("dev", devcSet, devcPrint);
  parRegisterArea("cur", curcSet, curcPrint);
  parRegisterArea("lband", lbandcSet, lbandcPrint);
  parRegisterArea("cpu", cpucSet, cpucPrint);
  cmdRegisterVerb("init", initVerb);
  cmdAreaRegistrars();
}
