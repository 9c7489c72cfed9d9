#include "platform/misc_par.h"

std::atomic<float> miscPar[kMiscParCount];

