// The GNSS-board settings record ".gnss.set" as the start-up check reads it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "fuzz_support.h"
#include "gnss_link/board_settings.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::enterRunDir("board_set");
  fuzz::noteDeliberateExits();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::CurrentInput current(data, size);
  std::FILE* f = std::fopen(CmdBuf::kFile, "wb");
  if (f == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
  // The record is read once per start into a fresh one.
  auto rec = std::make_unique<CmdBuf>();
  rec->load(CmdBuf::kFile);
  return 0;
}
