// The Epstein layer and the clipped exponential the ionosphere profiles are built from.
#pragma once

// e^x with the argument held to +-80, so that a profile far from its peak never overflows;
// the bounds are the values NeQuick G fixes for those arguments.
double get_NeQuickClipExp(double x);

// Epstein layer of peak amplitude X at peak height Y with thickness Z, at height W:
// X * e^((W-Y)/Z) / (1 + e^((W-Y)/Z))^2. Heights and thickness in one unit; the result in the unit
// of X. (Galileo ionospheric correction algorithm, issue 1.2, eq. 100.)
double get_Epstein(double X, double Y, double Z, double W);
