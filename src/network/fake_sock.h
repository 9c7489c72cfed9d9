// A wake-up descriptor for select loops: readable after fakeSockWakeup until fakeSockCleanup.
#pragma once

// Creates the descriptor; -1 on failure. The descriptor is close-on-exec and non-blocking.
int fakeSockCreate();
// Makes the descriptor readable.
void fakeSockWakeup(int fd);
// Drains it, so it is not readable any more.
void fakeSockCleanup(int fd);
