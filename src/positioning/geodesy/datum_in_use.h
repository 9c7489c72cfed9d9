// The datum the receiver outputs in, ready for the transformation.
#pragma once

#include <cstddef>
#include <cstdint>

#include "positioning/geodesy/dtm_list.h"
#include "positioning/geodesy/ell_math.h"

namespace NavTask {
struct DATUM_IN_USE {
    char name[16];                              // "W84" is WGS 84, "GOT" the received datum
    EllMath::ELL_EXTPAR ell;                    // the datum's ellipsoid
    DtmList::DATUM_PARAMS_COMPUTE prm;          // WGS 84 <-> datum
    const DtmList::TRANSFORM_RESIDUALS* res;    // residual grid, or null
    const DtmList::DATA_USING_AREA* area;       // area of use, or null
    uint8_t separateResidualHeight;
    uint8_t heightType;                         // 1 or 2 for a received datum
};
}  // namespace NavTask

// Fills the record for a datum of the built-in table; false (record untouched) for a
// name not in the table.
bool assignDatum(const char* name, NavTask::DATUM_IN_USE* datum);

// The factory-default output datum (WGS 84) written into the navigation settings' datum area
// of `size` bytes (the settings' datum-defaults hook).
void navDatumDefaults(std::uint8_t* area, std::size_t size);
