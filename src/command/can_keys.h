// Keys of the CAN ports below dev/can/a and dev/can/b, beside their imode:
//
//   rate            bit rate in kbit/s: 50, 125, 250, 500 or 1000
//   sid/in/cnt      number of input identifiers, 1..8
//   sid/in/first    first input identifier; first + cnt - 1 stays within the 11-bit range
//   sid/out/cnt     number of output identifiers, 1..8
//   sid/out/first   first output identifier, the same bound
//
// A set is stored in the receiver settings record and makes the port anew (its peer
// reconnects). The values printed are the port's state in use.
#pragma once

class ZRNamedNode;
class Reply;

// A set of "can/<letter>/<key>" below dev/; CMD_WRONG_1ST for any other path (imode included).
int canKeysSet(const char* path, const ZRNamedNode* value);
// Print of the keys above of CAN port `can` (0 or 1); CMD_WRONG_1ST when none matched.
int canKeysPrint(int can, const char* path, Reply& re);
// "init,/par/": both ports back to their default state.
void canKeysDefaults();
