// The received datum "GOT": a transformation a network broadcasts, with its area of use and
// residual grids, kept where the datum list and the output can see it.
#pragma once

#include <cstdint>

#include "positioning/geodesy/datum_in_use.h"

struct GOT_DATUM {
  NavTask::DATUM_IN_USE datum;              // name "GOT"; area and res point into this record
  DtmList::DATA_USING_AREA area;            // area of use
  DtmList::TRANSFORM_RESIDUALS ellRes;      // residuals on the ellipsoid (rad, m)
  DtmList::TRANSFORM_RESIDUALS planeRes;    // residuals in the received grid (m), area in rad
};

extern GOT_DATUM GotDatum;
// Counted up whenever the current output datum or the map projection changes under the user.
extern std::uint32_t datumChangeCnt;
extern std::uint32_t prjChangeCnt;
