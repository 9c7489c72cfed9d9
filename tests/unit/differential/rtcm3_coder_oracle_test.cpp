// The legacy observation messages against rtklib's convbin: a recording's observations, as
// convbin writes them to RINEX, are coded again and convbin reads our frames back to the same
// epochs, satellites and values.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <regex>
#include <set>
#include <sstream>
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
constexpr int kLeapSeconds = 18;  // GPS - UTC from 2017 on

// The legacy observation frames of a recording, alone. With `closeLast`, only 1004 and 1012,
// and the last one's synchronous flag cleared (its CRC made again), so that a recording whose
// every message says "more follow" still ends its epoch.
std::vector<Bytes> legacyFrames(const Bytes& data, bool closeLast) {
  std::vector<Bytes> out;
  for (std::size_t i = 0; i + 6 <= data.size();) {
    const std::size_t len = (data[i + 1] & 3u) << 8 | data[i + 2];
    if (data[i] != 0xD3 || i + len + 6 > data.size()) { ++i; continue; }
    const int type = data[i + 3] << 4 | data[i + 4] >> 4;
    const bool keep = closeLast ? type == 1004 || type == 1012 : (type >= 1001 && type <= 1004) || (type >= 1009 && type <= 1012);
    if (keep) out.emplace_back(data.begin() + static_cast<long>(i), data.begin() + static_cast<long>(i + len + 6));
    i += len + 6;
  }
  if (closeLast && !out.empty()) {
    Bytes& f = out.back();
    const int syncBit = (f[3] << 4 | f[4] >> 4) == 1012 ? 75 : 78;
    f[syncBit / 8] = static_cast<std::uint8_t>(f[syncBit / 8] & ~(0x80u >> (syncBit % 8)));
    f.resize(f.size() - 3);
    const std::uint32_t crc = crc24q(0, f.data(), static_cast<std::uint32_t>(f.size() * 8));
    for (int sh : {16, 8, 0}) f.push_back(static_cast<std::uint8_t>(crc >> sh));
  }
  return out;
}

std::string convbin(const TempDir& d, const std::string& in, const std::string& out, const std::string& tr) {
  run("cd '" + d.path + "' && convbin -r rtcm3 -tr " + tr + " -v 3.04 -o " + out + " " + in + " >/dev/null 2>&1");
  return d.file(out);
}

// The RTK base data of one RINEX epoch, as the base-station processing would hand it over.
void fillEpoch(const Rinex& r, const Epoch& e, std::map<std::string, double>& firstSeen, FakeSource& src) {
  src.rtk = NAVCOD_RTK_DATA{};
  const double sod = e.h * 3600.0 + e.mi * 60.0 + e.s;
  const long days = daysFromCivil(e.y, e.mo, e.d) - daysFromCivil(1980, 1, 6);
  const double tow = static_cast<double>(days % 7) * 86400.0 + sod;
  src.rtk.ulTime[0] = static_cast<std::uint32_t>(std::llround(tow * 1000.0));
  src.rtk.ulTime[1] = static_cast<std::uint32_t>(std::llround(std::fmod(sod - kLeapSeconds + 10800.0 + 86400.0, 86400.0) * 1000.0));
  const double t = static_cast<double>(days) * 86400.0 + sod;
  for (const auto& [name, o] : e.sats) {
    const bool glo = name[0] == 'R';
    if (name[0] != 'G' && !glo) continue;
    const int prn = std::stoi(name.substr(1));
    if (glo && !r.gloFcn.contains(prn)) continue;
    const int fcn = glo ? r.gloFcn.at(prn) : 0;
    const Obs* c1 = o.contains("C1C") ? &o.at("C1C") : nullptr;
    if (c1 == nullptr) continue;
    if (!firstSeen.contains(name)) firstSeen[name] = t;
    const long lock = std::lround((t - firstSeen[name] + 1.0) * 1000.0);
    RTK_DATA_SV& sv = src.addSat(glo ? 1 : 0, prn, fcn);
    const double f1 = glo ? 1602.0e6 + fcn * 0.5625e6 : 1575.42e6;
    const double f2 = glo ? 1246.0e6 + fcn * 0.4375e6 : 1227.60e6;
    const Obs* l1 = o.contains("L1C") ? &o.at("L1C") : nullptr;
    const Obs* s1 = o.contains("S1C") ? &o.at("S1C") : nullptr;
    FakeSource::setSlot(sv, 0, c1->value, l1 != nullptr ? l1->value * kC / f1 : NAN, lock,
                        s1 != nullptr ? static_cast<int>(std::lround(s1->value * 4)) : 0);
    std::string c2type;
    const Obs* c2 = band(o, 'C', '2', &c2type);
    if (c2 == nullptr) continue;
    const std::string l2type = "L" + c2type.substr(1), s2type = "S" + c2type.substr(1);
    const int slot = std::string("CLSX").find(c2type[2]) != std::string::npos ? 3 : 2;  // civil: the L2C slot
    FakeSource::setSlot(sv, slot, c2->value, o.contains(l2type) ? o.at(l2type).value * kC / f2 : NAN, lock,
                        o.contains(s2type) ? static_cast<int>(std::lround(o.at(s2type).value * 4)) : 0);
  }
}

struct RoundTrip {
  const char* recording;
  const char* tr;  // convbin's approximate time: within hours of the data
  std::size_t minEpochs;
  bool closeLast;
};
const RoundTrip kTrips[] = {{"testglo.rtcm3", "2023/12/29 23:00:00", 186, false},
                            {"uscl00chl0.rtcm3", "2024/03/13 16:00:00", 1, true}};

TEST(Rtcm3CoderOracle, LegacyObservationsSurviveConvbinBothWays) {
  ASSERT_EQ(access("/usr/bin/convbin", X_OK), 0) << "convbin (Debian rtklib) is required: run scripts/setup";
  for (const RoundTrip& trip : kTrips) {
    SCOPED_TRACE(trip.recording);
    TempDir d;
    writeFrames(d.file("src.rtcm3"), legacyFrames(rtcm3test::readFile(rtcm3test::recording(trip.recording)), trip.closeLast));
    const Rinex want = parseRinex(convbin(d, "src.rtcm3", "src.obs", trip.tr));
    ASSERT_GE(want.epochs.size(), trip.minEpochs);

    FakeSource src;
    RTC3_Coder coder(&src);
    RTC3_COD_SETTINGS s = defaultSettings(0);
    s.l2c = 1;
    coder.setSettings(s);
    std::vector<Bytes> frames;
    std::map<std::string, double> firstSeen;
    for (const Epoch& e : want.epochs) {
      fillEpoch(want, e, firstSeen, src);
      arm(coder, {kRtc3Msg1004, kRtc3Msg1012});
      for (int m : {kRtc3Msg1004, kRtc3Msg1012})
        if (Bytes f = build(coder, m); !f.empty()) frames.push_back(f);
    }
    writeFrames(d.file("ours.rtcm3"), frames);
    const Rinex got = parseRinex(convbin(d, "ours.rtcm3", "ours.obs", trip.tr));
    ASSERT_EQ(got.epochs.size(), want.epochs.size());
    int compared = 0;
    for (std::size_t i = 0; i < want.epochs.size(); ++i) {
      const Epoch &w = want.epochs[i], &g = got.epochs[i];
      ASSERT_EQ(std::tuple(g.y, g.mo, g.d, g.h, g.mi, g.s), std::tuple(w.y, w.mo, w.d, w.h, w.mi, w.s)) << i;
      std::set<std::string> wantSats, gotSats;
      for (const auto& [n, o] : w.sats)
        if ((n[0] == 'G' || n[0] == 'R') && o.contains("C1C")) wantSats.insert(n);
      for (const auto& [n, o] : g.sats) gotSats.insert(n);
      ASSERT_EQ(gotSats, wantSats) << i;
      for (const std::string& n : wantSats) {
        const SatObs &wo = w.sats.at(n), &go = g.sats.at(n);
        for (char b : {'1', '2'})
          for (char kind : {'C', 'L', 'S'}) {
            const Obs* wv = band(wo, kind, b);
            const Obs* gv = band(go, kind, b);
            const std::string what = n + " " + kind + b + " epoch " + std::to_string(i);
            if (wv == nullptr) continue;
            if (kind == 'S' && wv->value == 0) continue;
            ASSERT_NE(gv, nullptr) << what;
            EXPECT_NEAR(gv->value, wv->value, kind == 'C' ? 0.01 : kind == 'L' ? 0.003 : 0.25) << what;
            if (kind == 'L') { EXPECT_FALSE((gv->lli & 1) && !(wv->lli & 1)) << what << " lock loss the source lacks"; }
            ++compared;
          }
      }
    }
    EXPECT_GT(compared, trip.minEpochs > 1 ? 3000 : 40) << "values compared";
  }
}

// A code-carrier divergence of +-400 m builds up over the epochs and goes back: the phase
// difference rolls back by 1500 cycles whenever it leaves the field, and convbin's phase stays
// the one coded. An L2 pseudorange beyond the L2-L1 field reads back as missing, never as a
// wrapped value. (Beyond about 2250 cycles convbin would need two rolls at once, which it does
// not follow; 400 m stays below that on both frequencies. convbin reads its input twice and keeps the phase and lock state of the first
// reading: the run returns to its start and a last frame with lock 0 leaves that state neutral.)
TEST(Rtcm3CoderOracle, DivergingCodeAndCarrierStayContinuous) {
  TempDir d;
  FakeSource src;
  RTC3_Coder coder(&src);
  coder.setSettings(defaultSettings(0));
  const double lam1 = kC / 1575.42e6, lam2 = kC / 1227.60e6;
  struct Sat { int prn; double rate; double l2Offset; };  // divergence m/epoch; L2 - L1 code
  const Sat sats[] = {{3, +10.0, 4.0}, {9, -10.0, -4.0}, {17, 0.5, 170.0}};
  std::vector<std::vector<double>> phases;  // per epoch: L1, L2 cycles per satellite
  std::vector<Bytes> frames;
  const std::uint32_t tow0 = 5 * 86400 * 1000 + 16 * 3600000;  // Friday 16:00
  constexpr int kEpochs = 81;
  for (int k = 0; k <= kEpochs; ++k) {
    const bool closing = k == kEpochs;
    const int ramp = k <= 40 ? k : 80 - k;
    src.rtk = NAVCOD_RTK_DATA{};
    src.rtk.ulTime[0] = tow0 + static_cast<std::uint32_t>(k) * 1000;
    phases.emplace_back();
    for (const Sat& s : sats) {
      RTK_DATA_SV& sv = src.addSat(0, s.prn);
      const double pr = 21000000.0 + s.prn * 1000.0 + k * 700.0;
      const double div = s.rate * (closing ? 0 : ramp);
      const double ph1 = std::round((pr + div) / lam1 * 1000.0) / 1000.0;
      const double ph2 = std::round((pr + div) / lam2 * 1000.0) / 1000.0;
      const long lock = closing ? 0 : (k + 1) * 1000;
      FakeSource::setSlot(sv, 0, std::round(pr * 50) / 50, ph1 * lam1, lock, 180);
      FakeSource::setSlot(sv, 2, std::round((pr + s.l2Offset) * 50) / 50, ph2 * lam2, lock, 150);
      phases.back().push_back(ph1);
      phases.back().push_back(ph2);
    }
    arm(coder, {kRtc3Msg1004});
    frames.push_back(build(coder, kRtc3Msg1004));
  }
  writeFrames(d.file("div.rtcm3"), frames);
  const Rinex got = parseRinex(convbin(d, "div.rtcm3", "div.obs", "2024/03/15 12:00:00"));
  ASSERT_EQ(got.epochs.size(), phases.size());
  for (std::size_t k = 0; k < kEpochs; ++k)
    for (std::size_t i = 0; i < std::size(sats); ++i) {
      char name[4];
      std::snprintf(name, sizeof name, "G%02d", sats[i].prn);
      SCOPED_TRACE(std::string(name) + " epoch " + std::to_string(k));
      ASSERT_TRUE(got.epochs[k].sats.contains(name));
      const SatObs& o = got.epochs[k].sats.at(name);
      const Obs* l1 = band(o, 'L', '1');
      const Obs* l2 = band(o, 'L', '2');
      ASSERT_NE(l1, nullptr);
      ASSERT_NE(l2, nullptr);
      EXPECT_NEAR(l1->value, phases[k][2 * i], 0.003);
      EXPECT_NEAR(l2->value, phases[k][2 * i + 1], 0.003);
      if (k > 0) { EXPECT_EQ(l1->lli & 1, 0); }  // convbin marks every satellite's first epoch
      EXPECT_EQ(band(o, 'C', '2') != nullptr, std::fabs(sats[i].l2Offset) < 163.82);
    }
}

}  // namespace
