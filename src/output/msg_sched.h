// Schedule of one message on one output stream. Stored in the settings image as it stands.
#pragma once

#include <cstdint>

struct MsgSchedParams {
  std::int32_t period;  // ms between outputs; 0: every epoch the output manager is given
  std::int32_t phase;   // ms into each period at which the message falls due
  std::int32_t count;   // outputs still to make; 0: no limit
  std::int32_t flags;   // kSchedOnChange, ...
};
static_assert(sizeof(MsgSchedParams) == 16);

// Written only when its content moved since the last output on the stream.
constexpr std::int32_t kSchedOnChange = 2;

// Default schedules that messages are registered with (changeable through dsSetParams).
extern MsgSchedParams msgPeriod1;   // 1000 ms
extern MsgSchedParams msgPeriod10;  // 10000 ms
extern MsgSchedParams defChange;    // on change: period 0, flags 2

// The four words of a schedule (period in ms first), and their replacement.
const std::int32_t* dsGetParams(const MsgSchedParams& schedule);
void dsSetParams(MsgSchedParams& schedule, const std::int32_t* params);
