// Polynomial grid transformations of the Danish national systems.
#include "positioning/geodesy/dk_grid_polynomial.h"

#include <cmath>

#include "positioning/geodesy/dk_grid_tables.h"

namespace DkGrid {
namespace {

struct Rect {
    double nLo, nHi, eLo, eHi;
    bool holds(double N, double E) const { return nLo <= N && N <= nHi && eLo <= E && E <= eHi; }
};

// One system, or one part of UTM: the sets and areas of each direction.
struct System {
    const double* toSys;    // zone-32 grid to the system (direction > 0)
    const double* fromSys;  // and back
    const double* polyTc;   // area in the zone-32 grid
    const double* polySys;  // area in the system's coordinates
    Rect rectTc, rectSys;
    bool utm;
};

const System kJylland{C_ttj, C_jtt, P_tcj, P_s34j, {6e6, 6.5e6, 300000, 700000}, {-32000, 468000, 95000, 495000},
                      false};
const System kSjaelland{C_tts, C_stt, P_tcs, P_s34s, {6e6, 6.315e6, 550000, 775000},
                        {-43894, 280862, 31610, 248251}, false};
const System kBornholm{C_ttb, C_btt, P_tcbo, P_s45b, {6.006e6, 6.2e6, 800000, 1e6}, {-50000, 150000, -56000, 150000},
                       false};
const System kUtmLand{C_ttu_l, C_utt_l, P_tcla, P_tcla, {6e6, 6.5e6, 300000, 775000}, {6e6, 6.5e6, 300000, 775000},
                      true};
const System kUtmBornholm{C_ttu_b, C_utt_b, P_tcbo, P_tcbo, {6.006e6, 6.2e6, 800000, 1e6},
                          {6.006e6, 6.2e6, 800000, 1e6}, true};
// UTM easting below which the land part applies.
constexpr double kUtmLandEastMax = 775000.0;

const System* systemOf(int code, double E) {
    switch (code) {
        case 1: case 74: case 106: return &kJylland;
        case 2: case 83: case 115: return &kSjaelland;
        case 3: case 66: case 98: return &kBornholm;
        case 4: case 85: case 117: return E < kUtmLandEastMax ? &kUtmLand : &kUtmBornholm;
        default: return nullptr;
    }
}

// Degree g, (g+1)(g+2)/2 northing coefficients, the northing reference, the easting
// coefficients, the easting reference. With n, e the offsets from the references, northing is
// sum_r e^r sum_c cN[r][c] n^c and easting sum_r n^r sum_c cE[r][c] e^c, r + c <= g, both
// evaluated from the highest index down, the two Horner schemes nested.
void evalSet(const double* set, double N, double E, double* Nout, double* Eout) {
    const int g = static_cast<int>(set[0]);
    const int sz = (g + 1) * (g + 2) / 2 + 1;
    const double* cy = set + sz;
    const double* cx = cy + sz;
    const double n = N - *cy, e = E - *cx;
    double sN = *--cy, sE = *--cx;
    for (int r = g; r > 0; --r) {
        double u = *--cy, v = *--cx;
        for (int c = g; c >= r; --c) {
            u = n * u + *--cy;
            v = e * v + *--cx;
        }
        sN = e * sN + u;
        sE = n * sE + v;
    }
    *Nout = sN;
    *Eout = sE;
}

}  // namespace

int inpoly(const double* poly, double N, double E) {
    const int count = static_cast<int>(poly[0]);
    if (count < 3 || !std::isfinite(N) || !std::isfinite(E)) return -1;
    // A point within a millimetre of an edge counts as inside: a vertex belongs to its area.
    constexpr double kOnEdge = 1e-3;
    bool inside = false;
    for (int i = 0, j = count - 1; i < count; j = i++) {
        const double ni = poly[1 + 2 * i], ei = poly[2 + 2 * i], nj = poly[1 + 2 * j], ej = poly[2 + 2 * j];
        const double dn = nj - ni, de = ej - ei, len2 = dn * dn + de * de;
        const double along = (N - ni) * dn + (E - ei) * de;
        if (len2 > 0.0 && along >= 0.0 && along <= len2 &&
            std::fabs((N - ni) * de - (E - ei) * dn) <= kOnEdge * std::sqrt(len2))
            return 1;
        // Crossings of the ray towards growing northing.
        if ((ei > E) != (ej > E) && N < ni + (E - ei) * dn / de) inside = !inside;
    }
    return inside ? 1 : -1;
}

int tcts_u(double N, double E, double* Nout, double* Eout, int code, int direction) {
    const System* s = systemOf(code, E);
    if (s == nullptr) return kTctsBadCode;
    if (!std::isfinite(N) || !std::isfinite(E)) return kTctsOutsideRect;
    const bool fwd = direction > 0;
    const Rect& rect = fwd ? s->rectTc : s->rectSys;
    if (direction == 0 || !rect.holds(N, E)) {
        if (!s->utm) return kTctsOutsideRect;
        *Nout = N;
        *Eout = E;
        return kTctsOk;
    }
    const bool inArea = inpoly(fwd ? s->polyTc : s->polySys, N, E) > 0;
    if (s->utm && !inArea) {
        // Outside the land the polynomial is not used, so it is not asked to invert there: far
        // out in the rectangle it need not, and the grid would refuse open sea it maps plainly.
        *Nout = N;
        *Eout = E;
        return kTctsOk;
    }
    double n1, e1, n2, e2;
    evalSet(fwd ? s->toSys : s->fromSys, N, E, &n1, &e1);
    evalSet(fwd ? s->fromSys : s->toSys, n1, e1, &n2, &e2);
    if (!(std::fabs(n2 - N) <= kTctsTolerance && std::fabs(e2 - E) <= kTctsTolerance)) return kTctsMismatch;
    if (!inArea) return kTctsOutsidePolygon;
    *Nout = n1;
    *Eout = e1;
    return kTctsOk;
}

}  // namespace DkGrid
