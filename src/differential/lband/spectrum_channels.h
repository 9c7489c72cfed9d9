// The spectrum analyser's channel table: the frequency plan (GNSS-board link) fills the wideband
// channels and says where the L-band's four begin; the L-band parameters fill those four.
#pragma once

inline constexpr int kSpecChannels = 16;
// Per spectrum channel the band number and the zero frequency in MHz (0.0: channel off).
extern int specBand[kSpecChannels];
extern double spFrqZero[kSpecChannels];
// First of the L-band's four spectrum channels (three narrow, one wideband) and its first band.
extern int omniStarSpecChan;
extern int omniStarSpecBand;
