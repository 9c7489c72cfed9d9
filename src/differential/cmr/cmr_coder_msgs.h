// The CMR output messages: group "cmr", one message per coder kind, named "0" (GPS
// observations), "10" (GLONASS observations), "1" (station coordinates), "2" (description) and
// "9" (CMR+ station pages), registered in kind order.
#pragma once

// Registers the messages in the pool (start-up, once; again does nothing).
void cmrmRegisterMsgs();
