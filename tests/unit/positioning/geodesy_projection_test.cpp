#include <gtest/gtest.h>

#include "unit/positioning/geodesy_oracle.h"

using namespace geodesy_test;

namespace {
// PROJ's turned axes negate after adding the false origin: negated, it gives W = FE - x and S = FN - y.
std::string projOf(const EM::ANY_PRJ_PARAMS& p) {
    const auto& q = p.lcc;
    const std::string lat0 = num(q.lat0 / kDeg), lon0 = " +lon_0=" + num(q.lon0 / kDeg), k0 = " +k_0=" + num(q.k0);
    std::string s, x0 = num(q.FE), y0 = num(q.FN);
    switch (p.type) {
        case EM::PRJ_TM: s = "tmerc +lat_0=" + lat0 + lon0 + k0; break;
        case EM::PRJ_TMS: s = "tmerc +axis=wsu +lat_0=" + lat0 + lon0 + k0, x0 = num(-q.FE), y0 = num(-q.FN); break;
        case EM::PRJ_STER: s = "stere +lat_0=" + lat0 + lon0 + k0; break;
        case EM::PRJ_OS: case EM::PRJ_DS: s = "sterea +lat_0=" + lat0 + lon0 + k0; break;
        case EM::PRJ_MC: s = q.lat0 != 0 ? "merc +lat_ts=" + lat0 + lon0 : "merc" + lon0 + k0; break;
        case EM::PRJ_CS: s = "cass +lat_0=" + lat0 + lon0; break;
        case EM::PRJ_LCC1SP: s = "lcc +lat_1=" + lat0 + " +lat_0=" + lat0 + lon0 + k0; break;
        case EM::PRJ_LCCW: s = "lcc +axis=wnu +lat_1=" + lat0 + " +lat_0=" + lat0 + lon0 + k0, x0 = num(-q.FE); break;
        case EM::PRJ_LCC2SP:
            s = "lcc +lat_0=" + lat0 + lon0 + " +lat_1=" + num(q.lat1 / kDeg) + " +lat_2=" + num(q.lat2 / kDeg) + k0;
            break;
        case EM::PRJ_OM:
            s = "omerc +lat_0=" + num(p.om.latc / kDeg) + " +lonc=" + num(p.om.lonc / kDeg) + " +alpha=" +
                num(p.om.alphac / kDeg) + " +gamma=" + num(p.om.gammac / kDeg) + " +k_0=" + num(p.om.kc);
            x0 = num(p.om.FE), y0 = num(p.om.FN);
            break;
    }
    return "+proj=" + s + " +x_0=" + x0 + " +y_0=" + y0;
}
}  // namespace

TEST(GeodesyProjection, EveryProjectionAgreesWithProj) {
    using D = DtmList;
    struct Case { const char* what; int ell; EM::ANY_PRJ_PARAMS params; double lat0, lat1, lon0, lon1; };
    std::vector<Case> cases = {
        {"UTM 19S", D::ELL_WE, prj(EM::PRJ_TM, 0, -69, 0.9996, 10000000, 500000), -55, -5, -72, -66},
        {"British grid", D::ELL_AA, prj(EM::PRJ_TM, 49, -2, 0.9996012717, -100000, 400000), 49.5, 60, -5.5, 1.5},
        {"TM southern origin", D::ELL_CD, prj(EM::PRJ_TM, -30, 25, 1.0, 1000, 2000), -35, -22, 22, 28},
        {"TM across the date line", D::ELL_IN, prj(EM::PRJ_TM, 0, 177, 0.9996, 0, 500000), -20, 20, 175, 182},
        {"TMS Lo29", D::ELL_WE, prj(EM::PRJ_TMS, 0, 29, 1.0, 0, 0), -34, -22, 27.5, 30.5},
        {"TMS with false origin", D::ELL_WE, prj(EM::PRJ_TMS, 0, 31, 1.0, 2000, 1000), -30, -22, 29.5, 32.5},
        {"north polar", D::ELL_WE, prj(EM::PRJ_STER, 90, 0, 0.994, 2000000, 2000000), 80, 89.99, -180, 180},
        {"south polar turned", D::ELL_IN, prj(EM::PRJ_STER, -90, 140, 1.0, 100, 300), -89, -60, 100, 170},
        {"stereographic north", D::ELL_BR, prj(EM::PRJ_STER, 52, 5, 0.9999, 463000, 155000), 49, 55, 1, 9},
        {"stereographic south", D::ELL_WE, prj(EM::PRJ_STER, -35, 150, 1.0, 0, 0), -40, -30, 145, 155},
        {"stereographic equatorial", D::ELL_WE, prj(EM::PRJ_STER, 0, 10, 0.9999, 50, 60), -8, 8, 4, 16},
        {"LCC 1SP Jamaica", D::ELL_CC, prj(EM::PRJ_LCC1SP, 18, -77, 1.0, 150000, 250000), 17.5, 18.6, -78.5, -76},
        {"LCC 1SP south", D::ELL_WE, prj(EM::PRJ_LCC1SP, -30, 135, 0.9999, 2000000, 1000000), -38, -22, 128, 142},
        {"LCC 2SP Texas with scale", D::ELL_CC,
         prj(EM::PRJ_LCC2SP, 27.833333333333333, -99, 0.9999, 100, 600000, 28.383333333333333, 30.283333333333333),
         26, 31, -101, -94},
        {"LCC 2SP south", D::ELL_RF, prj(EM::PRJ_LCC2SP, -32, 135, 1.0, 0, 0, -28, -36), -40, -24, 125, 145},
        {"LCC west-orientated", D::ELL_IN, prj(EM::PRJ_LCCW, 55, 10, 0.9999, 50000, 100000), 52, 58, 5, 15},
        {"Mercator standard parallel", D::ELL_KA, prj(EM::PRJ_MC, 42, 51, 1.0, 0, 0), 35, 55, 45, 58},
        {"Mercator scale factor", D::ELL_BR, prj(EM::PRJ_MC, 0, 110, 0.997, 900000, 3900000), -12, 8, 95, 140},
        {"Mercator southern", D::ELL_WE, prj(EM::PRJ_MC, -20, -50, 1.0, 10, 20), -70, -1, -80, -20},
        {"Cassini southern", D::ELL_WE, prj(EM::PRJ_CS, -33, 18, 1.0, 0, 0), -34.5, -31.5, 17, 19},
        {"OM Borneo", D::ELL_EB, om(4, 115, 53.31582047222222, 53.13010236111111, 0.99984, 442857.65, 590476.87), 1,
         7, 110, 119},
        {"OM southern", D::ELL_IN, om(-18.9, 46.43722916666667, 18.9, 18.9, 0.9995, 800000, 400000), -25, -12, 43, 50},
        {"OM Alaska-like", D::ELL_RF,
         om(57, -133.66666666666667, -36.86989764583333, -36.86989764583333, 0.9999, -5000000, 5000000), 54, 60,
         -141, -129},
    };
    for (int t : {EM::PRJ_OS, EM::PRJ_DS}) {
        cases.push_back({"OS/DS Netherlands", D::ELL_BR, prj(t, 52.15616055555555, 5.38763888888889, 0.9999079, 463000,
                                                              155000), 50.5, 53.8, 3, 7.5});
        cases.push_back({"OS/DS south", D::ELL_WE, prj(t, -34, 19, 1.0, 100, 200), -38, -26, 14, 24});
        cases.push_back({"OS/DS equator", D::ELL_IN, prj(t, -2, 30, 0.9999, 0, 0), -6, 3, 27, 33});
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.what << " type " << c.params.type);
        const EM::ELL_EXTPAR e = ellipsoid(c.ell);
        EM::ANY_PRJ_EXTPAR x;
        EM::initProj(e, c.params, x);
        std::vector<std::string> lines;
        std::vector<std::array<double, 2>> ours;
        for (int i = 0; i < 49; ++i) {
            const double lat = c.lat0 + (c.lat1 - c.lat0) * (i / 7) / 6, lon = c.lon0 + (c.lon1 - c.lon0) * (i % 7) / 6;
            double E = NAN, N = NAN;
            ASSERT_TRUE(EM::BLH_Proj(x, lat * kDeg, lon * kDeg, E, N)) << lat << " " << lon;
            ours.push_back({E, N});
            lines.push_back(num(lon) + " " + num(lat) + " 0 0");
        }
        const auto ref = runTool("cct -d 6 " + projOf(c.params) + " +a=" + num(e.a) + " +rf=" + num(e.rf), lines);
        ASSERT_EQ(ref.size(), ours.size());
        for (size_t k = 0; k < ours.size(); ++k)
            EXPECT_TRUE(std::fabs(ours[k][0] - ref[k][0]) < 1e-3 && std::fabs(ours[k][1] - ref[k][1]) < 1e-3)
                << lines[k] << ": " << ours[k][0] << " " << ours[k][1] << " PROJ " << ref[k][0] << " " << ref[k][1];
    }
}

// A polar origin maps its own pole to the false origin and refuses the other; refusals leave outputs alone.
TEST(GeodesyProjection, SpecialPoints) {
    const auto north = prj(EM::PRJ_STER, 90, 0, 0.994, 2000000, 2000000);
    const auto south = prj(EM::PRJ_STER, -90, 0, 0.994, 2000000, 2000000);
    const struct { int ell; EM::ANY_PRJ_PARAMS p; double lat, lon; bool ok; double E, N; } rows[] = {
        {DtmList::ELL_WE, north, 90, 57.3, true, 2000000, 2000000}, {DtmList::ELL_WE, north, -90, 0, false, 7, 7},
        {DtmList::ELL_WE, south, -90, 57.3, true, 2000000, 2000000}, {DtmList::ELL_WE, south, 90, 0, false, 7, 7},
        {DtmList::ELL_WE, prj(EM::PRJ_STER, 60, 10, 1.0, 0, 0), 90, 0, false, 7, 7},
        {DtmList::ELL_WE, prj(EM::PRJ_STER, 60, 10, 1.0, 0, 0), -90, 0, false, 7, 7},
        {DtmList::ELL_CC, prj(EM::PRJ_LCC2SP, 27.8333, -99, 0.9996, 123, 456, 28.3833, 30.2833), 27.8333, -99, true,
         456, 123},  // the origin, with k0
        {DtmList::ELL_WE, prj(0, 0, 0, 1, 0, 0), 28, 28, false, 7, 7},  // types 0, 12, -1
        {DtmList::ELL_WE, prj(12, 0, 0, 1, 0, 0), 28, 28, false, 7, 7},
        {DtmList::ELL_WE, prj(-1, 0, 0, 1, 0, 0), 28, 28, false, 7, 7}};
    for (const auto& r : rows) {
        EM::ANY_PRJ_EXTPAR x{};
        EM::initProj(ellipsoid(r.ell), r.p, x);
        double E = 7, N = 7;
        EXPECT_EQ(EM::BLH_Proj(x, r.lat * kDeg, r.lon * kDeg, E, N), r.ok) << "type " << r.p.type << " at " << r.lat;
        EXPECT_TRUE(std::fabs(E - r.E) < 1e-6 && std::fabs(N - r.N) < 1e-6) << "type " << r.p.type << " at " << r.lat;
    }
    EXPECT_DOUBLE_EQ(EM::atanhSafe(-0.5), -EM::atanhSafe(0.5));
    EXPECT_NEAR(EM::atanhSafe(-0.3), std::atanh(-0.3), 1e-15);
    EXPECT_TRUE(EM::atanhSafe(1.0) == HUGE_VAL && EM::atanhSafe(-1.0) == -HUGE_VAL);
}
