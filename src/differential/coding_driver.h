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
// Whether the format of a message-pool group can carry the station id `id` (RTCM 2 10 bits, CMR
// 5, RTCM 3 every id its key takes); -1 (none) goes out as 0 and fits all.
bool diffStationIdFits(int group, int id);
// The output layer's check before messages of a group are enabled: with the coders' station id.
bool diffEnableCheck(int group);
// Whether a station id fits every format a stream sends now.
bool diffStationIdFitsStreams(int id);
// The coders' live settings into the stored record before it is written, and back from it after
// it was read or changed.
void diffRtcmSettingsGather(RTCM_SETTINGS& s);
void diffRtcmSettingsApply(RTCM_SETTINGS& s);
