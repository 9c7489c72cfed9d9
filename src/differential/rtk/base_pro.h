// Base-measurement projection: a base station's phase and code arrive late and at their own
// epochs, so each base satellite's signals are tracked by small value / rate / acceleration
// models (the acceleration decays with a correlation time Tcorr) that can be advanced to any
// rover time. With reference satellites in use the phase models hold differences to the
// reference of the same system and signal, so a base clock jump cancels; without them the models
// are absolute and clock jumps are found and taken out. The satellite range, clock and Earth
// rotation (dSat) are removed from the phase before it enters a model.
//
// Satellite slots are the RTK engine's: GPS 0-31, GLONASS 32-46 (slot 39 frequency channel 0),
// Galileo 47-82, SBAS 83-110, QZSS 111-117, BeiDou 118-180, NavIC 181-194; 195 none. A slot is
// the global satellite id less one. Signals 0..5 are the signal slots ca, p1, p2, c2, l5, l1c.
//
// The models change only under the projection lock (waitForProj ... projRelease).
#pragma once

#include <cstdint>

#include "differential/base/cpd_meas.h"

namespace bpro {
constexpr int kSlots = 195;          // satellite slots of the RTK engine
constexpr int kNoSlot = 195;         // "no satellite"
constexpr int kSignals = 6;          // signal slots per satellite
constexpr int kSystems = 7;          // GPS .. NavIC
constexpr int kRefs = kSystems * kSignals;  // reference entries, index system * 6 + signal
constexpr int kModels = 44;          // base satellites with a model at one time
constexpr int kGloFirst = 32;        // GLONASS slots 32..46, slot 39 is frequency channel 0
constexpr int kGloLast = 46;
constexpr int kGloZero = 39;
constexpr double kC = 299792458.0;                 // m/s
constexpr double kInvC = 3.3356409519815204e-9;    // s/m
constexpr double kOmegaC = 2.432387790989725e-13;     // Earth rotation rate over c, 1/m
constexpr double kOmegaCGlo = 2.4323877420558726e-13;  // the same with the GLONASS rate
constexpr double kNoInterval = 100000000.0;        // projection caches: nothing cached
constexpr double kJumpIdleMs = 80.0;               // base clock jumps above this idle a signal
constexpr int kGainSwitch = 60;                    // updates on the start-up gains

// The system (0..6) of a slot, -1 outside 0..194.
int slotSys(int slot);
// First and last slot of a system (an empty range outside 0..6).
int sysFirstSlot(int sys);
int sysLastSlot(int sys);
inline bool isGloSlot(int slot) { return slot >= kGloFirst && slot <= kGloLast; }
}  // namespace bpro

// s: correlation time of the models' acceleration (0..3600; 0 switches the acceleration off).
extern double Tcorr;

// Gain of state i (0 value, 1 rate, 2 acceleration) for an update after dt seconds; n is the
// update count (below 60, or -1 for code and for models without a reference: start-up table).
float K(int i, double dt, int n);
// Carrier frequency (Hz) of signal s of the satellite in slot `slot`; 1.0 without a mapping.
double calcfr(int slot, int s);

// One base satellite's models. Fields in the order the engine keeps them.
class BasePro {
 public:
  double resFi[bpro::kSignals];   // cycles: last measured less projected phase
  double resRo[bpro::kSignals];   // m: last measured less projected code
  double dSat;                    // m: range less satellite clock plus Earth rotation; 0 none
  double tdSat;                   // s of the system's week (GLONASS: day); -1 never set
  double Fi[bpro::kSignals];      // phase model: cycles
  double dFi[bpro::kSignals];     //              cycles/s
  double ddFi[bpro::kSignals];    //              cycles/s^2
  double FiAux[bpro::kSignals];   // kept and moved with the phase model
  double T[bpro::kSignals];       // s in the hour: model time
  std::int32_t issue;             // ephemeris issue dSat was computed with; -1 none
  double dtp[bpro::kSignals];     // s: last projection interval, consumed by Update
  std::int32_t cnt[bpro::kSignals];  // updates
  double age[bpro::kSignals];     // s of updates (each adds at most 10 s)
  std::uint8_t st[bpro::kSignals];   // 1 active, 0 idle
  std::uint8_t slot;              // 195 free
  std::uint8_t bl;                // baseline
  double Ro[bpro::kSignals];      // code model: m
  double dRo[bpro::kSignals];     //             m/s
  double ddRo[bpro::kSignals];    //             m/s^2

  BasePro();

  // Idles one signal.
  void Reset(int s);
  // Empties the object: every signal idle, no dSat, no issue, slot free.
  void Reset();
  // 1 while signal s is active and its model no older than textr + 1 s at t (s in the hour);
  // a stale signal is idled.
  int Status(double t, int s);
  // Advances both models of signal s to t (s in the hour).
  void Proj(double t, int s);
  // The projected code at t including the reference satellite's model; 0 outside 0..3600 s.
  double ProjRRo(double t, int s);
  // One base measurement: phase phi (cycles) and code (m) of signal s at tms (ms in the hour);
  // tc is the system's epoch time (s), negative when unknown.
  void Add(const CpdSv& sat, int tms, double tc, double phi, double code, int s, int slot, int issue);
  // Applies the stored residuals to the models of signal s.
  void Update(int s);
  // Refreshes dSat for the system time Tsys (s) of the epoch at tms; `out` (42 entries, system *
  // 6 + signal) gets the phase step (cycles) an issue change of a reference satellite brings to
  // the models referred to it.
  void CalcdS(const CpdSv& sat, int tms, double Tsys, int flag, double code, int s, int b, int issue, double* out);

  // The projection between two model times (s in the hour, folded over the hour).
  static double interval(double t, double modelTime);

 private:
  void start(int s, double t);
  // dSat of the satellite at Tsys for `iss`; false when no orbit.
  bool geometry(const CpdSv& sat, double Tsys, double code, int iss, const double base[3], double& ds);

  // Proj's cache: T*dt, T^2*f, T*f, e for dt (and the Tcorr it was made with).
  double pT_ = 0.0, pTT_ = 0.0, pTf_ = 0.0, pE_ = 0.0, pDt_ = bpro::kNoInterval, pTc_ = -1.0;
  // ProjRRo's own cache: T*dt and T^2*f.
  double rT_ = 0.0, rTT_ = 0.0, rDt_ = bpro::kNoInterval, rTc_ = -1.0;
};

// The models of the base satellites of baseline 0, the slot table and the reference choice.
// Every operation takes a baseline number; any other baseline has no models, no table and no
// references.
class BaseProContainer {
 public:
  BasePro bp[bpro::kModels];
  BasePro* tab[bpro::kSlots];               // slot -> model, rebuilt by SetNum
  std::int32_t mode = 0;                    // CpdMeas::Type of the latest base epoch
  std::uint16_t ref[bpro::kRefs];           // reference slot per (system, signal), 195 none
  std::uint8_t refHold[bpro::kRefs];        // runs left without a reference per entry
  struct BasePos {
    double x = 0.0, y = 0.0, z = 0.0;
    bool known = false;
  } basePos;                                // baseline 0's base position, cleared every run

  BaseProContainer();

  // Empties all 44 models and the slot table (the settings' full reset); references stay.
  void Reset(int b);
  // Rebuilds the slot table at tms (ms in the hour): stale signals idled, models without an
  // active signal emptied.
  void SetNum(int b, int tms);
  // Gives a free model to `slot`, all six signals started at tms; 1 when given, 0 when none is
  // free or the slot is no satellite's.
  int FindSlot(int b, int slot, int tms);
  // Adds factor times the models of `slot` (reference entry k = system * 6 + signal) to every
  // other model of that system with the signal active.
  void ChangeRef(int b, int k, int slot, double factor);

  // The model of a slot; null for none, another baseline or a slot outside 0..194.
  BasePro* at(int b, int slot);
  // The reference slot of (system, signal); 195 none (and for any other baseline).
  int refOf(int b, int sys, int s) const;
  // The base position of the baseline (ECEF, m); false when none is known.
  bool basePosition(int b, double out[3]);
};

extern BaseProContainer BPC;
