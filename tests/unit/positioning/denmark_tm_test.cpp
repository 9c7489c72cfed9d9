// The exact transverse Mercator of the national grids against PROJ's (cct, the same Poder-Engsager
// algorithm to six terms) and against the series summed directly.
#include <gtest/gtest.h>

#include <bit>
#include <complex>
#include <cstdint>
#include <random>

#include "positioning/geodesy/dk_national_grid.h"
#include "unit/positioning/geodesy_oracle.h"

using namespace geodesy_test;
using namespace DkGrid;

namespace {
const std::string kProjUtm32 = "cct -d 6 +proj=utm +zone=32 +ellps=intl";

// cct reads its input from the command line of the shell: batches keep each under its length limit.
std::vector<std::vector<double>> projUtm32(const std::vector<std::array<double, 2>>& latLonDeg) {
    std::vector<std::vector<double>> out;
    for (size_t i = 0; i < latLonDeg.size(); i += 1000) {
        std::vector<std::string> lines;
        for (size_t k = i; k < std::min(latLonDeg.size(), i + 1000); ++k)
            lines.push_back(num(latLonDeg[k][1]) + " " + num(latLonDeg[k][0]) + " 0 0");
        const auto part = runTool(kProjUtm32, lines);
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

const DenmarkTM& utm32() {
    double N = 0.95, E = 0.16;
    EXPECT_TRUE(_Forward(&N, &E, 117));  // sets the projection up
    EXPECT_TRUE(initUTM32);
    return _UTM32;
}
}  // namespace

// The object keeps the zone's constants in the receiver's order; its meridian quadrant is PROJ's.
TEST(DenmarkTM, Utm32ConstantsInOrder) {
    const DenmarkTM& tm = utm32();
    const auto* v = reinterpret_cast<const double*>(&tm);
    EXPECT_EQ(v[0], 0.15707963267948966);
    EXPECT_EQ(v[1], 0.9996);
    EXPECT_EQ(v[2], 0.0);
    EXPECT_EQ(v[3], 500000.0);
    EXPECT_NEAR(v[4], 1.0 / (2.0 * 297.0 - 1.0), 1e-18);  // third flattening
    const auto pole = runTool(kProjUtm32, {"9 90 0 0"});
    ASSERT_EQ(pole.size(), 1u);
    EXPECT_NEAR(v[13] * M_PI / 2.0, pole[0][1], 1e-6);  // Qn: quadrant x k0 over pi/2
    EXPECT_NEAR(v[14], 0.0, 1e-9);                       // origin on the equator
    // Series signs: Gaussian latitude below geodetic, alpha and beta of opposite sign.
    EXPECT_GT(v[5], 0.0);
    EXPECT_LT(v[9], 0.0);
    EXPECT_LT(v[15], 0.0);
    EXPECT_GT(v[19], 0.0);
}

TEST(DenmarkTM, ForwardAgreesWithProjOver10000RandomPoints) {
    const DenmarkTM& tm = utm32();
    std::mt19937_64 rng(48);
    std::uniform_real_distribution<double> lat(54.0, 58.0), lon(7.5, 15.5);
    std::vector<std::array<double, 2>> pts(10000);
    for (auto& p : pts) p = {lat(rng), lon(rng)};
    const auto ref = projUtm32(pts);
    ASSERT_EQ(ref.size(), pts.size());
    double worst = 0.0;
    for (size_t i = 0; i < pts.size(); ++i) {
        double N = pts[i][0] * kDeg, E = pts[i][1] * kDeg;
        ASSERT_TRUE(SpherTM_Forward(&N, &E, tm)) << pts[i][0] << " " << pts[i][1];
        worst = std::max({worst, std::fabs(E - ref[i][0]), std::fabs(N - ref[i][1])});
        ASSERT_LT(std::max(std::fabs(E - ref[i][0]), std::fabs(N - ref[i][1])), 1e-3)
            << pts[i][0] << " " << pts[i][1] << ": " << N << " " << E << " PROJ " << ref[i][1] << " " << ref[i][0];
    }
    RecordProperty("worst_m", std::to_string(worst));
}

TEST(DenmarkTM, InverseRoundTrip) {
    const DenmarkTM& tm = utm32();
    std::mt19937_64 rng(4848);
    std::uniform_real_distribution<double> lat(-80.0, 84.0), dlon(-30.0, 30.0);
    for (int i = 0; i < 20000; ++i) {
        const double B = lat(rng) * kDeg, L = (9.0 + dlon(rng)) * kDeg;
        double N = B, E = L;
        if (!SpherTM_Forward(&N, &E, tm)) continue;  // beyond the band
        ASSERT_TRUE(SpherTM_Inverse(&N, &E, tm)) << B << " " << L;
        ASSERT_NEAR(N, B, 1e-9);
        ASSERT_NEAR(E, L, 1e-9);
    }
}

// The band: refused exactly where PROJ's easting lies beyond Qn x 0.8349968168864 of the central meridian.
TEST(DenmarkTM, NormalisedEastingBound) {
    const DenmarkTM& tm = utm32();
    const auto pole = runTool(kProjUtm32, {"9 90 0 0"});
    ASSERT_EQ(pole.size(), 1u);
    const double limit = pole[0][1] / (M_PI / 2.0) * 0.8349968168864;
    std::vector<std::array<double, 2>> pts;
    for (double lat : {0.0, 20.0, -30.0})
        for (double d = 38.0; d <= 52.0; d += 0.25) pts.push_back({lat, 9.0 + d}), pts.push_back({lat, 9.0 - d});
    const auto ref = projUtm32(pts);
    ASSERT_EQ(ref.size(), pts.size());
    int refused = 0;
    for (size_t i = 0; i < pts.size(); ++i) {
        const double off = std::fabs(ref[i][0] - 500000.0);
        if (std::fabs(off - limit) < 1.0) continue;
        double N = pts[i][0] * kDeg, E = pts[i][1] * kDeg;
        EXPECT_EQ(SpherTM_Forward(&N, &E, tm), off < limit) << pts[i][0] << " " << pts[i][1];
        refused += off > limit;
    }
    EXPECT_GT(refused, 10);
    // The inverse holds the same bound on the easting it is given.
    const struct { double dE; bool ok; } rows[] = {
        {0.0, true}, {limit - 0.001, true}, {-(limit - 0.001), true}, {limit + 0.001, false}, {-(limit + 0.001), false},
        {3e6, true}, {6e6, false}, {1e300, false},
    };
    for (const auto& r : rows) {
        double N = 6.2e6, E = 500000.0 + r.dE;
        EXPECT_EQ(SpherTM_Inverse(&N, &E, tm), r.ok) << r.dE;
        if (!r.ok) {
            EXPECT_EQ(N, 6.2e6);
        }
    }
}

TEST(DenmarkTM, LatitudeAndLongitudeDomains) {
    const DenmarkTM& tm = utm32();
    const struct { double lat, lon; bool ok; } rows[] = {
        {M_PI / 2, 0.1, true},          {-M_PI / 2, 0.3, true},     {M_PI / 2 + 1e-12, 0.1, false},
        {-2.0, 0.1, false},             {1e10, 0.15, false},        {NAN, 0.1, false},
        {0.9, NAN, false},              {0.9, INFINITY, false},     {0.9, -INFINITY, false},
        {INFINITY, 0.1, false},         {0.9, 0.15 + 2 * M_PI, true}, {0.9, 0.15 - 2000 * M_PI, true},
    };
    for (const auto& r : rows) {
        double N = r.lat, E = r.lon;
        EXPECT_EQ(SpherTM_Forward(&N, &E, tm), r.ok) << r.lat << " " << r.lon;
        if (!r.ok) {
            EXPECT_TRUE(std::isnan(r.lat) ? std::isnan(N) : N == r.lat);
            continue;
        }
        double N0 = r.lat, E0 = std::remainder(r.lon, 2 * M_PI);
        ASSERT_TRUE(SpherTM_Forward(&N0, &E0, tm));
        EXPECT_NEAR(N, N0, 1e-6);
        EXPECT_NEAR(E, E0, 1e-6);
    }
}

// gatg and clenshaw against the sums written out term by term.
TEST(DenmarkTM, SeriesSumsAgreeWithDirectSums) {
    const double p[4] = {3.1e-3, -2.2e-6, 1.3e-9, -4.4e-12};
    const struct { double B, re, im; } rows[] = {
        {0.0, 0.0, 0.0}, {0.97, 1.9, 0.3}, {-1.3, -2.5, -1.1}, {1.5707963267948966, 3.0, 1.6}, {0.2, 0.4, -0.02},
    };
    for (const auto& r : rows) {
        double direct = r.B;
        std::complex<double> z(r.re, r.im), s = 0.0;
        for (int k = 0; k < 4; ++k) {
            direct += p[k] * std::sin(2.0 * (k + 1) * r.B);
            s += p[k] * std::sin(double(k + 1) * z);
        }
        EXPECT_NEAR(gatg(p, 4, r.B), direct, 1e-15) << r.B;
        double R = 0, I = 0;
        EXPECT_EQ(clenshaw(p, 4, r.re, r.im, &R, &I), R);
        EXPECT_NEAR(R, s.real(), 1e-13) << r.re << " " << r.im;
        EXPECT_NEAR(I, s.imag(), 1e-13) << r.re << " " << r.im;
    }
    double R = 1, I = 1;
    clenshaw(p, 0, 0.5, 0.5, &R, &I);
    EXPECT_EQ(R, 0.0);
    EXPECT_EQ(gatg(p, 0, 0.5), 0.5);
}

TEST(DenmarkTM, InitRefusesImpossibleParameters) {
    DenmarkTM t{};
    t.Qn = 42.0;
    const struct { double a, rf, lon0, k0, lat0; } rows[] = {
        {0.0, 297, 0.1, 0.9996, 0}, {-6378388, 297, 0.1, 0.9996, 0}, {6378388, 1.0, 0.1, 0.9996, 0},
        {6378388, 297, NAN, 0.9996, 0}, {6378388, 297, 0.1, 0.0, 0}, {6378388, 297, 0.1, INFINITY, 0},
        {INFINITY, 297, 0.1, 0.9996, 0}, {6378388, 297, 0.1, 0.9996, 2.0}, {6378388, NAN, 0.1, 0.9996, 0},
    };
    for (const auto& r : rows) EXPECT_FALSE(InitDenmarkTM(&t, r.a, r.rf, r.lon0, r.k0, 0, 500000, r.lat0)) << r.a;
    EXPECT_EQ(t.Qn, 42.0);
    // A latitude of origin and false northing move the northing as PROJ's do.
    ASSERT_TRUE(InitDenmarkTM(&t, 6378388.0, 297.0, 10 * kDeg, 0.9999, 1000.0, 200000.0, 56.0 * kDeg));
    const auto ref = runTool("cct -d 6 +proj=etmerc +lat_0=56 +lon_0=10 +k_0=0.9999 +x_0=200000 +y_0=1000 +ellps=intl",
                             {"11.5 57.25 0 0"});
    ASSERT_EQ(ref.size(), 1u);
    double N = 57.25 * kDeg, E = 11.5 * kDeg;
    ASSERT_TRUE(SpherTM_Forward(&N, &E, t));
    EXPECT_NEAR(N, ref[0][1], 1e-3);
    EXPECT_NEAR(E, ref[0][0], 1e-3);
}

// Random bit patterns: a refusal leaves the inputs, a success is finite and inverts.
TEST(DenmarkTM, RandomInputsNeverGiveNonFiniteSuccess) {
    const DenmarkTM& tm = utm32();
    std::mt19937_64 rng(0x48);
    std::uniform_real_distribution<double> wide(-1e6, 1e6);
    for (int i = 0; i < 200000; ++i) {
        const double a = i % 3 ? std::bit_cast<double>(rng()) : wide(rng), b = i % 5 ? std::bit_cast<double>(rng())
                                                                                       : wide(rng);
        for (int inverse = 0; inverse < 2; ++inverse) {
            double N = a, E = b;
            const bool ok = inverse ? SpherTM_Inverse(&N, &E, tm) : SpherTM_Forward(&N, &E, tm);
            if (ok) {
                ASSERT_TRUE(std::isfinite(N) && std::isfinite(E)) << a << " " << b;
            } else {
                ASSERT_TRUE(std::bit_cast<uint64_t>(N) == std::bit_cast<uint64_t>(a) &&
                            std::bit_cast<uint64_t>(E) == std::bit_cast<uint64_t>(b));
            }
        }
        double R, I;
        gatg(tm.cbg, 4, a);
        clenshaw(tm.gtu, 4, a, b, &R, &I);
    }
}
