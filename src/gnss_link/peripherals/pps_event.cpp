#include "gnss_link/peripherals/pps_event.h"

#include <strings.h>

#include <cstring>

#include "settings/nv_settings.h"
#include "settings/rcv_settings.h"

static_assert(sizeof(PpsEventSettings) <= sizeof(RCV_SETTINGS::ppsArea), "PPS and event settings exceed their area");
static_assert(offsetof(RCV_SETTINGS, ppsArea) % alignof(PpsEventSettings) == 0);

const char* const ppsTimeScaleNames[kPpsTimeScales] = {
    "gps",   "glo",   "sbas",    "glcdma",    "gal",    "comp",   "qzss",   "irnss", "utcusno",
    "utcsu", "utcsbas", "utcgpsext", "utcgal", "utcbei", "utcqzss", "utcind", "utc",   "ut1"};

int ppsTimeScaleIndex(const char* name) {
  if (name == nullptr) return -1;
  for (int i = 0; i < kPpsTimeScales; ++i) {
    if (strcasecmp(name, ppsTimeScaleNames[i]) == 0) return i;
  }
  return -1;
}

PpsEventSettings& ppsEventSettings() { return *reinterpret_cast<PpsEventSettings*>(RcvSet.ppsArea); }

// ---- PPS outputs

Ppses pps[2] = {Ppses(0), Ppses(1)};

Ppses::Ppses(int index) : index_(index), s_(defaults()), ring_(&ppsRing[index]) {}

PpsSettings Ppses::defaults() {
  PpsSettings s{};
  s.out = 0;
  s.edge = 0;
  s.mperOn = 0;
  s.time = kPpsTimeUtc;
  s.tied = 1;
  s.rfdel = 1;
  s.perMs = 1000;
  s.offsMs = 0;
  s.offsNs = 0;
  s.mper = 1000;
  s.len = 2000000;
  s.mlen = 3000000;
  return s;
}

void Ppses::set(const PpsSettings& s) {
  s_ = s;
  ppsEventSettings().pps[index_] = s;
}

void Ppses::load() { s_ = ppsEventSettings().pps[index_]; }

// ---- event inputs

Event ev[2] = {Event(0), Event(1)};

Event::Event(int index) : index_(index), s_(defaults()), ring_(&eventRing[index]) {}

EventSettings Event::defaults() {
  EventSettings s{};
  s.time = kPpsTimeUtc;
  s.in = 0;
  s.edge = 0;
  s.imp = 0;
  s.tied = 1;
  s.rfdel = 1;
  s.lock = 0;
  s.offsNs = 0;
  return s;
}

void Event::set(const EventSettings& s) {
  s_ = s;
  ppsEventSettings().ev[index_] = s;
}

void Event::load() { s_ = ppsEventSettings().ev[index_]; }

// ---- after loading

void ppsEventSettingsAfterLoad() {
  PpsEventSettings& r = ppsEventSettings();
  if (r.magic != kPpsEventMagic) {
    r.magic = kPpsEventMagic;
    for (int i = 0; i < 2; ++i) {
      r.pps[i] = Ppses::defaults();
      r.ev[i] = Event::defaults();
    }
    nv_writeRcvSettings();
  }
  for (Ppses& p : pps) p.load();
  for (Event& e : ev) e.load();
}
