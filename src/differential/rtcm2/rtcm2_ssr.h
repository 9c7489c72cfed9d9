// The non-standard RTCM 2 state-space messages: orbit corrections (38 GLONASS, 50 GPS), precise
// clocks (39 GLONASS, 51 GPS), clock partials (52), code and phase biases (53, 54) and orbit
// refinements (55). The RTCM 2 decoder hands them to RTCM_Decoder::decodeStateSpace, which
// writes the per-satellite state-space records and the source record of the position engine.
// The rules that do not need a message are here, for the decoder and its tests.
#pragma once

#include <cstdint>

namespace Rtcm2Ssr {

constexpr int kOrbitGlonass = 38;
constexpr int kClockGlonass = 39;
constexpr int kOrbitGps = 50;
constexpr int kClockGps = 51;
constexpr int kClockPartial = 52;
constexpr int kCodeBias = 53;
constexpr int kPhaseBias = 54;
constexpr int kOrbitRefinement = 55;

constexpr std::uint8_t kNoSlot = 255;
constexpr std::uint16_t kNoStep = 65535;  // step marker unset

// Clock steps: a common step above this is taken as a jump of the source's clock; with the
// marker set, a satellite's own motion above kSatStep beyond the common one is absorbed.
constexpr double kCommonStep = 0.1;  // m
constexpr double kSatStep = 0.4;     // m

// The system index of the 3-bit system field of messages 52 to 54, or -1.
int systemOfField(int field);
// The correction-record slot of a 3-bit signal of a system index, or kNoSlot.
std::uint8_t codeBiasSlot(int sys, int signal);
std::uint8_t phaseBiasSlot(int sys, int signal);

// A time (ms of the system's cycle) put on the nearest 5 s boundary, a time more than 2,000 ms
// past one going to the next; the cycle's end wraps to 0. Negative (unknown) stays -1.
std::int64_t snapTo5s(std::int64_t ms, int sys);

// Z-count difference a - b folded into -3000..2999 (the Z-count counts 0.6 s within the hour).
int foldZCount(int a, int b);
// A clock partial of header Z-count zPartial, sent `since` Z-count units after its base of
// header Z-count zBase, is consistent when it is not earlier than base + since.
bool partialInTime(int zPartial, int since, int zBase);

// A precise-clock change d (m) brought into half the system's clock wrap `range`.
double foldClockDiff(double d, double range);

// What a satellite's accumulated clock takes up at a precise-clock message: `d` its change,
// `residual` its change beyond the smallest one of the message, `step` the message's common
// step, `marker` the record's step marker, `source` the message's source id.
double clockStepAddition(double d, double residual, double step, std::uint16_t marker, int source);

// The common step of the changes d[0..n): the mean of their residuals against the change of
// smallest magnitude, returned in `smallest`. 0 for n = 0.
double commonClockStep(const double* d, int n, double& smallest);

}  // namespace Rtcm2Ssr
