// The message verbs over the output manager's message sets of the ports:
//   em,[port],list      enables the messages of the list on the port
//   dm[,[port][,list]]  disables them; without a list every message of the port
//   print,/msg[/port]   the port's set, "{group={name=period,...},...}"
// An empty port, or "cur/term", is the port the command came from. The list runs to the end of
// the part, commas in braces included, and is the output manager's to read (output_manager.h).
#pragma once

class Reply;
class ZRList;

// Runs the part when its verb is "em" or "dm" (body: verb and arguments); `cmd` is scratch for
// reading the verb and the port. False, and nothing done, for any other verb.
bool cmdRunMsgVerb(const char* body, int len, ZRList& cmd, int& rc);
// Prints the set a print target below "/msg" names; false when the target is not below it.
bool cmdPrintMsgs(const char* path, Reply& re, int& rc);
