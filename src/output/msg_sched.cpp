#include "output/msg_sched.h"

#include <cstring>

MsgSchedParams msgPeriod1 = {1000, 0, 0, 0};
MsgSchedParams msgPeriod10 = {10000, 0, 0, 0};
MsgSchedParams defChange = {0, 0, 0, kSchedOnChange};

const std::int32_t* dsGetParams(const MsgSchedParams& schedule) { return &schedule.period; }

void dsSetParams(MsgSchedParams& schedule, const std::int32_t* params) {
  if (!params) return;
  schedule.period = params[0];
  schedule.phase = params[1];
  schedule.count = params[2];
  schedule.flags = params[3];
}
