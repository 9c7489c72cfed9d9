// A clear of the whole settings image that waits for the next start: requested now, carried
// out by nvInitOnce before any settings are read, so that the receiver comes up on factory
// defaults even when the request came from a state that could not clear safely itself.
#pragma once

void nvPendedClear_NvAlloc();

// Marks the image for clearing at the next start (stored in the image; save to make it last).
bool nvPendedClearRequest();
// True while a clear is pending.
bool nvPendedClearIsPending();
// Carries out a pending clear (start-up only); true when the image was cleared.
bool nvPendedClearRun();
// Background bookkeeping, each cycle: once the cleared image of this start is on storage the
// clear is over; until then the old file still carries the request, so a crash repeats it.
void nvPendedClearOnRebootsReset();
