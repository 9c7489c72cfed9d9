// Cost of the per-solution geodesy: coordinate conversions, the datum transformation
// and one projection of each family.
#include <benchmark/benchmark.h>

#include <cmath>

#include "positioning/geodesy/datum_conv.h"
#include "positioning/geodesy/ell_math.h"

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
}  // namespace
