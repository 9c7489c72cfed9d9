// Supervision of the time daemon: when chronyd runs, GNSS time is handed to it as reference
// samples over its sample socket instead of steering the clock from here.
#pragma once

// Checks every 5 s whether the daemon and its sample socket are there.
void chronyMonitor();
// True while samples go to the daemon.
bool chronyActive();
// Hands one sample to the daemon: the system time of the epoch and the offset of the system
// clock against GNSS time (seconds, positive when the system clock is ahead); false when not
// sent.
bool chronySendSample(long long sysSec, long sysUsec, double offsetSec);
