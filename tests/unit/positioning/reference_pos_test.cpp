// The reference position record against the RTCM standard's 1005 example station, read from the
// recorded frame, with GeographicLib's CartConvert as the independent geodetic truth.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "positioning/reference/reference_pos.h"

namespace {

// `CartConvert -r -p 9` of the station's X, Y, Z on WGS 84.
constexpr double kLatDeg = 38.80475943042507, kLonDeg = -77.06477359980347, kHgt = 114.561138154;
constexpr double kDeg = 3.14159265358979323846 / 180;

std::int64_t bits(const std::vector<std::uint8_t>& b, std::size_t pos, int len, bool sign) {
  std::uint64_t v = 0;
  for (int i = 0; i < len; ++i) v = (v << 1) | ((b[(pos + i) / 8] >> (7 - (pos + i) % 8)) & 1u);
  if (sign && (v >> (len - 1)) & 1u) return static_cast<std::int64_t>(v) - (std::int64_t{1} << len);
  return static_cast<std::int64_t>(v);
}

// The station coordinates (m) of the first message 1005 of the file.
bool station1005(double xyz[3]) {
  std::ifstream in(std::string(RX_SHARED_DIR) + "/testdata/rtcm3/standard-examples-1029-1005.rtcm3",
                   std::ios::binary);
  const std::vector<std::uint8_t> d((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  for (std::size_t i = 0; i + 6 < d.size(); ++i) {
    if (d[i] != 0xD3) continue;
    const std::size_t len = ((d[i + 1] & 3u) << 8) | d[i + 2];
    if (len < 19 || i + 3 + len > d.size()) continue;
    const std::vector<std::uint8_t> m(d.begin() + static_cast<long>(i) + 3, d.begin() + static_cast<long>(i + 3 + len));
    if (bits(m, 0, 12, false) != 1005) continue;
    xyz[0] = static_cast<double>(bits(m, 34, 38, true)) * 1e-4;
    xyz[1] = static_cast<double>(bits(m, 74, 38, true)) * 1e-4;
    xyz[2] = static_cast<double>(bits(m, 114, 38, true)) * 1e-4;
    return true;
  }
  return false;
}

EllMath::ELL_EXTPAR wgs84() {
  EllMath::ELL_EXTPAR e{};
  DtmList::ELL_PARAMS p{"W84", 6378137.0, 298.257223563};
  EllMath::setEllPar(p, &e);
  return e;
}

TEST(ReferencePos1005, CartesianGivesCartConvertsGeodeticAndBack) {
  double xyz[3];
  ASSERT_TRUE(station1005(xyz));
  EXPECT_NEAR(xyz[0], 1114104.5999, 1e-9);
  EXPECT_NEAR(xyz[1], -4850729.7108, 1e-9);
  EXPECT_NEAR(xyz[2], 3975521.4643, 1e-9);
  ReferencePos r;
  r.setEllipsoid(wgs84());
  bool unchanged = true;
  ASSERT_TRUE(r.setRefPos(ReferencePos::kCartesian, "1005", xyz, unchanged, InPorts::DEC_TCP_A));
  EXPECT_FALSE(unchanged);
  double blh[3];
  ASSERT_TRUE(r.getRefPos(ReferencePos::kGeodetic, blh));
  EXPECT_NEAR(blh[0] / kDeg, kLatDeg, 1e-9);
  EXPECT_NEAR(blh[1] / kDeg, kLonDeg, 1e-9);
  EXPECT_NEAR(blh[2], kHgt, 1e-3);
  // CartConvert's geodetic set as such gives the station back.
  ReferencePos g;
  g.setEllipsoid(wgs84());
  const double in[3] = {kLatDeg * kDeg, kLonDeg * kDeg, kHgt};
  ASSERT_TRUE(g.setRefPos(ReferencePos::kGeodetic, "1005", in, unchanged, InPorts::DEC_TCP_A));
  double back[3];
  ASSERT_TRUE(g.getRefPos(ReferencePos::kCartesian, back));
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(back[k], xyz[k], 1e-4) << k;
  ReferencePos::REFPOS_PAR par;
  ASSERT_TRUE(g.getRefPos(&par));
  EXPECT_STREQ(par.name, "1005");
  EXPECT_EQ(par.x, back[0]);
  EXPECT_EQ(par.lat, in[0]);
}

TEST(ReferencePos1005, FlagsAndRefusals) {
  struct Row {
    const char* name;
    bool ellipsoid;
    int type;
    bool zero;
    bool ok, valid, nonZero;
  };
  const Row rows[] = {
      {"no ellipsoid", false, ReferencePos::kCartesian, false, false, false, false},
      {"type 2", true, 2, false, false, false, false},
      {"type -1", true, -1, false, false, false, false},
      {"cartesian", true, ReferencePos::kCartesian, false, true, true, true},
      {"geodetic", true, ReferencePos::kGeodetic, false, true, true, true},
      {"all zero", true, ReferencePos::kCartesian, true, true, true, false},
  };
  for (const Row& r : rows) {
    double xyz[3];
    ASSERT_TRUE(station1005(xyz));
    if (r.type == ReferencePos::kGeodetic) xyz[0] = 0.5, xyz[1] = -1.2, xyz[2] = 100;
    if (r.zero) xyz[0] = xyz[1] = xyz[2] = 0;
    ReferencePos p;
    if (r.ellipsoid) p.setEllipsoid(wgs84());
    EXPECT_EQ(p.ellipsoidSet(), r.ellipsoid) << r.name;
    bool unchanged = false;
    EXPECT_EQ(p.setRefPos(r.type, "S", xyz, unchanged, InPorts::DEC_SER_A), r.ok) << r.name;
    EXPECT_EQ(p.valid(), r.valid) << r.name;
    EXPECT_EQ(p.nonZero(), r.nonZero) << r.name;
    double out[3];
    EXPECT_EQ(p.getRefPos(ReferencePos::kCartesian, out), r.valid) << r.name;
    ReferencePos::REFPOS_PAR par;
    EXPECT_EQ(p.getRefPos(&par), r.valid) << r.name;
  }
}

TEST(ReferencePos1005, HeightWindowAtTheStation) {
  const EllMath::ELL_EXTPAR e = wgs84();
  struct Row {
    double h;
    bool ok;
  };
  for (const Row& r : {Row{19999.999, true}, Row{20000.001, false}, Row{-19999.999, true}, Row{-20000.001, false}, Row{kHgt, true}}) {
    double xyz[3];
    EllMath::BLH_XYZ(e, kLatDeg * kDeg, kLonDeg * kDeg, r.h, xyz[0], xyz[1], xyz[2]);
    EXPECT_EQ(ReferencePos::checkXYZ(e, xyz), r.ok) << r.h;
  }
}

}  // namespace
