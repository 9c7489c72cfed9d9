// "em", "dm" and "print,/msg..." typed on a port: their answers and the message sets they leave.
#include "command/msg_verbs.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

#include "capture_port.h"
#include "output/output_manager.h"

namespace {

std::string re(const std::string& body) {
  char h[8];
  std::snprintf(h, sizeof h, "RE%03X", static_cast<unsigned>(body.size()));
  return h + body + "\r\n";
}

const std::string kWrong1st = "ER01A%%{3,,wrong 1st parameter}\r\n";
const std::string kMissed2nd = "ER01B%%{6,,2nd parameter missed}\r\n";
const std::string kWrong2nd = "ER01A%%{7,,wrong 2nd parameter}\r\n";

class MsgVerbs : public ::testing::Test {
 protected:
  void SetUp() override { omInitOnce(); }
  std::string set(const char* port) { return runLine(serA, std::string("print,/msg/") + port); }
  CapturePort serA{IOP_SER_A};
};

TEST_F(MsgVerbs, EnableAndDisableOnPorts) {
  const struct {
    const char* line;
    std::string reply;
    const char* serA;  // set of dev/ser/a afterwards
    const char* serB;
  } cases[] = {
      {"em,,zrt/{RT,ET}:1", "", "{zrt={RT=1,ET=1}}", "{}"},
      {"em,/dev/ser/b,zrt/RT:0", "", "{zrt={RT=1,ET=1}}", "{zrt={RT=0}}"},
      {"em, dev/ser/b ,zrt/{ET:2}", "", "{zrt={RT=1,ET=1}}", "{zrt={RT=0,ET=2}}"},
      {"dm,/dev/ser/b,zrt/RT", "", "{zrt={RT=1,ET=1}}", "{zrt={ET=2}}"},
      {"em,/dev/ser/x,zrt/RT", kWrong1st, "{zrt={RT=1,ET=1}}", "{zrt={ET=2}}"},
      {"em,/dev/null,zrt/RT", kWrong1st, "{zrt={RT=1,ET=1}}", "{zrt={ET=2}}"},
      {"em,{/dev/ser/b},zrt/RT", kWrong1st, "{zrt={RT=1,ET=1}}", "{zrt={ET=2}}"},
      {"em,,zrt/XX", kWrong2nd, "{zrt={RT=1,ET=1}}", "{zrt={ET=2}}"},
      {"em,,", kMissed2nd, "{zrt={RT=1,ET=1}}", "{zrt={ET=2}}"},
      {"em", kMissed2nd, "{zrt={RT=1,ET=1}}", "{zrt={ET=2}}"},
      {"%i%em,,zrt/RT;dm,,zrt/{RT}", re("%i%"), "{zrt={ET=1}}", "{zrt={ET=2}}"},
      {"dm,/cur/term", "", "{}", "{zrt={ET=2}}"},
      {"dm,/dev/ser/b", "", "{}", "{}"},
      {"em,,/msg/zrt/ET", "", "{zrt={ET=1}}", "{}"},
      {"dm", "", "{}", "{}"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(runLine(serA, c.line), c.reply) << c.line;
    EXPECT_EQ(set("dev/ser/a"), re(c.serA)) << c.line;
    EXPECT_EQ(set("dev/ser/b"), re(c.serB)) << c.line;
  }
}

TEST_F(MsgVerbs, PrintedSetsOfTheTerminalAndOfNamedPorts) {
  CapturePort usb(IOP_USB_A);
  ASSERT_EQ(runLine(usb, "em,,zrt/{RT,ET}:0.5"), "");
  const std::string usbSet = re("{zrt={RT=0.5,ET=0.5}}");
  EXPECT_EQ(runLine(usb, "print,/msg"), usbSet);
  EXPECT_EQ(runLine(usb, "%p%print,/msg/cur/term"), re("%p%{zrt={RT=0.5,ET=0.5}}"));
  EXPECT_EQ(runLine(serA, "get, /msg/dev/usb/a "), usbSet);
  EXPECT_EQ(runLine(serA, "print,/msg/dev/none"), kWrong1st);
  EXPECT_EQ(runLine(serA, "print,/msgs"), kWrong1st);
}

// A terminal that is no port (a command run at start-up) can only name ports.
TEST_F(MsgVerbs, NoCurrentTerminal) {
  Locker<Mutex> l(printMutex);
  setCurTerm(IOP_NULL);
  const std::string line = "em,,zrt/RT";
  EXPECT_EQ(newParse(line.data(), static_cast<int>(line.size())), 3);
}

TEST_F(MsgVerbs, RandomAndTruncatedListsAreAnsweredWithoutHarm) {
  std::mt19937 rng(23);
  const char alphabet[] = "emd,{}:/ \"zrtRTE@s0123.-;&|%\t";
  const std::string good = "em, /dev/ser/b ,/msg/zrt/{RT:1,ET,@@ts:0.5}:2";
  for (int i = 0; i < 4000; ++i) {
    std::string line;
    if (i % 3 == 0) {
      line = good.substr(0, rng() % (good.size() + 1));
    } else {
      line = (i % 2) ? "em," : "dm,";
      for (std::size_t k = rng() % 60; k > 0; --k) line += alphabet[rng() % (sizeof alphabet - 1)];
    }
    const std::string out = runLine(serA, line);
    EXPECT_TRUE(out.empty() || out.rfind("RE", 0) == 0 || out.rfind("ER", 0) == 0) << line << " -> " << out;
  }
  EXPECT_EQ(runLine(serA, "dm,/dev/ser/b"), "");
  EXPECT_EQ(set("dev/ser/b"), re("{}"));
}

}  // namespace
