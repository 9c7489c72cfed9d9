// Rings of raw navigation-message words, one per message family: the GNSS-board decoder (and
// the correction-stream decoders) append, and any number of readers follow, each with its own
// read position. The writer never waits for a reader; a reader that falls a whole ring behind
// resumes at the oldest entry still held and counts what it missed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "navigation_data/sv_id.h"
#include "platform/rtos.h"

namespace CorrData {

constexpr int kRawMessageWords = 28;   // the longest word-form message, an 883-bit CNAV-2 frame
constexpr int kRawMessageBytes = 255;  // every length the one-byte count can give

// Word-form entry (GPS, QZSS, BeiDou, NavIC), 128 bytes.
struct GpsRawMessageType {
  std::uint8_t uSv;  // PRN
  std::uint8_t uSpare[3];
  std::uint32_t ulTime;
  std::uint8_t uKind;
  std::uint8_t uCount;  // words used
  std::uint8_t uSpare2[2];
  std::uint32_t ulWords[kRawMessageWords];
  std::int8_t iValid;  // negative: not to be decoded
  std::uint8_t uSpare3[3];
};
static_assert(sizeof(GpsRawMessageType) == 128);
static_assert(offsetof(GpsRawMessageType, uKind) == 8);
static_assert(offsetof(GpsRawMessageType, ulWords) == 12);
static_assert(offsetof(GpsRawMessageType, iValid) == 124);

using CmpRawMessageType = GpsRawMessageType;
using IrnssRawMessageType = GpsRawMessageType;

// GLONASS strings: the second byte is the frequency number (-7..+6).
struct GloRawMessageType {
  std::uint8_t uSv;
  std::int8_t iFreq;
  std::uint8_t uSpare[2];
  std::uint32_t ulTime;
  std::uint8_t uKind;
  std::uint8_t uCount;
  std::uint8_t uSpare2[2];
  std::uint32_t ulWords[kRawMessageWords];
  std::int8_t iValid;
  std::uint8_t uSpare3[3];
};
static_assert(sizeof(GloRawMessageType) == 128);
static_assert(offsetof(GloRawMessageType, uKind) == 8);
static_assert(offsetof(GloRawMessageType, ulWords) == 12);

// Byte-form entry (Galileo, SBAS, GBAS, LEX).
struct GalRawMessageType {
  std::uint8_t uSv;  // PRN (SBAS: 183 and above is a QZSS satellite)
  std::uint8_t uSpare[3];
  std::uint32_t ulTime;
  std::uint8_t uKind;
  std::uint8_t uCount;  // bytes used
  std::uint8_t uData[kRawMessageBytes];
  std::int8_t iValid;
};
static_assert(offsetof(GalRawMessageType, uKind) == 8);
static_assert(offsetof(GalRawMessageType, uData) == 10);
static_assert(offsetof(GalRawMessageType, iValid) == 10 + kRawMessageBytes);

using WaasRawMessageType = GalRawMessageType;
using GbasRawMessageType = GalRawMessageType;
using LexRawMessageType = GalRawMessageType;

constexpr std::size_t capacityOf(const GpsRawMessageType&) { return kRawMessageWords; }
constexpr std::size_t capacityOf(const GloRawMessageType&) { return kRawMessageWords; }
constexpr std::size_t capacityOf(const GalRawMessageType&) { return kRawMessageBytes; }

}  // namespace CorrData

// One reader's position in one ring.
struct RawNavReader {
  std::uint64_t ullNext = 0;    // sequence number of the next entry to read
  std::uint32_t ulOverruns = 0; // entries overwritten before this reader got to them
};

template <class Entry, std::uint32_t N>
class RawNavRing {
 public:
  static constexpr std::uint32_t kEntries = N;

  RawNavRing() = default;
  RawNavRing(const RawNavRing&) = delete;
  RawNavRing& operator=(const RawNavRing&) = delete;

  // Appends a copy of the entry. An entry whose count exceeds its payload is refused (false)
  // and counted: no reader could decode it safely.
  bool append(const Entry& e) {
    if (e.uCount > CorrData::capacityOf(e)) {
      Locker<Mutex> l(mutex_);
      ++ulRefused_;
      return false;
    }
    Locker<Mutex> l(mutex_);
    data_[uWriteIndex_] = e;
    uWriteIndex_ = uWriteIndex_ + 1 == N ? 0 : uWriteIndex_ + 1;
    ++ullAppended_;
    return true;
  }

  // Copies the reader's next entry out; false when it has read everything. A reader the writer
  // has lapped jumps to the oldest entry still held and adds the lost entries to its overruns.
  bool read(RawNavReader& r, Entry& out) {
    Locker<Mutex> l(mutex_);
    const std::uint64_t behind = ullAppended_ - r.ullNext;
    if (behind == 0) return false;
    if (behind > N) {
      r.ulOverruns += static_cast<std::uint32_t>(behind - N);
      r.ullNext = ullAppended_ - N;
    }
    out = data_[r.ullNext % N];
    ++r.ullNext;
    return true;
  }

  // The next entry the navigation decoders take: entries with a negative validity byte are
  // taken out and skipped, and so are entries of another message kind when `onlyKind` >= 0.
  bool readUsable(RawNavReader& r, Entry& out, int onlyKind = -1) {
    while (read(r, out)) {
      if (out.iValid < 0) continue;
      if (onlyKind >= 0 && out.uKind != onlyKind) continue;
      return true;
    }
    return false;
  }

  std::uint32_t writeIndex() {
    Locker<Mutex> l(mutex_);
    return uWriteIndex_;
  }
  std::uint64_t appended() {
    Locker<Mutex> l(mutex_);
    return ullAppended_;
  }
  std::uint32_t refused() {
    Locker<Mutex> l(mutex_);
    return ulRefused_;
  }
  // Empty, nothing appended or refused, as at start; its readers must start again from 0.
  void clear() {
    Locker<Mutex> l(mutex_);
    for (Entry& e : data_) e = Entry{};
    uWriteIndex_ = 0;
    ullAppended_ = 0;
    ulRefused_ = 0;
  }

 private:
  Mutex mutex_;
  Entry data_[N] = {};
  std::uint32_t uWriteIndex_ = 0;
  std::uint64_t ullAppended_ = 0;
  std::uint32_t ulRefused_ = 0;
};

extern RawNavRing<CorrData::GpsRawMessageType, 79> GpsRawMessageData;
extern RawNavRing<CorrData::GloRawMessageType, 46> GloRawMessageData;
extern RawNavRing<CorrData::GalRawMessageType, 65> GalRawMessageData;
extern RawNavRing<CorrData::WaasRawMessageType, 22> WaasRawMessageData;
extern RawNavRing<CorrData::GbasRawMessageType, 5> GbasRawMessageData;
extern RawNavRing<CorrData::GpsRawMessageType, 29> QzssRawMessageData;
extern RawNavRing<CorrData::CmpRawMessageType, 155> CompRawMessageData;
extern RawNavRing<CorrData::LexRawMessageType, 15> LexRawMessageData;
extern RawNavRing<CorrData::IrnssRawMessageType, 15> IrnssRawMessageData;

// Writers: each appends one entry to its ring; false when the entry was refused.
bool updateGpsRawData(const CorrData::GpsRawMessageType& e);
bool updateGloRawData(const CorrData::GloRawMessageType& e);
bool updateGalRawData(const CorrData::GalRawMessageType& e);
bool updateWaasRawData(const CorrData::WaasRawMessageType& e);
bool updateGbasRawData(const CorrData::GbasRawMessageType& e);
bool updateQzssRawData(const CorrData::GpsRawMessageType& e);
bool updateCompRawData(const CorrData::CmpRawMessageType& e);
bool updateLexRawData(const CorrData::LexRawMessageType& e);
bool updateIrnssRawData(const CorrData::IrnssRawMessageType& e);

// SBAS entries of kind 0 (L1) go on to the SBAS decoders, of kind 1 (L5) to the DFMC decoders;
// entries of any other kind are skipped.
constexpr int kWaasDecodedKind = 0;
constexpr int kWaasDfmcKind = 1;
constexpr bool waasKindDecoded(int kind) { return kind == kWaasDecodedKind || kind == kWaasDfmcKind; }

