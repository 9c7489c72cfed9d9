// The steered clock as this test executable reads it: the linker sends every call of rtosTimeGet
// through a wrapper here (cmake/RxTests.cmake), which answers a test's time while one is set and
// the clock's own otherwise.
#pragma once

#include "platform/sys_time.h"

namespace fakeclock {

// The time every read answers from now on; null: the clock's own again.
void set(const SysTime* now);

}  // namespace fakeclock
