#include "positioning/data_servers/data_malloc.h"

#include <cstdio>
#include <cstdlib>

#include "platform/exit.h"

std::uint32_t ulFastDataTotalSize = 0;
std::uint32_t ulSlowDataTotalSize = 0;

namespace {

void* takeStorage(std::size_t bytes, std::uint32_t& total) {
  // Zeroed, so that a record nobody wrote yet reads as empty.
  void* p = std::calloc(1, bytes == 0 ? 1 : bytes);
  if (p == nullptr) {
    // Only reached while the object graph is built, before any task runs: the program cannot
    // work without its stores.
    std::fprintf(stderr, "$$ positioning storage: out of memory (%zu bytes)\n", bytes);
    rxExit(kExitTaskFailure);
  }
  total += static_cast<std::uint32_t>(bytes);
  return p;
}

void giveBack(void* p, std::size_t bytes, std::uint32_t& total) {
  if (p == nullptr) return;
  std::free(p);
  total -= static_cast<std::uint32_t>(bytes);
}

}  // namespace

void FastDataFree(void* p, std::size_t bytes) { giveBack(p, bytes, ulFastDataTotalSize); }
void SlowDataFree(void* p, std::size_t bytes) { giveBack(p, bytes, ulSlowDataTotalSize); }

void* FastDataMalloc(std::size_t bytes) { return takeStorage(bytes, ulFastDataTotalSize); }
void* SlowDataMalloc(std::size_t bytes) { return takeStorage(bytes, ulSlowDataTotalSize); }
