// The satellite data store's once-a-second step as the background task runs it: the store's
// inputs are gathered from the engine setups, the time scales and the data servers, and what it
// hands back is published.
#pragma once

#include <cstdint>

#include "navigation_data/store/sat_data_store.h"
#include "positioning/data_servers/pos_setup_types.h"
#include "positioning/rcv_time_scales.h"

// What the store reads of the satellite-processor setup.
SatDataSetup satDataSetupFrom(const PosSetup::SatProcessorSetupType& s);
// The setup's choice of BeiDou B2b messages to decode ("bei/cnav3/dec": 0 none, 1 data, 2
// pilot, 3 both; a larger value counts as both).
int satSetupB2bSource(const PosSetup::SatProcessorSetupType& s);
// The receiver time of every system from the GPS and GLONASS time scales.
SatDataTime satDataTimeFrom(const RcvTimeScales::INT_SCALES& s);

// WGS 84 latitude, longitude (rad) and height (m) of an ECEF position, as the store's
// visibility step takes them.
void rcvGeodetic(const double xyz[3], double llh[3]);

// Requests to drop every stored ephemeris / almanac, served by the store's next step.
void request_ClearAllEphemerides();
void request_ClearAllAlmanacs();

// One step of the store with the current inputs (the engine's once-a-second satellite-data
// step runs it).
void satDataStoreStep();
