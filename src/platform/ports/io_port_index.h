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

// The port's name without its leading "/" ("dev/ser/a"); "dev/null" for anything out of range.
const char* iopGetName(int index);

// Index of a port by name, with or without the leading "/"; IOP_NULL when no port has it.
int iopFind(const char* name);
