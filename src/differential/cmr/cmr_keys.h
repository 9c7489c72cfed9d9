// The CMR rover keys under /par/cmr/rover/:
//   glo/type   the CMR message type read as GLONASS observations, 0..7 (3)
//   idxset     CMR+ page count form: on, the third page byte counts the pages; off, it is the
//              highest page index (off)
// Each set goes to the CMR station table at once and into the stored CMR settings.
#pragma once

// Registers the area "cmr/rover"; false when the prefix is taken or the table full.
bool registerCmrRoverArea();

// The CMR coder keys under /par/cmr/base/: the description that type 2 and CMR+ send, name (short
// station name, 0..8 characters), cogo (COGO code, 0..16), lname (long name, 0..51), and motion
// (unknown, static, kinematic: the header's motion state; kinematic sends the receiver's own
// position as the station). Stored at once.
bool registerCmrBaseArea();
