// The button/ area of the parameter tree, over the file button's stored settings:
//
//   button/action   led, dyn, tcpcl: what a short press of the file button does
//   button/fine     0..300: a green fine flash of the position LED for that many seconds; prints 0
//   button/period   0.1..100 s: the default output period (kept in ms, a multiple of 5); not printed
//   button/auto     off (n, no), on (y, yes), always: logging started at start-up
//   button/file     the log file name the button starts (up to 20 characters), empty for automatic
//   button/dyn      the log store's default dynamic mode
//   button/rot      on/off: a press toggles automatic log rotation instead of starting a file
#pragma once

class ZRNamedNode;
class Reply;

int btncSet(const char* path, const ZRNamedNode* value);
int btncPrint(const char* path, Reply& re);
bool registerButtonArea();
// The stored default output period applied to the schedule (start-up).
void buttonPeriodRestore();
