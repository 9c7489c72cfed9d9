// The verbs "em" and "dm" and the printed message set of a port ("print,/msg/PORT"), in the
// plain form the command engine's hooks take (src/main registers them).
//   em,[port],list     enables the messages of the list on the port
//   dm[,[port][,list]] disables them; without a list every message of the port
// An empty port is the current terminal; so is "/cur/term".
#pragma once

// Result codes, numbered as the command language numbers them.
enum OmVerbResult : int {
  kOmVerbOk = 0,
  kOmVerbWrong1st = 3,
  kOmVerb2ndMissed = 6,
  kOmVerbWrong2nd = 7,
  kOmVerbReplyTooLong = 14,
};

int omVerbEm(const char* body, int len, int term, char* text, int textSize);
int omVerbDm(const char* body, int len, int term, char* text, int textSize);
// "/msg" and "/msg/cur/term": the current terminal's set; "/msg/dev/ser/a": that port's.
int omPrintMsgTree(const char* path, int term, char* text, int textSize);
