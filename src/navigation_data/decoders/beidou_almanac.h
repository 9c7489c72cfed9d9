// BeiDou almanac, health and UTC pages (BDS-SIS-ICD-B1I 3.0 5.2.4.13-5.2.4.19 and 5.3.3.9): the
// D1 and D2 messages lay these pages out alike and differ only in the page numbers that carry
// them. One object holds the almanac sets and the waiting UTC page of one message type; it is
// shared by every decoder object of that type.
#pragma once

#include <cstdint>

#include "navigation_data/store/sat_data_store.h"

class CompAlmanacDataType {
 public:
  static constexpr int kSats = 30;  // satellites the almanac pages describe
  static constexpr int kSets = 10;

  CompAlmanacDataType();

  // An almanac page of satellite index `sat` (0-29); empty pages are ignored.
  void decodeAlmanacPage(const std::uint32_t* w, int sat);
  // The health page of satellites 20-30 with the almanac week and reference time; `lastToa` and
  // `lastWna` (the calling decoder's own) receive them.
  void decodeHealthPage2(const std::uint32_t* w, int& lastToa, int& lastWna);
  // The health page of satellites 1-19, for the set of the decoder's last second health page.
  void decodeHealthPage1(const std::uint32_t* w, int lastToa, int lastWna);
  // Writes what waits to the store, once per satellite per subframe count; `week` is the 13-bit
  // week of the calling decoder's last subframe 1 (-1 unknown), `sow` the subframe's SOW.
  void process(SatelliteDataProcessor* store, int week, std::uint32_t sow);

  void decodeUtcPage(const std::uint32_t* w, int week);
  void processUtc(SatelliteDataProcessor* store);

  struct AlmEntry {
    std::uint32_t sqrtA, e;
    std::int32_t di, omegaDot, omega, m0, omega0, a0, a1;
    std::uint8_t toa;
    bool received;
    bool toProcess;
  };
  struct AlmanacSet {
    bool inUse, page8Seen, health1Seen, health2Seen;
    std::uint8_t toa, wna;
    std::uint16_t health[kSats];  // 9 bits each
    AlmEntry entry[kSats];

    void clear();
    std::int64_t fullRef() const;
    bool healthSeen(int k) const;
  };

 private:
  struct UtcDataType {
    bool present;
    std::int8_t dtls, dtlsf;
    std::uint8_t wnlsf, dn;
    std::int32_t a0, a1;
    int refWeek;
  };

  void sortPreference();
  int findSet(std::uint8_t toa) const;
  int freeSet() const;

  AlmanacSet sets_[kSets];
  std::uint32_t stamp_[kSats];  // subframe count of the last write of each satellite
  std::uint8_t best_[kSets];    // set indices in order of preference, kNoSet after the last
  UtcDataType utc_;
};
