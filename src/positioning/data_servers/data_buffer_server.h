// Record pool shared by the per-satellite servers: fewer records than satellites, each record
// lent to the satellite that last wrote it, the longest-unwritten one lent again when none is
// free.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/rtos.h"

// Every pool record begins with this header.
struct DataBufferHeaderType {
  std::uint32_t ulTime;    // DataBufferServerType::ulMsTime when the record was last written
  std::uint16_t uOwner;    // slot of the owning satellite, kFreeOwner when free
  std::uint16_t uReserved;
};
static_assert(sizeof(DataBufferHeaderType) == 8);

class DataBufferServerType {
 public:
  static constexpr std::uint16_t kFreeOwner = 65535;

  DataBufferServerType() = default;
  ~DataBufferServerType();
  DataBufferServerType(const DataBufferServerType&) = delete;
  DataBufferServerType& operator=(const DataBufferServerType&) = delete;

  // Takes the two tables (added to ulFastDataTotalSize) and points the buffer list at
  // `storage`, which holds `records` records of `recordSize` bytes each, header first.
  void allocate(std::uint16_t records, std::uint16_t slots, std::uint32_t recordSize,
                Mutex& classMutex, void* storage, volatile std::uint32_t* spin = nullptr);

  // Clears the slot table and marks every record free (time 0). Takes the class mutex.
  void init();
  // Same, for a caller that holds the class mutex already.
  void init_Locked();

  // Copies `record` (recordSize bytes, header included) into the slot's pool record under the
  // class mutex; the pool writes the header itself. A null record detaches the slot from its
  // record, which keeps its owner so that the slot finds it again. Returns 1 when the record
  // was stored or the slot detached, 0 when the pool has no record to lend.
  int put(int slot, const void* record);
  // Copies the slot's record out under the class mutex; 1 when the slot has one, else 0 and
  // `record` is left untouched.
  int take(int slot, void* record);

  // For servers that write part of a record in place. The caller holds the class mutex.
  // Returns the slot's record, lending it one by the reuse rule and stamping owner and time;
  // null when the pool has none. `newOwner` tells whether the record came from another owner
  // (or was free), so that its former content does not belong to this slot.
  DataBufferHeaderType* acquire_Locked(int slot, bool& newOwner);
  // The slot's record or null; the caller holds the class mutex.
  DataBufferHeaderType* find_Locked(int slot) const;
  // Detaches the slot from its record; the caller holds the class mutex.
  void detach_Locked(int slot);

  // The record the reuse rule picks for `slot`, or null; the caller holds the class mutex.
  DataBufferHeaderType* get_DataBuffer(int slot) const;

  std::uint16_t records() const { return uRecords; }
  std::uint16_t slots() const { return uSlots; }
  std::uint32_t recordSize() const { return ulRecordSize; }
  Mutex& mutex() const { return *pMutex; }

  // Time base of the pools, advanced by every receiver-time record (milliseconds, may wrap).
  static std::atomic<std::uint32_t> ulMsTime;

 private:
  void checkSlot(int slot) const;

  Mutex* pMutex = nullptr;
  volatile std::uint32_t* pSpin = nullptr;
  DataBufferHeaderType** pSlotTable = nullptr;
  DataBufferHeaderType** pBufferList = nullptr;
  std::uint16_t uRecords = 0;
  std::uint16_t uSlots = 0;
  std::uint32_t ulRecordSize = 0;
};
