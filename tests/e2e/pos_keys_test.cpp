// The position settings below /par/pos/ on a serial port: the listing with every factory
// default, each key's edges taken and refused (an "ER" changes nothing), every stored key kept
// across the restart key, a kill after the periodic save and SIGTERM, and init,/par/ bringing
// them back; print,/par/ too long for one message arriving as consecutive replies that join into
// the whole tree, every key once.
#include <csignal>
#include <map>
#include <set>

#include "e2e/harness.h"

namespace e2e {
namespace {

using PosKeysE2e = Rx;

std::string er(int code, const char* text) { return frame("ER", "%s%{" + std::to_string(code) + ",," + text + "}"); }

const std::string kZeroPair =
    "{xyz={x=0.0000,y=0.0000,z=0.0000},geo={lat=0.000000000,lon=0.000000000,alt=0.0000}}";
// The keys of /par/pos/ other than filt/ and pd/, in listing order, at their factory defaults.
const std::string kDefaults =
    "mode=sp,sol={sep=off,rtk1=off,rtk3=off,dist=0.0,midpt=off,code=on},avg={start=off,time=180},"
    "ref={mode=known,known=" + kZeroPair + ",meas=" + kZeroPair + "},src={mode=own,xyz={x=0.0000,y=0.0000,z=0.0000},"
    "geo={lat=0.000000000,lon=0.000000000,alt=0.0000}},base={needpos=off},"
    "cd={obs=off,smooth=0,src=rtcm,mode=near,id=0,timeout={range=30,iono=300},slas={src=0x7F,health=off,"
    "stations=0xFFFFFFFF},base={sys=0,x=0,y=0,z=0}},att={hdg=0.000,pitch=0.000},cnav={dec=on},"
    "datum=W84,"
    "grid={type=none,prj=none,loc={prj={0.000000000,0.000000000,1.000000000,0.0000,0.0000},"
    "par={0.0000,0.0000,1.000000000,0.000000000,0.000000000,0.000000000,0.0000}},zone=0},"
    "geoid={fixed=off,und=0.000,file=}";

// The pos/ listing up to the engine setups' keys (the first is elmode) or its filter subtree.
std::string ownKeys(const std::string& reply) {
  const std::size_t at = std::min(reply.find(",elmode="), reply.find(",filt={"));
  return at == std::string::npos || reply.size() < 6 ? reply : reply.substr(6, at - 6);
}

// Every stored key at a value other than its default, and how it prints.
struct Stored {
  const char *key, *value, *printed;
};
const Stored kStored[] = {
    {"mode", "pd", "pd"},
    {"sol/sep", "on", "on"},
    {"sol/rtk1", "on", "on"},
    {"sol/rtk3", "on", "on"},
    {"sol/dist", "25.5", "25.5"},
    {"sol/midpt", "on", "on"},
    {"sol/code", "off", "off"},
    {"avg/time", "600", "600"},
    {"ref/mode", "shift", "shift"},
    {"ref/known/geo", "{50,10,300}", "{xyz={x=4045646.3120,y=713356.5992,z=4863018.8510},"
                                     "geo={lat=50.000000000,lon=10.000000000,alt=300.0000}}"},
    {"ref/meas/xyz", "{4045646.312,713356.5992,4863018.851}", "{xyz={x=4045646.3120,y=713356.5992,z=4863018.8510},"
                                                                "geo={lat=50.000000000,lon=10.000000000,alt=300.0000}}"},
    {"src/geo", "{-33.5,-70.25,612.3}", "{x=1799264.6541,y=-5011367.1425,z=-3500672.2390}"},
    {"src/mode", "fixed", "fixed"},
    {"base/needpos", "on", "on"},
    {"cd/obs", "on", "on"},
    {"cd/smooth", "100", "100"},
    {"att/hdg", "-12.5", "-12.500"},
    {"att/pitch", "3.25", "3.250"},
    {"cnav/dec", "off", "off"},
    {"datum", "EUR_F", "EUR_F"},
    {"grid/type", "prj", "prj"},
    {"grid/prj", "{TM,0,9,0.9996,0,500000}", "{TM,0.000000000,9.000000000,0.999600000,0.0000,500000.0000}"},
    {"grid/loc/prj", "{55,12,1,10,20}", "{55.000000000,12.000000000,1.000000000,10.0000,20.0000}"},
    {"grid/loc/par", "{1,2,1.5,90,0,0,3}", "{1.0000,2.0000,1.500000000,90.000000000,0.000000000,0.000000000,3.0000}"},
    {"grid/zone", "117", "117"},
    {"geoid/fixed", "on", "on"},
    {"geoid/und", "47.5", "47.500"},
};
// The printed value of one key (for pairs the whole pair).
std::string printPath(const Stored& s) {
  const std::string k = s.key;
  if (k == "ref/known/geo") return "ref/known";
  if (k == "ref/meas/xyz") return "ref/meas";
  if (k == "src/geo") return "src/xyz";
  return k;
}

TEST_F(PosKeysE2e, DefaultsEdgesAndInit) {
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ownKeys(ask("print,/par/pos")), kDefaults);
  const struct {
    const char *key, *value;
    std::string reply;
    const char* after;
  } rows[] = {
      {"mode", "pf", re("%s%"), "pf"},
      {"mode", "rtk", er(7, "wrong 2nd parameter"), "pf"},
      {"mode", "", er(6, "2nd parameter missed"), "pf"},
      {"sol/dist", "6553.5", re("%s%"), "6553.5"},
      {"sol/dist", "6553.6", er(5, "value out of range"), "6553.5"},
      {"sol/dist", "-1", er(5, "value out of range"), "6553.5"},
      {"sol/dist", "far", er(7, "wrong 2nd parameter"), "6553.5"},
      {"avg/time", "0", er(5, "value out of range"), "180"},
      {"avg/time", "65535", re("%s%"), "65535"},
      {"avg/time", "65536", er(5, "value out of range"), "65535"},
      {"ref/mode", "base", re("%s%"), "base"},
      {"ref/mode", "4", er(7, "wrong 2nd parameter"), "base"},
      {"ref/known/xyz", "{1,2,3}", er(5, "value out of range"), "{x=0.0000,y=0.0000,z=0.0000}"},
      {"ref/known/geo", "{90.1,0,0}", er(5, "value out of range"), "{lat=0.000000000,lon=0.000000000,alt=0.0000}"},
      {"ref/known/geo", "{50,10}", er(7, "wrong 2nd parameter"), "{lat=0.000000000,lon=0.000000000,alt=0.0000}"},
      {"ref/known/geo", "{-90,180,20000}", re("%s%"), "{lat=-90.000000000,lon=180.000000000,alt=20000.0000}"},
      {"ref/known/geo", "{45,-180,-20000}", re("%s%"), "{lat=45.000000000,lon=-180.000000000,alt=-20000.0000}"},
      {"ref/known/geo", "{45,-180.000001,0}", er(5, "value out of range"),
       "{lat=45.000000000,lon=-180.000000000,alt=-20000.0000}"},
      {"src/mode", "fixed", er(25, "no data"), "own"},
      {"src/mode", "6", er(7, "wrong 2nd parameter"), "own"},
      {"att/hdg", "180.001", er(5, "value out of range"), "0.000"},
      {"att/pitch", "-90", re("%s%"), "-90.000"},
      {"datum", "NOPE", er(7, "wrong 2nd parameter"), "W84"},
      {"datum", "P90", re("%s%"), "P90"},
      {"grid/type", "nat", re("%s%"), "nat"},
      {"grid/type", "gauss", er(7, "wrong 2nd parameter"), "nat"},
      {"grid/prj", "{TM,0,9}", er(7, "wrong 2nd parameter"), "none"},
      {"grid/zone", "4", er(5, "value out of range"), "0"},
      {"grid/zone", "2", re("%s%"), "2"},
      {"geoid/und", "-200.5", er(5, "value out of range"), "0.000"},
      {"geoid/file", "nofile.gemo", er(15, "file not found"), nullptr},
      {"geoid/file", "../x", er(35, "wrong name"), nullptr},
      {"base/needpos", "yes", re("%s%"), "on"},
      {"cd/smooth", "3601", er(5, "value out of range"), "0"},
      {"cd/obs", "maybe", er(7, "wrong 2nd parameter"), "off"},
      {"cnav/dec", "sometimes", er(7, "wrong 2nd parameter"), "on"},
      {"cnav/dec", "off", re("%s%"), "off"},
      {"nokey", "1", er(3, "wrong 1st parameter"), nullptr},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(ask(std::string("%s%set,/par/pos/") + r.key + "," + r.value), r.reply) << r.key << " " << r.value;
    if (r.after) {
      EXPECT_EQ(ask(std::string("print,/par/pos/") + r.key), re(r.after)) << r.key << " " << r.value;
    }
  }
  // No geoid file is named: the name prints as nothing.
  EXPECT_EQ(ask("%p%print,/par/pos/geoid/file"), re("%p%"));
  EXPECT_EQ(ask("%i%init,/par/"), re("%i%"));
  EXPECT_EQ(ownKeys(ask("print,/par/pos")), kDefaults);
}

// Every stored key: what a set acknowledged survives the restart key, a kill after the periodic
// save, and SIGTERM; init,/par/ brings the defaults back, and those are stored too.
TEST_F(PosKeysE2e, SettingsSurviveRestartKillAndTerm) {
  ASSERT_NO_FATAL_FAILURE(start());
  for (const Stored& s : kStored)
    EXPECT_EQ(ask(std::string("%1%set,/par/pos/") + s.key + "," + s.value), re("%1%")) << s.key;
  const auto check = [&](const char* when) {
    for (const Stored& s : kStored)
      EXPECT_EQ(ask("print,/par/pos/" + printPath(s)), re(s.printed)) << s.key << " after " << when;
  };
  restart();
  ASSERT_NO_FATAL_FAILURE(start());
  check("the restart key");
  EXPECT_EQ(ask("%2%set,/par/pos/grid/zone,3"), re("%2%"));
  EXPECT_EQ(ask("%2%set,/par/pos/mode,pp"), re("%2%"));
  std::this_thread::sleep_for(std::chrono::seconds(11));
  ASSERT_TRUE(rx_->signal(SIGKILL));
  EXPECT_EQ(end(), -SIGKILL);
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/pos/grid/zone"), re("3"));
  EXPECT_EQ(ask("print,/par/pos/mode"), re("pp"));
  EXPECT_EQ(ask("%3%set,/par/pos/att/pitch,-4"), re("%3%"));
  EXPECT_EQ(ask("%3%set,/par/pos/datum,P90-R"), re("%3%"));
  EXPECT_EQ(ask("%4%set,/par/pos/att/pitch,91").substr(0, 2), "ER");
  EXPECT_EQ(ask("%4%set,/par/pos/datum,X").substr(0, 2), "ER");
  ASSERT_TRUE(rx_->signal(SIGTERM));
  EXPECT_EQ(end(), 0);
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/pos/att/pitch"), re("-4.000"));
  EXPECT_EQ(ask("print,/par/pos/datum"), re("P90-R"));
  EXPECT_EQ(ask("%i%init,/par/"), re("%i%"));
  restart();
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ownKeys(ask("print,/par/pos")), kDefaults);
}

// The key paths of a printed tree ("a/b/c" for every "name="), in order.
std::vector<std::string> keyPaths(const std::string& tree) {
  std::vector<std::string> paths, stack;
  std::string token;
  std::vector<bool> named;  // per open brace: it belongs to a named item
  std::string pending;      // name of the item being read
  for (char c : tree) {
    if (c == '=') {
      pending = token;
      const std::string prefix = stack.empty() ? "" : stack.back() + "/";
      paths.push_back(prefix + pending);
      token.clear();
    } else if (c == '{') {
      if (!pending.empty()) {
        stack.push_back((stack.empty() ? "" : stack.back() + "/") + pending);
        named.push_back(true);
      } else {
        named.push_back(false);
      }
      pending.clear();
      token.clear();
    } else if (c == '}') {
      if (!named.empty() && named.back() && !stack.empty()) stack.pop_back();
      if (!named.empty()) named.pop_back();
      pending.clear();
      token.clear();
    } else if (c == ',') {
      pending.clear();
      token.clear();
    } else {
      token += c;
    }
  }
  return paths;
}

TEST_F(PosKeysE2e, TheWholeTreeComesAsConsecutiveRepliesThatJoinIntoIt) {
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_TRUE(port_->send("%w%print,/par/"));
  std::string tree;
  int replies = 0, depth = 0;
  do {
    const std::string m = port_->next();
    ASSERT_EQ(m.substr(0, 2), "RE") << m;
    const std::size_t len = std::stoul(m.substr(2, 3), nullptr, 16);
    ASSERT_LE(len, 0xFFFu);
    ASSERT_EQ(m.substr(5, 3), "%w%") << "each reply carries the id";
    const std::string text = m.substr(8, len - 3);
    for (char c : text) depth += c == '{' ? 1 : c == '}' ? -1 : 0;
    tree += text;
    ++replies;
  } while (depth > 0 && replies < 16);
  EXPECT_EQ(depth, 0);
  EXPECT_GE(replies, 2) << "more than one message carries";
  ASSERT_EQ(tree.front(), '{');
  ASSERT_EQ(tree.back(), '}');
  const std::vector<std::string> paths = keyPaths(tree);
  std::map<std::string, int> seen;
  for (const std::string& p : paths) ++seen[p];
  for (const auto& [p, n] : seen) EXPECT_EQ(n, 1) << p << " appears " << n << " times";
  // The areas nested in other levels are there: the position settings with the filter's and the
  // RTK keys, the PPS outputs, the RTCM 2 and CMR decoders' keys; each key of pos/ once.
  for (const char* p : {"rcv/ver", "pos/mode", "pos/ref/known/geo/lat", "pos/grid/loc/par", "pos/geoid/file",
                        "pos/filt/spdmode", "pos/pd/ref/keep", "pos/pd/hist/reset", "dev/ser/b/rate", "dev/pps/a/out",
                        "dev/event/b/locked", "rtcm/rover/maxage", "rtcm3/base/stid", "lock/gal/sats"})
    EXPECT_EQ(seen.count(p), 1u) << p;
  // Nothing follows the last reply.
  EXPECT_EQ(ask("%e%"), re("%e%"));
}

}  // namespace
}  // namespace e2e
