// The L-band demodulator's parameter set: the sample clock, up to three beams from the service's
// ordered beam list, the PLL frequency placed among the beams that fit one sample band, and the
// zero frequencies of the L-band's four spectrum channels. Recomputed from each service-state
// record of the GNSS board (task MEAT); the L-band mode also sets the board's processor count.
#pragma once

#include <cstdint>

#include "differential/lband/spectrum_channels.h"
#include "platform/hook.h"

inline constexpr int kOmniPositions = 3;
inline constexpr int kOmniServiceEntries = 7;
// Spacing of the PLL from a beam, and the width a beam takes in the sample band, Hz.
inline constexpr int kOmniPllStepHz = 4500;

struct OmniCfgType {
  std::int32_t frequency[kOmniPositions];  // Hz; 0 no beam at that position
  std::int32_t rate[kOmniPositions];       // bit/s
  std::uint32_t serviceWord[kOmniPositions];
  std::uint16_t serviceId[kOmniPositions];
  std::uint16_t pad;
  std::int32_t decoderChannel;  // position the board's decoder uses
};
static_assert(sizeof(OmniCfgType) == 48);

extern OmniCfgType strOmniCfg;
extern int omniStarFs;
extern double omniStarOscFrq;
extern double omniStarSmplFrq;
extern double omniStarKCodeNco;
extern int omniStarFrqCur[kOmniPositions];
extern int omniStarDecChanCur;
extern int omniStarChanEn[kOmniPositions];
extern int omniStarPllFrq;
extern std::uint8_t omniStarFrqChanged;
// Constant data of the correction service, supplied with it; not known here, so zeros.
extern const std::uint32_t omniStarScramVec[kOmniServiceEntries];
extern const std::uint16_t omniStarServiceId[kOmniServiceEntries];

// What the L-band parameters ask of the GNSS-board link (filled from src/main).
struct LbandLinks {
  // The reference oscillator runs at 10 MHz.
  Hook<bool()> isOsc10Mhz{"differential", "lbandLinks.isOsc10Mhz"};
  // Processors of the GNSS board in use, and setting them.
  Hook<int()> getCpuNum{"differential", "lbandLinks.getCpuNum"};
  Hook<void(int n)> setCpuNum{"differential", "lbandLinks.setCpuNum"};
  // The spectrum analyser re-plans one channel from its zero frequency.
  Hook<void(int channel)> spReComputeParams{"differential", "lbandLinks.spReComputeParams"};
};
extern LbandLinks lbandLinks;

// Start-up: the sample clock (before the channel set-up, which places the spectrum channels).
void omniStarInitOnXce();
// Start-up, after the service's beams are set: the L-band spectrum channels off, nothing
// computed yet (the first record always recomputes).
void omniStarInitParams();
// From the service's ordered beams and strOmniCfg.decoderChannel (task MEAT).
void omniStarComputeParams();
// Zero frequencies of the L-band spectrum channels for n fitted positions, then re-planned.
void omniStarSpecInit(int n);
// Samples per bit of a beam's rate; 0 for a rate of 0 or less.
double omniStarGetSmpl(int rate);
// Tenth of the samples, at least 1.
int omniStarGetSkipSmpl(double samples);
// The L-band mode switched: the processor count follows. Always 0.
int lbandSetMode(bool on);
