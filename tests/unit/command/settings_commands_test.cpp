// The keys of the receiver settings as a user types them: replies, what is stored, and what
// follows a set (board forwarding, parameter-change event) and init.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../platform/temp_run_dir.h"
#include "command/input_parser.h"
#include "settings/nv_settings.h"
#include "settings/port_settings.h"
#include "command/settings_commands.h"
#include "platform/file_nvm.h"
#include "platform/ports/in_port.h"
#include "platform/ports/out_port.h"
#include "platform/ram_nvm.h"
#include "platform/rtos.h"
#include "unit/port_fakes.h"

namespace {

// Collects what the parser answers on port 17 (dev/tcp/a, free in a unit test).
class CapturePort : public OutPort {
 public:
  CapturePort() : OutPort(IOP_TCP_A) {}
  std::string text;

 protected:
  int devWrite(const void* data, int len, int) override {
    text.append(static_cast<const char*>(data), static_cast<std::size_t>(len));
    return len;
  }
};

class SettingsCommands : public TempRunDir {
 protected:
  void SetUp() override {
    TempRunDir::SetUp();
    FileNvmLoad();
    serdefs_NvAlloc();
    nv_readSettings();
    settingsCommandsInitOnce();
    OutPorts::ports_[IOP_TCP_A] = &port_;
  }
  void TearDown() override {
    OutPorts::ports_[IOP_TCP_A] = nullptr;
    TempRunDir::TearDown();
  }
  // Runs one command line from port 17 and returns the answer.
  std::string run(const std::string& line) {
    port_.text.clear();
    Locker<Mutex> l(printMutex);
    setCurTerm(IOP_TCP_A);
    newParse(line.data(), static_cast<int>(line.size()));
    return port_.text;
  }
  static std::string re(const std::string& body) {
    char h[8];
    std::snprintf(h, sizeof h, "RE%03X", static_cast<unsigned>(body.size()));
    return h + body + "\r\n";
  }
  // An "ER" answer carrying `id` ("%%" without one), the code and the error text.
  static std::string er(const std::string& body) { return "ER?" + body; }
  static bool same(const std::string& got, const std::string& want) {
    if (want.rfind("ER?", 0) != 0) return got == want;
    // "ER?%id%{code,text}": the text follows its code after the comma(s) of the error table.
    std::string body = want.substr(3);
    std::size_t brace = body.find('{'), comma = body.find(',');
    std::string head = body.substr(0, comma + 1), text = body.substr(comma + 1, body.size() - comma - 2);
    while (!text.empty() && text[0] == ',') text.erase(0, 1);
    return got.rfind("ER", 0) == 0 && got.size() > 5 && got.compare(5, head.size(), head) == 0 &&
           got.find(text + "}\r\n") != std::string::npos && brace != std::string::npos;
  }
  CapturePort port_;
};

TEST_F(SettingsCommands, RepliesOfThePortKeys) {
  const struct {
    const char* line;
    std::string want;
  } rows[] = {
      {"%a%set,/par/dev/ser/b/rate,9600", re("%a%")},
      {"print,/par/dev/ser/b/rate", re("9600")},
      {"%b%set,/par/dev/ser/b/rate,9601", er("%b%{5,,value out of range}")},
      {"set,/par/dev/ser/b/rate,0", er("%%{5,,value out of range}")},
      {"set,/par/dev/ser/b/rate", er("%%{6,,2nd parameter missed}")},
      {"print,/par/dev/ser/b/rate", re("9600")},
      {"set,/par/dev/ser/b/imode,rtcm3", ""},
      {"print,/par/dev/ser/b/imode", re("rtcm3")},
      {"set,/par/dev/ser/b/imode,nonsense", er("%%{7,,wrong 2nd parameter}")},
      {"print,/par/dev/ser/b", re("{imode=rtcm3,rate=9600}")},
      {"print,/par/dev/shm/a", re("{imode=zrt}")},
      {"set,/par/dev/shm/a/rate,9600", er("%%{3,,wrong 1st parameter}")},
      {"set,/par/dev/ser/x/imode,cmd", er("%%{3,,wrong 1st parameter}")},
      {"set,/par/dev/http/a/imode,cmd", er("%%{3,,wrong 1st parameter}")},
      {"print,/par/cur/term/imode", re("cmd")},
      {"print,/par/cur/term", re("{imode=cmd}")},
      {"set,/par/lband/mode,on", ""},
      {"print,/par/lband/mode", re("on")},
      {"set,/par/cpu/num,auto", ""},
      {"print,/par/cpu/num", re("auto")},
      {"set,/par/cpu/num,3", ""},
      {"print,/par/cpu/num", re("3")},
      {"set,/par/cpu/num,7", er("%%{7,,wrong 2nd parameter}")},
  };
  for (const auto& r : rows) {
    std::string got = run(r.line);
    EXPECT_TRUE(same(got, r.want)) << r.line << ": " << got;
  }
  EXPECT_EQ(PortSet.imode[IOP_SER_B], InPort::M_RTCM3);
  EXPECT_EQ(portSettingsRate(IOP_SER_B), 9600);
  EXPECT_EQ(RcvSet.lbandMode, 1);
  EXPECT_EQ(RcvSet.cpuNum, 3);
}

TEST_F(SettingsCommands, WholeDeviceTreePrints) {
  std::string all = run("print,/par/dev");
  EXPECT_EQ(all.rfind("RE", 0), 0u);
  EXPECT_NE(all.find("{ser={a={imode=cmd,rate=115200},b="), std::string::npos) << all;
  EXPECT_NE(all.find("shm={a={imode=zrt},"), std::string::npos) << all;
  EXPECT_NE(all.find("can={a={imode=cmd},b={imode=cmd}}}"), std::string::npos) << all;
}

TEST_F(SettingsCommands, SendingPortModeChangesItself) {
  EXPECT_EQ(run("set,/par/cur/term/imode,echo"), "");
  EXPECT_EQ(PortSet.imode[IOP_TCP_A], InPort::M_ECHO);
}

// A set of an open port's mode switches the port and writes the port record once; the same
// mode again writes it not at all.
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
  EXPECT_EQ(PortSet.imode[IOP_SER_B], InPort::M_RTCM3);
  EXPECT_EQ(writes("set,/par/dev/ser/b/imode,rtcm3"), others);
}

std::vector<std::string> g_events;

// Every set is offered to the GNSS board (which takes those it shares) and then announced.
TEST_F(SettingsCommands, SetIsStoredForwardedAndAnnounced) {
  g_events.clear();
  static int forwardResult = 0;
  cmdSetToSlaveHook([](const char* path, const ZRNamedNode*) {
    g_events.push_back(std::string("board ") + path);
    return forwardResult;
  });
  cmdSetParamChangedHook([](const char* path) { g_events.push_back(std::string("changed ") + path); });
  EXPECT_EQ(run("set,/par/lband/mode,on"), "");
  forwardResult = 34;
  // The board's refusal is the command's answer; the setting itself was made on this board.
  EXPECT_TRUE(same(run("set,/par/lband/mode,off"), er("%%{34,,command too long}")));
  EXPECT_EQ(RcvSet.lbandMode, 0);
  const std::vector<std::string> want = {"board lband/mode", "changed lband/mode", "board lband/mode",
                                         "changed lband/mode"};
  EXPECT_EQ(std::vector<std::string>(g_events.begin(), g_events.begin() + 4), want);
  // A set refused here reaches neither.
  g_events.clear();
  EXPECT_TRUE(same(run("set,/par/cpu/num,7"), er("%%{7,,wrong 2nd parameter}")));
  EXPECT_TRUE(g_events.empty());
  cmdSetToSlaveHook(nullptr);
  cmdSetParamChangedHook(nullptr);
}

// The layer that applies a setting may refuse it: its code is the answer and nothing is stored.
TEST_F(SettingsCommands, LayerRefusalLeavesTheStoredValue) {
  rcvSettingsHooks.cpuSetNum = [](int) { return 3; };
  rcvSettingsHooks.lbandSetMode = [](bool) { return 5; };
  EXPECT_TRUE(same(run("set,/par/cpu/num,0"), er("%%{3,,wrong 1st parameter}")));
  EXPECT_EQ(RcvSet.cpuNum, 5);
  EXPECT_TRUE(same(run("set,/par/lband/mode,on"), er("%%{5,,value out of range}")));
  EXPECT_EQ(RcvSet.lbandMode, 0);
}

TEST_F(SettingsCommands, InitRestoresEveryDefault) {
  static int boardDefaults = 0, layerDefaults = 0;
  cmdSetM2sDefaultsHook([] { ++boardDefaults; });
  cmdInitDefaultsAdd([] { ++layerDefaults; });
  run("set,/par/dev/ser/a/rate,4800;set,/par/dev/ser/c/imode,cmr;set,/par/cpu/num,0;set,/par/lband/mode,on");
  EXPECT_EQ(RcvSet.cpuNum, 0);
  EXPECT_EQ(run("%i%init,/par/"), re("%i%"));
  EXPECT_TRUE(same(run("init,/par/dev"), er("%%{3,,wrong 1st parameter}")));
  EXPECT_EQ(run("print,/par/dev/ser/a/rate"), re("115200"));
  EXPECT_EQ(run("print,/par/dev/ser/c/imode"), re("cmd"));
  EXPECT_EQ(run("print,/par/cpu/num"), re("auto"));
  EXPECT_EQ(run("print,/par/lband/mode"), re("off"));
  EXPECT_EQ(boardDefaults, 1);
  EXPECT_EQ(layerDefaults, 1);
  cmdSetM2sDefaultsHook(nullptr);
}

std::vector<std::pair<int, int>> g_dec;

TEST_F(SettingsCommands, DecoderStatusFollowsModeChanges) {
  g_dec.clear();
  cmdSetDecModeHook([](int p, int m) { g_dec.emplace_back(p, m); });
  run("set,/par/dev/ser/d/imode,rtcm3");
  run("set,/par/dev/ser/d/imode,rtcm3");  // no change, nothing told
  run("set,/par/dev/ser/d/imode,cmr");
  run("set,/par/dev/ser/d/imode,echo");
  const std::vector<std::pair<int, int>> want = {{3, InPort::M_RTCM3}, {3, InPort::M_CMR}, {3, 8}};
  EXPECT_EQ(g_dec, want);
  cmdSetDecModeHook(nullptr);
}

// init,/par/ takes every port back to its factory mode as a set would: the relays and the
// decoder status of each port it changes hear of it, the others hear nothing.
TEST_F(SettingsCommands, InitTellsTheFollowersOfEveryPortItChanges) {
  struct Case {
    const char* key;
    const char* mode;
    int port;
    int decPort;
  };
  const Case cases[] = {
      {"ser/d", "rtcm3", IOP_SER_D, 3},
      {"tcpcl/b", "cmr", IOP_TCPCL_A + 1, 18},
      {"usb/a", "echo", IOP_USB_A, 19},
  };
  for (const Case& c : cases) run(std::string("set,/par/dev/") + c.key + "/imode," + c.mode);
  g_events.clear();
  InPorts::afterModeChange_.set(
      [](int p, int m) { g_events.push_back("after " + std::to_string(p) + " " + std::to_string(m)); });
  cmdSetDecModeHook([](int p, int m) { g_events.push_back("status " + std::to_string(p) + " " + std::to_string(m)); });
  EXPECT_EQ(run("init,/par/"), "");
  InPorts::afterModeChange_.set(nullptr);
  cmdSetDecModeHook(nullptr);
  std::vector<std::string> want;
  for (const Case& c : cases) {
    want.push_back("after " + std::to_string(c.port) + " 0");
    want.push_back("status " + std::to_string(c.decPort) + " 8");
  }
  EXPECT_EQ(g_events, want);
}

// The followers of a port's mode hear of a change in this order: the base-data buffers before
// it, the relays after it, then the decoder status.
TEST_F(SettingsCommands, ModeChangeHooksRunInOrder) {
  g_events.clear();
  InPorts::beforeModeChange_.set([](int p, int m) {
    g_events.push_back("before " + std::to_string(p) + " " + std::to_string(m) + " old " +
                       std::to_string(portSettingsMode(p)));
  });
  InPorts::afterModeChange_.set([](int p, int m) {
    g_events.push_back("after " + std::to_string(p) + " " + std::to_string(m) + " now " +
                       std::to_string(portSettingsMode(p)));
  });
  cmdSetDecModeHook([](int p, int m) { g_events.push_back("status " + std::to_string(p) + " " + std::to_string(m)); });
  run("set,/par/dev/tcpcl/b/imode,rtcm");
  const std::vector<std::string> want = {"before 24 3 old 0", "after 24 3 now 3", "status 18 3"};
  EXPECT_EQ(g_events, want);
  InPorts::beforeModeChange_.set(nullptr);
  InPorts::afterModeChange_.set(nullptr);
  cmdSetDecModeHook(nullptr);
}

}  // namespace
