// Danish national grids from geodetic positions.
#include "positioning/geodesy/dk_national_grid.h"

#include <cmath>

namespace DkGrid {

DenmarkTM _UTM32{};
bool initUTM32 = false;

namespace {
constexpr double kPi = 3.14159265358979323846;
// The band of the datum step: within 0.1047092831441478 rad of 0.2094499822148315 rad.
constexpr double kEd50BandCentre = 0.2094499822148315;
constexpr double kEd50BandHalf = 0.1047092831441478;
constexpr int kUtm32Code = 117;

// Set up once, whichever task asks first.
bool utm32Ready() {
    static const bool ok = [] {
        initUTM32 = InitDenmarkTM(&_UTM32, 6378388.0, 297.0, 0.15707963267948966, 0.9996, 0.0, 500000.0, 0.0);
        return initUTM32;
    }();
    return ok;
}

bool step(double* N, double* E, int code, int direction) { return tcts_u(*N, *E, N, E, code, direction) == kTctsOk; }
}  // namespace

bool BLHToED50(double* lat, double* lon, bool toGrid) {
    if (!utm32Ready() || !std::isfinite(*lat) || !std::isfinite(*lon)) return false;
    // The band is judged on the longitude as the projection will see it.
    if (!(std::fabs(std::remainder(*lon, 2.0 * kPi) - kEd50BandCentre) < kEd50BandHalf)) return !toGrid;
    double N = *lat, E = *lon;
    if (!SpherTM_Forward(&N, &E, _UTM32) || !step(&N, &E, kUtm32Code, 1)) return false;
    if (!toGrid && !SpherTM_Inverse(&N, &E, _UTM32)) return false;
    *lat = N;
    *lon = E;
    return true;
}

bool _Forward(double* N, double* E, int zone) {
    if (!utm32Ready()) return false;
    double n = *N, e = *E;
    switch (zone) {
        case 3:
            if (!SpherTM_Forward(&n, &e, _UTM32) || !step(&n, &e, 3, 1)) return false;
            break;
        case kUtm32Code:
            // The zone-32 grid of the position taken once to UTM on ED50.
            if (!SpherTM_Forward(&n, &e, _UTM32) || !step(&n, &e, kUtm32Code, 1)) return false;
            break;
        case 1:
        case 2:
            if (!BLHToED50(&n, &e, false) || !SpherTM_Forward(&n, &e, _UTM32) || !step(&n, &e, kUtm32Code, -1) ||
                !step(&n, &e, zone, 1))
                return false;
            break;
        default:
            return false;
    }
    *N = n;
    *E = e;
    return true;
}

}  // namespace DkGrid
