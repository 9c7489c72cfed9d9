// How the GNSS board's standalone solution in the epoch record reads as a navigation solution:
// the one place that names the record's fields by their meaning.
#pragma once

#include "positioning/data_servers/pvt_data.h"
#include "positioning/engine/nav_sol.h"

// Solution-type codes of the NAV_SOL.
namespace SolType {
constexpr std::int32_t kPosition = 0, kStatusBits67 = 1, kStatusBits45 = 2, kNone = 3, kStatusBits8to10 = 5,
                       kStatusBit12 = 6;
}

// The solution type of an epoch without a valid position, from its status word.
std::int32_t solTypeFromStatus(std::uint32_t status);
// The navigation mode code of the board's mode byte.
std::uint8_t navModeCode(std::uint8_t mode);
// The systems-used code: index + 1 of the only system used, 8 for two or more, 0 for none.
std::uint8_t sysUsedCode(const std::uint8_t used[7]);

// Clears the validity bytes of the solution's position, clock and related blocks.
void clear_SolutionFlags(BoardEpochPart& b);
// The used and excluded satellites of the epoch's first 91 channel entries of the input whose
// channel records `e.pChanData` points to into the list (slot bits only when `full`) and sol.
void collect_Satellites(const PVTEngineEpochDataType& e, bool full, SatData::SatelliteListType& list,
                        NavTask::NAV_SOL& sol);
// Solution type, position, clock, drift, accuracy and extra blocks into sol.
void copy_Solution(const BoardEpochPart& b, bool singleClock, NavTask::NAV_SOL& sol);
// The solution's position and velocity parts as the position engine's servers keep them.
PosData::PositionDataType solutionPosition(const BoardSolAlnType& s);
PosData::VelocityDataType solutionVelocity(const BoardSolAlnType& s);
