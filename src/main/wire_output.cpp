// Hooks of the output layer: before each stream's messages are written the RTCM 3 coder is
// armed for the stream.
#include "differential/coding_driver.h"
#include "main/hooks.h"
#include "output/output_manager.h"

void wireOutput() { omSetStreamFunc(prepareCoding); }
