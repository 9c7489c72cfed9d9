// Cost of the per-solution geodesy: coordinate conversions, the datum transformation
// and one projection of each family.
#include <benchmark/benchmark.h>

#include <cmath>

#include <GeographicLib/UTMUPS.hpp>
#include <random>
#include <vector>

#include "positioning/geodesy/datum_conv.h"
#include "positioning/geodesy/datum_in_use.h"
#include "positioning/geodesy/ell_math.h"
#include "positioning/rcv_output.h"
#include "settings/rcv_settings.h"

namespace {
constexpr double kDeg = M_PI / 180.0;

void BM_BLH_XYZ(benchmark::State& st) {
    double B = 52.1 * kDeg, L = 13.4 * kDeg, X, Y, Z;
    for (auto _ : st) {
        EllMath::BLH_XYZ(EllExt, B, L, 100.0, X, Y, Z);
        benchmark::DoNotOptimize(X + Y + Z);
        B += 1e-9;
    }
}
BENCHMARK(BM_BLH_XYZ);

void BM_XYZ_BLH(benchmark::State& st) {
    double X = 3783000.0, Y = 901000.0, Z = 5038000.0, B, L, H;
    for (auto _ : st) {
        EllMath::XYZ_BLH(EllExt, X, Y, Z, B, L, H);
        benchmark::DoNotOptimize(B + L + H);
        X += 1e-3;
    }
}
BENCHMARK(BM_XYZ_BLH);

void BM_TransDirect(benchmark::State& st) {
    DtmList::ELL_PARAMS e;
    DtmList::DATUM_PARAMS_STORE s;
    int i;
    DtmList::getDatum("SPK-0", &e, &s, &i);
    DtmList::DATUM_PARAMS_COMPUTE c;
    DtmList::transform(s, &c, DtmList::kStoredDatumToWgs84, st.range(0) != 0);
    POS_CRT p{3783000.0, 901000.0, 5038000.0, 0.1, 0.2, 0.3}, q;
    for (auto _ : st) {
        DatumConv::transDirect(true, c, p, &q);
        benchmark::DoNotOptimize(q);
        p.x += 1e-3;
    }
}
BENCHMARK(BM_TransDirect)->Arg(0)->Arg(1);

void BM_Projection(benchmark::State& st) {
    const int type = static_cast<int>(st.range(0));
    EllMath::ANY_PRJ_PARAMS p{};
    p.type = type;
    if (type == EllMath::PRJ_OM)
        p.om = {type, 0, 4 * kDeg, 115 * kDeg, 53.3 * kDeg, 53.1 * kDeg, 0.99984, 442857.65, 590476.87};
    else if (type >= EllMath::PRJ_LCC1SP && type <= EllMath::PRJ_LCCW)
        p.lcc = {type, 0, 4 * kDeg, 115 * kDeg, 1.0, 0, 500000, 3 * kDeg, 6 * kDeg};
    else
        p.prj = {type, 0, (type == EllMath::PRJ_STER ? 90.0 : 4.0) * kDeg, 115 * kDeg, 0.9996, 0, 500000};
    EllMath::ANY_PRJ_EXTPAR x;
    EllMath::initProj(EllExt, p, x);
    double B = 5.1 * kDeg, E, N;
    for (auto _ : st) {
        EllMath::BLH_Proj(x, B, 116 * kDeg, E, N);
        benchmark::DoNotOptimize(E + N);
        B += 1e-9;
    }
    st.SetLabel(EllMath::PrjTypeName[type]);
}
BENCHMARK(BM_Projection)->DenseRange(1, 11);
// The output grids per point over the same random points, and GeographicLib's UTM beside ours.
std::vector<POS_GEO> gridPoints(double lat0, double lat1, double lon0, double lon1) {
    std::mt19937 g(5);
    std::uniform_real_distribution<double> lat(lat0, lat1), lon(lon0, lon1);
    std::vector<POS_GEO> v(4096);
    for (POS_GEO& p : v) p = {lat(g) * kDeg, lon(g) * kDeg, 50.0, 0, 0, 0};
    return v;
}

void BM_RcvOutput_BLH_UTM(benchmark::State& st) {
    NavTask::DATUM_IN_USE d{};
    assignDatum("W84", &d);
    const auto pts = gridPoints(-80, 84, -180, 180);
    double grid[3];
    int zone;
    size_t i = 0;
    for (auto _ : st) {
        benchmark::DoNotOptimize(RCV_OUTPUT::BLH_UTM(d, pts[i++ & 4095], grid, &zone));
        benchmark::DoNotOptimize(grid[0] + grid[1]);
    }
}
BENCHMARK(BM_RcvOutput_BLH_UTM);

void BM_GeographicLib_UTMUPS_Forward(benchmark::State& st) {
    const auto pts = gridPoints(-80, 84, -180, 180);
    int zone;
    bool north;
    double x, y;
    size_t i = 0;
    for (auto _ : st) {
        const POS_GEO& p = pts[i++ & 4095];
        GeographicLib::UTMUPS::Forward(p.lat / kDeg, p.lon / kDeg, zone, north, x, y);
        benchmark::DoNotOptimize(x + y);
    }
}
BENCHMARK(BM_GeographicLib_UTMUPS_Forward);

void BM_RcvOutput_GlobPos2Loc(benchmark::State& st) {
    NavTask::DATUM_IN_USE d{};
    assignDatum("OGB-M", &d);
    const auto pts = gridPoints(-80, 84, -180, 180);
    std::vector<POS_CRT> crt(pts.size());
    for (size_t k = 0; k < pts.size(); ++k) {
        EllMath::BLH_XYZ(EllExt, pts[k].lat, pts[k].lon, 50.0, crt[k].x, crt[k].y, crt[k].z);
        crt[k].vx = 1, crt[k].vy = 2, crt[k].vz = 3;
    }
    POS_CRT lc;
    POS_GEO lg;
    size_t i = 0;
    for (auto _ : st) {
        benchmark::DoNotOptimize(RCV_OUTPUT::GlobPos2Loc(d, crt[i++ & 4095], &lc, &lg, nullptr, nullptr));
        benchmark::DoNotOptimize(lg);
    }
}
BENCHMARK(BM_RcvOutput_GlobPos2Loc);

// One epoch's grid: arg 0 UTM, arg 1 the national grid (UTM zone 32 on ED50).
void BM_RcvOutput_ComputeGrid(benchmark::State& st) {
    NavTask::DATUM_IN_USE d{};
    assignDatum("W84", &d);
    const bool national = st.range(0) != 0;
    mapID = 1;
    gridSys = national ? 2 : 1;
    RcvSet.gridZone = 117;
    UserPrjExt.utm.p.lon0 = 9 * kDeg;
    const auto pts = national ? gridPoints(54.8, 57.5, 8.2, 12.5) : gridPoints(-80, 84, -180, 180);
    double grid[3];
    GRID_FLAGS f;
    size_t i = 0;
    for (auto _ : st) {
        benchmark::DoNotOptimize(RCV_OUTPUT::computeGrid(true, d, pts[i++ & 4095], grid, &f));
        benchmark::DoNotOptimize(grid[0] + grid[1]);
    }
    st.SetLabel(national ? "national zone 117" : "UTM");
}
BENCHMARK(BM_RcvOutput_ComputeGrid)->Arg(0)->Arg(1);
}  // namespace
