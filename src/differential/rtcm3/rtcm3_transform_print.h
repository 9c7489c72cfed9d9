// Print of the coordinate transformation the RTCM 3 decoders received (rtcm3/rover/transform/):
// each key answers "{}" while nothing of its kind was received.
//   aux              {system id,station id}
//   datum/src|trg    {"name",semi-major axis,semi-minor axis}
//   datum/cond       {system id,message indicator,plate,computation,height,validity area (4)}
//   datum/par        {dX,dY,dZ,R1,R2,R3,dS,XP,YP,ZP} (the rotation point empty after 1021)
//   resid/cond       {ELLIPS|PLANE,origin (2),spacing (2),mean offsets (3),system id,
//                     horizontal and height present,interpolation methods (2),quality (2)}
//   resid/GP/<0..15> {north,east,height} residual of one grid point
//   proj             {name,...} the projection's parameters, angles in degrees
#pragma once

#include "command/reply.h"

int rtcm3TransformPrint(const char* path, Reply& re);
