// The two timing-pulse outputs (PPS a and b) and the two external-event inputs (event a and b).
// The GNSS board produces the pulses and time-tags the events; this board keeps their settings
// (in the receiver settings, over RcvSet.ppsArea), hands every change on to the board through
// the board-shared areas dev/pps and dev/event, and holds the per-output and per-input state the
// raw record decoder fills from the board's PPS and event records.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "gnss_link/raw_records.h"

// ---- time scales a pulse or an event tag refers to

inline constexpr int kPpsTimeScales = 18;
inline constexpr int kPpsTimeUtc = 16;  // the default: UTC as the receiver keeps it
// "comp" (index 5) is the BeiDou system time under its old name, as the board knows it.
extern const char* const ppsTimeScaleNames[kPpsTimeScales];
// Index of a time-scale name (whole name, any case); -1 when it is none of them.
int ppsTimeScaleIndex(const char* name);

// ---- ranges

struct PpsLimits {
  static constexpr std::int32_t kPerMin = 10, kPerMax = 1000000000;           // ms
  static constexpr std::int32_t kOffsMsMax = 500000000;                       // +-, ms
  static constexpr std::int32_t kOffsNsMax = 500000;                          // +-, ns
  static constexpr std::int32_t kMperMin = 20, kMperMax = 1000000000;         // ms, or 0
  static constexpr std::int32_t kLenMax = 5000000;                            // board units
};

// ---- the stored records (fixed layout: they live in the settings image)

struct PpsSettings {
  std::uint8_t out;    // output on
  std::uint8_t edge;   // 0 rise, 1 fallinv, 2 fall, 3 riseinv
  std::uint8_t mperOn; // second pulse enabled (mper != 0)
  std::uint8_t time;   // time-scale index
  std::uint8_t tied;
  std::uint8_t rfdel;  // RF delay compensated
  std::uint8_t spare[2];
  std::int32_t perMs;
  std::int32_t offsMs;
  std::int32_t offsNs;
  std::int32_t mper;   // second-pulse period, ms
  std::int32_t len;    // pulse length
  std::int32_t mlen;   // second-pulse length
};
static_assert(sizeof(PpsSettings) == 32);
static_assert(offsetof(PpsSettings, perMs) == 8 && offsetof(PpsSettings, mlen) == 28);

struct EventSettings {
  std::uint8_t time;
  std::uint8_t in;     // input on
  std::uint8_t edge;   // 0 rise, 1 fall
  std::uint8_t imp;    // 0 high, 1 low
  std::uint8_t tied;
  std::uint8_t rfdel;
  std::uint8_t lock;   // 0 off, 1 on, 2 always
  std::uint8_t spare;
  std::int32_t offsNs;
};
static_assert(sizeof(EventSettings) == 12);
static_assert(offsetof(EventSettings, offsNs) == 8);

struct PpsEventSettings {
  std::uint32_t magic;  // kPpsEventMagic once the defaults were applied
  PpsSettings pps[2];
  EventSettings ev[2];
};
static_assert(sizeof(PpsEventSettings) == 92);
static_assert(offsetof(PpsEventSettings, pps) == 4 && offsetof(PpsEventSettings, ev) == 68);
inline constexpr std::uint32_t kPpsEventMagic = 0x50505331;  // "PPS1"

// The record inside the receiver settings.
PpsEventSettings& ppsEventSettings();

// ---- the objects

class Ppses {
 public:
  explicit Ppses(int index);
  int index() const { return index_; }
  // The output's settings as in force; a change goes through set(), which keeps the stored
  // record in step.
  const PpsSettings& settings() const { return s_; }
  void set(const PpsSettings& s);
  // Loads the object from the stored record.
  void load();
  static PpsSettings defaults();
  // The latest PPS records of this output, written by the raw decoder.
  TagRing<PpsTagType>& ring() { return *ring_; }

 private:
  int index_;
  PpsSettings s_;
  TagRing<PpsTagType>* ring_;
};

class Event {
 public:
  explicit Event(int index);
  int index() const { return index_; }
  const EventSettings& settings() const { return s_; }
  void set(const EventSettings& s);
  void load();
  static EventSettings defaults();

  // The input's lock flag: the raw decoder raises it from an event record's lock byte; every
  // set of `lock` lowers it first.
  bool locked() const { return locked_.load(std::memory_order_relaxed); }
  void takeLockByte(std::uint8_t b) {
    if (b != 0) locked_.store(true, std::memory_order_relaxed);
  }
  void clearLocked() { locked_.store(false, std::memory_order_relaxed); }
  TagRing<EventTagType>& ring() { return *ring_; }

 private:
  int index_;
  EventSettings s_;
  std::atomic<bool> locked_{false};
  TagRing<EventTagType>* ring_;
};

extern Ppses pps[2];
extern Event ev[2];

// After the settings were loaded (start and init,/par/): a record that never took its defaults
// takes them and is stored; then both kinds of object take the stored values.
void ppsEventSettingsAfterLoad();
