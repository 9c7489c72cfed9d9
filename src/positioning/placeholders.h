#pragma once
// Stand-ins for code of layers not built yet. Each block names what it stands for; each
// function answers "not available" (or the documented default) until the real code exists.

// ==== Signal tables for RTCM coding ==========================================================
// Stand in for the lock manager's BeiDou satellite tests (isBeiPhase3, isBeiDou37compat,
// isBeiDouMSMcompat, ignoreCompat; GNSS-board link layer, wired at start through
// signalTableLinks) and for the receiver settings' BeiDou MSM compatibility word in RcvSet.
namespace placeholder {
// No BeiDou-3 satellite known until the lock manager keeps the phase-3 mask.
bool isBeiPhase3(int n);
// No satellite is marked for a compatibility shift or skip.
bool isBeiDou37compat(int n);
bool isBeiDouMSMcompat(int n, int s);
bool ignoreCompat(int n, int s);
// RcvSet's BeiDou compatibility word: -1, not available (so no MSM cell is skipped).
int rcvSetBdsCompatWord();
}  // namespace placeholder
// ==== end of signal tables block =============================================================
