#include "positioning/engine/last_position.h"

#include "platform/nv_block.h"

namespace {
constexpr std::uint16_t kLastPosBlockId = 2201;  // after the engine's setups and stations
NvBlock g_block;
}  // namespace

bool lastPositionNvAlloc() {
  if (g_block.isAllocated()) return true;
  return g_block.allocate(sizeof(NavTask::NAV_POS), kLastPosBlockId, true);
}

bool nv_writePosition(const NavTask::NAV_POS* pos) {
  return pos != nullptr && g_block.update(pos, sizeof *pos);
}

bool nv_readPosition(NavTask::NAV_POS* pos) { return pos != nullptr && g_block.read(pos, sizeof *pos); }
