// The multiple signal messages against rtklib: a recording's observations, as convbin writes
// them to RINEX, fill the base's epoch; our MSM4-7 of every system read back by convbin give the
// same satellites, the signal codes of the MSM signal table and the same values, and match what
// str2str, an independent MSM encoder, makes of the same epochs.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "differential/rtcm3/rtcm3_coder.h"
#include "rinex_obs_util.h"
#include "rtcm3_coder_test_util.h"

namespace {

using namespace coder3test;
using namespace rinexobs;
using rtcm3test::run;

constexpr double kC = 299792458.0;
constexpr int kLeapSeconds = 18;

// How a RINEX signal of the recordings reaches the base's signal slots, the code it comes back
// as (the MSM signal-id tables of RTCM 10403.3 per system) and its carrier-phase alignment in
// cycles (the quarter-cycle conventions the receiver's phases are corrected by).
struct SignalRow {
  char sys;
  const char* from;  // RINEX band and attribute in the source
  int slot;
  const char* back;  // what convbin reads from our MSM
  double mhz;        // carrier (GLONASS: the frequency of channel 0 and the step)
  double shift;
};
const SignalRow kSignals[] = {
    {'G', "1C", 0, "1C", 1575.42, 0},     {'G', "1W", 1, "1W", 1575.42, -0.25}, {'G', "2W", 2, "2W", 1227.60, 0},
    {'G', "2L", 3, "2X", 1227.60, 0.25},  {'G', "5Q", 4, "5X", 1176.45, 0.25},  {'G', "1L", 5, "1X", 1575.42, -0.25},
    {'R', "1C", 0, "1C", 1602.00, 0},     {'R', "1P", 1, "1P", 1602.00, -0.25}, {'R', "2P", 2, "2P", 1246.00, 0},
    {'R', "2C", 3, "2C", 1246.00, 0.25},
    {'E', "1C", 0, "1X", 1575.42, 0.5},   {'E', "7Q", 2, "7X", 1207.14, 0.25},  {'E', "6C", 3, "6X", 1278.75, 0.5},
    {'E', "5Q", 4, "5X", 1176.45, 0.25},
    {'S', "1C", 0, "1C", 1575.42, 0},     {'S', "5Q", 4, "5X", 1176.45, 0.25},
    {'C', "2I", 0, "2I", 1561.098, 0},    {'C', "7I", 2, "7I", 1207.14, 0},     {'C', "6I", 3, "6I", 1268.52, 0},
};

int sysIndex(char c) { return std::string("GRESJCI").find(c); }
double freqHz(const SignalRow& s, int fcn) {
  if (s.sys != 'R') return s.mhz * 1e6;
  return (s.mhz + fcn * (s.mhz > 1500 ? 0.5625 : 0.4375)) * 1e6;
}
const SignalRow* signalOf(char sys, const std::string& bandAttr) {
  for (const SignalRow& s : kSignals)
    if (s.sys == sys && bandAttr == s.from) return &s;
  return nullptr;
}

// The base's epoch from one RINEX epoch: each signal's phase less its alignment (what the
// receiver measures before the coder aligns it), the Doppler as a range rate, the lock time
// from the satellite's first epoch.
void fillEpoch(const Rinex& r, const Epoch& e, std::map<std::string, double>& firstSeen, FakeSource& src,
               bool noDoppler) {
  src.rtk = NAVCOD_RTK_DATA{};
  const double sod = e.h * 3600.0 + e.mi * 60.0 + e.s;
  const long days = daysFromCivil(e.y, e.mo, e.d) - daysFromCivil(1980, 1, 6);
  const double tow = static_cast<double>(days % 7) * 86400.0 + sod;
  const auto ms = [](double s) { return static_cast<std::uint32_t>(std::llround(s * 1000.0)); };
  for (int s : {0, 2, 3, 4, 6}) src.rtk.ulTime[s] = ms(tow);
  src.rtk.ulTime[5] = ms(std::fmod(tow - 14 + 604800, 604800));
  const double glo = sod - kLeapSeconds + 10800.0;  // Moscow time of day, maybe past midnight
  src.rtk.ulTime[1] = ms(std::fmod(glo + 86400.0, 86400.0));
  src.rtk.uDayOfWeek = static_cast<std::uint8_t>((days + (glo >= 86400.0 ? 1 : 0) + (glo < 0 ? -1 : 0)) % 7);
  src.rtk.uConstOne = 1;
  const double t = static_cast<double>(days) * 86400.0 + sod;
  // Entries grouped by system, in the system order of the base data.
  for (int sys = 0; sys < 7; ++sys)
    for (const auto& [name, o] : e.sats) {
      if (sysIndex(name[0]) != sys) continue;
      const int prn = std::stoi(name.substr(1));
      const int fcn = name[0] == 'R' ? (r.gloFcn.contains(prn) ? r.gloFcn.at(prn) : 99) : 0;
      if (fcn == 99) continue;
      if (!firstSeen.contains(name)) firstSeen[name] = t;
      const long lock = std::lround((t - firstSeen[name] + 1.0) * 1000.0);
      const int number = name[0] == 'S' ? prn + 100 : name[0] == 'J' ? prn + 192 : prn;
      RTK_DATA_SV* sv = nullptr;
      for (const auto& [type, v] : o) {
        if (type[0] != 'C' || v.value == 0) continue;
        const std::string ba = type.substr(1);
        const SignalRow* sig = signalOf(name[0], ba);
        if (sig == nullptr) continue;
        if (sv == nullptr) sv = &src.addSat(sys, number, fcn);
        const double lambda = kC / freqHz(*sig, fcn);
        const auto val = [&, &o = o](char k) { return o.contains(k + ba) && o.at(k + ba).value != 0 ? o.at(k + ba).value : NAN; };
        FakeSource::setSlot(*sv, sig->slot, v.value, (val('L') - sig->shift) * lambda, lock,
                            std::isnan(val('S')) ? 0 : static_cast<int>(std::lround(val('S') * 4)));
        // A recording without Doppler: rate 0 lets MSM5 and MSM7 carry its ranges and phases.
        sv->slot[sig->slot].dRate = noDoppler ? 0.0 : -val('D') * lambda;
      }
    }
}

std::string convbin(const TempDir& d, const std::string& in, const std::string& out, const std::string& tr) {
  run("cd '" + d.path + "' && convbin -r rtcm3 -tr " + tr + " -v 3.04 -od -os -o " + out + " " + in + " >/dev/null 2>&1");
  return d.file(out);
}

// Our MSM of one type for every system of each epoch of a RINEX file, after the recording's
// GLONASS ephemerides: convbin takes the frequency numbers of MSM4 and MSM6 from them.
std::vector<Bytes> encodeAll(const Rinex& src, int type, std::initializer_list<int> systems, const char* recording,
                             bool noDoppler = false) {
  FakeSource s;
  RTC3_Coder coder(&s);
  coder.setSettings(defaultSettings(0));
  std::map<std::string, double> firstSeen;
  std::vector<Bytes> frames;
  const Bytes data = rtcm3test::readFile(rtcm3test::recording(recording));
  for (std::size_t i = 0; i + 6 <= data.size();) {
    const std::size_t len = (data[i + 1] & 3u) << 8 | data[i + 2];
    if (data[i] != 0xD3 || i + len + 6 > data.size()) { ++i; continue; }
    if ((data[i + 3] << 4 | data[i + 4] >> 4) == 1020)
      frames.emplace_back(data.begin() + static_cast<long>(i), data.begin() + static_cast<long>(i + len + 6));
    i += len + 6;
  }
  for (const Epoch& e : src.epochs) {
    fillEpoch(src, e, firstSeen, s, noDoppler);
    bool flags[kRtc3MsgCount] = {};
    for (int sys : systems) flags[kRtc3MsgMsmFirst + sys * 7 + type - 1] = true;
    coder.initCoding(flags, 1);
    coder.makeCoding();
    for (int sys : systems) {
      const int index = kRtc3MsgMsmFirst + sys * 7 + type - 1;
      for (int guard = 0; guard < 10; ++guard) {
        Bytes f = build(coder, index);
        if (f.empty()) break;
        frames.push_back(f);
        if (!coder.repeatMessage()) break;
      }
    }
  }
  return frames;
}

struct Bounds {
  double code, phase, doppler, snr;  // m, cycles, Hz, dB-Hz; < 0 when the type lacks the value
  bool gloPhase;  // the type has the extended satellite information (GLONASS frequency numbers)
};
Bounds boundsOf(int type) {
  switch (type) {
    case 4: return {0.01, 0.005, -1, 1.0, false};
    case 5: return {0.01, 0.005, 0.002, 1.0, true};
    case 6: return {0.001, 0.002, -1, 0.25, false};
    default: return {0.001, 0.002, 0.002, 0.25, true};
  }
}

// A signal MSM carries: code and phase, and the Doppler when the type has rates.
bool complete(const SatObs& o, const std::string& ba, const Bounds& b) {
  for (char k : std::string(b.doppler < 0 ? "CL" : "CLD"))
    if (!o.contains(k + ba) || o.at(k + ba).value == 0) return false;
  return true;
}

// `got` holds what `want` has, signal by signal under the codes our MSM come back as.
int compareEpochs(const Rinex& want, const Rinex& got, const Bounds& b, bool viaTable, bool wholeCycles = false) {
  EXPECT_EQ(got.epochs.size(), want.epochs.size());
  int compared = 0;
  for (std::size_t i = 0; i < want.epochs.size() && i < got.epochs.size(); ++i) {
    const Epoch &w = want.epochs[i], &g = got.epochs[i];
    EXPECT_EQ(std::tuple(g.h, g.mi, g.s), std::tuple(w.h, w.mi, w.s)) << i;
    std::set<std::string> wantSats, gotSats;
    for (const auto& [n, o] : w.sats)
      for (const auto& [t, v] : o)
        if (t[0] == 'C' && signalOf(n[0], t.substr(1)) != nullptr && complete(o, t.substr(1), b)) wantSats.insert(n);
    for (const auto& [n, o] : g.sats) gotSats.insert(n);
    EXPECT_EQ(gotSats, wantSats) << "epoch " << i;
    for (const std::string& n : wantSats) {
      if (!g.sats.contains(n)) continue;
      for (const auto& [t, v] : w.sats.at(n)) {
        const SignalRow* sig = signalOf(n[0], t.substr(1));
        if (sig == nullptr || v.value == 0 || (t[0] == 'D' && b.doppler < 0) || !complete(w.sats.at(n), t.substr(1), b))
          continue;
        // Without the extended satellite information (MSM4, MSM6) this convbin finds no GLONASS
        // frequency number for the phase; the decoder's tests read those phases.
        if (t[0] == 'L' && n[0] == 'R' && !b.gloPhase) continue;
        const std::string back = std::string(1, t[0]) + (viaTable ? sig->back : t.substr(1));
        const std::string what = n + " " + t + " as " + back + " epoch " + std::to_string(i);
        const SatObs& go = g.sats.at(n);
        EXPECT_TRUE(go.contains(back)) << what;
        if (!go.contains(back)) continue;
        const Obs& gv = go.at(back);
        const double tol = t[0] == 'C' ? b.code : t[0] == 'L' ? b.phase : t[0] == 'D' ? b.doppler : b.snr;
        if (wholeCycles && t[0] == 'L') {
          EXPECT_NEAR(std::remainder(gv.value - v.value, 1.0), 0.0, tol + 1e-9) << what;
        } else {
          EXPECT_NEAR(gv.value, v.value, tol + 1e-9) << what;
        }
        if (t[0] == 'L') { EXPECT_FALSE((gv.lli & 1) && !(v.lli & 1)) << what << " lock loss the source lacks"; }
        ++compared;
      }
    }
  }
  return compared;
}

// Every system of the recording, MSM4 to MSM7 (convbin reads no MSM1-3; the decoder's
// tests read those).
TEST(Rtcm3MsmOracle, EverySystemsMsmSurvivesConvbin) {
  ASSERT_EQ(access("/usr/bin/convbin", X_OK), 0) << "convbin (Debian rtklib) is required: run scripts/setup";
  TempDir d;
  const Rinex want = parseRinex(convbin(d, rtcm3test::recording("uscl00chl0.rtcm3"), "src.obs", "2024/03/13 16:00:00"));
  ASSERT_EQ(want.epochs.size(), 1u);
  for (int type = 4; type <= 7; ++type) {
    SCOPED_TRACE("MSM" + std::to_string(type));
    writeFrames(d.file("ours.rtcm3"), encodeAll(want, type, {0, 1, 2, 3, 4, 5, 6}, "uscl00chl0.rtcm3"));
    const Rinex got = parseRinex(convbin(d, "ours.rtcm3", "ours.obs", "2024/03/13 16:00:00"));
    EXPECT_GT(compareEpochs(want, got, boundsOf(type), true), 39 * 3 * 2);
  }
}

// Minutes of GLONASS on two frequencies: MSM7 and MSM4 over every epoch, no slip the source
// lacks; str2str's 1087 of the same recording read by convbin are the same observations (its
// phases of some satellites jump by whole cycles from epoch to epoch, away from the source's,
// which ours keep: phases are compared with it modulo whole cycles).
TEST(Rtcm3MsmOracle, MinutesOfEpochsMatchSourceAndStr2str) {
  ASSERT_EQ(access("/usr/bin/str2str", X_OK), 0) << "str2str (Debian rtklib) is required: run scripts/setup";
  TempDir d;
  const std::string tr = "2023/12/29 23:00:00";
  const Rinex want = parseRinex(convbin(d, rtcm3test::recording("testglo.rtcm3"), "src.obs", tr));
  ASSERT_GE(want.epochs.size(), 180u);
  for (int type : {4, 7}) {
    SCOPED_TRACE("MSM" + std::to_string(type));
    writeFrames(d.file("ours.rtcm3"), encodeAll(want, type, {0, 1}, "testglo.rtcm3", true));
    const Rinex got = parseRinex(convbin(d, "ours.rtcm3", "ours.obs", tr));
    Bounds b = boundsOf(type);
    b.doppler = -1;  // none in the recording
    EXPECT_GT(compareEpochs(want, got, b, true), 180 * 5 * 3);
  }
  // str2str ends neither at the end of its input file nor by itself: it is stopped once its
  // status line reports the input's end.
  run("cd '" + d.path + "' && (str2str -in 'file://" + rtcm3test::recording("testglo.rtcm3") +
      "#rtcm3' -out file://" + d.file("s2s.rtcm3") + "#rtcm3 -msg 1087 2> s2s.log & p=$!; "
      "for i in $(seq 600); do grep -q ' end' s2s.log && break; sleep 0.1; done; kill $p; wait $p) >/dev/null 2>&1");
  const Rinex theirs = parseRinex(convbin(d, "s2s.rtcm3", "s2s.obs", tr));
  const Rinex ours = parseRinex(convbin(d, "ours.rtcm3", "ours.obs", tr));  // MSM7, the last made
  // Two encodings, each within 0.002 cycles of the source: 0.003 apart at most.
  ASSERT_GE(theirs.epochs.size(), 180u);
  EXPECT_GT(compareEpochs(theirs, ours, {0.001, 0.003, -1, 0.25, true}, false, true),
            180 * 5 * 4);
}

// 30 GPS satellites on three signals: two 1077 frames in one epoch, the first with the
// multiple-message bit, and convbin reads all 30.
TEST(Rtcm3MsmOracle, SplitEpochReadWholeByConvbin) {
  TempDir d;
  FakeSource src;
  RTC3_Coder coder(&src);
  coder.setSettings(defaultSettings(0));
  src.rtk.ulTime[0] = 3 * 86400000u + 12 * 3600000u;  // Wednesday noon
  const double l1 = kC / 1575.42e6, l2 = kC / 1227.60e6;
  for (int prn = 1; prn <= 30; ++prn) {
    RTK_DATA_SV& sv = src.addSat(0, prn);
    const double pr = 20.0e6 + prn * 111111.111;
    FakeSource::setSlot(sv, 0, pr, pr + 0.1, 90000, 180);
    FakeSource::setSlot(sv, 2, pr + 3.0, pr + 3.2, 90000, 160);
    FakeSource::setSlot(sv, 3, pr + 3.1, pr + 3.3 - 0.25 * l2, 90000, 170);
    for (int s : {0, 2, 3}) sv.slot[s].dRate = 100.0 + prn;
  }
  arm(coder, {kRtc3MsgMsmFirst + 6});
  std::vector<Bytes> frames;
  do frames.push_back(build(coder, kRtc3MsgMsmFirst + 6));
  while (coder.repeatMessage() && frames.size() < 5);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(bits(frames[0], 78, 1), 1u);
  EXPECT_EQ(bits(frames[1], 78, 1), 0u);
  writeFrames(d.file("split.rtcm3"), frames);
  const Rinex got = parseRinex(convbin(d, "split.rtcm3", "split.obs", "2024/03/13 12:00:00"));
  ASSERT_EQ(got.epochs.size(), 1u);
  ASSERT_EQ(got.epochs[0].sats.size(), 30u);
  for (int prn = 1; prn <= 30; ++prn) {
    char name[4];
    std::snprintf(name, sizeof name, "G%02d", prn);
    SCOPED_TRACE(name);
    ASSERT_TRUE(got.epochs[0].sats.contains(name));
    const SatObs& o = got.epochs[0].sats.at(name);
    const double pr = 20.0e6 + prn * 111111.111;
    ASSERT_TRUE(o.contains("C1C") && o.contains("C2W") && o.contains("C2X") && o.contains("L2X"));
    EXPECT_NEAR(o.at("C1C").value, pr, 0.001);
    EXPECT_NEAR(o.at("C2X").value, pr + 3.1, 0.001);
    EXPECT_NEAR(o.at("L1C").value, (pr + 0.1) / l1, 0.002);
    EXPECT_NEAR(o.at("L2X").value, (pr + 3.3) / l2, 0.002);
  }
}

}  // namespace
