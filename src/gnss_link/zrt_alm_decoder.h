// Navigation records from native messages on any native-mode port: ephemerides, almanacs, UTC
// and ionosphere parameters of every system and a reference position, sent by another receiver,
// a file or a network stream. Each body is read field by field into the system's native record
// and handed to the satellite data store as an external record, as the broadcast decoders do.
//
// A body shorter than the record it must carry is dropped whole (counted), never read past.
#pragma once

#include <cstdint>
#include <cstring>

#include "gnss_link/native_msg_filter.h"

// Cursor over the data bytes of one message body (its checksum byte excluded). A read beyond the
// end yields zero and marks the cursor short; a short cursor's record is never used.
class ZRFMDataExtractor {
 public:
  explicit ZRFMDataExtractor(const ZRFMessage& m)
      : p_(reinterpret_cast<const std::uint8_t*>(m.body())), n_(m.len > 1 ? m.len - 1 : 0) {}
  ZRFMDataExtractor(const std::uint8_t* p, int n) : p_(p), n_(n > 0 ? n : 0) {}

  template <class T>
  T get() {
    T v{};
    raw(&v, static_cast<int>(sizeof v));
    return v;
  }
  // Reads a field of wire type W into a member of type T at `dst`.
  template <class W, class T>
  void to(T& dst) {
    dst = static_cast<T>(get<W>());
  }
  void raw(void* dst, int n) {
    if (short_ || n > n_ - pos_) {
      short_ = true;
      pos_ = n_;
      std::memset(dst, 0, static_cast<std::size_t>(n));
      return;
    }
    std::memcpy(dst, p_ + pos_, static_cast<std::size_t>(n));
    pos_ += n;
  }
  bool ok() const { return !short_; }
  int pos() const { return pos_; }
  int size() const { return n_; }

 private:
  const std::uint8_t* p_;
  int n_;
  int pos_ = 0;
  bool short_ = false;
};

class ZrtAlmDecoder : public ZrtMsgClient {
 public:
  // Body lengths of "GE" and "QE" (checksum included): the basic record; longer bodies carry the
  // extension.
  static constexpr int kGeBasicLen = 123;

  struct Counters {
    std::uint32_t taken;    // records handed on (whatever the store then decided)
    std::uint32_t dropped;  // bodies shorter than their record
    std::uint32_t refused;  // satellite numbers outside the system's table
  };

  void reset() override {}
  void endOfEpoch(long) override {}

  // Binds this decoder's messages in the filter.
  void setHandlers(ZrtMsgFilter& filter);

  const Counters& counters() const { return cnt_; }
  void clearCounters() { cnt_ = Counters{}; }

  static bool h_IP(ZrtMsgClient* c, const ZRFMessage& m);
  static bool h_GE(ZrtMsgClient* c, const ZRFMessage& m);
  static bool h_GA(ZrtMsgClient* c, const ZRFMessage& m);
  static bool h_UO(ZrtMsgClient* c, const ZRFMessage& m);
  static bool h_IO(ZrtMsgClient* c, const ZRFMessage& m);
  static bool h_NE(ZrtMsgClient* c, const ZRFMessage& m);
  static bool h_NA(ZrtMsgClient* c, const ZRFMessage& m);
  static bool h_NU(ZrtMsgClient* c, const ZRFMessage& m);
  static bool h_EN(ZrtMsgClient* c, const ZRFMessage& m);
  static bool h_EA(ZrtMsgClient* c, const ZRFMessage& m);
  static bool h_EU(ZrtMsgClient* c, const ZRFMessage& m);
  static bool h_WE(ZrtMsgClient* c, const ZRFMessage& m);
  static bool h_WA(ZrtMsgClient* c, const ZRFMessage& m);
  static bool h_WU(ZrtMsgClient* c, const ZRFMessage& m);
  static bool h_QE(ZrtMsgClient* c, const ZRFMessage& m);
  static bool h_QA(ZrtMsgClient* c, const ZRFMessage& m);
  static bool h_QU(ZrtMsgClient* c, const ZRFMessage& m);
  static bool h_QI(ZrtMsgClient* c, const ZRFMessage& m);
  static bool h_CN(ZrtMsgClient* c, const ZRFMessage& m);
  static bool h_CA(ZrtMsgClient* c, const ZRFMessage& m);
  static bool h_CU(ZrtMsgClient* c, const ZRFMessage& m);
  static bool h_CI(ZrtMsgClient* c, const ZRFMessage& m);
  static bool h_IE(ZrtMsgClient* c, const ZRFMessage& m);
  static bool h_IA(ZrtMsgClient* c, const ZRFMessage& m);
  static bool h_IU(ZrtMsgClient* c, const ZRFMessage& m);
  static bool h_II(ZrtMsgClient* c, const ZRFMessage& m);
  static bool h_gC(ZrtMsgClient* c, const ZRFMessage& m);
  static bool h_g1(ZrtMsgClient* c, const ZRFMessage& m);
  static bool h_g2(ZrtMsgClient* c, const ZRFMessage& m);
  static bool h_g3(ZrtMsgClient* c, const ZRFMessage& m);

  // The shared readers: GPS-layout ephemeris (also the first 132 bytes of the Galileo, BeiDou
  // and NavIC records), the same with the extension, GPS-layout almanac, UTC and Klobuchar
  // parameters. Each writes into a zeroed record of its layout.
  static void OnGEbase(ZRFMDataExtractor& x, void* eph);
  static void OnGEQE(ZRFMDataExtractor& x, void* eph, bool extended);
  static void OnGAbase(ZRFMDataExtractor& x, void* alm);
  static void OnUObase(ZRFMDataExtractor& x, void* utc);
  static void OnIObase(ZRFMDataExtractor& x, void* ion);

 private:
  bool ephemeris(const ZRFMessage& m, int sys);
  bool almanac(const ZRFMessage& m, int sys);
  bool utc(const ZRFMessage& m, int sys);
  bool iono(const ZRFMessage& m, int sys);
  bool position(const ZRFMessage& m);
  bool drop() {
    ++cnt_.dropped;
    return true;
  }

  Counters cnt_{};
};

// One per decoder port, bound to the filter of its native input.
ZrtAlmDecoder* zrtAlmDecoder(int decPort);
