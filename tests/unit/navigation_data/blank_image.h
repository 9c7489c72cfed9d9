// The store keeps ephemerides, almanacs and UTC in the settings image once their blocks are laid
// out there. A test that makes a store of its own starts from a blank image with none laid out, so
// that no record a test before it kept comes back.
#pragma once

#include "platform/nv_block.h"
#include "platform/ram_nvm.h"

namespace navtest {

inline void blankImage() {
  NvBlock::resetLayout();
  RamNvm::blank();
}

}  // namespace navtest
