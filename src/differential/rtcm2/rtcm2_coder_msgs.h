// The RTCM 2 output messages: group "rtcm", one message per coder kind, named by its type number
// ("null34" for the type-34 null frame). Every RTCM 2 message of a stream continues that stream's
// sequence number and parity chain.
#pragma once

#include <cstdint>

// Registers the messages in the pool (start-up, once; again does nothing).
void rtcmmRegisterMsgs();

// The sequence number and parity state (D29*, D30*) a stream's next RTCM 2 message starts from.
struct RtcmStreamState {
  int sequence = 0;
  std::uint32_t parity = 0;
};
