// The base-moving monitor's keys, pos/moving/:
//
//   alert    print: the monitor's alert (on/off); set off: clears the alert and the motion values
//   reset    print: the monitor's reset mode (0 clear, 1 start from the relative position, 2
//            integrating); set 0 or 1: the mode its next activation starts with
//
// Both sets act at the next epoch, in the monitor's own task, and the prints show the state the
// last epoch left. Nothing here is stored.
#pragma once

class ZRNamedNode;
class Reply;

int movingcSet(const char* path, const ZRNamedNode* value);
int movingcPrint(const char* path, Reply& re);
bool registerBaseMovingArea();
