// The PPS line as the kernel's PPS class sees it: the system time of the last pulse, read from
// /sys/class/pps/pps0/assert ("seconds.nanoseconds#sequence", stamped by the machine's clock).
#pragma once

#include <cstddef>

#include "platform/sys_time.h"

// Parses the assert attribute's text. False for an empty or malformed text and for sequence 0
// (the kernel's value before the first pulse).
bool ppsParseAssert(const char* text, std::size_t n, SysTime& pulse);

// The last pulse in the program's clock (the machine's stamp plus the host clock's offset);
// false when the file is absent, empty or unparsable.
bool ppsInputRead(SysTime& pulse);
