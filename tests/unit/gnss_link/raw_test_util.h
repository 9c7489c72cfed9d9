// The raw decoder's tests: a native reader with the decoder bound to it, the board's records
// written byte by byte (not with the product's record types), and a chain counter.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "gnss_link/raw_decoder.h"
#include "gnss_link/zrt_decoder.h"
#include "native_test_util.h"
#include "positioning/data_servers/pvt_data.h"

namespace rtest {

inline std::string le(std::uint64_t v, int bytes) {
  std::string s;
  for (int i = 0; i < bytes; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}
inline std::string lef(float f) {
  std::uint32_t w;
  std::memcpy(&w, &f, 4);
  return le(w, 4);
}

// One "@@" record: type, u16 length, data.
inline std::string rec(int type, const std::string& data) {
  return std::string(1, static_cast<char>(type)) + le(data.size(), 2) + data;
}
// The container: no checksum.
inline std::string s2m(const std::string& records) { return ntest::frame("@@", records, ntest::Ck::None); }

// Truth for 2024-06-01 12:00:00 UTC (GPS week 2316 = 268 + 2 x 1024, Saturday 12:00:18 GPS).
constexpr std::int32_t kGpsWeekMod = 268;
constexpr std::int32_t kGpsCycle = 2;
constexpr std::int32_t kGpsMsOfWeek = 561618000;
constexpr std::int32_t kEpochTime = 43218000;  // ms of the GPS day
constexpr std::int32_t kGloMsOfDay = 54000000;  // 15:00 Moscow time
constexpr std::int32_t kGloDay = 152;           // 1 June of the leap year 2024
constexpr std::int32_t kGloPeriod = 8;

// The 97-byte time-scale record.
inline std::string tsRecord(std::int32_t gpsMs = kGpsMsOfWeek, int ref = 0, std::int32_t flags = 0x570) {
  std::string r = le(0, 8) + le(3600, 4) + le(0, 4) + le(0, 4) + le(0, 4);
  const std::int32_t gps[9] = {0, gpsMs, kGpsWeekMod, kGpsCycle, 18, -100000, 0, 0, flags};
  const std::int32_t glo[9] = {0, kGloMsOfDay, kGloDay, kGloPeriod, 10800, -100000, 0, 0, flags};
  for (std::int32_t v : gps) r += le(static_cast<std::uint32_t>(v), 4);
  for (std::int32_t v : glo) r += le(static_cast<std::uint32_t>(v), 4);
  r += static_cast<char>(ref);
  return r;
}

// A navigation-word message body of the word form ("gd", "qd", "cd", "id").
inline std::string wordsMsg(const char* id, int sv, std::uint32_t time, int kind, const std::uint32_t* w, int n,
                            int closing = 0, int claimed = -1) {
  std::string b = std::string(1, static_cast<char>(sv)) + le(time, 4) + static_cast<char>(kind) +
                  static_cast<char>(claimed < 0 ? n : claimed);
  for (int i = 0; i < n; ++i) b += le(w[i], 4);
  b += static_cast<char>(closing);
  return ntest::frame(id, b);
}

struct Chain {
  static inline int runs = 0;
  static inline int measAtRun = -1;
  static void run() {
    ++runs;
    const BoardEpochPart& b = PVTDataInstance.epochData.GetPointer()->board;
    measAtRun = b.uMeasCount;
    satStateAtRun = b.chan[5].uSatState;
  }
  static inline int satStateAtRun = -1;
};

// The decoder on a reader of its own.
struct RawFeed {
  std::unique_ptr<ZrtDecoder> dec = std::make_unique<ZrtDecoder>();
  std::unique_ptr<ZrtRawDecoder> raw = std::make_unique<ZrtRawDecoder>();
  RawFeed() {
    raw->setHandlers(dec->filter());
    raw->setMeasReady(&Chain::run);
  }
  void put(const std::string& s) { dec->process(s.data(), static_cast<int>(s.size())); }
  void epoch(std::int32_t t, const std::string& body) { put(ntest::epochStart(t) + body + ntest::epochEnd(t)); }
};

}  // namespace rtest
