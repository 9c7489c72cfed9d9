// The led/pos/rtk area of the parameter tree: how the position LED follows the solution in the
// RTK position modes, over two stored receiver settings.
//
//   led/pos/rtk/each  on (default): the LED takes the solution of every epoch; off: only of the
//                     epochs on the interval below
//   led/pos/rtk/int   0..60000 ms (0): that interval; 0 with `each` off leaves the LED as it is
#pragma once

class ZRNamedNode;
class Reply;

int posLedcSet(const char* path, const ZRNamedNode* value);
int posLedcPrint(const char* path, Reply& re);
bool registerPosLedArea();
// The two settings as the per-epoch driver asks them: the flag (`each`) and the interval (ms).
bool posLedRtkSettings(bool& flag, int& intervalMs);
