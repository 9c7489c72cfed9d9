// The PPS outputs' and event inputs' keys on a serial port with the simulated board: each answer
// and what reaches the board, an event record's lock byte, and the settings across a restart, a
// kill after the next save, SIGTERM and init,/par/.
#include <csignal>

#include "e2e/harness.h"

namespace e2e {
namespace {

using PpsEventKeys = Rx;

const std::string kPpsDefault =
    "{out=off,per={ms=1000},offs={ms=0,ns=0},edge=rise,mper=0,len=2000000,mlen=3000000,time=utc,tied=on,rfdel=on}";
const std::string kEventDefault = "{time=utc,in=off,edge=rise,imp=high,tied=on,rfdel=on,lock=off,offs={ns=0},locked=off}";

bool refusedWith(const std::string& reply, int code) {
  return reply.rfind("ER", 0) == 0 && reply.find("{" + std::to_string(code) + ",") != std::string::npos;
}

// Value of a reply "RE<len><body>".
std::string body(const std::string& reply) {
  return reply.size() >= 7 && reply.rfind("RE", 0) == 0 ? reply.substr(5, reply.size() - 7) : reply;
}

std::string boardValue(const RunDir& dir, int sims, const std::string& key) {
  const auto s = boardSettings(dir.read("sim" + std::to_string(sims) + ".log"));
  const auto it = s.find(key);
  return it == s.end() ? "?" : it->second;
}

TEST_F(PpsEventKeys, AnswersBoardLinesLockAndRestart) {
  ASSERT_NO_FATAL_FAILURE(startSim({"--event-file", dir_.file("event.go")}));
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/dev/pps"), re("{a=" + kPpsDefault + ",b=" + kPpsDefault + "}"));
  EXPECT_EQ(ask("print,/par/dev/event"), re("{a=" + kEventDefault + ",b=" + kEventDefault + "}"));
  // key, value (null: none), the refusal's code (0: taken), what prints after (null: not asked).
  const struct {
    const char *key, *value;
    int code;
    const char* after;
  } rows[] = {
      {"pps/a/per/ms", "9", 5, "1000"},     {"pps/a/per/ms", "10", 0, "10"},       {"pps/b/mper", "19", 5, "0"},
      {"pps/b/mper", "0", 0, "0"},          {"pps/b/mper", "20", 0, "20"},         {"pps/c/out", "on", 3, nullptr},
      {"pps/a/offs/ns", "500001", 5, "0"},  {"pps/a/edge", "riseinv", 0, "riseinv"}, {"pps/a/out", nullptr, 6, "off"},
      {"pps/b/time", "comp", 0, "comp"},    {"event/a/time", "bei", 5, "utc"},     {"event/a/time", "comp", 0, "comp"},
      {"event/a/time", "utc", 0, "utc"},    {"event/a/time", "gps", 0, "gps"},     {"event/a/imp", "low", 0, "low"},
      {"event/b/offs/ns", "-500000", 0, "-500000"},
  };
  for (const auto& r : rows) {
    const std::string line = std::string("dev/") + r.key + (r.value ? std::string(",") + r.value : "");
    const std::size_t mark = transcript().size();
    const std::string got = ask("%s%set,/par/" + line);
    if (r.code == 0) {
      EXPECT_EQ(got, re("%s%")) << line;
      EXPECT_TRUE(boardGets("set," + line + "\n", mark)) << line;
    } else {
      EXPECT_TRUE(refusedWith(got, r.code)) << line << ": " << got;
    }
    if (r.after) {
      EXPECT_EQ(ask(std::string("print,/par/dev/") + r.key), re(r.after)) << line;
    }
  }
  // A lock request, then the board's event record with its lock byte; an invalid request lowers it.
  EXPECT_EQ(ask("%l%set,/par/dev/event/a/lock,on"), re("%l%"));
  EXPECT_EQ(ask("print,/par/dev/event/a/locked"), re("off"));
  ASSERT_TRUE(dir_.write("event.go", "1"));
  EXPECT_TRUE(waitUntil([&] { return ask("print,/par/dev/event/a/locked") == re("on"); }));
  EXPECT_TRUE(refusedWith(ask("%l%set,/par/dev/event/a/lock,xyz"), 7));
  EXPECT_EQ(ask("print,/par/dev/event/a/locked"), re("off"));
  EXPECT_EQ(ask("print,/par/dev/event/a/lock"), re("on"));
  for (const char* bad : {"set,dev/pps/a/per/ms,9\n", "set,dev/pps/c/out", "set,dev/event/a/time,bei", "lock,xyz"})
    EXPECT_EQ(transcript().find(bad), std::string::npos) << bad;

  const std::string pps = ask("print,/par/dev/pps"), events = ask("print,/par/dev/event");
  for (const char* key : {"out=", "per={ms=10}", "offs={ms=0,ns=0}", "edge=riseinv", "mper=20", "len=", "mlen=",
                          "time=comp", "tied=", "rfdel="})
    EXPECT_NE(pps.find(key), std::string::npos) << key << " " << pps;
  restart();
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/dev/pps"), pps);
  EXPECT_EQ(ask("print,/par/dev/event"), events);
  // The board holds the main board's values after the start.
  for (const char* key : {"pps/a/per/ms", "pps/b/mper", "pps/a/edge", "event/a/time", "event/a/imp", "event/a/lock"})
    EXPECT_EQ(boardValue(dir_, sims_, std::string("dev/") + key), body(ask(std::string("print,/par/dev/") + key))) << key;
  EXPECT_EQ(ask("%i%init,/par/"), re("%i%"));
  EXPECT_EQ(ask("print,/par/dev/pps"), re("{a=" + kPpsDefault + ",b=" + kPpsDefault + "}"));
  EXPECT_EQ(ask("print,/par/dev/event"), re("{a=" + kEventDefault + ",b=" + kEventDefault + "}"));
  restart();
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/dev/pps/a"), re(kPpsDefault));
}

// A set acknowledged survives a kill after the next save and SIGTERM; a refused one changes nothing.
TEST_F(PpsEventKeys, SettingsSurviveKillAndTerm) {
  ASSERT_NO_FATAL_FAILURE(startSim());
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("%1%set,/par/dev/pps/b/len,123"), re("%1%"));
  EXPECT_EQ(ask("%1%set,/par/dev/event/b/edge,fall"), re("%1%"));
  std::this_thread::sleep_for(std::chrono::seconds(11));
  ASSERT_TRUE(rx_->signal(SIGKILL));
  EXPECT_EQ(end(), -SIGKILL);
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/dev/pps/b/len"), re("123"));
  EXPECT_EQ(ask("print,/par/dev/event/b/edge"), re("fall"));
  EXPECT_EQ(ask("%2%set,/par/dev/pps/a/offs/ms,-7"), re("%2%"));
  EXPECT_EQ(ask("%2%set,/par/dev/event/b/tied,off"), re("%2%"));
  EXPECT_TRUE(refusedWith(ask("%3%set,/par/dev/pps/a/offs/ms,500000001"), 5));
  EXPECT_TRUE(refusedWith(ask("%3%set,/par/dev/event/b/tied,maybe"), 7));
  ASSERT_TRUE(rx_->signal(SIGTERM));
  EXPECT_EQ(end(), 0);
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/dev/pps/a/offs/ms"), re("-7"));
  EXPECT_EQ(ask("print,/par/dev/event/b/tied"), re("off"));
  for (const char* key : {"pps/b/len", "event/b/edge", "pps/a/offs/ms", "event/b/tied"})
    EXPECT_EQ(boardValue(dir_, sims_, std::string("dev/") + key), body(ask(std::string("print,/par/dev/") + key))) << key;
}

}  // namespace
}  // namespace e2e
