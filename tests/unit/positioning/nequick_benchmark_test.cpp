// NeQuick G slant TEC against the validation tables of the NeQuick G reference implementation
// (../shared/data/nequick/benchmark*: a0 a1 a2, then month, UT, receiver and satellite
// longitude, latitude, height, and the reference STEC in TECU). Every row within 0.01 TECU.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "positioning/corrections/nequick_task.h"

namespace {

constexpr double kDeg = 3.14159265358979323846 / 180.0;

struct Row {
  int month;
  double ut, lon1, lat1, h1, lon2, lat2, h2, stec;
};

bool readTable(const std::string& name, float ai[3], std::vector<Row>& rows) {
  std::ifstream f(std::string(RX_SHARED_DIR) + "/data/nequick/" + name);
  if (!(f >> ai[0] >> ai[1] >> ai[2])) return false;
  Row r;
  while (f >> r.month >> r.ut >> r.lon1 >> r.lat1 >> r.h1 >> r.lon2 >> r.lat2 >> r.h2 >> r.stec) rows.push_back(r);
  return !rows.empty();
}

// The request the ionosphere stage would build for the row (ionisation level at the receiver).
CorrData::NeModelDataType requestOf(const float coeff[3], const Row& r) {
  CorrData::NeModelDataType q{};
  float ai[3] = {coeff[0], coeff[1], coeff[2]};
  const NeQuickIonisationLevelType lv = compute_NeQuickIonisationLevel(ai, r.lat1 * kDeg, r.lon1 * kDeg);
  q.dAz = lv.dAz;
  q.dAzr = lv.dAzr;
  q.dModip = lv.dModip;
  q.calendar.year = 2024;
  q.calendar.month = r.month;
  q.calendar.day = 15;
  q.calendar.hour = static_cast<int>(r.ut);
  q.calendar.minute = static_cast<int>((r.ut - q.calendar.hour) * 60.0 + 1e-9);
  q.uUtHour = static_cast<std::uint8_t>(q.calendar.hour);
  q.iModelType = kNeModelNeQuick;
  for (int i = 0; i < 3; ++i) q.neQuick.fAi[i] = coeff[i];
  q.dRcvLat = r.lat1 * kDeg;
  q.dRcvLon = r.lon1 * kDeg;
  q.dRcvHeight = r.h1;
  q.dSatLat = r.lat2 * kDeg;
  q.dSatLon = r.lon2 * kDeg;
  q.dSatHeight = r.h2;
  return q;
}

class NeQuickBenchmark : public ::testing::TestWithParam<const char*> {};

TEST_P(NeQuickBenchmark, EveryRowWithinOneHundredthOfATecUnit) {
  float ai[3];
  std::vector<Row> rows;
  ASSERT_TRUE(readTable(GetParam(), ai, rows)) << GetParam();
  int capped = 0;
  long evaluations = 0, most = 0;
  double worst = 0.0;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    NeIntegratorType stats{};
    const double tec = compute_NeModelSlantTEC(requestOf(ai, rows[i]), &stats) * 1e-16;
    const double err = std::fabs(tec - rows[i].stec);
    worst = std::max(worst, err);
    if (stats.capped) ++capped;
    evaluations += stats.evaluations;
    most = std::max(most, stats.evaluations);
    EXPECT_LE(err, 0.01) << GetParam() << " row " << i + 2 << ": " << tec << " against " << rows[i].stec
                         << (stats.capped ? " (halving cap reached)" : "");
  }
  RecordProperty("worst", std::to_string(worst));
  std::printf("%s: %zu rows, worst %.5f TECU, %d reached the halving cap, densities per ray %.0f (most %ld)\n",
              GetParam(), rows.size(), worst, capped, double(evaluations) / double(rows.size()), most);
}

INSTANTIATE_TEST_SUITE_P(Tables, NeQuickBenchmark,
                         ::testing::Values("benchmarkHigh", "benchmarkMid", "benchmarkLow", "benchmarkHighExpanded",
                                           "benchmarkMidExpanded", "benchmarkLowExpanded"));

}  // namespace
