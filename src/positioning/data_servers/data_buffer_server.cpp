#include "positioning/data_servers/data_buffer_server.h"

#include <cstring>

#include "navigation_data/sv_id.h"
#include "platform/exit.h"
#include "positioning/data_servers/data_malloc.h"

std::atomic<std::uint32_t> DataBufferServerType::ulMsTime{0};

DataBufferServerType::~DataBufferServerType() {
  FastDataFree(pSlotTable, sizeof(void*) * uSlots);
  FastDataFree(pBufferList, sizeof(void*) * uRecords);
}

void DataBufferServerType::allocate(std::uint16_t records, std::uint16_t slots,
                                    std::uint32_t recordSize, Mutex& classMutex, void* storage,
                                    volatile std::uint32_t* spin) {
  pMutex = &classMutex;
  pSpin = spin;
  uRecords = records;
  uSlots = slots;
  ulRecordSize = recordSize;
  pSlotTable = static_cast<DataBufferHeaderType**>(FastDataMalloc(sizeof(void*) * slots));
  pBufferList = static_cast<DataBufferHeaderType**>(FastDataMalloc(sizeof(void*) * records));
  auto* base = static_cast<std::uint8_t*>(storage);
  for (std::uint16_t i = 0; i < records; ++i) {
    pBufferList[i] = reinterpret_cast<DataBufferHeaderType*>(base + std::size_t{i} * recordSize);
  }
  init();
}

void DataBufferServerType::init() {
  Locker<Mutex> l(*pMutex);
  init_Locked();
}

void DataBufferServerType::init_Locked() {
  for (std::uint16_t s = 0; s < uSlots; ++s) pSlotTable[s] = nullptr;
  for (std::uint16_t i = 0; i < uRecords; ++i) {
    pBufferList[i]->ulTime = 0;
    pBufferList[i]->uOwner = kFreeOwner;
    pBufferList[i]->uReserved = kFreeOwner;
  }
}

void DataBufferServerType::checkSlot(int slot) const {
  // The servers check identities and keys at their entrances; a slot out of range here means
  // the server computed it wrongly.
  if (slot < 0 || slot >= uSlots) rxExit(kExitBadSiIdentity);
}

DataBufferHeaderType* DataBufferServerType::get_DataBuffer(int slot) const {
  if (uRecords == 0) return nullptr;
  DataBufferHeaderType* freeRec = nullptr;
  DataBufferHeaderType* oldest = nullptr;
  std::uint32_t oldestAge = 0;
  const std::uint32_t now = ulMsTime.load(std::memory_order_relaxed);
  for (std::uint16_t i = 0; i < uRecords; ++i) {
    DataBufferHeaderType* r = pBufferList[i];
    if (r->uOwner == slot) return r;
    if (r->uOwner == kFreeOwner) freeRec = r;
    // Unsigned age: a record stamped before the time tag wrapped (ms of day or of week) looks
    // stamped in the future; modulo 2^32 it is then older than every record stamped after the
    // wrap, which is the truth.
    const std::uint32_t age = now - r->ulTime;
    if (oldest == nullptr || age >= oldestAge) {
      oldest = r;
      oldestAge = age;
    }
  }
  return freeRec != nullptr ? freeRec : oldest;
}

DataBufferHeaderType* DataBufferServerType::acquire_Locked(int slot, bool& newOwner) {
  checkSlot(slot);
  DataBufferHeaderType* r = get_DataBuffer(slot);
  newOwner = false;
  if (r == nullptr) return nullptr;
  if (r->uOwner != slot) {
    newOwner = true;
    if (r->uOwner != kFreeOwner && r->uOwner < uSlots) pSlotTable[r->uOwner] = nullptr;
    r->uOwner = static_cast<std::uint16_t>(slot);
  }
  r->ulTime = ulMsTime.load(std::memory_order_relaxed);
  pSlotTable[slot] = r;
  return r;
}

DataBufferHeaderType* DataBufferServerType::find_Locked(int slot) const {
  checkSlot(slot);
  return pSlotTable[slot];
}

void DataBufferServerType::detach_Locked(int slot) {
  checkSlot(slot);
  pSlotTable[slot] = nullptr;
}

int DataBufferServerType::put(int slot, const void* record) {
  Locker<Mutex> l(*pMutex);
  if (record == nullptr) {
    detach_Locked(slot);
    return 1;
  }
  bool newOwner = false;
  DataBufferHeaderType* r = acquire_Locked(slot, newOwner);
  if (r == nullptr) return 0;
  // The header stays the pool's; only the body comes from the caller.
  std::memcpy(reinterpret_cast<std::uint8_t*>(r) + sizeof(DataBufferHeaderType),
              static_cast<const std::uint8_t*>(record) + sizeof(DataBufferHeaderType),
              ulRecordSize - sizeof(DataBufferHeaderType));
  return 1;
}

int DataBufferServerType::take(int slot, void* record) {
  Locker<Mutex> l(*pMutex);
  const DataBufferHeaderType* r = find_Locked(slot);
  if (r == nullptr) return 0;
  std::memcpy(record, r, ulRecordSize);
  return 1;
}

