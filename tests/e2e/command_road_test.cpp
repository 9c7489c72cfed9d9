// A command typed on a port of the running program is parsed, run and answered on that port.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "e2e/harness.h"
#include "e2e/port_reader.h"

namespace {

// The checksum of the native format, from its definition: XOR the byte in, rotate left by two.
std::string withChecksum(const std::string& s) {
  unsigned c = 0;
  for (unsigned char b : s) {
    c ^= b;
    c = ((c << 2) | (c >> 6)) & 0xFF;
  }
  char buf[8];
  std::snprintf(buf, sizeof buf, "@%02X", c);
  return s + buf;
}

std::string frame(const char* id2, const std::string& body) {
  char head[8];
  std::snprintf(head, sizeof head, "%s%03X", id2, static_cast<unsigned>(body.size()));
  return head + body + "\r\n";
}

class CommandRoad : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.write("host/etc/rxengine/serial-number", "SN0042\n"));
    ASSERT_TRUE(dir.write("host/etc/rxengine/receiver-id", "0A1B2C3D\n"));
    ASSERT_TRUE(rx.start());
    ASSERT_TRUE(rx.waitReady()) << rx.stderrText();
  }
  void TearDown() override {
    const std::string err = rx.stderrText();
    EXPECT_EQ(err.find("AddressSanitizer"), std::string::npos) << err;
    EXPECT_EQ(err.find("runtime error"), std::string::npos) << err;
  }
  e2e::RunDir dir;
  e2e::Rxengine rx{dir};
};

TEST_F(CommandRoad, GrammarAndReplies) {
  e2e::PortReader port(dir.file("dev/ser/a"));
  ASSERT_TRUE(port.ok());
  EXPECT_EQ(port.ask("%abc%"), "RE005%abc%\r\n");
  EXPECT_EQ(port.ask("%q%frobnicate,/par/rcv"), frame("ER", "%q%{1,,wrong command}"));
  EXPECT_EQ(port.ask("%c%print,/par/rcv/ver@00"), frame("ER", "%c%{2,,wrong checksum}"));
  EXPECT_EQ(port.ask(withChecksum("%c%print,/par/rcv/sn")), frame("RE", "%c%SN0042"));
  // Both parts of "a;b" are answered, in order.
  ASSERT_TRUE(port.send("a;b"));
  EXPECT_EQ(port.next(), frame("ER", "%%{1,,wrong command}"));
  EXPECT_EQ(port.next(), frame("ER", "%%{1,,wrong command}"));
  // A failing part: "&&" skips what follows, "||" runs it. The marker after ";" shows where
  // the answers of the line end.
  ASSERT_TRUE(port.send("bad&&%skipped%;%end1%"));
  EXPECT_EQ(port.next(), frame("ER", "%%{1,,wrong command}"));
  EXPECT_EQ(port.next(), "RE006%end1%\r\n");
  ASSERT_TRUE(port.send("bad||%ran%"));
  EXPECT_EQ(port.next(), frame("ER", "%%{1,,wrong command}"));
  EXPECT_EQ(port.next(), "RE005%ran%\r\n");
  // A successful command without id and without printed text answers nothing at all.
  ASSERT_TRUE(port.send("set,/par/rcv/reboot,no"));
  EXPECT_EQ(port.ask("%mark%"), "RE006%mark%\r\n");
}

TEST_F(CommandRoad, IdentityArea) {
  e2e::PortReader port(dir.file("dev/usb/a"));
  ASSERT_TRUE(port.ok());
  const std::string all = port.ask("print,/par/rcv");
  ASSERT_EQ(all.compare(0, 2, "RE"), 0) << all;
  const std::string body = all.substr(5, all.size() - 7);
  EXPECT_EQ(body.front(), '{');
  EXPECT_EQ(body.back(), '}');
  EXPECT_NE(body.find("ver=0.1.0"), std::string::npos) << body;
  EXPECT_NE(body.find("id=0A1B2C3D"), std::string::npos) << body;
  EXPECT_NE(body.find("sn=SN0042"), std::string::npos) << body;
  EXPECT_EQ(port.ask("print,/par/rcv/id"), frame("RE", "0A1B2C3D"));
  EXPECT_EQ(port.ask("%i%get,/par/rcv/ver"), frame("RE", "%i%0.1.0"));
  EXPECT_EQ(port.ask("print,/par/rcv/nothing"), frame("ER", "%%{3,,wrong 1st parameter}"));
  EXPECT_EQ(port.ask("print,/par/nowhere"), frame("ER", "%%{3,,wrong 1st parameter}"));
  EXPECT_EQ(port.ask("set,/par/rcv/sn,X"), frame("ER", "%%{12,,read only}"));
  EXPECT_EQ(port.ask("set,/par/rcv/power"), frame("ER", "%%{6,,2nd parameter missed}"));
  EXPECT_EQ(port.ask("set,/par/rcv/reboot,perhaps"), frame("ER", "%%{7,,wrong 2nd parameter}"));
  // The whole tree holds the area.
  const std::string tree = port.ask("print,/par/");
  EXPECT_NE(tree.find("rcv={ver=0.1.0,"), std::string::npos) << tree;
}

TEST_F(CommandRoad, FourPortsAtOnceGetTheirOwnRepliesWholeAndInOrder) {
  const char* const links[] = {"dev/ser/a", "dev/ser/b", "dev/ser/d", "dev/usb/a"};
  constexpr int kCommands = 50;
  std::vector<std::string> failures(4);
  std::vector<std::thread> users;
  for (int p = 0; p < 4; ++p) {
    users.emplace_back([&, p] {
      e2e::PortReader port(dir.file(links[p]));
      if (!port.ok()) {
        failures[static_cast<std::size_t>(p)] = "cannot open";
        return;
      }
      std::string burst;
      for (int i = 0; i < kCommands; ++i) {
        burst += "%p" + std::to_string(p) + "n" + std::to_string(i) + "%print,/par/rcv" +
                 (i % 2 ? "/ver" : "") + "\r\n";
      }
      if (!port.sendRaw(burst)) failures[static_cast<std::size_t>(p)] = "cannot write";
      for (int i = 0; i < kCommands; ++i) {
        std::string m = port.next();
        std::string id = "%p" + std::to_string(p) + "n" + std::to_string(i) + "%";
        std::string want = i % 2 ? frame("RE", id + "0.1.0") : "";
        bool good = m.compare(0, 2, "RE") == 0 && m.compare(5, id.size(), id) == 0 &&
                    (want.empty() ? m.find("{ver=0.1.0,") != std::string::npos : m == want);
        if (!good) {
          failures[static_cast<std::size_t>(p)] = "reply " + std::to_string(i) + ": " + m;
          return;
        }
      }
    });
  }
  for (auto& t : users) t.join();
  for (int p = 0; p < 4; ++p) EXPECT_EQ(failures[static_cast<std::size_t>(p)], "") << links[p];
}

TEST_F(CommandRoad, RandomBytesAndOverLongLinesHarmNothing) {
  e2e::PortReader port(dir.file("dev/ser/c"));
  ASSERT_TRUE(port.ok());
  std::mt19937 rng(20261206);
  // A second reader drains the answers while the lines go in.
  std::atomic<bool> done{false};
  std::atomic<bool> sawMarker{false};
  std::atomic<int> messages{0};
  std::atomic<int> tooLong{0};
  std::string bad;
  std::thread drain([&] {
    while (!done.load()) {
      std::string m = port.next(200);
      if (m.empty()) continue;
      if (m.compare(0, 4, "BAD:") == 0) bad = m;
      if (m == frame("ER", "%%{34,,command too long}")) ++tooLong;
      if (m == "RE004%ok%\r\n") sawMarker = true;
      ++messages;
    }
  });
  std::string chunk;
  for (int i = 0; i < 10000; ++i) {
    std::size_t len = rng() % 120;
    for (std::size_t k = 0; k < len; ++k) {
      char c = static_cast<char>(rng());
      if (c == '\r' || c == '\n') c = ' ';
      chunk += c;
    }
    chunk += '\n';
    if (chunk.size() > 8192) {
      ASSERT_TRUE(port.sendRaw(chunk));
      chunk.clear();
    }
  }
  ASSERT_TRUE(port.sendRaw(chunk));
  const std::string longLine(5000, 'x');
  for (int i = 0; i < 20; ++i) ASSERT_TRUE(port.sendRaw("%L%set," + longLine + "\r\n"));
  ASSERT_TRUE(port.sendRaw("%ok%\r\n"));
  // The marker comes back after everything before it was answered.
  bool marker = e2e::waitUntil([&] { return sawMarker.load(); });
  done = true;
  drain.join();
  ASSERT_TRUE(marker) << messages.load() << " messages";
  EXPECT_EQ(bad, "");
  EXPECT_EQ(tooLong.load(), 20);
  EXPECT_EQ(port.ask("%after%"), "RE007%after%\r\n");
  EXPECT_TRUE(rx.running());
}

TEST_F(CommandRoad, OverLongLineIsAnsweredAndNotCutIntoAnotherCommand) {
  e2e::PortReader port(dir.file("dev/ser/a"));
  ASSERT_TRUE(port.ok());
  // Were the line cut at any length, its tail would be a command of its own.
  std::string line = "%x%print,/par/rcv/ver;" + std::string(5000, ' ') + ";%tail%";
  EXPECT_EQ(port.ask(line), frame("ER", "%%{34,,command too long}"));
  EXPECT_EQ(port.ask("%next%"), "RE006%next%\r\n");
}

struct ShutdownCase {
  const char* command;
  int code;
  const char* request;  // null: no request file
};

class Shutdown : public ::testing::TestWithParam<ShutdownCase> {};

TEST_P(Shutdown, KeysEndTheProgramWithTheirCode) {
  const ShutdownCase& c = GetParam();
  e2e::RunDir dir;
  e2e::Rxengine rx(dir);
  ASSERT_TRUE(rx.start());
  ASSERT_TRUE(rx.waitReady()) << rx.stderrText();
  e2e::PortReader port(dir.file("dev/ser/b"));
  ASSERT_TRUE(port.ok());
  ASSERT_TRUE(port.send(c.command));
  // The command is answered before the program goes (nothing to say without an id).
  if (c.command[0] == '%') {
    EXPECT_EQ(port.next(), "RE003%p%\r\n");
  }
  e2e::ExitStatus st;
  ASSERT_TRUE(rx.waitExit(st)) << rx.stderrText();
  EXPECT_TRUE(st.exited);
  EXPECT_EQ(st.code, c.code) << rx.stderrText();
  if (c.request) {
    EXPECT_EQ(dir.read("host/var/run/rxengine-request"), c.request);
  } else {
    EXPECT_FALSE(dir.exists("host/var/run/rxengine-request"));
  }
  EXPECT_EQ(dir.size(".gnss.nvm"), 524288);
}

INSTANTIATE_TEST_SUITE_P(Keys, Shutdown,
                         ::testing::Values(ShutdownCase{"set,/par/rcv/reboot,yes", 127, "reboot"},
                                           ShutdownCase{"%p%set,/par/rcv/power,off", 128,
                                                        "power_off"},
                                           ShutdownCase{"set,/par/rcv/restart,y", 0, nullptr}),
                         [](const ::testing::TestParamInfo<ShutdownCase>& i) {
                           return std::string(i.param.code == 127   ? "Reboot"
                                              : i.param.code == 128 ? "PowerOff"
                                                                    : "Restart");
                         });

}  // namespace
