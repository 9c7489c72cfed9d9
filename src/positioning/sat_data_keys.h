// The satellite data store's keys under /par/pos/clean/:
//   eph   set to "yes" (or "on"): every stored ephemeris of every system is dropped, with its
//         copy in the settings image; "no" does nothing; prints "off"
//   alm   the same for the almanacs
// The kept copies go at once, so the next start restores none; the store drops what it holds
// at its next step, within a second. The decoders store each satellite's ephemeris and almanac
// again when they are next broadcast.
#pragma once

// Registers the area "pos/clean"; false when the prefix is taken or the table full.
bool registerSatDataKeys();
