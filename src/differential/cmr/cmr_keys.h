// The CMR rover keys under /par/cmr/rover/:
//   glo/type   the CMR message type read as GLONASS observations, 0..7 (3)
//   idxset     CMR+ page count form: on, the third page byte counts the pages; off, it is the
//              highest page index (off)
// Each set goes to the CMR station table at once and into the stored CMR settings.
#pragma once

// Registers the area "cmr/rover"; false when the prefix is taken or the table full.
bool registerCmrRoverArea();
