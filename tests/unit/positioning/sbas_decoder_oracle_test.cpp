// The SBAS decoder against an independent one: both recordings of MSAS PRN 129 (a Crescent and
// a u-blox receiver, 2008-05-26) go through Debian's convbin into their SBAS message logs, and
// rnx2rtkp, with SBAS corrections from PRN 129 only and trace level 5, prints the fast correction
// it applies to each satellite at each epoch. (Its GEO selection does not filter the messages, so
// it is given PRN 129's alone.) Fed the same messages up to each epoch, this decoder publishes
// the same fast corrections.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "positioning/data_servers/pvt_data.h"
#include "positioning/sbas/sbas_data_decoder.h"

#include "unit/positioning/sbas_sbs_log.h"

namespace {

using sbas_log::readSbs;
using sbas_log::run;
using sbas_log::SbsLine;

struct FastLine {
  int tow, sat;
  double prc;
};

// 2008-05-26 is the Monday of GPS week 1481.
int towOf(int hh, int mm, double ss) { return 86400 + hh * 3600 + mm * 60 + static_cast<int>(std::lround(ss)); }

void oracle(const std::string& recording, const std::string& format, std::vector<SbsLine>& msgs,
            std::vector<FastLine>& fast) {
  const std::string dir = run("mktemp -d | tr -d '\\n'");
  const std::string src = std::string(RX_SHARED_DIR) + "/testdata/sbas/" + recording;
  run("cd " + dir + " && cp '" + src + "' in.bin && convbin -r " + format + " in.bin -d . >/dev/null 2>&1 && " +
      "printf 'pos1-posmode=single\\npos1-navsys=1\\npos1-sateph=brdc+sbas\\npos1-ionoopt=sbas\\n"
      "pos1-tropopt=saas\\npos1-sbassatsel=129\\n' > s.conf && "
      "awk '$3==129' in.sbs > g.sbs && rnx2rtkp -k s.conf -x 5 -o out.pos in.obs in.nav g.sbs >/dev/null 2>&1");
  msgs = readSbs(dir + "/in.sbs");
  std::ifstream trace(dir + "/out.pos.trace");
  int epoch = -1;
  for (std::string line; std::getline(trace, line);) {
    int y, mo, d, hh, mm;
    double ss;
    if (std::sscanf(line.c_str(), "4 seleph  : time=%d/%d/%d %d:%d:%lf", &y, &mo, &d, &hh, &mm, &ss) == 6)
      epoch = towOf(hh, mm, ss);
    FastLine f{};
    if (std::sscanf(line.c_str(), "5 sbsfastcorr: sat=%d prc=%lf", &f.sat, &f.prc) == 2 && epoch >= 0) {
      f.tow = epoch;
      fast.push_back(f);
    }
  }
  run("rm -rf " + dir);
}

class SbasDecoderOracle : public ::testing::TestWithParam<const char*> {};

TEST_P(SbasDecoderOracle, FastCorrectionsEqualRnx2rtkpAtEveryEpoch) {
  ASSERT_EQ(access("/usr/bin/rnx2rtkp", X_OK), 0) << "rnx2rtkp (Debian rtklib) is required: run scripts/setup";
  const std::string rec = GetParam();
  std::vector<SbsLine> msgs;
  std::vector<FastLine> fast;
  oracle(rec, rec.find("ubx") != std::string::npos ? "ubx" : "hemis", msgs, fast);
  ASSERT_GT(msgs.size(), 300u);
  ASSERT_GT(fast.size(), 500u) << "rnx2rtkp applied too few fast corrections";
  for (SbasDataDecoder& d : SbasDataDecoderInstance) d.init_Object(&PVTDataInstance, nullptr);
  for (auto& s : PVTDataInstance.sbasSatCorrection) s.Init();
  const SvIdType geo{9, kSysSbas, 0, 9};
  std::size_t next = 0;
  int compared = 0, bad = 0;
  for (const FastLine& f : fast) {
    // A message stamped with the second it starts is whole one second later.
    for (; next < msgs.size() && msgs[next].tow + 1 <= f.tow; ++next) {
      if (msgs[next].prn != 129) continue;
      PosData::RcvTimeDataType t{};
      t.gps.ulMs = static_cast<std::uint32_t>(msgs[next].tow) * 1000u;
      t.gps.uWeek = 1481;
      t.gps.uStatus[0] = 1;
      get_SbasDataDecoder(t, geo)->update(t, geo, msgs[next].msg);
    }
    const SvIdType sat{static_cast<std::uint8_t>(f.sat - 1), kSysGps, 0, static_cast<std::uint8_t>(f.sat - 1)};
    SBASData::SatCorrectionType r;
    ASSERT_NE(PVTDataInstance.sbasSatCorrection[0].Take(&sat, &r), 0) << rec << " G" << f.sat << " at " << f.tow;
    EXPECT_NEAR(r.fPrc, f.prc, 0.006) << rec << " G" << f.sat << " at " << f.tow << " tag " << (r.ulFastTime[0] >> 1)
                                      << " iodf " << int(r.uIodf);
    if (std::fabs(r.fPrc - f.prc) > 0.006 && ++bad > 8) break;
    EXPECT_LT(r.uUdrei, 15);
    EXPECT_FALSE(std::isnan(r.fRrc));
    ++compared;
  }
  EXPECT_EQ(compared, static_cast<int>(fast.size()));
  // Every correction coded 2047 (255.875 m) comes as not monitored or not to be used.
  int coded2047 = 0;
  for (int prn = 1; prn <= 32; ++prn) {
    const SvIdType sat{static_cast<std::uint8_t>(prn - 1), kSysGps, 0, static_cast<std::uint8_t>(prn - 1)};
    SBASData::SatCorrectionType r;
    if (PVTDataInstance.sbasSatCorrection[0].Take(&sat, &r) == 0 || r.fPrc != 255.875f) continue;
    ++coded2047;
    EXPECT_GE(r.uUdrei, 14) << rec << " G" << prn;
    EXPECT_FALSE(r.is_ReadyRateCorr(static_cast<int>(r.ulFastTime[0] >> 1)));
  }
  EXPECT_GT(coded2047, 0) << rec;
}

INSTANTIATE_TEST_SUITE_P(Recordings, SbasDecoderOracle,
                         ::testing::Values("cres_20080526.bin", "ubx_20080526.ubx"));

}  // namespace
