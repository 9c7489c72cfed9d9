// The keys of the receiver settings as a user types them: replies, what is stored, and what
// follows a set (board forwarding, parameter-change event, mode followers) and init.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture_port.h"
#include "command/settings_commands.h"
#include "platform/file_nvm.h"
#include "platform/ram_nvm.h"
#include "settings/nv_settings.h"
#include "settings/port_settings.h"
#include "unit/platform/temp_run_dir.h"

namespace {

// What the followers of a set hear, and the answers the board and the applying layer give.
using std::to_string;
std::vector<std::string> g_events;
int g_board = 0, g_layer = 0, g_boardDefaults = 0, g_layerDefaults = 0;
void note(const std::string& what, int a, int b) {
  g_events.push_back(what + " " + to_string(a) + " " + to_string(b));
}

class SettingsCommands : public TempRunDir {
 protected:
  void SetUp() override {
    TempRunDir::SetUp();
    g_events.clear();
    g_board = g_layer = g_boardDefaults = g_layerDefaults = 0;
    FileNvmLoad();
    serdefs_NvAlloc();
    nv_readSettings();
    settingsCommandsInitOnce();
    cmdToSlaveHook = [](const char* path, const ZRNamedNode*) {
      g_events.push_back(std::string("board ") + path);
      return g_board;
    };
    cmdParamChangedHook = [](const char* path) { g_events.push_back(std::string("changed ") + path); };
    cmdDecModeHook = [](int p, int m) { note("status", p, m); };
    InPorts::beforeModeChange_.set([](int p, int m) { note("before " + to_string(p), m, portSettingsMode(p)); });
    InPorts::afterModeChange_.set([](int p, int m) { note("after " + to_string(p), m, portSettingsMode(p)); });
    rcvSettingsHooks.cpuSetNum = [](int) { return g_layer; };
    rcvSettingsHooks.lbandSetMode = [](bool) { return g_layer; };
    cmdM2sDefaultsHook = [] { ++g_boardDefaults; };
    static const bool added = cmdInitDefaultsHooks.add([] { ++g_layerDefaults; });
    EXPECT_TRUE(added);
  }
  std::string run(const std::string& line) { return runLine(port_, line); }
  CapturePort port_{IOP_TCP_A};  // dev/tcp/a: free in a unit test
};

// Rows run in order; init,/par/ at the end takes back every change before it.
TEST_F(SettingsCommands, RepliesOfThePortKeysAndInit) {
  const struct {
    const char* line;
    std::string want;
  } rows[] = {
      {"%a%set,/par/dev/ser/b/rate,9600", re("%a%")},
      {"%b%set,/par/dev/ser/b/rate,9601", er("%b%{5,,value out of range}")},
      {"set,/par/dev/ser/b/rate,0", er("%%{5,,value out of range}")},
      {"set,/par/dev/ser/b/imode,rtcm3;print,/par/dev/ser/b", re("{imode=rtcm3,rate=9600}")},
      {"set,/par/dev/ser/b/imode,nonsense", er("%%{7,,wrong 2nd parameter}")},
      {"print,/par/dev/ser/b/imode", re("rtcm3")},    {"print,/par/dev/shm/a", re("{imode=zrt}")},
      {"set,/par/dev/shm/a/rate,9600", er("%%{3,,wrong 1st parameter}")},
      {"set,/par/dev/ser/x/imode,cmd", er("%%{3,,wrong 1st parameter}")},
      {"set,/par/dev/http/a/imode,cmd", er("%%{3,,wrong 1st parameter}")},
      {"print,/par/cur/term", re("{imode=cmd}")},
      {"set,/par/cur/term/imode,echo;print,/par/cur/term/imode", re("echo")},
      {"set,/par/lband/mode,on;print,/par/lband/mode", re("on")},
      {"set,/par/cpu/num,auto;print,/par/cpu/num", re("auto")}, {"set,/par/cpu/num,3;print,/par/cpu/num", re("3")},
      {"set,/par/cpu/num,7", er("%%{7,,wrong 2nd parameter}")}, {"init,/par/dev", er("%%{3,,wrong 1st parameter}")},
      {"%i%init,/par/", re("%i%")},
      {"print,/par/dev/ser/b;print,/par/cur/term/imode;print,/par/lband/mode;print,/par/cpu/num",
       re("{imode=cmd,rate=115200}") + re("cmd") + re("off") + re("auto")},
  };
  for (const auto& r : rows) EXPECT_EQ(run(r.line), r.want) << r.line;
  EXPECT_EQ(g_boardDefaults, 1);
  EXPECT_EQ(g_layerDefaults, 1);
  const std::string all = run("print,/par/dev");
  for (const char* part : {"RE", "{ser={a={imode=cmd,rate=115200},b=", "shm={a={imode=zrt},",
                           "can={a={imode=cmd,rate=125,sid={in={cnt=8,first=1792},out={cnt=8,first=1792}}},b={imode=cmd,"})
    EXPECT_NE(all.find(part), std::string::npos) << part << " in " << all;
}

// An open port is switched and its record written once; the same mode again writes nothing.
TEST_F(SettingsCommands, AnOpenPortIsSwitchedAndItsModeStoredOnce) {
  testports::ScriptPort serB(IOP_SER_B);
  auto writes = [&](const char* line) {
    const std::uint32_t before = RamNvm::changes();
    EXPECT_EQ(run(line), "") << line;
    return RamNvm::changes() - before;
  };
  const std::uint32_t others = writes("set,/par/lband/mode,on");  // the receiver's own blocks
  EXPECT_EQ(writes("set,/par/dev/ser/b/imode,rtcm3"), others + 1);
  EXPECT_EQ(serB.mode(), InPort::M_RTCM3);
  EXPECT_EQ(writes("set,/par/dev/ser/b/imode,rtcm3"), others);
}

// Every set made here is offered to the GNSS board and then announced; the board's refusal is
// the answer, and the setting goes back to what it was. A set refused here (for its value or by the layer
// that applies it) reaches neither. A port's mode followers hear of a change in this order: the
// base-data buffers before it, the relays after it, then the decoder status (8: no decoder mode);
// init,/par/ takes each port back to its factory mode the same way.
TEST_F(SettingsCommands, WhatFollowsASet) {
  const struct {
    const char* line;
    int board, layer;
    std::string reply;
    std::vector<std::string> events;  // before: new and old mode; after: new and stored mode
  } rows[] = {
      {"set,/par/lband/mode,on", 0, 0, "", {"board lband/mode", "changed lband/mode"}},
      {"set,/par/lband/mode,off", 34, 0, er("%%{34,,command too long}"),
       {"board lband/mode", "changed lband/mode"}},
      {"set,/par/cpu/num,7", 0, 0, er("%%{7,,wrong 2nd parameter}"), {}},
      {"set,/par/cpu/num,0", 0, 3, er("%%{3,,wrong 1st parameter}"), {}},
      {"set,/par/lband/mode,on", 0, 5, er("%%{5,,value out of range}"), {}},
      {"print,/par/cpu/num;print,/par/lband/mode", 0, 0, re("auto") + re("on"), {}},
      {"set,/par/dev/tcpcl/b/imode,rtcm", 0, 0, "",
       {"before 24 3 0", "after 24 3 3", "status 18 3", "board dev/tcpcl/b/imode", "changed dev/tcpcl/b/imode"}},
      {"set,/par/dev/ser/d/imode,rtcm3", 0, 0, "",
       {"before 8 4 0", "after 8 4 4", "status 3 4", "board dev/ser/d/imode", "changed dev/ser/d/imode"}},
      {"set,/par/dev/ser/d/imode,rtcm3", 0, 0, "", {"board dev/ser/d/imode", "changed dev/ser/d/imode"}},
      {"set,/par/dev/ser/d/imode,cmr", 0, 0, "",
       {"before 8 5 4", "after 8 5 5", "status 3 5", "board dev/ser/d/imode", "changed dev/ser/d/imode"}},
      {"set,/par/dev/usb/a/imode,echo", 0, 0, "",
       {"before 40 1 0", "after 40 1 1", "status 19 8", "board dev/usb/a/imode", "changed dev/usb/a/imode"}},
      {"init,/par/", 0, 0, "",
       {"before 8 0 5", "after 8 0 0", "status 3 8", "before 24 0 3", "after 24 0 0", "status 18 8",
        "before 40 0 1", "after 40 0 0", "status 19 8", "changed "}},
  };
  for (const auto& r : rows) {
    g_events.clear();
    g_board = r.board;
    g_layer = r.layer;
    EXPECT_EQ(run(r.line), r.reply) << r.line;
    EXPECT_EQ(g_events, r.events) << r.line;
  }
}

}  // namespace
