// Debug selectors: plain integers set by debug commands, read where a diagnostic print may be
// chosen. Not stored: they start at 0 on every start.
#pragma once

extern int dbi;
extern int temp_dbi;
extern int rtk_cpd_dbi;
// RTCM 2 client diagnostics: 3 antenna texts, 59 network messages, above 0 refused coordinates.
extern int rtcm_dbi;
