// The coders' per-epoch driver: which base data the RTCM 2, CMR and RTCM 3 coders need this
// epoch (the output masks of the base station), and the calls that make them code.
#pragma once

struct RTCM_SETTINGS;

// After the output manager marked the due messages: rebuilds the coders' message plans and
// iRtcmOutput, iCmrOutput, iRtcm3Output.
void diffInitCoding();
// After positioning: the RTCM 2 coder (while RTCM 2 coding is on), then the CMR coder.
void baseMakeCoding();
// Before a stream's messages are written: arms the RTCM 3 coder for the stream's port when the
// stream has RTCM 3 messages, then lets it code.
void prepareCoding(long t, int stream);
// The coders' live settings into the stored record before it is written, and back from it after
// it was read or changed.
void diffRtcmSettingsGather(RTCM_SETTINGS& s);
void diffRtcmSettingsApply(RTCM_SETTINGS& s);
