// The geoid model's state at start (no model valid, nothing reported), for tests that need it
// again after another test made a model valid, and its validity flag.
#pragma once

#include "positioning/geoid/geoid_builtin.h"
#include "positioning/geoid/geoid_gps.h"

struct GeoidTestAccess {
  static bool valid() { return GeoidGPS::valid; }
  static void reset() {
    GeoidGPS::useBuiltIn();  // the built-in grid and its name, under the model's lock
    GeoidGPS::valid = false;
    GeoidGPS::changeCur = false;
    GeoidGPS::curHeight = 0.0;
    GeoidGPS::curDescr = {};
    GeoidGPS::curName[0] = '\0';
    GeoidGPS::haveCur = false;
    GeoidGPS::havePending = false;
  }
};
