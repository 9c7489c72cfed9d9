// The satellite data store's keys under /par/pos/clean/:
//   eph   set to "yes" (or "on"): every stored ephemeris of every system is dropped, with its
//         copy in the settings image; "no" does nothing; prints "off"
//   alm   the same for the almanacs
// The kept copies go at once, so the next start restores none; the store drops what it holds
// at its next step, within a second. The decoders store each satellite's ephemeris and almanac
// again when they are next broadcast.
//
// Print only, under /par/pos/hint/: the receiver's time hints the store keeps from the last
// plausible ephemeris of a system, "not available" before the first:
//   gps, qzss   {week modulo 1024, ms of week} of its reception
//   sbas        {day since the GPS epoch, ms of day}
#pragma once

// Registers the areas "pos/clean" and "pos/hint"; false when a prefix is taken or the table full.
bool registerSatDataKeys();
