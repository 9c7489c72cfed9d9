// Satellite slots of the RTK engine, its usable-signal tables and the per-engine system lists.
//
// The engine numbers satellites 0..194 by system: GPS 0-31, GLONASS 32-46 (slot 39 is frequency
// channel 0), Galileo 47-82, SBAS 83-110, QZSS 111-117, BeiDou 118-180, NavIC 181-194; 195 is
// none. A slot is the carrier-phase model's global satellite id less one.
#pragma once

#include <cstdint>

#include "differential/base/cpd_meas.h"

namespace PosSetup {
struct SatProcessorSetupType;
}

constexpr int kRtkSlots = 195;
constexpr int kRtkNoSlot = 195;
constexpr int kRtkSysNum = 7;
constexpr int kRtkSigNum = 6;  // signal slots ca, p1, p2, c2, l5, l1c
constexpr int kRtkGloChannel0Slot = 39;

// Time scale of a system's epoch times: 1 for GLONASS, 0 (GPS time) for the others; -1 for no
// system.
int systime(int sys);
// The satellite of a slot; false (out untouched) outside 0..194.
bool cpdSlotSv(int slot, CpdSv& out);
// Nominal carrier frequency (Hz) of a signal slot of a satellite slot; 1.0 when the slot, the
// system or the signal has no mapping.
double calcSvFreq(int slot, int sig);

// The engine's usable-signal tables and its current system lists.
class RtkChan {
 public:
  static constexpr int kMaxSys = 4;          // systems the engine carries at once
  static constexpr int kMaxSig = 2 * kMaxSys;
  static constexpr int kMaxState = 3 + kMaxSig;
  static constexpr int kBaselines = 2;
  static constexpr int kGroupLen = 3;
  static constexpr std::int8_t kNoSig = -1;

  // Per system the signal slots of the L1 and of the L2 group, in order of preference.
  static constexpr std::int8_t l1Sig[kRtkSysNum][kGroupLen] = {
      {0, 1, 5}, {0, 1, -1}, {0, -1, -1}, {0, -1, -1}, {0, 5, -1}, {0, 5, -1}, {0, -1, -1}};
  static constexpr std::int8_t l2Sig[kRtkSysNum][kGroupLen] = {
      {3, 2, 4}, {3, 2, -1}, {2, 3, 4}, {4, -1, -1}, {3, 4, -1}, {3, 2, 4}, {4, 1, -1}};
  // Order in which systems enter the engine's list.
  static constexpr std::int8_t sysPriority[kRtkSysNum] = {0, 1, 2, 5, 6, 4, 3};

  static int curSys[kMaxSys];
  static int curSysNum;
  static int curSigNum;
  static int curStateNum;
  static int curSys_z[kBaselines][kMaxSys];
  static int curSysNum_z[kBaselines];
  static int curSigNum_z[kBaselines];
  static int curStateNum_z[kBaselines];

  // The current list from sysPriority and the use-system flags of cpdParams, at most four.
  static void defaultUsableSys();
  // The current list into a baseline's lists; nothing for a baseline outside 0..1.
  static void assignUsableSys_z(int bl);
  // Per system the mask of its L1 and L2 signal slots, and-ed with the use-slot flags of
  // cpdParams and with the system's signal mask of the satellite-processing setup; 0 for a
  // system not in use. Without a setup of the position engine nothing is usable.
  static void getUsableSlots(int out[kRtkSysNum]);
  static void getUsableSlots(int out[kRtkSysNum], const PosSetup::SatProcessorSetupType* setup);
  // Table mask of a system (bit per signal slot of both groups); 0 for no system.
  static int tableMask(int sys);
};

// Inter-system weights of the current systems: a value pair per current system.
extern double ALPHAT[RtkChan::kMaxSys][2];
extern double _ALPHAT[RtkChan::kMaxSys][2];
// Fills ALPHAT and _ALPHAT for the current systems (RtkChan::curSys).
void initRtkSysTables();
