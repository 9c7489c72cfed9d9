// A pool server over a small record with a recognisable body, for the pool tests.
#pragma once

#include <cstdint>
#include <cstring>

#include "positioning/data_servers/server_shapes.h"

struct TestSatRecord {
  DataBufferHeaderType header;
  std::uint32_t ulSlotMark;      // the slot the writer meant the record for
  std::uint32_t ulSeq;           // the writer's sequence number
  std::uint8_t aBody[40];        // every byte = low byte of ulSlotMark + ulSeq
  void init() { std::memset(&ulSlotMark, 0, sizeof(*this) - sizeof(header)); }

  void fill(std::uint32_t slot, std::uint32_t seq) {
    ulSlotMark = slot;
    ulSeq = seq;
    std::memset(aBody, static_cast<int>((slot + seq) & 0xFF), sizeof aBody);
  }
  bool whole() const {
    for (auto b : aBody) {
      if (b != static_cast<std::uint8_t>((ulSlotMark + ulSeq) & 0xFF)) return false;
    }
    return true;
  }
};

template <std::uint16_t Records>
class TestPoolServer : public PoolDataServer<TestPoolServer<Records>, TestSatRecord, PoolKey::kSi> {
 public:
  TestPoolServer()
      : PoolDataServer<TestPoolServer<Records>, TestSatRecord, PoolKey::kSi>(Records, SYS_SI_TOTAL) {}
  static inline Mutex mutex;
};

inline SvIdType gpsSv(int prn) {
  SvIdType id;
  svIdFromSiNumber(kSysGps, prn, id);
  return id;
}
