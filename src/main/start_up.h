#pragma once

// Locks memory, prepares signals, starts the start-up task and waits for it; never returns
// under normal operation (the process ends through rxExit).
int rxMain();
