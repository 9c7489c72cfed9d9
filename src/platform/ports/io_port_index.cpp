#include "platform/ports/io_port_index.h"

#include <cstring>

namespace {
const char* const kNames[IOP_NUM] = {
    "cur/file/a",  "cur/file/b",  "cur/file/c",  "cur/file/d",  "cur/file/e",  "dev/ser/a",
    "dev/ser/b",   "dev/ser/c",   "dev/ser/d",   "dev/shm/a",   "dev/shm/b",   "dev/shm/c",
    "dev/shm/d",   "dev/shm/e",   "dev/shm/f",   "dev/shm/g",   "dev/shm/h",   "dev/tcp/a",
    "dev/tcp/b",   "dev/tcp/c",   "dev/tcp/d",   "dev/tcp/e",   "dev/http/a",  "dev/tcpcl/a",
    "dev/tcpcl/b", "dev/udp/a",   "dev/udp/b",   "dev/udp/c",   "dev/udp/d",   "dev/udp/e",
    "dev/tcpo/a",  "dev/tcpo/b",  "dev/tcpo/c",  "dev/tcpo/d",  "dev/tcpo/e",  "dev/ntrip/a",
    "dev/ntrip/b", "dev/ntrip/c", "dev/ntrip/d", "dev/ntrip/e", "dev/usb/a",   "dev/can/a",
    "dev/can/b",   "dev/null",
};
}  // namespace

const char* iopGetName(int index) {
  if (index < 0 || index >= IOP_NUM) return kNames[IOP_NULL];
  return kNames[index];
}

int iopFind(const char* name) {
  if (!name) return IOP_NULL;
  if (*name == '/') ++name;
  for (int i = 0; i < IOP_NULL; ++i) {
    if (std::strcmp(kNames[i], name) == 0) return i;
  }
  return IOP_NULL;
}
