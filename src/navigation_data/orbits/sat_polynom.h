// Short orbit and clock polynomials of each satellite, built from its ephemeris once a second
// and read by the per-epoch users under one lock, and the group-delay set of each satellite.
//
// A quartic per coordinate spans two node steps (60 s): it passes through the three node
// positions and matches the node velocities at both ends. Against the Kepler orbit it stays
// within 1 mm over its span and a few mm over the tenth of a span it is read beyond either end.
#pragma once

#include <cstdint>

#include "navigation_data/store/nav_records.h"
#include "navigation_data/sv_id.h"
#include "platform/rtos.h"

constexpr std::uint16_t kPolyNoIod = 65535;
constexpr double kPolyNodeStep = 30.0;  // s

// Status codes of get_PolynomData.
enum PolynomStatus : std::uint8_t {
  kPolyOk = 0,            // entry returned, lock held
  kPolyNoIodMatch = 5,    // no entry with the asked IOD
  kPolyUnhealthy = 6,     // unhealthy and healthy only was asked
  kPolyAlmCheckMissing = 9,   // GLONASS or SBAS entry whose almanac check did not pass
  kPolyAlmUnhealthy = 10,     // GLONASS or SBAS entry whose almanac says unhealthy
  kPolyInvalid = 12,      // entry invalid
  kPolyOutsideFit = 18,   // time outside the fit interval
  kPolyNoSet = 29,        // no polynomial set for the satellite (lock not taken)
};

// Bits of PolynomEntryType::flags.
constexpr std::uint8_t kPolyFlagUnhealthy = 0x01;
constexpr std::uint8_t kPolyFlagAlmUnhealthy = 0x02;
constexpr std::uint8_t kPolyFlagAlmChecked = 0x04;
constexpr std::uint8_t kPolyFlagInvalid = 0x08;
constexpr std::uint8_t kPolyFlagGloNoShift = 0x10;

// One node of the polynomial: the orbit at one time.
struct PolyNode {
  double pos[3];
  double vel[3];
  double rel;  // relativistic clock term, s
  double t;    // s of the system cycle
};

// The three nodes of one ephemeris record, oldest first from `first`.
struct PolyNodeRing {
  PolyNode node[3] = {};
  std::uint8_t first = 0;
  double step = kPolyNodeStep;
  double entryNewest = 0;  // newest node time the current entry was built from

  const PolyNode& oldest() const { return node[first]; }
  const PolyNode& newest() const { return node[(first + 2) % 3]; }
  const PolyNode& at(int k) const { return node[(first + k) % 3]; }
};

namespace SatData {
struct PolynomEntryType {
  double coef[5][3];  // row k multiplies tau^k, tau = t - (refTime + span/2)
  double refTime;     // time of the first node, s of the system cycle
  double clkOffset;   // s at refTime
  float clkDrift;     // s/s at refTime
  float rel[2];       // relativistic term: constant and slope in tau
  float span;         // s
  float accuracy;     // m^2
  std::uint16_t iod;
  std::uint8_t dataType;
  std::uint8_t recordIndex;  // 0 newest, 1 previous record of the slot
  std::uint8_t flags;
};

// Group delays of one satellite: field 1 is the GPS reference delay (TGD), field 0 QZSS's.
struct TgdSetType {
  float delay[6];
  std::uint8_t source[6];  // 0 none, 1 derived from TGD by the frequency ratio, 2 broadcast ISC
};

// Signal health of one satellite, a record per data type of its system (LNAV, CNAV, CNAV-2 ...):
// the health byte (kSignalHealthNone when the data type says nothing of its signals) and flags.
// All 0 until the store's step first writes it.
struct SignalHealthType {
  std::uint8_t health;
  std::uint8_t flags;
};
struct HealthSetType {
  SignalHealthType type[3];
};
constexpr std::uint8_t kSignalHealthNone = 255;

struct PolynomSetType {
  PolynomEntryType entry[2];
  TgdSetType tgd;
  HealthSetType health;
};
}  // namespace SatData

// Builds or advances the polynomial of one ephemeris record at epoch time t (s of the system
// cycle); one orbit evaluation per call once the polynomial exists. `computed` is the record's
// polynomial-computed flag. False when the system has no orbit code here.
bool update_SatellitePolynom(int sys, const ZRT_EPH_GPS& eph, double t, PolyNodeRing& ring,
                             bool& computed, SatData::PolynomEntryType& entry);
// The orbit part of an entry from the ring's three nodes, whatever the orbit they come from:
// the quartic of each coordinate, the relativistic line, the reference time and the span.
void build_PolynomOrbit(int sys, const PolyNodeRing& ring, SatData::PolynomEntryType& entry);
// The entry from the ring's three nodes and the record's clock.
void build_PolynomEntry(int sys, const ZRT_EPH_GPS& eph, const PolyNodeRing& ring,
                        SatData::PolynomEntryType& entry);
// Position (m), velocity (m/s) and clock (s, relativistic term included) at dt seconds after
// the entry's reference time.
void eval_Polynom(const SatData::PolynomEntryType& entry, double dt, double pos[3], double vel[3],
                  double* clock);

// Group delays of a GPS-type record (data type 0 LNAV, 1 CNAV, 2 CNAV-2) into the set.
void update_SatelliteTgd(const ZRT_EPH_GPS& eph, int dataType, SatData::TgdSetType& set);

// The published polynomial and group-delay sets by global tracking index, guarded by one lock.
class SatPolynomStore {
 public:
  static Mutex mutex;

  SatPolynomStore();
  // Publishes (or, with null, withdraws) a satellite's set; false for an identity out of range.
  bool Put(SvIdType id, const SatData::PolynomSetType* set);
  // Copies a satellite's set; false when it has none.
  bool Take(SvIdType id, SatData::PolynomSetType* out);
  void Init();

  // Reading: see the status table. On status 0 the lock stays held and the caller calls
  // free_PolynomData() once it has used the entry (PolynomHold does it). With the time, an
  // asked IOD that matches neither entry comes back as 65535.
  const SatData::PolynomEntryType* get_PolynomData(SvIdType id, double t, bool healthyOnly,
                                                    bool gloShift, std::uint8_t* status,
                                                    std::uint16_t* iod, int* dataType,
                                                    float* accuracy, double* dt);
  const SatData::PolynomEntryType* get_PolynomData(SvIdType id, bool healthyOnly, std::uint8_t* status,
                                                    std::uint16_t* iod, int* dataType);
  // For both entries the IOD when usable at t, else 65535; 29 without a set, else 0.
  int get_IssueOfData(SvIdType id, double t, std::uint16_t iod[2]);
  // The group-delay set with the lock held; null (lock free) without a set.
  const SatData::TgdSetType* get_TgdData(SvIdType id);
  void free_PolynomData();

  // The store's own position step: the entry has an IOD and t is within 600 s of its middle.
  static bool is_PolynomValid(const SatData::PolynomEntryType& e, int sys, double t);

 private:
  const SatData::PolynomEntryType* select(SvIdType id, bool healthyOnly, std::uint8_t* status,
                                          std::uint16_t* iod, int* dataType, int* slot);

  SatData::PolynomSetType sets_[SYS_SI_TOTAL];
  bool has_[SYS_SI_TOTAL];
};

// Releases the polynomial lock when it goes out of scope, if it holds it.
class PolynomHold {
 public:
  PolynomHold() = default;
  explicit PolynomHold(bool held) : held_(held) {}
  ~PolynomHold() { release(); }
  PolynomHold(const PolynomHold&) = delete;
  PolynomHold& operator=(const PolynomHold&) = delete;
  void hold() { held_ = true; }
  // The caller takes over the held lock.
  void handOver() { held_ = false; }
  void release() {
    if (held_) SatPolynomStore::mutex.unlock();
    held_ = false;
  }

 private:
  bool held_ = false;
};

extern SatPolynomStore SatPolynomStoreInstance;
