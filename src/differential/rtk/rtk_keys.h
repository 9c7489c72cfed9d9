// The RTK and carrier-phase-differential settings under /par/pos/pd/ (the position area hands
// over every path below "pd/"), and the registration of the RTK parameter areas.
//
// A key changes up to three places at once: the stored receiver settings RcvSet.rtk (saved by
// the command after a successful set), the live RTK engine settings cpdParams, and for a few
// keys the CMR decoder settings, the navigation settings or the correction-processor setup of
// the position engine. hd/ and hist/ are served by their own handlers (rtk_hd_hist_keys.h).
#pragma once

class Reply;
class ZRNamedNode;

// Path below /par/pos/pd/; 0 or a command result code (3 unknown key or bad index, 5 out of
// range, 6 value missing, 7 wrong value).
int rtkcSet(const char* path, const ZRNamedNode* value);
// One key, or every key of a branch in table order; 3 when the path matches nothing.
int rtkcPrint(const char* path, Reply& re);

// Registers "pos/pd" and the set-only legacy branch "rtk"; false when either prefix is taken.
bool registerRtkAreas();

// The globals mirroring stored keys, taken from the stored receiver settings (at start and after
// the factory defaults); the engine's own record is loaded with cpdParamsLoad.
void rtkKeysSettingsLoaded();

// Keep the reference position when the base changes (ref/keep).
extern bool bKeepRefPos;
