// The RTCM 2 rover keys, /par/rtcm/rover/<key>: the settings every RTCM 2 decoder shares.
//
//   maxage   maximum age of corrections, s
//   seqnum   count gaps in the sequence numbers (on/off)
//   invsign  negate received carrier phases (on/off)
//   ver      version of the source: v2.1, v2.2, v2.3, v2.4
//   usenm    accept a station reporting "not monitored" (on/off)
//   refsrc   reference point of the base: l1pc, arp, auto
//
// The RTCM 2 coder's keys, /par/rtcm/base/<key>:
//
//   glo      GLONASS satellites in the RTK messages 18-21 (on/off)
//   smooth   the base's observations from the carrier-smoothed code instead of the raw code
//            (on/off); the RTCM 2 and RTCM 3 headers then carry the smoothing interval's class
#pragma once

// Register the areas; false when the parameter tree refuses one.
bool registerRtcmRoverArea();
bool registerRtcmBaseArea();
