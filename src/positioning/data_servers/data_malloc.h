// Storage of the positioning layer, taken once while the object graph is built. The totals
// tell how much each kind of storage costs.
#pragma once

#include <cstddef>
#include <cstdint>

// Storage touched every epoch.
void* FastDataMalloc(std::size_t bytes);
// Large storage that is rarely touched.
void* SlowDataMalloc(std::size_t bytes);

// Give storage back (objects built and torn down outside the store, such as in tests).
void FastDataFree(void* p, std::size_t bytes);
void SlowDataFree(void* p, std::size_t bytes);

extern std::uint32_t ulFastDataTotalSize;
extern std::uint32_t ulSlowDataTotalSize;
