// Quality of the receiver clock solution, kept for the precision time service: whether the
// receiver time has ever been exact, the RMS and the extrapolation time of the last valid clock
// solution, and the UTC offset in the form that service wants (TAI minus UTC).
//
// Written only by the navigation step; read by other tasks without a lock (each value is one
// aligned word or byte).
#pragma once

extern unsigned char isExact_;
extern float rms_;
extern float extrapTime_;

void sysClockInitOnce();
// Stores the quality of a clock solution; nothing happens when `valid` is false. The first four
// arguments are not used.
void sysClockStoreOffs(int sys, long offsMs, double offs, double drift, float rms,
                       float extrapTime, bool valid);
bool sysClockIsExact();
float sysClockGetRms();
float sysClockGetExtrapTime();
// offset = GPS-UTC leap seconds + 19 (TAI-UTC) and true when UTC is known; else 19 and false.
// leapWarning receives the time scales' leap-second warning in both cases.
bool sysClockGetUtcOffs(int& offset, int& leapWarning);
