#include "differential/reoutput_seam.h"

#include "differential/placeholders.h"

DecOutputSeam decOutputSeam{outPortsWrite, zrStdMsgWriteWrapped};

void decOutputSeamDefaults() { decOutputSeam = DecOutputSeam{outPortsWrite, zrStdMsgWriteWrapped}; }
