// The BeiDou D2 road end to end on real data: the public C01 vectors (ephemeris, subframes 2
// and 3 of six frames, the 26 grid pages) go through the D2 decoder into the correction servers
// by the program's own writes, and the generator's answers are compared with the same bits read
// here in the ICD's terms: a correction per flagged satellite (raw dt x 0.1 m, the UDRE index's
// sigma), and bilinear delays over every grid cell whose four nodes carry a delay.
#include <gtest/gtest.h>

#include <cmath>

#include "unit/own_process.h"
#include "../navigation_data/beidou_d2_test_util.h"
#include "positioning/corrections/comp_corr_generator.h"

namespace {

using bdstest::bds;
using bdstest::Vector;
using bdstest::Words;

// Data bits of a subframe in transmission order, from bit `first` on, `skip` of them passed over.
long long field(const Words& w, int first, int n, bool isSigned, int skip = 0) {
  std::string bits;
  for (int bit = 1; bit <= 300; ++bit) {
    const int inWord = (bit - 1) % 30;
    if (inWord >= (bit <= 30 ? 26 : 22)) continue;
    if (bit >= first) bits += ((w[static_cast<std::size_t>((bit - 1) / 32)] >> (31 - (bit - 1) % 32)) & 1) ? '1' : '0';
  }
  long long v = std::stoll(bits.substr(static_cast<std::size_t>(skip), static_cast<std::size_t>(n)), nullptr, 2);
  if (isSigned && (v >> (n - 1)) != 0) v -= 1LL << n;
  return v;
}

struct Road : bdsd2::Harness {
  std::vector<std::pair<std::string, Vector>> vec = bdsd2::loadD2Vectors();
  const Vector& at(const std::string& name) {
    for (const auto& [n, v] : vec)
      if (n == name) return v;
    ADD_FAILURE() << name;
    return vec.front().second;
  }
  static std::string name(int sf, int p) {
    return "navD2SF" + std::to_string(sf) + "p" + (p < 10 ? "00" : p < 100 ? "0" : "") + std::to_string(p);
  }
  Road() {
    navDecoderLinks.compUdre = put_CompUdreData;
    navDecoderLinks.compCorrection = put_CompCorrData;
    navDecoderLinks.compIonoBlock = put_CompIonoBlock;
    navDecoderLinks.compSourceState = put_CompSourceState;
    for (int p = 1; p <= 10; ++p) feed2(bds(1), at(name(1, p)).w);
    for (int p = 1; p <= 6; ++p) {
      feed2(bds(1), at(name(2, p)).w);
      feed2(bds(1), at(name(3, p)).w);
    }
    for (int p : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 61, 62, 63, 64, 65, 66, 67, 68, 69, 70, 71, 72, 73})
      feed2(bds(1), at(name(5, p)).w);
  }
  // The broadcast word of a grid node (its page and place from the ICD numbering).
  long long node(double lat, double lon) {
    const int column = static_cast<int>(std::lround((lon - 70) / 5));
    const bool half = std::fmod(lat, 5.0) != 0.0;
    const int n = column * 10 + static_cast<int>(std::lround((lat - (half ? 7.5 : 10.0)) / 5));
    const int page = (half ? 61 : 1) + n / 13;
    return field(at(name(5, page)).w, 51, 13, false, 13 * (n % 13));
  }
};

constexpr std::uint32_t kNow = 345820000;  // BDT ms, after the last grid page

}  // namespace

// Its records live in process-wide servers that have no way back to their start: in a process of its own.
TEST(CompCorrRoad, CorrectionsOfTheFlaggedSatellites) {
  testproc::inOwnProcess([] {
    Road r;
    CompCorrGenerator gen(&PVTDataInstance);
    gen.select_Source(r.decoder(bds(1))->get_SourceNumber(), bds(1), kNow);
    const long long bdid = field(r.at(Road::name(2, 1)).w, 50, 30, false);
    std::vector<int> flagged;
    for (int prn = 1; prn <= 30; ++prn)
      if ((bdid >> (30 - prn)) & 1) flagged.push_back(prn);
    ASSERT_EQ(flagged.size(), 16u);
    int corrected = 0;
    for (std::size_t k = 0; k < flagged.size(); ++k) {
      const int p = static_cast<int>(k / 3) + 1, j = static_cast<int>(k % 3);
      const Words& sf2 = r.at(Road::name(2, p)).w;
      const Words& sf3 = r.at(Road::name(3, p)).w;
      const long long dt = j == 0 ? field(sf2, 280, 13, true) : field(sf3, j == 1 ? 48 : 73, 13, true);
      const int udrei = static_cast<int>(field(r.at(Road::name(2, 6)).w, 172, 4, false, 4 * static_cast<int>(k)));
      const double sigma = CompCorrGenerator::fTableSigmaUDRE[udrei];
      const auto c = gen.compute_SatCorrection(bds(flagged[k]));
      SCOPED_TRACE("C" + std::to_string(flagged[k]));
      EXPECT_TRUE(c.udreValid);
      ASSERT_EQ(c.corrValid, dt != -4096 && udrei < 14);
      if (!c.corrValid) continue;
      ++corrected;
      EXPECT_NEAR(c.correction, dt * 0.1, 1e-5);
      EXPECT_NEAR(c.variance, (sigma / 3.29) * (sigma / 3.29), 1e-6);
      EXPECT_NEAR(c.age, (kNow - 1000.0 * field(sf2, 19, 20, false)) * 1e-3, 1e-3);
    }
    EXPECT_EQ(corrected, 16);
    EXPECT_FALSE(gen.compute_SatCorrection(bds(7)).udreValid) << "not flagged";
  });
}

// Its records live in process-wide servers that have no way back to their start: in a process of its own.
TEST(CompCorrRoad, GridDelaysOverEveryFullCell) {
  testproc::inOwnProcess([] {
    Road r;
    CompCorrGenerator gen(&PVTDataInstance);
    gen.select_Source(r.decoder(bds(1))->get_SourceNumber(), bds(1), kNow);
    int cells = 0;
    for (double latS = 7.5; latS < 55; latS += 2.5)
      for (double lonW = 70; lonW < 145; lonW += 5) {
        const double corner[4][2] = {{latS, lonW}, {latS, lonW + 5}, {latS + 2.5, lonW + 5}, {latS + 2.5, lonW}};
        long long word[4];
        bool full = true;
        for (int k = 0; k < 4; ++k) {
          word[k] = r.node(corner[k][0], corner[k][1]);
          full = full && (word[k] >> 4) < 510;
        }
        if (!full) continue;
        const double lat = latS + 0.75, lon = lonW + 3.5;  // x 0.3, y 0.7 inside the cell
        const float fLat = static_cast<float>(lat), fLon = static_cast<float>(lon);
        const double x = (fLat - latS) / 2.5, y = (fLon - lonW) / 5;
        const double w[4] = {(1 - x) * (1 - y), (1 - x) * y, x * y, x * (1 - y)};
        double delay = 0, var = 0;
        for (int k = 0; k < 4; ++k) {
          const double s = CompCorrGenerator::fTableSigmaGIVE[word[k] & 15] / 3.29;
          delay += w[k] * (word[k] >> 4) * 0.125;
          var += w[k] * s * s;
        }
        CorrData::RequestSatDataType s{};
        s.fIppLat = fLat, s.fIppLon = fLon, s.fObliquity = 1.0f, s.svId = bds(10);
        const auto io = gen.compute_IonoCorrection(s, 0.0);
        SCOPED_TRACE(std::to_string(latS) + " N " + std::to_string(lonW) + " E");
        ASSERT_TRUE(io.valid);
        EXPECT_NEAR(io.vertical, delay, 1e-4);
        EXPECT_NEAR(io.variance, var, 1e-5);
        EXPECT_NEAR(io.delay, -delay, 1e-4);
        ++cells;
      }
    EXPECT_GT(cells, 15) << "the grid of the vectors covers China";
    // West of the covered area nothing is broadcast: no delay at 20 N, 72 E.
    CorrData::RequestSatDataType west{};
    west.fIppLat = 20.0f, west.fIppLon = 72.0f, west.fObliquity = 1.0f, west.svId = bds(10);
    EXPECT_FALSE(gen.compute_IonoCorrection(west, 0.0).valid);
  });
}
