// Result codes of a command: 0 success, -1 answered already, 1..38 an error whose text comes
// from the error table and is shown in the "ER" reply.
#pragma once

enum CmdResult : int {
  CMD_ANSWERED = -1,
  CMD_OK = 0,
  CMD_WRONG_COMMAND = 1,
  CMD_WRONG_CHECKSUM = 2,
  CMD_WRONG_1ST = 3,  // unknown key or path
  CMD_1ST_MISSED = 4,
  CMD_OUT_OF_RANGE = 5,
  CMD_2ND_MISSED = 6,
  CMD_WRONG_2ND = 7,
  CMD_SYNTAX = 8,
  CMD_READ_ONLY = 12,
  CMD_REPLY_TOO_LONG = 14,
  CMD_FILE_NOT_FOUND = 15,
  CMD_FILE_ERROR = 16,
  CMD_NOT_AVAILABLE = 21,
  CMD_NO_DATA = 25,
  CMD_NOT_FOUND = 29,
  CMD_WRONG_ID = 30,  // a station id that a format cannot carry
  CMD_NOT_ALLOWED_NOW = 31,  // the receiver is stopping: a change now could not be stored
  CMD_STORAGE_FULL = 32,
  CMD_TOO_LONG = 34,
  CMD_WRONG_NAME = 35,
  CMD_LAST = 38,
};

// The error text of a code, with its leading comma (",wrong command"); "" for codes without one.
const char* cmdErrorText(int code);
