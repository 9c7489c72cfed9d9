// The /par/edisk/ area of the parameter tree: the USB copy's state and progress, print only.
//
//   edisk/state    the copy state: 0 no drive, 2 copying, after the copy the finished marker's
//                  value (-8..3; 3 finished, a negative value an error)
//   edisk/err      the error code: the negated state when it is negative, else 0
//   edisk/pct      the copy tool's last percentage
//   edisk/kbytes   the kilobytes copied (bytes / 1024)
//
// A set of any of them is refused as read-only. The area is a state, not a setting: the print of
// the whole tree leaves it out.
#pragma once

class ZRNamedNode;
class Reply;

int ediskcSet(const char* path, const ZRNamedNode* value);
int ediskcPrint(const char* path, Reply& re);
bool registerEdiskArea();
