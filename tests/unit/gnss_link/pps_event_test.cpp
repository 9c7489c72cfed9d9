// The PPS outputs' and event inputs' keys through the command parser: ranges and names taken and
// refused (a refusal changes neither the object nor the stored record), the stored record across
// a restart and init,/par/, and the board's PPS and event records landing in the objects.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "unit/gnss_link/native_test_util.h"
#include "command/settings_commands.h"
#include "gnss_link/peripherals/pps_event.h"
#include "gnss_link/peripherals/pps_event_keys.h"
#include "platform/file_nvm.h"
#include "settings/nv_settings.h"
#include "settings/rcv_settings.h"
#include "unit/command/capture_port.h"
#include "unit/platform/temp_run_dir.h"

namespace {

using namespace ntest;

// The defaults of every key, as the tables of the two objects give them.
const char* const kPpsDefaults =
    "{out=off,per={ms=1000},offs={ms=0,ns=0},edge=rise,mper=0,len=2000000,mlen=3000000,time=utc,tied=on,rfdel=on}";
const char* const kEventDefaults = "{time=utc,in=off,edge=rise,imp=high,tied=on,rfdel=on,lock=off,offs={ns=0},locked=off}";

class PpsEventKeys : public TempRunDir {
 protected:
  void SetUp() override {
    TempRunDir::SetUp();
    ev[0].clearLocked();  // no event input locked yet
    ev[1].clearLocked();
    FileNvmLoad();
    nvAfterLoadHooks.add(ppsEventSettingsAfterLoad);
    nv_readSettings();
    settingsCommandsInitOnce();
    registerPpsEventAreas();
  }
  std::string run(const std::string& line) { return runLine(port_, line); }
  std::string value(const std::string& key) {
    const std::string got = run("print,/par/dev/" + key);
    return got.size() > 7 && got.rfind("RE", 0) == 0 ? got.substr(5, got.size() - 7) : got;
  }
  CapturePort port_{IOP_TCP_A};
};

TEST_F(PpsEventKeys, DefaultsRangesNamesAndRefusals) {
  for (const char* x : {"a", "b"}) {
    EXPECT_EQ(value(std::string("pps/") + x), kPpsDefaults) << x;
    EXPECT_EQ(value(std::string("event/") + x), kEventDefaults) << x;
  }
  // "key,value": a set, answered "" when taken and "ER<code>" when refused; then `key` prints `after`.
  const struct {
    const char* line;
    const char* want;
    const char* key;
    const char* after;
  } rows[] = {
      {"pps/a/per/ms,9", "ER5", "pps/a/per/ms", "1000"},
      {"pps/a/per/ms,10", "", "pps/a/per/ms", "10"},
      {"pps/a/per/ms,1000000000", "", "pps/a/per/ms", "1000000000"},
      {"pps/a/per/ms,1000000001", "ER5", "pps/a/per/ms", "1000000000"},
      {"pps/a/offs/ms,-500000000", "", "pps/a/offs/ms", "-500000000"},
      {"pps/a/offs/ms,500000001", "ER5", "pps/a/offs/ms", "-500000000"},
      {"pps/a/offs/ms,-500000001", "ER5", "pps/a/offs/ms", "-500000000"},
      {"pps/a/offs/ns,500001", "ER5", "pps/a/offs/ns", "0"},
      {"pps/a/offs/ns,-500001", "ER5", "pps/a/offs/ns", "0"},
      {"pps/a/offs/ns,500000", "", "pps/a/offs/ns", "500000"},
      {"pps/b/mper,19", "ER5", "pps/b/mper", "0"},
      {"pps/b/mper,1", "ER5", "pps/b/mper", "0"},
      {"pps/b/mper,20", "", "pps/b/mper", "20"},
      {"pps/b/mper,0", "", "pps/b/mper", "0"},
      {"pps/b/mper,1000000000", "", "pps/b/mper", "1000000000"},
      {"pps/b/mper,1000000001", "ER5", "pps/b/mper", "1000000000"},
      {"pps/b/mper,-20", "ER5", "pps/b/mper", "1000000000"},
      {"pps/a/len,5000000", "", "pps/a/len", "5000000"},
      {"pps/a/len,5000001", "ER5", "pps/a/len", "5000000"},
      {"pps/a/len,-1", "ER5", "pps/a/len", "5000000"},
      {"pps/b/mlen,0", "", "pps/b/mlen", "0"},
      {"pps/b/mlen,5000001", "ER5", "pps/b/mlen", "0"},
      {"pps/a/edge,riseinv", "", "pps/a/edge", "riseinv"},
      {"pps/a/edge,fallinv", "", "pps/a/edge", "fallinv"},
      {"pps/a/edge,fall", "", "pps/a/edge", "fall"},
      {"pps/a/edge,up", "ER7", "pps/a/edge", "fall"},
      {"pps/a/out,on", "", "pps/a/out", "on"},
      {"pps/a/out", "ER6", "pps/a/out", "on"},
      {"pps/a/out,maybe", "ER7", "pps/a/out", "on"},
      {"pps/a/tied,off", "", "pps/a/tied", "off"},
      {"pps/b/rfdel,off", "", "pps/b/rfdel", "off"},
      {"pps/a/time,utcusno", "", "pps/a/time", "utcusno"},
      {"pps/a/time,utc", "", "pps/a/time", "utc"},
      {"pps/a/time,ut1", "", "pps/a/time", "ut1"},
      {"pps/a/time,bei", "ER5", "pps/a/time", "ut1"},
      {"pps/a/time,utcus", "ER5", "pps/a/time", "ut1"},
      {"pps/c/out,on", "ER3", "pps/a/out", "on"},
      {"pps/a/nokey,1", "ER3", nullptr, nullptr},
      {"pps/a,1", "ER3", nullptr, nullptr},
      {"pps/a/per,5", "ER3", nullptr, nullptr},
      {"event/a/time,bei", "ER5", "event/a/time", "utc"},
      {"event/a/time,comp", "", "event/a/time", "comp"},
      {"event/a/time,utc", "", "event/a/time", "utc"},
      {"event/a/time,gps", "", "event/a/time", "gps"},
      {"event/a/imp,low", "", "event/a/imp", "low"},
      {"event/a/imp,mid", "ER7", "event/a/imp", "low"},
      {"event/b/edge,fall", "", "event/b/edge", "fall"},
      {"event/b/edge,riseinv", "ER7", "event/b/edge", "fall"},
      {"event/b/in,on", "", "event/b/in", "on"},
      {"event/b/tied,off", "", "event/b/tied", "off"},
      {"event/a/rfdel,off", "", "event/a/rfdel", "off"},
      {"event/a/offs/ns,500001", "ER5", "event/a/offs/ns", "0"},
      {"event/a/offs/ns,-500000", "", "event/a/offs/ns", "-500000"},
      {"event/a/lock,always", "", "event/a/lock", "always"},
      {"event/a/lock,xyz", "ER7", "event/a/lock", "always"},
      {"event/a/locked,on", "ER12", "event/a/locked", "off"},
      {"event/c/in,on", "ER3", nullptr, nullptr},
      {"event/a/nokey,1", "ER3", nullptr, nullptr},
  };
  for (const auto& r : rows) {
    const std::string line = r.line, want = r.want;
    std::uint8_t stored[sizeof RcvSet.ppsArea];
    std::memcpy(stored, RcvSet.ppsArea, sizeof stored);
    const std::string got = run("%s%set,/par/dev/" + line);
    if (want.empty()) {
      EXPECT_EQ(got, replyFrame("%s%")) << line;
    } else {
      EXPECT_TRUE(got.rfind("ER", 0) == 0 && got.find("{" + want.substr(2) + ",") != std::string::npos) << line << ": " << got;
      EXPECT_EQ(std::memcmp(stored, RcvSet.ppsArea, sizeof stored), 0) << line;
    }
    if (r.key) {
      EXPECT_EQ(value(r.key), r.after) << line;
    }
  }
  // Every set taken is in the stored record: the next start reads them back.
  const std::string a = value("pps/a"), b = value("pps/b"), ea = value("event/a"), eb = value("event/b");
  std::memset(&RcvSet, 0, sizeof RcvSet);
  nv_readSettings();
  EXPECT_EQ(value("pps/a") + value("pps/b") + value("event/a") + value("event/b"), a + b + ea + eb);
  EXPECT_NE(a, kPpsDefaults);
  EXPECT_EQ(run("%i%init,/par/"), replyFrame("%i%"));
  for (const char* x : {"a", "b"}) {
    EXPECT_EQ(value(std::string("pps/") + x), kPpsDefaults) << x;
    EXPECT_EQ(value(std::string("event/") + x), kEventDefaults) << x;
  }
}

// Every time-scale name selects its own index: "utc" is not taken for "utcusno", nor "comp" for
// anything but 5.
TEST(PpsTimeScales, EachNameSelectsItsIndex) {
  const struct {
    const char* name;
    int index;
  } rows[] = {{"gps", 0},     {"glo", 1},      {"sbas", 2},     {"glcdma", 3},     {"gal", 4},     {"comp", 5},
              {"qzss", 6},    {"irnss", 7},    {"utcusno", 8},  {"utcsu", 9},      {"utcsbas", 10}, {"utcgpsext", 11},
              {"utcgal", 12}, {"utcbei", 13},  {"utcqzss", 14}, {"utcind", 15},    {"utc", 16},     {"ut1", 17},
              {"UTC", 16},    {"bei", -1},     {"bds", -1},     {"", -1},          {"utc ", -1},    {"ut", -1}};
  for (const auto& r : rows) EXPECT_EQ(ppsTimeScaleIndex(r.name), r.index) << r.name;
}

// The board's PPS and event records through the raw decoder: into the objects' rings, and an
// event record's lock byte raises that input's flag, which only a set of `lock` lowers.
TEST_F(PpsEventKeys, BoardRecordsLandInTheObjects) {
  auto event = [](int index, std::uint32_t s, std::uint32_t ms, int lock) {
    return s2m(rec(14, le(index, 1) + le(s, 4) + le(ms, 4) + le(0, 1) + le(lock, 1)));
  };
  auto pulse = [](int index, std::uint32_t t) { return s2m(rec(6, le(index, 1) + lef(1.5f) + lef(-2.f) + le(t, 4) + le(3, 1))); };
  RawFeed f;
  const struct {
    const char* what;
    std::string in;  // a record, or "set:<line>"
    bool lockedA, lockedB;
    std::uint32_t eventsA, ppsB;  // records added to event a's and PPS b's ring
  } rows[] = {
      {"event a, lock byte 0", event(0, 12, 345, 0), false, false, 1, 0},
      {"event a, lock byte 1", event(0, 13, 0, 1), true, false, 1, 0},
      {"event a, lock byte 0 again: the flag holds", event(0, 14, 0, 0), true, false, 1, 0},
      {"an invalid lock value still lowers the flag", "set:event/a/lock,xyz", false, false, 0, 0},
      {"event b, lock byte 1", event(1, 15, 0, 1), false, true, 0, 0},
      {"lock on lowers it too", "set:event/b/lock,on", false, false, 0, 0},
      {"index 2 is refused", event(2, 16, 0, 1), false, false, 0, 0},
      {"PPS b", pulse(1, 4000), false, false, 0, 1},
      {"PPS index 2", pulse(2, 5000), false, false, 0, 0},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    const std::uint32_t evA = ev[0].ring().count(), ppsB = pps[1].ring().count();
    if (r.in.rfind("set:", 0) == 0) run("set,/par/dev/" + r.in.substr(4));
    else f.put(r.in);
    EXPECT_EQ(ev[0].locked(), r.lockedA);
    EXPECT_EQ(ev[1].locked(), r.lockedB);
    EXPECT_EQ(ev[0].ring().count() - evA, r.eventsA);
    EXPECT_EQ(pps[1].ring().count() - ppsB, r.ppsB);
  }
  EventTagType e{};
  ASSERT_TRUE(ev[0].ring().latest(2, e));
  EXPECT_EQ(e.ulA, 12u);
  EXPECT_EQ(e.ulB, 345u);
  PpsTagType p{};
  ASSERT_TRUE(pps[1].ring().latest(0, p));
  EXPECT_EQ(p.ulTime, 4000u);
  EXPECT_EQ(p.fB, -2.f);
  EXPECT_EQ(&pps[1].ring(), &ppsRing[1]);
  EXPECT_EQ(&ev[0].ring(), &eventRing[0]);
}

}  // namespace
