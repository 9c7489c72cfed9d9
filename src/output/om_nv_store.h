// Keeps the message sets in a block of the settings image.
#pragma once

#include <cstdint>

constexpr std::uint16_t kOmSetsBlockId = 20307;

// Allocates the block (in start-up order, after the settings image is laid out) and makes it
// the set store; false when the image has no room.
bool omNvAlloc();
