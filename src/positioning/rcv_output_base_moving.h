// Base-moving monitor: watches the relative position the board reports between the antennas of a
// moving base, integrates its rate between whole seconds and raises an alert with the motion of
// each second and the largest motion seen; it also averages the relative position per second.
#pragma once

#include <cstdint>

#include "positioning/geodesy/datum_conv.h"

// The epoch's relative-position block as the board gives it, with the epoch's position dilution.
struct REL_POS_BLOCK {
  std::uint8_t bValid[2] = {};    // both set: the block holds a solution
  std::uint8_t bErrFlag[2] = {};  // the source's two error flags
  std::uint8_t uNumSats = 0;      // satellites used
  std::uint8_t bTimeValid = 0;
  float err[2] = {};              // the block's two error values, m
  double pos[3] = {};             // relative position, m
  double vel[3] = {};             // its rate, m/s
  std::int32_t timeMs = 0;        // ms of the reference scale (GPS week or GLONASS day)
  float pdop = 0;                 // position dilution of the epoch
};

struct BoardSolAlnType;
namespace NavTask {
struct NAV_SOL;
}

// The relative-position block of the board's standalone solution record, with the position
// dilution of the epoch's navigation solution `sol`. Where the record holds it (offsets from the
// record's first data byte): satellites used u16 at 1372, the source's error flags at 1374 (bit 0
// the first, bit 1 the second), the first valid byte at 1375, the relative position X, Y, Z
// (Earth-centred, m, 8-byte floats) at 1376 followed by its two error values (m, 4-byte floats) at
// 1400 and 1404, the second valid byte at 1410, the position's rate X, Y, Z (m/s) at 1411, the
// time at 1435 (u32, ms of the reference scale) and its validity byte at 1451. False when the
// record did not come this epoch.
bool relPosFromBoard(bool received, const BoardSolAlnType& rec, const NavTask::NAV_SOL& sol, REL_POS_BLOCK& out);

struct BASE_MOVING_DATA {
  POS_CRT base{};              // base position of the last RTK solution, m
  double integ[3] = {};        // integrated relative position, m
  float ref[3] = {};           // integrated position at the last whole second
  float motion[3] = {};        // motion over the last whole second
  float maxMotion = 0;         // largest motion length seen
  std::uint8_t bAlert = 0;
  std::uint8_t bActive = 0;
  std::uint8_t bStarted = 0;
  std::uint8_t bInit = 0;      // the first activation cleared the alert values
  std::uint8_t resetMode = 0;  // 0 clear, 1 start from the block's position, 2 integrating
  std::uint8_t bAvgValid = 0;
  double accTime = 0;          // s integrated since the start
  double sum[3] = {};
  double errSum = 0;
  std::int32_t count = 0;
  double avg[3] = {};          // mean relative position of the last second
  double avgErr = 0;
  std::int32_t lastTime = 0;   // ms of the reference scale
  double geoidSep = 0;         // geoid separation of the output position, m
};

extern BASE_MOVING_DATA BaseMovingData;
// The start-up copy of the base-moving record: BaseMovingData as built. Its readers lie outside
// the subsystems built here.
extern BASE_MOVING_DATA GotBaseMovingData;

// One epoch of the monitor. `block` null: no relative position this epoch. `periodMs`: length of
// the reference scale's cycle (a week or a day), over which time differences are folded.
void baseMovingStep(BASE_MOVING_DATA& d, const REL_POS_BLOCK* block, std::int32_t periodMs);
// Clears the alert and the four motion values.
void resetBaseMovingAlert();
// Reset mode 0 or 1 for the next activation; any other value is refused (false, nothing changed).
bool resetBaseMovingRelPosData(int mode);
// The same two resets asked from another task (the command keys): the monitor's own task makes
// them at its next epoch (applyBaseMovingResets), so that the record keeps one writer. A mode
// other than 0 or 1 is refused (false).
void requestBaseMovingAlertReset();
bool requestBaseMovingRelPosReset(int mode);
void applyBaseMovingResets();
// The alert and the reset mode as the monitor's task last left them (any task).
bool baseMovingAlertShown();
int baseMovingResetModeShown();
