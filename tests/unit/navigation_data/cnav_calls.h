// What the navigation decoders hand to the store's CNAV correction and time-offset entries
// (which keep none of it), noted on the way through linker wrappers of this test executable
// (cmake/RxTests.cmake, cnav_calls.cpp); the program's code holds nothing for it.
#pragma once

#include <utility>
#include <vector>

#include "navigation_data/store/sat_data_store.h"

namespace cnavcalls {

struct Calls {
  std::vector<std::pair<SvIdType, NavData::GpsCnavDCDataType>> dc;      // target, record
  std::vector<std::pair<int, NavData::GpsCnavSysOffsetDataType>> offset;  // system, record
};
// The calls since the last take, which starts a new list.
Calls take();

}  // namespace cnavcalls
