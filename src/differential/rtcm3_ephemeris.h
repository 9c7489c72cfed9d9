// Broadcast ephemerides carried in an RTCM 3 stream (1019 GPS, 1020 GLONASS, 1041 NavIC, 1042
// BeiDou, 1044 QZSS, 1045 Galileo F/NAV, 1046 Galileo I/NAV): read into the native records and
// filed straight into the navigation-data store, bypassing the decoder's client.
#pragma once

#include <cstdint>

#include "differential/nav_decoder.h"
#include "navigation_data/store/nav_records.h"
#include "navigation_data/sv_id.h"

class SatelliteDataProcessor;

struct Rtcm3Ephemeris {
  SvIdType id = EmptySvId;
  int dataType = 0;
  union {
    ZRT_EPH_GPS gps;
    ZRT_EPH_GLN glo;
    ZRT_EPH_GAL gal;
    ZRT_EPH_CMP cmp;
    ZRT_EPH_IRS irs;
  };
  Rtcm3Ephemeris() : gps{} {}
};

// Reads one ephemeris message from `br` (positioned after the message number). False, with
// `out` not to be used, when the message ran past its payload or names a satellite outside its
// system's range: a short frame must never overwrite a good ephemeris with zeros.
bool rtcm3_ReadEphemeris(int msgNum, BitReader& br, Rtcm3Ephemeris& out);

// Reads and stores: true when the message was complete and its satellite valid (the store may
// still keep its own record when the content is already known).
bool rtcm3_StoreEphemeris(int msgNum, BitReader& br, SatelliteDataProcessor& store);
