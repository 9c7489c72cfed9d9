// What the decoders of the classic subframe messages share (GPS and QZSS LNAV, BeiDou D1 and
// D2, NavIC L5, GLONASS FDMA): the pool of objects of one class, the per-satellite intake and
// its reset, the ghost rule and the ephemeris commit. Each system's decoder keeps its layout,
// its page dispatch and its record fill.
#pragma once

#include <cstdint>

#include "navigation_data/crc_engine.h"
#include "navigation_data/decoders/nav_decoder_family.h"
#include "navigation_data/store/sat_data_store.h"

// `D` is the decoder class, `Raw` the raw ephemeris fields its ghost rule compares.
template <class D, class Raw, int PoolSize>
class ClassicNavDecoder {
 public:
  // Every object of the class, in construction order.
  static inline D* pDecoderPointer[PoolSize] = {};
  static inline std::uint8_t uNumOfSource = 0;

  ClassicNavDecoder(const ClassicNavDecoder&) = delete;
  ClassicNavDecoder& operator=(const ClassicNavDecoder&) = delete;

  // The store it writes to; the data servers are reached through navDecoderLinks.
  void init_Object(SatelliteDataProcessor* store) {
    store_ = store;
    self().reset();
  }
  SvIdType get_SvId() const { return sv_; }
  std::uint32_t get_TimeTag() const { return time_.ulTimeTag; }

  // The decoder for a satellite: its own object, else the first free one, else the one updated
  // longest ago. Null only before the pool is built.
  static D* select(const NavDecoderTime* time, const SvIdType* sv) {
    return selectNavDecoder(pDecoderPointer, uNumOfSource, time, sv);
  }

 protected:
  static constexpr float kCn0Tracked = 10.0f;  // dB-Hz: above it the other satellite counts as tracked
  static constexpr float kCn0Strong = 40.0f;   // dB-Hz: strong enough to overrule an untracked twin

  // Joins the pool (the derived constructor calls it, then its reset); `poolIndex_` is the
  // object's position, -1 past the pool's size.
  ClassicNavDecoder() {
    if (uNumOfSource < PoolSize) {
      poolIndex_ = uNumOfSource;
      pDecoderPointer[uNumOfSource++] = static_cast<D*>(this);
    }
  }

  // A unit of `sv` of at least `minWords` words: false when it is to be dropped (no words,
  // another system, an index out of range). A new satellite resets the object first.
  bool intake(const NavDecoderTime& time, SvIdType sv, bool systemOk, const std::uint32_t* words, int numWords,
              int minWords, float cn0) {
    if (words == nullptr || numWords < minWords || !systemOk || sv.si >= SYS_SI_NUM[sv.sys]) return false;
    if (sv.si != sv_.si || sv.sys != sv_.sys) self().reset();
    sv_ = SvIdType{sv.si, sv.sys, 0, sv.si};
    time_ = time;
    cn0_ = cn0;
    cn0Above10_ = cn0 > kCn0Tracked;
    return true;
  }
  // What the intake and the commit keep, back to a new object's.
  void resetShared() {
    time_ = NavDecoderTime{};
    sv_ = EmptySvId;
    cn0_ = 0.0f;
    cn0Above10_ = false;
    ephStored_ = false;
    ephHealthy_ = false;
    lastRaw_ = Raw{};
    lastSignalMask_ = 0;
    lastCrc16_ = 0;
    lastIssue_ = 0xFFFF;
    crcRepeat_ = 0;
  }

  // Two satellites broadcasting the very same ephemeris: one of them is a channel locked to the
  // other's signal under a false identity, and the weaker one is restarted (the other's
  // ephemerides dropped with it). `same(raw)` is the system's test that another object's last
  // stored ephemeris is this one. False when this copy is the ghost and is not to be stored.
  template <class Same>
  bool ghostCheck(std::uint8_t signals, Same same) {
    for (int i = 0; i < uNumOfSource; ++i) {
      const ClassicNavDecoder& o = *pDecoderPointer[i];
      if (&o == this || o.sv_.si == kSvUnknown || (o.sv_.si == sv_.si && o.sv_.sys == sv_.sys)) continue;
      if (!o.ephStored_ || !same(o.lastRaw_)) continue;
      const bool dropOther = o.cn0Above10_ ? cn0_ >= o.cn0_ : cn0_ > kCn0Strong;
      if (o.cn0Above10_ && !dropOther) {
        navDecoderLinks.satResetRequest(sv_, signals, 0);
        return false;
      }
      if (dropOther) {
        navDecoderLinks.satResetRequest(o.sv_, o.lastSignalMask_, 0);
        navDecoderLinks.ephemerisReset(o.sv_);
      }
    }
    return true;
  }

  // Whether an ephemeris check value repeats the last one of the same issue: the store takes a
  // repeated one as confirmed.
  bool repeats(std::uint16_t crc16, std::uint16_t issue) {
    crcRepeat_ = (crc16 == lastCrc16_ && issue == lastIssue_) ? crcRepeat_ + 1 : 0;
    lastCrc16_ = crc16;
    lastIssue_ = issue;
    return crcRepeat_ > 0;
  }

  // Hands a checked ephemeris to the store: `rec` the store's record, its identity the CRC-32 of
  // the first `identityBits` of `raw`, which the ghost rule then compares the others against.
  void commitEphemeris(const Raw& raw, int identityBits, const void* rec, std::uint8_t signals, bool healthy,
                       bool confirmed) {
    const std::uint32_t identity = GbasCRC32.ComputeCRC(&raw, 0, identityBits);
    lastRaw_ = raw;
    lastSignalMask_ = signals;
    ephStored_ = true;
    ephHealthy_ = healthy;
    if (store_ != nullptr) store_->update_EphemerisData(sv_, 0, rec, identity, confirmed, false, false);
  }

  SatelliteDataProcessor* store_ = &SatDataProcessorInstance;
  int poolIndex_ = -1;
  NavDecoderTime time_;
  SvIdType sv_ = EmptySvId;
  float cn0_ = 0.0f;
  bool cn0Above10_ = false;
  bool ephStored_ = false;   // an ephemeris was stored: the pages after it are taken
  bool ephHealthy_ = false;  // and its health allows them
  Raw lastRaw_{};
  std::uint8_t lastSignalMask_ = 0;
  std::uint16_t lastCrc16_ = 0;
  std::uint16_t lastIssue_ = 0xFFFF;
  int crcRepeat_ = 0;

 private:
  D& self() { return static_cast<D&>(*this); }
};
