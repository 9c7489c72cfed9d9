// The GNSS-board settings record ".gnss.set": the file as the start-up check reads it, then the
// record changed and saved the way a save of the settings image saves it (written to the
// temporary file, committed over the record's file). What the save stored must read back as
// the record it saved.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <unistd.h>

#include "fuzz_support.h"
#include "gnss_link/board_settings.h"
#include "platform/file_nvm.h"

namespace {
// The record the program keeps: its settings block laid out once, as at start (no file yet).
std::unique_ptr<CmdBuf> g_rec;

// With RX_FUZZ_WRITE_SEEDS=DIR: records of one, three and many commands (lists among them) as the
// program stores them; then ends the process.
void writeSeedsIfAsked() {
  const char* dir = std::getenv("RX_FUZZ_WRITE_SEEDS");
  if (dir == nullptr || dir[0] == '\0') return;
  const struct {
    const char* line;
    int tag;
  } lines[] = {{"set,lock/state,1\n", 0},  {"set,lock/gps/sats,{ff,1}\n", 2}, {"set,calib/soft/fcn/1/-7,0.5\n", 0},
               {"set,lock/sw/l5,on\n", 0}, {"set,lock/budget,200\n", 0},      {"set,lock/gal/0/lock,0x1f\n", 0}};
  for (int n : {1, 3, 6}) {
    auto rec = std::make_unique<CmdBuf>();
    for (int i = 0; i < n; ++i) {
      const char* l = lines[i].line;
      const int len = static_cast<int>(std::strlen(l));
      const int pathLen = static_cast<int>(std::strchr(l + 4, ',') - (l + 4));
      if (!rec->put(l, len, pathLen, lines[i].tag)) std::exit(1);
    }
    char path[512];
    std::snprintf(path, sizeof path, "%s/seed-record-%d", dir, n);
    std::FILE* f = std::fopen(path, "wb");
    if (f == nullptr || !CmdBuf::store(f, &rec->at(0), rec->count(), 7u + static_cast<unsigned>(n))) std::exit(1);
    std::fclose(f);
  }
  std::exit(0);
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  writeSeedsIfAsked();
  fuzz::enterRunDir("board_set");
  fuzz::noteDeliberateExits();
  FileNvmLoad();
  std::remove(CmdBuf::kFile);
  g_rec = std::make_unique<CmdBuf>();
  g_rec->nvRead(0);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::CurrentInput current(data, size);
  std::FILE* f = std::fopen(CmdBuf::kFile, "wb");
  if (f == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
  // The record is read once per start into a fresh one.
  auto fresh = std::make_unique<CmdBuf>();
  fresh->load(CmdBuf::kFile);
  // The kept record takes the file, changes (a new issue) and is saved.
  g_rec->load(CmdBuf::kFile);
  g_rec->updateBegin();
  g_rec->updateEnd();
  if (!g_rec->snapshot()) return 0;
  // A record the file already holds is not written again.
  const bool wrote = ::access(CmdBuf::kTmpFile, F_OK) == 0;
  if (!g_rec->commit() || !wrote) return 0;
  auto back = std::make_unique<CmdBuf>();
  if (!back->load(CmdBuf::kFile) || back->count() != g_rec->count() || back->issue() != g_rec->issue()) std::abort();
  for (int i = 0; i < g_rec->count(); ++i)
    if (std::strcmp(back->at(i).text, g_rec->at(i).text) != 0 || back->at(i).tag != g_rec->at(i).tag) std::abort();
  return 0;
}
