// What every fuzz target shares: a run directory of its own (the program keeps its files in its
// working directory), the chunks a port hands over, and the program's own ways of ending.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "platform/exit.h"

namespace fuzz {

// A port reads at most this much at a time (the input port's buffer).
constexpr std::size_t kPortChunk = 1024;

// Moves into a fresh directory under $TMPDIR (else /tmp), so that whatever the program writes
// (settings image, board record, logs) stays out of the checkout and away from other runs.
inline void enterRunDir(const char* name) {
  char dir[512];
  const char* tmp = std::getenv("TMPDIR");
  std::snprintf(dir, sizeof dir, "%s/rx-fuzz-%s-XXXXXX", tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp", name);
  if (::mkdtemp(dir) == nullptr || ::chdir(dir) != 0) std::abort();
}

// The input being worked on, for the note below.
inline const std::uint8_t* g_input = nullptr;
inline std::size_t g_inputSize = 0;
struct CurrentInput {
  CurrentInput(const std::uint8_t* data, std::size_t size) { g_input = data, g_inputSize = size; }
  ~CurrentInput() { g_input = nullptr; }
};

// The program ends itself on purpose (a command that reboots, an inconsistency it refuses to go
// on with) through rxExit, which does not return. That is its answer to the input, not a fault:
// scripts/fuzz goes on fuzzing from the corpus instead of reporting a crash, and takes the input
// (written to the file RX_FUZZ_ENDED names) out of the corpus so that the next run gets past
// it. Memory and undefined-behaviour faults never get here: the sanitizers abort first.
inline void noteDeliberateExits() {
  rxExitHooks.add([] {
    std::fputs("fuzz: the program ended itself (deliberate exit): not a fault\n", stderr);
    const char* path = std::getenv("RX_FUZZ_ENDED");
    if (path != nullptr && g_input != nullptr) {
      if (std::FILE* f = std::fopen(path, "wb")) {
        std::fwrite(g_input, 1, g_inputSize, f);
        std::fclose(f);
      }
    }
    std::fflush(stderr);
  });
}

// Seeds a target builds itself (with the simulator's writers, say), named.
using NamedSeeds = std::vector<std::pair<std::string, std::string>>;

// With RX_FUZZ_WRITE_SEEDS=DIR (scripts/fuzz asks so before a run): writes each seed `make()`
// gives as DIR/seed-<name> and ends the process; otherwise does nothing.
template <class Make>
void writeSeedsIfAsked(Make&& make) {
  const char* dir = std::getenv("RX_FUZZ_WRITE_SEEDS");
  if (dir == nullptr || dir[0] == '\0') return;
  for (const auto& [name, bytes] : make()) {
    const std::string path = std::string(dir) + "/seed-" + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) std::exit(1);
    std::fclose(f);
  }
  std::exit(0);
}

// Hands `data` to `sink` in pieces of at most `chunk` bytes, as a port delivers them.
template <class Sink>
void inChunks(const std::uint8_t* data, std::size_t size, std::size_t chunk, Sink&& sink) {
  for (std::size_t i = 0; i < size; i += chunk) sink(data + i, size - i < chunk ? size - i : chunk);
}

}  // namespace fuzz
