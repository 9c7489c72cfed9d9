// The link to the GNSS board over its port (kBoardPort, "dev/shm/a"): text handshakes, bringing
// the board to a known state at start-up, and forwarding every set command that concerns the board.
#pragma once

#include <cstdint>

#include "gnss_link/board_settings.h"
#include "platform/ports/in_port.h"

class ZRNamedNode;
class Reply;

// Texts of the link, sent exactly as written.
inline constexpr char kM2sConnect[] = "\n%CON%\n";
inline constexpr char kM2sConnectAck[] = "RE005%CON%\r\n";
inline constexpr char kM2sSync[] = "!%SYN%\n";
inline constexpr char kM2sSyncAck[] = "RE005%SYN%\r\n";
inline constexpr char kM2sCmdMode[] = "\n%CMD%\n";
inline constexpr char kM2sCmdModeAck[] = "RE005%CMD%\r\n";
inline constexpr char kM2sIssueQuery[] = "print,cmd/set/issue\n";
inline constexpr char kM2sEndOfStartUp[] = "%$EOSA$%\n";
// Handshake timeouts in 10 ms ticks.
inline constexpr int kM2sConnectTicks = 5000;
inline constexpr int kM2sSyncTicks = 1000;
inline constexpr int kM2sCmdModeTicks = 10;
inline constexpr int kM2sCmdModeTries = 10;
inline constexpr int kM2sIssueTicks = 100;
// Longest wait of one write for room on the link (a link that is down refuses at once).
inline constexpr int kM2sWriteTicks = 100;

// The fixed blocks of the start-up.
extern const char kM2sInitialBlock[];   // 300 characters: message enables, "RT" first, "ET" last
extern const char kM2sSourceBlock[];    // 121 characters: data sources and the terminal's mode
extern const char kM2sModeReturn[];     // 27 characters: back to command mode
extern const int kM2sInitialBlockLen;
extern const int kM2sSourceBlockLen;
extern const int kM2sModeReturnLen;

// Names of the navigation- and almanac-data source values 0..3; null above.
const char* m2sSourceName(std::uint32_t value);

namespace m2s {
// Reads from the board's port until exactly n bytes arrived or a read brought nothing within `timeout`
// ticks; buf (n + 1 bytes) is always zero-terminated. Returns the bytes read.
int readBytes(char* buf, int n, int timeout);
// Drains the input, sends `command` and compares exactly strlen(reply) bytes read back.
// A command the link did not take cannot be answered: false at once.
bool waitForAck(const char* command, const char* reply, int timeout);
// Paces the start messages: the board acknowledges each before the next.
bool sync();
}  // namespace m2s

// Writes to the board's port without reporting failure, waiting at most kM2sWriteTicks for room.
void m2sSend(const void* data, int len);
void m2sSend(const char* text);
// The same, telling whether the link took every byte.
bool m2sWrite(const void* data, int len);

// Start-up, in this order: connect (first of all), the settings check (after the receiver
// settings are read), the start-up commands (just before the tasks start).
bool m2sPortInit();
void m2sNvRead();
void m2sSendAllCmds();

// The reset of the board's settings (init,/par/): the record is emptied.
void m2sDefaults();
// Forwards "set,<path without /par/>,<value>" and records it.
CmdBuf::SendResult m2sSendSetCmd(const char* path, const char* value, int tag);
// The record as a reply.
void m2sPrintCmds(const char* name, Reply& re);

// Result of forming a list value.
struct M2sListForm {
  int elements = 0;       // N: elements of the outer list
  int empty = 0;          // E: empty elements, nested lists without content among them
  bool nestedContent = false;
};
// Writes the list as "{a,,{b}}" into buf (size bytes with its terminator); false on overflow.
bool formList(const ZRNamedNode* list, char* buf, int size, M2sListForm& form);

// Forwarding of one handled set command: `path` under /par/ (with or without the prefix) and
// its value; a path outside the areas the board shares is not the board's (0). Returns 0, 7
// (list too long), 34 (path and value too long) or 21 (the link did not take the command).
int cmdToSlaveSend(const char* path, const ZRNamedNode* value);
// What cmdToSlaveSend would refuse for the value's form, its length or the record's room,
// asked before the set changes anything: 0, 7, 21, 32 or 34. Nothing is sent.
int cmdToSlaveCheck(const char* path, const ZRNamedNode* value);

// The /par/ areas the GNSS board shares: set commands below them are forwarded.
bool m2sIsBoardShared(const char* path);
