// The output datum and grid as the settings hold them (NavSet's datum, RcvSet.grid) made live in
// the globals the output conversion reads: the map identifier and grid system, the user
// projection and the local grid, prepared on the output datum's ellipsoid.
#pragma once

#include "positioning/geodesy/datum_in_use.h"
#include "positioning/geodesy/ell_math.h"
#include "settings/rcv_settings.h"

// The grid types the settings offer and the (map identifier, grid system) pair of each.
enum class OutGrid : int { kNone, kUtm, kUps, kNational, kLocal, kUserPrj, kReceived, kCount };
// Keywords of OutGrid in its order.
inline constexpr const char* kOutGridWords = "none,utm,ups,nat,loc,prj,got";
void outGridPair(OutGrid g, std::int16_t& mapId, std::int16_t& gridSys);
// The grid type of a stored pair; kCount for a pair no type gives.
OutGrid outGridOf(std::int16_t mapId, std::int16_t gridSys);

// National grid zones the output offers (0: none).
bool outGridZoneKnown(int zone);

// Parameters of a user projection type: 5 (the common record) or 7 (conic and oblique Mercator
// records); 0 for a type outside 1..11. `isAngle` tells which are angles (held in radians).
int outPrjParamCount(int type);
bool outPrjParamIsAngle(int type, int index);

// The stored user projection and local grid as the projection code takes them.
EllMath::ANY_PRJ_PARAMS outUserPrjParams(const RcvGrid& g);
EllMath::PRJ_PARAMS outLocalPrjParams(const RcvGrid& g);
EllMath::LOCAL_PARAMS outLocalParams(const RcvGrid& g);

// The output datum of the navigation settings (WGS 84 while none was ever stored).
NavTask::DATUM_IN_USE outputDatumSetting();

// Makes the stored grid settings live now (start-up, before the tasks run; tests).
void outputGridApply();
// The same from another task: done by task MEAT before its next output record.
void outputGridRequest();
void outputGridPoll();

// Stored values the settings keys cannot give are brought back to their defaults (a damaged or
// foreign record): grid pair, projection type, zone, reference-position mode.
void outputGridBound(RCV_SETTINGS& s);
