// Readiness of real broadcast ephemerides: GPS records of a day's merged broadcast file (RINEX 2
// navigation, 1 July 2010, GPS week 1590) turned into native records by a small reader here.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "unit/navigation_data/blank_image.h"
#include "navigation_data/store/sat_data_store.h"

namespace {

constexpr double kSemicircle = 3.141592653589793;  // rad per semicircle (IS-GPS-200 units)

double num(const std::string& line, std::size_t col) {
  std::string f = line.size() > col ? line.substr(col, 19) : std::string();
  for (char& c : f)
    if (c == 'D' || c == 'd') c = 'E';
  return f.empty() ? 0.0 : std::stod(f);
}

// The eight lines of each record: epoch and clock, then broadcast orbits 1 to 7 (RINEX 2.11,
// table A4), four fields of 19 characters from column 3.
std::vector<ZRT_EPH_GPS> readRinexNav(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line) && line.find("END OF HEADER") == std::string::npos) {
  }
  std::vector<ZRT_EPH_GPS> out;
  std::string l[8];
  while (std::getline(in, l[0])) {
    for (int k = 1; k < 8; ++k)
      if (!std::getline(in, l[k])) return out;
    double o[8][4];
    for (int k = 1; k < 8; ++k)
      for (int j = 0; j < 4; ++j) o[k][j] = num(l[k], 3 + 19 * static_cast<std::size_t>(j));
    ZRT_EPH_GPS e{};
    e.prn = static_cast<std::uint8_t>(std::stoi(l[0].substr(0, 2)));
    const int hour = std::stoi(l[0].substr(12, 3)), min = std::stoi(l[0].substr(15, 3));
    e.af0 = num(l[0], 22), e.af1 = static_cast<float>(num(l[0], 41)), e.af2 = static_cast<float>(num(l[0], 60));
    e.iode = static_cast<std::uint16_t>(o[1][0]), e.crs = static_cast<float>(o[1][1]);
    e.deltaN = static_cast<float>(o[1][2] / kSemicircle), e.M0 = o[1][3] / kSemicircle;
    e.cuc = static_cast<float>(o[2][0]), e.e = o[2][1], e.cus = static_cast<float>(o[2][2]), e.sqrtA = o[2][3];
    e.toe = static_cast<std::uint32_t>(o[3][0]), e.cic = static_cast<float>(o[3][1]);
    e.Omega0 = o[3][2] / kSemicircle, e.cis = static_cast<float>(o[3][3]);
    e.i0 = o[4][0] / kSemicircle, e.crc = static_cast<float>(o[4][1]), e.omega = o[4][2] / kSemicircle;
    e.OmegaDot = static_cast<float>(o[4][3] / kSemicircle), e.idot = static_cast<float>(o[5][0] / kSemicircle);
    e.week = static_cast<std::uint16_t>(o[5][2]);
    e.health = static_cast<std::uint8_t>(o[6][1]), e.tgd = static_cast<float>(o[6][2]);
    e.iodc = static_cast<std::int16_t>(o[6][3]);
    e.tow = static_cast<std::uint32_t>(o[7][0]);
    // 1 July 2010 is day 4 of its GPS week.
    e.toc = 4 * 86400 + hour * 3600 + min * 60;
    out.push_back(e);
  }
  return out;
}

const std::vector<ZRT_EPH_GPS>& fileRecords() {
  static const std::vector<ZRT_EPH_GPS> r = readRinexNav(std::string(RX_SHARED_DIR) + "/testdata/nav/brdc1820.10n");
  return r;
}

SvIdType gps(int prn) { return SvIdType{static_cast<std::uint8_t>(prn - 1), kSysGps, 0, static_cast<std::uint8_t>(prn - 1)}; }

// Every test starts from a blank settings image: no record a test before kept there comes back.
struct SatDataRinex : ::testing::Test {
  void SetUp() override { navtest::blankImage(); }
};

TEST_F(SatDataRinex, FileGivesTheDaysGpsRecords) {
  const auto& r = fileRecords();
  ASSERT_GT(r.size(), 300u);
  // First record of the file: PRN 1, toe 345600 (Thursday 00:00), IODE 63, week 1590.
  EXPECT_EQ(r[0].prn, 1);
  EXPECT_EQ(r[0].toe, 345600u);
  EXPECT_EQ(r[0].iode, 63);
  EXPECT_EQ(r[0].week, 1590);
  EXPECT_NEAR(r[0].sqrtA, 5154.80139732, 1e-6);
}

// Every record is ready from toe - 14460 s to toe + 14460 s and not a second beyond, the
// receiver time taken as a whole count of seconds, independent of the store's folding. Week
// 1590 is shifted by 457 weeks to 1023, the last of a 1024-week cycle, and the record times
// (toe, toc, transmission time) by two whole days, so that the late toes of the day (up to
// Saturday 22:00) reach past the week's end into week 0 of the next cycle.
TEST_F(SatDataRinex, ReadyWithinFourHoursOfToeAcrossTheWeekWrap) {
  constexpr long kWeekShift = 1023 - 1590;
  constexpr long kDayShift = 2 * 86400;
  constexpr long kWeek = 604800;
  int crossings = 0;
  for (ZRT_EPH_GPS e : fileRecords()) {
    e.week = static_cast<std::uint16_t>(e.week + kWeekShift);
    e.toe += kDayShift, e.toc += kDayShift, e.tow += kDayShift;
    SatelliteDataProcessor s;
    SatDataSetup setup;
    s.set_Setup(setup);
    ASSERT_TRUE(s.update_EphemerisData(gps(e.prn), 0, &e, 1, true, false, false));
    const long toeAbs = 1023 * kWeek + e.toe;
    for (int side : {-1, 1}) {
      for (int off : {-1, 0, 1}) {
        const long t = toeAbs + side * (14460 + off);
        SatDataEpoch ep;
        ep.time.valid = true;
        ep.time.cycleKnown[kSysGps] = true;
        ep.time.cycle[kSysGps] = static_cast<std::int32_t>(t / kWeek);  // 1024 is week 0
        ep.time.sec[kSysGps] = static_cast<double>(t % kWeek);
        crossings += t / kWeek == 1024;
        s.update(ep);
        const bool expect = std::labs(t - toeAbs) <= 14460;
        EXPECT_EQ(s.get_EphLastData(kSysGps, e.prn - 1, 0) != nullptr, expect)
            << "PRN " << int(e.prn) << " toe " << e.toe << " side " << side << " off " << off;
      }
    }
  }
  EXPECT_GT(crossings, 20);  // the day's last toes do reach the next cycle
}

}  // namespace
