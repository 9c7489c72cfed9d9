// Base-position averaging: while switched on, every computed solution is fed to the base
// averager; once it completes, the average becomes the receiver's reference position in every
// form the differential coders read (GPS and GLONASS frames, WGS 84 "W84", PE-90 "P90", for the
// reference point and the antenna reference point), goes to the engine as its fixed position
// and is stored in the receiver settings.
#pragma once

#include <atomic>
#include <cstdint>

#include "positioning/reference/reference_pos.h"

extern std::atomic<std::uint8_t> bAvgPos;
extern ReferencePos RefPosGPS, RefPosGLN, RefPosWgs, RefPosPe9;
extern ReferencePos RefArpGPS, RefArpGLN, RefArpWgs, RefArpPe9;

// The averaged-position flag of the RTCM coders' state: set by the step that published a new
// averaged reference position, cleared at the start of the next.
extern std::atomic<bool> posAvgPublishedFlag;
// The step's start: the published flag cleared.
void posAvgFlagsClear();

// One computed solution (NavSol) into the averager; runs after the position locks are released.
void averagePosLogic();

// Publishes a reference position (WGS 84 Earth-fixed, m; the point the receiver's solution gives,
// the antenna's L1 phase centre) in every form the coders read, as a completed average does, and
// gives it to the engine as its fixed position. Runs in the task that runs the coders.
void publishRefPos(const double xyz[3]);
// Marks the eight reference positions not valid: the base has no position of its own.
void unpublishRefPos();

// Requests from other tasks, carried out by task MEAT at its next navigation step
// (posAvgPoll): averaging started anew or stopped, and the stored reference position
// (RcvSet.refPosFrom's triple) published again.
void posAvgRequest(bool start);
void refPosPublishRequest();
// Carries out what was requested (task MEAT, before the averaging step; start-up before the
// tasks run).
void posAvgPoll();
// Averaging runs or is about to start.
bool posAvgActive();
// The stored reference position the base publishes (refPosFrom's WGS 84 Earth-fixed triple);
// false when none is stored.
bool storedRefPos(double xyz[3]);

// The reference-station position of the engine (Earth-fixed, m); the result of the Put.
int set_Nav3RefPos(double x, double y, double z);

// East, north, up (m) at latitude/longitude (rad) as an Earth-fixed vector.
void enuToEcef(double lat, double lon, const double enu[3], double out[3]);
