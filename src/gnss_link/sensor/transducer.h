// Readings of meteorological and tilt sensors that arrive as transducer sentences: the last
// sentence as it came (for the receiver's own XDR output), and the values taken from it.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/rtos.h"

// The last transducer sentence, without "$", checksum and terminator. Readers never block: the
// issue is odd while the sentence is being replaced (a sequence lock), and a reader that sees it
// change while copying gets nothing and tries again later. Every member is an atomic, so a
// reader racing a writer reads stale bytes at worst, which the issue check then discards.
class Transducer {
 public:
  static constexpr int kMaxLen = 1023;
  // Issues count 2, 4, ... and wrap to 2 after this one.
  static constexpr std::int32_t kLastIssue = 0x7FFFFFFE;

  explicit Transducer(std::int32_t issue = 0) : issue_(issue) {}
  Transducer(const Transducer&) = delete;
  Transducer& operator=(const Transducer&) = delete;

  // Stores the sentence, with the talker "WI" in front when it is not `standard`; false (and
  // nothing changed) when it would not fit in kMaxLen bytes.
  bool storeData(const char* text, int len, bool standard);
  // `lastIssue` with `len` 0 when nothing is new; 0 while an update is in progress, when `size`
  // cannot hold the sentence or it changed while being copied; otherwise the sentence copied
  // into `buf`, its length in `len`, and its issue.
  std::int32_t getNewData(std::int32_t lastIssue, char* buf, int size, int& len) const;
  std::int32_t issue() const { return issue_.load(); }

  // The one the transducer sentence input writes.
  static Transducer& data();

 private:
  static constexpr int kWords = (kMaxLen + 3) / 4;
  Mutex writer_;  // writers one at a time (ports feed it from several tasks)
  std::atomic<std::int32_t> issue_;
  std::atomic<std::int32_t> len_{0};
  std::atomic<std::uint32_t> words_[kWords] = {};
};

// Values of one sensor: an issue counted up on each update, three values and which of them the
// last update carried.
struct SensorData {
  std::uint32_t issue = 0;
  float v[3] = {0, 0, 0};
  std::uint32_t flags = 0;
};

class SensorDataBuf {
 public:
  // Replaces the values and flags and counts the issue up.
  void put(const float (&v)[3], std::uint32_t flags);
  SensorData get();

 private:
  Mutex m_;
  SensorData d_;
};

// Meteo: temperature (deg C), humidity (percent), pressure (bar); flags bit 0, 1, 2.
// Tilt: north tilt, east tilt (degrees), the tilt sensor's temperature (deg C); flags bit 0, 1, 2.
enum : std::uint32_t { kMeteoTemp = 1, kMeteoHumidity = 2, kMeteoPressure = 4 };
enum : std::uint32_t { kTiltNorth = 1, kTiltEast = 2, kTiltTemp = 4 };
extern SensorDataBuf meteoDataBuf;
extern SensorDataBuf tiltDataBuf;
