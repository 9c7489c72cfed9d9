// The epoch markers: "RT" (id "~~") opens an epoch on a stream and "ET" (id "::") closes
// it; both carry the epoch time in ms as a 32-bit little-endian word and an 8-bit checksum.
#pragma once

// Registers both in group "zrt", "RT" written before and "ET" after a stream's other messages.
void zrmEpochMsgsInit();
