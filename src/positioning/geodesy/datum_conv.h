// Seven-parameter transformation between WGS 84 and a datum, the area-of-use test and
// the residual-grid correction of a transformation received over RTCM 3.
//
// Direction, fixed once for every caller: transDirect takes WGS 84 to the datum,
// transInverse takes the datum to WGS 84. Stored datum parameters describe the
// datum-to-WGS 84 direction (DtmList::kStoredDatumToWgs84), so DtmList::transform's
// default gives both operations their stated meaning.
#pragma once

#include <cstdint>

#include "positioning/geodesy/dtm_list.h"

struct POS_CRT {
    double x, y, z;     // m
    double vx, vy, vz;  // m/s
};
static_assert(sizeof(POS_CRT) == 48);

class DatumConv {
public:
    // Forces the exact rotation matrix for every datum.
    static uint8_t bUseFullTransformation;

    static void transDirect(bool withVelocity, const DtmList::DATUM_PARAMS_COMPUTE& p, const POS_CRT& in,
                            POS_CRT* out);
    static void transInverse(bool withVelocity, const DtmList::DATUM_PARAMS_COMPUTE& p, const POS_CRT& in,
                             POS_CRT* out);
    // One 3-vector; a velocity is rotated and scaled but never shifted.
    static void transDirect(bool isVelocity, const DtmList::DATUM_PARAMS_COMPUTE& p, const double* in,
                            double* out);
    static void transInverse(bool isVelocity, const DtmList::DATUM_PARAMS_COMPUTE& p, const double* in,
                             double* out);

    // Rotate, scale by `factor`, then shift (positions only).
    static void multDirect(bool isVelocity, double factor, const DtmList::DATUM_PARAMS_COMPUTE& p,
                           const double* in, double* out);
    // Undo multDirect's shift and rotation, then scale by `factor`.
    static void multInverse(bool isVelocity, double factor, const DtmList::DATUM_PARAMS_COMPUTE& p,
                            const double* in, double* out);

    // latLon in radians; mode 1 widens both extents threefold (the residual grid's squares).
    static bool checkDatArea(const DtmList::DATA_USING_AREA* area, const double* latLon, int mode);
    // Grid square 0..8 (3 x row from the south + column from the west), 9 when outside.
    static int getGridSquaresIdx(const DtmList::DATA_USING_AREA* area, const double* latLon);
    // One residual component (0 north, 1 east, 2 height) inside a square; 0 for no square.
    static double getBiLinearIntrp(const DtmList::TRANSFORM_RESIDUALS* res, const double* latLon, int square,
                                   int component);
    // Residual corrections (north, east, height) at a point; false, with out3 untouched,
    // outside the grid's area.
    static bool correctTransformation(const DtmList::TRANSFORM_RESIDUALS* res, const double* latLon,
                                      double* out3);
};

extern const uint8_t uPointIdxFromSquareIdx[9][4];
