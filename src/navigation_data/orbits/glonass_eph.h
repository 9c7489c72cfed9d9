// GLONASS orbits and the store's GLONASS rules: the accuracy and validity of an ephemeris, the
// numerical integration of the broadcast state vector in PZ-90 (GLONASS ICD 5.1, A.3.1.2) that
// feeds the satellite polynomials, the almanac orbit (A.3.2.2 in its secular form) and the
// bookkeeping the store does per orbital slot.
#pragma once

#include <cstdint>

#include "navigation_data/orbits/sat_polynom.h"
#include "navigation_data/store/nav_records.h"
#include "platform/rtos.h"

// Accuracy (m) of a signed L3 accuracy index: -15..14 from the table, 15 no prediction
// (20000 m), anything else 0.
double get_GloL3NavEphemerisAccuracy(int index);
// Accuracy (m) of a GLONASS record: FT (above 15 read as 15, which gives 7.5 m) plus 3 m per day
// of age; for L3 records the root sum of squares of both index terms.
float get_GloEphemerisAccuracy(const ZRT_EPH_GLN& eph);
// A clock term present, speed within 3 +- 1 km/s and radius within 25500 +- 6500 km.
bool is_GloEphemerisValid(const ZRT_EPH_GLN& eph);

// The state being integrated: x, y, z (m), vx, vy, vz (m/s), the broadcast luni-solar
// accelerations (m/s^2, held constant) and the time of the state (s of day, not folded).
struct GloIntegState {
  double x[6];
  double acc[3];
  double t;
};

// Derivative of the state under the PZ-90 central field with J2 in the rotating frame.
void glo_MotionEquation(const double x[6], const double acc[3], double dx[6]);
// One classical fourth-order Runge-Kutta step of h seconds (h < 0 runs backwards).
void compute_SolutionEquationSet_RKM(GloIntegState& s, double h);
// The record's state at tb, in m and m/s.
GloIntegState glo_InitialState(const ZRT_EPH_GLN& eph);

// The extended GLONASS ephemerides: each stored record's state converted once to m, m/s and
// m/s^2 for the integration, 30 entries under the server's own lock; the entry used longest ago
// gives way when all are taken, and its record is then converted again when it is integrated.
class ExtendedGLOEphemerisServerType {
 public:
  static constexpr int kEntries = 30;
  // Every entry free.
  void Init();
  // (Re)fills the entry of `owner` from its record.
  void Put(const void* owner, const ZRT_EPH_GLN& eph);
  // The state of `owner` at tb; false when it has no entry.
  bool Take(const void* owner, GloIntegState& out);

 private:
  struct Entry {
    const void* owner = nullptr;
    GloIntegState state{};
    std::uint64_t stamp = 0;
  };
  Mutex mutex_;
  Entry e_[kEntries];
  std::uint64_t clock_ = 0;
};

// Builds or slides the polynomial of one GLONASS record at time t (s of GLONASS day). The
// window of three nodes `step` apart slides forward by one node once t is within a tenth of a
// step of the newest node; each new node is one Runge-Kutta step from the newest. `start` is
// the record's state at tb when the caller has it converted. False when the record cannot be
// integrated.
bool update_GloSatellitePolynom(const ZRT_EPH_GLN& eph, double t, PolyNodeRing& ring, bool& computed,
                                SatData::PolynomEntryType& entry, const GloIntegState* start = nullptr);
// The entry's clock at its reference time from the record: -tauN + gammaN dt (L3 adds beta dt^2).
void set_GloPolynomClock(const ZRT_EPH_GLN& eph, SatData::PolynomEntryType& entry);

// Group delays of a GLONASS record into the satellite's set (fields by signal slot, as the
// channels hold them): an FDMA record (data type 0) carries none, so the whole set is cleared;
// an L3 record (data type 1) clears only the L3 entry, slot 4, and leaves the others as they are.
constexpr int kGloL3TgdField = 4;
void update_GloTgd(int dataType, SatData::TgdSetType& set);

// Almanac orbit `t` seconds after tLambdaA: position (m), velocity (m/s) in PZ-90, clock -tauA
// and drift 0. False for an almanac that gives no orbit (eccentricity outside 0..1).
bool compute_GloSatPosByAlmanac(const ZRT_ALM_GLN& alm, double t, double pos[3], float vel[3], double* clock,
                                double* drift);

// The day number of a record that carries NT = 0: the previous record's day, moved by one
// across a day boundary (the new tb half a day or more before the previous one is the next
// day, half a day or more after it the day before), 1..1461 wrapping.
int glo_CarryDayNumber(int prevNT, std::uint32_t prevTb, std::uint32_t tb);
// The issue of data the store and the polynomials carry for a record.
std::uint16_t glo_EphemerisIod(const ZRT_EPH_GLN& eph);
// Whether the polynomial of a record reads without the GLONASS 1-s time shift: its buffer
// carries an almanac's health mark (`marked`) and the record's age of data (En, days) exceeds
// 10800 s.
constexpr double kGloNoShiftAge = 10800.0;
bool glo_NoTimeShift(const ZRT_EPH_GLN& eph, bool marked);
// Whether a new almanac of a slot replaces the stored one: not when the stored one has the same
// tLambdaA, the same Cn and an M at least as large.
bool glo_AcceptAlmanac(const ZRT_ALM_GLN& stored, bool storedValid, const ZRT_ALM_GLN& fresh);
// Usable: bit 7 of the health clear and the frequency channel within -7..+7.
bool glo_AlmanacUsable(const ZRT_ALM_GLN& alm);
