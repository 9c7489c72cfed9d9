// The command parser: the ports' command handlers hand it one line at a time through its
// single-slot mailbox and wait; the parser task runs the line under the print lock and answers
// on the sending port. An answer that finds no room in that port's transmit ring waits in the
// port's own queue and is written by the sender once the parser has let it go.
#pragma once

#include "command/reply.h"
#include "platform/rtos.h"

class InputParser {
 public:
  // One line in flight: {text, length, sending port, flags}.
  struct Item {
    const char* text;
    int len;
    int port;
    int flags;  // kTooLong: the line was dropped for its length; kDetached: see below
  };
  static constexpr int kTooLong = 1;
  // The sender does not write parked answers afterwards (a line handed over from a port's native
  // stream): an answer that finds no room in the port's transmit ring is dropped and counted.
  static constexpr int kDetached = 2;
  // Never destroyed: the parser task waits on it until the process ends.
  static MailBoxImp& mBox_;

  // Hands a line over and returns when the parser has finished with it and its answers have
  // left or been dropped (the command handler's line sink).
  static void put(const char* text, int len, int port, bool tooLong);
  // Registers the built-in parameter areas.
  static void initOnce();
};

// The print lock: held for a whole command line, and by anything that writes a reply later.
extern Mutex& printMutex;

// Body of the parser task: takes lines for ever.
void* parseProc(void*);

// Runs one command line from the current terminal; the caller holds the print lock. Returns
// the result code of the last part run.
int newParse(const char* line, int len);
// Port whose command is being run.
int curTermNum();
void setCurTerm(int port);

// Writes the answer of the part being run at once (RE, or ER with `code`), waits for it to
// leave, and makes the parser answer nothing more for that part. For commands that end the
// program before returning.
void cmdAnswerNow(int code);

struct ShutdownRequest;
// The shutdown's answer step: when a command asked for the shutdown its answer goes out now
// (cmdAnswerNow); a shutdown for another reason answers nothing.
void cmdAnswerShutdown(const ShutdownRequest& req);
