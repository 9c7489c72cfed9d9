// The satellite polynomials in the receiver's reference frame: each system's datum of the
// satellite-processor setup, applied to every polynomial as the store publishes it.
#pragma once

#include "navigation_data/orbits/sat_polynom.h"
#include "positioning/data_servers/pos_setup_types.h"

// Takes the systems' datums of this epoch's setup (once a second, before the store's step).
void update_SatPolynomFrames(const PosSetup::SatProcessorSetupType& setup);
// The polynomial of a satellite of `sys` from WGS 84 into the system's datum: the constant term
// as a position (shift, rotation, scale), the higher terms as vectors (rotation and scale).
void transform_SatPolynomToRcvFrame(int sys, SatData::PolynomEntryType& entry);
// A satellite position (shift, rotation, scale) and velocity (rotation and scale) the same way.
void transform_SatPositionToRcvFrame(int sys, double* pos, float* vel);
