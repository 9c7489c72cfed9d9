// The shapes every data server of the store takes. A server class derives from its shape with
// itself as first argument and declares `static Mutex mutex;`: one lock per server class,
// shared by all its instances and held for the copy only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>

#include "navigation_data/sv_id.h"
#include "platform/nv_block.h"
#include "platform/ram_nvm.h"
#include "platform/rtos.h"
#include "positioning/data_servers/data_buffer_server.h"
#include "positioning/data_servers/data_malloc.h"

// A record with a has-data byte: Put sets it, Take copies the record while it is set. The base of
// the flagged and the setup shapes.
template <class Self, class Record>
class FlaggedRecordBase {
 public:
  using RecordType = Record;

  int Put(const Record* r) {
    if (r == nullptr) return 0;
    Locker<Mutex> l(Self::mutex);
    data_ = *r;
    bHasData_ = 1;
    return 1;
  }
  int Take(Record* r) {
    if (r == nullptr) return 0;
    Locker<Mutex> l(Self::mutex);
    if (bHasData_) *r = data_;
    return bHasData_;
  }

 protected:
  std::uint8_t bHasData_ = 0;
  Record data_{};
};

// Flagged single record: Get reads once, Take reads many times; both return the flag as it
// was and copy nothing when it was clear.
template <class Self, class Record>
class FlaggedDataServer : public FlaggedRecordBase<Self, Record> {
 public:
  int Get(Record* r) {
    if (r == nullptr) return 0;
    Locker<Mutex> l(Self::mutex);
    const int had = this->bHasData_;
    if (had) {
      *r = this->data_;
      this->bHasData_ = 0;
    }
    return had;
  }
};

// Plain record, copied in and out without a flag.
template <class Self, class Record>
class PlainDataServer {
 public:
  using RecordType = Record;

  int Put(const Record* r) {
    if (r == nullptr) return 0;
    Locker<Mutex> l(Self::mutex);
    data_ = *r;
    return 1;
  }
  int Take(Record* r) {
    if (r == nullptr) return 0;
    Locker<Mutex> l(Self::mutex);
    *r = data_;
    return 1;
  }

 protected:
  Record data_{};
};

// Array of records indexed by an integer key (a source, block or satellite number). Keys come
// from decoded messages and are checked: an out-of-range key is refused with 0.
template <class Self, class Record, int N>
class KeyedDataServer {
 public:
  using RecordType = Record;
  static constexpr int kEntries = N;

  int Put(int key, const Record* r) {
    if (r == nullptr || key < 0 || key >= N) return 0;
    Locker<Mutex> l(Self::mutex);
    pData_[key] = *r;
    return 1;
  }
  int Take(int key, Record* r) {
    if (r == nullptr || key < 0 || key >= N) return 0;
    Locker<Mutex> l(Self::mutex);
    *r = pData_[key];
    return 1;
  }

 protected:
  // `storage` holds N records; null takes them from the fast heap.
  explicit KeyedDataServer(Record* storage = nullptr) {
    if (storage == nullptr) {
      storage = static_cast<Record*>(FastDataMalloc(sizeof(Record) * N));
      bOwnStorage_ = true;
    }
    for (int i = 0; i < N; ++i) new (&storage[i]) Record{};
    pData_ = storage;
  }
  ~KeyedDataServer() {
    if (bOwnStorage_) FastDataFree(pData_, sizeof(Record) * N);
  }
  KeyedDataServer(const KeyedDataServer&) = delete;
  KeyedDataServer& operator=(const KeyedDataServer&) = delete;

  Record* pData_ = nullptr;
  bool bOwnStorage_ = false;
};

// Setup record: a has-data byte and the record, mirrored byte for byte in a settings-image block
// of its own. GetPointer/FreePointer give the settings commands in-place access without the
// lock (they run one at a time under the print lock); Put stores the record in the block at
// once. The record's factory defaults come from PosSetup::setDefaults.
template <class Self, class Record>
class SetupDataServer : public FlaggedRecordBase<Self, Record> {
 public:
  // The record in place; null while the server holds none (before the start-up restores it).
  Record* GetPointer() { return this->bHasData_ ? &this->data_ : nullptr; }
  void FreePointer(const Record* p) {
    if (p != nullptr) this->bHasData_ = 1;
  }

  // A record put back from GetPointer is not copied onto itself, but it is stored all the same.
  int Put(const Record* r) {
    if (r == nullptr) return 0;
    RamNvmLock image;
    Locker<Mutex> l(Self::mutex);
    if (r != &this->data_) this->data_ = *r;
    this->bHasData_ = 1;
    nv_.update(&this->data_, sizeof(Record));
    return 1;
  }

  bool allocate_NvRam(std::uint16_t id) { return nv_.allocate(sizeof(Record), id, true, false); }
  // The stored record; the defaults, stored at once, when the block is invalid or unreadable.
  void read_NvRam() {
    Record r;
    if (nv_.isValid() && nv_.read(&r, sizeof r)) {
      Locker<Mutex> l(Self::mutex);
      this->data_ = r;
      this->bHasData_ = 1;
      return;
    }
    nv_.sayDefaultsRestored("engine setup");
    Init();
  }
  // The factory defaults, stored.
  void Init() {
    Record r;
    setDefaults(r);
    Put(&r);
  }

  const NvBlock& nvBlock() const { return nv_; }

 private:
  NvBlock nv_;
};

// How a per-satellite pool turns its key into a slot.
enum class PoolKey {
  kSi,       // signal numbering, SYS_SI_BASE_NUM + index
  kSat,      // satellite numbering, SYS_SAT_BASE_NUM + index
  kSatByte,  // byte 3 of the identity taken directly as the slot
  kIndex,    // an integer key (a block number)
};

// Per-satellite pool. Identities and keys arrive with decoded data and are checked here: one
// out of range is refused with 0 and nothing is stored or copied.
template <class Self, class Record, PoolKey Key>
class PoolDataServer {
  static_assert(std::is_trivially_copyable_v<Record> && std::is_standard_layout_v<Record>);
  static_assert(offsetof(Record, header) == 0, "pool records begin with the pool header");

 public:
  using RecordType = Record;

  // Stores the record for the satellite; a null record detaches the satellite from its record.
  // 0 when the identity is refused or the pool had no record to lend.
  int Put(const SvIdType* sv, const Record* r) {
    int slot = 0;
    if (!slotOf(sv, slot)) return 0;
    return pool_.put(slot, r);
  }
  int Take(const SvIdType* sv, Record* r) {
    int slot = 0;
    if (r == nullptr || !slotOf(sv, slot)) return 0;
    return pool_.take(slot, r);
  }
  int Put(int key, const Record* r) {
    if (key < 0 || key >= pool_.slots()) return 0;
    return pool_.put(key, r);
  }
  int Take(int key, Record* r) {
    if (r == nullptr || key < 0 || key >= pool_.slots()) return 0;
    return pool_.take(key, r);
  }

  void Init() {
    Locker<Mutex> l(Self::mutex);
    for (int i = 0; i < pool_.records(); ++i) pRecords_[i].init();
    pool_.init_Locked();
  }

  DataBufferServerType& buffer() { return pool_; }

 protected:
  // `storage` holds `records` records; null takes them from the fast heap.
  PoolDataServer(std::uint16_t records, std::uint16_t slots, Record* storage = nullptr) {
    if (storage == nullptr) {
      storage = static_cast<Record*>(FastDataMalloc(sizeof(Record) * records));
      bOwnStorage_ = true;
    }
    pRecords_ = storage;
    pool_.allocate(records, slots, sizeof(Record), Self::mutex, storage);
    Init();
  }
  ~PoolDataServer() {
    if (bOwnStorage_) FastDataFree(pRecords_, sizeof(Record) * pool_.records());
  }
  PoolDataServer(const PoolDataServer&) = delete;
  PoolDataServer& operator=(const PoolDataServer&) = delete;

  bool slotOf(const SvIdType* sv, int& slot) const {
    if (sv == nullptr) return false;
    switch (Key) {
      case PoolKey::kSi:
        return sv->find_SiSlot(slot);
      case PoolKey::kSat:
        return sv->find_SatSlot(slot);
      case PoolKey::kSatByte:
        if (sv->sat >= pool_.slots()) return false;
        slot = sv->sat;
        return true;
      case PoolKey::kIndex:
        break;
    }
    return false;
  }

  DataBufferServerType pool_;
  Record* pRecords_ = nullptr;
  bool bOwnStorage_ = false;
};

// Hands out one slice of a static table per instance of a multi-instance class (one instance
// per correction source); instances beyond the table get heap storage.
template <class Self>
struct SourceIndexCounter {
  static inline int uSourceIndex = 0;
  static int next() { return uSourceIndex++; }
};
