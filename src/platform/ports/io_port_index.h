// Port indexes: every port of the receiver has one fixed index and name. Output stream numbers
// 0..42 equal the port indexes; 43 stands for "no port".
#pragma once

enum IOPortIndex : int {
  IOP_FILE_A = 0,  // cur/file/a..e: log files, output only
  IOP_SER_A = 5,   // dev/ser/a..d
  IOP_SER_B = 6,
  IOP_SER_C = 7,
  IOP_SER_D = 8,
  IOP_SHM_A = 9,  // dev/shm/a..h: links to the GNSS board
  IOP_TCP_A = 17,
  IOP_HTTP_A = 22,
  IOP_TCPCL_A = 23,
  IOP_UDP_A = 25,
  IOP_TCPO_A = 30,
  IOP_NTRIP_A = 35,
  IOP_USB_A = 40,
  IOP_CAN_A = 41,
  IOP_CAN_B = 42,
  IOP_NULL = 43,
  IOP_NUM = 44,
};

// Number of ports that really exist (the output stream count).
constexpr int kIoPortCount = IOP_NULL;

// The links to the GNSS board, dev/shm/a..h. They carry the board's native stream, never a
// user's stream of its own. The first is the board's port: handshakes, set commands and the
// stream the per-epoch chain reads.
constexpr int kBoardLinkCount = 8;
constexpr int kBoardPort = IOP_SHM_A;
static_assert(IOP_SHM_A + kBoardLinkCount == IOP_TCP_A);
constexpr bool iopIsBoardLink(int port) { return port >= IOP_SHM_A && port < IOP_SHM_A + kBoardLinkCount; }

// The port's name without its leading "/" ("dev/ser/a"); "dev/null" for anything out of range.
const char* iopGetName(int index);

// Index of a port by name, with or without the leading "/"; IOP_NULL when no port has it.
int iopFind(const char* name);
