#include "positioning/geodesy/datum_conv.h"

#include <cmath>

uint8_t DatumConv::bUseFullTransformation = 0;

const uint8_t uPointIdxFromSquareIdx[9][4] = {
    {0, 1, 5, 4}, {1, 2, 6, 5}, {2, 3, 7, 6}, {4, 5, 9, 8}, {5, 6, 10, 9},
    {6, 7, 11, 10}, {8, 9, 13, 12}, {9, 10, 14, 13}, {10, 11, 15, 14},
};

namespace {
using Compute = DtmList::DATUM_PARAMS_COMPUTE;

bool useFull(const Compute& p) { return p.full != 0 || DatumConv::bUseFullTransformation != 0; }

// Coordinate-frame rotation R3(rz) R2(ry) R1(rx).
void exactMatrix(const Compute& p, double r[3][3]) {
    const double sf = p.sinRx, cf = p.cosRx, st = p.sinRy, ct = p.cosRy, sp = p.sinRz, cp = p.cosRz;
    r[0][0] = cp * ct;
    r[0][1] = cp * st * sf + sp * cf;
    r[0][2] = -cp * st * cf + sp * sf;
    r[1][0] = -sp * ct;
    r[1][1] = -sp * st * sf + cp * cf;
    r[1][2] = sp * st * cf + cp * sf;
    r[2][0] = st;
    r[2][1] = -ct * sf;
    r[2][2] = ct * cf;
}

double wrapPi(double a) {
    if (a > M_PI || a < -M_PI) a = std::remainder(a, 2.0 * M_PI);
    return a;
}
}  // namespace

void DatumConv::multDirect(bool isVelocity, double k, const Compute& p, const double* in, double* out) {
    const double x = in[0], y = in[1], z = in[2];
    double r0, r1, r2;
    if (useFull(p)) {
        double m[3][3];
        exactMatrix(p, m);
        r0 = m[0][0] * x + m[0][1] * y + m[0][2] * z;
        r1 = m[1][0] * x + m[1][1] * y + m[1][2] * z;
        r2 = m[2][0] * x + m[2][1] * y + m[2][2] * z;
    } else {
        r0 = x + p.rz * y - p.ry * z;
        r1 = y + p.rx * z - p.rz * x;
        r2 = z + p.ry * x - p.rx * y;
    }
    out[0] = r0 * k;
    out[1] = r1 * k;
    out[2] = r2 * k;
    if (!isVelocity) {
        out[0] += p.dx;
        out[1] += p.dy;
        out[2] += p.dz;
    }
}

void DatumConv::multInverse(bool isVelocity, double k, const Compute& p, const double* in, double* out) {
    double x = in[0], y = in[1], z = in[2];
    if (!isVelocity) {
        x -= p.dx;
        y -= p.dy;
        z -= p.dz;
    }
    double r0, r1, r2;
    if (useFull(p)) {
        double m[3][3];
        exactMatrix(p, m);
        r0 = m[0][0] * x + m[1][0] * y + m[2][0] * z;
        r1 = m[0][1] * x + m[1][1] * y + m[2][1] * z;
        r2 = m[0][2] * x + m[1][2] * y + m[2][2] * z;
    } else {
        // The small-angle matrix I + A is not orthogonal: its exact inverse is
        // (I - A + w w^T) / (1 + |w|^2), so that a round trip closes to rounding.
        const double wx = p.rx, wy = p.ry, wz = p.rz;
        const double dot = wx * x + wy * y + wz * z;
        const double n = 1.0 / (1.0 + wx * wx + wy * wy + wz * wz);
        r0 = (x - wz * y + wy * z + wx * dot) * n;
        r1 = (y + wz * x - wx * z + wy * dot) * n;
        r2 = (z - wy * x + wx * y + wz * dot) * n;
    }
    out[0] = r0 * k;
    out[1] = r1 * k;
    out[2] = r2 * k;
}

void DatumConv::transDirect(bool isVelocity, const Compute& p, const double* in, double* out) {
    const double s = 1.0 + p.scale * 1e-6;
    if (p.reversed)
        multInverse(isVelocity, 1.0 / s, p, in, out);
    else
        multDirect(isVelocity, s, p, in, out);
}

void DatumConv::transInverse(bool isVelocity, const Compute& p, const double* in, double* out) {
    const double s = 1.0 + p.scale * 1e-6;
    if (p.reversed)
        multDirect(isVelocity, s, p, in, out);
    else
        multInverse(isVelocity, 1.0 / s, p, in, out);
}

namespace {
// Applies a vector transformation to the position and, when asked, the velocity of a record.
template <class Vec>
void applyToRecord(Vec vecFn, bool withVelocity, const Compute& p, const POS_CRT& in, POS_CRT* out) {
    const double pi[3] = {in.x, in.y, in.z};
    double po[3];
    vecFn(false, p, pi, po);
    out->x = po[0];
    out->y = po[1];
    out->z = po[2];
    if (withVelocity) {
        const double vi[3] = {in.vx, in.vy, in.vz};
        double vo[3];
        vecFn(true, p, vi, vo);
        out->vx = vo[0];
        out->vy = vo[1];
        out->vz = vo[2];
    }
}
}  // namespace

void DatumConv::transDirect(bool withVelocity, const Compute& p, const POS_CRT& in, POS_CRT* out) {
    applyToRecord([](bool v, const Compute& c, const double* i, double* o) { transDirect(v, c, i, o); },
                  withVelocity, p, in, out);
}

void DatumConv::transInverse(bool withVelocity, const Compute& p, const POS_CRT& in, POS_CRT* out) {
    applyToRecord([](bool v, const Compute& c, const double* i, double* o) { transInverse(v, c, i, o); },
                  withVelocity, p, in, out);
}

bool DatumConv::checkDatArea(const DtmList::DATA_USING_AREA* area, const double* latLon, int mode) {
    if (area == nullptr || latLon == nullptr) return false;
    const double lat = latLon[0], lon = latLon[1];
    if (!std::isfinite(lat) || !std::isfinite(lon)) return false;
    double extLat = std::fabs(static_cast<double>(area->extLat));
    double extLon = std::fabs(static_cast<double>(area->extLon));
    if (mode == 1) {
        extLat *= 3.0;
        extLon *= 3.0;
    }
    if (extLat != 0.0) {
        const double hi = std::fmin(area->lat + extLat / 2.0, M_PI / 2.0);
        const double lo = std::fmax(area->lat - extLat / 2.0, -M_PI / 2.0);
        if (lat > hi + 0.1 * extLat || lat < lo - 0.1 * extLat) return false;
    }
    if (extLon != 0.0) {
        // Folding the difference from the centre into -pi..pi keeps the far side of the earth out.
        const double d = wrapPi(lon - area->lon);
        if (std::fabs(d) > extLon / 2.0 + 0.1 * extLon) return false;
    }
    return true;
}

int DatumConv::getGridSquaresIdx(const DtmList::DATA_USING_AREA* area, const double* latLon) {
    if (area == nullptr || latLon == nullptr) return 9;
    const double dLat = area->extLat, dLon = area->extLon;
    for (int i = 0; i < 3; ++i) {
        if (std::fabs(latLon[0] - (area->lat + (i - 1) * dLat)) > std::fabs(dLat) / 2.0) continue;
        for (int j = 0; j < 3; ++j) {
            if (std::fabs(wrapPi(latLon[1] - (area->lon + (j - 1) * dLon))) <= std::fabs(dLon) / 2.0)
                return 3 * i + j;
        }
    }
    return 9;
}

double DatumConv::getBiLinearIntrp(const DtmList::TRANSFORM_RESIDUALS* res, const double* latLon, int square,
                                   int component) {
    if (res == nullptr || square < 0 || square > 8 || component < 0 || component > 2) return 0.0;
    const double dLat = res->area.extLat, dLon = res->area.extLon;
    if (dLat == 0.0 || dLon == 0.0) return 0.0;
    const int i = square / 3, j = square % 3;
    const double y = (latLon[0] - res->area.lat) / dLat + 1.5 - i;
    const double x = wrapPi(latLon[1] - res->area.lon) / dLon + 1.5 - j;
    const uint8_t* c = uPointIdxFromSquareIdx[square];
    return (1.0 - x) * (1.0 - y) * res->grid[c[0]][component] + x * (1.0 - y) * res->grid[c[1]][component] +
           x * y * res->grid[c[2]][component] + (1.0 - x) * y * res->grid[c[3]][component];
}

bool DatumConv::correctTransformation(const DtmList::TRANSFORM_RESIDUALS* res, const double* latLon,
                                      double* out3) {
    if (res == nullptr || latLon == nullptr || out3 == nullptr) return false;
    const double dLat = res->area.extLat, dLon = res->area.extLon;
    if (dLat == 0.0 || dLon == 0.0) return false;
    if (!checkDatArea(&res->area, latLon, 1)) return false;
    // A point in the margin beyond the outer grid points takes the value at the nearest
    // point of the grid's border, from the square that lies there.
    const double y = std::fmin(std::fmax((latLon[0] - res->area.lat) / dLat, -1.5), 1.5);
    const double x = std::fmin(std::fmax(wrapPi(latLon[1] - res->area.lon) / dLon, -1.5), 1.5);
    const int i = y <= -0.5 ? 0 : (y <= 0.5 ? 1 : 2);
    const int j = x <= -0.5 ? 0 : (x <= 0.5 ? 1 : 2);
    const int square = 3 * i + j;
    const double at[2] = {res->area.lat + y * dLat, res->area.lon + x * dLon};
    out3[0] = out3[1] = out3[2] = 0.0;
    if (res->horPresent) {
        out3[0] = res->base[0] + getBiLinearIntrp(res, at, square, 0);
        out3[1] = res->base[1] + getBiLinearIntrp(res, at, square, 1);
    }
    if (res->heightPresent) out3[2] = res->base[2] + getBiLinearIntrp(res, at, square, 2);
    return true;
}
