// The rover's own epoch for the carrier-phase side, once per epoch in task MEAT after
// navigation: each antenna input's channel data becomes an epoch of its rover buffer, the
// epoch's times and id become the rover record the base decoders time their epochs by, and the
// tracked satellites become the set the base decoders keep satellites of.
#pragma once

#include "differential/base/cpd_meas.h"

// The epoch's times per system (ms; every system but GLONASS on GPS time) and its id (the GPS
// ms within the hour, else the GLONASS one, else none) from the channels' measurement time.
void cpdRoverTimes(CpdMeasTimes& times, CpdEpochId& id);
// One epoch: rover buffers, rover record, recent satellites.
void cpdRoverIntake();
