// The GNSS board as keys: `board/load` prints the board's last report of its tasks and a set of
// 0 resets the board's profiler; `board/cmds` prints the record of the settings forwarded to the
// board, as it is replayed to a board that lost them.
#pragma once

class ZRNamedNode;
class Reply;

int boardcSet(const char* path, const ZRNamedNode* value);
int boardcPrint(const char* path, Reply& re);
// Registers the area "board" (left out of a print of the whole tree: the table is a reading, and
// long).
bool registerBoardArea();
